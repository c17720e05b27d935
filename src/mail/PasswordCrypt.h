#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// Stored passwords: encrypted with the program's pass phrase and a fresh salt each time,
// authenticated, and written as printable text (Ascii85, or hexadecimal).

// The longest password (in bytes) that is stored; longer ones are cut.
constexpr int PasswordMaxLen = 64;

// Encrypts a password (8-bit text) for storing: cut to maxLen bytes, padded, encrypted
// with passPhrase (stored as it is when passPhrase is empty) and written as Ascii85 or,
// with hex, two upper-case hexadecimal digits per byte. An empty password gives an
// empty text.
QString EncryptPassword(const QByteArray &passPhrase, const QByteArray &password, int maxLen = PasswordMaxLen,
                        bool hex = false);

// The password stored in text; empty when text is empty, not in the expected form,
// altered, truncated or encrypted with another pass phrase.
QByteArray DecryptPassword(const QByteArray &passPhrase, QStringView text, bool hex = false);

// Ascii85 without delimiters; four zero bytes become "z".
QString Ascii85Encode(QByteArrayView bytes);
// Empty optional for characters outside "!".."u" and "z", a "z" inside a group, a
// one-character last group, a group above 32 bits or a last group that is not written
// the way the encoder writes it.
std::optional<QByteArray> Ascii85Decode(QStringView text);

QString HexEncode(QByteArrayView bytes);
// Pairs of hexadecimal digits of either case; empty optional for anything else.
std::optional<QByteArray> HexDecode(QStringView text);

// Unscrambles a pass phrase from a key text of 48 hexadecimal digits and a one-byte mask;
// empty when the key text is not valid.
QByteArray MakePassPhrase(QStringView keyText, uint8_t mask);
// The program's own pass phrase, used for every password it stores.
QByteArray ProgramPassPhrase();

// A password as 8-bit text in the locale's character set, cut to at most maxLen bytes at
// a character boundary.
QByteArray PasswordToBytes(QStringView password, int maxLen = PasswordMaxLen);
QString PasswordFromBytes(QByteArrayView bytes);

// What the configuration and the mail settings store for a password, and read back.
QString StorePassword(QStringView password);
QString LoadPassword(QStringView stored);
