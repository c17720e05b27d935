#include "support/SmtpServer.h"

#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

namespace TestSupport {

namespace {

// The server listens in well under a second; this only bounds a broken start.
constexpr int kStartTimeoutMs = 15000;
// Debian's Python with its aiosmtpd, whatever else is first on PATH.
constexpr const char *kPython = "/usr/bin/python3";

QString SecurityName(TSmtpServerOptions::TSecurity ASecurity)
{
    switch (ASecurity) {
    case TSmtpServerOptions::ssStartTls:
        return QStringLiteral("starttls");
    case TSmtpServerOptions::ssRequireStartTls:
        return QStringLiteral("require-starttls");
    case TSmtpServerOptions::ssImplicit:
        return QStringLiteral("implicit");
    case TSmtpServerOptions::ssPlain:
        break;
    }
    return QStringLiteral("plain");
}

QString RawName(TSmtpServerOptions::TRaw ARaw)
{
    switch (ARaw) {
    case TSmtpServerOptions::rwSilent:
        return QStringLiteral("silent");
    case TSmtpServerOptions::rwGarbage:
        return QStringLiteral("garbage");
    case TSmtpServerOptions::rwLongLine:
        return QStringLiteral("long-line");
    case TSmtpServerOptions::rwSilentAfterEhlo:
        return QStringLiteral("silent-after-ehlo");
    case TSmtpServerOptions::rwDropInData:
        return QStringLiteral("drop-in-data");
    case TSmtpServerOptions::rwNone:
        break;
    }
    return {};
}

} // namespace

// ---- Certificates ---------------------------------------------------------------------

bool TTestCertificates::Create()
{
    FDir = std::make_unique<QTemporaryDir>();
    if (!FDir->isValid()) {
        FError = QStringLiteral("cannot create a temporary folder: ") + FDir->errorString();
        return false;
    }
    const QStringList ecKey = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                               QStringLiteral("ec_paramgen_curve:prime256v1")};
    if (!WriteAll(File(QStringLiteral("server.ext")),
                  "subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n") ||
        !WriteAll(File(QStringLiteral("client.ext")), "extendedKeyUsage=clientAuth\n")) {
        FError = QStringLiteral("cannot write the extension files");
        return false;
    }
    const QString days = QStringLiteral("30");
    return OpenSsl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey +
                   QStringList{QStringLiteral("-noenc"), QStringLiteral("-keyout"),
                               File(QStringLiteral("ca.key")), QStringLiteral("-out"), CaFile(),
                               QStringLiteral("-days"), days, QStringLiteral("-subj"),
                               QStringLiteral("/CN=AkStarter Test CA")}) &&
           OpenSsl(QStringList{QStringLiteral("req")} + ecKey +
                   QStringList{QStringLiteral("-noenc"), QStringLiteral("-keyout"), ServerKey(),
                               QStringLiteral("-out"), File(QStringLiteral("server.csr")),
                               QStringLiteral("-subj"), QStringLiteral("/CN=AkStarter Test Server")}) &&
           OpenSsl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                    File(QStringLiteral("server.csr")), QStringLiteral("-CA"), CaFile(),
                    QStringLiteral("-CAkey"), File(QStringLiteral("ca.key")),
                    QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), ServerCert(),
                    QStringLiteral("-days"), days, QStringLiteral("-extfile"),
                    File(QStringLiteral("server.ext"))}) &&
           OpenSsl(QStringList{QStringLiteral("req")} + ecKey +
                   QStringList{QStringLiteral("-keyout"), ClientKey(), QStringLiteral("-passout"),
                               QStringLiteral("pass:") + QLatin1String(ClientKeyPassPhrase),
                               QStringLiteral("-out"), File(QStringLiteral("client.csr")),
                               QStringLiteral("-subj"),
                               QStringLiteral("/CN=") + QLatin1String(ClientCommonName)}) &&
           OpenSsl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                    File(QStringLiteral("client.csr")), QStringLiteral("-CA"), CaFile(),
                    QStringLiteral("-CAkey"), File(QStringLiteral("ca.key")),
                    QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), ClientCert(),
                    QStringLiteral("-days"), days, QStringLiteral("-extfile"),
                    File(QStringLiteral("client.ext"))});
}

bool TTestCertificates::OpenSsl(const QStringList &AArgs)
{
    QProcess process;
    process.start(QStringLiteral("openssl"), AArgs);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        FError = QStringLiteral("openssl ") + AArgs.join(u' ') + QStringLiteral(" failed: ") +
                 QString::fromUtf8(process.readAllStandardError()) + process.errorString();
        return false;
    }
    return true;
}

TSmtpServerOptions TSmtpServerOptions::Secure(TSecurity ASecurity, const TTestCertificates &ACertificates)
{
    TSmtpServerOptions options;
    options.Security = ASecurity;
    options.CertFile = ACertificates.ServerCert();
    options.KeyFile = ACertificates.ServerKey();
    options.ClientCaFile = ACertificates.CaFile();
    return options;
}

// ---- Received mail ------------------------------------------------------------------

QString TReceivedMail::MailFrom() const
{
    return Record.value(QStringLiteral("mail_from")).toString();
}

QStringList TReceivedMail::RcptTos() const
{
    QStringList result;
    for (const QJsonValue &value : Record.value(QStringLiteral("rcpt_tos")).toArray())
        result.append(value.toString());
    return result;
}

QStringList TReceivedMail::MailOptions() const
{
    QStringList result;
    for (const QJsonValue &value : Record.value(QStringLiteral("mail_options")).toArray())
        result.append(value.toString());
    return result;
}

QString TReceivedMail::Header(const QString &AName) const
{
    for (const QJsonValue &value : Record.value(QStringLiteral("headers")).toArray()) {
        const QJsonArray header = value.toArray();
        if (header.at(0).toString().compare(AName, Qt::CaseInsensitive) == 0)
            return header.at(1).toString();
    }
    return QString();
}

QStringList TReceivedMail::HeaderNames() const
{
    QStringList result;
    for (const QJsonValue &value : Record.value(QStringLiteral("headers")).toArray())
        result.append(value.toArray().at(0).toString());
    return result;
}

QList<QJsonObject> TReceivedMail::Parts() const
{
    QList<QJsonObject> result;
    for (const QJsonValue &value : Record.value(QStringLiteral("parts")).toArray())
        result.append(value.toObject());
    return result;
}

QByteArray TReceivedMail::Payload(const QJsonObject &APart)
{
    return QByteArray::fromBase64(APart.value(QStringLiteral("payload")).toString().toLatin1());
}

// ---- Server -------------------------------------------------------------------------

TSmtpServer::~TSmtpServer()
{
    Stop();
}

bool TSmtpServer::Start(const TSmtpServerOptions &AOptions)
{
    Stop();
    FError.clear();
    FDir = std::make_unique<QTemporaryDir>();
    if (!FDir->isValid()) {
        FError = QStringLiteral("cannot create a temporary folder: ") + FDir->errorString();
        return false;
    }
    QStringList args = {QStringLiteral(AK_SMTP_SERVER_SCRIPT), QStringLiteral("--out"), FDir->path(),
                        QStringLiteral("--security"), SecurityName(AOptions.Security)};
    auto add = [&](const char *AOption, const QString &AValue) {
        if (!AValue.isEmpty())
            args << QLatin1String(AOption) << AValue;
    };
    if (AOptions.Security != TSmtpServerOptions::ssPlain) {
        add("--cert", AOptions.CertFile);
        add("--key", AOptions.KeyFile);
    }
    if (AOptions.RequireClientCert) {
        args << QStringLiteral("--require-client-cert");
        add("--client-ca", AOptions.ClientCaFile);
    }
    add("--mechanisms", AOptions.Mechanisms.join(u' '));
    add("--failing", AOptions.Failing.join(u' '));
    add("--user", AOptions.User);
    add("--password", AOptions.Password);
    if (AOptions.AuthRequired)
        args << QStringLiteral("--auth-required");
    for (const QString &recipient : AOptions.RefusedRecipients)
        add("--refuse", recipient);
    if (AOptions.No8BitMime)
        args << QStringLiteral("--no-8bitmime");
    if (AOptions.SizeLimit > 0)
        add("--size-limit", QString::number(AOptions.SizeLimit));
    if (AOptions.Raw != TSmtpServerOptions::rwNone) {
        add("--raw", RawName(AOptions.Raw));
        add("--drop-after", QString::number(AOptions.DropAfter));
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("PYTHONPATH"));
    environment.remove(QStringLiteral("PYTHONHOME"));
    FProcess.setProcessEnvironment(environment);
    FProcess.setStandardErrorFile(FDir->filePath(QStringLiteral("server.log")));
    FProcess.start(QLatin1String(kPython), args, QIODevice::ReadOnly);
    if (!FProcess.waitForStarted(kStartTimeoutMs)) {
        FError = QStringLiteral("the SMTP server did not start: ") + FProcess.errorString();
        Stop();
        return false;
    }
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!FProcess.canReadLine()) {
        if (!FProcess.waitForReadyRead(int(deadline.remainingTime()))) {
            FError = QStringLiteral("the SMTP server did not get ready: ") + Log();
            Stop();
            return false;
        }
    }
    const QString ready = QString::fromUtf8(FProcess.readLine()).trimmed();
    bool ok = false;
    if (ready.startsWith(QLatin1String("READY ")))
        FPort = ready.mid(6).toUShort(&ok);
    if (!ok) {
        FError = QStringLiteral("the SMTP server said: ") + ready + u'\n' + Log();
        Stop();
        return false;
    }
    return true;
}

void TSmtpServer::Stop()
{
    if (FProcess.state() != QProcess::NotRunning) {
        FProcess.terminate();
        if (!FProcess.waitForFinished(5000)) {
            FProcess.kill();
            FProcess.waitForFinished(5000);
        }
    }
    FPort = 0;
}

QList<TReceivedMail> TSmtpServer::Messages() const
{
    QList<TReceivedMail> result;
    if (!FDir)
        return result;
    const QDir dir(FDir->path());
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        TReceivedMail mail;
        mail.Record = QJsonDocument::fromJson(ReadAll(dir.filePath(name))).object();
        mail.Data = ReadAll(dir.filePath(name.chopped(5) + QStringLiteral(".eml")));
        result.append(mail);
    }
    return result;
}

QList<QJsonObject> TSmtpServer::Events() const
{
    QList<QJsonObject> result;
    if (!FDir)
        return result;
    const QByteArray text = ReadAll(FDir->filePath(QStringLiteral("events.jsonl")));
    for (const QByteArray &line : text.split('\n'))
        if (!line.isEmpty())
            result.append(QJsonDocument::fromJson(line).object());
    return result;
}

QString TSmtpServer::Log() const
{
    return FDir ? QString::fromUtf8(ReadAll(FDir->filePath(QStringLiteral("server.log")))) : QString();
}

} // namespace TestSupport
