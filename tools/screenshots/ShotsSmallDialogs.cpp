// The password dialogs, the small dialogs and the number and check-list controls with
// sample texts, including texts too large for the screen.
#include "Screenshots.h"

#include "ui/CharTableDlg.h"
#include "ui/CheckBoxes.h"
#include "ui/EditHistListDlg.h"
#include "ui/InpText.h"
#include "ui/ListSelectDlg.h"
#include "ui/MemoDlg.h"
#include "ui/NewPwdDlg.h"
#include "ui/NumberEd.h"
#include "ui/PwdDlg.h"

#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QStringList>

namespace {

QString ManyLines(int ACount, const QString &AText)
{
    QStringList lines;
    for (int i = 1; i <= ACount; ++i)
        lines << AText.arg(i);
    return lines.join(QLatin1Char('\n'));
}

QString LongParagraph()
{
    return QStringLiteral("The password of the account is needed to start the backup of the group. ")
        .repeated(140);
}

const QStringList WeekDays{"Monday|Mo", "Tuesday|Tu",  "Wednesday|We", "Thursday|Th",
                           "Friday|Fr", "Saturday|Sa", "Sunday|Su"};

const TScreenshotRegistrar pwd("pwd", [] {
    QString password;
    AskPassword(CenterPos, QStringLiteral("Backup group \"Daily\""),
                QStringLiteral("Password of user \"backup\"\nfor the group \"Daily\":"), password);
});
const TScreenshotRegistrar pwdSkip("pwd-skip-depth", [] {
    QString password;
    int depth = 2;
    ShowPasswordDialog(CenterPos, QStringLiteral("Scheduled task"),
                       QStringLiteral("Password of user \"backup\":"), depth, password, true, true);
});
const TScreenshotRegistrar pwdLong("pwd-long-prompt", [] {
    QString password;
    AskPassword(CenterPos, QStringLiteral("Long prompt"), LongParagraph(), password);
});
const TScreenshotRegistrar pwdLines("pwd-500-lines", [] {
    QString password;
    AskPassword(CenterPos, QStringLiteral("Many lines"), ManyLines(500, QStringLiteral("Prompt line %1")),
                password);
});
const TScreenshotRegistrar newPwd("newpwd-confirm", [] {
    TNewPwdDialog dialog;
    QString password = QStringLiteral("Tr0ub4dor&3");
    dialog.Execute(CenterPos, QStringLiteral("Password of user \"backup\""), password, true, true, 2);
});
const TScreenshotRegistrar newPwdSimple("newpwd-simple", [] {
    QString password;
    AskNewPassword(QStringLiteral("Password for the program"), password);
});
const TScreenshotRegistrar inputText("input-text", [] {
    QString text = QStringLiteral("Daily");
    InputText(CenterPos, QStringLiteral("New backup group"), QStringLiteral("Name of the new group:"), true,
              text);
});
const TScreenshotRegistrar inputHistory("input-history", [] {
    QStringList history{"alice@example.org", "bob@example.org", "carol@example.org"};
    QString text = QStringLiteral("bob@example.org");
    InputTextEx(CenterPos, QStringLiteral("Mail address"), QStringLiteral("Address of the recipient:"), false,
                QString(), &history, false, text);
});
const TScreenshotRegistrar inputLong("input-long", [] {
    QString text = QString(10000, QLatin1Char('w'));
    InputText(CenterPos, QString(), LongParagraph(), true, text);
});
const TScreenshotRegistrar charTable("chartable", [] { SelectChar(CenterPos, QString()); });
const TScreenshotRegistrar editList("edithist", [] {
    QStringList groups{"Daily", "Weekly", "Monthly documents", "Photos", "Mail archive"};
    int index = 1;
    EditHistList(CenterPos, QStringLiteral("Edit group list"), QStringLiteral("Backup groups"), groups, true,
                 true, index);
});
const TScreenshotRegistrar editListLong("edithist-long", [] {
    QStringList groups =
        ManyLines(300, QStringLiteral("Group %1 with a rather long name")).split(QLatin1Char('\n'));
    int index = 299;
    EditHistList(CenterPos, QString(), LongParagraph(), groups, true, true, index);
});
const TScreenshotRegistrar memo("memo", [] {
    QString text = QStringLiteral("<QueryList>\n  <Query Id=\"0\" Path=\"System\">\n"
                                  "    <Select Path=\"System\">*[System[Provider[@Name='Power'] and "
                                  "(EventID=1)]]</Select>\n  </Query>\n</QueryList>");
    EditMemoText(CenterPos, QStringLiteral("Event"), QStringLiteral("Event query:"), text);
});
const TScreenshotRegistrar memoLong("memo-long", [] {
    QString text =
        ManyLines(500, QStringLiteral("Line %1 of a long event query that is wider than any dialog "
                                      "should ever be on a screen of this size"));
    EditMemoText(CenterPos, QStringLiteral("Event"), LongParagraph(), text);
});

// The controls on a dialog of their own, as the main window and the wizard use them.
const TScreenshotRegistrar controls("controls", [] {
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Controls"));
    auto *form = new QFormLayout(&dialog);

    auto *delayRow = new QHBoxLayout;
    auto *delay = new TRangeEdit(&dialog);
    delay->setObjectName(QStringLiteral("edDelay"));
    delay->SetMinValue(0);
    delay->SetMaxValue(3600);
    delay->SetValue(10);
    auto *upDown = new TNumUpDown(&dialog);
    upDown->setObjectName(QStringLiteral("udDelay"));
    upDown->SetAssociate(delay);
    upDown->SetIncrement(5);
    delayRow->addWidget(delay);
    delayRow->addWidget(upDown);
    delayRow->setSpacing(0);
    form->addRow(QStringLiteral("Start delay:"), delayRow);

    auto *hex = new TNumberEdit(&dialog);
    hex->SetNumMode(nmHex);
    hex->SetBits(16);
    hex->SetBytes(true);
    hex->SetValue(4660);
    form->addRow(QStringLiteral("Hexadecimal bytes:"), hex);

    auto *days = new TCheckComboBox(&dialog);
    days->addItems(WeekDays);
    days->SetHintPrefix(QStringLiteral("Days: "));
    days->SetDefaultIndex(0);
    days->SetChecked(0, true);
    days->SetChecked(2, true);
    form->addRow(QStringLiteral("Weekdays:"), days);

    auto *months = new TCheckComboBox(&dialog);
    months->addItems({"January|Jan", "February|Feb", "March|Mar"});
    months->SetCaption(QStringLiteral("every month"));
    form->addRow(QStringLiteral("Months:"), months);

    // The popup list drawn in place, as the viewer shows it.
    auto *list = new TListSelectDialog(&dialog);
    list->setWindowFlags(Qt::Widget);
    list->Assign({{"UTF-8 (65001)", 65001}, {"Western (1252)", 1252}, {"DOS Latin 1 (850)", 850}}, 0);
    list->setFixedSize(200, list->ItemHeight() * 3 + 6);
    form->addRow(QStringLiteral("Code pages:"), list);
    dialog.exec();
});

} // namespace
