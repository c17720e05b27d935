#include "platform/Session.h"

#include "util/Translate.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>

#include <unistd.h>

namespace {

const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kConnectionName = QStringLiteral("akstarter-system-bus");

QString ErrorText(const QString &AName, const QString &AMessage)
{
    if (AMessage.isEmpty())
        return AName;
    if (AName.isEmpty())
        return AMessage;
    return AMessage + QStringLiteral(" (") + AName + u')';
}

TSessionResult Failure(const QString &AText)
{
    return {false, AText};
}

// The system bus for one operation. An address in DBUS_SYSTEM_BUS_ADDRESS gets a
// connection of its own, closed again afterwards, so that a changed address is
// followed and a bus that went away is not kept.
class TSystemBus
{
public:
    TSystemBus()
        : FPrivate(qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS")),
          FConnection(FPrivate ? QDBusConnection::connectToBus(
                                     qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"), kConnectionName)
                               : QDBusConnection::systemBus())
    {
    }
    ~TSystemBus()
    {
        if (FPrivate)
            QDBusConnection::disconnectFromBus(kConnectionName);
    }
    TSystemBus(const TSystemBus &) = delete;
    TSystemBus &operator=(const TSystemBus &) = delete;

    // Calls a method of logind; on success AReply holds the answer.
    TSessionResult Call(const QString &APath, const QString &AInterface, const QString &AMethod,
                        const QVariantList &AArgs, QDBusMessage *AReply = nullptr)
    {
        if (!FConnection.isConnected()) {
            const QDBusError error = FConnection.lastError();
            if (error.isValid())
                return Failure(ErrorText(error.name(), error.message()));
            return Failure(Tr("The system bus cannot be reached"));
        }
        QDBusMessage call = QDBusMessage::createMethodCall(kLogindService, APath, AInterface, AMethod);
        call.setArguments(AArgs);
        const QDBusMessage reply = FConnection.call(call, QDBus::Block, SessionCallTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return Failure(ErrorText(reply.errorName(), reply.errorMessage()));
        if (AReply)
            *AReply = reply;
        return {true, {}};
    }

    TSessionResult CallManager(const QString &AMethod, const QVariantList &AArgs = {},
                               QDBusMessage *AReply = nullptr)
    {
        return Call(kManagerPath, kManagerInterface, AMethod, AArgs, AReply);
    }

    // Calls a method of the session this process belongs to.
    TSessionResult CallOwnSession(const QString &AMethod)
    {
        QDBusMessage reply;
        const TSessionResult found = CallManager(QStringLiteral("GetSessionByPID"),
                                                 {QVariant::fromValue(quint32(::getpid()))}, &reply);
        if (!found.Ok)
            return found;
        const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
        if (path.isEmpty())
            return Failure(Tr("No login session found for this program"));
        return Call(path, kSessionInterface, AMethod, {});
    }

private:
    bool FPrivate;
    QDBusConnection FConnection;
};

// The power operations take "interactive": false, so that polkit refuses rather than
// asks, since an unattended run has nobody to answer.
TSessionResult CallPowerOperation(const QString &AMethod)
{
    return TSystemBus().CallManager(AMethod, {QVariant(false)});
}

} // namespace

TSessionResult LockWorkStation()
{
    return TSystemBus().CallOwnSession(QStringLiteral("Lock"));
}

TSessionResult LogOffSession()
{
    return TSystemBus().CallOwnSession(QStringLiteral("Terminate"));
}

TSessionResult PowerOffComputer()
{
    return CallPowerOperation(QStringLiteral("PowerOff"));
}

TSessionResult RebootComputer()
{
    return CallPowerOperation(QStringLiteral("Reboot"));
}

TSessionResult SuspendComputer()
{
    return CallPowerOperation(QStringLiteral("Suspend"));
}

TSessionResult HibernateComputer()
{
    return CallPowerOperation(QStringLiteral("Hibernate"));
}

void ReleaseShutdownInhibitors()
{
    // logind drops an inhibitor lock when its descriptor is closed. No descriptor is
    // taken anywhere yet; one added later belongs here.
}
