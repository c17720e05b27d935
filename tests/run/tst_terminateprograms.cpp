#include "run/TerminatePrograms.h"

#include "support/TestSupport.h"
#include "support/X11Fixture.h"
#include "util/FileUtils.h"

#include <QCoreApplication>
#include <QtTest>

#include <cerrno>
#include <csignal>

using namespace TestSupport;

namespace {

constexpr int kEndTimeoutMs = 10000;

QStringList WindowArgs(const QStringList &ASpecs)
{
    QStringList args;
    for (const QString &spec : ASpecs)
        args << QStringLiteral("--window") << spec;
    return args;
}

QStringList Failure(const QString &AName, int ACode)
{
    return {QStringLiteral("  *** Terminating of \"") + AName + QStringLiteral("\" failed:"),
            QStringLiteral("      ") + SystemErrorText(ACode)};
}

// The kernel never hands out pid_max itself, so a window naming it names no process.
QString StalePid()
{
    return QString::fromLatin1(ReadAll(QStringLiteral("/proc/sys/kernel/pid_max")).trimmed());
}

volatile sig_atomic_t GotTerm = 0;

void RecordTerm(int)
{
    GotTerm = 1;
}

// Catches SIGTERM for one test, so that a signal sent to this process shows up as a
// failed check instead of ending the test run.
class TTermRecorder
{
public:
    TTermRecorder()
    {
        GotTerm = 0;
        struct sigaction action = {};
        action.sa_handler = RecordTerm;
        sigaction(SIGTERM, &action, &FSaved);
    }
    ~TTermRecorder() { sigaction(SIGTERM, &FSaved, nullptr); }
    TTermRecorder(const TTermRecorder &) = delete;
    TTermRecorder &operator=(const TTermRecorder &) = delete;

private:
    struct sigaction FSaved = {};
};

} // namespace

class TestTerminatePrograms final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(FServer.Start(), qPrintable(FServer.Error())); }
    void cleanupTestCase() { FServer.Stop(); }

    // One pass over a desktop with well-behaved, stubborn and unreachable programs.
    void endsOtherProgramsAndLogsFailures()
    {
        TX11TestClient editor, mail, stubborn, strays, bystander;
        QVERIFY2(bystander.Start({}), qPrintable(bystander.Error())); // no window of its own
        QVERIFY2(editor.Start(WindowArgs({"title=Editor"})), qPrintable(editor.Error()));
        QVERIFY2(mail.Start(WindowArgs({"title=Mail inbox", "title=Mail compose"})),
                 qPrintable(mail.Error()));
        QVERIFY2(stubborn.Start(QStringList{"--ignore-term"} + WindowArgs({"title=Stubborn"})),
                 qPrintable(stubborn.Error()));
        // Windows that name no process, a process that does not exist, and a process of
        // another host whose number here belongs to the bystander.
        QVERIFY2(strays.Start(WindowArgs({"title=No pid,pid=none", "title=Stale pid,pid=" + StalePid(),
                                          QStringLiteral("title=Remote,machine=elsewhere.invalid,pid=") +
                                              QString::number(bystander.Pid())})),
                 qPrintable(strays.Error()));

        const QString start = QStringLiteral("  ==> Start: earlier lines stay");
        QStringList log{start};
        int errCount = 1;
        QVERIFY(FServer.IsCurrent());
        TerminatePrograms(log, errCount);

        QVERIFY(editor.WaitForEnd(kEndTimeoutMs));
        QVERIFY(editor.EndedCleanly());
        QVERIFY(mail.WaitForEnd(kEndTimeoutMs));
        QVERIFY(mail.EndedCleanly());
        // Signalled, and not waited for.
        QVERIFY(stubborn.WaitForLine("SIGTERM", kEndTimeoutMs));
        QVERIFY(stubborn.IsRunning());
        QVERIFY(!strays.WaitForEnd(0));
        QVERIFY(!bystander.WaitForEnd(0));

        // The second window of the mail program is tried too: its process may still be
        // there (no line) or already gone (the failure, named by the window's title).
        QStringList expected{start};
        const QStringList mailFailure = Failure(QStringLiteral("Mail compose"), ESRCH);
        if (log.contains(mailFailure[0]))
            expected << mailFailure;
        expected << Failure(QStringLiteral("No pid"), ESRCH) << Failure(QStringLiteral("Stale pid"), ESRCH)
                 << Failure(QStringLiteral("Remote"), ESRCH);
        QCOMPARE(log, expected);
        QCOMPARE(errCount, 1 + (expected.size() - 1) / 2);
    }

    void leavesOwnProcessAlone()
    {
        const TTermRecorder recorder;
        TX11TestClient client;
        QVERIFY2(client.Start(WindowArgs({QStringLiteral("title=Starter itself,pid=") +
                                          QString::number(QCoreApplication::applicationPid())})),
                 qPrintable(client.Error()));
        QStringList log;
        int errCount = 0;
        QVERIFY(FServer.IsCurrent());
        TerminatePrograms(log, errCount);
        QCOMPARE(GotTerm, 0);
        QCOMPARE(log, QStringList());
        QCOMPARE(errCount, 0);
        QVERIFY(!client.WaitForEnd(0));
    }

    void nothingToEndWithoutDisplay()
    {
        TX11TestClient client;
        QVERIFY2(client.Start(WindowArgs({"title=Unreachable"})), qPrintable(client.Error()));
        const QByteArray display = qgetenv("DISPLAY");
        qunsetenv("DISPLAY");
        QStringList log{QStringLiteral("  ==> Start: now")};
        int errCount = 2;
        TerminatePrograms(log, errCount);
        qputenv("DISPLAY", display);
        QCOMPARE(log, QStringList{QStringLiteral("  ==> Start: now")});
        QCOMPARE(errCount, 2);
        QVERIFY(!client.WaitForEnd(0));
    }

private:
    TXvfbServer FServer;
};

QTEST_GUILESS_MAIN(TestTerminatePrograms)
#include "tst_terminateprograms.moc"
