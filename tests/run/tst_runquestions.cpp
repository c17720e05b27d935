#include "run/RunQuestions.h"

#include <QtTest>

#include <future>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A pseudo terminal: the questions get the terminal side, the test types on the other.
class TPty
{
public:
    TPty()
    {
        if (openpty(&FMaster, &FTerminal, nullptr, nullptr, nullptr) != 0)
            FMaster = FTerminal = -1;
    }
    ~TPty()
    {
        HangUp();
        if (FTerminal >= 0)
            close(FTerminal);
    }
    TPty(const TPty &) = delete;
    TPty &operator=(const TPty &) = delete;

    bool IsOpen() const { return FMaster >= 0; }
    // Closes the test's side: a question still waiting then sees the terminal gone.
    void HangUp()
    {
        if (FMaster >= 0)
            close(std::exchange(FMaster, -1));
    }
    // The terminal side, handed over to the questions, which close it.
    int TakeTerminal() { return std::exchange(FTerminal, -1); }
    int Master() const { return FMaster; }

    // Reads what the program wrote until AText appears (true) or AMs pass (false).
    bool WaitFor(const QByteArray &AText, int AMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!Output.contains(AText)) {
            const qint64 left = AMs - timer.elapsed();
            if (left <= 0)
                return false;
            pollfd entry{FMaster, POLLIN, 0};
            if (poll(&entry, 1, int(left)) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(FMaster, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            Output.append(buffer, n);
        }
        return true;
    }
    void Type(const QByteArray &AText)
    {
        // Written in pieces with reads in between, so that a long line cannot fill both
        // directions of the terminal and stall.
        for (qsizetype done = 0; done < AText.size();) {
            const ssize_t n = write(FMaster, AText.constData() + done,
                                    size_t(std::min<qsizetype>(512, AText.size() - done)));
            if (n <= 0)
                return;
            done += n;
            WaitFor(QByteArray("\x01never"), 1);
        }
    }
    // The terminal's settings as the questions left them.
    tcflag_t LocalFlags() const
    {
        termios settings{};
        tcgetattr(FMaster, &settings);
        return settings.c_lflag;
    }

    QByteArray Output;

private:
    int FMaster = -1;
    int FTerminal = -1;
};

// Hangs up when a test ends early, so that a question still waiting returns and its
// thread can be joined.
struct THangUpGuard
{
    TPty &Pty;
    ~THangUpGuard() { Pty.HangUp(); }
};

} // namespace

class TestRunQuestions final : public QObject
{
    Q_OBJECT
private slots:
    void readsThePasswordWithoutEcho_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QByteArray("Secret 1\r") << true << QStringLiteral("Secret 1");
        QTest::newRow("line feed ends too") << QByteArray("Secret 1\n") << true << QStringLiteral("Secret 1");
        QTest::newRow("backspace") << QByteArray("Secx\x7fret\r") << true << QStringLiteral("Secret");
        QTest::newRow("backspace over umlaut") << QByteArray("pä\x7f"
                                                             "a\r")
                                               << true << QStringLiteral("pa");
        QTest::newRow("line erased") << QByteArray("wrong\x15right\r") << true << QStringLiteral("right");
        QTest::newRow("umlauts") << QByteArray("p\xc3\xa4sswort\r") << true << QStringLiteral("pässwort");
        QTest::newRow("empty") << QByteArray("\r") << true << QString();
        QTest::newRow("end of input") << QByteArray("\x04") << false << QString();
        QTest::newRow("end of input after text is ignored") << QByteArray("ab\x04"
                                                                          "c\r")
                                                            << true << QStringLiteral("abc");
        QTest::newRow("10000 bytes") << QByteArray(10000, 'p') + '\r' << true << QString(10000, u'p');
    }
    void readsThePasswordWithoutEcho()
    {
        QFETCH(QByteArray, typed);
        QFETCH(bool, answered);
        QFETCH(QString, password);
        TPty pty;
        QVERIFY(pty.IsOpen());
        QVERIFY(pty.LocalFlags() & ECHO);
        TTerminalQuestions questions(pty.TakeTerminal());
        auto answer = std::async(std::launch::async, [&questions] {
            return questions.AskPassword(QStringLiteral("Title"), QStringLiteral("Enter it\r\nnow"));
        });
        const THangUpGuard hangUp{pty};
        QVERIFY(pty.WaitFor("Password: "));
        QCOMPARE(pty.Output, QByteArray("\r\nTitle\r\nEnter it\r\nnow\r\nPassword: "));
        QVERIFY(!(pty.LocalFlags() & (ECHO | ICANON)));
        pty.Type(typed);
        QCOMPARE(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        const std::optional<QString> result = answer.get();
        QCOMPARE(result.has_value(), answered);
        if (answered)
            QCOMPARE(*result, password);
        // Echo and line editing are back; nothing typed was shown, only the line end.
        QVERIFY((pty.LocalFlags() & (ECHO | ICANON)) == (ECHO | ICANON));
        pty.WaitFor("Password: \r\n", 2000);
        QCOMPARE(pty.Output, QByteArray("\r\nTitle\r\nEnter it\r\nnow\r\nPassword: \r\n"));
    }

    void asksForANumberedAnswer_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<int>("answer"); // -1: cancelled
        QTest::addColumn<bool>("option");
        QTest::addColumn<bool>("retried");
        QTest::newRow("second, option on") << QByteArray("2\ny\n") << 1 << true << false;
        QTest::newRow("first, option off") << QByteArray(" 1 \nn\n") << 0 << false << false;
        QTest::newRow("option left empty") << QByteArray("3\n\n") << 2 << false << false;
        QTest::newRow("zero cancels") << QByteArray("0\n") << -1 << false << false;
        QTest::newRow("empty cancels") << QByteArray("\n") << -1 << false << false;
        QTest::newRow("end of input cancels") << QByteArray("\x04") << -1 << false << false;
        QTest::newRow("out of range, then valid") << QByteArray("4\nthree\n3\ny\n") << 2 << true << true;
        QTest::newRow("end of input at the option cancels") << QByteArray("1\n\x04") << -1 << false << false;
    }
    void asksForANumberedAnswer()
    {
        QFETCH(QByteArray, typed);
        QFETCH(int, answer);
        QFETCH(bool, option);
        QFETCH(bool, retried);
        TPty pty;
        QVERIFY(pty.IsOpen());
        TTerminalQuestions questions(pty.TakeTerminal());
        auto result = std::async(std::launch::async, [&questions] {
            return questions.AskChoice(
                QStringLiteral("Arkivo"), QStringLiteral("Start them:\r\nA, B"),
                {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")},
                QStringLiteral("Terminate programs"));
        });
        QVERIFY(pty.WaitFor("Your choice: "));
        QVERIFY(
            pty.Output.contains("Arkivo\r\nStart them:\r\nA, B\r\n   1  One\r\n   2  Two\r\n   3  Three\r\n"
                                "   0  Cancel\r\n"));
        pty.Type(typed);
        QCOMPARE(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        const std::optional<TRunQuestions::TChoice> choice = result.get();
        QCOMPARE(choice.has_value(), answer >= 0);
        if (choice) {
            QCOMPARE(choice->Answer, answer);
            QCOMPARE(choice->Option, option);
            QVERIFY(pty.WaitFor("Terminate programs (y/N) "));
        }
        // The question has returned: what it wrote is there to read.
        QCOMPARE(pty.WaitFor("Please answer with a number from 0 to 3.", retried ? 2000 : 100), retried);
    }

    void showsErrorsOnTheTerminal()
    {
        TPty pty;
        QVERIFY(pty.IsOpen());
        TTerminalQuestions questions(pty.TakeTerminal());
        questions.ShowError(QStringLiteral("  *** Error on suspending system!\r\nNo such method"));
        QVERIFY(pty.WaitFor("method\r\n"));
        QCOMPARE(pty.Output, QByteArray("  *** Error on suspending system!\r\nNo such method\r\n"));
    }

    // A terminal that goes away while a question waits cancels the question.
    void cancelsWhenTheTerminalHangsUp()
    {
        TPty pty;
        QVERIFY(pty.IsOpen());
        TTerminalQuestions questions(pty.TakeTerminal());
        auto answer = std::async(std::launch::async, [&questions] {
            return questions.AskPassword(QStringLiteral("Title"), QStringLiteral("Prompt"));
        });
        const THangUpGuard hangUp{pty};
        QVERIFY(pty.WaitFor("Password: "));
        pty.HangUp();
        QCOMPARE(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        QVERIFY(!answer.get().has_value());
    }

    void asksNobodyWithoutATerminal()
    {
        THeadlessQuestions questions;
        QVERIFY(!questions.AskPassword(QStringLiteral("Title"), QStringLiteral("Prompt")).has_value());
        QVERIFY(!questions
                     .AskChoice(QStringLiteral("Title"), QStringLiteral("Q"), {QStringLiteral("A")},
                                QStringLiteral("O"))
                     .has_value());
    }
};

QTEST_GUILESS_MAIN(TestRunQuestions)
#include "tst_runquestions.moc"
