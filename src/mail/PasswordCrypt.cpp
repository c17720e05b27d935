#include "mail/PasswordCrypt.h"

#include "mail/Encryption.h"
#include "util/AnsiCodec.h"

#include <QBuffer>

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>

namespace {

// The program's pass phrase, scrambled (see MakePassPhrase). Texts stored with another
// key text or mask cannot be read back: never change them.
constexpr char16_t ProgramKeyText[] = u"EE85C7D0E1828470A7A0889510B7C9BF08D1C1EB2AF69259";
constexpr uint8_t ProgramKeyMask = 0xF5;

// The record's length field holds at most 13 bits.
constexpr int MaxRecordPasswordLen = 8191;
constexpr int CryptBufSize = 4096;

void Wipe(QByteArray &bytes)
{
    if (!bytes.isEmpty())
        OPENSSL_cleanse(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

int HexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

// The five base-85 digits of a group, most significant first.
void Ascii85Digits(uint32_t value, char *digits)
{
    for (int i = 4; i >= 0; --i) {
        digits[i] = char(value % 85 + 33);
        value /= 85;
    }
}

} // namespace

QString Ascii85Encode(QByteArrayView bytes)
{
    QString out;
    out.reserve((bytes.size() + 3) / 4 * 5);
    for (qsizetype i = 0; i < bytes.size(); i += 4) {
        const qsizetype n = std::min<qsizetype>(4, bytes.size() - i);
        uint32_t value = 0;
        for (qsizetype j = 0; j < 4; ++j)
            value = value << 8 | (j < n ? uint8_t(bytes[i + j]) : 0u);
        if (n == 4 && value == 0) {
            out += u'z';
            continue;
        }
        char digits[5];
        Ascii85Digits(value, digits);
        // A last group of n bytes is written as its first n + 1 digits.
        out += QLatin1String(digits, n + 1);
    }
    return out;
}

std::optional<QByteArray> Ascii85Decode(QStringView text)
{
    QByteArray out;
    out.reserve(text.size() / 5 * 4 + 4);
    char group[5];
    int count = 0;
    uint64_t value = 0;
    auto appendBytes = [&](int n) {
        for (int i = 0; i < n; ++i)
            out += char(value >> (24 - 8 * i));
    };
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == u'z') {
            if (count != 0)
                return std::nullopt;
            out.append(4, '\0');
            continue;
        }
        if (c < u'!' || c > u'u')
            return std::nullopt;
        group[count++] = char(c);
        value = value * 85 + (c - u'!');
        if (count == 5) {
            if (value > 0xFFFFFFFFu)
                return std::nullopt;
            appendBytes(4);
            value = 0;
            count = 0;
        }
    }
    if (count == 1)
        return std::nullopt;
    if (count > 1) {
        for (int i = count; i < 5; ++i)
            value = value * 85 + 84;
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
        // Several texts decode to the same last bytes; accept only the one the encoder
        // writes, so that any changed character is noticed.
        char digits[5];
        Ascii85Digits(uint32_t(value) & (0xFFFFFFFFu << (8 * (5 - count))), digits);
        if (!std::equal(group, group + count, digits))
            return std::nullopt;
        appendBytes(count - 1);
    }
    return out;
}

QString HexEncode(QByteArrayView bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(bytes.size() * 2);
    for (const char b : bytes) {
        out += QLatin1Char(digits[uint8_t(b) >> 4]);
        out += QLatin1Char(digits[uint8_t(b) & 15]);
    }
    return out;
}

std::optional<QByteArray> HexDecode(QStringView text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    QByteArray out;
    out.reserve(text.size() / 2);
    for (qsizetype i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i].unicode());
        const int low = HexDigit(text[i + 1].unicode());
        if (high < 0 || low < 0)
            return std::nullopt;
        out += char(high << 4 | low);
    }
    return out;
}

QString EncryptPassword(const QByteArray &passPhrase, const QByteArray &password, int maxLen, bool hex)
{
    if (password.isEmpty())
        return {};
    maxLen = std::clamp(maxLen, 0, MaxRecordPasswordLen);
    const int len = int(std::min<qsizetype>(password.size(), maxLen));

    QByteArray record;
    record.reserve(std::max(maxLen, len + 2));
    if (len < 223) {
        record += char(len + 33);
    } else {
        record += char((len >> 8) & 31);
        record += char(len & 255);
    }
    record.append(password.constData(), len);
    // Random characters hide the password's length.
    const int padLen = maxLen - len - 1;
    if (padLen > 0) {
        QByteArray padding(padLen, '\0');
        if (RAND_bytes(reinterpret_cast<unsigned char *>(padding.data()), padLen) != 1) {
            Wipe(record);
            return {};
        }
        for (char &c : padding)
            c = char(33 + (uint8_t(c) & 63));
        record += padding;
    }

    QString text;
    if (passPhrase.isEmpty()) {
        text = hex ? HexEncode(record) : Ascii85Encode(record);
    } else {
        QBuffer source(&record);
        QBuffer dest;
        source.open(QIODevice::ReadOnly);
        dest.open(QIODevice::WriteOnly);
        TEncryption encryption(passPhrase, 0, CryptBufSize);
        if (encryption.EncryptStream(&source, &dest))
            text = hex ? HexEncode(dest.data()) : Ascii85Encode(dest.data());
    }
    Wipe(record);
    return text;
}

QByteArray DecryptPassword(const QByteArray &passPhrase, QStringView text, bool hex)
{
    if (text.isEmpty())
        return {};
    std::optional<QByteArray> stored = hex ? HexDecode(text) : Ascii85Decode(text);
    if (!stored)
        return {};

    QByteArray record;
    if (passPhrase.isEmpty()) {
        record = std::move(*stored);
    } else {
        QBuffer source(&*stored);
        QBuffer dest;
        source.open(QIODevice::ReadOnly);
        dest.open(QIODevice::WriteOnly);
        TEncryption encryption(passPhrase, 0, CryptBufSize);
        const bool ok = encryption.DecryptStream(&source, &dest, stored->size());
        record = dest.data();
        dest.close();
        dest.setData(QByteArray());
        if (!ok)
            Wipe(record);
    }

    QByteArray password;
    if (!record.isEmpty()) {
        const auto first = uint8_t(record[0]);
        qsizetype start = 1;
        qsizetype len = first - 33;
        if (first <= 32) {
            start = 2;
            len = record.size() >= 2 ? first * 256 + uint8_t(record[1]) : -1;
        }
        if (len >= 0 && start + len <= record.size())
            password = record.mid(start, len);
    }
    Wipe(record);
    return password;
}

QByteArray MakePassPhrase(QStringView keyText, uint8_t mask)
{
    constexpr int byteCount = 24;
    if (keyText.size() != 2 * byteCount)
        return {};
    uint8_t bytes[byteCount];
    for (int i = 0; i < byteCount; ++i) {
        const int high = HexDigit(keyText[2 * i].unicode());
        const int low = HexDigit(keyText[2 * i + 1].unicode());
        if (high < 0 || low < 0)
            return {};
        bytes[i] = uint8_t(high << 4 | low) ^ mask;
    }
    auto derived = [&bytes](int k) -> uint8_t {
        const uint8_t a = bytes[2 * k];
        const uint8_t b = bytes[2 * k + 1];
        return k % 2 == 0 ? uint8_t((b & 15) << 4 | (a & 15)) : uint8_t((a & 0xF0) | b >> 4);
    };
    const int n = derived(0);
    if (n < 1 || n > byteCount / 2 - 1)
        return {};
    QByteArray phrase;
    for (int k = 1; k <= n; ++k)
        phrase += char(derived(k));
    return phrase;
}

QByteArray ProgramPassPhrase()
{
    return MakePassPhrase(ProgramKeyText, ProgramKeyMask);
}

QByteArray PasswordToBytes(QStringView password, int maxLen)
{
    QByteArray bytes = StringToAnsi(password);
    if (maxLen < 0 || bytes.size() <= maxLen)
        return bytes;
    // The longest run of whole characters that fits: cutting the bytes could split a
    // multi-byte character. Every character takes at least one byte.
    qsizetype n = std::min<qsizetype>(password.size(), maxLen);
    for (;; --n) {
        if (n > 0 && password[n - 1].isHighSurrogate())
            --n;
        Wipe(bytes);
        bytes = StringToAnsi(password.first(n));
        if (bytes.size() <= maxLen)
            return bytes;
    }
}

QString PasswordFromBytes(QByteArrayView bytes)
{
    return AnsiToString(bytes);
}

QString StorePassword(QStringView password)
{
    QByteArray bytes = PasswordToBytes(password);
    const QString text = EncryptPassword(ProgramPassPhrase(), bytes, PasswordMaxLen, false);
    Wipe(bytes);
    return text;
}

QString LoadPassword(QStringView stored)
{
    QByteArray bytes = DecryptPassword(ProgramPassPhrase(), stored, false);
    const QString password = PasswordFromBytes(bytes);
    Wipe(bytes);
    return password;
}
