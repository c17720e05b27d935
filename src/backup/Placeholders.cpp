#include "backup/Placeholders.h"

#include "config/ProgramEnv.h"
#include "util/SystemInfo.h"

#include <QDir>

#include <functional>
#include <initializer_list>

namespace {

// One placeholder with the text that stands for it. The value is only computed when the
// placeholder occurs, since some values read files or the password database.
struct TPlaceholder
{
    const char *Name;
    std::function<QString()> Value;
};

// Replaces the placeholders one after the other, each over the whole text, so that a
// replacement that looks like a later placeholder is expanded as well.
QString ReplacePlaceholders(QString text, std::initializer_list<TPlaceholder> placeholders)
{
    for (const TPlaceholder &placeholder : placeholders) {
        const QString name = QLatin1String(placeholder.Name);
        if (text.contains(name, Qt::CaseInsensitive))
            text.replace(name, placeholder.Value(), Qt::CaseInsensitive);
    }
    return text;
}

QString Empty()
{
    return QString();
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
