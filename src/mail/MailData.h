#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

class TIniDocument;

// How the mail connection is secured. Stored as its ordinal; a stored number outside
// this list is kept as it was read (the mailer treats it as no TLS).
enum TSecTransfer : int
{
    stNone,
    stExplicit,
    stRequired,
    stImplicit
};

// The mail settings for the error report after an unattended run.
struct TMailData
{
    QString SMTP;
    QString Username;
    // 8-bit text in the locale's character set.
    QByteArray Password;
    QString Sender;
    QString ReplyTo;
    // Comma-separated addresses.
    QString Recipients;
    QString Subject;
    int32_t Port = 25;
    TSecTransfer SecureMode = stNone;
    // Not stored: lasts until the program ends.
    bool WriteLog = false;
    bool Enabled = false;

    // The settings of a new dialog: every text empty, port 25, no TLS, nothing enabled.
    static TMailData DefaultValues();

    // Reads the stored fields from section "Mail"; a missing key gives its read default
    // (sender "AkStarter", the translated default subject). WriteLog stays as it is.
    // Mail stays disabled without server or recipients.
    void LoadFromIni(const TIniDocument &AIni);
    // Erases section "Mail" and writes it anew (so it moves to the end of the document).
    void SaveToIni(TIniDocument &AIni) const;
};

// The report's subject when none is set, translated.
QString DefaultMailSubject();
