#include "util/StrUtils.h"

#include "util/Numbers.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

#include <utility>

namespace {

bool IsBlank(QChar c)
{
    return c.unicode() <= u' ';
}

} // namespace

bool MatchesKeyword(const QString &text, const QString &keyword)
{
    return keyword.startsWith(text.toLower(), Qt::CaseSensitive);
}

bool MatchesValuedKeyword(QString &text, const QString &keyword)
{
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0 || !MatchesKeyword(text.left(colon), keyword))
        return false;
    text.remove(0, colon + 1);
    return true;
}

int64_t ReadLeadingInt(QString &text, const QString &separators, int64_t def)
{
    text = TrimLeftBlanks(text);
    if (text.isEmpty())
        return def;
    qsizetype end = 0;
    while (end < text.size() && !separators.contains(text[end]))
        ++end;
    const std::optional<int64_t> value = ParseInteger(QStringView(text).left(end));
    text.remove(0, end + 1);
    return value.value_or(def);
}

QString ReadNextItem(QString &text, QChar separator)
{
    const qsizetype pos = text.indexOf(separator);
    if (pos < 0)
        return std::exchange(text, QString());
    const QString item = text.left(pos);
    text.remove(0, pos + 1);
    return item;
}

QString ReadNextToken(QString &text, QChar separator, QChar quote)
{
    text = TrimLeftBlanks(text);
    if (text.isEmpty())
        return QString();
    if (text[0] != quote)
        return ReadNextItem(text, separator);

    // Each quote character toggles "inside"; the first separator outside quotes ends
    // the token.
    bool inside = false;
    qsizetype end = 0;
    for (; end < text.size(); ++end) {
        if (text[end] == quote)
            inside = !inside;
        else if (text[end] == separator && !inside)
            break;
    }
    const QString part = text.left(end);
    text.remove(0, end + 1);
    if (part.size() <= 2)
        return QString();
    return UnquoteText(TrimRightBlanks(part), quote);
}

QString UnquoteText(const QString &text, QChar quote)
{
    QString result;
    result.reserve(text.size());
    bool inside = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != quote) {
            result += text[i];
        } else if (inside && i + 1 < text.size() && text[i + 1] == quote) {
            result += quote;
            ++i;
        } else {
            inside = !inside;
        }
    }
    return result;
}

QString QuoteIfNeeded(const QString &text, const QString &characters)
{
    if (text.isEmpty())
        return text;
    // A double quote alone also needs quoting: the program's own command-line reader
    // would take it for a quote mark and drop it (file names on Linux may contain one).
    bool needed = characters.isEmpty() || text.contains(u'"');
    for (qsizetype i = 0; !needed && i < characters.size(); ++i)
        needed = text.contains(characters[i]);
    if (!needed)
        return text;
    QString inner = text;
    inner.replace(u'"', QStringLiteral("\"\""));
    return u'"' + inner + u'"';
}

qsizetype TextPos(const QString &sub, const QString &text)
{
    return TextPosEx(sub, text, 0);
}

qsizetype TextPosEx(const QString &sub, const QString &text, qsizetype from)
{
    if (from < 0 || from > text.size())
        return -1;
    return text.indexOf(sub, from, Qt::CaseInsensitive);
}

QString TrimLeftBlanks(const QString &text)
{
    qsizetype start = 0;
    while (start < text.size() && IsBlank(text[start]))
        ++start;
    return text.mid(start);
}

QString TrimRightBlanks(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && IsBlank(text[end - 1]))
        --end;
    return text.left(end);
}

QString RemoveBlanks(const QString &text)
{
    return RemoveChars(text, QStringLiteral(" "));
}

QString RemoveChars(const QString &text, const QString &chars)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (!chars.contains(c))
            result += c;
    }
    return result;
}

QString StringOfChar(QChar c, qsizetype count)
{
    return count > 0 ? QString(count, c) : QString();
}

QString ReplaceChar(const QString &text, QChar oldChar, QChar newChar)
{
    QString result = text;
    return result.replace(oldChar, newChar);
}

QString TrimLeadingChar(const QString &text, QChar c)
{
    qsizetype start = 0;
    while (start < text.size() && text[start] == c)
        ++start;
    return text.mid(start);
}

QString TrimTrailingChar(const QString &text, QChar c)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == c)
        --end;
    return text.left(end);
}

QString ExtractDelimited(const QString &text, QChar delimiter, qsizetype from)
{
    if (from < 0 || from >= text.size())
        return QString();
    const qsizetype first = text.indexOf(delimiter, from);
    const qsizetype second = first < 0 ? -1 : text.indexOf(delimiter, first + 1);
    if (second < 0)
        return QString();
    return text.mid(first, second - first + 1);
}

QString CountText(uint64_t count, const char *singular, const char *plural)
{
    const QString format = TrN(singular, plural, count);
    return SafeFormat(format, {count > 9999 ? TFormatArg::WithSeparators(count) : TFormatArg(count)});
}
