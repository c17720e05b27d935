#pragma once

#include <QString>
#include <QStringList>

// The suggestions of the mail settings: server names, user names and mail addresses. They
// live in the backup program's INI file, whose own mail settings offer the same lists.
class TMailHistory
{
public:
    QStringList Servers;   // section "SmtpServer", keys "History0", ...
    QStringList Users;     // section "MailUser", keys "History0", ...
    QStringList Addresses; // section "MailTo", keys "Address0", ...

    // The first call with a non-empty file name remembers it and reads the three lists;
    // later calls do nothing. A missing section, or a file that cannot be read (reported
    // with qWarning), leaves its list as it is.
    void LoadFromIni(const QString &AIniName);
    // Writes the three lists to the remembered file in its own encoding, each section
    // erased first; nothing when none was loaded. False when the file could not be read
    // or saved (reported with qWarning): the file is then left as it was.
    bool SaveToIni() const;

    const QString &IniName() const { return FIniName; }

private:
    QString FIniName;
};
