#include "mail/MailHistory.h"

#include "config/UnicodeIniFile.h"
#include "util/Errors.h"
#include "util/FileUtils.h"

#include <QDebug>

namespace {

struct THistorySection
{
    QStringList TMailHistory::*List;
    const char *Section;
    const char *Stem;
    // Server and user names offer only the most recent ones; every address is kept.
    int ReadCount;
};

constexpr THistorySection HistorySections[] = {
    {&TMailHistory::Servers, "SmtpServer", "History", 15},
    {&TMailHistory::Users, "MailUser", "History", 15},
    {&TMailHistory::Addresses, "MailTo", "Address", MaxHistoryCount},
};

} // namespace

void TMailHistory::LoadFromIni(const QString &AIniName)
{
    if (!FIniName.isEmpty() || AIniName.isEmpty())
        return;
    FIniName = AIniName;
    try {
        const TIniDocument ini(FIniName);
        for (const THistorySection &history : HistorySections)
            ReadHistory(ini, QString::fromLatin1(history.Section), QString::fromLatin1(history.Stem), false,
                        history.ReadCount, this->*history.List);
    } catch (const EExtFileStreamError &error) {
        qWarning().noquote() << error.Message();
    }
}

bool TMailHistory::SaveToIni() const
{
    if (FIniName.isEmpty())
        return true;
    try {
        TIniDocument ini(FIniName);
        for (const THistorySection &history : HistorySections)
            WriteHistory(ini, QString::fromLatin1(history.Section), QString::fromLatin1(history.Stem), false,
                         this->*history.List, true);
        ini.UpdateFile();
        return true;
    } catch (const EAkError &error) {
        qWarning().noquote() << error.Message();
        return false;
    }
}
