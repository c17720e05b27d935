#include "ModalDriver.h"

#include "ui/ShowMessageDlg.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

namespace {

QPushButton *Button(QWidget *ADialog, const char *AName)
{
    return ADialog->findChild<QPushButton *>(QLatin1String(AName));
}

// The captions of the visible buttons, left to right.
QStringList VisibleButtons(QWidget *ADialog)
{
    QStringList captions;
    for (const char *name : {"btLeft", "btCenter", "btClose"}) {
        if (QPushButton *button = Button(ADialog, name); button && button->isVisible())
            captions << button->text();
    }
    return captions;
}

QString DefaultButtonName(QWidget *ADialog)
{
    for (const char *name : {"btLeft", "btCenter", "btClose"}) {
        if (QPushButton *button = Button(ADialog, name); button && button->isVisible() && button->isDefault())
            return QLatin1String(name);
    }
    return {};
}

} // namespace

class TestShowMessageDlg final : public QObject
{
    Q_OBJECT

private slots:
    void buttonsAndKeysByType_data();
    void buttonsAndKeysByType();
    void yesNoFunctionsAnswer_data();
    void yesNoFunctionsAnswer();
    void titleComesFromTheText_data();
    void titleComesFromTheText();
    void emptyTextShowsNothing();
    void timedDialogClosesAfterItsDelay_data();
    void timedDialogClosesAfterItsDelay();
    void delayedDialogClosesByItself();
    void f11ClosesAnyDialog();
    void placedAtPointStaysOnWorkArea_data();
    void placedAtPointStaysOnWorkArea();
    void hugeTextsStayOnScreen_data();
    void hugeTextsStayOnScreen();
};

void TestShowMessageDlg::buttonsAndKeysByType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("defaultButton");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QString>("defaultName");
    QTest::addColumn<int>("enterResult"); // mrNone: Enter presses nothing
    QTest::addColumn<int>("escResult");

    const QStringList close{"&Close"};
    QTest::newRow("information") << int(mdtInformation) << int(mbYes) << "Information" << close << "btClose"
                                 << int(mrCancel) << int(mrCancel);
    QTest::newRow("warning") << int(mdtWarning) << int(mbNone) << "Warning" << close << "btClose"
                             << int(mrCancel) << int(mrCancel);
    QTest::newRow("error") << int(mdtError) << int(mbNone) << "Error" << close << "btClose" << int(mrCancel)
                           << int(mrCancel);
    QTest::newRow("confirm, yes default")
        << int(mdtConfirm) << int(mbYes) << "Confirm" << QStringList{"&Yes", "&No"} << "btCenter"
        << int(mrYes) << int(mrNo);
    QTest::newRow("confirm, no default") << int(mdtConfirm) << int(mbNo) << "Confirm"
                                         << QStringList{"&Yes", "&No"} << "btClose" << int(mrNo) << int(mrNo);
    QTest::newRow("confirm, no default button")
        << int(mdtConfirm) << int(mbNone) << "Confirm" << QStringList{"&Yes", "&No"} << "" << int(mrNone)
        << int(mrNo);
    QTest::newRow("confirm error") << int(mdtConfirmError) << int(mbYes) << "Error"
                                   << QStringList{"&Yes", "Cancel"} << "btCenter" << int(mrOk)
                                   << int(mrCancel);
    QTest::newRow("retry, retry default")
        << int(mdtConfirmRetry) << int(mbRetry) << "Error" << QStringList{"&Retry", "Cancel"} << "btCenter"
        << int(mrRetry) << int(mrCancel);
    QTest::newRow("retry, yes is no default for it")
        << int(mdtConfirmRetry) << int(mbYes) << "Error" << QStringList{"&Retry", "Cancel"} << ""
        << int(mrNone) << int(mrCancel);
    QTest::newRow("confirm cancel") << int(mdtConfirmCancel) << int(mbYes) << "Confirm"
                                    << QStringList{"&Yes", "Cancel"} << "btCenter" << int(mrYes)
                                    << int(mrCancel);
    QTest::newRow("yes no cancel, no default")
        << int(mdtConfirmYesNo) << int(mbNo) << "Confirm" << QStringList{"&Yes", "&No", "Cancel"}
        << "btCenter" << int(mrNo) << int(mrCancel);
    QTest::newRow("yes no cancel, yes default")
        << int(mdtConfirmYesNo) << int(mbYes) << "Confirm" << QStringList{"&Yes", "&No", "Cancel"} << "btLeft"
        << int(mrYes) << int(mrCancel);
}

void TestShowMessageDlg::buttonsAndKeysByType()
{
    QFETCH(int, type);
    QFETCH(int, defaultButton);
    QFETCH(QString, title);
    QFETCH(QStringList, buttons);
    QFETCH(QString, defaultName);
    QFETCH(int, enterResult);
    QFETCH(int, escResult);

    for (const bool useEnter : {true, false}) {
        QString shownTitle;
        QStringList shownButtons;
        QString shownDefault;
        bool iconShown = false;
        bool stillOpenAfterEnter = false;
        TModalDriver driver([&](QWidget *dialog) {
            shownTitle = dialog->windowTitle();
            shownButtons = VisibleButtons(dialog);
            shownDefault = DefaultButtonName(dialog);
            iconShown = dialog->findChild<QLabel *>("imgIcon")->isVisible();
            if (useEnter) {
                PressKey(dialog, Qt::Key_Return);
                stillOpenAfterEnter = dialog->isVisible();
                if (stillOpenAfterEnter)
                    PressKey(dialog, Qt::Key_Escape);
            } else {
                PressKey(dialog, Qt::Key_Escape);
            }
        });
        const int result = ShowMsgDlg(CenterPos, QStringLiteral("Proceed?"), 0, TMsgDialogType(type),
                                      TMsgDlgBtn(defaultButton));
        QVERIFY(driver.DialogSeen());
        QVERIFY(!driver.ClosedByDriver());
        QCOMPARE(shownTitle, title);
        QCOMPARE(shownButtons, buttons);
        QCOMPARE(shownDefault, defaultName);
        QVERIFY(iconShown);
        if (useEnter) {
            QCOMPARE(stillOpenAfterEnter, enterResult == mrNone);
            QCOMPARE(result, enterResult == mrNone ? escResult : enterResult);
        } else {
            QCOMPARE(result, escResult);
        }
    }
}

void TestShowMessageDlg::yesNoFunctionsAnswer_data()
{
    QTest::addColumn<bool>("retry"); // RetryMsgDlg, else ConfirmMsgDlg
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("expected");

    QTest::newRow("confirm: Yes") << false << "btCenter" << true;
    QTest::newRow("confirm: No") << false << "btClose" << false;
    QTest::newRow("confirm: Enter presses Yes") << false << "Enter" << true;
    QTest::newRow("confirm: Esc") << false << "Esc" << false;
    QTest::newRow("confirm: close box") << false << "close" << false;
    QTest::newRow("confirm: Alt+N") << false << "Alt+N" << false;
    QTest::newRow("retry: Retry") << true << "btCenter" << true;
    QTest::newRow("retry: Alt+R") << true << "Alt+R" << true;
    QTest::newRow("retry: Cancel") << true << "btClose" << false;
    QTest::newRow("retry: Esc") << true << "Esc" << false;
    QTest::newRow("retry: close box") << true << "close" << false;
}

void TestShowMessageDlg::yesNoFunctionsAnswer()
{
    QFETCH(bool, retry);
    QFETCH(QString, action);
    QFETCH(bool, expected);

    TModalDriver driver([&](QWidget *dialog) {
        if (action == "Esc")
            PressKey(dialog, Qt::Key_Escape);
        else if (action == "Enter")
            PressKey(dialog, Qt::Key_Return);
        else if (action == "Alt+N")
            PressKey(dialog, Qt::Key_N, Qt::AltModifier);
        else if (action == "Alt+R")
            PressKey(dialog, Qt::Key_R, Qt::AltModifier);
        else if (action == "close")
            dialog->close();
        else
            QTest::mouseClick(Button(dialog, qPrintable(action)), Qt::LeftButton);
    });
    const bool answer = retry ? RetryMsgDlg(QStringLiteral("The drive is not ready."))
                              : ConfirmMsgDlg(QStringLiteral("Delete the group?"));
    QVERIFY(driver.DialogSeen());
    QVERIFY(!driver.ClosedByDriver());
    QCOMPARE(answer, expected);
}

void TestShowMessageDlg::titleComesFromTheText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");

    QTest::newRow("title and message") << "Backup|Done"
                                       << "Backup"
                                       << "Done";
    QTest::newRow("no title") << "Done"
                              << "Error"
                              << "Done";
    QTest::newRow("empty title: standard one") << "|Done"
                                               << "Error"
                                               << "Done";
    QTest::newRow("only the first bar splits") << "A|B|C"
                                               << "A"
                                               << "B|C";
    QTest::newRow("CR LF lines") << "Backup|one\r\ntwo"
                                 << "Backup"
                                 << "one\ntwo";
}

void TestShowMessageDlg::titleComesFromTheText()
{
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(QString, message);

    QString shownTitle;
    QString shownMessage;
    TModalDriver driver([&](QWidget *dialog) {
        shownTitle = dialog->windowTitle();
        shownMessage = dialog->findChild<QLabel *>("stInfo")->text();
        PressKey(dialog, Qt::Key_Return);
    });
    ErrorMsgDlg(text);
    QVERIFY(driver.DialogSeen());
    QCOMPARE(shownTitle, title);
    QCOMPARE(shownMessage, message);
}

void TestShowMessageDlg::emptyTextShowsNothing()
{
    TModalDriver driver([](QWidget *dialog) { dialog->close(); });
    QCOMPARE(ShowMsgDlg(CenterPos, QString(), 0, mdtConfirm, mbYes), int(mrNone));
    QVERIFY(!ConfirmMsgDlg(QString()));
    QVERIFY(!driver.DialogSeen());
}

void TestShowMessageDlg::timedDialogClosesAfterItsDelay_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("key");

    // 120 ms per character of the message (the title does not count) plus 2 s.
    QTest::newRow("hint of 20 characters, any letter")
        << int(mdtCustom) << "Starts the shown grp" << 0 << 4400 << int(Qt::Key_A);
    QTest::newRow("hint with a title, Shift")
        << int(mdtCustom) << "Title|12345" << 0 << 2600 << int(Qt::Key_Shift);
    QTest::newRow("hint with a given delay, space")
        << int(mdtCustom) << "Hint" << 7 << 7000 << int(Qt::Key_Space);
    QTest::newRow("information with a delay, Enter")
        << int(mdtInformation) << "Saved" << 3 << 3000 << int(Qt::Key_Return);
}

void TestShowMessageDlg::timedDialogClosesAfterItsDelay()
{
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(int, delay);
    QFETCH(int, interval);
    QFETCH(int, key);

    bool timerActive = false;
    int shownInterval = 0;
    QStringList buttons;
    bool iconShown = true;
    QString title;
    TModalDriver driver([&](QWidget *dialog) {
        const auto *timer = dialog->findChild<QTimer *>("Timer");
        timerActive = timer->isActive();
        shownInterval = timer->interval();
        buttons = VisibleButtons(dialog);
        iconShown = dialog->findChild<QLabel *>("imgIcon")->isVisible();
        title = dialog->windowTitle();
        PressKey(dialog, key);
    });
    const int result = ShowMsgDlg(CenterPos, text, delay, TMsgDialogType(type), mbNone);
    QVERIFY(driver.DialogSeen());
    QVERIFY(!driver.ClosedByDriver());
    QVERIFY(timerActive);
    QCOMPARE(shownInterval, interval);
    QCOMPARE(result, int(mrCancel));
    if (type == mdtCustom) {
        QVERIFY(buttons.isEmpty());
        QVERIFY(!iconShown);
        QCOMPARE(title, text.contains('|') ? text.section('|', 0, 0) : QString());
    }
}

void TestShowMessageDlg::delayedDialogClosesByItself()
{
    bool seen = false;
    TModalDriver driver([&](QWidget *) { seen = true; });
    InfoMsgDlg(QStringLiteral("Closes by itself"), 1);
    QVERIFY(seen);
    QVERIFY(!driver.ClosedByDriver());
}

void TestShowMessageDlg::f11ClosesAnyDialog()
{
    bool timerActive = true;
    TModalDriver driver([&](QWidget *dialog) {
        timerActive = dialog->findChild<QTimer *>("Timer")->isActive();
        // A letter does nothing in an untimed dialog; F11 closes it.
        PressKey(dialog, Qt::Key_A);
        if (dialog->isVisible())
            PressKey(dialog, Qt::Key_F11);
    });
    QCOMPARE(ShowMsgDlg(CenterPos, QStringLiteral("Save?"), 0, mdtConfirmYesNo, mbYes), int(mrCancel));
    QVERIFY(driver.DialogSeen());
    QVERIFY(!driver.ClosedByDriver());
    QVERIFY(!timerActive);
}

void TestShowMessageDlg::placedAtPointStaysOnWorkArea_data()
{
    QTest::addColumn<QPoint>("offset");   // from the work area's top-left; negative: from its bottom-right
    QTest::addColumn<QString>("expectX"); // "point": at the point, "right": 20 (scaled) inside the right edge
    QTest::addColumn<QString>("expectY"); // "point", "bottom": 30 (scaled) above the bottom edge

    QTest::newRow("inside") << QPoint(40, 50) << "point"
                            << "point";
    QTest::newRow("beyond the right edge") << QPoint(-10, 50) << "right"
                                           << "point";
    QTest::newRow("beyond the bottom edge") << QPoint(40, -10) << "point"
                                            << "bottom";
    QTest::newRow("beyond both") << QPoint(-5, -5) << "right"
                                 << "bottom";
}

void TestShowMessageDlg::placedAtPointStaysOnWorkArea()
{
    QFETCH(QPoint, offset);
    QFETCH(QString, expectX);
    QFETCH(QString, expectY);

    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    const int areaRight = area.x() + area.width();
    const int areaBottom = area.y() + area.height();
    const QPoint point(offset.x() >= 0 ? area.x() + offset.x() : areaRight + offset.x(),
                       offset.y() >= 0 ? area.y() + offset.y() : areaBottom + offset.y());
    QRect frame;
    TModalDriver driver([&](QWidget *dialog) {
        frame = dialog->frameGeometry();
        PressKey(dialog, Qt::Key_Escape);
    });
    InfoMsgDlgAt(point, QStringLiteral("A message near the control"));
    QVERIFY(driver.DialogSeen());
    QCOMPARE(frame.x(),
             expectX == "point" ? point.x() : areaRight - frame.width() - ScaleForScreen(20, screen));
    QCOMPARE(frame.y(),
             expectY == "point" ? point.y() : areaBottom - frame.height() - ScaleForScreen(30, screen));
}

void TestShowMessageDlg::hugeTextsStayOnScreen_data()
{
    QTest::addColumn<QString>("text");

    QStringList lines;
    for (int i = 0; i < 500; ++i)
        lines << QStringLiteral("Line %1 of the report").arg(i);
    QString paragraph;
    while (paragraph.size() < 10000)
        paragraph += QStringLiteral("The folder of the backup task is missing. ");
    QTest::newRow("500 lines") << lines.join('\n');
    QTest::newRow("10000 characters in words") << paragraph;
    QTest::newRow("one word of 10000 characters") << QString(10000, QLatin1Char('x'));
}

void TestShowMessageDlg::hugeTextsStayOnScreen()
{
    QFETCH(QString, text);

    QRect frame;
    QString shown;
    TModalDriver driver([&](QWidget *dialog) {
        frame = dialog->frameGeometry();
        shown = dialog->findChild<QLabel *>("stInfo")->text();
        QTest::mouseClick(Button(dialog, "btClose"), Qt::LeftButton);
    });
    ErrorMsgDlg(text);
    QVERIFY(driver.DialogSeen());
    QVERIFY(!driver.ClosedByDriver());
    QCOMPARE(shown, text);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("dialog %1,%2 %3x%4 leaves the work area")
                                                  .arg(frame.x())
                                                  .arg(frame.y())
                                                  .arg(frame.width())
                                                  .arg(frame.height())));
}

QTEST_MAIN(TestShowMessageDlg)
#include "tst_showmessagedlg.moc"
