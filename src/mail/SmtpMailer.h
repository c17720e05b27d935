#pragma once

#include "mail/MailData.h"
#include "mail/Mime.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class QSslCertificate;
class QSslKey;
class TSmtpMailer;
class TSmtpSession;

enum TContentType
{
    ctAscii,
    ctHtml,
    ctUtf8
};

enum TSendErrorType
{
    seUnknown,
    seSmtp,
    seFailedRecipient,
    seNoSecure
};

struct TSendError
{
    TSendErrorType ErrType = seUnknown;
    QString ErrMsg;
};
using TSendErrors = QList<TSendError>;

// Asks for the pass phrase of the client key; APassword holds the configured one on entry.
using TGetPassword = std::function<void(QByteArray &APassword)>;

enum TMessagePriority
{
    mpHighest,
    mpHigh,
    mpNormal,
    mpLow,
    mpLowest
};

enum TWorkMode
{
    wmRead,
    wmWrite
};

using TMailerEvent = std::function<void()>;
// The message's size in bytes is both the expected work and AMessageSize.
using TWorkBeginEvent = std::function<void(TWorkMode AWorkMode, int64_t AWorkCountMax, int64_t AMessageSize)>;
using TWorkEvent = std::function<void(TWorkMode AWorkMode, int64_t AWorkCount)>;
using TWorkEndEvent = std::function<void(TWorkMode AWorkMode)>;

// The TLS files the program looks for in its settings folder: extra trusted roots, and a
// client certificate with its key for servers that ask for one. None of them is needed.
inline constexpr const char *SmtpRootFileName = "arkivoroot.pem";
inline constexpr const char *SmtpCertFileName = "arkivo.crt";
inline constexpr const char *SmtpKeyFileName = "arkivo.key";
// Connect and read time-out in milliseconds.
inline constexpr int SmtpDefaultTimeout = 30000;

// The files attached to a message. Each entry is a file name, optionally followed by "|"
// and a content type: empty for the type that belongs to the file's extension, a text
// with "/" for that type, any other text for "application/" + the text.
class TAttachement
{
public:
    explicit TAttachement(TSmtpMailer *AOwner) : fOwner(AOwner) {}

    const QStringList &AttachedFiles() const { return fAttachedFiles; }
    void SetAttachedFiles(const QStringList &AFiles) { fAttachedFiles = AFiles; }
    void Clear() { fAttachedFiles.clear(); }
    TSmtpMailer *Owner() const { return fOwner; }

private:
    QStringList fAttachedFiles;
    TSmtpMailer *fOwner;
};

// A mail component: holds the server settings and one message, sends it over SMTP with
// optional TLS and login, and lists the errors of the last send. Sending blocks the
// caller but runs a local event loop, so the window stays responsive (see OnSending).
// Needs the application object; main thread only.
class TSmtpMailer : public QObject
{
    Q_OBJECT

public:
    // Without a root certificate file or client certificate: servers are checked against
    // the system's trusted roots only.
    explicit TSmtpMailer(QObject *AOwner = nullptr);
    // APath is the folder of the TLS files (the program's settings folder when empty);
    // ARoot names a file of extra trusted root certificates, ACert and AKey the client
    // certificate and its key, APwd the key's pass phrase. A file that does not exist is
    // left out when a connection is secured.
    TSmtpMailer(QObject *AOwner, const QString &APath, const QString &ARoot, const QString &ACert,
                const QString &AKey, const QByteArray &APwd);
    ~TSmtpMailer() override;

    TSmtpMailer(const TSmtpMailer &) = delete;
    TSmtpMailer &operator=(const TSmtpMailer &) = delete;

    void ClearBody();
    // Appends one line; line breaks inside the text start further lines.
    void AddToBody(const QString &AText);
    void ClearExtraHeaders();
    // Sets a header of the message, replacing one of the same name (also one the mailer
    // writes itself, except the MIME structure). Names that cannot stand in a header are
    // ignored; control characters in the value become blanks.
    void AddExtraHeader(const QString &AId, const QString &AContents);
    const QList<QPair<QString, QString>> &ExtraHeaders() const { return fExtraHeaders; }

    // Sends the message; true when ErrorList is empty afterwards. Never throws.
    bool Send();
    // Builds the message and saves it as a MIME file; false when that fails.
    bool SaveToFile(const QString &AFilename);

    // ---- Properties ------------------------------------------------------------------

    const QString &About() const { return fAbout; }
    const QStringList &Body() const { return fBody; }
    void SetBody(const QStringList &ABody) { fBody = ABody; }
    const QStringList &HTMLBody() const { return fHTMLBody; }
    void SetHTMLBody(const QStringList &ABody) { fHTMLBody = ABody; }
    TAttachement &Attachments() { return fAttachments; }
    const QString &Host() const { return fHost; }
    void SetHost(const QString &AHost) { fHost = AHost; }
    // Sent as a 16-bit number; anything outside 1 ... 65535 fails the send.
    int Port() const { return fPort; }
    void SetPort(int APort) { fPort = APort; }
    // Login happens only when both the user and the password are set.
    const QString &UserId() const { return fUserId; }
    void SetUserId(const QString &AUserId) { fUserId = AUserId; }
    const QString &Password() const { return fPassword; }
    void SetPassword(const QString &APassword) { fPassword = APassword; }
    const QString &HeloName() const { return fHeloName; }
    void SetHeloName(const QString &AName) { fHeloName = AName; }
    TMessagePriority Priority() const { return fPriority; }
    void SetPriority(TMessagePriority APriority) { fPriority = APriority; }
    const TMailAddress &From() const { return fFrom; }
    void SetFrom(const TMailAddress &AFrom) { fFrom = AFrom; }
    // Comma-separated address lists (see ParseAddressList).
    const QString &Recipients() const { return fRecipients; }
    void SetRecipients(const QString &AList) { fRecipients = AList; }
    const QString &CCList() const { return fCC; }
    void SetCCList(const QString &AList) { fCC = AList; }
    const QString &BCCList() const { return fBCC; }
    void SetBCCList(const QString &AList) { fBCC = AList; }
    const QString &Subject() const { return fSubject; }
    void SetSubject(const QString &ASubject) { fSubject = ASubject; }
    TContentType ContentType() const { return fContentType; }
    void SetContentType(TContentType AType) { fContentType = AType; }
    // stNone (and any value outside the list): plain; stExplicit: STARTTLS when the server
    // offers it; stRequired: STARTTLS or the send fails; stImplicit: TLS from the start.
    TSecTransfer SecureTransfer() const { return fUseTLS; }
    void SetSecureTransfer(TSecTransfer AMode) { fUseTLS = AMode; }
    bool ContinueOnFailedRecipient() const { return fContinueOnFailedRecipient; }
    void SetContinueOnFailedRecipient(bool AValue) { fContinueOnFailedRecipient = AValue; }
    const TSendErrors &ErrorList() const { return fErrorList; }
    // The protocol log: one line per command and reply, appended to the file while
    // WriteLogFile is set; passwords and login data appear as "***".
    const QString &Logname() const { return fLogname; }
    void SetLogname(const QString &AName) { fLogname = AName; }
    bool WriteLogFile() const { return fWriteLogFile; }
    void SetWriteLogFile(bool AValue) { fWriteLogFile = AValue; }
    // Milliseconds to wait for the connection, and for each reply or piece of the message.
    int ConnectTimeout() const { return fConnectTimeout; }
    void SetConnectTimeout(int AMilliseconds) { fConnectTimeout = AMilliseconds; }
    int ReadTimeout() const { return fReadTimeout; }
    void SetReadTimeout(int AMilliseconds) { fReadTimeout = AMilliseconds; }
    // True when TLS can be used at all (the TLS library is there).
    bool TLSAvailable() const { return fTLSAvail; }

    // ---- Events ----------------------------------------------------------------------

    void SetOnConnected(TMailerEvent AEvent) { fOnConnected = std::move(AEvent); }
    void SetOnDisconnected(TMailerEvent AEvent) { fOnDisconnected = std::move(AEvent); }
    void SetOnBeginSend(TWorkBeginEvent AEvent) { FOnBeginSend = std::move(AEvent); }
    // Called with the progress whenever the mailer waits for the server, at least every
    // 50 ms: the handler keeps the window alive. Without it the waits process all pending
    // events, user input included.
    void SetOnSending(TWorkEvent AEvent) { FOnSending = std::move(AEvent); }
    void SetOnEndSend(TWorkEndEvent AEvent) { FOnEndSend = std::move(AEvent); }
    void SetOnSSLPassword(TGetPassword AEvent) { fGetSSLPassword = std::move(AEvent); }

private:
    friend class TSmtpSession;

    void AddError(TSendErrorType AType, const QString &AMessage);
    QString TlsFile(const QString &AName) const;

    QString fAbout;
    QString fHost;
    int fPort = 25;
    QString fUserId;
    QString fPassword;
    TMailAddress fFrom;
    QString fRecipients;
    QString fCC;
    QString fBCC;
    QStringList fBody;
    QStringList fHTMLBody;
    QString fSubject;
    QList<QPair<QString, QString>> fExtraHeaders;
    QString fTlsPath;
    QString fRootFile;
    QString fCertFile;
    QString fKeyFile;
    QByteArray fCertPwd;
    QString fHeloName;
    bool fTLSAvail = false;
    TContentType fContentType = ctAscii;
    TMessagePriority fPriority = mpNormal;
    TMailerEvent fOnDisconnected;
    TMailerEvent fOnConnected;
    TWorkEvent FOnSending;
    TWorkBeginEvent FOnBeginSend;
    TWorkEndEvent FOnEndSend;
    TAttachement fAttachments;
    TGetPassword fGetSSLPassword;
    TSecTransfer fUseTLS = stNone;
    bool fContinueOnFailedRecipient = false;
    TSendErrors fErrorList;
    QString fLogname;
    bool fWriteLogFile = false;
    int fConnectTimeout = SmtpDefaultTimeout;
    int fReadTimeout = SmtpDefaultTimeout;
    bool fSending = false;
};

// The client certificate and key from PEM files: true when both files exist, the
// certificate reads and the key opens with the pass phrase. An encrypted key with an
// empty pass phrase is not opened at all, so nothing ever asks on a terminal.
bool LoadClientCertificate(const QString &ACertFile, const QString &AKeyFile, const QByteArray &APassPhrase,
                           QSslCertificate &ACert, QSslKey &AKey);
