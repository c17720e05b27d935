#pragma once

#include "config/StarterConfig.h"
#include "platform/Process.h"
#include "run/CommandLine.h"
#include "run/RunLog.h"
#include "run/RunQuestions.h"

#include <QString>
#include <QStringList>

#include <functional>

// The run engine: runs backup groups through the backup program under the groups'
// accounts, either unattended as the command line asks (CheckForce) or one group from
// the main window (RunGroup). It holds the configuration, the command line's request and
// the run state; the main window owns it, an unattended run without a display uses it
// alone. Questions and error messages go through the TRunQuestions it is given.
class TStarter
{
public:
    explicit TStarter(TRunQuestions &AQuestions);

    // Takes the request, the backup program, the "ini" folder and the log file's name
    // from the program's environment, and loads the configuration. A configuration that
    // cannot be read leaves no group and its reason is logged by an unattended run.
    TConfigResult Setup(const TRunRequest &ARequest);

    // The unattended run of the groups the command line names, when it says "force";
    // returns Request.Force, which tells the program to end instead of showing its window.
    bool CheckForce();
    // Runs one group; false only when the password question was cancelled.
    bool RunGroup(int AGroup, bool AInteractive);
    // The backup program and its options for a group, without task files.
    QString BuildBackupCommand(int AGroup) const;

    // What PollBackup and RunBackup return in Code besides the backup program's own
    // exit code (its low eight bits).
    static constexpr int brRunning = -1;
    static constexpr int brStartFailed = 7;
    static constexpr int brNoExitCode = 8;

    struct TStartResult
    {
        bool Ok = false;
        TProcessHandle Handle;
        QString Message;
    };
    struct TBackupResult
    {
        int Code = 0;
        QString Message;
    };
    // Starts the backup program under an account ("domain\user", "user" or empty).
    TStartResult StartBackup(const QString &AAccount, const QString &APassword, const QString &ACommand);
    // Looks at a started backup program for at most 100 ms.
    TBackupResult PollBackup(TProcessHandle &AHandle);
    // Starts the backup program and waits for its end, processing events meanwhile.
    TBackupResult RunBackup(const QString &AAccount, const QString &APassword, const QString &ACommand);

    TStarterConfig Config;
    TRunRequest Request;
    QString AkPath;  // the backup program; empty when it was not found
    QString IniPath; // folder of an INI file chosen with "ini", passed on; else empty
    QString LogName; // the starter's log file
    QString Caption; // title of the password question: the main window's caption
    TRunLog Log;     // LogList and ErrCount of the current unattended run
    // Called while waiting for backup programs and after each start: the GUI processes
    // its pending events there; empty without one.
    std::function<void()> ProcessEvents;
    int LogRetryDelay = LogRetryDelayMs;

private:
    void Report(const QString &AText, bool AInteractive);
    void ProcessPendingEvents() const;
    bool IsReported(int ACode, const TTaskProperties &AGroup, bool AInteractive) const;
    void RunSequential(TTaskProperties &AGroup, const QString &APassword, const QString &ABase,
                       bool AInteractive);
    void RunParallel(TTaskProperties &AGroup, const QString &APassword, const QString &ABase,
                     bool AInteractive);
    void AskEndAction(bool &ACancelled);
    void WriteLogFile();

    TRunQuestions &FQuestions;
    QString FConfigError;
};
