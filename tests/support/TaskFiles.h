#pragma once

#include <QString>
#include <QStringList>

namespace TestSupport {

// The keys of a backup task file that the starter and the stand-in backup program read.
struct TTaskFile
{
    QString Destination;
    QString LogName;
    // One section "Dir000", "Dir001", ... per source folder.
    QStringList Sources;
    int BackupCount = 1;
    // The volume name of the first source section.
    QString Volume;
};

// Writes the task file as plain UTF-8 INI text, as the backup program leaves it; false
// on failure.
bool WriteTaskFile(const QString &fileName, const TTaskFile &task);

} // namespace TestSupport
