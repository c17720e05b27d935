#include "mail/ErrorReport.h"

#include "config/ProgramEnv.h"
#include "mail/Mime.h"
#include "mail/PasswordCrypt.h"
#include "mail/SmtpMailer.h"
#include "util/StrUtils.h"
#include "util/Translate.h"

#include <exception>
#include <memory>

namespace {

const QString ReportSenderName = QStringLiteral("AkStarter");

// The sender: a setting without "@" is a display name for the reply address, an address
// goes out under the program's name. Only the address part of "Name <address>" is taken,
// as the envelope needs it bare.
TMailAddress ReportSender(const TMailData &AMailData)
{
    if (!AMailData.Sender.contains(u'@'))
        return {AMailData.Sender, ParseAddress(AMailData.ReplyTo).Address};
    return {ReportSenderName, ParseAddress(AMailData.Sender).Address};
}

// The report is the mailer's only use, so it lives for one send.
std::unique_ptr<TSmtpMailer> CreateReportMailer()
{
    auto mailer =
        std::make_unique<TSmtpMailer>(nullptr, ProgramEnv().ProgramDir, QString::fromLatin1(SmtpRootFileName),
                                      QString::fromLatin1(SmtpCertFileName),
                                      QString::fromLatin1(SmtpKeyFileName), QByteArray(ReportKeyPassPhrase));
    mailer->SetContentType(ctUtf8);
    return mailer;
}

void PrepareErrorReport(TSmtpMailer &AMailer, const TMailData &AMailData, const QStringList &ALogList,
                        int AErrCount)
{
    AMailer.SetSubject(AMailData.Subject.isEmpty() ? DefaultMailSubject() : AMailData.Subject);
    AMailer.SetRecipients(AMailData.Recipients);
    AMailer.SetHost(AMailData.SMTP);
    AMailer.SetPort(AMailData.Port);
    AMailer.SetUserId(AMailData.Username);
    AMailer.SetPassword(PasswordFromBytes(AMailData.Password));
    AMailer.SetSecureTransfer(AMailData.SecureMode);
    AMailer.SetHeloName(QStringLiteral("Arkivo"));
    AMailer.SetLogname(ProgramEnv().IniDir + QStringLiteral("AkSmtp.log"));
    AMailer.SetWriteLogFile(AMailData.WriteLog);

    const TMailAddress sender = ReportSender(AMailData);
    AMailer.SetFrom(sender);
    AMailer.ClearExtraHeaders();
    AMailer.AddExtraHeader(QStringLiteral("User-Agent"), ProgramEnv().ProgVersName);
    AMailer.AddExtraHeader(QStringLiteral("Sender"), sender.Address);
    AMailer.AddExtraHeader(QStringLiteral("Reply-To"), AMailData.ReplyTo);

    AMailer.ClearBody();
    // The title and the count would run together without the separator.
    AMailer.AddToBody(DefaultMailSubject() + QStringLiteral(" - ") +
                      CountText(uint64_t(qMax(AErrCount, 0)), "1 error", "%u errors") + u':');
    AMailer.AddToBody(QString());
    for (const QString &line : ALogList)
        AMailer.AddToBody(line);
}

} // namespace

bool SendErrorReport(const TMailData &AMailData, const QStringList &ALogList, int AErrCount)
{
    // A report that cannot go out must not keep the run from its end action.
    try {
        const std::unique_ptr<TSmtpMailer> mailer = CreateReportMailer();
        PrepareErrorReport(*mailer, AMailData, ALogList, AErrCount);
        return mailer->Send();
    } catch (const std::exception &) {
        return false;
    }
}
