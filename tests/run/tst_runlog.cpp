#include "run/RunLog.h"

#include "support/TestSupport.h"
#include "util/AnsiCodec.h"
#include "util/FileUtils.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <thread>

using namespace TestSupport;

namespace {

// How long the tests let the writer wait before its second attempt.
constexpr int RetryMs = 300;
// The same when a lock goes away in between: long enough for a busy machine.
constexpr int LockRetryMs = 2000;

// Holds an exclusive lock on a file in another process, as a second run writing the log
// would, until the object goes or Release() is called.
class TForeignLock
{
public:
    bool Take(const QString &AFileName, int AHoldSeconds)
    {
        FProcess.start(QStringLiteral("flock"),
                       {QStringLiteral("--no-fork"), QStringLiteral("--exclusive"), AFileName,
                        QStringLiteral("sh"), QStringLiteral("-c"),
                        QStringLiteral("echo locked; exec sleep %1").arg(AHoldSeconds)});
        FPid = pid_t(FProcess.processId());
        return FProcess.waitForReadyRead(5000) && FProcess.readAll().startsWith("locked");
    }
    // Safe from another thread: only signals the holder.
    void Kill()
    {
        if (FPid > 0)
            kill(FPid, SIGKILL);
    }
    void Release()
    {
        if (FProcess.state() == QProcess::NotRunning)
            return;
        Kill();
        FProcess.waitForFinished(5000);
    }
    ~TForeignLock() { Release(); }

private:
    QProcess FProcess;
    pid_t FPid = 0;
};

} // namespace

class TestRunLog final : public QObject
{
    Q_OBJECT
private slots:
    void linesHaveTheirPrefixes()
    {
        TRunLog log;
        log.AddHeader(RunLogHeader(QStringLiteral("Arkivo Starter"), QStringLiteral(" - 64-bit"),
                                   QStringLiteral("1.2.3.4")));
        log.AddGroup(QStringLiteral("Daily"), QStringLiteral("backup"));
        log.AddTask(QStringLiteral("/data/Documents.buj"));
        log.AddError(QStringLiteral("Unknown group: Weekly"));
        log.AddNote(QStringLiteral("Canceled by user"));
        log.AddAnnouncement(dmRestart, smNone);
        QCOMPARE(log.LogList, QStringList({
                                  QStringLiteral("Arkivo Starter - 64-bit (Version 1.2.3.4)"),
                                  QStringLiteral("  ->  Backup group: Daily - User name: backup"),
                                  QStringLiteral("      Backup task: /data/Documents.buj"),
                                  QStringLiteral("  *** Unknown group: Weekly"),
                                  QStringLiteral("  *** Canceled by user"),
                                  QStringLiteral("  ==> The system will be restarted!"),
                              }));
        // A cancelled prompt is noted, not counted.
        QCOMPARE(log.ErrCount, 1);
        log.Clear();
        QVERIFY(log.LogList.isEmpty());
        QCOMPARE(log.ErrCount, 0);
    }

    void startAndEndLinesUseTheLocaleFormats_data()
    {
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<bool>("withTime");
        QTest::newRow("afternoon") << QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26)) << true;
        QTest::newRow("midnight") << QDateTime(QDate(2026, 3, 14), QTime(0, 0)) << false;
        QTest::newRow("a millisecond after midnight")
            << QDateTime(QDate(2026, 3, 14), QTime(0, 0, 0, 1)) << true;
    }
    void startAndEndLinesUseTheLocaleFormats()
    {
        QFETCH(QDateTime, moment);
        QFETCH(bool, withTime);
        const QLocale locale = QLocale::system();
        QString expected = locale.toString(moment.date(), QLocale::ShortFormat);
        if (withTime)
            expected += u' ' + locale.toString(moment.time(), QLocale::LongFormat);
        QCOMPARE(RunLogDateTime(moment), expected);

        TRunLog log;
        log.AddStart(moment);
        log.AddEnd(moment);
        QCOMPARE(log.LogList, QStringList({QStringLiteral("  ==> Start: ") + expected,
                                           QStringLiteral("  ==> End: ") + expected}));
    }

    void announcesTheEndAction_data()
    {
        QTest::addColumn<int>("logOff");
        QTest::addColumn<int>("suspend");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << int(dmNone) << int(smNone) << QString();
        QTest::newRow("shutdown") << int(dmShutdown) << int(smNone)
                                  << QStringLiteral("The system will be shut down!");
        QTest::newRow("poweroff") << int(dmPowerOff) << int(smNone)
                                  << QStringLiteral("The system will be shut down!");
        QTest::newRow("restart") << int(dmRestart) << int(smNone)
                                 << QStringLiteral("The system will be restarted!");
        QTest::newRow("logoff") << int(dmLogOff) << int(smNone)
                                << QStringLiteral("The user will be logged off!");
        QTest::newRow("standby") << int(dmNone) << int(smStandby)
                                 << QStringLiteral("The system will enter the standby state!");
        QTest::newRow("hibernate") << int(dmNone) << int(smHibernate)
                                   << QStringLiteral("The system will enter the hibernate state!");
        QTest::newRow("restart wins over standby")
            << int(dmRestart) << int(smStandby) << QStringLiteral("The system will be restarted!");
    }
    void announcesTheEndAction()
    {
        QFETCH(int, logOff);
        QFETCH(int, suspend);
        QFETCH(QString, text);
        TRunLog log;
        log.AddAnnouncement(TDownMode(logOff), TSuspendMode(suspend));
        QCOMPARE(log.LogList, text.isEmpty() ? QStringList() : QStringList(QStringLiteral("  ==> ") + text));
    }

    void appendsBlocksWithCrLfAndAnEmptyLine()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("akstarter.log"));
        const QStringList first{QStringLiteral("Arkivo Starter - 64-bit (Version 1.0.0.0)"),
                                QStringLiteral("  ==> Start: 3/14/26")};
        const QStringList second{QStringLiteral("  ->  Backup group: Büro - User name: jörg")};
        QVERIFY(WriteStarterLog(name, first, RetryMs).Ok);
        QVERIFY(WriteStarterLog(name, second, RetryMs).Ok);
        const QString text = first.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n") +
                             second.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n");
        const QByteArray expected = StringToAnsi(text);
        QCOMPARE(ReadAll(name), expected);
    }

    // Every case must end with a reason, quickly, and leave what was there untouched.
    void refusesWhatIsNoWritableRegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder") << QStringLiteral("folder") << SystemErrorText(EISDIR);
        QTest::newRow("fifo without reader") << QStringLiteral("fifo") << SystemErrorText(ENXIO);
        QTest::newRow("below a regular file") << QStringLiteral("file parent") << SystemErrorText(ENOTDIR);
        QTest::newRow("empty name") << QStringLiteral("empty") << SystemErrorText(ENOENT);
        QTest::newRow("name too long") << QStringLiteral("long") << SystemErrorText(ENAMETOOLONG);
        QTest::newRow("device") << QStringLiteral("device") << QStringLiteral("It is not a regular file.");
    }
    void refusesWhatIsNoWritableRegularFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QString name = dir.filePath(QStringLiteral("akstarter.log"));
        if (kind == u"folder") {
            QVERIFY(QDir().mkdir(name));
        } else if (kind == u"fifo") {
            QCOMPARE(mkfifo(QFile::encodeName(name).constData(), 0600), 0);
        } else if (kind == u"file parent") {
            QVERIFY(WriteAll(dir.filePath(QStringLiteral("plain")), "x"));
            name = dir.filePath(QStringLiteral("plain/akstarter.log"));
        } else if (kind == u"empty") {
            name.clear();
        } else if (kind == u"long") {
            name = dir.filePath(QString(300, u'x'));
        } else if (kind == u"device") {
            name = QStringLiteral("/dev/null");
        }
        const TLogWriteResult result = WriteStarterLog(name, {QStringLiteral("line")}, RetryMs);
        QVERIFY(!result.Ok);
        QCOMPARE(result.Message, QStringLiteral("The log file \"") + name +
                                     QStringLiteral("\" could not be written: ") + reason);
    }

    void givesUpOnAReadOnlyFileSystem()
    {
        if (!IsRoot())
            QSKIP("Mounting a read-only file system needs root");
        QTemporaryDir dir;
        TScratchMount mount(dir.path(), 1024 * 1024);
        if (!mount.Mounted())
            QSKIP(qPrintable(mount.Error()));
        const QString name = dir.filePath(QStringLiteral("akstarter.log"));
        QVERIFY(WriteAll(name, "old\r\n"));
        QVERIFY(mount.RemountReadOnly());
        const TLogWriteResult result = WriteStarterLog(name, {QStringLiteral("line")}, RetryMs);
        QVERIFY(!result.Ok);
        QVERIFY2(result.Message.endsWith(SystemErrorText(EROFS)), qPrintable(result.Message));
        QCOMPARE(ReadAll(name), QByteArray("old\r\n"));
    }

    void waitsOnceForALockHeldByAnotherRun()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("akstarter.log"));
        QVERIFY(WriteAll(name, "first\r\n\r\n"));

        // Held through both attempts: nothing is written.
        TForeignLock longLock;
        QVERIFY(longLock.Take(name, 30));
        const TLogWriteResult refused = WriteStarterLog(name, {QStringLiteral("second")}, RetryMs);
        QVERIFY(!refused.Ok);
        QVERIFY2(refused.Message.endsWith(QStringLiteral("Another program holds it locked.")),
                 qPrintable(refused.Message));
        QCOMPARE(ReadAll(name), QByteArray("first\r\n\r\n"));
        longLock.Release();

        // Released before the second attempt: that one writes.
        TForeignLock shortLock;
        QVERIFY(shortLock.Take(name, 30));
        // Released while the writer sleeps between its attempts.
        std::thread release([&shortLock] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            shortLock.Kill();
        });
        const TLogWriteResult written = WriteStarterLog(name, {QStringLiteral("second")}, LockRetryMs);
        release.join();
        shortLock.Release();
        QVERIFY2(written.Ok, qPrintable(written.Message));
        QCOMPARE(ReadAll(name), QByteArray("first\r\n\r\nsecond\r\n\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestRunLog)
#include "tst_runlog.moc"
