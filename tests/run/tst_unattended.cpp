// Whole unattended runs of the program as a process: without a display and without a
// terminal, and on a pseudo terminal that answers its questions.

#include "config/StarterConfig.h"

#include "support/PrivateSystemBus.h"
#include "support/TaskFiles.h"
#include "support/TestSupport.h"
#include "util/SystemInfo.h"
#include "util/VersionInfo.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

const QString StarterProgram = QStringLiteral(AK_STARTER_PATH);
const QString ArkivoProgram = QStringLiteral(AK_ARKIVO_PATH);
constexpr int RunTimeoutMs = 60000;

// What a run left behind.
struct TRunResult
{
    bool Ended = false;
    int ExitCode = -1;          // of a normal exit
    int Signal = 0;             // that ended the program, 0 for a normal exit
    QByteArray Output;          // everything written to the terminal or to standard error
    tcflag_t TerminalFlags = 0; // the terminal's local flags after the end
};

// The program started on a pseudo terminal that is its controlling terminal. The test
// answers through Type and WaitFor; the destructor kills a program still running, by
// its process id.
class TTerminalRun
{
public:
    TTerminalRun(const QStringList &AArgs, const QProcessEnvironment &AEnvironment)
    {
        // Everything the child needs is prepared before the fork: it only execs.
        QList<QByteArray> args{QFile::encodeName(StarterProgram)};
        for (const QString &arg : AArgs)
            args << arg.toUtf8();
        QList<QByteArray> environment;
        for (const QString &entry : AEnvironment.toStringList())
            environment << entry.toUtf8();
        std::vector<char *> argv;
        for (QByteArray &arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::vector<char *> envp;
        for (QByteArray &entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        FPid = forkpty(&FMaster, nullptr, nullptr, nullptr);
        if (FPid == 0) {
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
    }
    ~TTerminalRun()
    {
        if (FPid > 0 && !FReaped) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
        if (FMaster >= 0)
            close(FMaster);
    }
    TTerminalRun(const TTerminalRun &) = delete;
    TTerminalRun &operator=(const TTerminalRun &) = delete;

    bool Started() const { return FPid > 0 && FMaster >= 0; }
    pid_t Pid() const { return FPid; }

    bool WaitFor(const QByteArray &AText, int AMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!FResult.Output.contains(AText)) {
            if (timer.elapsed() > AMs || !Drain(100))
                return false;
        }
        return true;
    }
    void Type(const QByteArray &AText)
    {
        [[maybe_unused]] const ssize_t n = write(FMaster, AText.constData(), size_t(AText.size()));
    }
    tcflag_t TerminalFlags() const
    {
        termios settings{};
        tcgetattr(FMaster, &settings);
        return settings.c_lflag;
    }

    const TRunResult &Finish()
    {
        QElapsedTimer timer;
        timer.start();
        while (!FReaped && timer.elapsed() < RunTimeoutMs) {
            Drain(50);
            int status = 0;
            if (waitpid(FPid, &status, WNOHANG) == FPid) {
                FReaped = true;
                FResult.Ended = true;
                FResult.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                FResult.Signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            }
        }
        while (Drain(0)) {
        }
        FResult.TerminalFlags = TerminalFlags();
        return FResult;
    }

private:
    // Reads what is there within AMs; false once the terminal has no writer left.
    bool Drain(int AMs)
    {
        pollfd entry{FMaster, POLLIN, 0};
        if (poll(&entry, 1, AMs) <= 0)
            return AMs > 0;
        char buffer[4096];
        const ssize_t n = read(FMaster, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        FResult.Output.append(buffer, n);
        return true;
    }

    pid_t FPid = -1;
    int FMaster = -1;
    bool FReaped = false;
    TRunResult FResult;
};

} // namespace

class TestUnattended final : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FDir;
    TPrivateSystemBus FBus;

    QString Path(const QString &AName) const { return FDir->filePath(AName); }
    QString ConfigDir() const { return Path(QStringLiteral("conf")); }
    QString LogName() const { return ConfigDir() + QStringLiteral("/akstarter.log"); }

    // A task file that copies a small folder into the test folder.
    QString Task(const QString &AName)
    {
        const QString source = Path(AName + QStringLiteral("-src"));
        QDir().mkpath(source);
        WriteAll(source + QStringLiteral("/file.txt"), "content");
        TTaskFile task;
        task.Destination = Path(AName + QStringLiteral("-dest"));
        task.Sources = {source};
        const QString name = Path(AName + QStringLiteral(".buj"));
        WriteTaskFile(name, task);
        return name;
    }

    // Groups of the account running the test: "Daily" with a stored password and two
    // tasks, "Ask" that asks for its password, with one task.
    void WriteConfig()
    {
        TStarterConfig config;
        TTaskProperties &daily = *config.Groups[size_t(config.AddGroup(QStringLiteral("Daily")))];
        daily.User = GetUserLogonName();
        daily.Pwd = QStringLiteral("stored");
        daily.PwdPrompt = false;
        daily.Status = 0;
        daily.AddTask(Task(QStringLiteral("a")), true);
        daily.AddTask(Task(QStringLiteral("b")), true);
        TTaskProperties &ask = *config.Groups[size_t(config.AddGroup(QStringLiteral("Ask")))];
        ask.User = GetUserLogonName();
        ask.Status = 0;
        ask.AddTask(Task(QStringLiteral("c")), true);
        QVERIFY(config
                    .Save(ConfigDir() + QStringLiteral("/akstarter.ini"), QStringLiteral("AkStarter"),
                          QStringLiteral("1.0"))
                    .Ok);
    }

    // No display, the test's own folders and bus, the stand-in backup program on PATH and
    // the C locale, whose date formats the test knows.
    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LANGUAGE", "LC_MESSAGES", "LANG"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        env.insert(QStringLiteral("HOME"), Path(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), Path(QStringLiteral("home/.config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), Path(QStringLiteral("home/.local/share")));
        env.insert(QStringLiteral("PATH"),
                   QFileInfo(ArkivoProgram).absolutePath() + u':' + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), FBus.Address());
        return env;
    }
    QStringList Args(const QStringList &AGroupsAndOptions) const
    {
        return AGroupsAndOptions + QStringList{QStringLiteral("/force"), QStringLiteral("/logmode:1"),
                                               QStringLiteral("/ini:") + ConfigDir() + u'/'};
    }

    // A run without display and without controlling terminal.
    TRunResult RunHeadless(const QStringList &AArgs)
    {
        QProcess process;
        process.setProcessEnvironment(Environment());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardInputFile(QProcess::nullDevice());
        process.setChildProcessModifier([] { setsid(); });
        process.start(StarterProgram, AArgs);
        TRunResult result;
        result.Ended = process.waitForFinished(RunTimeoutMs);
        if (!result.Ended) {
            kill(pid_t(process.processId()), SIGKILL);
            process.waitForFinished();
        }
        result.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.Output = process.readAll();
        return result;
    }

    // The log's lines, checking that a date line holds a moment of the run.
    QStringList LogLines(const QDateTime &AFrom, const QDateTime &ATo) const
    {
        QString text = QString::fromUtf8(ReadAll(LogName()));
        if (!text.endsWith(QStringLiteral("\r\n\r\n")))
            return {QStringLiteral("no empty line at the end: ") + text};
        text.chop(4);
        QStringList lines = text.split(QStringLiteral("\r\n"));
        for (QString &line : lines) {
            for (const QString &prefix : {QStringLiteral("  ==> Start: "), QStringLiteral("  ==> End: ")}) {
                if (!line.startsWith(prefix))
                    continue;
                const QString when = line.mid(prefix.size());
                const QLocale c = QLocale::c();
                for (QDateTime moment = AFrom.addSecs(-1); moment <= ATo.addSecs(1);
                     moment = moment.addSecs(1))
                    if (when == c.toString(moment.date(), QLocale::ShortFormat) + u' ' +
                                    c.toString(moment.time(), QLocale::LongFormat))
                        line = prefix + QStringLiteral("<moment of the run>");
            }
        }
        return lines;
    }

    QString Header() const
    {
        const std::optional<TFileVersionInfo> info = ReadVersionInfo(StarterProgram);
        return (info ? info->InternalName : QStringLiteral("?")) +
               (IsProcess64() ? QStringLiteral(" - 64-bit") : QStringLiteral(" - 32-bit")) +
               QStringLiteral(" (Version ") + (info ? info->Version : QStringLiteral("?")) + u')';
    }
    QStringList DailyLines() const
    {
        return {QStringLiteral("  ->  Backup group: Daily - User name: ") + GetUserLogonName(),
                QStringLiteral("      Backup task: ") + Path(QStringLiteral("a.buj")),
                QStringLiteral("      Backup task: ") + Path(QStringLiteral("b.buj"))};
    }
    QStringList Calls() const
    {
        QStringList calls = FBus.Calls();
        calls.removeIf([](const QString &ACall) { return ACall.contains(QStringLiteral("GetSession")); });
        return calls;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QFileInfo(StarterProgram).isExecutable());
        QVERIFY2(FBus.Start(), qPrintable(FBus.Error()));
    }
    void cleanupTestCase() { FBus.Stop(); }

    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
        QVERIFY(QDir().mkpath(ConfigDir()));
        QVERIFY(QDir().mkpath(Path(QStringLiteral("home/.config"))));
        WriteConfig();
        QVERIFY(FBus.IsCurrent());
        FBus.Reset();
    }

    void writesTheExactLogWithoutDisplayOrTerminal()
    {
        const QDateTime from = QDateTime::currentDateTime();
        const TRunResult run = RunHeadless(Args({QStringLiteral("Daily"), QStringLiteral("/end:shutdown")}));
        const QDateTime to = QDateTime::currentDateTime();
        QVERIFY2(run.Ended && run.ExitCode == 0, run.Output.constData());
        QCOMPARE(LogLines(from, to),
                 QStringList({Header(), QStringLiteral("  ==> Start: <moment of the run>")}) + DailyLines() +
                     QStringList({QStringLiteral("  ==> End: <moment of the run>"),
                                  QStringLiteral("  ==> The system will be shut down!")}));
        QVERIFY(QFileInfo::exists(Path(QStringLiteral("b-dest/b-src/file.txt"))));
        QCOMPARE(Calls(), QStringList(QStringLiteral("Manager.PowerOff(false)")));
    }

    // Nobody to ask: the password counts as cancelled, later groups are not run, but the
    // log and the end action follow.
    void cancelsThePasswordWithNobodyToAsk()
    {
        const QDateTime from = QDateTime::currentDateTime();
        const TRunResult run = RunHeadless(
            Args({QStringLiteral("Ask"), QStringLiteral("Daily"), QStringLiteral("/end:restart")}));
        const QDateTime to = QDateTime::currentDateTime();
        QVERIFY2(run.Ended, run.Output.constData());
        QCOMPARE(run.ExitCode, 1);
        QCOMPARE(LogLines(from, to),
                 QStringList({Header(), QStringLiteral("  ==> Start: <moment of the run>"),
                              QStringLiteral("  ->  Backup group: Ask - User name: ") + GetUserLogonName(),
                              QStringLiteral("  *** Canceled by user"),
                              QStringLiteral("  ==> End: <moment of the run>"),
                              QStringLiteral("  ==> The system will be restarted!")}));
        QVERIFY(!QFileInfo::exists(Path(QStringLiteral("a-dest"))));
        QCOMPARE(Calls(), QStringList(QStringLiteral("Manager.Reboot(false)")));
    }

    void saysWhenTheBackupProgramIsMissing()
    {
        QProcessEnvironment env = Environment();
        env.insert(QStringLiteral("PATH"), QStringLiteral("/nonexistent"));
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setChildProcessModifier([] { setsid(); });
        process.setWorkingDirectory(FDir->path());
        process.start(StarterProgram, Args({QStringLiteral("Daily")}));
        QVERIFY(process.waitForFinished(RunTimeoutMs));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(process.readAll(), QByteArray("akstarter: \"arkivo\" not found on this system!\n"));
        QVERIFY(!QFileInfo::exists(LogName()));
    }

    void answersOnTheTerminal_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("password typed") << QStringLiteral("password");
        QTest::newRow("password cancelled with Ctrl+C") << QStringLiteral("ctrl-c");
        QTest::newRow("ended by SIGTERM at the password") << QStringLiteral("sigterm");
        QTest::newRow("end action chosen") << QStringLiteral("end action");
        QTest::newRow("end action cancelled") << QStringLiteral("end cancelled");
    }
    void answersOnTheTerminal()
    {
        QFETCH(QString, kind);
        const bool prompt = kind.startsWith(u"end");
        const QDateTime from = QDateTime::currentDateTime();
        TTerminalRun run(Args({prompt ? QStringLiteral("Daily") : QStringLiteral("Ask"),
                               prompt ? QStringLiteral("/prompt") : QStringLiteral("/end:logoff")}),
                         Environment());
        QVERIFY(run.Started());
        const QByteArray password = "Typed Secret";
        if (prompt) {
            QVERIFY(run.WaitFor("Your choice: "));
            QVERIFY(run.WaitFor("   6  Backup + Shutdown\r\n   0  Cancel\r\n"));
            if (kind == u"end action") {
                run.Type("6\r");
                QVERIFY(run.WaitFor("Terminate all running programs before starting backups (y/N) "));
                run.Type("\r");
            } else {
                run.Type("0\r");
            }
        } else {
            QVERIFY(run.WaitFor("Password: "));
            QVERIFY(!(run.TerminalFlags() & ECHO));
            if (kind == u"password")
                run.Type(password + '\r');
            else if (kind == u"ctrl-c")
                run.Type("\x03");
            else
                kill(run.Pid(), SIGTERM);
        }
        const TRunResult &result = run.Finish();
        const QDateTime to = QDateTime::currentDateTime();
        QVERIFY2(result.Ended, result.Output.constData());
        QVERIFY(!result.Output.contains(password));
        // However the question ended, the terminal echoes again.
        QVERIFY(result.TerminalFlags & ECHO);
        QVERIFY(result.TerminalFlags & ICANON);

        const QStringList head{Header(), QStringLiteral("  ==> Start: <moment of the run>")};
        const QStringList askGroup{QStringLiteral("  ->  Backup group: Ask - User name: ") +
                                       GetUserLogonName(),
                                   QStringLiteral("      Backup task: ") + Path(QStringLiteral("c.buj"))};
        const QString end = QStringLiteral("  ==> End: <moment of the run>");
        if (kind == u"password") {
            QCOMPARE(result.ExitCode, 0);
            QCOMPARE(LogLines(from, to),
                     head + askGroup +
                         QStringList({end, QStringLiteral("  ==> The user will be logged off!")}));
            QCOMPARE(Calls(), QStringList(QStringLiteral("Session.Terminate()")));
        } else if (kind == u"ctrl-c") {
            QCOMPARE(result.ExitCode, 1);
            QCOMPARE(LogLines(from, to),
                     head + askGroup.mid(0, 1) +
                         QStringList({QStringLiteral("  *** Canceled by user"), end,
                                      QStringLiteral("  ==> The user will be logged off!")}));
        } else if (kind == u"sigterm") {
            QCOMPARE(result.Signal, SIGTERM);
            QVERIFY(!QFileInfo::exists(LogName()));
            QCOMPARE(Calls(), QStringList());
        } else if (kind == u"end action") {
            QCOMPARE(result.ExitCode, 0);
            QCOMPARE(LogLines(from, to),
                     head + DailyLines() +
                         QStringList({end, QStringLiteral("  ==> The system will be shut down!")}));
            QCOMPARE(Calls(), QStringList(QStringLiteral("Manager.PowerOff(false)")));
        } else {
            QCOMPARE(result.ExitCode, 0);
            QVERIFY(!QFileInfo::exists(LogName()));
            QCOMPARE(Calls(), QStringList());
        }
    }
};

QTEST_GUILESS_MAIN(TestUnattended)
#include "tst_unattended.moc"
