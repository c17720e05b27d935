#include "ModalHelper.h"
#include "ui/NewPwdDlg.h"
#include "ui/ShowMessageDlg.h"
#include "util/PasswordRating.h"

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using namespace ModalHelper;

namespace {

const QString DialogName = QStringLiteral("NewPwdDialog");

// Fills the fields and presses OK; when a message appears, notes it and which field has
// the focus afterwards, then cancels.
struct TOkAttempt
{
    QString Message;
    QString FocusedField;
    bool ConfirmShown = false;
    TModalDriver Driver;

    TOkAttempt(const QString &APassword, const QString &ARepeat)
        : Driver(DialogName, [this, APassword, ARepeat](QWidget *dialog) {
              ConfirmShown = Control<QLineEdit>(dialog, "edtRepPwd")->isVisible();
              QTest::keyClicks(Control<QLineEdit>(dialog, "edtPwd"), APassword);
              if (ConfirmShown)
                  QTest::keyClicks(Control<QLineEdit>(dialog, "edtRepPwd"), ARepeat);
              const TMessageCatcher catcher;
              Control<QPushButton>(dialog, "OKBtn")->click();
              if (!dialog->isVisible())
                  return;
              if (catcher.Wait())
                  Message = catcher.Text();
              if (QWidget *focused = dialog->focusWidget())
                  FocusedField = focused->objectName();
              QTest::keyClick(dialog->focusWidget(), Qt::Key_Escape);
          })
    {
    }
};

} // namespace

class TestNewPwdDialog final : public QObject
{
    Q_OBJECT

private slots:
    void confirmingChecksBothEntries_data();
    void confirmingChecksBothEntries();
    void withoutConfirmationAnythingGoes();
    void barRatesTheEntry_data();
    void barRatesTheEntry();
    void showButtonUnmasksBothFields();
    void ansiVariantGivesBytes();
    void f11ShowsTheTextHints_data();
    void f11ShowsTheTextHints();
    void barIsAGradientUpToTheRating();
};

void TestNewPwdDialog::confirmingChecksBothEntries_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("repeat");
    QTest::addColumn<QString>("message"); // empty: accepted
    QTest::addColumn<QString>("focused");
    const QString tooShort = QStringLiteral("Minimum length of password is 8 characters");
    QTest::newRow("empty is accepted despite the minimum") << ""
                                                           << ""
                                                           << ""
                                                           << "";
    QTest::newRow("long enough and equal") << "abcdefgh"
                                           << "abcdefgh"
                                           << ""
                                           << "";
    QTest::newRow("different entries") << "abcdefgh1"
                                       << "abcdefgh2"
                                       << "Passwords do not match!"
                                       << "edtRepPwd";
    QTest::newRow("repeat missing") << "abcdefgh1"
                                    << ""
                                    << "Passwords do not match!"
                                    << "edtRepPwd";
    QTest::newRow("short and equal") << "abc"
                                     << "abc" << tooShort << "edtPwd";
    QTest::newRow("short and different") << "abc"
                                         << "xyz" << tooShort << "edtPwd";
}

void TestNewPwdDialog::confirmingChecksBothEntries()
{
    QFETCH(QString, password);
    QFETCH(QString, repeat);
    QFETCH(QString, message);
    QFETCH(QString, focused);

    const TOkAttempt attempt(password, repeat);
    TNewPwdDialog dialog;
    QString result = QStringLiteral("old");
    QCOMPARE(dialog.Execute(ScreenCenterPos, "Account password", result, true, false, 8), message.isEmpty());
    QVERIFY(attempt.Driver.Ran());
    QVERIFY(attempt.ConfirmShown);
    QCOMPARE(attempt.Message, message);
    QCOMPARE(attempt.FocusedField, focused);
    QCOMPARE(result, message.isEmpty() ? password : QStringLiteral("old"));
}

void TestNewPwdDialog::withoutConfirmationAnythingGoes()
{
    const TOkAttempt attempt("abc", QString());
    QString result;
    QVERIFY(AskNewPassword("Program password", result));
    QVERIFY(attempt.Driver.Ran());
    QVERIFY(!attempt.ConfirmShown);
    QCOMPARE(attempt.Message, QString());
    QCOMPARE(result, QStringLiteral("abc"));
}

void TestNewPwdDialog::barRatesTheEntry_data()
{
    QTest::addColumn<int>("minLen");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("rating");
    QTest::newRow("shorter than the minimum shows 0") << 8 << "K#9vLq!" << 0;
    QTest::newRow("at the minimum") << 8 << "K#9vLq!2" << 60;
    QTest::newRow("small minimum") << 2 << "Aa" << 9;
    QTest::newRow("spaces only") << 2 << "     " << 0;
}

void TestNewPwdDialog::barRatesTheEntry()
{
    QFETCH(int, minLen);
    QFETCH(QString, typed);
    QFETCH(int, rating);
    int shown = -1;
    int afterDelete = -1;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        auto *edit = Control<QLineEdit>(dialog, "edtPwd");
        QTest::keyClicks(edit, typed);
        shown = Control<TQualityBar>(dialog, "imgBar")->Rating();
        QTest::keyClick(edit, Qt::Key_Backspace);
        afterDelete = Control<TQualityBar>(dialog, "imgBar")->Rating();
        Control<QPushButton>(dialog, "CancelBtn")->click();
    });
    TNewPwdDialog dialog;
    QString password;
    QVERIFY(!dialog.Execute("Title", password, false, false, minLen));
    QVERIFY(driver.Ran());
    QCOMPARE(shown, rating);
    const QString shorter = typed.chopped(1);
    QCOMPARE(afterDelete, shorter.size() < minLen ? 0 : PasswordStrength(shorter));
}

void TestNewPwdDialog::showButtonUnmasksBothFields()
{
    QStringList texts;
    bool buttonShown = false;
    QList<int> modes;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        auto *edit = Control<QLineEdit>(dialog, "edtPwd");
        auto *repeat = Control<QLineEdit>(dialog, "edtRepPwd");
        auto *show = Control<QToolButton>(dialog, "btnShow");
        buttonShown = show->isVisible();
        texts << edit->text() << repeat->text();
        modes << edit->echoMode() << repeat->echoMode();
        QTest::mouseClick(show, Qt::LeftButton);
        modes << edit->echoMode() << repeat->echoMode();
        QTest::mouseClick(show, Qt::LeftButton);
        modes << edit->echoMode() << repeat->echoMode();
        QTest::keyClick(edit, Qt::Key_Return);
    });
    TNewPwdDialog dialog;
    QString password = QStringLiteral("Old one 1");
    QVERIFY(dialog.Execute(QPoint(50, 50), "Title", password, true, true, 2));
    QVERIFY(driver.Ran());
    QVERIFY(buttonShown);
    QCOMPARE(texts, QStringList({"Old one 1", "Old one 1"}));
    const int masked = QLineEdit::Password;
    const int clear = QLineEdit::Normal;
    QCOMPARE(modes, QList<int>({masked, masked, clear, clear, masked, masked}));
    QCOMPARE(password, QStringLiteral("Old one 1"));

    // Without Show the fields start empty and the button is hidden.
    texts.clear();
    const TModalDriver again(DialogName, [&](QWidget *dialog) {
        buttonShown = Control<QToolButton>(dialog, "btnShow")->isVisible();
        texts << Control<QLineEdit>(dialog, "edtPwd")->text();
        QTest::keyClick(Control<QLineEdit>(dialog, "edtPwd"), Qt::Key_Escape);
    });
    QVERIFY(!dialog.Execute("Title", password, false, false, 2));
    QVERIFY(again.Ran());
    QVERIFY(!buttonShown);
    QCOMPARE(texts, QStringList({QString()}));
    QCOMPARE(password, QStringLiteral("Old one 1"));
}

void TestNewPwdDialog::ansiVariantGivesBytes()
{
    const TModalDriver driver(DialogName, [](QWidget *dialog) {
        QTest::keyClicks(Control<QLineEdit>(dialog, "edtPwd"), "smtp pass");
        QTest::keyClick(Control<QLineEdit>(dialog, "edtPwd"), Qt::Key_Return);
    });
    QByteArray password("old");
    QVERIFY(AskNewPasswordAnsi(CenterPos, "SMTP password", password));
    QVERIFY(driver.Ran());
    QCOMPARE(password, QByteArray("smtp pass"));
}

void TestNewPwdDialog::f11ShowsTheTextHints_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("hint");
    QTest::newRow("password") << "edtPwd"
                              << "Password";
    QTest::newRow("confirmation") << "edtRepPwd"
                                  << "Confirm password";
    QTest::newRow("show button") << "btnShow"
                                 << "Show password";
}

void TestNewPwdDialog::f11ShowsTheTextHints()
{
    QFETCH(QString, control);
    QFETCH(QString, hint);
    QString shown;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        shown = PressF11(Control<QWidget>(dialog, control.toLatin1().constData()));
        Control<QPushButton>(dialog, "CancelBtn")->click();
    });
    TNewPwdDialog dialog;
    QString password;
    QVERIFY(!dialog.Execute("Title", password, true, true, 2));
    QVERIFY(driver.Ran());
    QCOMPARE(shown, hint);
}

void TestNewPwdDialog::barIsAGradientUpToTheRating()
{
    QCOMPARE(TQualityBar::GradientColor(0, 201), QColor(255, 0, 0));
    QCOMPARE(TQualityBar::GradientColor(50, 201), QColor(255, 128, 0));
    QCOMPARE(TQualityBar::GradientColor(100, 201), QColor(255, 255, 0));
    QCOMPARE(TQualityBar::GradientColor(150, 201), QColor(128, 192, 0));
    QCOMPARE(TQualityBar::GradientColor(200, 201), QColor(0, 128, 0));

    TQualityBar bar;
    bar.resize(200, 20);
    QPalette palette = bar.palette();
    palette.setColor(QPalette::Window, QColor(1, 2, 3));
    bar.setPalette(palette);
    bar.SetRating(50);
    const QImage image = bar.grab().toImage();
    QCOMPARE(image.pixelColor(20, 3), TQualityBar::GradientColor(20, 200));
    QCOMPARE(image.pixelColor(180, 3), QColor(1, 2, 3));
    bar.SetRating(150);
    QCOMPARE(bar.Rating(), 100);
    QCOMPARE(bar.grab().toImage().pixelColor(180, 3), TQualityBar::GradientColor(180, 200));
}

QTEST_MAIN(TestNewPwdDialog)
#include "tst_newpwddlg.moc"
