#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace TestSupport {

// Certificates for TLS tests, made with openssl in a folder of their own: a test CA, a
// server certificate for 127.0.0.1 signed by it, and a client certificate whose key is
// encrypted with ClientKeyPassPhrase.
class TTestCertificates
{
public:
    static constexpr const char *ClientKeyPassPhrase = "client-secret";
    static constexpr const char *ClientCommonName = "AkStarter Test Client";

    // False with Error() saying why when openssl failed.
    bool Create();
    const QString &Error() const { return FError; }

    QString Dir() const { return FDir ? FDir->path() : QString(); }
    QString CaFile() const { return File(QStringLiteral("ca.pem")); }
    QString ServerCert() const { return File(QStringLiteral("server.pem")); }
    QString ServerKey() const { return File(QStringLiteral("server.key")); }
    QString ClientCert() const { return File(QStringLiteral("client.pem")); }
    QString ClientKey() const { return File(QStringLiteral("client.key")); }

private:
    QString File(const QString &AName) const { return FDir ? FDir->filePath(AName) : QString(); }
    bool OpenSsl(const QStringList &AArgs);

    std::unique_ptr<QTemporaryDir> FDir;
    QString FError;
};

// How the test server behaves.
struct TSmtpServerOptions
{
    enum TSecurity
    {
        ssPlain,
        ssStartTls,        // offers STARTTLS; AUTH only after it
        ssRequireStartTls, // refuses mail before STARTTLS
        ssImplicit         // TLS from the start
    };
    // A broken server instead of a proper one.
    enum TRaw
    {
        rwNone,
        rwSilent,          // accepts the connection, never answers
        rwGarbage,         // greets with a line that is no reply
        rwLongLine,        // greets with a 10 MB line
        rwSilentAfterEhlo, // answers the greeting and EHLO, then nothing
        rwDropInData       // closes the connection after DropAfter bytes of the message
    };

    TSecurity Security = ssPlain;
    // Server certificate and key; needed for every mode but ssPlain.
    QString CertFile;
    QString KeyFile;
    // With RequireClientCert the handshake needs a client certificate from this CA.
    QString ClientCaFile;
    bool RequireClientCert = false;
    // AUTH mechanisms announced, those of them that always refuse, and the account.
    QStringList Mechanisms;
    QStringList Failing;
    QString User;
    QString Password;
    bool AuthRequired = false;
    QStringList RefusedRecipients;
    bool No8BitMime = false;
    // Largest message the server takes (announced as SIZE); 0 for no limit.
    qint64 SizeLimit = 0;
    TRaw Raw = rwNone;
    int DropAfter = 1024;

    // TLS modes with the certificates' server certificate.
    static TSmtpServerOptions Secure(TSecurity ASecurity, const TTestCertificates &ACertificates);
};

// A message the server took: the record of smtp_server.py (envelope, session, parsed
// headers and parts) and the data as received.
struct TReceivedMail
{
    QJsonObject Record;
    QByteArray Data;

    QString MailFrom() const;
    QStringList RcptTos() const;
    QStringList MailOptions() const;
    // Decoded value of the first header of that name (case-insensitive); null when absent.
    QString Header(const QString &AName) const;
    QStringList HeaderNames() const;
    // The leaf parts in order, and one part's decoded content.
    QList<QJsonObject> Parts() const;
    static QByteArray Payload(const QJsonObject &APart);
};

// The SMTP server of smtp_server.py on 127.0.0.1, one per test. Start() waits until it
// listens; Stop() (and the destructor) ends it by its process id.
class TSmtpServer
{
public:
    TSmtpServer() = default;
    ~TSmtpServer();
    TSmtpServer(const TSmtpServer &) = delete;
    TSmtpServer &operator=(const TSmtpServer &) = delete;

    bool Start(const TSmtpServerOptions &AOptions);
    void Stop();
    const QString &Error() const { return FError; }
    quint16 Port() const { return FPort; }

    // The messages taken so far, oldest first.
    QList<TReceivedMail> Messages() const;
    // The login attempts so far: {"conn", "event", "mechanism", "ok"}.
    QList<QJsonObject> Events() const;
    // What the server wrote to standard error, for failure messages.
    QString Log() const;

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QProcess FProcess;
    quint16 FPort = 0;
    QString FError;
};

} // namespace TestSupport
