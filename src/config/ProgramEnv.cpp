#include "config/ProgramEnv.h"

#include "backup/Placeholders.h"
#include "config/UnicodeIniFile.h"
#include "run/CommandLine.h"
#include "util/Errors.h"
#include "util/FileUtils.h"
#include "util/SystemInfo.h"
#include "util/Translate.h"
#include "util/VersionInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

#include <clocale>
#include <cstring>
#include <deque>
#include <optional>

extern "C" int _nl_msg_cat_cntr;

namespace {

TProgramEnv GProgramEnv;

const QString RegistryKey = QStringLiteral("Software\\Arkivo6");

// The folder part of a name, with its trailing "/"; empty for a name without folder.
QString FolderOf(const QString &name)
{
    return name.left(name.lastIndexOf(PathDelim) + 1);
}

QString FileNameOf(const QString &name)
{
    return name.mid(name.lastIndexOf(PathDelim) + 1);
}

// Roaming application data + "Arkivo6/", or the program's folder when there is none.
QString DefaultAppPath(const QString &programDir)
{
    const QString roaming = GetAppDataFolder();
    if (roaming.isEmpty())
        return programDir;
    return SetDirName(roaming) + QLatin1String(AppFolderName) + PathDelim;
}

// The user's "IniPath" as a folder; a relative one lies below the roaming application
// data, like the default folder. Empty when it is not set.
QString RegistryIniFolder(const QString &programDir)
{
    const QString iniPath = ReadRegistryString(rrCurrentUser, RegistryKey, QStringLiteral("IniPath"));
    if (iniPath.isEmpty())
        return QString();
    if (IsAbsolutePath(iniPath))
        return SetDirName(iniPath);
    const QString roaming = GetAppDataFolder();
    return SetDirName(ExpandPath(roaming.isEmpty() ? programDir : roaming, iniPath));
}

// The backup program's configuration file for a remembered "ini" value: a value ending
// with "/" is its folder; otherwise the value's folder (relative ones against the current
// folder, in portable mode against the program's), and in portable mode the value's own
// name with the extension ".cfg".
QString BackupCfgNameFor(const QString &value, bool portable, const TProgramEnv &env,
                         const QString &currentDir)
{
    if (value.endsWith(PathDelim))
        return ExpandPath(currentDir, value) + QLatin1String(BackupCfgFileName);
    const QString fileName =
        portable ? NewExtension(FileNameOf(value), QStringLiteral("cfg")) : QLatin1String(BackupCfgFileName);
    QString folder;
    if (IsAbsolutePath(value))
        folder = FolderOf(value);
    else if (!value.contains(PathDelim))
        folder = portable ? env.ProgramDir : FolderOf(env.BackupCfgName);
    else
        folder = SetDirName(ExpandPath(portable ? env.ProgramDir : currentDir, FolderOf(value)));
    return folder + fileName;
}

// Key "LangID" of section "Language", cut to two characters; empty when missing.
QString ConfiguredLanguageCode(const QString &cfgName)
{
    try {
        const TIniDocument cfg(cfgName);
        return cfg.ReadString(QStringLiteral("Language"), QStringLiteral("LangID"), QString()).left(2);
    } catch (const EExtFileStreamError &) {
        return QString();
    }
}

bool IsProgramFile(const QString &name)
{
    const QFileInfo info(name);
    return info.isFile() && info.isExecutable();
}

// A copy that fails leaves the starter with an empty configuration, which is all a
// migration can promise.
void CopyIgnoringErrors(const QString &source, const QString &dest)
{
    try {
        CopyFileTS(source, dest);
    } catch (const ECopyError &error) {
        qWarning("%s", error.what());
    }
}

// Takes over an INI file of the same name from AppPath (when IniDir lies elsewhere) or,
// failing that, from the previous major version's folder; only while IniName is missing.
void MigrateIniFile(const TProgramEnv &env)
{
    const QString fileName = FileNameOf(env.IniName);
    const QString defaultFile = env.AppPath + fileName;
    if (SameFileName(QDir::cleanPath(defaultFile), QDir::cleanPath(env.IniName)))
        return;
    if (QFileInfo::exists(env.IniName))
        return;
    if (QFileInfo(defaultFile).isFile()) {
        CopyIgnoringErrors(defaultFile, env.IniName);
        return;
    }
    const QString roaming = GetAppDataFolder();
    if (roaming.isEmpty())
        return;
    const QString oldFile = SetDirName(roaming) + QLatin1String(OldAppFolderName) + PathDelim + fileName;
    if (QFileInfo(oldFile).isFile())
        CopyIgnoringErrors(oldFile, env.IniName);
}

QString RunningProgramFile()
{
    return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
}

} // namespace

const TProgramEnv &ProgramEnv()
{
    return GProgramEnv;
}

void SetProgramEnv(const TProgramEnv &env)
{
    GProgramEnv = env;
}

void StartProgramEnv(const QStringList &args)
{
    SetProgramEnv(EarlyProgramEnv(args, RunningProgramFile(), QDir::currentPath()));
}

void CompleteProgramEnv(const QString &iniOption)
{
    TProgramEnv env = ProgramEnv();
    InitFolders(env);
    InitIdentity(env);
    env.AkPath = FindBackupProgram(env.ProgramDir, QDir::currentPath());
    InitIniLocation(env, iniOption);
    SetProgramEnv(env);
}

TProgramEnv EarlyProgramEnv(const QStringList &args, const QString &programFile, const QString &currentDir)
{
    TProgramEnv env;
    env.ProgramFile = programFile;
    env.ProgramDir = FolderOf(programFile);
    env.ProgramBaseName = FileNameOf(programFile);

    QString baseFolder = RegistryIniFolder(env.ProgramDir);
    if (baseFolder.isEmpty())
        baseFolder = DefaultAppPath(env.ProgramDir);
    env.BackupCfgName = baseFolder + QLatin1String(BackupCfgFileName);

    const TEarlyOptions options = ScanEarlyOptions(args);
    env.Portable = options.Portable;
    const QString iniValue = options.RememberedIniValue(env.ProgramDir, ExpandEnvironmentReferences);
    if (!iniValue.isEmpty())
        env.BackupCfgName = BackupCfgNameFor(iniValue, env.Portable, env, currentDir);

    env.LanguageCode = options.LanguageCode;
    if (env.LanguageCode.isEmpty())
        env.LanguageCode = ConfiguredLanguageCode(env.BackupCfgName);
    if (env.LanguageCode.isEmpty())
        env.LanguageCode = LocaleLanguageCode();
    // Catalogue folders are named in lower case, and file names here compare with case.
    env.LanguageCode = env.LanguageCode.toLower();
    return env;
}

void InitLanguage(const QString &languageCode, const QString &localeDir)
{
    InitTranslation(localeDir);
    // glibc takes the language from LANGUAGE, but ignores it while the messages locale is
    // "C"; C.UTF-8 behaves the same otherwise and lets LANGUAGE through.
    const char *messages = std::setlocale(LC_MESSAGES, nullptr);
    if (!messages || std::strcmp(messages, "C") == 0 || std::strcmp(messages, "POSIX") == 0)
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    qputenv("LANGUAGE", languageCode.toLatin1());
    // gettext keeps the translations it has looked up until this counter changes.
    ++_nl_msg_cat_cntr;
}

void InitFolders(TProgramEnv &env)
{
    env.AppPath = DefaultAppPath(env.ProgramDir);
    env.UserPath = SetDirName(GetDocumentsFolder());
    env.ProgPath = SetDirName(GetProgramFilesFolder());
    env.JobDir = env.UserPath + QStringLiteral("Arkivo/");
}

void InitIdentity(TProgramEnv &env)
{
    QString name = QStringLiteral("AkStarter");
    QString version = QStringLiteral(" - Vers. 4.4");
    if (const std::optional<TFileVersionInfo> info = ReadVersionInfo(env.ProgramFile)) {
        if (!info->InternalName.isEmpty())
            name = info->InternalName;
        version = info->Version.isEmpty() ? QStringLiteral("0.0.0.0") : info->Version;
    }
    env.ProgVersName =
        name + QStringLiteral(" (") + Tr("Version") + u' ' + version.section(u'.', 0, 2) + u')';
    const QDateTime modified = QFileInfo(env.ProgramFile).lastModified();
    env.ProgVersDate =
        modified.isValid() ? QLocale::system().toString(modified.date(), QLocale::ShortFormat) : QString();
    env.PlatformSuffix = IsProcess64() ? Tr(" - 64-bit") : Tr(" - 32-bit");
}

QString FindBackupProgram(const QString &programDir, const QString &currentDir)
{
    // A full name: the backup program is started under another account in its home folder.
    const QString name = QLatin1String(BackupProgramName);
    for (const QString &candidate : {ExpandPath(currentDir, name), AddPath(programDir, name)}) {
        if (IsAbsolutePath(candidate) && IsProgramFile(candidate))
            return candidate;
    }
    const QString registered = ReadRegistryString(rrLocalMachine, RegistryKey, QStringLiteral("Program"));
    if (!registered.isEmpty()) {
        const QString candidate = ExpandPath(currentDir, registered);
        if (IsProgramFile(candidate))
            return candidate;
    }
    return QStandardPaths::findExecutable(name);
}

void InitIniLocation(TProgramEnv &env, const QString &iniOption)
{
    env.IniDir = RegistryIniFolder(env.ProgramDir);
    if (env.IniDir.isEmpty())
        env.IniDir = env.AppPath;
    if (!QDir().mkpath(env.IniDir)) {
        env.IniDir = env.AppPath;
        // The configuration is saved there later; a failure shows then.
        QDir().mkpath(env.IniDir);
    }

    env.AIniPath.clear();
    const QString value = ExpandFolderPlaceholders(iniOption, env.ProgramDir);
    const QString defaultName = env.ProgramBaseName + QStringLiteral(".ini");
    if (value.isEmpty()) {
        // Also an "ini" value that expands to nothing: there is no file name to use.
        env.IniName = env.IniDir + defaultName;
        MigrateIniFile(env);
    } else if (IsAbsolutePath(value)) {
        const QString full = QDir::cleanPath(value);
        if (value.endsWith(PathDelim) || GetFileExtension(full).isEmpty())
            env.IniName = SetDirName(full) + defaultName;
        else
            env.IniName = full;
        env.AIniPath = FolderOf(env.IniName);
    } else {
        env.IniName = env.AppPath + value;
        if (!value.contains(u'.'))
            env.IniName += QStringLiteral(".ini");
    }
    if (!env.AIniPath.isEmpty())
        env.IniDir = env.AIniPath;
    env.BackupIniName = env.IniDir + QLatin1String(BackupIniFileName);
}

QString ExpandEnvironmentReferences(const QString &text)
{
    // Text still to scan, each piece followed by the value that replaced a token there.
    // Values are kept apart so that a "%" inside one is never taken for a reference.
    struct TPiece
    {
        QString Text;
        QString ValueAfter;
    };
    std::deque<TPiece> pieces{{text, QString()}};
    QString result;
    while (!pieces.empty()) {
        TPiece piece = std::move(pieces.front());
        pieces.pop_front();
        const qsizetype open = piece.Text.indexOf(u'%');
        const qsizetype close = open < 0 ? -1 : piece.Text.indexOf(u'%', open + 1);
        if (open >= 0 && close < 0) {
            // A "%" without a partner ends the scan: the rest stays as it is.
            result += piece.Text + piece.ValueAfter;
            for (const TPiece &rest : pieces)
                result += rest.Text + rest.ValueAfter;
            break;
        }
        if (open < 0) {
            result += piece.Text + piece.ValueAfter;
            continue;
        }
        const QString token = piece.Text.mid(open, close - open + 1);
        const QString name = token.mid(1, token.size() - 2);
        const QString value = name.isEmpty() ? QString() : qEnvironmentVariable(qPrintable(name));
        result += piece.Text.left(open) + value;

        // Every later occurrence of the token is replaced too.
        std::deque<TPiece> rest;
        const auto split = [&](const QString &source, const QString &valueAfter) {
            const QStringList parts = source.split(token);
            for (qsizetype i = 0; i < parts.size(); ++i)
                rest.push_back({parts[i], i + 1 < parts.size() ? value : valueAfter});
        };
        split(piece.Text.mid(close + 1), piece.ValueAfter);
        for (const TPiece &later : pieces)
            split(later.Text, later.ValueAfter);
        pieces = std::move(rest);
    }
    return result;
}

QString LocaleLanguageCode()
{
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString locale = qEnvironmentVariable(variable);
        if (locale.isEmpty())
            continue;
        const QString language = locale.section(u'_', 0, 0).section(u'.', 0, 0).section(u'@', 0, 0);
        if (language == QLatin1String("C") || language == QLatin1String("POSIX") || language.size() < 2)
            return QStringLiteral("en");
        const QString code = language.left(2).toLower();
        const auto isLetter = [](QChar c) { return c >= u'a' && c <= u'z'; };
        return isLetter(code[0]) && isLetter(code[1]) ? code : QStringLiteral("en");
    }
    return QStringLiteral("en");
}

QStringList RegistryFileNames(TRegistryRoot root)
{
    const QString relative = QLatin1String(AppFolderName) + QStringLiteral("/registry.ini");
    if (root == rrCurrentUser) {
        const QString roaming = GetAppDataFolder();
        return roaming.isEmpty() ? QStringList() : QStringList{SetDirName(roaming) + relative};
    }
    QStringList folders;
    for (const QString &folder : qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts)) {
        // The XDG rules ignore relative entries.
        if (IsAbsolutePath(folder))
            folders << SetDirName(folder) + relative;
    }
    if (folders.isEmpty())
        folders << QStringLiteral("/etc/xdg/") + relative;
    return folders;
}

QString ReadRegistryString(TRegistryRoot root, const QString &key, const QString &name)
{
    for (const QString &fileName : RegistryFileNames(root)) {
        try {
            const TIniDocument registry(fileName);
            const QString value = registry.ReadString(key, name, QString());
            if (!value.isEmpty())
                return value;
        } catch (const EExtFileStreamError &) {
            // An unreadable file counts as a missing key.
        }
    }
    return QString();
}
