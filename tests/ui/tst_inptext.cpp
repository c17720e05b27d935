#include "ModalHelper.h"
#include "ui/InpText.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QtTest>

using namespace ModalHelper;

namespace {

const QString DialogName = QStringLiteral("InputTextDialog");

QStringList Numbered(const QString &AStem, int ACount)
{
    QStringList list;
    for (int i = 1; i <= ACount; ++i)
        list << AStem + QString::number(i);
    return list;
}

// Types AText over the input and presses Enter.
std::function<void(QWidget *)> TypeAndEnter(const QString &AText)
{
    return [AText](QWidget *dialog) {
        QLineEdit *edit = Control<QComboBox>(dialog, "TextFeld")->lineEdit();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, AText);
        QTest::keyClick(edit, Qt::Key_Return);
    };
}

} // namespace

class TestInputText final : public QObject
{
    Q_OBJECT

private slots:
    void enterAndEscape_data();
    void enterAndEscape();
    void showsTitleHeadingAndTable();
    void keepsTheHistory_data();
    void keepsTheHistory();
    void characterTableAppendsToTheText();
    void f11ShowsTheHeading();
    void longTextStaysOnTheScreen();
};

void TestInputText::enterAndEscape_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("text");
    QTest::newRow("Enter") << int(Qt::Key_Return) << true << "Weekly backup";
    QTest::newRow("Esc") << int(Qt::Key_Escape) << false << "Daily";
}

void TestInputText::enterAndEscape()
{
    QFETCH(int, key);
    QFETCH(bool, result);
    QFETCH(QString, text);
    QString startText;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        QLineEdit *edit = Control<QComboBox>(dialog, "TextFeld")->lineEdit();
        startText = edit->text();
        // The start text is selected: typing replaces it.
        QTest::keyClicks(edit, "Weekly backup");
        QTest::keyClick(edit, Qt::Key(key));
    });
    QString entered = QStringLiteral("Daily");
    QCOMPARE(InputText(QPoint(30, 30), "New group", "Name of the group:", false, entered), result);
    QVERIFY(driver.Ran());
    QCOMPARE(startText, QStringLiteral("Daily"));
    QCOMPARE(entered, text);
}

void TestInputText::showsTitleHeadingAndTable()
{
    QStringList seen;
    bool tableShown = true;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        seen << dialog->windowTitle() << Control<QLabel>(dialog, "Descriptor")->text()
             << Control<QComboBox>(dialog, "TextFeld")->toolTip();
        tableShown = Control<QPushButton>(dialog, "btnTable")->isVisible();
        Control<QPushButton>(dialog, "CancelBtn")->click();
    });
    QString text;
    QVERIFY(!InputText(CenterPos, QString(), "Heading", false, text));
    QVERIFY(driver.Ran());
    // Without a title the dialog keeps its own.
    QCOMPARE(seen, QStringList({"Edit text", "Heading", "Heading"}));
    QVERIFY(!tableShown);
}

void TestInputText::keepsTheHistory_data()
{
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<bool>("sorted");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("result");
    QTest::addColumn<QStringList>("offered"); // the drop-down list the dialog showed

    const QStringList three{"carol@example.org", "alice@example.org", "bob@example.org"};
    QTest::newRow("new entry on top")
        << three << false << "dave@example.org"
        << QStringList{"dave@example.org", "carol@example.org", "alice@example.org", "bob@example.org"}
        << three;
    QTest::newRow("known entry moves up in its new case")
        << three << false << "Bob@Example.org"
        << QStringList{"Bob@Example.org", "carol@example.org", "alice@example.org"} << three;
    QTest::newRow("empty text is not kept") << three << false << "" << three << three;
    QTest::newRow("sorted offer") << three << true << "alice@example.org"
                                  << QStringList{"alice@example.org", "bob@example.org", "carol@example.org"}
                                  << QStringList{"alice@example.org", "bob@example.org", "carol@example.org"};
    QTest::newRow("full list drops its last entry")
        << Numbered("old", 15) << false << "new" << (QStringList{"new"} + Numbered("old", 14))
        << Numbered("old", 15);
    QTest::newRow("no more than 15 from a longer list")
        << Numbered("old", 20) << false << "old3"
        << (QStringList{"old3"} + Numbered("old", 15).mid(0, 2) + Numbered("old", 15).mid(3))
        << Numbered("old", 15);
    QTest::newRow("no history") << QStringList() << false << "first" << QStringList{"first"} << QStringList();
}

void TestInputText::keepsTheHistory()
{
    QFETCH(QStringList, history);
    QFETCH(bool, sorted);
    QFETCH(QString, typed);
    QFETCH(QStringList, result);
    QFETCH(QStringList, offered);
    QStringList shown;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        auto *box = Control<QComboBox>(dialog, "TextFeld");
        for (int i = 0; i < box->count(); ++i)
            shown << box->itemText(i);
        TypeAndEnter(typed)(dialog);
    });
    QString text = QStringLiteral("start");
    QVERIFY(InputTextEx(CenterPos, "Address", "Mail address:", false, QString(), &history, sorted, text));
    QVERIFY(driver.Ran());
    QCOMPARE(text, typed);
    QCOMPARE(shown, offered);
    QCOMPARE(history, result);
}

void TestInputText::characterTableAppendsToTheText()
{
    bool caretAtEnd = false;
    bool focused = false;
    QString font;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        auto *box = Control<QComboBox>(dialog, "TextFeld");
        const TModalDriver table(QStringLiteral("CharTableDialog"), [&](QWidget *tableDialog) {
            font = Control<QTableWidget>(tableDialog, "CharGrid")->item(4, 1)->font().family();
            QTest::keyClicks(Control<QLineEdit>(tableDialog, "leValue"), "e9");
            Control<QPushButton>(tableDialog, "btnSelect")->click();
        });
        Control<QPushButton>(dialog, "btnTable")->click();
        caretAtEnd = box->lineEdit()->cursorPosition() == box->currentText().size() &&
                     !box->lineEdit()->hasSelectedText();
        focused = dialog->focusWidget() == box;
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    });
    QString text = QStringLiteral("Caf");
    QVERIFY(InputTextEx(CenterPos, "Title", "Name:", true, QStringLiteral("DejaVu Sans Mono"), nullptr, false,
                        text));
    QVERIFY(driver.Ran());
    QCOMPARE(text, QString::fromUtf8("Café"));
    QVERIFY(caretAtEnd);
    QVERIFY(focused);
    QCOMPARE(font, QStringLiteral("DejaVu Sans Mono"));
}

void TestInputText::f11ShowsTheHeading()
{
    QString shown;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        auto *box = Control<QComboBox>(dialog, "TextFeld");
        shown = PressF11(box->lineEdit());
        QTest::keyClick(box->lineEdit(), Qt::Key_Escape);
    });
    QString text;
    QVERIFY(!InputText(CenterPos, "Title", "Name of the new group", false, text));
    QVERIFY(driver.Ran());
    QCOMPARE(shown, QStringLiteral("Name of the new group"));
}

void TestInputText::longTextStaysOnTheScreen()
{
    QRect frame;
    QRect area;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        frame = dialog->frameGeometry();
        area = dialog->screen()->availableGeometry();
        QTest::keyClick(Control<QComboBox>(dialog, "TextFeld")->lineEdit(), Qt::Key_Return);
    });
    QString text(10000, QChar(u'w'));
    const QString heading = QStringLiteral("A heading of many words. ").repeated(400);
    QVERIFY(InputText(QPoint(2000, 2000), "Title", heading, true, text));
    QVERIFY(driver.Ran());
    QVERIFY(area.contains(frame));
    QCOMPARE(text.size(), 10000);
}

QTEST_MAIN(TestInputText)
#include "tst_inptext.moc"
