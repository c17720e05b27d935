#pragma once

#include <QString>
#include <QStringList>

// Where the program's files, the backup program and the user-interface language come from.
// Worked out once at start (StartProgramEnv before the application object exists,
// CompleteProgramEnv after it) and then read everywhere through ProgramEnv(). The steps
// are separate functions that take their inputs, so tests can drive them on their own
// folders. Folders end with "/".
struct TProgramEnv
{
    QString ProgramFile;     // full name of the running executable
    QString ProgramDir;      // its folder
    QString ProgramBaseName; // its file name: names the INI file and the log file
    bool Portable = false;   // the "portable" option was given
    QString AppPath;         // roaming application data + "Arkivo6/"; ProgramDir without one
    QString UserPath;        // documents folder; empty when there is none
    QString ProgPath;        // installation prefix; empty when there is none
    QString JobDir;          // default folder of task files
    QString IniDir;          // folder of the INI files
    QString IniName;         // the starter's INI file
    QString AIniPath;        // folder of an INI file named by the "ini" option, else empty
    QString BackupCfgName;   // the backup program's configuration file (language, dark mode)
    QString BackupIniName;   // the backup program's INI file in IniDir
    QString AkPath;          // the backup program, empty when it was not found
    QString LanguageCode;    // two-letter code of the user-interface language
    QString ProgVersName;    // "<internal name> (Version x.y.z)"
    QString ProgVersDate;    // date of the executable in the user's short format
    QString PlatformSuffix;  // " - 64-bit" or " - 32-bit", for headings
};

// File names the starter shares with the backup program.
inline constexpr const char *BackupProgramName = "arkivo";
inline constexpr const char *BackupCfgFileName = "Arkivo.cfg";
inline constexpr const char *BackupIniFileName = "arkivo.ini";
// Folder below the roaming application data of this and of the previous major version.
inline constexpr const char *AppFolderName = "Arkivo6";
inline constexpr const char *OldAppFolderName = "Arkivo5";

// ---- The program's environment, set once at start -------------------------------------

const TProgramEnv &ProgramEnv();
void SetProgramEnv(const TProgramEnv &env);

// Early start-up from the real process (its executable, current folder and environment):
// EarlyProgramEnv, stored as ProgramEnv().
void StartProgramEnv(const QStringList &args);
// The rest of the start-up on ProgramEnv(): InitFolders, InitIdentity, FindBackupProgram,
// InitIniLocation with the "ini" value of the main command-line scan.
void CompleteProgramEnv(const QString &iniOption);

// ---- Start-up steps --------------------------------------------------------------------

// ProgramDir, ProgramBaseName, Portable, BackupCfgName and LanguageCode from the arguments
// (without the program itself), the executable's full name and the current folder. The
// language is the "lang" option's, else LangID of the backup program's configuration
// file, else the locale's.
TProgramEnv EarlyProgramEnv(const QStringList &args, const QString &programFile, const QString &currentDir);

// Binds the text domains to the catalogues below localeDir and makes gettext use the
// language code. Call after the application object exists: it sets the locale.
void InitLanguage(const QString &languageCode, const QString &localeDir);

// AppPath, UserPath, ProgPath and JobDir.
void InitFolders(TProgramEnv &env);
// ProgVersName, ProgVersDate and PlatformSuffix from the executable's version block.
// Needs the translation set up.
void InitIdentity(TProgramEnv &env);
// The backup program: in the current folder, in the program's folder, the machine's
// registry value "Program", then on PATH. Empty when none of them is an executable file.
QString FindBackupProgram(const QString &programDir, const QString &currentDir);
// IniDir, IniName, AIniPath and BackupIniName from the "ini" option's value as given on
// the command line (empty without the option); without it an INI file of an older location
// is copied to IniName once. Needs InitFolders.
void InitIniLocation(TProgramEnv &env, const QString &iniOption);

// ---- Helpers of the start-up -----------------------------------------------------------

// Every "%name%" replaced by the environment variable name (empty text when it is unset),
// scanning from the left; a "%" without a partner ends the scan. An inserted value is not
// scanned again.
QString ExpandEnvironmentReferences(const QString &text);

// The first two letters of the messages locale (LC_ALL, else LC_MESSAGES, else LANG, the
// first one set deciding), in lower case; "en" when none is set or it is "C" or "POSIX".
QString LocaleLanguageCode();

// The read-only "registry": INI files whose sections are key paths such as
// "Software\Arkivo6". The user's lies in the roaming application data, the machine's in
// the XDG configuration folders ($XDG_CONFIG_DIRS, else /etc/xdg), searched in order.
enum TRegistryRoot
{
    rrCurrentUser,
    rrLocalMachine
};
QStringList RegistryFileNames(TRegistryRoot root);
// The value of the first file that holds it, else empty; unreadable files count as empty.
QString ReadRegistryString(TRegistryRoot root, const QString &key, const QString &name);
