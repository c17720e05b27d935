#pragma once

#include <QLatin1StringView>
#include <QString>

// What the starter and the backup program agree on: the option words of the backup
// program's command line and the meaning of its exit codes. The stand-in backup program
// (tools/arkivo) reads the same definitions, so both sides cannot drift apart.

// Options of the backup program's command line, written "/" + word or "/" + word + ":" + value.
enum TBackupOption
{
    boStartApp, // "startapp:akstarter": started by the starter (always given)
    boPrompt,   // "prompt:v": status window mode, one of the TPromptMode words
    boWait,     // "wait:n": status display time in seconds
    boIni,      // "ini:dir": use the settings of that folder
    boLogDir,   // "logdir:dir": write the backup log into that folder
    boHide,     // "hide": no splash screen
    boNoSound,  // "nosound": no sounds
    boElevate,  // "elevate": run with administrator rights
    boDelay,    // "delay:n": wait n seconds before starting (parallel runs)
    boXInst,    // "xinst:n": position of the task in its group, from 1 (parallel runs)
    boForce,    // "force": run the given tasks at once, unattended
    boNoAction, // "noaction": no end action of the backup program's own
    boEdit,     // "edit": open the preceding task file for editing instead of running it
};
inline constexpr int BackupOptionCount = boEdit + 1;

// The lower-case word of an option, without "/".
QLatin1StringView BackupOptionWord(TBackupOption option);
// True for the options that take ":" + value.
bool BackupOptionHasValue(TBackupOption option);
// The option as one argument: "/" + word, and ":" + value for a valued option. No quoting:
// the caller quotes when it joins arguments into a command line.
QString FormatBackupOption(TBackupOption option, const QString &value = QString());

// The value of "startapp" that the starter always passes.
inline constexpr QLatin1StringView StartAppValue("akstarter");

// Status window modes, numbered like a group's "Status" setting.
enum TPromptMode
{
    pmQuiet,
    pmDelay,
    pmWait,
    pmError,
    pmSilent
};
inline constexpr int PromptModeCount = pmSilent + 1;

// The value of "prompt" for a mode.
QLatin1StringView PromptModeWord(TPromptMode mode);
// The mode for a group's "Status" value: 0 quiet, 2 wait, 3 error, 4 silent, any other delay.
TPromptMode PromptModeForStatus(int status);

// Exit codes of the backup program; only the low eight bits of an exit code count.
enum TBackupExitCode
{
    beSuccess = 0,
    beTaskNotFound = 1,
    beDestNotFound = 2,
    beSourceNotFound = 3,
    beBackupErrors = 4,
    beAborted = 5,
    beInvalidTask = 6,
};

// The translated text for an exit code, followed by "!" ("Errors during backup!");
// every unknown code reads "Unexpected error!". Empty when the low eight bits are 0,
// which counts as success.
QString BackupExitCodeText(int exitCode);
