#include "platform/Session.h"

#include "util/Translate.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <optional>
#include <utility>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kConnectionName = QStringLiteral("akstarter-system-bus");
// Where libdbus looks for the system bus when the variable is not set.
constexpr const char *kDefaultSystemBusAddress = "unix:path=/var/run/dbus/system_bus_socket";

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

// The socket of a "unix:" bus address (the first of a list); nullopt for the other
// transports and for an address that cannot be read.
std::optional<std::pair<sockaddr_un, socklen_t>> UnixSocketAddress(const QByteArray &AAddress)
{
    const QByteArray first = AAddress.split(';').value(0);
    if (!first.startsWith("unix:"))
        return std::nullopt;
    for (const QByteArray &pair : first.mid(5).split(',')) {
        const bool abstract = pair.startsWith("abstract=");
        if (!abstract && !pair.startsWith("path="))
            continue;
        const QByteArray name = QByteArray::fromPercentEncoding(pair.mid(pair.indexOf('=') + 1));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        // An abstract name follows a zero byte; a path ends with one.
        const qsizetype start = abstract ? 1 : 0;
        if (name.isEmpty() || start + name.size() >= qsizetype(sizeof(address.sun_path)))
            return std::nullopt;
        std::copy(name.begin(), name.end(), address.sun_path + start);
        const qsizetype length = start + name.size() + (abstract ? 0 : 1);
        return std::pair(address, socklen_t(offsetof(sockaddr_un, sun_path) + length));
    }
    return std::nullopt;
}

// libdbus waits without limit for a bus that takes the connection but never answers its
// greeting, and QtDBus would block with it for good; a screen lock or an end action must
// not hang the run on a stalled bus. So the bus is greeted here first, within the
// time-out. Any other trouble is left to QtDBus, which reports it.
std::optional<QString> StalledBusError(const QByteArray &AAddress)
{
    const auto address = UnixSocketAddress(AAddress);
    if (!address)
        return std::nullopt;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return std::nullopt;
    const auto closeSocket = qScopeGuard([fd] { ::close(fd); });
    const QDeadlineTimer deadline(SessionCallTimeoutMs);
    const auto waitFor = [&](short AEvents) {
        pollfd entry{fd, AEvents, 0};
        int ready;
        do
            ready = ::poll(&entry, 1, int(deadline.remainingTime()));
        while (ready < 0 && errno == EINTR);
        return ready > 0;
    };
    const QString stalled =
        ErrorText(QStringLiteral("org.freedesktop.DBus.Error.Timeout"), Tr("The system bus does not answer"));
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address->first), address->second) != 0) {
        // A unix socket whose backlog is full makes connect wait.
        if (errno != EAGAIN && errno != EINPROGRESS)
            return std::nullopt;
        if (!waitFor(POLLOUT))
            return stalled;
    }
    const QByteArray greeting =
        QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(::geteuid()).toHex() + "\r\n";
    if (::send(fd, greeting.constData(), size_t(greeting.size()), MSG_NOSIGNAL) != greeting.size())
        return std::nullopt;
    if (!waitFor(POLLIN))
        return stalled;
    return std::nullopt;
}

// The system bus for one operation. An address in DBUS_SYSTEM_BUS_ADDRESS gets a
// connection of its own, closed again afterwards, so that a changed address is
// followed and a bus that went away is not kept.
class TSystemBus
{
public:
    TSystemBus()
    {
        const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
        FPrivate = !address.isEmpty();
        FStalled = StalledBusError(FPrivate ? address : QByteArray(kDefaultSystemBusAddress));
        if (FStalled)
            return;
        FConnection = FPrivate ? QDBusConnection::connectToBus(QString::fromUtf8(address), kConnectionName)
                               : QDBusConnection::systemBus();
    }
    ~TSystemBus()
    {
        if (FPrivate && !FStalled)
            QDBusConnection::disconnectFromBus(kConnectionName);
    }
    TSystemBus(const TSystemBus &) = delete;
    TSystemBus &operator=(const TSystemBus &) = delete;

    // Calls a method of logind; on success AReply holds the answer.
    TSessionResult Call(const QString &APath, const QString &AInterface, const QString &AMethod,
                        const QVariantList &AArgs, QDBusMessage *AReply = nullptr)
    {
        if (FStalled)
            return Failure(*FStalled);
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
    bool FPrivate = false;
    std::optional<QString> FStalled;
    QDBusConnection FConnection{QString()};
};

// The power operations pass "interactive" as false: polkit then refuses rather than
// asks, as an unattended run has nobody to answer.
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
