#include "backup/TaskFile.h"

#include "config/ProgramEnv.h"
#include "support/EnvironmentGuard.h"
#include "support/TaskFiles.h"
#include "support/TestSupport.h"
#include "util/Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestTaskFile final : public QObject
{
    Q_OBJECT

    QTemporaryDir FDir;
    TProgramEnv FSavedEnv;

    QString LogDir() const { return FDir.filePath(QStringLiteral("logs")); }
    QString IniDir() const { return FDir.filePath(QStringLiteral("ini/")); }

    // "<logs>" stands for the existing log folder, "<missing>" for one that does not
    // exist, "<ini>/" for the settings folder.
    QString Fill(QString text) const
    {
        return text.replace(QStringLiteral("<logs>"), LogDir())
            .replace(QStringLiteral("<missing>"), FDir.filePath(QStringLiteral("missing")))
            .replace(QStringLiteral("<ini>/"), IniDir());
    }

    void UseBackupProgram(const QString &akPath)
    {
        TProgramEnv env;
        env.IniDir = IniDir();
        env.AkPath = akPath;
        SetProgramEnv(env);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(FDir.isValid());
        QVERIFY(QDir().mkpath(LogDir()));
        QVERIFY(QDir().mkpath(IniDir()));
        FSavedEnv = ProgramEnv();
    }

    void init()
    {
        UseBackupProgram(QStringLiteral("/opt/ak/bin/arkivo"));
        SetFixedNow(QDateTime(QDate(2024, 3, 5), QTime(10, 7, 9)));
    }

    void cleanup()
    {
        SetProgramEnv(FSavedEnv);
        SetFixedNow(QDateTime());
    }

    void logNames_data()
    {
        QTest::addColumn<QString>("taskName");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("logDir");
        QTest::addColumn<QString>("expected");

        QTest::newRow("no log name, in the log folder")
            << "Daily.buj" << QByteArray("[Global]\nDestination=/srv/bk\n") << "<logs>"
            << "<logs>/arkivo.log";
        QTest::newRow("no log name, log folder missing")
            << "Daily.buj" << QByteArray("[Global]\nDestination=/srv/bk\n") << "<missing>"
            << "<ini>/arkivo.log";
        QTest::newRow("no log name, no log folder")
            << "Daily.buj" << QByteArray("[Global]\nDestination=/srv/bk\n") << ""
            << "<ini>/arkivo.log";
        QTest::newRow("task name") << "Daily.buj" << QByteArray("[Global]\nLogName=%taskname%.log\n")
                                   << "<logs>"
                                   << "<logs>/Daily.log";
        QTest::newRow("task name in any case")
            << "Daily.buj" << QByteArray("[Global]\nLogName=%TaskName%-%TASKNAME%.log\n") << "<logs>"
            << "<logs>/Daily-Daily.log";
        QTest::newRow("task name with dots")
            << "Daily.full.buj" << QByteArray("[Global]\nLogName=%taskname%.log\n") << "<logs>"
            << "<logs>/Daily.full.log";
        QTest::newRow("sections and keys in any case")
            << "Daily.buj" << QByteArray("[GLOBAL]\nlogname=%taskname%.txt\n") << "<logs>"
            << "<logs>/Daily.txt";
        QTest::newRow("date in a relative name")
            << "Daily.buj" << QByteArray("[Global]\nLogName=ak-%date%.log\n") << "<missing>"
            << "<ini>/ak-2024-03-05.log";
        QTest::newRow("full path") << "Daily.buj" << QByteArray("[Global]\nLogName=/var/log/ak/%yam%.log\n")
                                   << "<logs>"
                                   << "/var/log/ak/2024-03.log";
        QTest::newRow("below the expanded destination")
            << "Daily.buj"
            << QByteArray(
                   "[Global]\nLogName=%dest%/%taskname%.log\nDestination=/srv/%volume%/%evar(AK_TF_A)%/"
                   "%v#3%\nBackupCount=7\n[Dir000]\nVolume=Vol1\n")
            << "<logs>"
            << "/srv/Vol1/alpha/1/Daily.log";
        QTest::newRow("destination in any case")
            << "Daily.buj" << QByteArray("[Global]\nLogName=%DEST%/x.log\nDestination=/srv/%d#?%bk\n")
            << "<logs>"
            << "/srv/bk/x.log";
        QTest::newRow("count that is no number counts as 1")
            << "Daily.buj"
            << QByteArray("[Global]\nLogName=%dest%/x.log\nDestination=/srv/%v#3%\nBackupCount=seven\n")
            << "<logs>"
            << "/srv/1/x.log";
        QTest::newRow("missing count counts as 1")
            << "Daily.buj" << QByteArray("[Global]\nLogName=%dest%/x.log\nDestination=/srv/%v#3%\n")
            << "<logs>"
            << "/srv/1/x.log";
        // Only a log name that begins with the destination expands it.
        QTest::newRow("destination further on is taken as read")
            << "Daily.buj" << QByteArray("[Global]\nLogName=x-%dest%.log\nDestination=bk-%v#3%\n") << "<logs>"
            << "<logs>/x-bk-%v#3%.log";
        QTest::newRow("destination on a missing volume")
            << "Daily.buj" << QByteArray("[Global]\nLogName=%dest%/x.log\nDestination=:AkNoSuchLabel:/bk\n")
            << "<logs>"
            << ":AkNoSuchLabel:/bk/x.log";
        QTest::newRow("name that expands to nothing")
            << "Daily.buj" << QByteArray("[Global]\nLogName=%volume%\nDestination=bk\n") << "<logs>"
            << "";
        QTest::newRow("UTF-16 task file")
            << "Daily.buj"
            << QByteArray("\xff\xfe") + QByteArray(QStringEncoder(QStringEncoder::Utf16LE)(
                                            u"[Global]\r\nLogName=%taskname%-ü.log\r\n"))
            << "<logs>"
            << "<logs>/Daily-ü.log";
        QByteArray garbage(4096, '\0');
        QRandomGenerator random(7);
        for (char &c : garbage)
            c = char(random.bounded(256));
        QTest::newRow("binary garbage") << "Daily.buj" << garbage << "<logs>"
                                        << "<logs>/arkivo.log";
    }

    void logNames()
    {
        QFETCH(QString, taskName);
        QFETCH(QByteArray, content);
        QFETCH(QString, logDir);
        QFETCH(QString, expected);
        TestSupport::TEnvironmentGuard guard({"AK_TF_A"});
        qputenv("AK_TF_A", "alpha");
        const QString task = FDir.filePath(taskName);
        QVERIFY(TestSupport::WriteAll(task, content));
        QCOMPARE(GetBackupLogName(task, Fill(logDir)), Fill(expected));
    }

    void noLogWithoutATaskFile_data()
    {
        QTest::addColumn<QString>("task");
        QTest::newRow("empty") << "";
        QTest::newRow("missing") << "missing.buj";
        QTest::newRow("a folder") << "logs";
    }

    void noLogWithoutATaskFile()
    {
        QFETCH(QString, task);
        QCOMPARE(GetBackupLogName(task.isEmpty() ? task : FDir.filePath(task), LogDir()), QString());
    }

    void backupProgramNamesTheDefaultLog_data()
    {
        QTest::addColumn<QString>("akPath");
        QTest::addColumn<QString>("expected");
        QTest::newRow("program") << "/opt/ak/bin/arkivo"
                                 << "arkivo.log";
        QTest::newRow("program with an extension") << "/opt/ak/Arkivo.run"
                                                   << "Arkivo.log";
        QTest::newRow("program not found") << ""
                                           << "arkivo.log";
    }

    void backupProgramNamesTheDefaultLog()
    {
        QFETCH(QString, akPath);
        QFETCH(QString, expected);
        UseBackupProgram(akPath);
        const QString task = FDir.filePath(QStringLiteral("Plain.buj"));
        QVERIFY(TestSupport::WriteTaskFile(task, {}));
        QCOMPARE(GetBackupLogName(task, LogDir()), LogDir() + u'/' + expected);
    }

    // A destination that names its volume by label is resolved before it is expanded.
    void destinationOnALabelledVolume()
    {
        const QString label =
            QStringLiteral("AkTask") + QString::number(QCoreApplication::applicationPid() % 100000);
        TestSupport::TLoopMount volume(FDir.filePath(QStringLiteral("volume")), QStringLiteral("ext4"),
                                       label);
        if (!volume.Mounted())
            QSKIP(qPrintable(volume.Error()));
        TestSupport::TTaskFile content;
        content.LogName = QStringLiteral("%dest%/%volume%-%taskname%.log");
        content.Destination = QStringLiteral(":") + label.toLower() + QStringLiteral(":/Backups/%v#3%");
        content.BackupCount = 2;
        content.Sources = QStringList{QStringLiteral("/home")};
        const QString task = FDir.filePath(QStringLiteral("Weekly.buj"));
        QVERIFY(TestSupport::WriteTaskFile(task, content));
        QCOMPARE(GetBackupLogName(task, LogDir()),
                 volume.MountPoint() + QStringLiteral("/Backups/2/") + label + QStringLiteral("-Weekly.log"));
    }
};

QTEST_GUILESS_MAIN(TestTaskFile)
#include "tst_taskfile.moc"
