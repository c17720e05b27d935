#include "ModalHelper.h"
#include "ui/NumberEd.h"

#include <QHBoxLayout>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace ModalHelper;

namespace {

// A window with a field, a second field to move the focus to and a button.
struct TFieldWindow
{
    QWidget Window;
    TRangeEdit *Field;
    QLineEdit *Other;
    QPushButton *Button;

    TFieldWindow()
    {
        auto *layout = new QHBoxLayout(&Window);
        Field = new TRangeEdit(&Window);
        Field->setObjectName(QStringLiteral("edDelay"));
        Other = new QLineEdit(&Window);
        Button = new QPushButton(QStringLiteral("OK"), &Window);
        layout->addWidget(Field);
        layout->addWidget(Other);
        layout->addWidget(Button);
        Window.show();
        Window.activateWindow();
    }

    bool Ready()
    {
        Window.activateWindow();
        if (!QTest::qWaitForWindowActive(&Window))
            return false;
        Field->setFocus();
        return Field->hasFocus();
    }
};

} // namespace

class TestNumberEdit final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formatsValues_data();
    void formatsValues();
    void readsText_data();
    void readsText();
    void refusesCharactersOfOtherBases_data();
    void refusesCharactersOfOtherBases();
    void rewritesTheTextWhenLeft();
    void rangeErrorKeepsTheFocus_data();
    void rangeErrorKeepsTheFocus();
    void rangeErrorSwallowsTheClick();
    void clampsWithoutRangeCheck();
    void clampsWrittenValues_data();
    void clampsWrittenValues();
    void upDownStepsTheField();
    void upDownAssociationRule();
    void upDownSitsBesideItsField();
};

void TestNumberEdit::initTestCase()
{
    // Thousands separators are the locale's; fix them for the table.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestNumberEdit::formatsValues_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("digits");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("prefix");
    QTest::addColumn<int>("group");
    QTest::addColumn<bool>("bytes");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("readBack");

    QTest::newRow("decimal plain") << int(nmDecimal) << 0 << 32 << true << 0 << false << 42LL << "42" << 42LL;
    QTest::newRow("decimal negative")
        << int(nmDecimal) << 0 << 32 << true << 0 << false << -7LL << "-7" << -7LL;
    QTest::newRow("decimal padded with blanks")
        << int(nmDecimal) << 5 << 32 << true << 0 << false << 42LL << "   42" << 42LL;
    QTest::newRow("decimal with thousands")
        << int(nmDecimal) << -10 << 32 << true << 0 << false << 1234567LL << " 1,234,567" << 1234567LL;
    QTest::newRow("decimal grouped") << int(nmDecimal) << 0 << 32 << true << 3 << false << 1234567LL
                                     << "1 234 567" << 1234567LL;
    QTest::newRow("decimal beyond 32 bits")
        << int(nmDecimal) << 0 << 64 << true << 0 << false << 5000000000LL << "5000000000" << 5000000000LL;
    QTest::newRow("decimal bytes") << int(nmDecimal) << 0 << 16 << true << 0 << true << 4660LL << " 18_ 52"
                                   << 4660LL;
    QTest::newRow("zero-padded by bits")
        << int(nmZeroDec) << 0 << 32 << true << 0 << false << 42LL << "0000000042" << 42LL;
    QTest::newRow("zero-padded negative")
        << int(nmZeroDec) << 4 << 32 << true << 0 << false << -42LL << "-0042" << -42LL;
    QTest::newRow("hex 32 bits") << int(nmHex) << 0 << 32 << true << 0 << false << 255LL << "$000000FF"
                                 << 255LL;
    QTest::newRow("hex 16 bits without prefix")
        << int(nmHex) << 0 << 16 << false << 0 << false << 255LL << "00FF" << 255LL;
    QTest::newRow("hex bits 0 count as 32")
        << int(nmHex) << 0 << 0 << true << 0 << false << 1LL << "$00000001" << 1LL;
    QTest::newRow("hex negative") << int(nmHex) << 0 << 32 << true << 0 << false << -1LL
                                  << "$FFFFFFFFFFFFFFFF" << -1LL;
    QTest::newRow("hex grouped") << int(nmHex) << 0 << 32 << true << 4 << false << 0x12345678LL
                                 << "$1234 5678" << 0x12345678LL;
    QTest::newRow("hex bytes") << int(nmHex) << 0 << 16 << true << 0 << true << 4660LL << "$12_$34" << 4660LL;
    QTest::newRow("hex bytes of 32 bits")
        << int(nmHex) << 0 << 32 << true << 0 << true << 0x01020304LL << "$01_$02_$03_$04" << 0x01020304LL;
    QTest::newRow("octal 32 bits") << int(nmOctal) << 0 << 32 << true << 0 << false << 8LL << "%00000000010"
                                   << 8LL;
    QTest::newRow("octal shows the low 32 bits")
        << int(nmOctal) << 1 << 32 << true << 0 << false << -1LL << "%37777777777" << 4294967295LL;
    QTest::newRow("binary 8 bits") << int(nmBin) << 0 << 8 << true << 0 << false << 5LL << "!00000101" << 5LL;
    QTest::newRow("binary given digits")
        << int(nmBin) << 3 << 32 << false << 0 << false << 5LL << "101" << 5LL;
}

void TestNumberEdit::formatsValues()
{
    QFETCH(int, mode);
    QFETCH(int, digits);
    QFETCH(int, bits);
    QFETCH(bool, prefix);
    QFETCH(int, group);
    QFETCH(bool, bytes);
    QFETCH(qint64, value);
    QFETCH(QString, text);
    QFETCH(qint64, readBack);

    TNumberEdit field;
    QCOMPARE(field.text(), QStringLiteral("0"));
    field.SetNumMode(TNumMode(mode));
    field.SetDigits(int16_t(digits));
    field.SetBits(uint16_t(bits));
    field.SetPrefix(prefix);
    field.SetGroupDigits(int16_t(group));
    field.SetBytes(bytes);
    field.SetValue(value);
    QCOMPARE(field.text(), text);
    QCOMPARE(field.cursorPosition(), int(text.size()));
    QVERIFY(field.isModified());

    bool error = true;
    QCOMPARE(field.ReadText(text, error), readBack);
    QVERIFY(!error);
}

void TestNumberEdit::readsText_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("prefix");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<bool>("error");

    QTest::newRow("empty") << int(nmDecimal) << true << "" << 0LL << false;
    QTest::newRow("blanks") << int(nmDecimal) << true << "   " << 0LL << false;
    QTest::newRow("minus alone") << int(nmDecimal) << true << "-" << 0LL << false;
    QTest::newRow("plus alone") << int(nmDecimal) << true << " + " << 0LL << false;
    QTest::newRow("blanks inside") << int(nmDecimal) << true << " 1 234 " << 1234LL << false;
    QTest::newRow("signed") << int(nmDecimal) << true << "+17" << 17LL << false;
    QTest::newRow("dollar alone") << int(nmDecimal) << true << "$" << 0LL << true;
    QTest::newRow("letters") << int(nmDecimal) << true << "abc" << 0LL << true;
    QTest::newRow("thirty digits") << int(nmDecimal) << true << QString(30, QChar(u'9')) << 0LL << true;
    QTest::newRow("hex by prefix") << int(nmDecimal) << true << "$1f" << 31LL << false;
    QTest::newRow("octal by prefix") << int(nmDecimal) << true << "%17" << 15LL << false;
    QTest::newRow("binary by prefix") << int(nmDecimal) << true << "!101" << 5LL << false;
    QTest::newRow("negative hex") << int(nmHex) << true << "-$10" << -16LL << false;
    QTest::newRow("hex without prefix character") << int(nmHex) << false << "ff" << 255LL << false;
    QTest::newRow("hex digits without prefix read as decimal") << int(nmHex) << true << "ff" << 0LL << true;
    QTest::newRow("seventeen hex digits") << int(nmHex) << true << "$11111111111111111" << 0LL << true;
    QTest::newRow("octal digit 8") << int(nmOctal) << false << "18" << 0LL << true;
    QTest::newRow("binary digit 2") << int(nmBin) << false << "102" << 0LL << true;
    QTest::newRow("octal overflow") << int(nmOctal) << false << QString(30, QChar(u'7')) << 0LL << true;
    QTest::newRow("groups") << int(nmDecimal) << true << "12_34" << 3106LL << false;
    QTest::newRow("bad group counts as 0") << int(nmDecimal) << true << "1_x_2" << 65538LL << true;
    QTest::newRow("empty group") << int(nmDecimal) << true << "1_" << 256LL << true;
    QTest::newRow("many groups do not overflow")
        << int(nmDecimal) << true << "1_1_1_1_1_1_1_1_1_1_1_1" << 0x0101010101010101LL << false;
}

void TestNumberEdit::readsText()
{
    QFETCH(int, mode);
    QFETCH(bool, prefix);
    QFETCH(QString, text);
    QFETCH(qint64, value);
    QFETCH(bool, error);

    TNumberEdit field;
    field.SetNumMode(TNumMode(mode));
    field.SetPrefix(prefix);
    bool convertError = !error;
    QCOMPARE(field.ReadText(text, convertError), value);
    QCOMPARE(convertError, error);
}

void TestNumberEdit::refusesCharactersOfOtherBases_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("prefix");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<bool>("error");

    QTest::newRow("letter in a decimal field") << int(nmDecimal) << true << "12a3"
                                               << "123" << 123LL << false;
    QTest::newRow("symbols refused") << int(nmDecimal) << true << "1.5,x"
                                     << "15" << 15LL << false;
    QTest::newRow("sign accepted") << int(nmDecimal) << true << "-25"
                                   << "-25" << -25LL << false;
    QTest::newRow("prefix starts a hex number") << int(nmDecimal) << true << "$1f"
                                                << "$1f" << 31LL << false;
    QTest::newRow("dollar refused without prefix") << int(nmDecimal) << false << "$12"
                                                   << "12" << 12LL << false;
    QTest::newRow("hex digits in a hex field") << int(nmHex) << false << "1fAg"
                                               << "1fA" << 0x1faLL << false;
    QTest::newRow("octal refuses 8 and 9") << int(nmOctal) << false << "1789"
                                           << "17" << 15LL << false;
    QTest::newRow("binary refuses 2") << int(nmBin) << false << "1021"
                                      << "101" << 5LL << false;
    QTest::newRow("lone dollar is not yet a number") << int(nmDecimal) << true << "$"
                                                     << "$" << 0LL << true;
}

void TestNumberEdit::refusesCharactersOfOtherBases()
{
    QFETCH(int, mode);
    QFETCH(bool, prefix);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(qint64, value);
    QFETCH(bool, error);

    TNumberEdit field;
    field.SetNumMode(TNumMode(mode));
    field.SetPrefix(prefix);
    field.selectAll();
    QTest::keyClicks(&field, typed);
    QCOMPARE(field.text(), text);
    // Key releases read the text without rewriting it.
    QCOMPARE(field.Value(), value);
    QCOMPARE(field.CheckError(), error);
}

void TestNumberEdit::rewritesTheTextWhenLeft()
{
    TFieldWindow window;
    window.Field->SetMinValue(0);
    window.Field->SetMaxValue(0); // no range
    window.Field->SetDigits(-8);
    QVERIFY(window.Ready());
    window.Field->selectAll();
    QTest::keyClicks(window.Field, "0012345");
    QCOMPARE(window.Field->text(), QStringLiteral("0012345"));
    QCOMPARE(window.Field->Value(), 12345);
    QTest::keyClick(window.Field, Qt::Key_Tab);
    QVERIFY(window.Other->hasFocus());
    QCOMPARE(window.Field->text(), QStringLiteral("  12,345"));
    QVERIFY(!window.Field->RangeError());
}

void TestNumberEdit::rangeErrorKeepsTheFocus_data()
{
    QTest::addColumn<qint64>("minimum");
    QTest::addColumn<qint64>("maximum");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");

    QTest::newRow("empty field") << 1LL << 99LL << int(nmDecimal) << ""
                                 << "Range check error (1 .. 99)";
    QTest::newRow("too large") << 1LL << 99LL << int(nmDecimal) << "150"
                               << "Range check error (1 .. 99)";
    QTest::newRow("thirty digits read as 0")
        << 1LL << 99LL << int(nmDecimal) << QString(30, QChar(u'9')) << "Range check error (1 .. 99)";
    QTest::newRow("bounds in hex") << 16LL << 255LL << int(nmHex) << "$1"
                                   << "Range check error ($10 .. $FF)";
    QTest::newRow("bounds in binary") << 2LL << 5LL << int(nmBin) << "!1"
                                      << "Range check error (!10 .. !101)";
    QTest::newRow("bounds given the wrong way round") << 100LL << 1LL << int(nmDecimal) << "0"
                                                      << "Range check error (1 .. 100)";
}

void TestNumberEdit::rangeErrorKeepsTheFocus()
{
    QFETCH(qint64, minimum);
    QFETCH(qint64, maximum);
    QFETCH(int, mode);
    QFETCH(QString, typed);
    QFETCH(QString, message);

    TFieldWindow window;
    window.Field->SetMinValue(minimum);
    window.Field->SetMaxValue(maximum);
    window.Field->SetNumMode(TNumMode(mode));
    QVERIFY(window.Ready());
    window.Field->selectAll();
    QTest::keyClick(window.Field, Qt::Key_Delete);
    QTest::keyClicks(window.Field, typed);

    const TMessageCatcher catcher;
    QTest::keyClick(window.Field, Qt::Key_Tab);
    QVERIFY(window.Field->hasFocus());
    QVERIFY(window.Field->RangeError());
    QVERIFY(catcher.Wait());
    QCOMPARE(catcher.Text(), message);
    // The window gets its focus back on the field once it is active again.
    QCOMPARE(window.Window.focusWidget(), window.Field);
    QVERIFY(window.Ready());

    // A value inside the range lets the field go.
    window.Field->selectAll();
    QTest::keyClicks(window.Field, QString::number(qMin(minimum, maximum)));
    QTest::keyClick(window.Field, Qt::Key_Tab);
    QVERIFY(window.Other->hasFocus());
    QVERIFY(!window.Field->RangeError());
}

void TestNumberEdit::rangeErrorSwallowsTheClick()
{
    TFieldWindow window;
    window.Field->SetMinValue(1);
    window.Field->SetMaxValue(99);
    QVERIFY(window.Ready());
    window.Field->selectAll();
    QTest::keyClicks(window.Field, "500");
    QSignalSpy clicked(window.Button, &QPushButton::clicked);

    const TMessageCatcher catcher;
    QTest::mouseClick(window.Button, Qt::LeftButton);
    QVERIFY(window.Field->hasFocus());
    QCOMPARE(clicked.count(), 0);
    QVERIFY(catcher.Wait());
    QCOMPARE(catcher.Text(), QStringLiteral("Range check error (1 .. 99)"));
    QVERIFY(window.Ready());

    // The next click is the user's own again.
    window.Field->SetValue(50);
    QTest::mouseClick(window.Button, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
}

void TestNumberEdit::clampsWithoutRangeCheck()
{
    TFieldWindow window;
    window.Field->SetMinValue(1);
    window.Field->SetMaxValue(99);
    window.Field->SetRangeCheck(false);
    QVERIFY(window.Ready());
    window.Field->selectAll();
    QTest::keyClick(window.Field, Qt::Key_Delete);
    QTest::keyClick(window.Field, Qt::Key_Tab);
    QVERIFY(window.Other->hasFocus());
    QCOMPARE(window.Field->text(), QStringLiteral("1"));
    QCOMPARE(window.Field->Value(), 1);
    QVERIFY(!window.Field->RangeError());
}

void TestNumberEdit::clampsWrittenValues_data()
{
    QTest::addColumn<qint64>("minimum");
    QTest::addColumn<qint64>("maximum");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("above") << 0LL << 100LL << 150LL << "100";
    QTest::newRow("below") << 1LL << 99LL << -5LL << "1";
    QTest::newRow("inside") << 1LL << 99LL << 42LL << "42";
    QTest::newRow("equal bounds: no range") << 5LL << 5LL << 150LL << "150";
    QTest::newRow("bounds the wrong way round") << 100LL << 1LL << 150LL << "100";
}

void TestNumberEdit::clampsWrittenValues()
{
    QFETCH(qint64, minimum);
    QFETCH(qint64, maximum);
    QFETCH(qint64, value);
    QFETCH(QString, text);

    TRangeEdit field;
    field.SetMinValue(minimum);
    field.SetMaxValue(maximum);
    field.SetValue(value);
    QCOMPARE(field.text(), text);
    QCOMPARE(field.Value(), text.toLongLong());
}

void TestNumberEdit::upDownStepsTheField()
{
    TFieldWindow window;
    window.Field->SetMinValue(0);
    window.Field->SetMaxValue(3600);
    window.Field->SetValue(3598);
    auto *upDown = new TNumUpDown(&window.Window);
    upDown->SetAssociate(window.Field);
    upDown->SetIncrement(5);
    window.Window.layout()->addWidget(upDown);
    QSignalSpy upSpy(upDown, &TNumUpDown::OnUpClick);
    QSignalSpy downSpy(upDown, &TNumUpDown::OnDownClick);
    QVERIFY(window.Ready());
    QTRY_VERIFY(upDown->height() > 4);

    const QPoint upper(upDown->width() / 2, 2);
    const QPoint lower(upDown->width() / 2, upDown->height() - 3);
    QTest::mouseClick(upDown, Qt::LeftButton, {}, upper);
    QCOMPARE(window.Field->text(), QStringLiteral("3600"));
    QTest::mouseClick(upDown, Qt::LeftButton, {}, upper);
    QCOMPARE(window.Field->Value(), 3600);
    QCOMPARE(upSpy.count(), 2);

    QVERIFY(upDown->hasFocus());
    QTest::keyClick(upDown, Qt::Key_Minus);
    QCOMPARE(window.Field->Value(), 3595);
    QTest::keyClick(upDown, Qt::Key_Plus, Qt::KeypadModifier);
    QCOMPARE(window.Field->Value(), 3600);
    QTest::mouseClick(upDown, Qt::LeftButton, {}, lower);
    QCOMPARE(window.Field->text(), QStringLiteral("3595"));
    QCOMPARE(downSpy.count(), 2);

    // Pressed on one half and released on the other is no click.
    QTest::mousePress(upDown, Qt::LeftButton, {}, upper);
    QTest::mouseRelease(upDown, Qt::LeftButton, {}, lower);
    QCOMPARE(window.Field->Value(), 3595);

    // Typed text counts before the step.
    window.Field->setFocus();
    window.Field->selectAll();
    QTest::keyClicks(window.Field, "0");
    QTest::mouseClick(upDown, Qt::LeftButton, {}, upper);
    QCOMPARE(window.Field->text(), QStringLiteral("5"));
}

void TestNumberEdit::upDownAssociationRule()
{
    QWidget parent;
    auto *field = new TNumberEdit(&parent);
    field->setObjectName(QStringLiteral("edPort"));
    auto *first = new TNumUpDown(&parent);
    first->setObjectName(QStringLiteral("udPort"));
    auto *second = new TNumUpDown(&parent);
    second->setObjectName(QStringLiteral("udOther"));
    first->SetAssociate(field);
    QCOMPARE(first->Associate(), field);

    QString message;
    try {
        second->SetAssociate(field);
    } catch (const EAkError &error) {
        message = error.Message();
    }
    QCOMPARE(message, QStringLiteral("edPort is already associated with udPort"));
    QCOMPARE(second->Associate(), nullptr);

    // A field of another parent is not taken; a freed association may be taken over.
    QWidget elsewhere;
    auto *foreign = new TNumberEdit(&elsewhere);
    foreign->setObjectName(QStringLiteral("edForeign"));
    QTest::ignoreMessage(QtWarningMsg, "TNumUpDown: edForeign has another parent than udOther");
    second->SetAssociate(foreign);
    QCOMPARE(second->Associate(), nullptr);
    first->SetAssociate(nullptr);
    second->SetAssociate(field);
    QCOMPARE(second->Associate(), field);
}

void TestNumberEdit::upDownSitsBesideItsField()
{
    QWidget parent;
    auto *field = new TNumberEdit(&parent);
    field->setGeometry(10, 20, 80, 24);
    auto *upDown = new TNumUpDown(&parent);
    upDown->SetAssociate(field);
    QCOMPARE(upDown->geometry(), QRect(90, 20, 16, 24));
    upDown->SetAlignButton(TNumUpDown::udLeft);
    QCOMPARE(upDown->geometry(), QRect(-6, 20, 16, 24));
    // A shown field reports its moves at once.
    parent.show();
    field->setGeometry(40, 5, 80, 30);
    QCOMPARE(upDown->geometry(), QRect(24, 5, 16, 30));
}

QTEST_MAIN(TestNumberEdit)
#include "tst_numbered.moc"
