// The message dialog and the answer dialog with sample texts, including texts too large
// for the screen.
#include "Screenshots.h"

#include "ui/SelectDlg.h"
#include "ui/ShowMessageDlg.h"

#include <QStringList>

namespace {

QString ManyLines(int ACount)
{
    QStringList lines;
    for (int i = 1; i <= ACount; ++i)
        lines << QStringLiteral("Line %1 of a long report about the backup task file Daily-%1.buj").arg(i);
    return lines.join(QLatin1Char('\n'));
}

QString LongParagraph()
{
    QString text;
    while (text.size() < 10000)
        text +=
            QStringLiteral("The backup of the group could not be started because the folder is missing. ");
    return text;
}

QStringList Answers(int ACount)
{
    QStringList answers;
    for (int i = 1; i <= ACount; ++i)
        answers << QStringLiteral("Answer %1").arg(i);
    return answers;
}

const QStringList EndActions{QStringLiteral("Only backup"),        QStringLiteral("Backup + Standby"),
                             QStringLiteral("Backup + Hibernate"), QStringLiteral("Backup + Logoff"),
                             QStringLiteral("Backup + Restart"),   QStringLiteral("Backup + Shutdown")};

const TScreenshotRegistrar msgInfo("msg-info", [] {
    InfoMsgDlg(QStringLiteral("The group \"Daily\" was saved.\nIt holds 3 task files."));
});
const TScreenshotRegistrar msgWarning("msg-warning", [] {
    ShowMsgDlg(CenterPos, QStringLiteral("The password of user \"backup\" is not stored."), 0, mdtWarning,
               mbNone);
});
const TScreenshotRegistrar msgError("msg-error", [] {
    ErrorMsgDlg(QStringLiteral("\"arkivo\" not found on this system!"));
});
const TScreenshotRegistrar msgTitle("msg-title", [] { InfoMsgDlg(QStringLiteral("Backup|Done")); });
const TScreenshotRegistrar msgConfirm("msg-confirm", [] {
    ConfirmMsgDlg(QStringLiteral("Delete the group \"Weekly\" with its 12 task files?"));
});
const TScreenshotRegistrar msgConfirmError("msg-confirm-error", [] {
    ShowMsgDlg(CenterPos, QStringLiteral("The mail could not be sent.\nSend it again?"), 0, mdtConfirmError,
               mbYes);
});
const TScreenshotRegistrar msgRetry("msg-retry",
                                    [] { RetryMsgDlg(QStringLiteral("The backup drive is not ready.")); });
const TScreenshotRegistrar msgConfirmCancel("msg-confirm-cancel", [] {
    ShowMsgDlg(CenterPos, QStringLiteral("Overwrite the existing shortcut?"), 0, mdtConfirmCancel, mbYes);
});
const TScreenshotRegistrar msgYesNoCancel("msg-yes-no-cancel", [] {
    ShowMsgDlg(CenterPos, QStringLiteral("Save the changes to the group \"Daily\"?"), 0, mdtConfirmYesNo,
               mbNo);
});
const TScreenshotRegistrar msgHint("msg-hint", [] {
    TypedMsgDlg(QStringLiteral("Starts the backups of the shown group"), mdtCustom);
});
const TScreenshotRegistrar msgManyLines("msg-500-lines", [] { ErrorMsgDlg(ManyLines(500)); });
const TScreenshotRegistrar msgLongText("msg-10000-chars", [] { ErrorMsgDlg(LongParagraph()); });
const TScreenshotRegistrar msgOneWord("msg-10000-char-word",
                                      [] { ErrorMsgDlg(QString(10000, QLatin1Char('x'))); });

const TScreenshotRegistrar selectEndAction("select-end-action", [] {
    ShowSelectDialog(QStringLiteral("Arkivo"),
                     QStringLiteral("Start configurated backups as different user:\r\nDaily, Weekly"),
                     mdtConfirm, cfBold, EndActions,
                     QStringLiteral("Terminate all running programs before starting backups"), 200, -1);
});
const TScreenshotRegistrar selectDelete("select-delete-folder", [] {
    ShowSelectDialog(QStringLiteral("Delete directory"), QStringLiteral("Delete \"/home/anna/Backups/2023\""),
                     mdtConfirm, cfBold, {QStringLiteral("Definitely"), QStringLiteral("To recycle bin")},
                     QString());
});
const TScreenshotRegistrar selectSeven("select-seven", [] {
    ShowSelectDialog(QString(), QStringLiteral("Which one?"), mdtInformation, cfNormal, Answers(7),
                     QStringLiteral("Remember the answer"), 0, 257);
});
const TScreenshotRegistrar selectEmpty("select-no-answers", [] {
    ShowSelectDialog(QString(), QStringLiteral("Nothing to choose."), mdtWarning, cfNormal, {}, QString(), 0,
                     -1, QStringLiteral("OK"));
});
const TScreenshotRegistrar selectForty("select-40-answers", [] {
    ShowSelectDialog(QString(), ManyLines(30), mdtCustom, cfNormal, Answers(40), QStringLiteral("Option"));
});

} // namespace
