#include "mail/Mime.h"

#include <QStringList>

namespace {

constexpr char kCrLf[] = "\r\n";
// Lines of a header are kept to this length where the content allows (RFC 5322 2.1.1).
constexpr int kHeaderLineLength = 78;
// UTF-8 bytes per encoded word: 42 bytes give 56 base64 characters, so that a word with
// its "=?utf-8?B?" and "?=" fits a folded line.
constexpr int kEncodedWordBytes = 42;
// Longest display name or parameter value that is written as it is.
constexpr int kPlainValueLength = 60;
// Encoded characters per line of an RFC 2231 continuation.
constexpr int kParameterSegment = 60;
// Quoted-printable output lines, soft line break included (RFC 2045 6.7).
constexpr int kQpLineLength = 76;

bool IsPrintableAscii(const QString &AText)
{
    for (QChar c : AText)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

// The text as RFC 2047 encoded words, each within one line, separated by ASeparator.
QByteArray EncodedWords(const QString &AText, QByteArrayView ASeparator)
{
    QByteArray result;
    QByteArray chunk;
    auto flush = [&] {
        if (!result.isEmpty())
            result += ASeparator;
        result += "=?utf-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < AText.size();) {
        // Whole code points only: a word must decode on its own.
        const qsizetype length = AText.at(i).isHighSurrogate() && i + 1 < AText.size() ? 2 : 1;
        const QByteArray bytes = AText.mid(i, length).toUtf8();
        if (chunk.size() + bytes.size() > kEncodedWordBytes)
            flush();
        chunk += bytes;
        i += length;
    }
    if (!chunk.isEmpty())
        flush();
    return result;
}

// A display name as a phrase: atoms as they are, a quoted string when it holds special
// characters, encoded words when it is not short printable ASCII.
QByteArray Phrase(const QString &AName)
{
    if (!IsPrintableAscii(AName) || AName.size() > kPlainValueLength || AName.contains(QLatin1String("=?")))
        return EncodedWords(AName, "\r\n ");
    static const QString specials = QStringLiteral("()<>[]:;@\\,.\"");
    bool quote = AName.startsWith(u' ') || AName.endsWith(u' ') || AName.contains(QLatin1String("  "));
    for (QChar c : AName)
        quote = quote || specials.contains(c);
    if (!quote)
        return AName.toLatin1();
    QByteArray result = "\"";
    for (QChar c : AName) {
        if (c == u'"' || c == u'\\')
            result += '\\';
        result += char(c.unicode());
    }
    return result + '"';
}

QByteArray Mailbox(const TMailAddress &AAddress)
{
    const QByteArray address = AAddress.Address.toLatin1();
    const QString name = AAddress.Name.trimmed();
    if (name.isEmpty())
        return address;
    return Phrase(name) + " <" + address + '>';
}

// RFC 2231 attribute-char: what an extended parameter value keeps unencoded.
bool IsAttributeChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArrayView("!#$&+-.^_`|~").contains(c);
}

void AppendHex(QByteArray &AOut, char APrefix, unsigned char AByte)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    AOut += APrefix;
    AOut += digits[AByte >> 4];
    AOut += digits[AByte & 0x0f];
}

// Removes the quotes of a quoted string and its backslash escapes.
QString Unquote(const QString &AText)
{
    if (AText.size() < 2 || !AText.startsWith(u'"') || !AText.endsWith(u'"'))
        return AText;
    QString result;
    for (qsizetype i = 1; i < AText.size() - 1; ++i) {
        if (AText.at(i) == u'\\' && i + 1 < AText.size() - 1)
            ++i;
        result += AText.at(i);
    }
    return result;
}

} // namespace

QList<TMailAddress> ParseAddressList(const QString &AText)
{
    QList<TMailAddress> result;
    QString item;
    bool quoted = false;
    bool angle = false;
    auto takeItem = [&] {
        const TMailAddress address = ParseAddress(item);
        if (!address.Address.isEmpty() || !address.Name.isEmpty())
            result.append(address);
        item.clear();
    };
    for (qsizetype i = 0; i < AText.size(); ++i) {
        const QChar c = AText.at(i);
        if (quoted && c == u'\\' && i + 1 < AText.size()) {
            item += c;
            item += AText.at(++i);
            continue;
        }
        if (c == u'"' && !angle)
            quoted = !quoted;
        else if (c == u'<' && !quoted)
            angle = true;
        else if (c == u'>' && !quoted)
            angle = false;
        else if (c == u',' && !quoted && !angle) {
            takeItem();
            continue;
        }
        item += c;
    }
    takeItem();
    return result;
}

TMailAddress ParseAddress(const QString &AText)
{
    TMailAddress result;
    const QString text = AText.trimmed();
    // The last "<" outside quotes opens the address of "Name <address>".
    qsizetype open = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (quoted && text.at(i) == u'\\') {
            ++i;
            continue;
        }
        if (text.at(i) == u'"')
            quoted = !quoted;
        else if (text.at(i) == u'<' && !quoted)
            open = i;
    }
    if (open >= 0) {
        const qsizetype close = text.indexOf(u'>', open);
        result.Address = text.mid(open + 1, close < 0 ? -1 : close - open - 1).trimmed();
        result.Name = Unquote(text.left(open).trimmed());
    } else {
        // "address (comment)": the comment serves as the name.
        const qsizetype comment = text.indexOf(u'(');
        if (comment > 0 && text.endsWith(u')')) {
            result.Address = text.left(comment).trimmed();
            result.Name = text.mid(comment + 1, text.size() - comment - 2).trimmed();
        } else {
            result.Address = text;
        }
    }
    result.Name = RemoveLineBreaks(result.Name).trimmed();
    return result;
}

bool IsValidMailAddress(const QString &AAddress)
{
    const qsizetype at = AAddress.lastIndexOf(u'@');
    if (at <= 0 || at == AAddress.size() - 1 || AAddress.size() > 998)
        return false;
    for (QChar c : AAddress) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u > 0x7e || u == u'<' || u == u'>' || u == u',' || u == u';')
            return false;
    }
    return true;
}

QString RemoveLineBreaks(const QString &AText)
{
    QString result = AText;
    for (QChar &c : result)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    return result;
}

bool IsValidHeaderName(const QString &AName)
{
    if (AName.isEmpty())
        return false;
    for (QChar c : AName)
        if (c.unicode() <= 0x20 || c.unicode() > 0x7e || c == u':')
            return false;
    return true;
}

QByteArray UnstructuredHeader(const QString &AName, const QString &AValue)
{
    const QString value = RemoveLineBreaks(AValue);
    QByteArray result = AName.toLatin1() + ": ";
    const QStringList words = value.split(u' ');
    bool plain = IsPrintableAscii(value) && !value.contains(QLatin1String("=?"));
    for (const QString &word : words)
        plain = plain && word.size() <= kHeaderLineLength - 2;
    if (!plain)
        return result + EncodedWords(value, "\r\n ") + kCrLf;

    qsizetype lineLength = result.size();
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QByteArray word = words.at(i).toLatin1();
        if (i > 0) {
            // Fold in front of a word that would run past the line; the folding line
            // break stands in for the blank.
            if (!word.isEmpty() && lineLength + 1 + word.size() > kHeaderLineLength) {
                result += "\r\n ";
                lineLength = 1;
            } else {
                result += ' ';
                ++lineLength;
            }
        }
        result += word;
        lineLength += word.size();
    }
    return result + kCrLf;
}

QByteArray AddressHeader(const QString &AName, const QList<TMailAddress> &AAddresses)
{
    QByteArray result = AName.toLatin1() + ": ";
    for (qsizetype i = 0; i < AAddresses.size(); ++i) {
        if (i > 0)
            result += ",\r\n ";
        result += Mailbox(AAddresses.at(i));
    }
    return result + kCrLf;
}

QByteArray MimeParameter(const QString &AName, const QString &AValue)
{
    const QByteArray name = AName.toLatin1();
    if (IsPrintableAscii(AValue) && AValue.size() <= kPlainValueLength && !AValue.contains(u'"') &&
        !AValue.contains(u'\\'))
        return ";\r\n " + name + "=\"" + AValue.toLatin1() + '"';

    QList<QByteArray> segments{QByteArray()};
    for (const char c : AValue.toUtf8()) {
        QByteArray encoded;
        if (IsAttributeChar(c))
            encoded += c;
        else
            AppendHex(encoded, '%', static_cast<unsigned char>(c));
        if (segments.last().size() + encoded.size() > kParameterSegment)
            segments.append(QByteArray());
        segments.last() += encoded;
    }
    if (segments.size() == 1)
        return ";\r\n " + name + "*=utf-8''" + segments.first();
    QByteArray result;
    for (qsizetype i = 0; i < segments.size(); ++i)
        result +=
            ";\r\n " + name + '*' + QByteArray::number(i) + "*=" + (i == 0 ? "utf-8''" : "") + segments.at(i);
    return result;
}

QByteArray NormalizeLineEnds(QByteArrayView AText)
{
    QByteArray result;
    result.reserve(AText.size() + AText.size() / 32 + 2);
    for (qsizetype i = 0; i < AText.size(); ++i) {
        const char c = AText.at(i);
        if (c == '\r') {
            result += kCrLf;
            if (i + 1 < AText.size() && AText.at(i + 1) == '\n')
                ++i;
        } else if (c == '\n') {
            result += kCrLf;
        } else {
            result += c;
        }
    }
    return result;
}

qsizetype LongestLine(QByteArrayView AText)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    while (start <= AText.size()) {
        qsizetype end = AText.indexOf('\n', start);
        if (end < 0)
            end = AText.size();
        qsizetype length = end - start;
        if (length > 0 && end < AText.size() && AText.at(end - 1) == '\r')
            --length;
        longest = std::max(longest, length);
        start = end + 1;
    }
    return longest;
}

QByteArray QuotedPrintableEncode(QByteArrayView AText)
{
    QByteArray result;
    result.reserve(AText.size() + AText.size() / 8 + 2);
    qsizetype start = 0;
    while (start < AText.size()) {
        qsizetype end = AText.indexOf(kCrLf, start);
        const bool hardBreak = end >= 0;
        if (!hardBreak)
            end = AText.size();
        int column = 0;
        for (qsizetype i = start; i < end; ++i) {
            const auto c = static_cast<unsigned char>(AText.at(i));
            const bool lastOfLine = i + 1 == end;
            QByteArray encoded;
            if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lastOfLine))
                encoded += char(c);
            else
                AppendHex(encoded, '=', c);
            // Room for the soft break "=" unless this is the last character of the line.
            const int limit = lastOfLine ? kQpLineLength : kQpLineLength - 1;
            if (column + encoded.size() > limit) {
                result += "=\r\n";
                column = 0;
            }
            result += encoded;
            column += int(encoded.size());
        }
        // A last line without a line end gets a soft break, so that decoding adds none.
        result += hardBreak ? "\r\n" : "=\r\n";
        start = end + (hardBreak ? 2 : 0);
    }
    return result;
}

QByteArray Base64Lines(QByteArrayView AData)
{
    // 57 input bytes make one line of 76 characters; encode many lines at a time.
    constexpr qsizetype lineBytes = 57;
    constexpr qsizetype blockBytes = lineBytes * 1024;
    QByteArray result;
    result.reserve((AData.size() + 2) / 3 * 4 + (AData.size() / lineBytes + 1) * 2);
    for (qsizetype block = 0; block < AData.size(); block += blockBytes) {
        const QByteArray encoded =
            QByteArray::fromRawData(AData.data() + block, std::min(blockBytes, AData.size() - block))
                .toBase64();
        for (qsizetype line = 0; line < encoded.size(); line += 76) {
            result += QByteArrayView(encoded).sliced(line, std::min<qsizetype>(76, encoded.size() - line));
            result += kCrLf;
        }
    }
    return result;
}

void AppendDotStuffed(QByteArray &AOut, QByteArrayView AData, bool &AAtLineStart)
{
    qsizetype start = 0;
    while (start < AData.size()) {
        if (AAtLineStart && AData.at(start) == '.')
            AOut += '.';
        const qsizetype end = AData.indexOf('\n', start);
        if (end < 0) {
            AOut += AData.sliced(start);
            AAtLineStart = false;
            return;
        }
        AOut += AData.sliced(start, end - start + 1);
        AAtLineStart = true;
        start = end + 1;
    }
}
