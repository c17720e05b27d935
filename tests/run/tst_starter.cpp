#include "run/Starter.h"

#include "support/PrivateSystemBus.h"
#include "support/TaskFiles.h"
#include "support/TestSupport.h"
#include "support/TestUsers.h"
#include "support/X11Fixture.h"
#include "util/Clock.h"
#include "util/FileUtils.h"
#include "util/SystemInfo.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

const QString Arkivo = QStringLiteral(AK_ARKIVO_PATH);

// A backup program that records its arguments, one record per start (ended by the
// character 0x1E, as arguments may hold line breaks) with each argument in brackets, in
// the file "record" beside itself, and ends with the exit code written in
// the first line of its last argument (a task file), after sleeping for the seconds in
// the second line. A code "kill" ends it by SIGKILL.
const QByteArray RecorderScript = "#!/bin/sh\n"
                                  "line=\n"
                                  "last=\n"
                                  "for a; do line=\"$line[$a]\"; last=$a; done\n"
                                  "printf '%s\\036' \"$line\" >> \"${0%/*}/record\"\n"
                                  "code=0\n"
                                  "if [ -f \"$last\" ]; then\n"
                                  "  code=$(sed -n 1p \"$last\")\n"
                                  "  pause=$(sed -n 2p \"$last\")\n"
                                  "  [ -n \"$pause\" ] && sleep \"$pause\"\n"
                                  "fi\n"
                                  "[ \"$code\" = kill ] && kill -9 $$\n"
                                  "exit \"${code:-0}\"\n";

// A start failure's text: the system's text and the code in upper-case hex digits.
QString StartError(int ACode)
{
    return SystemErrorMessage(ACode) + QStringLiteral(" (0x") +
           QStringLiteral("%1").arg(ACode, 8, 16, QLatin1Char('0')).toUpper() + u')';
}

// The questions of a run, answered from the test's script.
class TScriptedQuestions : public TRunQuestions
{
public:
    std::optional<QString> Password;
    std::optional<TChoice> Choice;
    QStringList Asked;
    QStringList Errors;

    std::optional<QString> AskPassword(const QString &ATitle, const QString &APrompt) override
    {
        Asked << ATitle + u'|' + APrompt;
        return Password;
    }
    std::optional<TChoice> AskChoice(const QString &ATitle, const QString &AQuestion,
                                     const QStringList &AAnswers, const QString &AOption) override
    {
        Asked << ATitle + u'|' + AQuestion + u'|' + AAnswers.join(u'|') + u'|' + AOption;
        return Choice;
    }
    void ShowError(const QString &AText) override { Errors << AText; }
};

} // namespace

class TestStarter final : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FDir;
    TScriptedQuestions FQuestions;
    std::unique_ptr<TStarter> FStarter;
    TPrivateSystemBus FBus;
    bool FBusUp = false;

    QString Path(const QString &AName) const { return FDir->filePath(AName); }

    // The recorder as the backup program, at AName in the test folder.
    QString InstallRecorder(const QString &AName = QStringLiteral("recorder"))
    {
        const QString program = Path(AName);
        if (!WriteAll(program, RecorderScript) || chmod(QFile::encodeName(program).constData(), 0755) != 0)
            return QString();
        FStarter->AkPath = program;
        return program;
    }
    // The arguments of every start of the recorder, sorted (parallel starts end in any order).
    QList<QStringList> Recorded() const
    {
        QList<QStringList> starts;
        for (const QByteArray &line : ReadAll(Path(QStringLiteral("record"))).split('\x1e')) {
            if (line.isEmpty())
                continue;
            QString text = QString::fromUtf8(line);
            text.chop(1);
            starts << text.mid(1).split(QStringLiteral("]["));
        }
        std::sort(starts.begin(), starts.end());
        return starts;
    }
    // A task file for the recorder: its exit code and pause.
    QString RecorderTask(const QString &AName, const QString &ACode = QStringLiteral("0"),
                         const QString &APause = QString())
    {
        const QString name = Path(AName);
        WriteAll(name, (ACode + u'\n' + APause + u'\n').toUtf8());
        return name;
    }

    // A task file for the stand-in backup program that ends with AKind's exit code:
    // 0, 1 (no task file), 2 (no destination folder), 3 (no source folder), 4 (a file that
    // cannot be copied), 6 (no destination in the task).
    QString ArkivoTask(const QString &AName, int AKind)
    {
        const QString source = Path(AName + QStringLiteral("-src"));
        const QString dest = Path(AName + QStringLiteral("-dest"));
        QDir().mkpath(source);
        WriteAll(source + QStringLiteral("/file.txt"), "content");
        TTaskFile task;
        task.Destination = dest;
        task.Sources = {source};
        switch (AKind) {
        case 1:
            return Path(AName + QStringLiteral(".buj"));
        case 2:
            task.Destination = Path(QStringLiteral("missing/") + AName);
            break;
        case 3:
            task.Sources = {Path(QStringLiteral("missing-source"))};
            break;
        case 4:
            // The folder the source is copied into is a file.
            QDir().mkpath(dest);
            WriteAll(dest + u'/' + QFileInfo(source).fileName(), "in the way");
            break;
        case 6:
            task.Destination.clear();
            break;
        default:
            break;
        }
        const QString name = Path(AName + QStringLiteral(".buj"));
        WriteTaskFile(name, task);
        return name;
    }

    TTaskProperties &AddGroup(const QString &AName, const QStringList &ATasks, bool AParallel = false)
    {
        TTaskProperties &group = *FStarter->Config.Groups[size_t(FStarter->Config.AddGroup(AName))];
        group.PwdPrompt = false;
        group.Pwd = QStringLiteral("unused");
        group.ParProc = AParallel;
        group.Status = 0;
        for (const QString &task : ATasks)
            group.AddTask(task, true);
        return group;
    }

    // The run log without its header and start line, which the tests check once.
    QStringList RunLines() const
    {
        const QStringList &lines = FStarter->Log.LogList;
        return lines.mid(2);
    }
    static QStringList WithoutEnd(QStringList ALines)
    {
        if (!ALines.isEmpty() && ALines.last().startsWith(QStringLiteral("  ==> End: ")))
            ALines.removeLast();
        return ALines;
    }

    void RequireBus()
    {
        if (!FBusUp || !FBus.IsCurrent())
            QSKIP(qPrintable(QStringLiteral("No private system bus: ") + FBus.Error()));
        FBus.Reset();
    }

private slots:
    void initTestCase()
    {
        // Whatever a test does, it must never reach the machine's own logind.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/akstarter-test-bus");
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        FBusUp = FBus.Start();
    }
    void cleanupTestCase() { FBus.Stop(); }

    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
        FQuestions = TScriptedQuestions();
        FStarter = std::make_unique<TStarter>(FQuestions);
        FStarter->AkPath = Arkivo;
        FStarter->LogName = Path(QStringLiteral("akstarter.log"));
        FStarter->LogRetryDelay = 10;
        FStarter->Request.Force = true;
    }
    void cleanup() { FStarter.reset(); }

    void buildsTheBackupCommand_data()
    {
        QTest::addColumn<QString>("akPath");
        QTest::addColumn<QString>("iniPath");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("logDir");
        QTest::addColumn<bool>("noSplash");
        QTest::addColumn<bool>("sound");
        QTest::addColumn<bool>("runAs");
        QTest::addColumn<QString>("expected");
        const QString ark = QStringLiteral("/usr/bin/arkivo");
        QTest::newRow("delay with sound off")
            << ark << QString() << 1 << QString() << false << false << false
            << QStringLiteral(
                   "/usr/bin/arkivo /startapp:akstarter /prompt:delay /nosound /wait:5 /force /noaction");
        QTest::newRow("quiet with sound")
            << ark << QString() << 0 << QString() << false << true << false
            << QStringLiteral("/usr/bin/arkivo /startapp:akstarter /prompt:quiet "
                              "/force /noaction");
        QTest::newRow("wait") << ark << QString() << 2 << QString() << false << true << false
                              << QStringLiteral(
                                     "/usr/bin/arkivo /startapp:akstarter /prompt:wait /force /noaction");
        QTest::newRow("error waits")
            << ark << QString() << 3 << QString() << false << true << false
            << QStringLiteral("/usr/bin/arkivo /startapp:akstarter /prompt:error /wait:5 /force /noaction");
        QTest::newRow("silent") << ark << QString() << 4 << QString() << false << true << false
                                << QStringLiteral("/usr/bin/arkivo /startapp:akstarter /prompt:silent /force "
                                                  "/noaction");
        QTest::newRow("unknown status is delay without wait")
            << ark << QString() << 7 << QString() << false << true << false
            << QStringLiteral("/usr/bin/arkivo /startapp:akstarter /prompt:delay /force /noaction");
        QTest::newRow("every option in its place")
            << ark << QStringLiteral("/etc/ak conf/") << 1 << QStringLiteral("/var/log/ak") << true << false
            << true
            << QStringLiteral("/usr/bin/arkivo /startapp:akstarter /prompt:delay \"/ini:/etc/ak conf/\" "
                              "/logdir:/var/log/ak /hide /nosound /elevate /wait:5 /force /noaction");
        QTest::newRow("program path with blanks and quotes")
            << QStringLiteral("/opt/my \"best\" backup/arkivo") << QString() << 0 << QStringLiteral("/a\"b")
            << false << true << false
            << QStringLiteral("\"/opt/my \"\"best\"\" backup/arkivo\" /startapp:akstarter /prompt:quiet "
                              "\"/logdir:/a\"\"b\" /force /noaction");
    }
    void buildsTheBackupCommand()
    {
        QFETCH(QString, akPath);
        QFETCH(QString, iniPath);
        QFETCH(int, status);
        QFETCH(QString, logDir);
        QFETCH(bool, noSplash);
        QFETCH(bool, sound);
        QFETCH(bool, runAs);
        QFETCH(QString, expected);
        FStarter->AkPath = akPath;
        FStarter->IniPath = iniPath;
        TTaskProperties &group = AddGroup(QStringLiteral("G"), {});
        group.Status = status;
        group.AltLogDir = logDir;
        group.NoSplash = noSplash;
        group.PlaySound = sound;
        group.RunAs = runAs;
        QCOMPARE(FStarter->BuildBackupCommand(0), expected);
        // The command comes back apart as it was put together.
        QCOMPARE(SplitCommandLine(expected).first(), akPath);
    }

    void passesEachTaskAsOneArgument_data()
    {
        QTest::addColumn<bool>("parallel");
        QTest::newRow("sequential") << false;
        QTest::newRow("parallel") << true;
    }
    void passesEachTaskAsOneArgument()
    {
        QFETCH(bool, parallel);
        const QString program = InstallRecorder(QStringLiteral("my \"backup\" program"));
        QVERIFY(!program.isEmpty());
        const QString odd = RecorderTask(QStringLiteral("new\nline \"quoted\"\ttab.buj"));
        const QString plain = RecorderTask(QStringLiteral("plain.buj"));
        AddGroup(QStringLiteral("G"), {odd, plain}, parallel);
        QVERIFY(FStarter->RunGroup(0, true));
        QCOMPARE(FQuestions.Errors, QStringList());
        const QList<QStringList> starts = Recorded();
        QCOMPARE(starts.size(), parallel ? 2 : 1);
        if (parallel) {
            QCOMPARE(starts[0].last(), odd);
            QCOMPARE(starts[1].last(), plain);
        } else {
            QCOMPARE(starts[0].mid(starts[0].size() - 2), QStringList({odd, plain}));
        }
    }

    void runsASequentialGroupInOneProcess()
    {
        QVERIFY(!InstallRecorder().isEmpty());
        const QString a = RecorderTask(QStringLiteral("a.buj"));
        const QString b = RecorderTask(QStringLiteral("b.buj"));
        const QString c = RecorderTask(QStringLiteral("c.buj"));
        TTaskProperties &group = AddGroup(QStringLiteral("G"), {a, b, c});
        group.AddTask(RecorderTask(QStringLiteral("off.buj")), false);
        QVERIFY(FStarter->RunGroup(0, false));
        const QString base = FStarter->BuildBackupCommand(0);
        QCOMPARE(Recorded(), QList<QStringList>({SplitCommandLine(base).mid(1) + QStringList{a, b, c}}));
        QCOMPARE(FStarter->Log.LogList, QStringList({QStringLiteral("      Backup task: ") + a,
                                                     QStringLiteral("      Backup task: ") + b,
                                                     QStringLiteral("      Backup task: ") + c}));
    }

    // Three tasks of which two fail still give one error: the first failure's.
    void reportsOneErrorForASequentialGroup()
    {
        const QString a = ArkivoTask(QStringLiteral("a"), 2);
        const QString b = ArkivoTask(QStringLiteral("b"), 0);
        const QString c = ArkivoTask(QStringLiteral("c"), 3);
        AddGroup(QStringLiteral("G"), {a, b, c});
        QVERIFY(FStarter->RunGroup(0, false));
        QCOMPARE(WithoutEnd(FStarter->Log.LogList).mid(3),
                 QStringList(QStringLiteral("  *** Error reported by Arkivo: Destination path not found!")));
        QCOMPARE(FStarter->Log.ErrCount, 1);
        QVERIFY(QFileInfo::exists(Path(QStringLiteral("b-dest/b-src/file.txt"))));
    }

    void startsParallelTasksWithDelayAndPosition_data()
    {
        QTest::addColumn<int>("startDelay");
        QTest::addColumn<QList<bool>>("enabled");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("first disabled")
            << 30 << QList<bool>{false, true, true}
            << QStringList{QStringLiteral("/delay:30 /xinst:2"), QStringLiteral("/delay:60 /xinst:3")};
        QTest::newRow("first enabled")
            << 30 << QList<bool>{true, false, true}
            << QStringList{QStringLiteral("/xinst:1"), QStringLiteral("/delay:60 /xinst:3")};
        QTest::newRow("no delay") << 0 << QList<bool>{true, true}
                                  << QStringList{QStringLiteral("/xinst:1"), QStringLiteral("/xinst:2")};
    }
    void startsParallelTasksWithDelayAndPosition()
    {
        QFETCH(int, startDelay);
        QFETCH(QList<bool>, enabled);
        QFETCH(QStringList, options);
        QVERIFY(!InstallRecorder().isEmpty());
        TTaskProperties &group = AddGroup(QStringLiteral("G"), {}, true);
        group.StartDelay = startDelay;
        QStringList started;
        for (qsizetype k = 0; k < enabled.size(); ++k) {
            const QString task = RecorderTask(QStringLiteral("t%1.buj").arg(k));
            group.AddTask(task, enabled[k]);
            if (enabled[k])
                started << task;
        }
        int events = 0;
        FStarter->ProcessEvents = [&events] { ++events; };
        QVERIFY(FStarter->RunGroup(0, false));
        QList<QStringList> expected;
        const QStringList base = SplitCommandLine(FStarter->BuildBackupCommand(0)).mid(1);
        for (qsizetype i = 0; i < started.size(); ++i)
            expected << base + options[i].split(u' ') + QStringList(started[i]);
        std::sort(expected.begin(), expected.end());
        QCOMPARE(Recorded(), expected);
        // After each start and after each pass of the wait.
        QVERIFY(events > started.size());
        for (const TTaskEntry &entry : group.Tasks)
            QCOMPARE(entry.ProcessHandle, -1);
    }

    // Each ended process is reported as soon as its end is seen, whatever its place.
    void reportsParallelTasksAsTheyEnd()
    {
        QVERIFY(!InstallRecorder().isEmpty());
        const QString slow =
            RecorderTask(QStringLiteral("slow.buj"), QStringLiteral("3"), QStringLiteral("1.2"));
        const QString fast = RecorderTask(QStringLiteral("fast.buj"), QStringLiteral("1"));
        const QString middle =
            RecorderTask(QStringLiteral("middle.buj"), QStringLiteral("2"), QStringLiteral("0.6"));
        AddGroup(QStringLiteral("G"), {slow, fast, middle}, true);
        QVERIFY(FStarter->RunGroup(0, false));
        const QString suffix = QStringLiteral(" - Backup task: ");
        QCOMPARE(
            FStarter->Log.LogList.mid(3),
            QStringList({QStringLiteral("  *** Error reported by Arkivo: Task not found!") + suffix + fast,
                         QStringLiteral("  *** Error reported by Arkivo: Destination path not found!") +
                             suffix + middle,
                         QStringLiteral("  *** Error reported by Arkivo: Source directory not found!") +
                             suffix + slow}));
        QCOMPARE(FStarter->Log.ErrCount, 3);
    }

    void reportsExitCodes_data()
    {
        QTest::addColumn<QString>("program"); // "arkivo" or "recorder"
        QTest::addColumn<QString>("code");    // the arkivo task kind or the recorder's code
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("interactive");
        QTest::addColumn<bool>("parallel");
        QTest::addColumn<QString>("message"); // empty: nothing reported
        const QString reported = QStringLiteral("Error reported by Arkivo: ");
        const QString a = QStringLiteral("arkivo");
        const QString r = QStringLiteral("recorder");
        QTest::newRow("success") << a << QStringLiteral("0") << 0 << false << false << QString();
        QTest::newRow("task not found") << a << QStringLiteral("1") << 0 << false << false
                                        << reported + QStringLiteral("Task not found!");
        QTest::newRow("destination") << a << QStringLiteral("2") << 0 << true << false
                                     << reported + QStringLiteral("Destination path not found!");
        QTest::newRow("source") << a << QStringLiteral("3") << 0 << false << true
                                << reported + QStringLiteral("Source directory not found!");
        QTest::newRow("errors, interactive, status 1") << a << QStringLiteral("4") << 1 << true << false
                                                       << reported + QStringLiteral("Errors during backup!");
        QTest::newRow("errors, interactive, status 2")
            << a << QStringLiteral("4") << 2 << true << false << QString();
        QTest::newRow("errors, interactive, status 4, parallel")
            << a << QStringLiteral("4") << 4 << true << true << QString();
        QTest::newRow("errors, unattended, status 2") << a << QStringLiteral("4") << 2 << false << false
                                                      << reported + QStringLiteral("Errors during backup!");
        QTest::newRow("invalid task") << a << QStringLiteral("6") << 0 << false << false
                                      << reported + QStringLiteral("Invalid task configuration!");
        QTest::newRow("aborted") << r << QStringLiteral("5") << 0 << false << false
                                 << reported + QStringLiteral(
                                                   "The backup was aborted by the user or due to an error!");
        QTest::newRow("code 7") << r << QStringLiteral("7") << 0 << false << false
                                << reported + QStringLiteral("Unexpected error!");
        QTest::newRow("code 255") << r << QStringLiteral("255") << 0 << true << true
                                  << reported + QStringLiteral("Unexpected error!");
        QTest::newRow("code 260 is 4") << r << QStringLiteral("260") << 1 << true << false
                                       << reported + QStringLiteral("Errors during backup!");
        QTest::newRow("code 256 is success")
            << r << QStringLiteral("256") << 0 << false << false << QString();
        QTest::newRow("killed") << r << QStringLiteral("kill") << 0 << false << true
                                << reported + QStringLiteral("Unexpected error!");
    }
    void reportsExitCodes()
    {
        QFETCH(QString, program);
        QFETCH(QString, code);
        QFETCH(int, status);
        QFETCH(bool, interactive);
        QFETCH(bool, parallel);
        QFETCH(QString, message);
        QString task;
        if (program == u"arkivo") {
            task = ArkivoTask(QStringLiteral("task"), code.toInt());
        } else {
            QVERIFY(!InstallRecorder().isEmpty());
            task = RecorderTask(QStringLiteral("task.buj"), code);
        }
        TTaskProperties &group = AddGroup(QStringLiteral("G"), {task}, parallel);
        group.Status = status;
        QVERIFY(FStarter->RunGroup(0, interactive));
        if (!message.isEmpty() && parallel)
            message += QStringLiteral(" - Backup task: ") + task;
        const QStringList expected = message.isEmpty() ? QStringList() : QStringList(message);
        if (interactive) {
            QCOMPARE(FQuestions.Errors, expected);
        } else {
            QStringList errors = FStarter->Log.LogList.filter(QStringLiteral("  *** "));
            errors.replaceInStrings(QStringLiteral("  *** "), QString());
            QCOMPARE(errors, expected);
            QCOMPARE(FStarter->Log.ErrCount, int(expected.size()));
        }
    }

    // Bad programs, bad accounts: each start failure is one message, and the run goes on.
    void reportsStartFailures_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<bool>("parallel");
        QTest::newRow("not executable") << QStringLiteral("not executable") << false;
        QTest::newRow("not executable, parallel") << QStringLiteral("not executable") << true;
        QTest::newRow("vanished") << QStringLiteral("vanished") << false;
        QTest::newRow("folder") << QStringLiteral("folder") << true;
        QTest::newRow("domain without name") << QStringLiteral("domain without name") << false;
        QTest::newRow("domain without name, parallel") << QStringLiteral("domain without name") << true;
    }
    void reportsStartFailures()
    {
        QFETCH(QString, failure);
        QFETCH(bool, parallel);
        const QString program = InstallRecorder();
        QVERIFY(!program.isEmpty());
        QString reason;
        TTaskProperties &bad =
            AddGroup(QStringLiteral("Bad"), {RecorderTask(QStringLiteral("a.buj"))}, parallel);
        if (failure == u"not executable") {
            QCOMPARE(chmod(QFile::encodeName(program).constData(), 0644), 0);
            reason = StartError(EACCES);
        } else if (failure == u"vanished") {
            QVERIFY(QFile::remove(program));
            reason = StartError(ENOENT);
        } else if (failure == u"folder") {
            FStarter->AkPath = FDir->path();
            reason = StartError(EACCES);
        } else {
            bad.User = QStringLiteral("NOWHERE\\");
        }
        AddGroup(QStringLiteral("Good"), {ArkivoTask(QStringLiteral("g"), 0)});
        QVERIFY(FStarter->RunGroup(0, false));
        const QStringList errors = FStarter->Log.LogList.filter(QStringLiteral("  *** "));
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].startsWith(QStringLiteral("  *** Error on starting Arkivo: ")),
                 qPrintable(errors[0]));
        if (!reason.isEmpty())
            QCOMPARE(errors[0], QStringLiteral("  *** Error on starting Arkivo: ") + reason);
        QCOMPARE(FStarter->Log.ErrCount, 1);
        FStarter->AkPath = Arkivo;
        QVERIFY(FStarter->RunGroup(1, false));
        QCOMPARE(FStarter->Log.ErrCount, 1);
        QVERIFY(QFileInfo::exists(Path(QStringLiteral("g-dest/g-src/file.txt"))));
    }

    void reportsAGroupWithoutTasks_data()
    {
        QTest::addColumn<bool>("interactive");
        QTest::newRow("interactive") << true;
        QTest::newRow("unattended") << false;
    }
    void reportsAGroupWithoutTasks()
    {
        QFETCH(bool, interactive);
        AddGroup(QStringLiteral("Empty"), {});
        QVERIFY(FStarter->RunGroup(0, interactive));
        const QString text = QStringLiteral("No backup tasks specified!");
        QCOMPARE(FQuestions.Errors, interactive ? QStringList(text) : QStringList());
        QCOMPARE(FStarter->Log.LogList,
                 interactive ? QStringList() : QStringList(QStringLiteral("  *** ") + text));
    }

    // Left open by the design: a sequential group with only disabled tasks starts nothing,
    // as a parallel one does.
    void startsNothingWhenEveryTaskIsDisabled()
    {
        QVERIFY(!InstallRecorder().isEmpty());
        TTaskProperties &group = AddGroup(QStringLiteral("G"), {});
        group.AddTask(RecorderTask(QStringLiteral("a.buj")), false);
        QVERIFY(FStarter->RunGroup(0, false));
        QCOMPARE(Recorded(), QList<QStringList>());
        QCOMPARE(FStarter->Log.LogList, QStringList());
    }

    void asksForThePasswordUnlessOneIsStored_data()
    {
        QTest::addColumn<bool>("prompt");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("asked");
        QTest::newRow("stored") << false << QStringLiteral("secret") << false;
        QTest::newRow("prompt despite stored") << true << QStringLiteral("secret") << true;
        QTest::newRow("nothing stored") << false << QString() << true;
    }
    void asksForThePasswordUnlessOneIsStored()
    {
        QFETCH(bool, prompt);
        QFETCH(QString, stored);
        QFETCH(bool, asked);
        TTaskProperties &group = AddGroup(QStringLiteral("Daily"), {ArkivoTask(QStringLiteral("a"), 0)});
        group.User = GetUserLogonName();
        group.PwdPrompt = prompt;
        group.Pwd = stored;
        FQuestions.Password = QStringLiteral("typed");
        QVERIFY(FStarter->RunGroup(0, true));
        QCOMPARE(FQuestions.Asked,
                 asked ? QStringList(
                             QStringLiteral("Start Arkivo under different user account|Enter the password "
                                            "for user \"") +
                             group.User + QStringLiteral("\"\r\nto start the the backups of group \"Daily\""))
                       : QStringList());
        QCOMPARE(FQuestions.Errors, QStringList());
    }

    // Interactive: nothing happens. Unattended: noted, no further group, but the rest of
    // the run follows.
    void stopsWhenThePasswordIsCancelled()
    {
        RequireBus();
        QVERIFY(!InstallRecorder().isEmpty());
        TTaskProperties &first = AddGroup(QStringLiteral("First"), {RecorderTask(QStringLiteral("a.buj"))});
        first.PwdPrompt = true;
        AddGroup(QStringLiteral("Second"), {RecorderTask(QStringLiteral("b.buj"))});
        QVERIFY(!FStarter->RunGroup(0, true));
        QCOMPARE(FQuestions.Errors, QStringList());

        FStarter->Request.ConfigList = QStringLiteral("First,Second");
        FStarter->Request.WriteLog = true;
        FStarter->Request.LogOffMode = dmRestart;
        QVERIFY(FStarter->CheckForce());
        QCOMPARE(Recorded(), QList<QStringList>());
        QCOMPARE(WithoutEnd(RunLines().mid(0, 2)),
                 QStringList({QStringLiteral("  ->  Backup group: First - User name: "),
                              QStringLiteral("  *** Canceled by user")}));
        QVERIFY(RunLines().at(2).startsWith(QStringLiteral("  ==> End: ")));
        QCOMPARE(RunLines().at(3), QStringLiteral("  ==> The system will be restarted!"));
        QCOMPARE(RunLines().size(), 4);
        QCOMPARE(FStarter->Log.ErrCount, 0);
        QVERIFY(QFileInfo::exists(FStarter->LogName));
        QCOMPARE(FBus.Calls().filter(QStringLiteral("Reboot")),
                 QStringList(QStringLiteral("Manager.Reboot(false)")));
    }

    void runsTheNamedGroupsInOrder_data()
    {
        QTest::addColumn<QString>("configList");
        QTest::addColumn<QStringList>("lines"); // "G" stands for the group's lines
        QTest::addColumn<int>("errors");
        QTest::newRow("unknown first")
            << QStringLiteral("A,Real")
            << QStringList{QStringLiteral("  *** Unknown group: A"), QStringLiteral("G")} << 1;
        QTest::newRow("found without regard to case")
            << QStringLiteral("rEAL") << QStringList{QStringLiteral("G")} << 0;
        QTest::newRow("no names") << QString() << QStringList{QStringLiteral("  *** Unknown group: ")} << 1;
        QTest::newRow("empty name in between")
            << QStringLiteral("Real,,Real")
            << QStringList{QStringLiteral("G"), QStringLiteral("  *** Unknown group: "), QStringLiteral("G")}
            << 1;
        QStringList many;
        QStringList manyLines;
        for (int i = 0; i < 500; ++i) {
            many << QStringLiteral("Group %1").arg(i);
            manyLines << QStringLiteral("  *** Unknown group: Group %1").arg(i);
        }
        many.insert(250, QStringLiteral("Real"));
        manyLines.insert(250, QStringLiteral("G"));
        QTest::newRow("500 names") << many.join(u',') << manyLines << 500;
    }
    void runsTheNamedGroupsInOrder()
    {
        QFETCH(QString, configList);
        QFETCH(QStringList, lines);
        QFETCH(int, errors);
        const QString task = ArkivoTask(QStringLiteral("a"), 0);
        const QString user = GetUserLogonName();
        AddGroup(QStringLiteral("Real"), {task}).User = user;
        FStarter->Request.ConfigList = configList;
        QVERIFY(FStarter->CheckForce());
        QStringList expected;
        for (const QString &line : std::as_const(lines)) {
            if (line == u"G")
                expected << QStringLiteral("  ->  Backup group: Real - User name: ") + user
                         << QStringLiteral("      Backup task: ") + task;
            else
                expected << line;
        }
        QCOMPARE(WithoutEnd(RunLines()), expected);
        QCOMPARE(FStarter->Log.ErrCount, errors);
    }

    // Header, start, group, two tasks, end, announcement; in the file an empty line follows.
    void writesTheExactLogOfARun()
    {
        RequireBus();
        const QString a = ArkivoTask(QStringLiteral("a"), 0);
        const QString b = ArkivoTask(QStringLiteral("b"), 0);
        // The account this test runs under needs no password.
        const QString user = GetUserLogonName();
        AddGroup(QStringLiteral("Daily"), {a, b}).User = user;
        FStarter->Request.ConfigList = QStringLiteral("Daily");
        FStarter->Request.WriteLog = true;
        FStarter->Request.LogOffMode = dmPowerOff;
        const QDateTime start(QDate(2026, 3, 14), QTime(23, 59, 58));
        SetFixedNow(start);
        QVERIFY(FStarter->CheckForce());
        SetFixedNow(QDateTime());
        const QString when = RunLogDateTime(start);
        const QStringList expected{RunLogHeader(),
                                   QStringLiteral("  ==> Start: ") + when,
                                   QStringLiteral("  ->  Backup group: Daily - User name: ") + user,
                                   QStringLiteral("      Backup task: ") + a,
                                   QStringLiteral("      Backup task: ") + b,
                                   QStringLiteral("  ==> End: ") + when,
                                   QStringLiteral("  ==> The system will be shut down!")};
        QCOMPARE(FStarter->Log.LogList, expected);
        QCOMPARE(FStarter->Log.ErrCount, 0);
        QCOMPARE(ReadAll(FStarter->LogName),
                 (expected.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n")).toUtf8());
        QCOMPARE(FBus.Calls().filter(QStringLiteral("PowerOff")),
                 QStringList(QStringLiteral("Manager.PowerOff(false)")));
    }

    void asksForTheEndAction_data()
    {
        QTest::addColumn<int>("answer"); // -1: cancelled
        QTest::addColumn<bool>("option");
        QTest::addColumn<QString>("call"); // what logind is asked for, empty: nothing
        QTest::addColumn<QString>("announcement");
        QTest::newRow("cancelled") << -1 << false << QString() << QString();
        QTest::newRow("only backup") << 0 << false << QString() << QString();
        QTest::newRow("standby") << 1 << true << QStringLiteral("Manager.Suspend(false)")
                                 << QStringLiteral("The system will enter the standby state!");
        QTest::newRow("hibernate") << 2 << false << QStringLiteral("Manager.Hibernate(false)")
                                   << QStringLiteral("The system will enter the hibernate state!");
        QTest::newRow("logoff") << 3 << false << QStringLiteral("Session.Terminate()")
                                << QStringLiteral("The user will be logged off!");
        QTest::newRow("restart") << 4 << false << QStringLiteral("Manager.Reboot(false)")
                                 << QStringLiteral("The system will be restarted!");
        QTest::newRow("shutdown") << 5 << true << QStringLiteral("Manager.PowerOff(false)")
                                  << QStringLiteral("The system will be shut down!");
    }
    void asksForTheEndAction()
    {
        QFETCH(int, answer);
        QFETCH(bool, option);
        QFETCH(QString, call);
        QFETCH(QString, announcement);
        RequireBus();
        AddGroup(QStringLiteral("A"), {ArkivoTask(QStringLiteral("a"), 0)});
        AddGroup(QStringLiteral("B"), {ArkivoTask(QStringLiteral("b"), 0)});
        FStarter->Request.ConfigList = QStringLiteral("A,B");
        FStarter->Request.ActPrompt = true;
        FStarter->Request.WriteLog = true;
        // The command line asked for a shutdown and a standby; the answer replaces both.
        FStarter->Request.LogOffMode = dmShutdown;
        FStarter->Request.SuspendMode = smStandby;
        if (answer >= 0)
            FQuestions.Choice = TRunQuestions::TChoice{answer, option};
        QVERIFY(FStarter->CheckForce());
        QCOMPARE(FQuestions.Asked, QStringList(QStringLiteral(
                                       "Arkivo|Start configurated backups as different user:\r\nA, B|Only "
                                       "backup|Backup + Standby|Backup + Hibernate|Backup + Logoff|Backup + "
                                       "Restart|Backup + Shutdown|Terminate all running programs before "
                                       "starting backups")));
        QStringList calls = FBus.Calls();
        calls.removeIf([](const QString &ACall) { return ACall.contains(QStringLiteral("GetSession")); });
        QCOMPARE(calls, call.isEmpty() ? QStringList() : QStringList(call));
        if (answer < 0) {
            QCOMPARE(FStarter->Log.LogList, QStringList());
            QVERIFY(!QFileInfo::exists(FStarter->LogName));
            return;
        }
        QCOMPARE(FStarter->Request.TermProgs, option);
        QCOMPARE(RunLines().last(),
                 announcement.isEmpty() ? RunLines().last() : QStringLiteral("  ==> ") + announcement);
        QCOMPARE(RunLines().filter(QStringLiteral("  ==> ")).size(), announcement.isEmpty() ? 1 : 2);
        QVERIFY(QFileInfo::exists(FStarter->LogName));
    }

    void saysWhenTheBackupProgramIsMissing_data()
    {
        QTest::addColumn<bool>("force");
        QTest::newRow("unattended") << true;
        QTest::newRow("window") << false;
    }
    void saysWhenTheBackupProgramIsMissing()
    {
        QFETCH(bool, force);
        AddGroup(QStringLiteral("A"), {ArkivoTask(QStringLiteral("a"), 0)});
        FStarter->AkPath.clear();
        FStarter->Request.Force = force;
        FStarter->Request.ConfigList = QStringLiteral("A");
        FStarter->Request.WriteLog = true;
        QCOMPARE(FStarter->CheckForce(), force);
        QCOMPARE(FQuestions.Errors, QStringList(QStringLiteral("\"arkivo\" not found on this system!")));
        QCOMPARE(FStarter->Log.LogList, QStringList());
        QVERIFY(!QFileInfo::exists(FStarter->LogName));
    }

    // A log that cannot be written is said in the run log, which the error report mails.
    void reportsALogFileThatCannotBeWritten_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo without reader") << QStringLiteral("fifo");
        QTest::newRow("read-only file system") << QStringLiteral("read-only");
    }
    void reportsALogFileThatCannotBeWritten()
    {
        QFETCH(QString, kind);
        std::unique_ptr<TScratchMount> mount;
        if (kind == u"fifo") {
            QCOMPARE(mkfifo(QFile::encodeName(FStarter->LogName).constData(), 0600), 0);
        } else {
            if (!IsRoot())
                QSKIP("Mounting a read-only file system needs root");
            const QString folder = Path(QStringLiteral("logs"));
            QVERIFY(QDir().mkdir(folder));
            mount = std::make_unique<TScratchMount>(folder, 1024 * 1024);
            if (!mount->Mounted())
                QSKIP(qPrintable(mount->Error()));
            QVERIFY(mount->RemountReadOnly());
            FStarter->LogName = folder + QStringLiteral("/akstarter.log");
        }
        AddGroup(QStringLiteral("A"), {ArkivoTask(QStringLiteral("a"), 0)});
        FStarter->Request.ConfigList = QStringLiteral("A");
        FStarter->Request.WriteLog = true;
        QVERIFY(FStarter->CheckForce());
        QVERIFY2(FStarter->Log.LogList.last().startsWith(QStringLiteral("  *** The log file \"") +
                                                         FStarter->LogName +
                                                         QStringLiteral("\" could not be written: ")),
                 qPrintable(FStarter->Log.LogList.last()));
        QCOMPARE(FStarter->Log.ErrCount, 1);
    }

    // Real accounts: the backup runs as the group's user, and a wrong or huge password is a
    // start failure like any other.
    void runsTheBackupUnderTheGroupsAccount_data()
    {
        QTest::addColumn<bool>("parallel");
        QTest::addColumn<QString>("password"); // empty: the right one
        QTest::newRow("sequential") << false << QString();
        QTest::newRow("parallel") << true << QString();
        QTest::newRow("wrong password") << false << QStringLiteral("wrong");
        QTest::newRow("10000-byte password") << true << QString(10000, u'p');
    }
    void runsTheBackupUnderTheGroupsAccount()
    {
        QFETCH(bool, parallel);
        QFETCH(QString, password);
        if (!IsRoot())
            QSKIP("Test accounts need root");
        TTestUser user(QStringLiteral("Backup-Pass 1"));
        if (!user.Created())
            QSKIP(qPrintable(user.Error()));
        // The stand-in must read the task and write the copy as that user.
        QVERIFY(chmod(QFile::encodeName(FDir->path()).constData(), 0777) == 0);
        const QString task = ArkivoTask(QStringLiteral("a"), 0);
        const QString dest = Path(QStringLiteral("a-dest"));
        QVERIFY(QDir().mkpath(dest));
        QVERIFY(chown(QFile::encodeName(dest).constData(), user.Uid(), user.Gid()) == 0);
        TTaskProperties &group = AddGroup(QStringLiteral("U"), {task}, parallel);
        group.User = user.Name();
        group.Pwd = password.isEmpty() ? user.Password() : password;
        QVERIFY(FStarter->RunGroup(0, false));
        if (!password.isEmpty()) {
            QCOMPARE(FStarter->Log.LogList.filter(QStringLiteral("  *** ")),
                     QStringList(QStringLiteral(
                         "  *** Error on starting Arkivo: Authentication failure (0x10000007)")));
            return;
        }
        QCOMPARE(FStarter->Log.ErrCount, 0);
        struct stat st
        {
        };
        QCOMPARE(stat(QFile::encodeName(dest + QStringLiteral("/a-src/file.txt")).constData(), &st), 0);
        QCOMPARE(st.st_uid, user.Uid());
    }

    // A program that ignores SIGTERM keeps running; the run does not wait for it.
    void goesOnWhenAProgramIgnoresTermination()
    {
        TXvfbServer server;
        if (!server.Start())
            QSKIP(qPrintable(server.Error()));
        QVERIFY(server.IsCurrent());
        TX11TestClient client;
        QVERIFY2(client.Start({QStringLiteral("--ignore-term"), QStringLiteral("--window"),
                               QStringLiteral("title=Stubborn")}),
                 qPrintable(client.Error()));
        AddGroup(QStringLiteral("A"), {ArkivoTask(QStringLiteral("a"), 0)});
        FStarter->Request.ConfigList = QStringLiteral("A");
        FStarter->Request.TermProgs = true;
        QVERIFY(FStarter->CheckForce());
        QVERIFY(client.WaitForLine("SIGTERM", 5000));
        QVERIFY(client.IsRunning());
        QCOMPARE(FStarter->Log.ErrCount, 0);
        QVERIFY(QFileInfo::exists(Path(QStringLiteral("a-dest/a-src/file.txt"))));
        client.Kill();
        server.Stop();
    }
};

QTEST_GUILESS_MAIN(TestStarter)
#include "tst_starter.moc"
