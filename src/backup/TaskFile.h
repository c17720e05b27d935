#pragma once

#include <QString>

#include <optional>

// What the starter reads of a backup task file: only what it needs to find the log that
// the backup program writes for the task.
struct TBackupTaskInfo
{
    QString LogName;     // log file name pattern, may hold placeholders
    QString Destination; // the task's backup destination
    int BackupCount = 1; // counter for the destination's "%v#N%"; 1 when missing or not a number
    QString Volume;      // volume name of the first source folder
};

// Reads the keys from the task file; nothing when it does not exist (a folder does not
// count) or cannot be read.
std::optional<TBackupTaskInfo> ReadBackupTaskInfo(const QString &ATaskFile);

// The log file of a task, or empty when none can be given. A relative log name lies in
// ALogDir when that folder exists, else in the settings folder (ProgramEnv().IniDir);
// without a log name it is the backup program's name with the extension "log".
QString GetBackupLogName(const QString &ATaskFile, const QString &ALogDir);
