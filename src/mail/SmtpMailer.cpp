#include "mail/SmtpMailer.h"

#include "config/ProgramEnv.h"
#include "util/Clock.h"
#include "util/Errors.h"
#include "util/FileUtils.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMessageAuthenticationCode>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSslCertificate>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

constexpr char kCrLf[] = "\r\n";
// SMTP reply lines are at most 512 bytes; anything much longer is not a reply.
constexpr qsizetype kMaxReplyLine = 4096;
constexpr int kMaxReplyLines = 1000;
constexpr qint64 kReadBufferSize = 64 * 1024;
// The message goes out in pieces of this size, with at most kMaxPendingWrite bytes
// waiting in the socket, so a large attachment is not copied into the socket at once.
constexpr qsizetype kDataChunk = 64 * 1024;
constexpr qint64 kMaxPendingWrite = 256 * 1024;
// Longest wait between two calls of OnSending.
constexpr int kSliceMs = 50;
// Longest line of a message (RFC 5322 2.1.1); longer text lines need quoted-printable.
constexpr qsizetype kMaxLineBytes = 998;
// The server's answer to QUIT is a courtesy; do not wait the full time-out for it.
constexpr int kQuitTimeoutMs = 5000;

class ESmtpError : public EAkError
{
public:
    using EAkError::EAkError;
};

QString UnknownErrorText()
{
    return Tr("Unknown or other error: Can not determine owner, other error, or the error can not be "
              "revealed.");
}

// A text from the server, fit for an error message and the log: characters below code 32
// removed and cut to a sensible length.
QString Printable(const QString &AText)
{
    constexpr qsizetype maxLength = 400;
    QString result;
    for (QChar c : AText)
        if (c.unicode() >= 0x20)
            result += c;
    if (result.size() > maxLength)
        result = result.left(maxLength) + QStringLiteral("...");
    return result;
}

QString Printable(const QByteArray &AText)
{
    return Printable(QString::fromUtf8(AText.left(1024)));
}

// ---- Protocol log -------------------------------------------------------------------

// The protocol log file, open while a send runs with logging switched on.
class TProtocolLog
{
public:
    void Open(const QString &AFileName)
    {
        FFile.setFileName(AFileName);
        // The log only helps to find faults; a log that cannot be written must not stop
        // the mail.
        if (!FFile.open(QIODevice::WriteOnly | QIODevice::Append))
            qWarning("Cannot open the protocol log %s: %s", qPrintable(AFileName),
                     qPrintable(FFile.errorString()));
    }

    void Line(QStringView AKind, const QString &AText)
    {
        if (!FFile.isOpen())
            return;
        const QString line = Now().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) + u' ' + AKind + u' ' +
                             Printable(AText) + u'\n';
        FFile.write(line.toUtf8());
        FFile.flush();
    }

    void Error(const QString &AText) { Line(u"Error", AText); }

private:
    QFile FFile;
};

// ---- Message ------------------------------------------------------------------------

// Sender and recipients after checking, ready for the envelope and the header.
struct TEnvelope
{
    TMailAddress From;
    QList<TMailAddress> To;
    QList<TMailAddress> Cc;
    QList<TMailAddress> Bcc;

    QList<QString> Recipients() const
    {
        QList<QString> result;
        for (const auto *list : {&To, &Cc, &Bcc})
            for (const TMailAddress &address : *list)
                result.append(address.Address);
        return result;
    }
};

struct TAttachmentFile
{
    QString Name;
    QByteArray ContentType;
    QByteArray Data;
};

// A body part: its Content-* header lines and its encoded content.
struct TMimePart
{
    QByteArray Headers;
    QList<QByteArray> Body;
    bool EightBit = false;
};

// The message in pieces, so that a large attachment is never copied into one buffer.
struct TMessageText
{
    QList<QByteArray> Pieces;

    qint64 Size() const
    {
        qint64 size = 0;
        for (const QByteArray &piece : Pieces)
            size += piece.size();
        return size;
    }
};

// A text part: "8bit" when the connection carries 8-bit data and every line fits, else
// quoted-printable. AText has CR LF line ends.
TMimePart TextPart(const QByteArray &AContentType, const QByteArray &AText, bool A8Bit,
                   const QByteArray &AExtraHeaders = {})
{
    TMimePart part;
    part.EightBit = A8Bit && LongestLine(AText) <= kMaxLineBytes && !AText.contains('\0');
    part.Headers = "Content-Type: " + AContentType + kCrLf +
                   "Content-Transfer-Encoding: " + (part.EightBit ? "8bit" : "quoted-printable") + kCrLf +
                   AExtraHeaders;
    part.Body = {part.EightBit ? AText : QuotedPrintableEncode(AText)};
    return part;
}

// Body lines as text with CR LF after every line.
QByteArray BodyText(const QStringList &ALines, bool AUtf8)
{
    if (ALines.isEmpty())
        return {};
    const QString text = ALines.join(u'\n');
    return NormalizeLineEnds(AUtf8 ? text.toUtf8() : text.toLatin1()) + kCrLf;
}

QByteArray NewBoundary()
{
    QByteArray random(12, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(random.data()), 3);
    // "=_" cannot occur in base64 or quoted-printable text.
    return "=_ak_" + random.toHex();
}

TMimePart Multipart(const QByteArray &ASubtype, const QList<TMimePart> &AParts)
{
    const QByteArray boundary = NewBoundary();
    TMimePart result;
    for (const TMimePart &part : AParts) {
        result.Body.append("--" + boundary + kCrLf + part.Headers + kCrLf);
        result.Body.append(part.Body);
        // The line end in front of a delimiter belongs to the delimiter, not to the part.
        result.Body.append(QByteArray(kCrLf));
        result.EightBit = result.EightBit || part.EightBit;
    }
    result.Body.append("--" + boundary + "--" + kCrLf);
    result.Headers = "Content-Type: multipart/" + ASubtype + ";\r\n boundary=\"" + boundary + '"' + kCrLf;
    if (result.EightBit)
        result.Headers += "Content-Transfer-Encoding: 8bit\r\n";
    return result;
}

TMimePart AttachmentPart(const TAttachmentFile &AFile, bool A8Bit)
{
    const QByteArray type = AFile.ContentType + MimeParameter(QStringLiteral("name"), AFile.Name);
    const QByteArray disposition =
        "Content-Disposition: attachment" + MimeParameter(QStringLiteral("filename"), AFile.Name) + kCrLf;
    if (AFile.ContentType.toLower().startsWith("text/plain"))
        return TextPart(type, NormalizeLineEnds(AFile.Data), A8Bit, disposition);
    TMimePart part;
    part.Headers = "Content-Type: " + type + kCrLf + "Content-Transfer-Encoding: base64\r\n" + disposition;
    part.Body = {Base64Lines(AFile.Data)};
    return part;
}

QByteArray DateHeader(const QDateTime &AMoment)
{
    // RFC 5322 wants English names whatever the user's language.
    const int offset = AMoment.offsetFromUtc() / 60;
    const int absolute = std::abs(offset);
    return "Date: " +
           QLocale::c().toString(AMoment, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")).toLatin1() +
           (offset < 0 ? '-' : '+') + QByteArray::number(absolute / 60).rightJustified(2, '0') +
           QByteArray::number(absolute % 60).rightJustified(2, '0') + kCrLf;
}

QByteArray MessageIdHeader(const QString &ASender)
{
    const qsizetype at = ASender.lastIndexOf(u'@');
    const QByteArray domain = at > 0 ? ASender.mid(at + 1).toLatin1() : QByteArray("localhost");
    return "Message-ID: <" + QUuid::createUuid().toByteArray(QUuid::Id128) + '@' + domain + '>' + kCrLf;
}

QByteArray PriorityHeaders(TMessagePriority APriority)
{
    switch (APriority) {
    case mpHighest:
        return "X-Priority: 1 (Highest)\r\nImportance: high\r\n";
    case mpHigh:
        return "X-Priority: 2 (High)\r\nImportance: high\r\n";
    case mpLow:
        return "X-Priority: 4 (Low)\r\nImportance: low\r\n";
    case mpLowest:
        return "X-Priority: 5 (Lowest)\r\nImportance: low\r\n";
    case mpNormal:
        break;
    }
    return {};
}

bool IsAddressHeader(const QString &AName)
{
    static const QStringList names = {QStringLiteral("From"),     QStringLiteral("Sender"),
                                      QStringLiteral("Reply-To"), QStringLiteral("To"),
                                      QStringLiteral("Cc"),       QStringLiteral("Bcc")};
    return names.contains(AName, Qt::CaseInsensitive);
}

QList<TMailAddress> ValidAddresses(const QString &AList)
{
    QList<TMailAddress> result;
    for (const TMailAddress &address : ParseAddressList(AList))
        if (IsValidMailAddress(address.Address))
            result.append(address);
    return result;
}

// The whole message. A8Bit: the server takes 8-bit data (8BITMIME).
TMessageText ComposeMessage(const TSmtpMailer &AMailer, const TEnvelope &AEnvelope,
                            const QList<TAttachmentFile> &AFiles, bool A8Bit)
{
    QList<QPair<QString, QByteArray>> headers;
    headers.append({QStringLiteral("From"), AddressHeader(QStringLiteral("From"), {AEnvelope.From})});
    if (!AEnvelope.To.isEmpty())
        headers.append({QStringLiteral("To"), AddressHeader(QStringLiteral("To"), AEnvelope.To)});
    if (!AEnvelope.Cc.isEmpty())
        headers.append({QStringLiteral("Cc"), AddressHeader(QStringLiteral("Cc"), AEnvelope.Cc)});
    headers.append(
        {QStringLiteral("Subject"), UnstructuredHeader(QStringLiteral("Subject"), AMailer.Subject())});
    headers.append({QStringLiteral("Date"), DateHeader(Now())});
    headers.append({QStringLiteral("Message-ID"), MessageIdHeader(AEnvelope.From.Address)});
    if (const QByteArray priority = PriorityHeaders(AMailer.Priority()); !priority.isEmpty())
        headers.append({QStringLiteral("X-Priority"), priority});

    for (const auto &[name, value] : AMailer.ExtraHeaders()) {
        // The MIME structure is the mailer's own.
        if (name.startsWith(QLatin1String("Content-"), Qt::CaseInsensitive) ||
            name.compare(QLatin1String("MIME-Version"), Qt::CaseInsensitive) == 0)
            continue;
        QByteArray line;
        if (IsAddressHeader(name)) {
            const QList<TMailAddress> addresses = ValidAddresses(value);
            if (addresses.isEmpty())
                continue;
            line = AddressHeader(name, addresses);
        } else {
            line = UnstructuredHeader(name, value);
        }
        const auto existing = std::find_if(headers.begin(), headers.end(), [&](const auto &AHeader) {
            return AHeader.first.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (existing != headers.end())
            existing->second = line;
        else
            headers.append({name, line});
    }

    TMimePart body;
    switch (AMailer.ContentType()) {
    case ctUtf8:
        body = TextPart("text/plain; charset=utf-8", BodyText(AMailer.Body(), true), A8Bit);
        break;
    case ctHtml: {
        TMimePart html =
            TextPart("text/html; charset=iso-8859-1", BodyText(AMailer.HTMLBody(), false), A8Bit);
        if (AMailer.Body().isEmpty())
            body = html;
        else
            body = Multipart(
                "alternative",
                {TextPart("text/plain; charset=iso-8859-1", BodyText(AMailer.Body(), false), A8Bit), html});
        break;
    }
    case ctAscii:
    default:
        body = TextPart("text/plain; charset=iso-8859-1", BodyText(AMailer.Body(), false), A8Bit);
        break;
    }
    // Nothing attached: the text is the whole message, not a multipart with one part.
    if (!AFiles.isEmpty()) {
        QList<TMimePart> parts{body};
        for (const TAttachmentFile &file : AFiles)
            parts.append(AttachmentPart(file, A8Bit));
        body = Multipart("mixed", parts);
    }

    TMessageText message;
    QByteArray head;
    for (const auto &header : headers)
        head += header.second;
    head += "MIME-Version: 1.0\r\n" + body.Headers + kCrLf;
    message.Pieces.append(head);
    message.Pieces.append(body.Body);
    return message;
}

// The file and the content type of an attachment entry "file|type".
std::pair<QString, QByteArray> SplitAttachmentEntry(const QString &AEntry)
{
    QString file = AEntry;
    QString type;
    // A file whose name holds "|" is taken as it is.
    const qsizetype bar = AEntry.lastIndexOf(u'|');
    if (bar >= 0 && !QFileInfo::exists(AEntry)) {
        file = AEntry.left(bar);
        type = RemoveLineBreaks(AEntry.mid(bar + 1)).trimmed();
    }
    if (type.isEmpty())
        type = QMimeDatabase().mimeTypeForFile(file, QMimeDatabase::MatchExtension).name();
    else if (!type.contains(u'/'))
        type = QStringLiteral("application/") + type;
    return {file, type.toLatin1()};
}

// Reads every attached file; the error text of the first that cannot be read.
std::optional<QString> ReadAttachments(const QStringList &AEntries, QList<TAttachmentFile> &AFiles)
{
    for (const QString &entry : AEntries) {
        const auto [fileName, type] = SplitAttachmentEntry(entry);
        QFile file(fileName);
        QByteArray data;
        if (file.open(QIODevice::ReadOnly))
            data = file.readAll();
        if (!file.isOpen() || file.error() != QFileDevice::NoError)
            return SafeFormat(Tr("Cannot read the attachment %s: %s"), fileName, file.errorString());
        AFiles.append({QFileInfo(fileName).fileName(), type, data});
    }
    return std::nullopt;
}

// Sender and recipients as the message and the envelope use them. Invalid recipients go
// to AOnInvalid, which returns false to stop.
std::optional<TEnvelope> MakeEnvelope(const TSmtpMailer &AMailer,
                                      const std::function<bool(const QString &)> &AOnInvalid)
{
    TEnvelope envelope;
    envelope.From = {RemoveLineBreaks(AMailer.From().Name).trimmed(), AMailer.From().Address.trimmed()};
    const std::pair<const QString *, QList<TMailAddress> *> lists[] = {{&AMailer.Recipients(), &envelope.To},
                                                                       {&AMailer.CCList(), &envelope.Cc},
                                                                       {&AMailer.BCCList(), &envelope.Bcc}};
    for (const auto &[text, list] : lists) {
        for (const TMailAddress &address : ParseAddressList(*text)) {
            if (IsValidMailAddress(address.Address))
                list->append(address);
            else if (!AOnInvalid(RemoveLineBreaks(address.Address)))
                return std::nullopt;
        }
    }
    return envelope;
}

// The system's trusted roots, read once: reading them takes a while. Kept for the life of
// the process, since freeing them at exit could come after the TLS backend is gone.
const QList<QSslCertificate> &SystemRoots()
{
    static const auto *roots = new QList<QSslCertificate>(QSslConfiguration::systemCaCertificates());
    return *roots;
}

QByteArray HeloText(const QString &AName)
{
    QByteArray result;
    for (QChar c : AName)
        if (c.unicode() > 0x20 && c.unicode() < 0x7f)
            result += char(c.unicode());
    return result.isEmpty() ? QByteArray("localhost") : result;
}

} // namespace

// ---- SMTP session -------------------------------------------------------------------

// One connection to the server: the dialogue of a send, from connecting to QUIT. Every
// failure throws ESmtpError with the text for the error list.
class TSmtpSession
{
public:
    TSmtpSession(TSmtpMailer &AMailer, TProtocolLog &ALog, const TEnvelope &AEnvelope,
                 const QList<TAttachmentFile> &AFiles);
    ~TSmtpSession() { FSocket.abort(); }

    TSmtpSession(const TSmtpSession &) = delete;
    TSmtpSession &operator=(const TSmtpSession &) = delete;

    void Run();

private:
    struct TReply
    {
        int Code = 0;
        QList<QByteArray> Lines;

        int Class() const { return Code / 100; }
        QString Text() const
        {
            QString text = QString::number(Code);
            for (const QByteArray &line : Lines)
                if (!line.isEmpty())
                    text += u' ' + QString::fromUtf8(line);
            return Printable(text);
        }
    };

    struct TCapabilities
    {
        bool StartTls = false;
        bool EightBitMime = false;
        bool Size = false;
        QStringList Auth;
    };

    void Dialogue();
    void Connect();
    void Hello();
    void StartTls();
    void Authenticate();
    bool TryMechanism(const QString &AMechanism);
    bool CancelExchange();
    void SendMessage(const TMessageText &AMessage);
    void Quit();
    void Close();

    void Command(const QByteArray &ALine, const QString &ALogText = QString());
    TReply ReadReply(int ATimeoutMs);
    TReply ReadReply() { return ReadReply(FMailer.fReadTimeout); }
    TReply Expect(const QByteArray &ALine, int AClass, const QString &ALogText = QString());
    std::optional<QByteArray> TakeLine();
    void Pump();
    qint64 PendingWrite() const { return FSocket.bytesToWrite() + FSocket.encryptedBytesToWrite(); }
    void WaitUntil(const std::function<bool()> &ACondition, const QDeadlineTimer &ADeadline,
                   const QString &ATimeoutText);
    void OnSocketError(QAbstractSocket::SocketError AError);
    QSslConfiguration TlsConfiguration();
    QString ServerName() const;
    QString ReadTimeoutText() const;

    TSmtpMailer &FMailer;
    TProtocolLog &FLog;
    const TEnvelope &FEnvelope;
    const QList<TAttachmentFile> &FFiles;
    QSslSocket FSocket;
    QEventLoop FLoop;
    QTimer FTick;
    QByteArray FInput;
    bool FConnected = false;
    std::optional<QString> FFailure;
    TCapabilities FCaps;
    TWorkMode FWorkMode = wmRead;
    int64_t FWorkCount = 0;
};

TSmtpSession::TSmtpSession(TSmtpMailer &AMailer, TProtocolLog &ALog, const TEnvelope &AEnvelope,
                           const QList<TAttachmentFile> &AFiles)
    : FMailer(AMailer), FLog(ALog), FEnvelope(AEnvelope), FFiles(AFiles)
{
    FSocket.setReadBufferSize(kReadBufferSize);
    FTick.setSingleShot(true);
    auto wake = [this] { FLoop.quit(); };
    QObject::connect(&FTick, &QTimer::timeout, &FLoop, wake);
    QObject::connect(&FSocket, &QIODevice::readyRead, &FLoop, wake);
    QObject::connect(&FSocket, &QIODevice::bytesWritten, &FLoop, wake);
    QObject::connect(&FSocket, &QSslSocket::encryptedBytesWritten, &FLoop, wake);
    QObject::connect(&FSocket, &QAbstractSocket::connected, &FLoop, wake);
    QObject::connect(&FSocket, &QAbstractSocket::disconnected, &FLoop, wake);
    QObject::connect(&FSocket, &QSslSocket::encrypted, &FLoop, wake);
    QObject::connect(&FSocket, &QAbstractSocket::errorOccurred, &FLoop,
                     [this](QAbstractSocket::SocketError AError) {
                         OnSocketError(AError);
                         FLoop.quit();
                     });
}

void TSmtpSession::Run()
{
    try {
        Dialogue();
    } catch (...) {
        Close();
        throw;
    }
    Close();
}

void TSmtpSession::Dialogue()
{
    Connect();
    const TReply greeting = ReadReply();
    if (greeting.Class() != 2)
        throw ESmtpError(greeting.Text());
    Hello();

    const TSecTransfer mode = FMailer.fUseTLS;
    if (mode == stExplicit || mode == stRequired) {
        if (FCaps.StartTls) {
            StartTls();
            Hello();
        } else if (mode == stRequired) {
            throw ESmtpError(Tr("The server does not offer STARTTLS, which the security setting requires."));
        }
    }

    if (!FMailer.fUserId.isEmpty() && !FMailer.fPassword.isEmpty())
        Authenticate();

    const TMessageText message = ComposeMessage(FMailer, FEnvelope, FFiles, FCaps.EightBitMime);
    QByteArray mailFrom = "MAIL FROM:<" + FEnvelope.From.Address.toLatin1() + '>';
    if (FCaps.EightBitMime)
        mailFrom += " BODY=8BITMIME";
    if (FCaps.Size)
        mailFrom += " SIZE=" + QByteArray::number(message.Size());
    Expect(mailFrom, 2);

    int accepted = 0;
    for (const QString &recipient : FEnvelope.Recipients()) {
        Command("RCPT TO:<" + recipient.toLatin1() + '>');
        if (ReadReply().Class() == 2) {
            ++accepted;
            continue;
        }
        FLog.Error(SafeFormat(Tr("Recipient refused: %s"), recipient));
        FMailer.AddError(seFailedRecipient, recipient);
        if (!FMailer.fContinueOnFailedRecipient) {
            Quit();
            return;
        }
    }
    // Every recipient refused: the refusals are the errors; there is nothing to send.
    if (accepted == 0) {
        Quit();
        return;
    }

    Expect("DATA", 3);
    SendMessage(message);
    const TReply reply = ReadReply();
    if (reply.Class() != 2)
        throw ESmtpError(reply.Text());
    Quit();
}

void TSmtpSession::Connect()
{
    const QString host = FMailer.fHost.trimmed();
    if (host.isEmpty())
        throw ESmtpError(Tr("No SMTP server is set."));
    if (FMailer.fPort < 1 || FMailer.fPort > 65535)
        throw ESmtpError(SafeFormat(Tr("Invalid port number: %d"), FMailer.fPort));

    const bool implicitTls = FMailer.fUseTLS == stImplicit;
    if (implicitTls) {
        FSocket.setSslConfiguration(TlsConfiguration());
        FSocket.connectToHostEncrypted(host, quint16(FMailer.fPort));
    } else {
        FSocket.connectToHost(host, quint16(FMailer.fPort));
    }
    WaitUntil([this] { return FSocket.state() == QAbstractSocket::ConnectedState; },
              QDeadlineTimer(FMailer.fConnectTimeout),
              SafeFormat(Tr("The connection to %s timed out."), ServerName()));
    FConnected = true;
    FLog.Line(u"*", SafeFormat(Tr("Connected to %s"), ServerName()));
    if (FMailer.fOnConnected)
        FMailer.fOnConnected();
    if (implicitTls) {
        WaitUntil([this] { return FSocket.isEncrypted(); }, QDeadlineTimer(FMailer.fReadTimeout),
                  ReadTimeoutText());
        FLog.Line(u"*", SafeFormat(Tr("TLS started: %s"), FSocket.sessionCipher().protocolString()));
    }
}

void TSmtpSession::Hello()
{
    FCaps = TCapabilities();
    const QByteArray name = HeloText(FMailer.fHeloName);
    Command("EHLO " + name);
    const TReply reply = ReadReply();
    if (reply.Class() != 2) {
        // An old server: no extensions, so neither STARTTLS nor AUTH nor 8-bit data.
        Expect("HELO " + name, 2);
        return;
    }
    for (qsizetype i = 1; i < reply.Lines.size(); ++i) {
        const QStringList words =
            QString::fromLatin1(reply.Lines.at(i)).simplified().toUpper().split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const QString &keyword = words.first();
        if (keyword == QLatin1String("STARTTLS"))
            FCaps.StartTls = true;
        else if (keyword == QLatin1String("8BITMIME"))
            FCaps.EightBitMime = true;
        else if (keyword == QLatin1String("SIZE"))
            FCaps.Size = true;
        else if (keyword == QLatin1String("AUTH"))
            FCaps.Auth += words.mid(1);
        else if (keyword.startsWith(QLatin1String("AUTH="))) // the form of old servers
            FCaps.Auth += QStringList(keyword.mid(5)) + words.mid(1);
    }
}

void TSmtpSession::StartTls()
{
    Expect("STARTTLS", 2);
    // Nothing the server sent before the handshake may count as said after it.
    FInput.clear();
    FSocket.readAll();
    FSocket.setSslConfiguration(TlsConfiguration());
    FSocket.startClientEncryption();
    WaitUntil([this] { return FSocket.isEncrypted(); }, QDeadlineTimer(FMailer.fReadTimeout),
              ReadTimeoutText());
    FLog.Line(u"*", SafeFormat(Tr("TLS started: %s"), FSocket.sessionCipher().protocolString()));
}

void TSmtpSession::Authenticate()
{
    // Strongest first; a mechanism that fails is followed by the next on the same
    // connection.
    static const QStringList preference = {QStringLiteral("CRAM-SHA1"), QStringLiteral("CRAM-MD5"),
                                           QStringLiteral("PLAIN"), QStringLiteral("LOGIN")};
    bool offered = false;
    for (const QString &mechanism : preference) {
        if (!FCaps.Auth.contains(mechanism))
            continue;
        offered = true;
        if (TryMechanism(mechanism))
            return;
    }
    if (!offered)
        throw ESmtpError(
            Tr("The server offers none of the login methods CRAM-SHA1, CRAM-MD5, PLAIN and LOGIN."));
    throw ESmtpError(Tr("Authentication Failed"));
}

bool TSmtpSession::TryMechanism(const QString &AMechanism)
{
    const QByteArray user = FMailer.fUserId.toUtf8();
    const QByteArray password = FMailer.fPassword.toUtf8();
    const QString hidden = QStringLiteral("***");

    if (AMechanism == QLatin1String("PLAIN")) {
        Command("AUTH PLAIN " + QByteArray('\0' + user + '\0' + password).toBase64(),
                QStringLiteral("AUTH PLAIN ***"));
        const TReply reply = ReadReply();
        if (reply.Code == 334)
            return CancelExchange();
        return reply.Class() == 2;
    }

    Command("AUTH " + AMechanism.toLatin1());
    TReply reply = ReadReply();
    if (reply.Code != 334)
        return false;
    if (AMechanism == QLatin1String("LOGIN")) {
        Command(user.toBase64(), hidden);
        reply = ReadReply();
        if (reply.Code != 334)
            return false;
        Command(password.toBase64(), hidden);
    } else {
        const auto challenge = QByteArray::fromBase64Encoding(reply.Lines.value(0).trimmed(),
                                                              QByteArray::AbortOnBase64DecodingErrors);
        if (!challenge)
            return CancelExchange();
        const auto algorithm =
            AMechanism == QLatin1String("CRAM-SHA1") ? QCryptographicHash::Sha1 : QCryptographicHash::Md5;
        const QByteArray digest = QMessageAuthenticationCode::hash(*challenge, password, algorithm).toHex();
        Command(QByteArray(user + ' ' + digest).toBase64(), hidden);
    }
    reply = ReadReply();
    if (reply.Code == 334)
        return CancelExchange();
    return reply.Class() == 2;
}

// Ends an authentication exchange the mailer cannot follow (RFC 4954: "*").
bool TSmtpSession::CancelExchange()
{
    Command("*");
    ReadReply();
    return false;
}

void TSmtpSession::SendMessage(const TMessageText &AMessage)
{
    const int64_t size = AMessage.Size();
    FWorkMode = wmWrite;
    FWorkCount = 0;
    if (FMailer.FOnBeginSend)
        FMailer.FOnBeginSend(wmWrite, size, size);
    auto endWork = [this] {
        FWorkMode = wmRead;
        if (FMailer.FOnEndSend)
            FMailer.FOnEndSend(wmWrite);
    };
    FLog.Line(u"C:", SafeFormat(Tr("(message of %d bytes)"), size));

    try {
        bool atLineStart = true;
        QByteArray chunk;
        for (const QByteArray &piece : AMessage.Pieces) {
            for (qsizetype offset = 0; offset < piece.size(); offset += kDataChunk) {
                const QByteArrayView part =
                    QByteArrayView(piece).sliced(offset, std::min(kDataChunk, piece.size() - offset));
                chunk.clear();
                AppendDotStuffed(chunk, part, atLineStart);
                WaitUntil([this] { return PendingWrite() < kMaxPendingWrite; },
                          QDeadlineTimer(FMailer.fReadTimeout), ReadTimeoutText());
                FSocket.write(chunk);
                FWorkCount += part.size();
            }
        }
        // The final dot must stand on a line of its own.
        FSocket.write(atLineStart ? ".\r\n" : "\r\n.\r\n");
    } catch (...) {
        endWork();
        throw;
    }
    endWork();
}

void TSmtpSession::Quit()
{
    try {
        Command("QUIT");
        ReadReply(std::min(FMailer.fReadTimeout, kQuitTimeoutMs));
    } catch (const ESmtpError &) {
        // The mail is through or has failed already; a lost goodbye changes neither.
    }
}

void TSmtpSession::Close()
{
    if (!FConnected)
        return;
    FConnected = false;
    FSocket.abort();
    FLog.Line(u"*", Tr("Disconnected"));
    if (FMailer.fOnDisconnected)
        FMailer.fOnDisconnected();
}

void TSmtpSession::Command(const QByteArray &ALine, const QString &ALogText)
{
    FLog.Line(u"C:", ALogText.isNull() ? QString::fromLatin1(ALine) : ALogText);
    FSocket.write(ALine + kCrLf);
}

TSmtpSession::TReply TSmtpSession::Expect(const QByteArray &ALine, int AClass, const QString &ALogText)
{
    Command(ALine, ALogText);
    TReply reply = ReadReply();
    if (reply.Class() != AClass)
        throw ESmtpError(reply.Text());
    return reply;
}

TSmtpSession::TReply TSmtpSession::ReadReply(int ATimeoutMs)
{
    const QDeadlineTimer deadline(ATimeoutMs);
    TReply reply;
    for (;;) {
        std::optional<QByteArray> line;
        WaitUntil(
            [&] {
                line = TakeLine();
                return line.has_value();
            },
            deadline, ReadTimeoutText());
        FLog.Line(u"S:", Printable(*line));
        const bool valid = line->size() >= 3 && (*line)[0] >= '2' && (*line)[0] <= '5' &&
                           std::isdigit(static_cast<unsigned char>((*line)[1])) &&
                           std::isdigit(static_cast<unsigned char>((*line)[2])) &&
                           (line->size() == 3 || (*line)[3] == ' ' || (*line)[3] == '-');
        const int code = valid ? line->left(3).toInt() : 0;
        if (!valid || (!reply.Lines.isEmpty() && code != reply.Code) || reply.Lines.size() >= kMaxReplyLines)
            throw ESmtpError(SafeFormat(Tr("The server sent an invalid reply: %s"), Printable(*line)));
        reply.Code = code;
        reply.Lines.append(line->mid(4));
        if (line->size() == 3 || (*line)[3] == ' ')
            return reply;
    }
}

std::optional<QByteArray> TSmtpSession::TakeLine()
{
    const qsizetype end = FInput.indexOf('\n');
    if (end > kMaxReplyLine || (end < 0 && FInput.size() > kMaxReplyLine))
        throw ESmtpError(
            SafeFormat(Tr("The server sent a reply line longer than %d bytes."), int(kMaxReplyLine)));
    if (end < 0)
        return std::nullopt;
    QByteArray line = FInput.left(end);
    FInput.remove(0, end + 1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

void TSmtpSession::Pump()
{
    // Read no more than a reply line can hold: a flood stays in the socket's bounded buffer.
    while (FSocket.bytesAvailable() > 0 && FInput.size() <= kMaxReplyLine)
        FInput += FSocket.read(kMaxReplyLine + 2 - FInput.size());
}

void TSmtpSession::WaitUntil(const std::function<bool()> &ACondition, const QDeadlineTimer &ADeadline,
                             const QString &ATimeoutText)
{
    for (;;) {
        Pump();
        if (ACondition())
            return;
        if (FFailure)
            throw ESmtpError(*FFailure);
        if (FConnected && FSocket.state() == QAbstractSocket::UnconnectedState)
            throw ESmtpError(Tr("The server closed the connection."));
        if (ADeadline.hasExpired())
            throw ESmtpError(ATimeoutText);
        FTick.start(int(std::clamp<qint64>(ADeadline.remainingTime(), 1, kSliceMs)));
        // With OnSending assigned its handler decides about the window; otherwise the
        // local loop serves the user too.
        FLoop.exec(FMailer.FOnSending ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
        if (FMailer.FOnSending)
            FMailer.FOnSending(FWorkMode, FWorkCount);
    }
}

void TSmtpSession::OnSocketError(QAbstractSocket::SocketError AError)
{
    if (FFailure)
        return;
    switch (AError) {
    case QAbstractSocket::RemoteHostClosedError:
        FFailure = Tr("The server closed the connection.");
        break;
    case QAbstractSocket::SslHandshakeFailedError: {
        QStringList details;
        for (const QSslError &error : FSocket.sslHandshakeErrors())
            details.append(error.errorString());
        if (details.isEmpty())
            details.append(FSocket.errorString());
        FFailure = SafeFormat(Tr("The TLS handshake with %s failed: %s"), ServerName(),
                              details.join(QStringLiteral("; ")));
        break;
    }
    default:
        FFailure = FConnected
                       ? FSocket.errorString()
                       : SafeFormat(Tr("Could not connect to %s: %s"), ServerName(), FSocket.errorString());
        break;
    }
}

QSslConfiguration TSmtpSession::TlsConfiguration()
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    // TLS 1.0 and 1.1 are broken.
    config.setProtocol(QSsl::TlsV1_2OrLater);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);

    // The default configuration trusts the system's roots; the root file adds to them.
    const QString rootFile = FMailer.TlsFile(FMailer.fRootFile);
    if (!rootFile.isEmpty() && QFileInfo(rootFile).isFile()) {
        QFile file(rootFile);
        const QList<QSslCertificate> extra = file.open(QIODevice::ReadOnly)
                                                 ? QSslCertificate::fromData(file.readAll(), QSsl::Pem)
                                                 : QList<QSslCertificate>();
        if (extra.isEmpty())
            FLog.Error(SafeFormat(Tr("No certificate could be read from %s."), rootFile));
        else
            config.setCaCertificates(SystemRoots() + extra);
    }

    const QString certFile = FMailer.TlsFile(FMailer.fCertFile);
    const QString keyFile = FMailer.TlsFile(FMailer.fKeyFile);
    if (!certFile.isEmpty() && !keyFile.isEmpty() && QFileInfo(certFile).isFile() &&
        QFileInfo(keyFile).isFile()) {
        QByteArray passPhrase = FMailer.fCertPwd;
        if (FMailer.fGetSSLPassword)
            FMailer.fGetSSLPassword(passPhrase);
        QSslCertificate certificate;
        QSslKey key;
        if (LoadClientCertificate(certFile, keyFile, passPhrase, certificate, key)) {
            config.setLocalCertificate(certificate);
            config.setPrivateKey(key);
        } else {
            FLog.Error(SafeFormat(Tr("The client certificate %s cannot be used with its key %s."), certFile,
                                  keyFile));
        }
    }
    return config;
}

QString TSmtpSession::ServerName() const
{
    return FMailer.fHost.trimmed() + u':' + QString::number(FMailer.fPort);
}

QString TSmtpSession::ReadTimeoutText() const
{
    return SafeFormat(Tr("The server did not answer within %d seconds."),
                      (FMailer.fReadTimeout + 999) / 1000);
}

// ---- Mailer -------------------------------------------------------------------------

TSmtpMailer::TSmtpMailer(QObject *AOwner)
    : TSmtpMailer(AOwner, QString(), QString(), QString(), QString(), QByteArray())
{
}

TSmtpMailer::TSmtpMailer(QObject *AOwner, const QString &APath, const QString &ARoot, const QString &ACert,
                         const QString &AKey, const QByteArray &APwd)
    : QObject(AOwner), fAbout(QStringLiteral("AkStarter SMTP mailer 1.0")), fTlsPath(APath), fRootFile(ARoot),
      fCertFile(ACert), fKeyFile(AKey), fCertPwd(APwd), fHeloName(QStringLiteral("Test")),
      fTLSAvail(QSslSocket::supportsSsl()), fAttachments(this),
      fLogname(QDir(QDir::tempPath()).filePath(QStringLiteral("SmtpLog.txt")))
{
}

TSmtpMailer::~TSmtpMailer() = default;

void TSmtpMailer::ClearBody()
{
    fBody.clear();
}

void TSmtpMailer::AddToBody(const QString &AText)
{
    QString text = AText;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    fBody += text.split(u'\n');
}

void TSmtpMailer::ClearExtraHeaders()
{
    fExtraHeaders.clear();
}

void TSmtpMailer::AddExtraHeader(const QString &AId, const QString &AContents)
{
    const QString name = AId.trimmed();
    if (!IsValidHeaderName(name))
        return;
    for (auto &header : fExtraHeaders) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0) {
            header.second = AContents;
            return;
        }
    }
    fExtraHeaders.append({name, AContents});
}

void TSmtpMailer::AddError(TSendErrorType AType, const QString &AMessage)
{
    fErrorList.append({AType, AMessage});
}

QString TSmtpMailer::TlsFile(const QString &AName) const
{
    if (AName.isEmpty())
        return {};
    return ExpandPath(fTlsPath.isEmpty() ? ProgramEnv().IniDir : fTlsPath, AName);
}

bool TSmtpMailer::Send()
{
    // A second send from an event handler while one runs would share the error list.
    if (fSending)
        return false;
    fSending = true;
    const auto sending = qScopeGuard([this] { fSending = false; });
    fErrorList.clear();

    TProtocolLog log;
    if (fWriteLogFile)
        log.Open(fLogname);
    auto fail = [&](TSendErrorType AType, const QString &AText) {
        log.Error(AText);
        AddError(AType, AText);
        return false;
    };

    const bool secure = fUseTLS == stExplicit || fUseTLS == stRequired || fUseTLS == stImplicit;
    if (secure && !fTLSAvail)
        return fail(seNoSecure, Tr("Error creating SSL session."));

    try {
        const std::optional<TEnvelope> envelope = MakeEnvelope(*this, [&](const QString &AAddress) {
            fail(seFailedRecipient, AAddress);
            return fContinueOnFailedRecipient;
        });
        if (!envelope)
            return false;
        if (!IsValidMailAddress(envelope->From.Address))
            return fail(seSmtp, envelope->From.Address.isEmpty()
                                    ? Tr("No sender address is set.")
                                    : SafeFormat(Tr("Invalid sender address: %s"),
                                                 RemoveLineBreaks(envelope->From.Address)));
        if (envelope->Recipients().isEmpty())
            return fErrorList.isEmpty() ? fail(seSmtp, Tr("No recipient is set.")) : false;

        QList<TAttachmentFile> files;
        if (const std::optional<QString> error = ReadAttachments(fAttachments.AttachedFiles(), files))
            return fail(seUnknown, *error);

        TSmtpSession session(*this, log, *envelope, files);
        session.Run();
    } catch (const ESmtpError &error) {
        fail(seSmtp, error.Message());
    } catch (const std::exception &) {
        fail(seUnknown, UnknownErrorText());
    }
    return fErrorList.isEmpty();
}

bool TSmtpMailer::SaveToFile(const QString &AFilename)
{
    try {
        const std::optional<TEnvelope> envelope = MakeEnvelope(*this, [](const QString &) { return true; });
        QList<TAttachmentFile> files;
        if (!envelope || ReadAttachments(fAttachments.AttachedFiles(), files))
            return false;
        const TMessageText message = ComposeMessage(*this, *envelope, files, true);
        QSaveFile file(AFilename);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        for (const QByteArray &piece : message.Pieces)
            file.write(piece);
        return file.commit();
    } catch (const std::exception &) {
        return false;
    }
}

bool LoadClientCertificate(const QString &ACertFile, const QString &AKeyFile, const QByteArray &APassPhrase,
                           QSslCertificate &ACert, QSslKey &AKey)
{
    QFile certFile(ACertFile);
    QFile keyFile(AKeyFile);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly))
        return false;
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray pem = keyFile.readAll();
    // Without a pass phrase OpenSSL would ask for one on the terminal.
    if (certificates.isEmpty() || (APassPhrase.isEmpty() && pem.contains("ENCRYPTED")))
        return false;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        const QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey, APassPhrase);
        if (!key.isNull()) {
            ACert = certificates.first();
            AKey = key;
            return true;
        }
    }
    return false;
}
