#include "run/TerminatePrograms.h"

#include "platform/X11Windows.h"
#include "util/FileUtils.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <sys/pidfd.h>
#include <unistd.h>

namespace {

void ReportFailure(QStringList &ALogList, int &AErrCount, const QString &AName, int ACode)
{
    ALogList.append(QStringLiteral("  *** ") + SafeFormat(Tr("Terminating of \"%s\" failed:"), AName));
    ALogList.append(QStringLiteral("      ") + SystemErrorText(ACode));
    ++AErrCount;
}

// The kernel's short name of the program; empty when it cannot be read.
QString ProcessName(pid_t APid)
{
    QFile file(QStringLiteral("/proc/%1/comm").arg(APid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray name = file.readAll();
    if (name.endsWith('\n'))
        name.chop(1);
    return QString::fromLocal8Bit(name);
}

} // namespace

void TerminatePrograms(QStringList &ALogList, int &AErrCount)
{
    QList<TTaskbarWindow> windows;
    GetTaskbarWindows(windows);
    const pid_t self = getpid();
    for (const TTaskbarWindow &window : windows) {
        if (window.Pid == self)
            continue;
        // A pidfd keeps naming this process even if it ends and its number is reused
        // before the signal goes out.
        int pidFd = -1;
        int code = ESRCH; // the window names no process
        if (window.Pid > 0) {
            pidFd = pidfd_open(window.Pid, 0);
            code = errno;
            // Signal 0 only asks whether the process may be signalled at all.
            if (pidFd >= 0 && pidfd_send_signal(pidFd, 0, nullptr, 0) != 0) {
                code = errno;
                close(pidFd);
                pidFd = -1;
            }
        }
        if (pidFd < 0) {
            ReportFailure(ALogList, AErrCount, window.Title, code);
            continue;
        }
        QString name = ProcessName(window.Pid);
        if (name.isEmpty())
            name = window.Title;
        const int result = pidfd_send_signal(pidFd, SIGTERM, nullptr, 0);
        code = errno;
        close(pidFd);
        if (result != 0)
            ReportFailure(ALogList, AErrCount, name, code);
    }
}
