#pragma once

#include <QString>

// Facts about the running system: user and computer names, the folders that stand in
// for the Windows special folders, and the bitness of kernel and process. Folders come
// without a trailing "/"; a fact that cannot be found is empty text.

// The effective user's name from the password database.
QString GetUserLogonName();
// The "domain\user" form: Linux has no NetBIOS domain, so this is the plain name.
QString GetDomainUserName();
// The host name up to its first dot.
QString GetComputerNameText();

// $HOME, else the effective user's home from the password database.
QString GetUserProfileFolder();
// Roaming application data: $XDG_CONFIG_HOME, else ~/.config.
QString GetAppDataFolder();
// Local application data: $XDG_DATA_HOME, else ~/.local/share.
QString GetLocalAppDataFolder();
// The XDG user folders (user-dirs.dirs in the configuration folder), else ~/Documents,
// ~/Desktop and ~/Public.
QString GetDocumentsFolder();
QString GetDesktopFolder();
QString GetPublicFolder();
// There are no favourites: always empty.
QString GetFavoritesFolder();
// The folder above the running program's folder: the installation prefix when the
// program lies in <prefix>/bin.
QString GetProgramFilesFolder();
// The machine-wide data folder (the all-users profile and ProgramData on Windows).
QString GetAllUsersFolder();

// True when the running kernel's machine is a 64-bit one.
bool IsWindows64();
// True when this program is a 64-bit build.
bool IsProcess64();
