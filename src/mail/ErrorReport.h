#pragma once

#include "mail/MailData.h"

#include <QStringList>

// The error report of an unattended run: the run log, mailed to the recipients of the
// mail settings.

// The pass phrase of the client key file "arkivo.key" that ships with the product.
inline constexpr const char *ReportKeyPassPhrase = "Ak-Rep.Key#206";

// Mails the report of a run with AErrCount errors. The run alone decides whether to send
// (mail enabled and errors counted); this sends whenever it is called. The mailer takes
// its TLS files from the program's folder and writes its protocol log "AkSmtp.log" to the
// settings folder when AMailData.WriteLog is set. Silent: a failed send is not shown and
// changes nothing in the run; only the protocol log tells why. True when the server took
// the mail.
bool SendErrorReport(const TMailData &AMailData, const QStringList &ALogList, int AErrCount);
