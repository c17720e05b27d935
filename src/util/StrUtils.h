#pragma once

#include <QChar>
#include <QString>

#include <cstdint>

// Text helpers with which command lines and option texts are read and written. Positions
// are 0-based; "not found" is -1. A "blank" is any character up to U+0020, as the
// program's trimming has always treated control characters.

// True when text, in lower case, is a leading part of keyword (the empty text included):
// "FORCE" and "f" match "force", "forces" does not.
bool MatchesKeyword(const QString &text, const QString &keyword);
// For "keyword:value": when the part before the first ":" matches keyword, text is cut to
// the value and the result is true. Text without ":" never matches and stays unchanged.
bool MatchesValuedKeyword(QString &text, const QString &keyword);

// Reads the integer (sign, decimal, "$" or "0x" hex) in front of the first character of
// separators after trimming leading blanks; that part and the separator are removed from
// text. An empty text or a part that is no integer gives def.
int64_t ReadLeadingInt(QString &text, const QString &separators, int64_t def);
// The text up to the first separator (all of it when there is none); that part and the
// separator are removed from text.
QString ReadNextItem(QString &text, QChar separator);
// Like ReadNextItem after trimming leading blanks, but a text beginning with quote runs to
// the first separator outside quotes and comes back trimmed at the end and unquoted; such
// a part of two characters or less (as "" is) gives an empty token.
QString ReadNextToken(QString &text, QChar separator, QChar quote = u'"');
// Empty stays empty. Encloses text in double quotes, doubling inner ones, when it contains
// one of characters (always for an empty set) or a double quote.
QString QuoteIfNeeded(const QString &text, const QString &characters = QStringLiteral(" "));
// Removes one level of quote characters: each unpaired quote toggles quoting, a doubled
// one inside quotes stands for itself.
QString UnquoteText(const QString &text, QChar quote = u'"');

// Case-insensitive position of sub in text, from the start or from position from.
qsizetype TextPos(const QString &sub, const QString &text);
qsizetype TextPosEx(const QString &sub, const QString &text, qsizetype from);

// Trims blanks (characters up to U+0020) at the start, at the end, or both.
QString TrimLeftBlanks(const QString &text);
QString TrimRightBlanks(const QString &text);
// text without any " ", or without any character of chars.
QString RemoveBlanks(const QString &text);
QString RemoveChars(const QString &text, const QString &chars);
// count copies of c (empty for count <= 0).
QString StringOfChar(QChar c, qsizetype count);
// Every oldChar replaced by newChar.
QString ReplaceChar(const QString &text, QChar oldChar, QChar newChar);
// Without the leading, or the trailing, run of c.
QString TrimLeadingChar(const QString &text, QChar c);
QString TrimTrailingChar(const QString &text, QChar c);
// The text from the first delimiter at or after position from to the next one, both
// delimiters included; empty when there are fewer than two.
QString ExtractDelimited(const QString &text, QChar delimiter, qsizetype from = 0);

// The number with number-dependent wording: the translation of singular or plural (with
// TrN) formatted with the count, e.g. CountText(n, "%u error", "%u errors"). Numbers
// above 9999 get the locale's thousands separators.
QString CountText(uint64_t count, const char *singular, const char *plural);
