#include "backup/BackupProgram.h"

#include "util/Translate.h"

#include <iterator>

namespace {

struct TOptionInfo
{
    QLatin1StringView Word;
    bool HasValue;
};

// Indexed by TBackupOption.
constexpr TOptionInfo Options[BackupOptionCount] = {
    {QLatin1StringView("startapp"), true}, {QLatin1StringView("prompt"), true},
    {QLatin1StringView("wait"), true},     {QLatin1StringView("ini"), true},
    {QLatin1StringView("logdir"), true},   {QLatin1StringView("hide"), false},
    {QLatin1StringView("nosound"), false}, {QLatin1StringView("elevate"), false},
    {QLatin1StringView("delay"), true},    {QLatin1StringView("xinst"), true},
    {QLatin1StringView("force"), false},   {QLatin1StringView("noaction"), false},
    {QLatin1StringView("edit"), false},
};

// Indexed by TPromptMode.
constexpr QLatin1StringView PromptWords[PromptModeCount] = {
    QLatin1StringView("quiet"), QLatin1StringView("delay"),  QLatin1StringView("wait"),
    QLatin1StringView("error"), QLatin1StringView("silent"),
};

// Indexed by the low eight bits of the exit code, 1 to 6.
constexpr const char *ExitCodeTexts[] = {
    nullptr,
    TrNoop("Task not found"),
    TrNoop("Destination path not found"),
    TrNoop("Source directory not found"),
    TrNoop("Errors during backup"),
    TrNoop("The backup was aborted by the user or due to an error"),
    TrNoop("Invalid task configuration"),
};

} // namespace

QLatin1StringView BackupOptionWord(TBackupOption option)
{
    return Options[option].Word;
}

bool BackupOptionHasValue(TBackupOption option)
{
    return Options[option].HasValue;
}

QString FormatBackupOption(TBackupOption option, const QString &value)
{
    QString text = QLatin1Char('/') + BackupOptionWord(option);
    if (BackupOptionHasValue(option))
        text += QLatin1Char(':') + value;
    return text;
}

QLatin1StringView PromptModeWord(TPromptMode mode)
{
    return PromptWords[mode];
}

TPromptMode PromptModeForStatus(int status)
{
    switch (status) {
    case pmQuiet:
    case pmWait:
    case pmError:
    case pmSilent:
        return TPromptMode(status);
    default:
        return pmDelay;
    }
}

QString BackupExitCodeText(int exitCode)
{
    const int code = exitCode & 0xff;
    if (code == beSuccess)
        return QString();
    const char *text =
        code < int(std::size(ExitCodeTexts)) ? ExitCodeTexts[code] : TrNoop("Unexpected error");
    return Tr(text) + QLatin1Char('!');
}
