#include "support/TaskFiles.h"

#include "support/TestSupport.h"

namespace TestSupport {

bool WriteTaskFile(const QString &fileName, const TTaskFile &task)
{
    // Concatenated, not formatted: values may hold "%" placeholders.
    QString text = QStringLiteral("[Global]\nDestination=") + task.Destination +
                   QStringLiteral("\nLogName=") + task.LogName + QStringLiteral("\nBackupCount=") +
                   QString::number(task.BackupCount) + QStringLiteral("\n");
    for (qsizetype i = 0; i < task.Sources.size(); ++i) {
        text += QStringLiteral("[Dir") + QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')) +
                QStringLiteral("]\nSource=") + task.Sources[i] + QStringLiteral("\n");
        if (i == 0)
            text += QStringLiteral("Volume=") + task.Volume + QStringLiteral("\n");
    }
    return WriteAll(fileName, text.toUtf8());
}

} // namespace TestSupport
