#pragma once

#include "support/EnvironmentGuard.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace TestSupport {

// A private system bus with a stand-in logind, so that tests of locking, logging off,
// shutting down and suspending reach a recorder instead of the machine. Start() runs a
// dbus-daemon and the stand-in and points DBUS_SYSTEM_BUS_ADDRESS at that bus; Stop()
// (and the destructor) ends both by process id and restores the variable.
class TPrivateSystemBus
{
public:
    TPrivateSystemBus() = default;
    ~TPrivateSystemBus();
    TPrivateSystemBus(const TPrivateSystemBus &) = delete;
    TPrivateSystemBus &operator=(const TPrivateSystemBus &) = delete;

    // False with Error() saying why when the bus or the stand-in did not come up.
    bool Start();
    void Stop();
    const QString &Error() const { return FError; }
    const QString &Address() const { return FAddress; }

    // True while DBUS_SYSTEM_BUS_ADDRESS names this bus. Check it before anything that
    // could shut down or log off: without it the call would reach the real logind.
    bool IsCurrent() const;

    // The calls the stand-in received since the last Reset(), oldest first, e.g.
    // "Manager.PowerOff(false)", "Manager.GetSessionByPID(1234)", "Session.Lock()". The
    // session calls are those that reached the one session GetSessionByPID names.
    QStringList Calls() const;
    // The GetSessionByPID line that this process's own session lookup leaves.
    static QString OwnSessionLookup();
    // Forgets the calls and answers every call at once again.
    void Reset();

    // Makes the named method ("PowerOff", "Lock", ...) answer with a D-Bus error.
    void Refuse(const QString &AMethod,
                const QString &AErrorName = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                const QString &AMessage = QStringLiteral("Permission denied"));
    // Makes the named method answer only after ASeconds.
    void Delay(const QString &AMethod, double ASeconds);

    // Stops and continues the bus itself: while stopped it takes connections but never
    // answers, as a wedged bus does.
    bool PauseBus();
    bool ResumeBus();

private:
    bool StartProcess(QProcess &AProcess, const QString &AProgram, const QStringList &AArgs,
                      QString &AFirstLine);
    void StopProcess(QProcess &AProcess);
    void SetBehaviour(const QString &AMethod, const QByteArray &AJson);

    std::unique_ptr<QTemporaryDir> FDir;
    QProcess FDaemon;
    QProcess FLogind;
    QString FAddress;
    QString FError;
    std::unique_ptr<TEnvironmentGuard> FAddressGuard;
};

// For its lifetime DBUS_SYSTEM_BUS_ADDRESS names a socket that does not exist, as on a
// machine without a system bus; afterwards the variable is what it was before.
class TMissingSystemBus
{
public:
    TMissingSystemBus();
    // Empty when no temporary folder could be made for it.
    const QString &SocketPath() const { return FSocketPath; }

private:
    TEnvironmentGuard FGuard{"DBUS_SYSTEM_BUS_ADDRESS"};
    QTemporaryDir FDir;
    QString FSocketPath;
};

} // namespace TestSupport
