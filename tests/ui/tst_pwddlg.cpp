#include "ModalHelper.h"
#include "ui/PwdDlg.h"
#include "ui/ShowMessageDlg.h"

#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QToolButton>
#include <QtTest>

using namespace ModalHelper;

namespace {

const QString DialogName = QStringLiteral("PasswordDialog");

QString ManyLines(int ACount)
{
    QStringList lines;
    for (int i = 1; i <= ACount; ++i)
        lines << QStringLiteral("Line %1 of a prompt about the account of group Daily-%1").arg(i);
    return lines.join(u'\n');
}

} // namespace

class TestPasswordDialog final : public QObject
{
    Q_OBJECT

private slots:
    void answersWithTheButtonPressed_data();
    void answersWithTheButtonPressed();
    void askPasswordIsTrueOnOkOnly_data();
    void askPasswordIsTrueOnOkOnly();
    void ansiVariantGivesBytes();
    void pasteReplacesTheEntry();
    void offersTheEncryptionDepth();
    void f11ShowsTheHintOfTheFocusedField_data();
    void f11ShowsTheHintOfTheFocusedField();
    void hugePromptStaysOnTheScreen_data();
    void hugePromptStaysOnTheScreen();
};

void TestPasswordDialog::answersWithTheButtonPressed_data()
{
    QTest::addColumn<bool>("skip");
    QTest::addColumn<QString>("action"); // a button name, or "enter" / "escape"
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("password");
    QTest::newRow("OK") << false << "OKBtn" << int(mrOk) << "s3cret pass";
    QTest::newRow("Enter presses OK") << false << "enter" << int(mrOk) << "s3cret pass";
    QTest::newRow("Cancel") << false << "CancelBtn" << int(mrCancel) << "unchanged";
    QTest::newRow("Esc cancels") << false << "escape" << int(mrCancel) << "unchanged";
    QTest::newRow("Skip") << true << "btnSkip" << int(mrYes) << "unchanged";
}

void TestPasswordDialog::answersWithTheButtonPressed()
{
    QFETCH(bool, skip);
    QFETCH(QString, action);
    QFETCH(int, result);
    QFETCH(QString, password);

    bool skipVisible = !skip;
    QString title;
    QString prompt;
    bool focused = false;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        title = dialog->windowTitle();
        prompt = Control<QLabel>(dialog, "lblPrompt")->text();
        skipVisible = Control<QPushButton>(dialog, "btnSkip")->isVisible();
        auto *edit = Control<QLineEdit>(dialog, "edtPwd");
        focused = dialog->focusWidget() == edit;
        QTest::keyClicks(edit, "s3cret pass");
        if (action == u"enter")
            QTest::keyClick(edit, Qt::Key_Return);
        else if (action == u"escape")
            QTest::keyClick(edit, Qt::Key_Escape);
        else
            QTest::mouseClick(Control<QPushButton>(dialog, action.toLatin1().constData()), Qt::LeftButton);
    });
    TPasswordDialog dialog;
    QString entered = QStringLiteral("unchanged");
    int encMode = 0;
    QCOMPARE(dialog.Execute(ScreenCenterPos, "Account backup", "Password of\r\nuser backup:", skip, false,
                            entered, encMode),
             result);
    QVERIFY(driver.Ran());
    QCOMPARE(title, QStringLiteral("Account backup"));
    QCOMPARE(prompt, QStringLiteral("Password of\nuser backup:"));
    QVERIFY(focused);
    QCOMPARE(skipVisible, skip);
    QCOMPARE(entered, password);
}

void TestPasswordDialog::askPasswordIsTrueOnOkOnly_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("result");
    QTest::newRow("OK") << "OKBtn" << true;
    QTest::newRow("Cancel") << "CancelBtn" << false;
}

void TestPasswordDialog::askPasswordIsTrueOnOkOnly()
{
    QFETCH(QString, button);
    QFETCH(bool, result);
    bool extrasShown = true;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        extrasShown = Control<QPushButton>(dialog, "btnSkip")->isVisible() ||
                      Control<QGroupBox>(dialog, "gbEncrypt")->isVisible();
        QTest::keyClicks(Control<QLineEdit>(dialog, "edtPwd"), "pw");
        Control<QPushButton>(dialog, button.toLatin1().constData())->click();
    });
    QString password = QStringLiteral("old");
    QCOMPARE(AskPassword(QPoint(100, 100), "Title", "Prompt", password), result);
    QVERIFY(driver.Ran());
    QVERIFY(!extrasShown);
    QCOMPARE(password, result ? QStringLiteral("pw") : QStringLiteral("old"));
}

void TestPasswordDialog::ansiVariantGivesBytes()
{
    bool skipShown = false;
    QString startText = QStringLiteral("?");
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        skipShown = Control<QPushButton>(dialog, "btnSkip")->isVisible();
        startText = Control<QLineEdit>(dialog, "edtPwd")->text();
        QTest::keyClicks(Control<QLineEdit>(dialog, "edtPwd"), "Pass word!");
        QTest::keyClick(Control<QLineEdit>(dialog, "edtPwd"), Qt::Key_Enter);
    });
    QByteArray password("old");
    QCOMPARE(AskPasswordAnsi("Title", "Prompt", true, password), int(mrOk));
    QVERIFY(driver.Ran());
    QVERIFY(skipShown);
    // The field starts empty whatever the caller passes.
    QCOMPARE(startText, QString());
    QCOMPARE(password, QByteArray("Pass word!"));
}

void TestPasswordDialog::pasteReplacesTheEntry()
{
    QGuiApplication::clipboard()->setText(QStringLiteral("from clipboard"));
    const TModalDriver driver(DialogName, [](QWidget *dialog) {
        auto *edit = Control<QLineEdit>(dialog, "edtPwd");
        QTest::keyClicks(edit, "typed");
        QTest::mouseClick(Control<QToolButton>(dialog, "bbPaste"), Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QString password;
    QVERIFY(AskPassword(CenterPos, "Title", "Prompt", password));
    QVERIFY(driver.Ran());
    QCOMPARE(password, QStringLiteral("from clipboard"));
}

void TestPasswordDialog::offersTheEncryptionDepth()
{
    bool preset = false;
    bool shown = false;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        shown = Control<QGroupBox>(dialog, "gbEncrypt")->isVisible();
        preset = Control<QRadioButton>(dialog, "rbDepth2")->isChecked();
        Control<QRadioButton>(dialog, "rbDepth0")->click();
        QTest::keyClicks(Control<QLineEdit>(dialog, "edtPwd"), "pw");
        Control<QPushButton>(dialog, "OKBtn")->click();
    });
    int encMode = 2;
    QString password;
    QCOMPARE(ShowPasswordDialog(CenterPos, "Title", "Prompt", encMode, password, true, false), int(mrOk));
    QVERIFY(driver.Ran());
    QVERIFY(shown);
    QVERIFY(preset);
    QCOMPARE(encMode, 0);
}

void TestPasswordDialog::f11ShowsTheHintOfTheFocusedField_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("hint");
    QTest::newRow("text hint of the field") << "edtPwd"
                                            << "Password";
    QTest::newRow("hint of the paste button") << "bbPaste"
                                              << "Paste from clipboard";
}

void TestPasswordDialog::f11ShowsTheHintOfTheFocusedField()
{
    QFETCH(QString, control);
    QFETCH(QString, hint);
    QString shown;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        shown = PressF11(Control<QWidget>(dialog, control.toLatin1().constData()));
        Control<QPushButton>(dialog, "CancelBtn")->click();
    });
    QString password;
    QVERIFY(!AskPassword(CenterPos, "Title", "Prompt", password));
    QVERIFY(driver.Ran());
    QCOMPARE(shown, hint);
}

void TestPasswordDialog::hugePromptStaysOnTheScreen_data()
{
    QTest::addColumn<QString>("prompt");
    QTest::newRow("10000 characters") << QString(10000, QChar(u'x'));
    QTest::newRow("10000 characters in words") << QStringLiteral("The account of the group. ").repeated(400);
    QTest::newRow("500 lines") << ManyLines(500);
}

void TestPasswordDialog::hugePromptStaysOnTheScreen()
{
    QFETCH(QString, prompt);
    QRect frame;
    QRect area;
    bool editVisible = false;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        frame = dialog->frameGeometry();
        area = dialog->screen()->availableGeometry();
        auto *edit = Control<QLineEdit>(dialog, "edtPwd");
        editVisible =
            edit->isVisible() && dialog->rect().contains(QRect(edit->mapTo(dialog, QPoint()), edit->size()));
        QTest::keyClicks(edit, "pw");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QString password;
    QVERIFY(AskPassword(QPoint(900, 700), "Title", prompt, password));
    QVERIFY(driver.Ran());
    QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                  .arg(frame.x())
                                                  .arg(frame.y())
                                                  .arg(frame.width())
                                                  .arg(frame.height())));
    QVERIFY(editVisible);
    QCOMPARE(password, QStringLiteral("pw"));
}

QTEST_MAIN(TestPasswordDialog)
#include "tst_pwddlg.moc"
