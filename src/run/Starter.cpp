#include "run/Starter.h"

#include "backup/BackupProgram.h"
#include "config/ProgramEnv.h"
#include "mail/ErrorReport.h"
#include "platform/Session.h"
#include "run/EndActions.h"
#include "run/TerminatePrograms.h"
#include "util/Clock.h"
#include "util/FileUtils.h"
#include "util/SafeFormat.h"
#include "util/StrUtils.h"
#include "util/Translate.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/epoll.h>
#include <unistd.h>
#include <vector>

namespace {

// How long PollBackup looks at a process, and the longest pass of a parallel wait.
constexpr int PollTimeMs = 100;

// The end actions the start prompt offers, in the order of its buttons.
struct TEndChoice
{
    const char *Caption;
    TDownMode LogOffMode;
    TSuspendMode SuspendMode;
};
constexpr TEndChoice EndChoices[] = {
    {TrNoop("Only backup"), dmNone, smNone},
    {TrNoop("Backup + Standby"), dmNone, smStandby},
    {TrNoop("Backup + Hibernate"), dmNone, smHibernate},
    {TrNoop("Backup + Logoff"), dmLogOff, smNone},
    {TrNoop("Backup + Restart"), dmRestart, smNone},
    {TrNoop("Backup + Shutdown"), dmShutdown, smNone},
};

// The processes of a parallel run that have ended, by their place in the task list. A
// closed pidfd leaves the set by itself.
class TEpollSet
{
public:
    TEpollSet() : FFd(epoll_create1(EPOLL_CLOEXEC)) {}
    ~TEpollSet()
    {
        if (FFd >= 0)
            close(FFd);
    }
    TEpollSet(const TEpollSet &) = delete;
    TEpollSet &operator=(const TEpollSet &) = delete;

    // False when the process cannot be watched here.
    bool Add(int AWaitFd, size_t AIndex) const
    {
        if (FFd < 0)
            return false;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = AIndex;
        return epoll_ctl(FFd, EPOLL_CTL_ADD, AWaitFd, &event) == 0;
    }
    void Remove(int AWaitFd) const
    {
        if (FFd >= 0)
            epoll_ctl(FFd, EPOLL_CTL_DEL, AWaitFd, nullptr);
    }
    // Waits at most AMs for ends; a signal merely ends the wait early.
    void Wait(int AMs, std::vector<size_t> &AIndexes) const
    {
        epoll_event events[64];
        const int n = epoll_wait(FFd, events, int(std::size(events)), AMs);
        for (int i = 0; i < n; ++i)
            AIndexes.push_back(size_t(events[i].data.u64));
    }

private:
    int FFd;
};

void AppendOption(QString &ACommand, TBackupOption AOption, const QString &AValue = QString())
{
    ACommand += u' ' + QuoteArgument(FormatBackupOption(AOption, AValue));
}

} // namespace

TStarter::TStarter(TRunQuestions &AQuestions)
    : Caption(Tr("Start Arkivo under different user account")), FQuestions(AQuestions)
{
}

TConfigResult TStarter::Setup(const TRunRequest &ARequest)
{
    const TProgramEnv &env = ProgramEnv();
    Request = ARequest;
    AkPath = env.AkPath;
    IniPath = env.AIniPath;
    LogName = StarterLogName();
    const TConfigResult result = Config.Load(env.IniName, Request.LastTask);
    FConfigError = result.Ok ? QString() : result.Message;
    return result;
}

void TStarter::ProcessPendingEvents() const
{
    if (ProcessEvents)
        ProcessEvents();
}

void TStarter::Report(const QString &AText, bool AInteractive)
{
    if (AInteractive)
        FQuestions.ShowError(AText);
    else
        Log.AddError(AText);
}

// The backup program's own status window has shown its errors already when it waits for
// the user; only an interactive run can rely on someone having seen it.
bool TStarter::IsReported(int ACode, const TTaskProperties &AGroup, bool AInteractive) const
{
    return ACode > 0 && !(AInteractive && ACode == beBackupErrors && AGroup.Status >= pmWait);
}

bool TStarter::CheckForce()
{
    if (AkPath.isEmpty()) {
        FQuestions.ShowError(
            SafeFormat(Tr("\"%s\" not found on this system!"), QString::fromLatin1(BackupProgramName)));
        return Request.Force;
    }
    if (!Request.Force)
        return false;
    if (Request.ActPrompt) {
        bool cancelled = false;
        AskEndAction(cancelled);
        if (cancelled)
            return Request.Force;
    }

    Log.Clear();
    Log.AddHeader(RunLogHeader());
    Log.AddStart(Now());
    if (!FConfigError.isEmpty())
        Log.AddError(FConfigError);
    if (Request.TermProgs)
        TerminatePrograms(Log.LogList, Log.ErrCount);
    if (Request.FLockScreen)
        LockWorkStation(); // a failed lock is not noticed, as with the system's own lock

    QString names = Request.ConfigList;
    do {
        const QString name = ReadNextItem(names, u',');
        const int group = Config.FindGroup(name);
        if (group < 0) {
            Log.AddError(Tr("Unknown group: ") + name);
            continue;
        }
        const TTaskProperties &properties = *Config.Groups[size_t(group)];
        Log.AddGroup(properties.Desc, properties.User);
        if (!RunGroup(group, false)) {
            Log.AddNote(Tr("Canceled by user"));
            break;
        }
    } while (!names.isEmpty());

    Log.AddEnd(Now());
    Log.AddAnnouncement(Request.LogOffMode, Request.SuspendMode);
    if (Request.WriteLog)
        WriteLogFile();
    if (Config.MailData.Enabled && Log.ErrCount > 0)
        SendErrorReport(Config.MailData, Log.LogList, Log.ErrCount);
    PerformEndAction(Request.LogOffMode, Request.SuspendMode,
                     [this](const QString &AText) { FQuestions.ShowError(AText); });
    return Request.Force;
}

void TStarter::AskEndAction(bool &ACancelled)
{
    QStringList answers;
    for (const TEndChoice &choice : EndChoices)
        answers << Tr(choice.Caption);
    const QString question = Tr("Start configurated backups as different user:") + QStringLiteral("\r\n") +
                             QString(Request.ConfigList).replace(u',', QStringLiteral(", "));
    const auto answer = FQuestions.AskChoice(Tr("Arkivo"), question, answers,
                                             Tr("Terminate all running programs before starting backups"));
    ACancelled = !answer || answer->Answer < 0 || answer->Answer >= int(std::size(EndChoices));
    if (ACancelled)
        return;
    Request.TermProgs = answer->Option;
    Request.LogOffMode = EndChoices[answer->Answer].LogOffMode;
    Request.SuspendMode = EndChoices[answer->Answer].SuspendMode;
}

// The design leaves a failed log silent; the user asked for it, though, so the reason
// goes into the run log (and so into the error report) and to standard error.
void TStarter::WriteLogFile()
{
    const TLogWriteResult result = WriteStarterLog(LogName, Log.LogList, LogRetryDelay);
    if (result.Ok)
        return;
    Log.AddError(result.Message);
    const QByteArray text = result.Message.toLocal8Bit() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
}

bool TStarter::RunGroup(int AGroup, bool AInteractive)
{
    if (AGroup < 0 || AGroup >= Config.GroupCount())
        return true;
    TTaskProperties &group = *Config.Groups[size_t(AGroup)];
    if (group.TaskCount() == 0) {
        Report(Tr("No backup tasks specified!"), AInteractive);
        return true;
    }
    QString password;
    if (!group.PwdPrompt && !group.Pwd.isEmpty()) {
        password = group.Pwd;
    } else {
        const std::optional<QString> answer = FQuestions.AskPassword(
            Caption,
            SafeFormat(Tr("Enter the password for user \"%s\"\r\nto start the the backups of group \"%s\""),
                       group.User, group.Desc));
        if (!answer)
            return false;
        password = *answer;
    }
    const QString base = BuildBackupCommand(AGroup);
    if (group.ParProc)
        RunParallel(group, password, base, AInteractive);
    else
        RunSequential(group, password, base, AInteractive);
    return true;
}

QString TStarter::BuildBackupCommand(int AGroup) const
{
    const TTaskProperties &group = *Config.Groups[size_t(AGroup)];
    QString command = QuoteArgument(AkPath);
    AppendOption(command, boStartApp, StartAppValue);
    AppendOption(command, boPrompt, PromptModeWord(PromptModeForStatus(group.Status)));
    if (!IniPath.isEmpty())
        AppendOption(command, boIni, IniPath);
    if (!group.AltLogDir.isEmpty())
        AppendOption(command, boLogDir, group.AltLogDir);
    if (group.NoSplash)
        AppendOption(command, boHide);
    if (!group.PlaySound)
        AppendOption(command, boNoSound);
    if (group.RunAs)
        AppendOption(command, boElevate);
    if (group.Status == pmDelay || group.Status == pmError)
        AppendOption(command, boWait, QString::number(group.Delay));
    AppendOption(command, boForce);
    AppendOption(command, boNoAction);
    return command;
}

// What the design leaves open, a group whose entries are all disabled, starts nothing
// here, as in parallel mode: the backup program without task files has nothing to do.
void TStarter::RunSequential(TTaskProperties &AGroup, const QString &APassword, const QString &ABase,
                             bool AInteractive)
{
    QString command = ABase;
    bool any = false;
    for (const TTaskEntry &entry : AGroup.Tasks) {
        if (!entry.Enabled)
            continue;
        command += u' ' + QuoteArgument(entry.FileName);
        Log.AddTask(entry.FileName);
        any = true;
    }
    if (!any)
        return;
    const TBackupResult result = RunBackup(AGroup.User, APassword, command);
    if (result.Code != 0 && IsReported(result.Code, AGroup, AInteractive))
        Report(result.Message, AInteractive);
}

// The design waits up to 100 ms on each running process in turn, so a pass over 300
// processes could take half a minute before an ended one is seen. Here a pass waits at
// most 100 ms for any of them to end (one epoll set, so a pass costs nothing per process
// that is still running) and then collects every one that has ended, in list order, so
// the reports keep their order and their texts.
void TStarter::RunParallel(TTaskProperties &AGroup, const QString &APassword, const QString &ABase,
                           bool AInteractive)
{
    const size_t count = AGroup.Tasks.size();
    std::vector<TProcessHandle> handles(count);
    const TEpollSet ended;
    size_t watchedRunning = 0;
    // What the set cannot take is looked at in every pass for 100 ms, as designed.
    std::vector<size_t> unwatched;
    for (size_t k = 0; k < count; ++k) {
        TTaskEntry &entry = AGroup.Tasks[k];
        if (!entry.Enabled)
            continue;
        Log.AddTask(entry.FileName);
        QString command = ABase;
        if (AGroup.StartDelay > 0 && k > 0)
            AppendOption(command, boDelay, QString::number(qint64(k) * AGroup.StartDelay));
        AppendOption(command, boXInst, QString::number(k + 1));
        command += u' ' + QuoteArgument(entry.FileName);
        TStartResult start = StartBackup(AGroup.User, APassword, command);
        if (start.Ok) {
            handles[k] = std::move(start.Handle);
            entry.ProcessHandle = handles[k].WaitFd();
            if (ended.Add(entry.ProcessHandle, k))
                ++watchedRunning;
            else
                unwatched.push_back(k);
        } else {
            Report(start.Message, AInteractive);
        }
        ProcessPendingEvents();
    }

    std::vector<size_t> ready;
    while (watchedRunning > 0 || !unwatched.empty()) {
        ready = unwatched;
        if (watchedRunning > 0)
            ended.Wait(PollTimeMs, ready);
        std::sort(ready.begin(), ready.end());
        for (const size_t k : ready) {
            if (!handles[k].IsValid())
                continue;
            TTaskEntry &entry = AGroup.Tasks[k];
            const TBackupResult result = PollBackup(handles[k]);
            if (result.Code == brRunning)
                continue;
            // A wait that failed outright keeps the pidfd open for a later reaping.
            ended.Remove(entry.ProcessHandle);
            entry.ProcessHandle = -1;
            if (const auto at = std::find(unwatched.begin(), unwatched.end(), k); at != unwatched.end())
                unwatched.erase(at);
            else
                --watchedRunning;
            if (IsReported(result.Code, AGroup, AInteractive))
                Report(result.Message + QStringLiteral(" - ") + Tr("Backup task") + QStringLiteral(": ") +
                           entry.FileName,
                       AInteractive);
        }
        ProcessPendingEvents();
    }
}

TStarter::TStartResult TStarter::StartBackup(const QString &AAccount, const QString &APassword,
                                             const QString &ACommand)
{
    const TAccountName account = SplitAccount(AAccount);
    TStartResult result;
    try {
        result.Handle = StartProcessWithLogon(account.User, account.Domain, APassword, ACommand, QString());
        result.Ok = true;
    } catch (const EProcessError &error) {
        result.Message = SafeFormat(Tr("Error on starting Arkivo: %s"), error.Message());
    }
    return result;
}

namespace {

TStarter::TBackupResult BackupResultOf(uint32_t AResult)
{
    if (AResult == ProcessStillRunning)
        return {TStarter::brRunning, QString()};
    if (AResult == 0)
        return {0, QString()};
    if (AResult & ProcessExitCodeFlag) {
        const int code = int(AResult & 0xFF);
        if (code == 0)
            return {0, QString()};
        return {code, SafeFormat(Tr("Error reported by Arkivo: %s"), BackupExitCodeText(code))};
    }
    return {TStarter::brNoExitCode,
            SafeFormat(Tr("Error on executing Arkivo: %s"), SystemErrorText(int(AResult)))};
}

} // namespace

TStarter::TBackupResult TStarter::PollBackup(TProcessHandle &AHandle)
{
    return BackupResultOf(WaitForProcess(AHandle, PollTimeMs));
}

TStarter::TBackupResult TStarter::RunBackup(const QString &AAccount, const QString &APassword,
                                            const QString &ACommand)
{
    TStartResult start = StartBackup(AAccount, APassword, ACommand);
    if (!start.Ok)
        return {brStartFailed, start.Message};
    return BackupResultOf(WaitForProcess(start.Handle, 0, ProcessEvents));
}
