// What a complete unattended run costs besides the backup itself: the program is started
// for one group with one task under another account, with a "backup program" that ends
// at once (a link named arkivo to true), and writes its log; against
// `runuser -u USER -- true` in the same run, which also switches to the account and starts
// a program. Needs root for the account; prints the ratio of the medians.

#include "config/StarterConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Rounds = 15;

bool RunTool(const QString &AProgram, const QStringList &AArgs, const QByteArray &AInput = QByteArray())
{
    QProcess process;
    process.start(AProgram, AArgs);
    if (!AInput.isEmpty()) {
        process.write(AInput);
        process.closeWriteChannel();
    }
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A throw-away account with a password, removed again at the end.
class TBenchUser
{
public:
    TBenchUser() : Name(QStringLiteral("akbench%1").arg(getpid())), Password(QStringLiteral("Bench-Pass 1"))
    {
        Created = RunTool(QStringLiteral("useradd"), {QStringLiteral("-m"), Name}) &&
                  RunTool(QStringLiteral("chpasswd"), {}, (Name + u':' + Password + u'\n').toUtf8());
    }
    ~TBenchUser() { RunTool(QStringLiteral("userdel"), {QStringLiteral("-r"), Name}); }

    QString Name;
    QString Password;
    bool Created = false;
};

// Median wall time in milliseconds of running AProgram with AArgs; -1 when a run failed,
// after showing ALog, where the program may have said why.
double MedianMs(const QString &AProgram, const QStringList &AArgs, const QProcessEnvironment &AEnvironment,
                const QString &ALog = QString())
{
    std::vector<double> times;
    for (int round = 0; round < Rounds; ++round) {
        QProcess process;
        process.setProcessEnvironment(AEnvironment);
        process.setStandardInputFile(QProcess::nullDevice());
        process.setChildProcessModifier([] { setsid(); }); // no terminal: nobody to ask
        QElapsedTimer timer;
        timer.start();
        process.start(AProgram, AArgs);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            QFile log(ALog);
            std::fprintf(stderr, "%s failed (exit code %d): %s%s\n", qPrintable(AProgram), process.exitCode(),
                         process.readAllStandardError().constData(),
                         log.open(QIODevice::ReadOnly) ? log.readAll().constData() : "");
            return -1;
        }
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (geteuid() != 0) {
        std::printf("unattended_overhead: skipped, needs root for a test account\n");
        return 0;
    }
    QTemporaryDir dir;
    TBenchUser user;
    if (!dir.isValid() || !user.Created) {
        std::fprintf(stderr, "unattended_overhead: cannot create the folder or the account\n");
        return 1;
    }
    // The account must reach the "backup program" and the task in the folder.
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ReadOther | QFile::ExeOther);
    const QString bin = dir.filePath(QStringLiteral("bin"));
    const QString task = dir.filePath(QStringLiteral("task.buj"));
    QDir().mkpath(bin);
    QFile::link(QStringLiteral("/bin/true"), bin + QStringLiteral("/arkivo"));
    QFile taskFile(task);
    taskFile.open(QIODevice::WriteOnly);
    taskFile.close();

    TStarterConfig config;
    TTaskProperties &group = *config.Groups[size_t(config.AddGroup(QStringLiteral("Bench")))];
    group.User = user.Name;
    group.Pwd = user.Password;
    group.PwdPrompt = false;
    group.AddTask(task, true);
    if (!config
             .Save(dir.filePath(QStringLiteral("akstarter.ini")), QStringLiteral("AkStarter"),
                   QStringLiteral("1"))
             .Ok)
        return 1;

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("PATH"), bin + u':' + env.value(QStringLiteral("PATH")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));

    const double baseline =
        MedianMs(QStringLiteral("runuser"),
                 {QStringLiteral("-u"), user.Name, QStringLiteral("--"), QStringLiteral("true")}, env);
    const double run = MedianMs(QStringLiteral(AK_STARTER_PATH),
                                {QStringLiteral("Bench"), QStringLiteral("/force"),
                                 QStringLiteral("/logmode:1"), QStringLiteral("/ini:") + dir.path() + u'/'},
                                env, dir.filePath(QStringLiteral("akstarter.log")));
    if (baseline <= 0 || run <= 0)
        return 1;
    std::printf("unattended_overhead: complete unattended run %.1f ms, runuser -u USER -- true %.1f ms "
                "(medians of %d); ratio %.1f\n",
                run, baseline, Rounds, run / baseline);
    return 0;
}
