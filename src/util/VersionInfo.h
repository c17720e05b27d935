#pragma once

#include <QString>

#include <optional>

// The version texts of a program file, each trimmed at the end; a missing one is empty.
struct TFileVersionInfo
{
    QString Company;
    QString Description;
    QString Version;
    QString InternalName;
    QString Copyright;
    QString Comments;
};

// Reads the version block that our executables embed (see cmake/VersionBlock.cmake):
// the marker "\x7f" "AKVERSIONBLOCK\n", lines "Key=Value\n", an empty line. Any file is
// scanned for the first occurrence of the marker that is followed by a well-formed block.
// Empty when the file is missing, not a regular file, or holds no such block.
std::optional<TFileVersionInfo> ReadVersionInfo(const QString &fileName);

// The file version without its last dot-separated part ("4.4.26.0" gives "4.4.26"), or
// def when the file has no version.
QString GetFileVersionText(const QString &fileName, const QString &def);
