#pragma once

#include "mail/MailData.h"

#include <QStringList>

// The error report of an unattended run: the run log, mailed to the recipients of the
// mail settings. The run calls this once, after writing its log file, when mail is
// enabled and errors occurred.
//
// The SMTP mailer is not written yet: until it fills in this function, nothing is sent
// and the result is always false.
bool SendErrorReport(const TMailData &AMailData, const QStringList &ALogList);
