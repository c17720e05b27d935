#include "backup/Placeholders.h"

#include "config/ProgramEnv.h"
#include "platform/Volumes.h"
#include "util/Clock.h"
#include "util/FileUtils.h"
#include "util/Numbers.h"
#include "util/SafeFormat.h"
#include "util/SystemInfo.h"
#include "util/Translate.h"

#include <QDir>
#include <QHash>

#include <ctime>
#include <cwchar>
#include <functional>
#include <initializer_list>
#include <iterator>

namespace {

// One placeholder with the text that stands for it. The value is only computed when the
// placeholder occurs, since some values read files or the password database.
struct TPlaceholder
{
    const char *Name;
    std::function<QString()> Value;
};

// Every occurrence of name, compared without regard to case, replaced by value. One pass
// that never searches a value again, so the work stays linear in the text's length
// however many occurrences there are.
QString ReplaceText(const QString &text, const QString &name, const QString &value)
{
    qsizetype found = text.indexOf(name, 0, Qt::CaseInsensitive);
    if (found < 0 || name.isEmpty())
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype from = 0;
    while (found >= 0) {
        result += QStringView(text).mid(from, found - from);
        result += value;
        from = found + name.size();
        found = text.indexOf(name, from, Qt::CaseInsensitive);
    }
    result += QStringView(text).mid(from);
    return result;
}

// Replaces the placeholders one after the other, each over the whole text, so that a
// replacement that looks like a later placeholder is expanded as well.
QString ReplacePlaceholders(QString text, std::initializer_list<TPlaceholder> placeholders)
{
    for (const TPlaceholder &placeholder : placeholders) {
        const QString name = QLatin1String(placeholder.Name);
        if (text.contains(name, Qt::CaseInsensitive))
            text = ReplaceText(text, name, placeholder.Value());
    }
    return text;
}

QString Empty()
{
    return QString();
}

// ---- Dates and times ----------------------------------------------------------------------

// A day or month name of the locale's time category, without any ".": the names stand in
// file names, and abbreviations such as "Mo." must not add an extension.
QString LocaleTimeName(const wchar_t *format, const QDate &date)
{
    std::tm tm{};
    tm.tm_year = date.year() - 1900;
    tm.tm_mon = date.month() - 1;
    tm.tm_mday = date.day();
    tm.tm_wday = date.dayOfWeek() % 7;
    tm.tm_yday = date.dayOfYear() - 1;
    // The wide form takes the names from the locale data itself, whatever the character
    // set of the time category.
    wchar_t buffer[256];
    const size_t length = std::wcsftime(buffer, std::size(buffer), format, &tm);
    return QString::fromWCharArray(buffer, qsizetype(length)).remove(u'.');
}

QDate Today()
{
    return Now().date();
}

QString IsoDate()
{
    const QDate date = Today();
    return ZeroPad(4, date.year()) + u'-' + ZeroPad(2, date.month()) + u'-' + ZeroPad(2, date.day());
}

QString TimeDigits()
{
    const QTime time = Now().time();
    return ZeroPad(2, time.hour()) + ZeroPad(2, time.minute()) + ZeroPad(2, time.second());
}

// The ISO 8601 week with the year it belongs to: the first days of January may lie in
// the previous year's last week, the last days of December in the next year's first.
QString YearAndWeek()
{
    int year = 0;
    const int week = Today().weekNumber(&year);
    return ZeroPad(4, year) + u'-' + ZeroPad(2, week);
}

QString YearAndMonth()
{
    const QDate date = Today();
    return ZeroPad(4, date.year()) + u'-' + ZeroPad(2, date.month());
}

QString Year()
{
    return ZeroPad(4, Today().year());
}

// The week of the month by the ISO 8601 rule: weeks begin on Monday and belong to the
// month of their Thursday, so the first days of a month may count as the last week of the
// month before.
int WeekOfMonth(const QDate &date)
{
    const QDate thursday = date.addDays(4 - date.dayOfWeek());
    return (thursday.day() - 1) / 7 + 1;
}

// Pass 2 of the date placeholders: for each form, the first token decides its N and every
// occurrence of that token becomes the value cycling through 1..N.
QString ExpandCounters(QString text, int count)
{
    const QDate date = Today();
    const struct
    {
        QLatin1String Start;
        int64_t Value;
    } forms[] = {
        {QLatin1String("%d#"), date.dayOfYear()},
        {QLatin1String("%w#"), date.weekNumber()},
        {QLatin1String("%m#"), date.month()},
        {QLatin1String("%v#"), count},
    };
    for (const auto &form : forms) {
        const qsizetype start = text.indexOf(form.Start, 0, Qt::CaseInsensitive);
        // Without its closing "%" there is no token, and the text stays as it is.
        const qsizetype close = start < 0 ? -1 : text.indexOf(u'%', start + form.Start.size());
        if (close < 0)
            continue;
        const qsizetype first = start + form.Start.size();
        // A cycle of N <= 0 has no values.
        const std::optional<int64_t> cycle = ParseInteger(QStringView(text).mid(first, close - first), 1);
        const QString value = cycle ? ZeroPad(*cycle >= 100 ? 3
                                              : *cycle < 10 ? 1
                                                            : 2,
                                              (form.Value - 1) % *cycle + 1)
                                    : QString();
        text = ReplaceText(text, QStringView(text).mid(start, close - start + 1).toString(), value);
    }
    return text;
}

// ---- Environment tokens -------------------------------------------------------------------

// Tokens compare with "%evar" in any case but the variable's name as written: names of
// environment variables are case-sensitive.
QString EnvironmentTokenKey(QStringView token)
{
    return token.left(5).toString().toLower() + token.mid(5);
}

// Every "%evar(NAME)%" whose variable is set and not empty becomes its value. The tokens
// are found by scanning from token to token; then every occurrence of such a token is
// replaced in a second pass, which does not search the values again.
QString ExpandEnvironmentTokens(const QString &text)
{
    static const QLatin1String keyword("%evar");
    QHash<QString, QString> values;
    for (qsizetype open = text.indexOf(u'%'); open >= 0;) {
        const qsizetype close = text.indexOf(u'%', open + 1);
        if (close < 0)
            break;
        const QStringView token = QStringView(text).mid(open, close - open + 1);
        if (token.startsWith(keyword, Qt::CaseInsensitive)) {
            const qsizetype left = token.indexOf(u'(');
            const qsizetype right = left < 0 ? -1 : token.indexOf(u')', left + 1);
            const QByteArray name =
                right < 0 ? QByteArray() : token.mid(left + 1, right - left - 1).toLocal8Bit();
            if (!name.isEmpty() && !name.contains('=') && !name.contains('\0')) {
                const QString value = qEnvironmentVariable(name.constData());
                if (!value.isEmpty())
                    values.insert(EnvironmentTokenKey(token), value);
            }
        }
        open = text.indexOf(u'%', close + 1);
    }
    if (values.isEmpty())
        return text;

    QString result;
    result.reserve(text.size());
    qsizetype from = 0;
    for (qsizetype open = text.indexOf(u'%'); open >= 0;) {
        const qsizetype close = text.indexOf(u'%', open + 1);
        if (close < 0)
            break;
        const QStringView token = QStringView(text).mid(open, close - open + 1);
        const auto value = token.startsWith(keyword, Qt::CaseInsensitive)
                               ? values.constFind(EnvironmentTokenKey(token))
                               : values.cend();
        if (value == values.cend()) {
            // The closing "%" may open the next occurrence.
            open = close;
            continue;
        }
        result += QStringView(text).mid(from, open - from);
        result += *value;
        from = close + 1;
        open = text.indexOf(u'%', from);
    }
    result += QStringView(text).mid(from);
    return result;
}

// "%volume%" of a log name: the label the destination names, or that of the local volume
// it lies on.
QString VolumeLabelOf(const QString &dest)
{
    QString path = dest;
    QString label;
    switch (ResolveVolumePath(path, label)) {
    case vrResolved:
        return label;
    case vrNotFound:
        return QString();
    case vrNotLabelled:
        break;
    }
    return IsLocalDrive(dest) && GetVolumeLabel(dest, label) ? label : QString();
}

} // namespace

QString ExpandFolderPlaceholders(const QString &text)
{
    return ExpandFolderPlaceholders(text, ProgramEnv().ProgramDir);
}

QString ExpandFolderPlaceholders(const QString &text, const QString &programDir)
{
    if (text.isEmpty())
        return text;
    // Folders stand without their trailing "/" (the root stays "/").
    const QString program = programDir.isEmpty() ? QString() : QDir::cleanPath(programDir);
    // The program-files variants (64-bit, 32-bit, common files) are all the installation
    // prefix here.
    const QString result = ReplacePlaceholders(text, {
                                                         {"%perspath%", GetDocumentsFolder},
                                                         {"%apppath%", GetAppDataFolder},
                                                         {"%profile%", GetUserProfileFolder},
                                                         {"%desktop%", GetDesktopFolder},
                                                         {"%favorites%", GetFavoritesFolder},
                                                         {"%progfiles%", GetProgramFilesFolder},
                                                         {"%progpath%", [&] { return program; }},
                                                         {"%username%", GetUserLogonName},
                                                         {"%computername%", GetComputerNameText},
                                                         {"%user%", Empty},
                                                         {"%computer%", Empty},
                                                     });
    return ReplacePlaceholders(result, {
                                           {"%appdata%", GetAppDataFolder},
                                           {"%localappdata%", GetLocalAppDataFolder},
                                           {"%allusersprofile%", GetAllUsersFolder},
                                           {"%public%", GetPublicFolder},
                                           {"%programfiles%", GetProgramFilesFolder},
                                           {"%commonprogramfiles%", GetProgramFilesFolder},
                                           {"%programfiles(x86)%", GetProgramFilesFolder},
                                           {"%commonprogramfiles(x86)%", GetProgramFilesFolder},
                                           {"%programdata%", GetAllUsersFolder},
                                           {"%userprofile%", GetUserProfileFolder},
                                       });
}

QString ExpandDatePlaceholders(const QString &text, int count)
{
    QString result = ReplacePlaceholders(
        text, {
                  {"%date%", IsoDate},
                  {"%yaw%", YearAndWeek},
                  {"%dow%", [] { return LocaleTimeName(L"%a", Today()); }},
                  {"%ldow%", [] { return LocaleTimeName(L"%A", Today()); }},
                  {"%dnw%", [] { return ZeroPad(1, Today().dayOfWeek()); }},
                  {"%day%", [] { return ZeroPad(3, Today().dayOfYear()); }},
                  {"%week%", [] { return ZeroPad(2, Today().weekNumber()); }},
                  {"%dom%", [] { return ZeroPad(2, Today().day()); }},
                  {"%wom%", [] { return ZeroPad(1, WeekOfMonth(Today())); }},
                  {"%month%", [] { return ZeroPad(2, Today().month()); }},
                  // The standalone form: "Januar", not a genitive such as Polish "stycznia".
                  {"%lmonth%", [] { return LocaleTimeName(L"%OB", Today()); }},
                  {"%year%", Year},
                  {"%user%", GetUserLogonName},
                  {"%computer%", GetComputerNameText},
              });
    if (count > 0)
        result = ExpandCounters(result, count);
    return ReplacePlaceholders(result, {
                                           {"%time%", TimeDigits},
                                           {"%hour%", [] { return ZeroPad(2, Now().time().hour()); }},
                                           {"%minute%", [] { return ZeroPad(2, Now().time().minute()); }},
                                           {"%d#?%", Empty},
                                           {"%w#?%", Empty},
                                           {"%m#?%", Empty},
                                           {"%v#?%", Empty},
                                           {"%username%", GetUserLogonName},
                                           {"%computername%", GetComputerNameText},
                                           {"%volume%", Empty},
                                           {"%mode%", Empty},
                                       });
}

QString ExpandDestPlaceholders(const QString &dest, const QString &volume, int count)
{
    const QString result = ExpandEnvironmentTokens(ReplaceText(dest, QStringLiteral("%volume%"), volume));
    return ExpandDatePlaceholders(result, count);
}

QString ExpandLogPlaceholders(const QString &logName, const QString &dest)
{
    return ReplacePlaceholders(logName, {
                                            {"%date%", IsoDate},
                                            {"%time%", TimeDigits},
                                            {"%yaw%", YearAndWeek},
                                            {"%yam%", YearAndMonth},
                                            {"%year%", Year},
                                            {"%username%", GetUserLogonName},
                                            {"%computername%", GetComputerNameText},
                                            {"%dest%", [&] { return dest; }},
                                            {"%drive%", [&] { return GetDrivePart(dest); }},
                                            {"%volume%", [&] { return VolumeLabelOf(dest); }},
                                        });
}

TVolumeResolve ResolveVolumePath(QString &APath, QString &ALabel, const TRetryQuestion &APrompt)
{
    ALabel.clear();
    if (APath.isEmpty())
        return vrNotFound;
    if (APath[0] != u':')
        return vrNotLabelled;
    // The label token runs to the first "/" behind its closing ":"; a doubled ":" inside
    // is part of the label. Without a closing ":" the whole path is the token.
    qsizetype closing = -1;
    for (qsizetype i = 1; i < APath.size(); ++i) {
        if (APath[i] != u':')
            continue;
        if (i + 1 < APath.size() && APath[i + 1] == u':') {
            ++i;
            continue;
        }
        closing = i;
        break;
    }
    const qsizetype slash = closing < 0 ? -1 : APath.indexOf(PathDelim, closing);
    const QString token = slash < 0 ? APath : APath.left(slash);
    const QString rest = slash < 0 ? QString() : APath.mid(slash + 1);
    QString label;
    if (token.size() >= 3) {
        label = token.mid(1);
        if (label.endsWith(u':'))
            label.chop(1);
        label.replace(QLatin1String("::"), QLatin1String(":"));
    }
    // An empty label would match any volume without one, so it matches none.
    while (!label.isEmpty()) {
        const QString root = FindDriveByLabel(label);
        if (!root.isEmpty()) {
            APath = root + rest;
            ALabel = label;
            return vrResolved;
        }
        if (!APrompt ||
            !APrompt(SafeFormat(Tr("Volume %s not found!\r\nPlease insert medium!"), u'"' + label + u'"')))
            break;
    }
    return vrNotFound;
}

QString ResolveDestination(const QString &APath, const TRetryQuestion &APrompt)
{
    QString path = APath;
    QString label;
    return ResolveVolumePath(path, label, APrompt) == vrNotFound ? APath : path;
}

bool IsVolumeAvailable(const QString &APath)
{
    QString path = APath;
    QString label;
    return ResolveVolumePath(path, label) != vrNotFound;
}
