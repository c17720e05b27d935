#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// 8-bit text in the "ANSI code page", which on Linux is the character set of the current
// locale (LC_CTYPE). A plain ASCII locale (C, POSIX) counts as UTF-8, as modern Linux
// text is UTF-8.

// Name of that character set as iconv knows it, e.g. "UTF-8" or "ISO-8859-1".
QByteArray AnsiCharset();

// Decodes 8-bit text; bytes that are invalid in the set become U+FFFD.
QString AnsiToString(QByteArrayView bytes);

// Encodes text; characters the set cannot represent become "?".
QByteArray StringToAnsi(QStringView text);
