#include "mail/MailData.h"

#include "config/UnicodeIniFile.h"
#include "mail/PasswordCrypt.h"
#include "util/Translate.h"

namespace {

const QString MailSection = QStringLiteral("Mail");

// The stored text of a password; a longer one is cut at a character boundary first.
QString EncryptMailPassword(const QByteArray &password)
{
    if (password.size() <= PasswordMaxLen)
        return EncryptPassword(ProgramPassPhrase(), password);
    return EncryptPassword(ProgramPassPhrase(), PasswordToBytes(PasswordFromBytes(password)));
}

} // namespace

QString DefaultMailSubject()
{
    return Tr("AkStarter error report");
}

TMailData TMailData::DefaultValues()
{
    return TMailData();
}

void TMailData::LoadFromIni(const TIniDocument &AIni)
{
    SMTP = AIni.ReadString(MailSection, QStringLiteral("SMTP"), QString());
    Port = AIni.ReadInteger(MailSection, QStringLiteral("Port"), 25);
    Username = AIni.ReadString(MailSection, QStringLiteral("Username"), QString());
    Password = DecryptPassword(ProgramPassPhrase(),
                               AIni.ReadString(MailSection, QStringLiteral("Password"), QString()));
    Sender = AIni.ReadString(MailSection, QStringLiteral("Sender"), QStringLiteral("AkStarter"));
    ReplyTo = AIni.ReadString(MailSection, QStringLiteral("ReplyTo"), QString());
    Recipients = AIni.ReadString(MailSection, QStringLiteral("Recipients"), QString());
    Subject = AIni.ReadString(MailSection, QStringLiteral("Subject"), DefaultMailSubject());
    SecureMode = TSecTransfer(AIni.ReadInteger(MailSection, QStringLiteral("UseTLS"), stNone));
    Enabled = AIni.ReadBool(MailSection, QStringLiteral("Enabled"), false);
    if (SMTP.isEmpty() || Recipients.isEmpty())
        Enabled = false;
}

void TMailData::SaveToIni(TIniDocument &AIni) const
{
    AIni.EraseSection(MailSection);
    AIni.WriteString(MailSection, QStringLiteral("SMTP"), SMTP);
    AIni.WriteInteger(MailSection, QStringLiteral("Port"), Port);
    AIni.WriteString(MailSection, QStringLiteral("Username"), Username);
    AIni.WriteString(MailSection, QStringLiteral("Password"), EncryptMailPassword(Password));
    AIni.WriteString(MailSection, QStringLiteral("Sender"), Sender);
    AIni.WriteString(MailSection, QStringLiteral("ReplyTo"), ReplyTo);
    AIni.WriteString(MailSection, QStringLiteral("Recipients"), Recipients);
    AIni.WriteString(MailSection, QStringLiteral("Subject"), Subject);
    AIni.WriteInteger(MailSection, QStringLiteral("UseTLS"), SecureMode);
    AIni.WriteBool(MailSection, QStringLiteral("Enabled"), Enabled);
}
