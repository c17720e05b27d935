#include "run/CommandLine.h"

#include "util/SafeFormat.h"
#include "util/StrUtils.h"
#include "util/Translate.h"

#include <utility>

namespace {

bool IsBlank(QChar c)
{
    return c.unicode() <= u' ';
}

// Every character the splitter takes for a separator: a token holding one is quoted.
const QString &BlankChars()
{
    static const QString chars = [] {
        QString s;
        for (char16_t c = 0; c <= u' '; ++c)
            s += QChar(c);
        return s;
    }();
    return chars;
}

bool IsOption(const QString &arg)
{
    return !arg.isEmpty() && (arg[0] == u'/' || arg[0] == u'-');
}

// Tries the choice words in order; the index of the first one value is a leading part
// of, or -1.
template <size_t N> int MatchChoice(const QString &value, const char *const (&words)[N])
{
    for (size_t i = 0; i < N; ++i) {
        if (MatchesKeyword(value, QLatin1String(words[i])))
            return int(i);
    }
    return -1;
}

void ApplyEnd(TRunRequest &request, const QString &value)
{
    static const char *const words[] = {"shutdown", "lockdown", "logoff", "restart", "poweroff"};
    switch (MatchChoice(value, words)) {
    case 0:
        request.LogOffMode = dmShutdown;
        break;
    case 1:
        request.LogOffMode = dmShutdown;
        request.FLockScreen = true;
        break;
    case 2:
        request.LogOffMode = dmLogOff;
        break;
    case 3:
        request.LogOffMode = dmRestart;
        break;
    case 4:
        request.LogOffMode = dmPowerOff;
        break;
    default:
        break;
    }
}

void ApplySuspend(TRunRequest &request, const QString &value)
{
    static const char *const words[] = {"standby", "hibernate"};
    switch (MatchChoice(value, words)) {
    case 0:
        request.SuspendMode = smStandby;
        break;
    case 1:
        request.SuspendMode = smHibernate;
        break;
    default:
        break;
    }
}

// The keywords in their fixed test order; the first that matches decides.
void ApplyOption(TRunRequest &request, QString text)
{
    if (MatchesKeyword(text, QStringLiteral("force")))
        request.Force = true;
    else if (MatchesKeyword(text, QStringLiteral("term")))
        request.TermProgs = true;
    else if (MatchesValuedKeyword(text, QStringLiteral("logmode")))
        request.WriteLog = ReadLeadingInt(text, QStringLiteral(" "), 1) != 0;
    else if (MatchesKeyword(text, QStringLiteral("prompt")))
        request.ActPrompt = true;
    else if (MatchesKeyword(text, QStringLiteral("lockscreen")))
        request.FLockScreen = true;
    else if (MatchesKeyword(text, QStringLiteral("dark")))
        request.UseDarkMode = true;
    else if (MatchesValuedKeyword(text, QStringLiteral("end")))
        ApplyEnd(request, text);
    else if (MatchesValuedKeyword(text, QStringLiteral("suspend")))
        ApplySuspend(request, text);
    else if (MatchesValuedKeyword(text, QStringLiteral("ini")))
        request.AIniPath = text;
}

void AddGroupName(TRunRequest &request, const QString &name)
{
    if (request.LastTask.isEmpty())
        request.LastTask = name;
    if (request.ConfigList.isEmpty())
        request.ConfigList = name;
    else
        request.ConfigList += u',' + name;
}

QString IniOptionToken(const QString &path)
{
    return QuoteArgument(QStringLiteral("/ini:") + path);
}

} // namespace

TRunRequest ParseCommandLine(const QStringList &AArgs)
{
    TRunRequest request;
    for (const QString &arg : AArgs) {
        if (IsOption(arg))
            ApplyOption(request, arg.mid(1));
        else
            AddGroupName(request, arg);
    }
    return request;
}

QStringList SplitConfigList(const QString &AConfigList)
{
    return AConfigList.split(u',');
}

QString TEarlyOptions::RememberedIniValue(const QString &AProgramDir,
                                          const std::function<QString(const QString &)> &AExpand) const
{
    const QString value = IniGiven ? AExpand(IniValue) : QString();
    if (Portable && !IniAfterPortable && value.isEmpty())
        return AProgramDir;
    return value;
}

TEarlyOptions ScanEarlyOptions(const QStringList &AArgs)
{
    TEarlyOptions options;
    for (const QString &arg : AArgs) {
        if (!IsOption(arg))
            continue;
        QString text = arg.mid(1);
        if (MatchesValuedKeyword(text, QStringLiteral("lang"))) {
            options.LangGiven = true;
            options.LanguageCode = text.left(2);
        } else if (MatchesValuedKeyword(text, QStringLiteral("ini"))) {
            options.IniGiven = true;
            options.IniValue = text;
            options.IniAfterPortable = options.Portable;
        } else if (MatchesKeyword(text, QStringLiteral("portable"))) {
            options.Portable = true;
            options.IniAfterPortable = false;
        }
    }
    return options;
}

TCommandLineText BuildStarterCommandLine(const TStarterCommand &ACommand)
{
    TCommandLineText result;
    if (ACommand.Groups.isEmpty()) {
        result.Error = Tr("Please select at least one backup group!");
        return result;
    }

    QString &text = result.Text;
    for (const QString &name : ACommand.Groups) {
        // Quotes are gone by the time the name is read back, so no quoting keeps such a
        // name from being taken for an option (a group called "/end:shutdown" would
        // shut the computer down).
        if (name.isEmpty()) {
            result.Error = Tr("A backup group without a name cannot be started from a command line!");
        } else if (IsOption(name)) {
            result.Error = SafeFormat(Tr("The backup group \"%s\" cannot be started from a command line: its "
                                         "name begins with \"%s\"!"),
                                      {name, name.left(1)});
        }
        if (!result.Error.isEmpty()) {
            text.clear();
            return result;
        }
        text += QuoteArgument(name) + u' ';
    }

    text += QStringLiteral("/force");
    if (!ACommand.IniPath.isEmpty())
        text += u' ' + IniOptionToken(ACommand.IniPath);
    if (ACommand.WriteLog)
        text += QStringLiteral(" /logmode:1");
    if (ACommand.LockScreen)
        text += QStringLiteral(" /lockscreen");

    bool endsSession = false;
    switch (ACommand.EndAction) {
    case eaNone:
        break;
    case eaPrompt:
        text += QStringLiteral(" /prompt");
        break;
    case eaStandby:
        text += QStringLiteral(" /suspend:standby");
        break;
    case eaHibernate:
        text += QStringLiteral(" /suspend:hibernate");
        break;
    case eaLogOff:
        text += QStringLiteral(" /end:logoff");
        endsSession = true;
        break;
    case eaShutdown:
        text += QStringLiteral(" /end:shutdown");
        endsSession = true;
        break;
    case eaRestart:
        text += QStringLiteral(" /end:restart");
        endsSession = true;
        break;
    }
    if (endsSession && ACommand.TermProgs)
        text += QStringLiteral(" /term");
    if (ACommand.ErrActions > 0)
        text += QStringLiteral(" /erractions:") + QString::number(ACommand.ErrActions);
    return result;
}

QString InitialOptionText(const QString &AIniPath)
{
    QString text;
    if (!AIniPath.isEmpty())
        text = u' ' + IniOptionToken(AIniPath);
    return text + QStringLiteral(" /logmode:1");
}

QString QuoteArgument(const QString &AText)
{
    return QuoteIfNeeded(AText, BlankChars());
}

QStringList SplitCommandLine(const QString &AText)
{
    QStringList args;
    QString current;
    bool inToken = false; // a quote pair alone ("") still makes an (empty) argument
    bool inQuotes = false;
    for (qsizetype i = 0; i < AText.size(); ++i) {
        const QChar c = AText[i];
        if (c == u'"') {
            inToken = true;
            if (inQuotes && i + 1 < AText.size() && AText[i + 1] == u'"') {
                current += c;
                ++i;
            } else {
                inQuotes = !inQuotes;
            }
        } else if (!inQuotes && IsBlank(c)) {
            if (inToken)
                args += std::exchange(current, QString());
            inToken = false;
        } else {
            current += c;
            inToken = true;
        }
    }
    if (inToken)
        args += current;
    return args;
}
