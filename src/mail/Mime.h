#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The pieces of an Internet message that the mailer puts together: address lists, header
// fields with their encodings, and the transfer encodings of the body parts. Every line
// they produce ends with CR LF.

// One mailbox: an optional display name and the address.
struct TMailAddress
{
    QString Name;
    QString Address;

    bool operator==(const TMailAddress &) const = default;
};

// Splits a comma-separated address list. Commas inside double quotes or angle brackets
// do not split, empty items are skipped. An item is "address", "Name <address>",
// "\"Quoted, Name\" <address>" or "address (comment)"; names lose their quotes, and
// control characters in them become blanks.
QList<TMailAddress> ParseAddressList(const QString &AText);
// One item of such a list; an empty address when the text holds none.
TMailAddress ParseAddress(const QString &AText);

// An address that can go into an SMTP command and a header unchanged: local part, "@"
// and domain in printable ASCII without blanks, angle brackets, commas or semicolons.
// Control characters (CR and LF above all) would let the text add commands or header
// lines of its own.
bool IsValidMailAddress(const QString &AAddress);

// Replaces every control character by a blank, so that a text given for a header can
// never start a line of its own.
QString RemoveLineBreaks(const QString &AText);

// A field name that may stand in a header: printable ASCII without ":" and blanks.
bool IsValidHeaderName(const QString &AName);

// "Name: value" with an unstructured value (a subject, a free text), folded to lines of at
// most 78 characters. Texts that are not plain printable ASCII, or could not be folded,
// become RFC 2047 encoded words (UTF-8, base64).
QByteArray UnstructuredHeader(const QString &AName, const QString &AValue);
// "Name: mailbox, mailbox" with the display names as a quoted string or as encoded
// words when needed, one mailbox per line after the first.
QByteArray AddressHeader(const QString &AName, const QList<TMailAddress> &AAddresses);

// A MIME parameter (";" and a folded line included): name="value" for a short printable
// ASCII value, otherwise an RFC 2231 extended parameter in UTF-8 with continuations.
QByteArray MimeParameter(const QString &AName, const QString &AValue);

// The text with every line end (CR LF, CR or LF) made CR LF.
QByteArray NormalizeLineEnds(QByteArrayView AText);
// Length of the longest line, line ends not counted.
qsizetype LongestLine(QByteArrayView AText);

// Quoted-printable of text with CR LF line ends (RFC 2045): line ends stay hard breaks,
// output lines are at most 76 characters and every one ends with CR LF.
QByteArray QuotedPrintableEncode(QByteArrayView AText);
// Base64 in lines of 76 characters, each ended by CR LF.
QByteArray Base64Lines(QByteArrayView AData);

// Appends AData to AOut with SMTP's dot-stuffing (a line that begins with "." gets a
// second one). AAtLineStart carries the state from one call to the next, so a message
// can be stuffed in pieces; start with true.
void AppendDotStuffed(QByteArray &AOut, QByteArrayView AData, bool &AAtLineStart);
