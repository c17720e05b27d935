#include "mail/ErrorReport.h"

bool SendErrorReport(const TMailData &AMailData, const QStringList &ALogList)
{
    if (!AMailData.Enabled || ALogList.isEmpty())
        return false;
    // The place of the mailer: build the report from ALogList and send it with AMailData.
    return false;
}
