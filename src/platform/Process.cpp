#include "platform/Process.h"

#include "run/CommandLine.h"
#include "util/AnsiCodec.h"
#include "util/FileUtils.h"
#include "util/SafeFormat.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <poll.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <sys/pidfd.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char **environ;

namespace {

constexpr char PamServiceName[] = "akstarter";
// How often a wait without a limit lets the caller process its events.
constexpr uint32_t PollStepMs = 100;
// What the child reports through the pipe is an errno value or a PamErrorFlag code; the
// exit status only matters when even that write fails.
constexpr int ChildFailedStatus = 127;

constexpr char UserPath[] = "/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games";
constexpr char RootPath[] = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

[[noreturn]] void RaiseProcessError(int ACode)
{
    throw EProcessError(
        SafeFormat(QStringLiteral("%s (0x%.8X)"), SystemErrorMessage(ACode), uint32_t(ACode)));
}

// Password bytes that are overwritten before their memory is given back.
class TSecretBytes
{
public:
    explicit TSecretBytes(QByteArray ABytes) : FBytes(std::move(ABytes)) { FBytes.detach(); }
    ~TSecretBytes()
    {
        if (!FBytes.isEmpty())
            explicit_bzero(FBytes.data(), size_t(FBytes.size()));
    }
    TSecretBytes(const TSecretBytes &) = delete;
    TSecretBytes &operator=(const TSecretBytes &) = delete;

    const QByteArray &Bytes() const { return FBytes; }

private:
    QByteArray FBytes;
};

struct TAccount
{
    QByteArray Name;
    QByteArray Home;
    QByteArray Shell;
    uid_t Uid = 0;
    gid_t Gid = 0;
};

std::optional<TAccount> AccountFrom(const passwd *AEntry)
{
    if (AEntry == nullptr)
        return std::nullopt;
    return TAccount{AEntry->pw_name, AEntry->pw_dir, AEntry->pw_shell, AEntry->pw_uid, AEntry->pw_gid};
}

template <typename TLookup> std::optional<TAccount> LookupAccount(TLookup ALookup)
{
    std::vector<char> buffer(16 * 1024);
    for (;;) {
        passwd entry{};
        passwd *found = nullptr;
        const int rc = ALookup(&entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < 1024 * 1024) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return rc == 0 ? AccountFrom(found) : std::nullopt;
    }
}

std::optional<TAccount> AccountByName(const char *AName)
{
    return LookupAccount([AName](passwd *AEntry, char *ABuffer, size_t ASize, passwd **AFound) {
        return getpwnam_r(AName, AEntry, ABuffer, ASize, AFound);
    });
}

std::optional<TAccount> AccountById(uid_t AUid)
{
    return LookupAccount([AUid](passwd *AEntry, char *ABuffer, size_t ASize, passwd **AFound) {
        return getpwuid_r(AUid, AEntry, ABuffer, ASize, AFound);
    });
}

std::vector<gid_t> GroupsOf(const TAccount &AAccount)
{
    int count = 32;
    std::vector<gid_t> groups;
    for (;;) {
        groups.resize(size_t(count));
        const int previous = count;
        if (getgrouplist(AAccount.Name.constData(), AAccount.Gid, groups.data(), &count) >= 0) {
            groups.resize(size_t(count));
            return groups;
        }
        if (count <= previous) // no growth asked for: give the account its own group only
            return {AAccount.Gid};
    }
}

// PAM's questions during authentication are answered with the password alone; there is
// nobody to answer any other question or to read a message.
struct TConversation
{
    const char *Password = nullptr;
};

extern "C" int Converse(int ACount, const pam_message **AMessages, pam_response **AResponses, void *AData)
{
    const auto *conversation = static_cast<const TConversation *>(AData);
    if (ACount <= 0 || ACount > PAM_MAX_NUM_MSG)
        return PAM_CONV_ERR;
    auto *replies = static_cast<pam_response *>(calloc(size_t(ACount), sizeof(pam_response)));
    if (replies == nullptr)
        return PAM_BUF_ERR;
    int result = PAM_SUCCESS;
    for (int i = 0; i < ACount && result == PAM_SUCCESS; ++i) {
        switch (AMessages[i]->msg_style) {
        case PAM_PROMPT_ECHO_OFF:
            if (conversation->Password == nullptr)
                result = PAM_CONV_ERR;
            else if ((replies[i].resp = strdup(conversation->Password)) == nullptr)
                result = PAM_BUF_ERR;
            break;
        case PAM_ERROR_MSG:
        case PAM_TEXT_INFO:
            break;
        default:
            result = PAM_CONV_ERR;
        }
    }
    if (result != PAM_SUCCESS) {
        for (int i = 0; i < ACount; ++i)
            if (replies[i].resp != nullptr) {
                explicit_bzero(replies[i].resp, strlen(replies[i].resp));
                free(replies[i].resp);
            }
        free(replies);
        return result;
    }
    *AResponses = replies;
    return PAM_SUCCESS;
}

// Where the child looks for the program, in order: the path itself when it contains "/",
// otherwise each folder of ASearchPath.
std::vector<QByteArray> ProgramCandidates(const QByteArray &AProgram, const QByteArray &ASearchPath)
{
    if (AProgram.contains('/'))
        return {AProgram};
    std::vector<QByteArray> candidates;
    for (const QByteArray &folder : ASearchPath.split(':'))
        candidates.push_back((folder.isEmpty() ? QByteArray(".") : folder) + '/' + AProgram);
    return candidates;
}

bool IsLocaleVariable(const char *AEntry)
{
    return strncmp(AEntry, "LC_", 3) == 0 || strncmp(AEntry, "LANG=", 5) == 0 ||
           strncmp(AEntry, "LANGUAGE=", 9) == 0;
}

bool HasVariable(const std::vector<char *> &AEnvironment, const char *AEntry)
{
    const char *equals = strchr(AEntry, '=');
    const size_t nameLength = equals ? size_t(equals - AEntry) + 1 : strlen(AEntry);
    return std::any_of(AEnvironment.begin(), AEnvironment.end(), [&](const char *AHave) {
        return AHave != nullptr && strncmp(AHave, AEntry, nameLength) == 0;
    });
}

// Everything the child needs, prepared before the fork: account and group lookups stay in
// the parent; the child makes system calls and the PAM calls that must act on itself.
struct TLaunch
{
    std::vector<QByteArray> Args;
    std::vector<QByteArray> Candidates;
    QByteArray Folder;           // empty: stay in the current folder
    bool FolderRequired = false; // a given folder must exist; a missing home gives "/"
    bool SwitchAccount = false;
    uid_t Uid = 0;
    gid_t Gid = 0;
    std::vector<gid_t> Groups;
    std::vector<QByteArray> Environment; // NAME=value, for another account only
    pam_handle_t *Pam = nullptr;
};

[[noreturn]] void ChildFailed(int AErrorFd, int ACode)
{
    [[maybe_unused]] const ssize_t written = write(AErrorFd, &ACode, sizeof ACode);
    _exit(ChildFailedStatus);
}

[[noreturn]] void RunChild(const TLaunch &ALaunch, int AErrorFd)
{
    // Its own session: no controlling terminal to push input into, no terminal signals
    // meant for this program.
    setsid();
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig = 1; sig < NSIG; ++sig)
        signal(sig, SIG_DFL); // ignored signals would stay ignored across exec
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);

    std::vector<char *> environment;
    if (ALaunch.SwitchAccount) {
        if (setgroups(ALaunch.Groups.size(), ALaunch.Groups.data()) != 0)
            ChildFailed(AErrorFd, errno);
        // Credentials (extra groups, capabilities) belong to the program, not to us.
        const int rc = pam_setcred(ALaunch.Pam, PAM_ESTABLISH_CRED | PAM_SILENT);
        if (rc != PAM_SUCCESS)
            ChildFailed(AErrorFd, PamErrorFlag | rc);
        if (setgid(ALaunch.Gid) != 0 || setuid(ALaunch.Uid) != 0)
            ChildFailed(AErrorFd, errno);
        if (getuid() != ALaunch.Uid || geteuid() != ALaunch.Uid || getgid() != ALaunch.Gid ||
            (ALaunch.Uid != 0 && setuid(0) == 0))
            ChildFailed(AErrorFd, EPERM);
        for (const QByteArray &entry : ALaunch.Environment)
            environment.push_back(const_cast<char *>(entry.constData()));
        if (char **pamEnvironment = pam_getenvlist(ALaunch.Pam))
            for (char **entry = pamEnvironment; *entry != nullptr; ++entry)
                if (!HasVariable(environment, *entry))
                    environment.push_back(*entry);
        environment.push_back(nullptr);
    }

    if (!ALaunch.Folder.isEmpty() && chdir(ALaunch.Folder.constData()) != 0) {
        if (ALaunch.FolderRequired || chdir("/") != 0)
            ChildFailed(AErrorFd, errno);
    }

    std::vector<char *> argv;
    for (const QByteArray &arg : ALaunch.Args)
        argv.push_back(const_cast<char *>(arg.constData()));
    argv.push_back(nullptr);
    char *const *envp = ALaunch.SwitchAccount ? environment.data() : environ;

    int error = ENOENT;
    bool denied = false;
    for (const QByteArray &candidate : ALaunch.Candidates) {
        execve(candidate.constData(), argv.data(), envp);
        error = errno;
        if (error == EACCES)
            denied = true;
        else if (error != ENOENT && error != ENOTDIR)
            break;
    }
    if (denied && (error == ENOENT || error == ENOTDIR))
        error = EACCES;
    ChildFailed(AErrorFd, error);
}

// True when the process has ended and is reaped now, or cannot be waited for at all.
bool ReapIfEnded(int APidFd)
{
    siginfo_t info{};
    if (waitid(idtype_t(P_PIDFD), id_t(APidFd), &info, WEXITED | WNOHANG) != 0)
        return errno != EINTR;
    return info.si_pid != 0;
}

// 1 when the process has ended, 0 when ALimitMs passed first, else -errno.
int WaitForEnd(int APidFd, uint32_t ALimitMs)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(ALimitMs);
    for (;;) {
        const auto left = ceil<milliseconds>(deadline - steady_clock::now()).count();
        pollfd entry{APidFd, POLLIN, 0};
        const int rc = poll(&entry, 1, int(std::clamp<int64_t>(left, 0, INT_MAX)));
        if (rc > 0)
            return 1;
        if (rc == 0 && steady_clock::now() >= deadline)
            return 0;
        if (rc < 0 && errno != EINTR)
            return -errno;
    }
}

} // namespace

// The PAM transaction of one start. It stays open while the program runs, as the session
// opened for the program is closed only after its end.
class TLogonSession
{
public:
    TLogonSession() = default;
    ~TLogonSession()
    {
        if (FPam == nullptr)
            return;
        if (FSessionOpen)
            pam_close_session(FPam, PAM_SILENT);
        if (FProgramStarted)
            pam_setcred(FPam, PAM_DELETE_CRED | PAM_SILENT);
        pam_end(FPam, FLastResult);
    }
    TLogonSession(const TLogonSession &) = delete;
    TLogonSession &operator=(const TLogonSession &) = delete;

    // Authenticates ALogin with APassword, checks the account and opens its session.
    // Raises EProcessError with PAM's code; the destructor ends what was begun.
    void Logon(const QByteArray &ALogin, const QByteArray &APassword, const QByteArray &ACaller)
    {
        FConversation.Password = APassword.constData();
        const pam_conv conversation{Converse, &FConversation};
        Check(pam_start(PamServiceName, ALogin.constData(), &conversation, &FPam));
        if (!ACaller.isEmpty())
            pam_set_item(FPam, PAM_RUSER, ACaller.constData());
        // Like a logon on the console: an account without a password is refused.
        Check(pam_authenticate(FPam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK));
        Check(pam_acct_mgmt(FPam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK));
        FConversation.Password = nullptr;
        Check(pam_open_session(FPam, PAM_SILENT));
        FSessionOpen = true;
    }

    // The account name after authentication (a module may have mapped the login name).
    QByteArray User() const
    {
        const void *item = nullptr;
        if (pam_get_item(FPam, PAM_USER, &item) != PAM_SUCCESS || item == nullptr)
            return {};
        return QByteArray(static_cast<const char *>(item));
    }

    pam_handle_t *Handle() const { return FPam; }
    void ProgramStarted() { FProgramStarted = true; }

private:
    void Check(int AResult)
    {
        if (AResult == PAM_SUCCESS)
            return;
        FLastResult = AResult;
        FConversation.Password = nullptr;
        RaiseProcessError(PamErrorFlag | AResult);
    }

    pam_handle_t *FPam = nullptr;
    TConversation FConversation;
    bool FSessionOpen = false;
    bool FProgramStarted = false;
    int FLastResult = PAM_SUCCESS;
};

namespace {

// Programs whose handles were dropped while they ran: reaped on later calls so that they
// leave no zombies and their sessions get closed. Never destroyed, so a handle released
// during shutdown still finds it.
struct TOrphan
{
    int PidFd;
    std::unique_ptr<TLogonSession> Session;
};

std::vector<TOrphan> &Orphans()
{
    static auto *orphans = new std::vector<TOrphan>;
    return *orphans;
}

void ReapOrphans()
{
    std::erase_if(Orphans(), [](TOrphan &AOrphan) {
        if (!ReapIfEnded(AOrphan.PidFd))
            return false;
        close(AOrphan.PidFd);
        return true;
    });
}

} // namespace

TAccountName SplitAccount(const QString &AAccount)
{
    const qsizetype backslash = AAccount.indexOf(u'\\');
    if (backslash < 0)
        return {QString(), AAccount};
    return {AAccount.left(backslash), AAccount.mid(backslash + 1)};
}

TProcessHandle::TProcessHandle() = default;

TProcessHandle::TProcessHandle(pid_t APid, int APidFd, std::unique_ptr<TLogonSession> ASession)
    : FPid(APid), FPidFd(APidFd), FSession(std::move(ASession))
{
}

TProcessHandle::TProcessHandle(TProcessHandle &&AOther) noexcept
    : FPid(std::exchange(AOther.FPid, 0)), FPidFd(std::exchange(AOther.FPidFd, -1)),
      FSession(std::move(AOther.FSession))
{
}

TProcessHandle &TProcessHandle::operator=(TProcessHandle &&AOther) noexcept
{
    if (this != &AOther) {
        Release();
        FPid = std::exchange(AOther.FPid, 0);
        FPidFd = std::exchange(AOther.FPidFd, -1);
        FSession = std::move(AOther.FSession);
    }
    return *this;
}

TProcessHandle::~TProcessHandle()
{
    Release();
}

void TProcessHandle::Release()
{
    if (FPidFd >= 0) {
        if (ReapIfEnded(FPidFd))
            close(FPidFd);
        else
            Orphans().push_back({FPidFd, std::move(FSession)});
    }
    FPid = 0;
    FPidFd = -1;
    FSession.reset();
}

TProcessHandle StartProcessWithLogon(const QString &AUser, const QString &ADomain, const QString &APassword,
                                     const QString &ACommandLine, const QString &AWorkingDirectory)
{
    ReapOrphans();
    TLaunch launch;
    for (const QString &arg : SplitCommandLine(ACommandLine))
        launch.Args.push_back(QFile::encodeName(arg));
    if (launch.Args.empty() || launch.Args.front().isEmpty())
        RaiseProcessError(ENOENT);
    const QByteArray folder = QFile::encodeName(AWorkingDirectory);
    // A NUL byte would cut a text short and start something else than was asked for.
    if (folder.contains('\0') || std::any_of(launch.Args.begin(), launch.Args.end(),
                                             [](const QByteArray &A) { return A.contains('\0'); }))
        RaiseProcessError(EINVAL);
    launch.Folder = folder;
    launch.FolderRequired = !folder.isEmpty();

    const QString login = ADomain.isEmpty() ? AUser : ADomain + u'\\' + AUser;
    const QByteArray loginBytes = QFile::encodeName(login);
    const std::optional<TAccount> caller = AccountById(geteuid());
    std::unique_ptr<TLogonSession> session;

    if (login.isEmpty() || (caller && loginBytes == caller->Name)) {
        // Starting a program as ourselves grants nothing: no password to check.
        const char *path = getenv("PATH");
        launch.Candidates = ProgramCandidates(launch.Args.front(), path ? QByteArray(path) : UserPath);
    } else {
        if (geteuid() != 0)
            RaiseProcessError(EPERM);
        const TSecretBytes password(StringToAnsi(APassword));
        // A name or password that does not reach PAM as given must not match another.
        {
            QString decoded = AnsiToString(password.Bytes());
            const bool same = decoded == APassword;
            decoded.fill(u'\0');
            if (loginBytes.contains('\0') || password.Bytes().contains('\0') || !same)
                RaiseProcessError(PamErrorFlag | PAM_AUTH_ERR);
        }
        session = std::make_unique<TLogonSession>();
        session->Logon(loginBytes, password.Bytes(), caller ? caller->Name : QByteArray());
        const std::optional<TAccount> account = AccountByName(session->User().constData());
        if (!account)
            RaiseProcessError(PamErrorFlag | PAM_USER_UNKNOWN);

        launch.SwitchAccount = true;
        launch.Uid = account->Uid;
        launch.Gid = account->Gid;
        launch.Groups = GroupsOf(*account);
        launch.Pam = session->Handle();
        const QByteArray searchPath = account->Uid == 0 ? RootPath : UserPath;
        launch.Environment = {"HOME=" + account->Home, "USER=" + account->Name, "LOGNAME=" + account->Name,
                              "SHELL=" + (account->Shell.isEmpty() ? QByteArray("/bin/sh") : account->Shell),
                              "PATH=" + searchPath};
        for (char **entry = environ; *entry != nullptr; ++entry)
            if (IsLocaleVariable(*entry))
                launch.Environment.emplace_back(*entry);
        launch.Candidates = ProgramCandidates(launch.Args.front(), searchPath);
        if (launch.Folder.isEmpty())
            launch.Folder = account->Home;
    }

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        RaiseProcessError(errno);
    const pid_t pid = fork();
    if (pid < 0) {
        const int error = errno;
        close(pipeFds[0]);
        close(pipeFds[1]);
        RaiseProcessError(error);
    }
    if (pid == 0) {
        close(pipeFds[0]);
        RunChild(launch, pipeFds[1]);
    }
    close(pipeFds[1]);
    const int pidFd = pidfd_open(pid, 0);
    const int pidFdError = errno;
    // The pipe closes unread when exec succeeds; otherwise it carries the reason.
    int childError = 0;
    ssize_t received;
    do {
        received = read(pipeFds[0], &childError, sizeof childError);
    } while (received < 0 && errno == EINTR);
    close(pipeFds[0]);
    if (received == ssize_t(sizeof childError) || pidFd < 0) {
        if (received != ssize_t(sizeof childError))
            kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        if (pidFd >= 0)
            close(pidFd);
        RaiseProcessError(received == ssize_t(sizeof childError) ? childError : pidFdError);
    }
    if (session)
        session->ProgramStarted();
    return TProcessHandle(pid, pidFd, std::move(session));
}

uint32_t WaitForProcess(TProcessHandle &AHandle, uint32_t ALimitMs,
                        const std::function<void()> &AProcessEvents)
{
    ReapOrphans();
    if (!AHandle.IsValid())
        return EBADF;
    int state;
    if (ALimitMs > 0) {
        state = WaitForEnd(AHandle.FPidFd, ALimitMs);
        if (state == 0)
            return ProcessStillRunning;
    } else {
        while ((state = WaitForEnd(AHandle.FPidFd, PollStepMs)) == 0)
            if (AProcessEvents)
                AProcessEvents();
    }
    if (state < 0) {
        // The program may still run: reaped later like a dropped handle.
        AHandle.Release();
        return uint32_t(-state);
    }
    siginfo_t info{};
    int rc;
    do {
        rc = waitid(idtype_t(P_PIDFD), id_t(AHandle.FPidFd), &info, WEXITED);
    } while (rc != 0 && errno == EINTR);
    const int waitError = errno;
    close(AHandle.FPidFd);
    AHandle.FPidFd = -1;
    AHandle.FPid = 0;
    AHandle.FSession.reset();
    if (rc != 0)
        return uint32_t(waitError);
    const int code = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
    return code == 0 ? 0 : uint32_t(code) | ProcessExitCodeFlag;
}
