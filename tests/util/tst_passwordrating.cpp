#include "util/PasswordRating.h"

#include <QtTest>

class TestPasswordRating final : public QObject
{
    Q_OBJECT

private slots:
    void ratesPasswords_data();
    void ratesPasswords();
    void mapsScoresOntoPercent_data();
    void mapsScoresOntoPercent();
    void ratesAVeryLongPassword();
};

void TestPasswordRating::ratesPasswords_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("score");
    QTest::addColumn<int>("strength");
    QTest::newRow("empty") << "" << 0 << 0;
    QTest::newRow("spaces only have length 0") << "    " << 0 << 0;
    QTest::newRow("one letter") << "a" << 3 << 2;
    QTest::newRow("spaces do not count") << "a b c" << 2 << 1;
    // abd has no sequence; abc, cba and both together lose one run (3 points) each.
    QTest::newRow("no sequence") << "abd" << 5 << 4;
    QTest::newRow("no sequence backwards") << "dba" << 5 << 4;
    QTest::newRow("letter sequence") << "abc" << 2 << 1;
    QTest::newRow("letter sequence backwards") << "cba" << 2 << 1;
    QTest::newRow("both directions count once") << "abcxcba" << 2 << 1;
    QTest::newRow("digit sequence") << "123" << 2 << 1;
    QTest::newRow("digit sequence backwards") << "321" << 2 << 1;
    QTest::newRow("symbol sequence") << "!@#" << 29 << 25;
    QTest::newRow("symbol sequence backwards") << "#@!" << 29 << 25;
    QTest::newRow("brackets are a sequence") << "()[" << 29 << 25;
    QTest::newRow("mixed case pair") << "Aa" << 10 << 9;
    QTest::newRow("consecutive upper and lower") << "AAbb" << 5 << 4;
    QTest::newRow("repeats and runs") << "aabb" << 0 << 0;
    QTest::newRow("repeated sequence") << "abcabc" << 0 << 0;
    QTest::newRow("digits only") << "1234" << 0 << 0;
    QTest::newRow("digit in the middle") << "x1x" << 17 << 15;
    QTest::newRow("one letter repeated") << "zzzzzzzzzzzzzzzzzzzz" << 0 << 0;
    QTest::newRow("letters only") << "password" << 8 << 7;
    QTest::newRow("capital and digit") << "Password1" << 54 << 41;
    QTest::newRow("symbols and digit") << "P@ssw0rd!" << 82 << 56;
    QTest::newRow("alternating kinds") << "A1b2C3d4" << 86 << 57;
    QTest::newRow("eight mixed") << "K#9vLq!2" << 92 << 60;
    QTest::newRow("eleven mixed") << "Tr0ub4dor&3" << 101 << 63;
    QTest::newRow("sixteen mixed") << "Z9#q!mW2$kP7&vB4" << 176 << 83;
    QTest::newRow("twenty mixed") << "uG7!mQ2#xR9$wL4@aT6%" << 218 << 89;
    QTest::newRow("passphrase") << "correct horse battery staple" << 25 << 22;
    QTest::newRow("letters beyond a-z are symbols") << QString::fromUtf8("ÄÖÜäöü") << 68 << 49;
    QTest::newRow("accented letters") << QString::fromUtf8("Ébène1!") << 60 << 45;
    QTest::newRow("characters beyond the BMP count once")
        << QString::fromUtf8("\xF0\x9F\x98\x80\xF0\x9F\x98\x80") << 16 << 14;
}

void TestPasswordRating::ratesPasswords()
{
    QFETCH(QString, password);
    QFETCH(int, score);
    QFETCH(int, strength);
    QCOMPARE(PasswordScore(password), score);
    QCOMPARE(PasswordStrength(password), strength);
}

void TestPasswordRating::mapsScoresOntoPercent_data()
{
    QTest::addColumn<int>("score");
    QTest::addColumn<int>("percent");
    QTest::newRow("0 is not negative") << 0 << 0;
    QTest::newRow("1") << 1 << 0;
    QTest::newRow("2") << 2 << 1;
    QTest::newRow("50") << 50 << 39;
    QTest::newRow("100") << 100 << 63;
    QTest::newRow("500") << 500 << 99;
}

void TestPasswordRating::mapsScoresOntoPercent()
{
    QFETCH(int, score);
    QFETCH(int, percent);
    QCOMPARE(StrengthOfScore(score), percent);
}

void TestPasswordRating::ratesAVeryLongPassword()
{
    // A long pasted text: the score is limited, not the input.
    const QString text = QString(3000, QChar(u'x'));
    QCOMPARE(PasswordScore(text), 0);
    QString mixed;
    for (int i = 0; i < 5000; ++i)
        mixed += QChar(u'!' + i % 90);
    QCOMPARE(PasswordStrength(mixed), 99);
}

QTEST_GUILESS_MAIN(TestPasswordRating)
#include "tst_passwordrating.moc"
