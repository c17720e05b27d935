#include "backup/TaskFile.h"

#include "backup/Placeholders.h"
#include "config/ProgramEnv.h"
#include "config/UnicodeIniFile.h"
#include "util/Errors.h"
#include "util/FileUtils.h"

#include <QFileInfo>

std::optional<TBackupTaskInfo> ReadBackupTaskInfo(const QString &ATaskFile)
{
    if (ATaskFile.isEmpty() || !QFileInfo(ATaskFile).isFile())
        return std::nullopt;
    try {
        const TIniDocument task(ATaskFile);
        const QString global = QStringLiteral("Global");
        TBackupTaskInfo info;
        info.LogName = task.ReadString(global, QStringLiteral("LogName"), QString());
        info.Destination = task.ReadString(global, QStringLiteral("Destination"), QString());
        info.BackupCount = task.ReadInteger(global, QStringLiteral("BackupCount"), 1);
        info.Volume = task.ReadString(QStringLiteral("Dir000"), QStringLiteral("Volume"), QString());
        return info;
    } catch (const EExtFileStreamError &) {
        return std::nullopt;
    }
}

QString GetBackupLogName(const QString &ATaskFile, const QString &ALogDir)
{
    const std::optional<TBackupTaskInfo> task = ReadBackupTaskInfo(ATaskFile);
    if (!task)
        return QString();
    const TProgramEnv &env = ProgramEnv();

    QString name;
    if (task->LogName.isEmpty()) {
        const QString program = env.AkPath.isEmpty() ? QLatin1String(BackupProgramName) : env.AkPath;
        name = NewExtension(QFileInfo(program).fileName(), QStringLiteral("log"));
    } else {
        const QString pattern =
            QString(task->LogName)
                .replace(QLatin1String("%taskname%"), DelExtension(QFileInfo(ATaskFile).fileName()),
                         Qt::CaseInsensitive);
        QString dest = task->Destination;
        if (pattern.startsWith(QLatin1String("%dest%"), Qt::CaseInsensitive) && IsVolumeAvailable(dest))
            dest = ExpandDestPlaceholders(ResolveDestination(dest), task->Volume, task->BackupCount);
        name = ExpandLogPlaceholders(pattern, dest);
    }

    // A name that expands to nothing names no file, not the log folder.
    if (name.isEmpty())
        return QString();
    // A full path, or one that names its volume by label, is taken as it is.
    if (IsAbsolutePath(name) || name.startsWith(u':'))
        return name;
    return AddPath(!ALogDir.isEmpty() && QFileInfo(ALogDir).isDir() ? ALogDir : env.IniDir, name);
}
