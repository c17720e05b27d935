#include "support/PrivateSystemBus.h"

#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <csignal>
#include <unistd.h>

namespace TestSupport {

namespace {

constexpr const char *kAddressVariable = "DBUS_SYSTEM_BUS_ADDRESS";
// Both programs are up in well under a second; this only bounds a broken start.
constexpr int kStartTimeoutMs = 15000;

// The bus configuration: a system bus on a socket in our folder that lets everyone own
// and call everything, since no test may depend on the machine's policies.
QByteArray BusConfig(const QString &ASocketPath)
{
    return "<busconfig><type>system</type><listen>unix:path=" + ASocketPath.toUtf8() +
           "</listen>\n"
           " <auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>\n"
           " <allow send_destination=\"*\" eavesdrop=\"true\"/><allow receive_sender=\"*\"/>\n"
           " <allow eavesdrop=\"true\"/></policy></busconfig>\n";
}

} // namespace

TPrivateSystemBus::~TPrivateSystemBus()
{
    Stop();
}

bool TPrivateSystemBus::Start()
{
    Stop();
    FError.clear();
    FDir = std::make_unique<QTemporaryDir>();
    if (!FDir->isValid()) {
        FError = QStringLiteral("cannot create a temporary folder: ") + FDir->errorString();
        return false;
    }
    const QString config = FDir->filePath(QStringLiteral("bus.conf"));
    if (!WriteAll(config, BusConfig(FDir->filePath(QStringLiteral("system_bus_socket"))))) {
        FError = QStringLiteral("cannot write ") + config;
        return false;
    }
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        FError = QStringLiteral("dbus-daemon not found on PATH");
        return false;
    }
    QString address;
    if (!StartProcess(FDaemon, daemon,
                      {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                       QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")},
                      address))
        return false;
    FAddress = address.trimmed();

    Reset();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kAddressVariable), FAddress);
    // The stand-in needs Debian's own Python and its dbus module, whatever else is set up.
    environment.remove(QStringLiteral("PYTHONPATH"));
    environment.remove(QStringLiteral("PYTHONHOME"));
    FLogind.setProcessEnvironment(environment);
    QString ready;
    if (!StartProcess(FLogind, QStringLiteral(AK_FAKE_LOGIND),
                      {FDir->filePath(QStringLiteral("calls")), FDir->filePath(QStringLiteral("behaviour"))},
                      ready))
        return false;
    if (ready.trimmed() != QLatin1String("READY")) {
        FError = QStringLiteral("the stand-in logind said: ") + ready;
        Stop();
        return false;
    }

    FAddressGuard =
        std::make_unique<TEnvironmentGuard>(std::initializer_list<const char *>{kAddressVariable});
    if (!qputenv(kAddressVariable, FAddress.toUtf8())) {
        FError = QStringLiteral("cannot set ") + QString::fromLatin1(kAddressVariable);
        Stop();
        return false;
    }
    return true;
}

void TPrivateSystemBus::Stop()
{
    FAddressGuard.reset();
    StopProcess(FLogind);
    ResumeBus(); // a stopped bus would not see its SIGTERM
    StopProcess(FDaemon);
    FAddress.clear();
    FDir.reset();
}

bool TPrivateSystemBus::IsCurrent() const
{
    return FAddressGuard && !FAddress.isEmpty() && FDaemon.state() == QProcess::Running &&
           FLogind.state() == QProcess::Running && qgetenv(kAddressVariable) == FAddress.toUtf8();
}

QStringList TPrivateSystemBus::Calls() const
{
    if (!FDir)
        return {};
    return QString::fromUtf8(ReadAll(FDir->filePath(QStringLiteral("calls"))))
        .split(u'\n', Qt::SkipEmptyParts);
}

QString TPrivateSystemBus::OwnSessionLookup()
{
    return QStringLiteral("Manager.GetSessionByPID(%1)").arg(::getpid());
}

void TPrivateSystemBus::Reset()
{
    if (!FDir)
        return;
    WriteAll(FDir->filePath(QStringLiteral("calls")), {});
    WriteAll(FDir->filePath(QStringLiteral("behaviour")), "{}");
}

void TPrivateSystemBus::Refuse(const QString &AMethod, const QString &AErrorName, const QString &AMessage)
{
    SetBehaviour(AMethod, QJsonDocument(QJsonObject{{QStringLiteral("error"), AErrorName},
                                                    {QStringLiteral("message"), AMessage}})
                              .toJson(QJsonDocument::Compact));
}

void TPrivateSystemBus::Delay(const QString &AMethod, double ASeconds)
{
    SetBehaviour(
        AMethod,
        QJsonDocument(QJsonObject{{QStringLiteral("delay"), ASeconds}}).toJson(QJsonDocument::Compact));
}

bool TPrivateSystemBus::PauseBus()
{
    return FDaemon.state() == QProcess::Running && ::kill(pid_t(FDaemon.processId()), SIGSTOP) == 0;
}

bool TPrivateSystemBus::ResumeBus()
{
    return FDaemon.state() == QProcess::Running && ::kill(pid_t(FDaemon.processId()), SIGCONT) == 0;
}

void TPrivateSystemBus::SetBehaviour(const QString &AMethod, const QByteArray &AJson)
{
    if (!FDir)
        return;
    const QString fileName = FDir->filePath(QStringLiteral("behaviour"));
    QJsonObject all = QJsonDocument::fromJson(ReadAll(fileName)).object();
    all.insert(AMethod, QJsonDocument::fromJson(AJson).object());
    WriteAll(fileName, QJsonDocument(all).toJson(QJsonDocument::Compact));
}

// Starts a program and waits for the first line it prints: both programs print one
// only once they are ready (the bus its address, the stand-in READY).
bool TPrivateSystemBus::StartProcess(QProcess &AProcess, const QString &AProgram, const QStringList &AArgs,
                                     QString &AFirstLine)
{
    AProcess.setProgram(AProgram);
    AProcess.setArguments(AArgs);
    AProcess.start(QIODevice::ReadOnly);
    if (!AProcess.waitForStarted(kStartTimeoutMs)) {
        FError = AProgram + QStringLiteral(" did not start: ") + AProcess.errorString();
        Stop();
        return false;
    }
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!AProcess.canReadLine()) {
        if (!AProcess.waitForReadyRead(int(deadline.remainingTime()))) {
            FError = AProgram + QStringLiteral(" did not get ready: ") +
                     QString::fromUtf8(AProcess.readAllStandardError());
            Stop();
            return false;
        }
    }
    AFirstLine = QString::fromUtf8(AProcess.readLine());
    return true;
}

void TPrivateSystemBus::StopProcess(QProcess &AProcess)
{
    if (AProcess.state() == QProcess::NotRunning)
        return;
    AProcess.terminate();
    if (!AProcess.waitForFinished(5000)) {
        AProcess.kill();
        AProcess.waitForFinished(5000);
    }
}

TMissingSystemBus::TMissingSystemBus()
{
    if (!FDir.isValid())
        return;
    FSocketPath = FDir.filePath(QStringLiteral("no_bus_socket"));
    qputenv(kAddressVariable, QByteArray("unix:path=") + FSocketPath.toUtf8());
}

} // namespace TestSupport
