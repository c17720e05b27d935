#include "ModalDriver.h"

#include "ui/SelectDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include <map>

namespace {

QStringList Answers(int ACount)
{
    QStringList answers;
    for (int i = 0; i < ACount; ++i)
        answers << QStringLiteral("Answer %1").arg(i);
    return answers;
}

// The button's place as the user sees it: its row from the top and its column of three,
// counted from the left, by the button's screen position.
QList<QPoint> GridPlaces(QWidget *ADialog, int AAnswers)
{
    QList<QPushButton *> buttons;
    for (int i = 0; i < AAnswers; ++i)
        buttons << ADialog->findChild<QPushButton *>(QStringLiteral("btAnswer%1").arg(i));
    buttons << ADialog->findChild<QPushButton *>("btClose");
    std::map<int, int> rows;
    std::map<int, int> columns;
    for (QPushButton *button : buttons) {
        if (!button)
            return {};
        const QPoint pos = button->mapTo(ADialog, QPoint(0, 0));
        rows[pos.y()] = 0;
        columns[pos.x()] = 0;
    }
    int index = 0;
    for (auto &row : rows)
        row.second = index++;
    // The rightmost column is column 2; a last row alone may not use all three.
    index = 3 - int(columns.size());
    for (auto &column : columns)
        column.second = index++;
    QList<QPoint> places;
    for (QPushButton *button : buttons) {
        const QPoint pos = button->mapTo(ADialog, QPoint(0, 0));
        places << QPoint(columns[pos.x()], rows[pos.y()]);
    }
    return places;
}

} // namespace

class TestSelectDlg final : public QObject
{
    Q_OBJECT

private slots:
    void answersFillRowsOfThree_data();
    void answersFillRowsOfThree();
    void returnsTheChosenAnswer_data();
    void returnsTheChosenAnswer();
    void preselectionFocusesAndChecks_data();
    void preselectionFocusesAndChecks();
    void showsTitleIconAndText();
    void tabOrderEndsWithTheCheckBox();
    void screenReaderUserStartsAtTheText();
    void buttonsLastOneQuestion();
    void fortyAnswersStayOnScreen();
};

void TestSelectDlg::answersFillRowsOfThree_data()
{
    QTest::addColumn<int>("answers");
    QTest::addColumn<QList<QPoint>>("places"); // (column, row) of each answer, then of the closing button

    QTest::newRow("no answers") << 0 << QList<QPoint>{{2, 0}};
    QTest::newRow("one answer") << 1 << QList<QPoint>{{1, 0}, {2, 0}};
    QTest::newRow("two answers") << 2 << QList<QPoint>{{0, 0}, {1, 0}, {2, 0}};
    QTest::newRow("three answers: closing button alone")
        << 3 << QList<QPoint>{{0, 0}, {1, 0}, {2, 0}, {2, 1}};
    QTest::newRow("six answers") << 6
                                 << QList<QPoint>{{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}, {2, 2}};
    QTest::newRow("seven answers") << 7 << QList<QPoint>{{0, 0}, {1, 0}, {2, 0}, {0, 1},
                                                         {1, 1}, {2, 1}, {1, 2}, {2, 2}};
}

void TestSelectDlg::answersFillRowsOfThree()
{
    QFETCH(int, answers);
    QFETCH(QList<QPoint>, places);

    QList<QPoint> shown;
    QList<int> widths;
    TModalDriver driver([&](QWidget *dialog) {
        shown = GridPlaces(dialog, answers);
        for (QPushButton *button : dialog->findChildren<QPushButton *>())
            widths << button->width();
        PressKey(dialog, Qt::Key_Escape);
    });
    ShowSelectDialog(QString(), QStringLiteral("Which one?"), mdtConfirm, cfNormal, Answers(answers),
                     QString());
    QVERIFY(driver.DialogSeen());
    QCOMPARE(shown, places);
    // All buttons are equally wide, at least the default width.
    QVERIFY(!widths.isEmpty());
    QCOMPARE(widths.count(widths.first()), widths.size());
    QVERIFY(widths.first() >= 105);
}

void TestSelectDlg::returnsTheChosenAnswer_data()
{
    QTest::addColumn<int>("answers");
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("check");     // the user checks the check box first
    QTest::addColumn<QString>("action"); // a button's name, "Esc", "Enter" or "close"
    QTest::addColumn<int>("expected");

    const QString option = QStringLiteral("Terminate all running programs");
    QTest::newRow("first answer, checked") << 6 << option << true << "btAnswer0" << 256;
    QTest::newRow("fourth answer") << 6 << option << false << "btAnswer3" << 3;
    QTest::newRow("closing button, checked") << 6 << option << true << "btClose" << -1;
    QTest::newRow("Esc, checked") << 6 << option << true << "Esc" << -1;
    QTest::newRow("close box, checked") << 6 << option << true << "close" << -1;
    QTest::newRow("Enter on the focused closing button") << 6 << option << false << "Enter" << -1;
    QTest::newRow("no check box") << 2 << QString() << false << "btAnswer1" << 1;
    QTest::newRow("no answers: closing button is answer 0") << 0 << option << false << "btClose" << 0;
    QTest::newRow("no answers, checked") << 0 << option << true << "btClose" << 256;
    QTest::newRow("no answers, Esc") << 0 << option << false << "Esc" << 0;
    QTest::newRow("no answers, close box") << 0 << option << true << "close" << -1;
}

void TestSelectDlg::returnsTheChosenAnswer()
{
    QFETCH(int, answers);
    QFETCH(QString, option);
    QFETCH(bool, check);
    QFETCH(QString, action);
    QFETCH(int, expected);

    bool optionShown = true;
    TModalDriver driver([&](QWidget *dialog) {
        auto *box = dialog->findChild<QCheckBox *>("cbOption");
        optionShown = box->isVisible();
        if (check)
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
        if (action == "Esc") {
            PressKey(dialog, Qt::Key_Escape);
        } else if (action == "Enter") {
            PressKey(dialog, Qt::Key_Return);
        } else if (action == "close") {
            dialog->close();
        } else {
            auto *button = dialog->findChild<QPushButton *>(action);
            QVERIFY(button);
            QTest::mouseClick(button, Qt::LeftButton);
        }
    });
    const int answer = ShowSelectDialog(QStringLiteral("Arkivo"), QStringLiteral("Start the backups?"),
                                        mdtConfirm, cfBold, Answers(answers), option);
    QVERIFY(driver.DialogSeen());
    QVERIFY(!driver.ClosedByDriver());
    QCOMPARE(optionShown, !option.isEmpty());
    QCOMPARE(answer, expected);
}

void TestSelectDlg::preselectionFocusesAndChecks_data()
{
    QTest::addColumn<int>("preSelection");
    QTest::addColumn<QString>("focused");
    QTest::addColumn<bool>("checked");

    QTest::newRow("-1: closing button") << -1 << "btClose" << false;
    QTest::newRow("0: first answer") << 0 << "btAnswer0" << false;
    QTest::newRow("257: second answer, checked") << 257 << "btAnswer1" << true;
    QTest::newRow("256: first answer, checked") << 256 << "btAnswer0" << true;
    QTest::newRow("beyond the answers: closing button") << 9 << "btClose" << false;
}

void TestSelectDlg::preselectionFocusesAndChecks()
{
    QFETCH(int, preSelection);
    QFETCH(QString, focused);
    QFETCH(bool, checked);

    QString focusName;
    bool boxChecked = !checked;
    TModalDriver driver([&](QWidget *dialog) {
        focusName = dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString();
        boxChecked = dialog->findChild<QCheckBox *>("cbOption")->isChecked();
        // Enter presses the focused button.
        PressKey(dialog, Qt::Key_Return);
    });
    const int answer = ShowSelectDialog(QString(), QStringLiteral("Which one?"), mdtConfirm, cfNormal,
                                        Answers(3), QStringLiteral("Option"), 0, preSelection);
    QVERIFY(driver.DialogSeen());
    QVERIFY(!driver.ClosedByDriver());
    QCOMPARE(focusName, focused);
    QCOMPARE(boxChecked, checked);
    const int focusedAnswer = focused == "btClose" ? -1 : focused.mid(8).toInt();
    QCOMPARE(answer, focusedAnswer < 0 ? -1 : focusedAnswer + (checked ? 256 : 0));
}

void TestSelectDlg::showsTitleIconAndText()
{
    struct TSeen
    {
        QString Title;
        QString Text;
        bool Bold = false;
        bool Icon = false;
        QString CloseCaption;
    };
    const auto ask = [](const QString &ATitle, TMsgDialogType AType, TCaptionFormat AFormat,
                        const QString &ADefault) {
        TSeen seen;
        TModalDriver driver([&](QWidget *dialog) {
            const auto *text = dialog->findChild<QLabel *>("stCaption");
            seen = {dialog->windowTitle(), text->text(), text->font().bold(),
                    dialog->findChild<QLabel *>("imgIcon")->isVisible(),
                    dialog->findChild<QPushButton *>("btClose")->text()};
            PressKey(dialog, Qt::Key_Escape);
        });
        ShowSelectDialog(ATitle, QStringLiteral("First line\r\nsecond line"), AType, AFormat, Answers(2),
                         QString(), 0, -1, ADefault);
        return seen;
    };

    TSeen seen = ask(QStringLiteral("Delete directory"), mdtConfirm, cfBold, QString());
    QCOMPARE(seen.Title, QStringLiteral("Delete directory"));
    QCOMPARE(seen.Text, QStringLiteral("First line\nsecond line"));
    QVERIFY(seen.Bold);
    QVERIFY(seen.Icon);
    QCOMPARE(seen.CloseCaption, QStringLiteral("Cancel"));

    seen = ask(QString(), mdtWarning, cfNormal, QStringLiteral("Later"));
    QCOMPARE(seen.Title, QStringLiteral("Warning"));
    QVERIFY(!seen.Bold);
    QCOMPARE(seen.CloseCaption, QStringLiteral("Later"));

    seen = ask(QString(), mdtCustom, cfNormal, QString());
    QCOMPARE(seen.Title, QString());
    QVERIFY(!seen.Icon);
}

void TestSelectDlg::tabOrderEndsWithTheCheckBox()
{
    QStringList order;
    TModalDriver driver([&](QWidget *dialog) {
        for (int i = 0; i < 5; ++i) {
            order << QApplication::focusWidget()->objectName();
            PressKey(dialog, Qt::Key_Tab);
        }
        PressKey(dialog, Qt::Key_Escape);
    });
    ShowSelectDialog(QString(), QStringLiteral("Which one?"), mdtConfirm, cfNormal, Answers(2),
                     QStringLiteral("Option"), 0, 0);
    QVERIFY(driver.DialogSeen());
    QCOMPARE(order, (QStringList{"btAnswer0", "btAnswer1", "btClose", "cbOption", "btAnswer0"}));
}

void TestSelectDlg::screenReaderUserStartsAtTheText()
{
    OverrideScreenReader(true);
    QStringList order;
    TModalDriver driver([&](QWidget *dialog) {
        for (int i = 0; i < 4; ++i) {
            order << QApplication::focusWidget()->objectName();
            PressKey(dialog, Qt::Key_Tab);
        }
        PressKey(dialog, Qt::Key_Escape);
    });
    ShowSelectDialog(QString(), QStringLiteral("Which one?"), mdtConfirm, cfNormal, Answers(1),
                     QStringLiteral("Option"), 0, 0);
    OverrideScreenReader(std::nullopt);
    QVERIFY(driver.DialogSeen());
    QCOMPARE(order, (QStringList{"stCaption", "cbOption", "btAnswer0", "btClose"}));
}

void TestSelectDlg::buttonsLastOneQuestion()
{
    TSelectDialog dialog;
    for (const int count : {4, 1}) {
        int buttonsShown = 0;
        TModalDriver driver([&](QWidget *shown) {
            buttonsShown = int(shown->findChildren<QPushButton *>().size());
            QTest::mouseClick(shown->findChild<QPushButton *>("btAnswer0"), Qt::LeftButton);
        });
        QCOMPARE(dialog.Execute(QPoint(10, 10), QString(), QStringLiteral("Again?"), mdtConfirm, cfNormal,
                                Answers(count), QString()),
                 0);
        QCOMPARE(buttonsShown, count + 1);
        QCOMPARE(dialog.Selection, 0);
        QVERIFY(dialog.findChildren<QPushButton *>().isEmpty());
    }
}

void TestSelectDlg::fortyAnswersStayOnScreen()
{
    QRect frame;
    TModalDriver driver([&](QWidget *dialog) {
        frame = dialog->frameGeometry();
        QTest::mouseClick(dialog->findChild<QPushButton *>("btAnswer39"), Qt::LeftButton);
    });
    QStringList lines;
    for (int i = 0; i < 60; ++i)
        lines << QStringLiteral("Line %1 of the question").arg(i);
    const int answer = ShowSelectDialog(QString(), lines.join('\n'), mdtConfirm, cfNormal, Answers(40),
                                        QStringLiteral("Option"), 300);
    QVERIFY(driver.DialogSeen());
    QCOMPARE(answer, 39);
    QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(frame));
}

QTEST_MAIN(TestSelectDlg)
#include "tst_selectdlg.moc"
