#pragma once

#include "run/RunTypes.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// The program's own command line: group names and options, read at start and written
// into desktop launchers and scheduled tasks. An argument beginning with "/" or "-" is an
// option; its keyword may be cut to any leading part and is compared in lower case; a
// valued option is keyword, ":" and value. Nothing here is ever rejected: what matches
// nothing is ignored.

// What the command line asks of this start. Every start begins from these defaults.
struct TRunRequest
{
    bool Force = false;       // run the named groups unattended, then end
    bool TermProgs = false;   // end the other windowed programs before the first group
    bool WriteLog = false;    // append the run log to the starter's log file
    bool ActPrompt = false;   // ask for the end action before an unattended run
    bool FLockScreen = false; // lock the session before the first group
    bool UseDarkMode = false;
    TDownMode LogOffMode = dmNone;
    TSuspendMode SuspendMode = smNone;
    QString AIniPath;   // the "ini" value as given
    QString LastTask;   // the first group name: the group the window shows first
    QString ConfigList; // all group names in order, joined with ","

    bool operator==(const TRunRequest &) const = default;
};

// The main scan. AArgs are the process's arguments without the program itself.
TRunRequest ParseCommandLine(const QStringList &AArgs);

// The group names of a ConfigList as an unattended run takes them off: split at every
// ",", so an empty list gives one empty name and a name containing "," falls apart.
QStringList SplitConfigList(const QString &AConfigList);

// What the early start-up scan finds: "lang", "ini" and "portable" only.
struct TEarlyOptions
{
    bool LangGiven = false; // a "lang" option was given, possibly with an empty value
    QString LanguageCode;   // first two characters of the last "lang" value, as given
    bool IniGiven = false;
    QString IniValue; // the last "ini" value, environment references not yet expanded
    bool Portable = false;
    // The last "ini" stands after the last "portable": its value is then used as it is,
    // even when it expands to nothing.
    bool IniAfterPortable = false;

    // The value the start-up code goes on with: the expanded "ini" value, or, in portable
    // mode, AProgramDir when no "ini" value was remembered when "portable" was read (the
    // same result as taking the options one by one). Empty when there is none.
    QString RememberedIniValue(const QString &AProgramDir,
                               const std::function<QString(const QString &)> &AExpand) const;
};

TEarlyOptions ScanEarlyOptions(const QStringList &AArgs);

// The action after the backups as the shortcut dialog offers it, in the order of its
// choices.
enum TEndAction
{
    eaNone,
    eaPrompt,
    eaStandby,
    eaHibernate,
    eaLogOff,
    eaShutdown,
    eaRestart
};

// What a launcher or scheduled task is to ask of the program.
struct TStarterCommand
{
    QStringList Groups; // in the order they are to run
    QString IniPath;    // written when not empty
    bool WriteLog = false;
    bool LockScreen = false;
    TEndAction EndAction = eaNone;
    bool TermProgs = false; // written only with eaLogOff, eaShutdown and eaRestart
    int64_t ErrActions = 0; // carried through for the dialog; written when > 0
};

struct TCommandLineText
{
    QString Text;
    QString Error; // translated reason when no command line could be built
};

// The argument text for launchers and scheduled tasks, for example
// "Daily Weekly /force /logmode:1 /end:shutdown /term". Refused (Error set) when there
// are no groups or a name could not come back as a group name: an empty name, or one
// beginning with "/" or "-", which would be read as an option.
TCommandLineText BuildStarterCommandLine(const TStarterCommand &ACommand);

// The option text the main window presets those dialogs with: " /ini:path" when AIniPath
// is not empty, then " /logmode:1".
QString InitialOptionText(const QString &AIniPath);

// A token as the program's command lines need it so that SplitCommandLine gives it back:
// in double quotes, inner ones doubled, when it contains a blank (any character up to
// U+0020) or a double quote.
QString QuoteArgument(const QString &AText);

// Splits a command line the way the program reads its own: blanks (characters up to
// U+0020) separate, double quotes group, and inside quotes a doubled quote stands for one.
// A quote left open runs to the end; backslashes are plain characters.
QStringList SplitCommandLine(const QString &AText);
