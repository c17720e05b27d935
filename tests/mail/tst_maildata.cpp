#include "config/UnicodeIniFile.h"
#include "mail/MailData.h"
#include "mail/PasswordCrypt.h"

#include <QTest>

#include <clocale>

namespace {

// A document holding the given INI text, with no file behind it.
std::unique_ptr<TIniDocument> Document(const QByteArray &text)
{
    auto ini = std::make_unique<TIniDocument>(QString());
    ini->LoadFromBytes(text);
    return ini;
}

QString StoredPassword(const QByteArray &password)
{
    return EncryptPassword(ProgramPassPhrase(), password);
}

} // namespace

class TestMailData final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(setlocale(LC_CTYPE, "C.UTF-8")); }

    void loadSection_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("smtp");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<int>("secureMode");
        QTest::addColumn<bool>("enabled");

        const QString subject = QStringLiteral("AkStarter error report");
        QTest::newRow("no section") << QByteArray("[Other]\nSMTP=wrong\n") << "" << 25 << "AkStarter"
                                    << subject << int(stNone) << false;
        QTest::newRow("all keys") << QByteArray("[Mail]\nSMTP=mail.example.org\nPort=587\nUsername=ak\n"
                                                "Sender=Backup\nReplyTo=ak@example.org\n"
                                                "Recipients=a@example.org,b@example.org\nSubject=Failed\n"
                                                "UseTLS=2\nEnabled=1\n")
                                  << "mail.example.org" << 587 << "Backup"
                                  << "Failed" << int(stRequired) << true;
        QTest::newRow("enabled without recipients")
            << QByteArray("[Mail]\nSMTP=mail.example.org\nRecipients=\nEnabled=1\n") << "mail.example.org"
            << 25 << "AkStarter" << subject << int(stNone) << false;
        QTest::newRow("enabled without server") << QByteArray("[Mail]\nRecipients=a@example.org\nEnabled=1\n")
                                                << "" << 25 << "AkStarter" << subject << int(stNone) << false;
        QTest::newRow("enabled stored as 2") << QByteArray("[Mail]\nSMTP=h\nRecipients=a@b\nEnabled=2\n")
                                             << "h" << 25 << "AkStarter" << subject << int(stNone) << true;
        QTest::newRow("empty subject and sender kept")
            << QByteArray("[Mail]\nSender=\nSubject=\n") << "" << 25 << ""
            << "" << int(stNone) << false;
        QTest::newRow("implicit TLS") << QByteArray("[Mail]\nUseTLS=3\nPort=465\n") << "" << 465
                                      << "AkStarter" << subject << int(stImplicit) << false;
        QTest::newRow("TLS mode out of range kept")
            << QByteArray("[Mail]\nUseTLS=7\n") << "" << 25 << "AkStarter" << subject << 7 << false;
        QTest::newRow("negative TLS mode kept")
            << QByteArray("[Mail]\nUseTLS=-1\n") << "" << 25 << "AkStarter" << subject << -1 << false;
        QTest::newRow("hexadecimal port") << QByteArray("[Mail]\nPort=0x1D\n") << "" << 29 << "AkStarter"
                                          << subject << int(stNone) << false;
        QTest::newRow("port not a number") << QByteArray("[Mail]\nPort=25a\nUseTLS=x\n") << "" << 25
                                           << "AkStarter" << subject << int(stNone) << false;
    }

    void loadSection()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, smtp);
        QFETCH(int, port);
        QFETCH(QString, sender);
        QFETCH(QString, subject);
        QFETCH(int, secureMode);
        QFETCH(bool, enabled);

        TMailData mail = TMailData::DefaultValues();
        mail.WriteLog = true;
        mail.LoadFromIni(*Document(ini));
        QCOMPARE(mail.SMTP, smtp);
        QCOMPARE(mail.Port, port);
        QCOMPARE(mail.Sender, sender);
        QCOMPARE(mail.Subject, subject);
        QCOMPARE(int(mail.SecureMode), secureMode);
        QCOMPARE(mail.Enabled, enabled);
        // Not stored: the value of this program run stays.
        QVERIFY(mail.WriteLog);
    }

    // The section is erased and written anew at the end, in a fixed key order; stale
    // keys do not survive and an out-of-range mode is written back as read.
    void saveSection()
    {
        auto ini = Document("[Mail]\nStale=1\nSMTP=old\n\n[Other]\nKey=Value\n");
        TMailData mail;
        mail.SMTP = QStringLiteral("mail.example.org");
        mail.Port = 465;
        mail.Username = QStringLiteral("ak");
        mail.Sender = QStringLiteral("Backup, \"Office\"");
        mail.ReplyTo = QStringLiteral("ak@example.org");
        mail.Recipients = QStringLiteral("a@example.org,b@example.org");
        mail.Subject = QString();
        mail.SecureMode = TSecTransfer(9);
        mail.WriteLog = true;
        mail.Enabled = true;
        mail.SaveToIni(*ini);
        QCOMPARE(
            QString::fromUtf8(ini->SaveToBytes()),
            QStringLiteral("[Other]\r\nKey=Value\r\n\r\n"
                           "[Mail]\r\nSMTP=mail.example.org\r\nPort=465\r\nUsername=ak\r\nPassword=\r\n"
                           "Sender=Backup, \"Office\"\r\nReplyTo=ak@example.org\r\n"
                           "Recipients=a@example.org,b@example.org\r\nSubject=\r\nUseTLS=9\r\nEnabled=1\r\n"
                           "\r\n"));
    }

    void passwordRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("ASCII") << QByteArray("secret") << QByteArray("secret");
        QTest::newRow("multi-byte characters")
            << QString("pässwörd€").toUtf8() << QString("pässwörd€").toUtf8();
        QTest::newRow("64 bytes kept") << QByteArray(64, 'a') << QByteArray(64, 'a');
        QTest::newRow("65 bytes cut") << QByteArray(65, 'a') << QByteArray(64, 'a');
        QTest::newRow("cut before a split character")
            << QByteArray(63, 'a') + QString("ä").toUtf8() << QByteArray(63, 'a');
        QTest::newRow("40 two-byte characters") << QString(40, u'ä').toUtf8() << QString(32, u'ä').toUtf8();
        QTest::newRow("bytes outside the character set")
            << QByteArray("\xff\xfe\x01 x") << QByteArray("\xff\xfe\x01 x");
    }

    void passwordRoundTrip()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, expected);

        auto ini = Document(QByteArray());
        TMailData mail;
        mail.Password = password;
        mail.SaveToIni(*ini);
        const QString stored = ini->ReadString("Mail", "Password", "missing");
        QCOMPARE(stored.isEmpty(), password.isEmpty());
        if (!password.isEmpty())
            QVERIFY(!stored.contains(QString::fromLatin1(password.left(3))));

        TMailData loaded;
        loaded.LoadFromIni(*ini);
        QCOMPARE(loaded.Password, expected);
    }

    void badStoredPassword_data()
    {
        QTest::addColumn<QString>("stored");

        const QString good = StoredPassword("secret");
        QVERIFY(!good.isEmpty());
        QString altered = good;
        altered[altered.size() / 2] = altered[altered.size() / 2] == u'A' ? u'B' : u'A';
        QTest::newRow("truncated") << good.first(good.size() - 5);
        QTest::newRow("one character altered") << altered;
        QTest::newRow("not Ascii85") << QStringLiteral("{not ascii85}");
        QTest::newRow("password in clear") << QStringLiteral("secret");
        QTest::newRow("hexadecimal form")
            << EncryptPassword(ProgramPassPhrase(), "secret", PasswordMaxLen, true);
        QTest::newRow("other pass phrase") << EncryptPassword("another phrase", "secret");
    }

    void badStoredPassword()
    {
        QFETCH(QString, stored);

        auto ini = Document(QByteArray());
        ini->WriteString("Mail", "Password", stored);
        ini->WriteString("Mail", "SMTP", "mail.example.org");
        TMailData mail;
        mail.Password = "before";
        mail.LoadFromIni(*ini);
        QCOMPARE(mail.Password, QByteArray());
        QCOMPARE(mail.SMTP, "mail.example.org");
    }
};

QTEST_GUILESS_MAIN(TestMailData)
#include "tst_maildata.moc"
