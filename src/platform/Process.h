#pragma once

#include "util/Errors.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <sys/types.h>

// Starting programs under a user account given by name and password, and waiting for
// them. Everything here runs on the one main thread.

// Raised when a program cannot be started; the message is the system's (or PAM's) text
// followed by " (0x" and the code as eight upper-case hex digits and ")".
class EProcessError : public EAkError
{
public:
    using EAkError::EAkError;
};

// Results of WaitForProcess besides 0 (ended with exit code 0) and system error codes.
inline constexpr uint32_t ProcessStillRunning = 258;
// Marks the program's own non-zero exit code in the low bits; a program ended by a signal
// counts as exit code 128 + the signal number.
inline constexpr uint32_t ProcessExitCodeFlag = 0x20000000;

struct TAccountName
{
    QString Domain; // empty when the account text has no "\"
    QString User;
};

// "domain\user": the part before the first "\" is the domain, the rest the user name;
// without "\" the whole text is the user name ("user@realm" included).
TAccountName SplitAccount(const QString &AAccount);

class TLogonSession;

// A started program: its process id and a pidfd, plus the PAM session opened for it.
// Owned by the caller until WaitForProcess reports its end; dropping a handle earlier
// leaves the program running, and it is reaped (its session closed) on a later call.
class TProcessHandle
{
public:
    TProcessHandle();
    TProcessHandle(TProcessHandle &&AOther) noexcept;
    TProcessHandle &operator=(TProcessHandle &&AOther) noexcept;
    ~TProcessHandle();

    bool IsValid() const { return FPidFd >= 0; }
    pid_t Pid() const { return FPid; }
    // Readable (poll) once the program has ended, so that many can be waited for at once.
    int WaitFd() const { return FPidFd; }

private:
    friend TProcessHandle StartProcessWithLogon(const QString &, const QString &, const QString &,
                                                const QString &, const QString &);
    friend uint32_t WaitForProcess(TProcessHandle &, uint32_t, const std::function<void()> &);

    TProcessHandle(pid_t APid, int APidFd, std::unique_ptr<TLogonSession> ASession);
    void Release();

    pid_t FPid = 0;
    int FPidFd = -1;
    std::unique_ptr<TLogonSession> FSession;
};

// Starts ACommandLine (program path first, split by SplitCommandLine; no shell) under the
// account ADomain "\" AUser. An empty account or the account this program runs under
// starts it directly, with this program's environment and without checking APassword.
// Any other account needs root and a password PAM accepts (service "akstarter"); the
// program then gets a fresh environment of that account (HOME, USER, LOGNAME, SHELL,
// PATH, PAM's variables and this program's locale variables) and starts in its home
// folder. A non-empty AWorkingDirectory is used instead of either folder. The password
// never reaches the program. Raises EProcessError.
TProcessHandle StartProcessWithLogon(const QString &AUser, const QString &ADomain, const QString &APassword,
                                     const QString &ACommandLine, const QString &AWorkingDirectory);

// Waits at most ALimitMs for the program's end; 0 waits until it ends, calling
// AProcessEvents (may be empty) every 100 ms. Returns 0, ProcessStillRunning (only with
// a limit; the handle stays valid), the exit code | ProcessExitCodeFlag, or a system
// error code (EBADF for a handle that is not valid). After any result but
// ProcessStillRunning the handle is no longer valid.
uint32_t WaitForProcess(TProcessHandle &AHandle, uint32_t ALimitMs,
                        const std::function<void()> &AProcessEvents = {});
