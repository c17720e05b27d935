#include "platform/Process.h"
#include "support/TestSupport.h"
#include "support/TestUsers.h"
#include "util/FileUtils.h"

#include <QtTest>

#include <csignal>
#include <grp.h>
#include <memory>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

const QString AuthFailure = QStringLiteral("Authentication failure (0x10000007)");
constexpr uint32_t Flag = ProcessExitCodeFlag;

// Kills a started program by its id when a test ends early, so that no program (and no
// account's process) outlives the test.
struct TKillGuard
{
    pid_t Pid = 0;
    ~TKillGuard()
    {
        if (Pid > 0) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
        }
    }
};

QString ProcFile(pid_t APid, const char *AName)
{
    return QStringLiteral("/proc/%1/%2").arg(APid).arg(QLatin1StringView(AName));
}

// The values of a line such as "Uid:" in /proc/<pid>/status.
QStringList StatusValues(pid_t APid, const QByteArray &AKey)
{
    for (const QByteArray &line : ReadAll(ProcFile(APid, "status")).split('\n'))
        if (line.startsWith(QByteArray(AKey + ':')))
            return QString::fromLatin1(line.mid(AKey.size() + 1)).split(u'\t', Qt::SkipEmptyParts);
    return {};
}

// Process state letter from /proc/<pid>/stat, 0 when the process is gone.
char ProcessState(pid_t APid)
{
    const QByteArray stat = ReadAll(ProcFile(APid, "stat"));
    const qsizetype end = stat.lastIndexOf(')');
    return end < 0 || end + 2 >= stat.size() ? 0 : stat[end + 2];
}

// Ids of this test's own child processes.
QList<pid_t> ChildPids()
{
    QList<pid_t> children;
    const QString self = QString::number(getpid());
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QByteArray stat = ReadAll(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        const qsizetype end = stat.lastIndexOf(')');
        if (end < 0)
            continue;
        const QList<QByteArray> fields = stat.mid(end + 2).split(' ');
        if (fields.size() > 1 && fields[1] == self.toLatin1())
            children << pid_t(entry.toInt());
    }
    return children;
}

QString Quoted(QString AText)
{
    return u'"' + AText.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString CurrentUserName()
{
    const passwd *entry = getpwuid(geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

// The start's error message, or an empty text when it started (the handle goes to AHandle).
QString TryStart(const QString &AAccount, const QString &APassword, const QString &ACommand,
                 const QString &AFolder, TProcessHandle *AHandle = nullptr)
{
    const TAccountName account = SplitAccount(AAccount);
    try {
        TProcessHandle handle =
            StartProcessWithLogon(account.User, account.Domain, APassword, ACommand, AFolder);
        if (AHandle)
            *AHandle = std::move(handle);
        else
            WaitForProcess(handle, 0);
        return {};
    } catch (const EProcessError &error) {
        return error.Message();
    }
}

} // namespace

// Starting programs under an account and waiting for them, with real processes and, as
// root, real accounts checked by PAM.
class TestProcess final : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FTemp;
    // One real account for the tests that need another account, created as root.
    std::unique_ptr<TTestUser> FUser;

    // A shell script in the test's folder (name may hold blanks and quotes).
    QString WriteScript(const QString &AName, const QByteArray &ABody, QFile::Permissions AMode)
    {
        const QString path = FTemp->filePath(AName);
        QDir().mkpath(QFileInfo(path).path());
        if (!WriteAll(path, "#!/bin/sh\n" + ABody + '\n') || !QFile::setPermissions(path, AMode))
            return {};
        return path;
    }

    // Why the tests with another account cannot run here; empty when they can.
    QString UserSkipReason() const
    {
        if (!IsRoot())
            return QStringLiteral("starting programs under another account needs root");
        if (!QFile::exists(QStringLiteral("/etc/pam.d/akstarter")))
            return QStringLiteral(
                "the PAM service akstarter is not installed (scripts/install-deps.sh does it)");
        return FUser->Created() ? QString() : FUser->Error();
    }

private slots:
    void initTestCase()
    {
        FTemp = std::make_unique<QTemporaryDir>();
        QVERIFY(FTemp->isValid());
        FUser = std::make_unique<TTestUser>(QStringLiteral("Pass \"word\" 42"), true);
    }

    void cleanupTestCase() { FUser.reset(); }

    void splitAccount_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("user");
        QTest::newRow("domain and user") << "OFFICE\\backup"
                                         << "OFFICE"
                                         << "backup";
        QTest::newRow("plain name") << "backup"
                                    << ""
                                    << "backup";
        QTest::newRow("principal name") << "backup@office.example"
                                        << ""
                                        << "backup@office.example";
        QTest::newRow("domain only") << "OFFICE\\"
                                     << "OFFICE"
                                     << "";
        QTest::newRow("first backslash splits") << "A\\B\\C"
                                                << "A"
                                                << "B\\C";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
    }

    void splitAccount()
    {
        QFETCH(QString, account);
        const TAccountName split = SplitAccount(account);
        QTEST(split.Domain, "domain");
        QTEST(split.User, "user");
    }

    // Programs started as ourselves: the account is not checked, the exit code is.
    void ownAccountExitCodes_data()
    {
        QTest::addColumn<bool>("byName"); // the own account's name instead of an empty text
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("command");
        QTest::addColumn<uint32_t>("result");
        QTest::newRow("exit 0") << false << ""
                                << "/bin/sh -c \"exit 0\"" << 0u;
        QTest::newRow("exit 4") << false << ""
                                << "/bin/sh -c \"exit 4\"" << (4u | Flag);
        QTest::newRow("exit 255") << false << ""
                                  << "/bin/sh -c \"exit 255\"" << (255u | Flag);
        QTest::newRow("ended by SIGTERM") << false << ""
                                          << "/bin/sh -c \"kill -TERM $$\"" << ((128u + SIGTERM) | Flag);
        QTest::newRow("found on PATH") << false << ""
                                       << "sh -c \"exit 3\"" << (3u | Flag);
        QTest::newRow("own name, wrong password") << true << "wrong"
                                                  << "/bin/sh -c \"exit 5\"" << (5u | Flag);
    }

    void ownAccountExitCodes()
    {
        QFETCH(bool, byName);
        QFETCH(QString, password);
        QFETCH(QString, command);
        TProcessHandle handle = StartProcessWithLogon(byName ? CurrentUserName() : QString(), QString(),
                                                      password, command, QString());
        QVERIFY(handle.IsValid());
        const pid_t pid = handle.Pid();
        QTEST(WaitForProcess(handle, 0), "result");
        QVERIFY(!handle.IsValid());
        QCOMPARE(ProcessState(pid), char(0)); // reaped, no zombie
    }

    // The command line is split by the program's own rule, without a shell.
    void arguments_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("plain") << "one two" << QStringList{"one", "two"};
        QTest::newRow("blanks in quotes") << "\"a b\"  c" << QStringList{"a b", "c"};
        QTest::newRow("doubled quote") << "\"say \"\"hi\"\"\"" << QStringList{"say \"hi\""};
        QTest::newRow("newline in a quoted path")
            << "\"/data/line\nbreak.buj\"" << QStringList{"/data/line\nbreak.buj"};
        QTest::newRow("empty argument") << "\"\" x" << QStringList{"", "x"};
        QTest::newRow("shell characters stay") << "$HOME;*|>x" << QStringList{"$HOME;*|>x"};
    }

    void arguments()
    {
        QFETCH(QString, args);
        const QString script = WriteScript(QStringLiteral("dir with blanks/say \"it\".sh"),
                                           "out=$1; shift; printf '%s\\0' \"$@\" > \"$out\"",
                                           QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!script.isEmpty());
        const QString out = FTemp->filePath(QStringLiteral("args.out"));
        QFile::remove(out);
        TProcessHandle handle = StartProcessWithLogon(
            QString(), QString(), QString(), Quoted(script) + u' ' + Quoted(out) + u' ' + args, QString());
        QCOMPARE(WaitForProcess(handle, 0), 0u);
        QByteArray written = ReadAll(out);
        QVERIFY(written.endsWith('\0'));
        written.chop(1);
        QStringList received;
        for (const QByteArray &arg : written.split('\0'))
            received << QString::fromUtf8(arg);
        QTEST(received, "expected");
    }

    // Failures of the program itself come back through the child with their real reason.
    void startFailures_data()
    {
        QTest::addColumn<bool>("asTestUser");
        QTest::addColumn<QString>("command"); // "@" stands for the test's folder
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("message");
        const QString noFile = QStringLiteral("No such file or directory (0x00000002)");
        const QString denied = QStringLiteral("Permission denied (0x0000000D)");
        QTest::newRow("missing program") << false << "@/no-such-program"
                                         << "" << noFile;
        QTest::newRow("not on PATH") << false << "ak-no-such-program-here"
                                     << "" << noFile;
        QTest::newRow("empty command line") << false << ""
                                            << "" << noFile;
        QTest::newRow("not executable") << false << "@/plain.sh"
                                        << "" << denied;
        QTest::newRow("a folder") << false << "@"
                                  << "" << denied;
        QTest::newRow("missing working folder") << false << "/bin/true"
                                                << "@/no-such-folder" << noFile;
        QTest::newRow("program the account may not run") << true << "@/private.sh"
                                                         << "" << denied;
        QTest::newRow("folder the account may not enter") << true << "/bin/true"
                                                          << "@" << denied;
    }

    void startFailures()
    {
        QFETCH(bool, asTestUser);
        QFETCH(QString, command);
        QFETCH(QString, folder);
        QVERIFY(!WriteScript(QStringLiteral("plain.sh"), "exit 0", QFile::ReadOwner | QFile::WriteOwner)
                     .isEmpty());
        QVERIFY(!WriteScript(QStringLiteral("private.sh"), "exit 0",
                             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
                     .isEmpty());
        command.replace(u'@', FTemp->path());
        folder.replace(u'@', FTemp->path());
        if (const QString why = UserSkipReason(); asTestUser && !why.isEmpty())
            QSKIP(qPrintable(why));
        const QList<pid_t> before = ChildPids();
        QTEST(TryStart(asTestUser ? FUser->Name() : QString(), asTestUser ? FUser->Password() : QString(),
                       command, folder),
              "message");
        QCOMPARE(ChildPids(), before);
    }

    // A wait with a limit reports a running program again and again and keeps its handle.
    void limitedWaitKeepsHandle()
    {
        TProcessHandle handle =
            StartProcessWithLogon(QString(), QString(), QString(), "/bin/sleep 60", QString());
        TKillGuard guard{handle.Pid()};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(WaitForProcess(handle, 100), ProcessStillRunning);
            QVERIFY(handle.IsValid());
            QCOMPARE(handle.Pid(), guard.Pid);
        }
        QCOMPARE(kill(guard.Pid, SIGKILL), 0);
        QCOMPARE(WaitForProcess(handle, 10000), (128u + SIGKILL) | Flag);
        QVERIFY(!handle.IsValid());
        QCOMPARE(ProcessState(guard.Pid), char(0));
        guard.Pid = 0;
    }

    void waitWithoutLimitProcessesEvents()
    {
        TProcessHandle handle =
            StartProcessWithLogon(QString(), QString(), QString(), "/bin/sleep 0.35", QString());
        TKillGuard guard{handle.Pid()};
        int calls = 0;
        QCOMPARE(WaitForProcess(handle, 0, [&calls] { ++calls; }), 0u);
        guard.Pid = 0;
        QVERIFY2(calls >= 2, qPrintable(QString::number(calls)));

        // A headless run passes no callback.
        handle = StartProcessWithLogon(QString(), QString(), QString(), "/bin/sleep 0.15", QString());
        QCOMPARE(WaitForProcess(handle, 0, {}), 0u);
    }

    // A program whose handle is dropped while it runs leaves no zombie behind.
    void droppedHandleIsReaped()
    {
        pid_t pid;
        {
            TProcessHandle handle =
                StartProcessWithLogon(QString(), QString(), QString(), "/bin/sleep 0.2", QString());
            pid = handle.Pid();
        }
        QTRY_COMPARE_WITH_TIMEOUT(ProcessState(pid), 'Z', 10000);
        TProcessHandle other = StartProcessWithLogon(QString(), QString(), QString(), "/bin/true", QString());
        QCOMPARE(ProcessState(pid), char(0));
        QCOMPARE(WaitForProcess(other, 0), 0u);
    }

    // The program really runs as the account, in its own environment, without the password.
    void otherAccount_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("home folder") << "";
        QTest::newRow("given folder") << "/";
    }

    void otherAccount()
    {
        QFETCH(QString, folder);
        if (const QString why = UserSkipReason(); !why.isEmpty())
            QSKIP(qPrintable(why));
        const TTestUser &user = *FUser;
        qputenv("AK_TEST_MARKER", "caller-only");
        qputenv("LC_TIME", "C.UTF-8");

        TProcessHandle handle;
        QCOMPARE(TryStart(user.Name(), user.Password(), "/bin/sleep 60", folder, &handle), QString());
        TKillGuard guard{handle.Pid()};
        const pid_t pid = handle.Pid();
        const QString uid = QString::number(user.Uid());
        const QString gid = QString::number(user.Gid());
        QCOMPARE(StatusValues(pid, "Uid"), QStringList({uid, uid, uid, uid}));
        QCOMPARE(StatusValues(pid, "Gid"), QStringList({gid, gid, gid, gid}));
        QStringList groups = StatusValues(pid, "Groups").join(u' ').split(u' ', Qt::SkipEmptyParts);
        groups.sort();
        QStringList expectedGroups{gid, QString::number(user.GroupId())};
        expectedGroups.sort();
        QCOMPARE(groups, expectedGroups);
        QCOMPARE(QFileInfo(ProcFile(pid, "cwd")).symLinkTarget(), folder.isEmpty() ? user.Home() : folder);

        const QByteArray environment = ReadAll(ProcFile(pid, "environ"));
        QVERIFY(!environment.isEmpty());
        const QList<QByteArray> variables = environment.split('\0');
        QVERIFY(variables.contains("HOME=" + user.Home().toUtf8()));
        QVERIFY(variables.contains("USER=" + user.Name().toUtf8()));
        QVERIFY(variables.contains("LOGNAME=" + user.Name().toUtf8()));
        QVERIFY(variables.contains("SHELL=/bin/sh"));
        QVERIFY(variables.contains("LC_TIME=C.UTF-8"));
        QVERIFY(std::any_of(variables.begin(), variables.end(),
                            [](const QByteArray &A) { return A.startsWith("PATH=/"); }));
        QVERIFY(!environment.contains("AK_TEST_MARKER"));
        QVERIFY(!environment.contains(user.Password().toUtf8()));
        QVERIFY(!ReadAll(ProcFile(pid, "cmdline")).contains(user.Password().toUtf8()));

        QCOMPARE(kill(pid, SIGTERM), 0);
        QCOMPARE(WaitForProcess(handle, 0), (128u + SIGTERM) | Flag);
        guard.Pid = 0;
        qunsetenv("AK_TEST_MARKER");
        qunsetenv("LC_TIME");
        handle = StartProcessWithLogon(user.Name(), QString(), user.Password(), "/bin/sh -c \"exit 6\"",
                                       QString());
        QCOMPARE(WaitForProcess(handle, 0), 6u | Flag);
    }

    // Refused accounts: PAM's text, no retry and no program started.
    void logonFailures_data()
    {
        QTest::addColumn<QString>("account");  // "@" stands for the test account's name
        QTest::addColumn<QString>("password"); // "@" stands for its password
        QTest::newRow("wrong password") << "@"
                                        << "not the password";
        QTest::newRow("unknown account") << "ak-nobody-here"
                                         << "@";
        QTest::newRow("domain is part of the login name") << "WORKGROUP\\@"
                                                          << "@";
        QTest::newRow("backslash without a name") << "WORKGROUP\\"
                                                  << "@";
        QTest::newRow("password of 10000 bytes") << "@" << QString(10000, u'x');
        QTest::newRow("password cut by a NUL")
            << "@" << QStringLiteral("@") + QChar(0) + QStringLiteral("tail");
        QTest::newRow("name cut by a NUL") << QStringLiteral("@") + QChar(0) + QStringLiteral("x") << "@";
    }

    void logonFailures()
    {
        QFETCH(QString, account);
        QFETCH(QString, password);
        if (const QString why = UserSkipReason(); !why.isEmpty())
            QSKIP(qPrintable(why));
        account.replace(u'@', FUser->Name());
        password.replace(u'@', FUser->Password());
        const QList<pid_t> before = ChildPids();
        QCOMPARE(TryStart(account, password, "/bin/true", QString()), AuthFailure);
        QCOMPARE(ChildPids(), before);
        // The same account with its password does start: the refusal was about the row's input.
        QCOMPARE(TryStart(FUser->Name(), FUser->Password(), "/bin/true", QString()), QString());
    }

    void pamCodesHaveTheirOwnText()
    {
        QCOMPARE(SystemErrorText(PamErrorFlag | 7), QStringLiteral("Authentication failure (0x10000007)"));
        QCOMPARE(SystemErrorMessage(EPERM), QStringLiteral("Operation not permitted"));
    }

    // Without root another account is refused before any password is checked, while the
    // own account still starts.
    void otherAccountWithoutRoot()
    {
        const auto attempt = []() -> QString {
            return TryStart(QStringLiteral("root"), QStringLiteral("x"), "/bin/true", QString()) + u'|' +
                   TryStart(QString(), QString(), "/bin/true", QString());
        };
        const QString expected = QStringLiteral("Operation not permitted (0x00000001)|");
        if (!IsRoot()) {
            QCOMPARE(attempt(), expected);
            return;
        }
        if (const QString why = UserSkipReason(); !why.isEmpty())
            QSKIP(qPrintable(why));
        int pipeFds[2];
        QCOMPARE(pipe(pipeFds), 0);
        const pid_t helper = fork();
        QVERIFY(helper >= 0);
        if (helper == 0) {
            // The helper drops to the test account and reports through the pipe.
            close(pipeFds[0]);
            QByteArray report = "cannot drop privileges";
            if (setgroups(0, nullptr) == 0 && setgid(FUser->Gid()) == 0 && setuid(FUser->Uid()) == 0)
                report = attempt().toUtf8();
            [[maybe_unused]] const ssize_t written =
                write(pipeFds[1], report.constData(), size_t(report.size()));
            _exit(0);
        }
        close(pipeFds[1]);
        QByteArray report;
        char buffer[256];
        ssize_t n;
        while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
            report.append(buffer, n);
        close(pipeFds[0]);
        QCOMPARE(waitpid(helper, nullptr, 0), helper);
        QCOMPARE(QString::fromUtf8(report), expected);
    }
};

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
