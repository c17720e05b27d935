#include "app/GuiQuestions.h"

#include "ui/ModalHelper.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using ModalHelper::TMessageCatcher;
using ModalHelper::TModalDriver;

// The run's questions as dialogs, answered as a user would.
class TestGuiQuestions final : public QObject
{
    Q_OBJECT
private slots:
    void asksForThePassword_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("OK") << QStringLiteral("OKBtn");
        QTest::newRow("Cancel") << QStringLiteral("CancelBtn");
    }
    void asksForThePassword()
    {
        QFETCH(QString, button);
        TGuiQuestions questions;
        QString prompt;
        QString title;
        const TModalDriver driver(QStringLiteral("PasswordDialog"), [&](QWidget *dialog) {
            title = dialog->windowTitle();
            prompt = dialog->findChild<QLabel *>(QStringLiteral("lblPrompt"))->text();
            QTest::keyClicks(dialog->findChild<QLineEdit *>(QStringLiteral("edtPwd")),
                             QStringLiteral("Geheim 7"));
            QTest::mouseClick(dialog->findChild<QPushButton *>(button), Qt::LeftButton);
        });
        const std::optional<QString> answer =
            questions.AskPassword(QStringLiteral("Start Arkivo"), QStringLiteral("Enter the password"));
        QVERIFY(driver.Ran());
        QCOMPARE(title, QStringLiteral("Start Arkivo"));
        QVERIFY2(prompt.contains(QStringLiteral("Enter the password")), qPrintable(prompt));
        QCOMPARE(answer, button == u"OKBtn" ? std::optional(QStringLiteral("Geheim 7")) : std::nullopt);
    }

    void asksForTheEndAction_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("check");
        QTest::addColumn<int>("answer"); // -1: cancelled
        QTest::newRow("restart with termination") << QStringLiteral("btAnswer4") << true << 4;
        QTest::newRow("only backup") << QStringLiteral("btAnswer0") << false << 0;
        QTest::newRow("cancel") << QStringLiteral("btClose") << true << -1;
    }
    void asksForTheEndAction()
    {
        QFETCH(QString, button);
        QFETCH(bool, check);
        QFETCH(int, answer);
        TGuiQuestions questions;
        bool focusOnCancel = false;
        bool optionOff = false;
        bool bold = false;
        const TModalDriver driver(QStringLiteral("SelectDialog"), [&](QWidget *dialog) {
            focusOnCancel =
                dialog->focusWidget() == dialog->findChild<QPushButton *>(QStringLiteral("btClose"));
            auto *option = dialog->findChild<QCheckBox *>(QStringLiteral("cbOption"));
            optionOff = !option->isChecked();
            bold = dialog->findChild<QLabel *>(QStringLiteral("stCaption"))->font().bold();
            if (check)
                option->setChecked(true);
            QTest::mouseClick(dialog->findChild<QPushButton *>(button), Qt::LeftButton);
        });
        const QStringList answers{QStringLiteral("Only backup"),        QStringLiteral("Backup + Standby"),
                                  QStringLiteral("Backup + Hibernate"), QStringLiteral("Backup + Logoff"),
                                  QStringLiteral("Backup + Restart"),   QStringLiteral("Backup + Shutdown")};
        const auto choice = questions.AskChoice(QStringLiteral("Arkivo"), QStringLiteral("Start:\r\nA, B"),
                                                answers, QStringLiteral("Terminate all running programs"));
        QVERIFY(driver.Ran());
        QVERIFY(focusOnCancel);
        QVERIFY(optionOff);
        QVERIFY(bold);
        QCOMPARE(choice.has_value(), answer >= 0);
        if (choice) {
            QCOMPARE(choice->Answer, answer);
            QCOMPARE(choice->Option, check);
        }
    }

    void showsErrors()
    {
        TGuiQuestions questions;
        TMessageCatcher catcher;
        questions.ShowError(QStringLiteral("Unknown group: Weekly"));
        QVERIFY(catcher.Ran());
        QVERIFY2(catcher.Text().contains(QStringLiteral("Unknown group: Weekly")),
                 qPrintable(catcher.Text()));
    }
};

QTEST_MAIN(TestGuiQuestions)
#include "tst_guiquestions.moc"
