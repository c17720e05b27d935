#include "config/UnicodeIniFile.h"
#include "mail/MailHistory.h"
#include "util/FileUtils.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

using namespace TestSupport;

namespace {

// The INI text as the backup program stores it in one of its encodings.
QByteArray Encode(const QString &AText, TIniDocument::TEncoding AEncoding)
{
    switch (AEncoding) {
    case TIniDocument::TEncoding::Utf16LE: {
        QByteArray bytes("\xff\xfe");
        for (const QChar c : AText) {
            bytes += char(c.unicode() & 0xff);
            bytes += char(c.unicode() >> 8);
        }
        return bytes;
    }
    case TIniDocument::TEncoding::Utf8:
        return "\xef\xbb\xbf" + AText.toUtf8();
    default:
        return AText.toLocal8Bit(); // the locale's character set, UTF-8 here
    }
}

QString Lines(const QStringList &ALines)
{
    return ALines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

} // namespace

class TestMailHistory final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(setlocale(LC_CTYPE, "C.UTF-8")); }

    void roundTrip_data()
    {
        QTest::addColumn<int>("encoding");

        QTest::newRow("UTF-16 with byte-order mark") << int(TIniDocument::TEncoding::Utf16LE);
        QTest::newRow("UTF-8 with byte-order mark") << int(TIniDocument::TEncoding::Utf8);
        QTest::newRow("ANSI") << int(TIniDocument::TEncoding::Ansi);
    }

    // The lists come from the backup program's file and go back into it: read limits,
    // empty values and gaps skipped, sections rewritten without gaps, the rest of the
    // file and its encoding kept.
    void roundTrip()
    {
        QFETCH(int, encoding);
        const auto fileEncoding = TIniDocument::TEncoding(encoding);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString fileName = dir.filePath(QStringLiteral("arkivo.ini"));
        QStringList addresses;
        for (int i = 0; i <= 50; ++i)
            addresses << QStringLiteral("Address%1=a%1@example.org").arg(i);
        addresses[1] = QStringLiteral("Address1=Jörg <joerg@example.org>");
        addresses[2] = QStringLiteral("Address2=");
        QVERIFY(WriteAll(
            fileName, Encode(Lines(QStringList{"[General]", "Language=de", "LastDir=/home/jörg/Sicherung", "",
                                               "[SmtpServer]", "History0=mail.example.org", "History1=",
                                               "History2=smtp.exämple.net", "History14=last.example.org",
                                               "History15=beyond.example.org", "", "[MailTo]"} +
                                   addresses + QStringList{"", "[Backup]", "Dest=/backup"}),
                             fileEncoding)));

        TMailHistory history;
        history.Users = QStringList{QStringLiteral("kept")};
        history.LoadFromIni(fileName);
        QCOMPARE(history.Servers, QStringList({"mail.example.org", "smtp.exämple.net", "last.example.org"}));
        // No section: the list stays as it was.
        QCOMPARE(history.Users, QStringList{"kept"});
        QCOMPARE(history.Addresses.size(), 49);
        QCOMPARE(history.Addresses.first(), "a0@example.org");
        QCOMPARE(history.Addresses.at(1), "Jörg <joerg@example.org>");
        QCOMPARE(history.Addresses.last(), "a49@example.org");

        AddToHistory(history.Servers, QStringLiteral("new.example.org"));
        history.Users = QStringList{QStringLiteral("ak")};
        history.Addresses =
            QStringList{QStringLiteral("a49@example.org"), QStringLiteral("Jörg <joerg@example.org>")};
        QVERIFY(history.SaveToIni());

        const QByteArray saved = ReadAll(fileName);
        QCOMPARE(saved, Encode(Lines({"[General]",
                                      "Language=de",
                                      "LastDir=/home/jörg/Sicherung",
                                      "",
                                      "[Backup]",
                                      "Dest=/backup",
                                      "",
                                      "[SmtpServer]",
                                      "History0=new.example.org",
                                      "History1=mail.example.org",
                                      "History2=smtp.exämple.net",
                                      "History3=last.example.org",
                                      "",
                                      "[MailUser]",
                                      "History0=ak",
                                      "",
                                      "[MailTo]",
                                      "Address0=a49@example.org",
                                      "Address1=Jörg <joerg@example.org>",
                                      ""}),
                               fileEncoding));

        TMailHistory again;
        again.LoadFromIni(fileName);
        QCOMPARE(again.Servers, history.Servers);
        QCOMPARE(again.Users, history.Users);
        QCOMPARE(again.Addresses, history.Addresses);
    }

    // The file named first stays the history file for the whole program run.
    void firstFileOnly()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString first = dir.filePath(QStringLiteral("first.ini"));
        const QString second = dir.filePath(QStringLiteral("second.ini"));
        const QByteArray secondText("[SmtpServer]\r\nHistory0=second.example.org\r\n");
        QVERIFY(WriteAll(first, "[SmtpServer]\r\nHistory0=first.example.org\r\n"));
        QVERIFY(WriteAll(second, secondText));

        TMailHistory history;
        history.LoadFromIni(QString());
        QVERIFY(history.IniName().isEmpty());
        history.LoadFromIni(first);
        history.LoadFromIni(second);
        QCOMPARE(history.IniName(), first);
        QCOMPARE(history.Servers, QStringList{"first.example.org"});

        history.Servers.prepend(QStringLiteral("added.example.org"));
        QVERIFY(history.SaveToIni());
        QCOMPARE(ReadAll(second), secondText);
        TMailHistory reread;
        reread.LoadFromIni(first);
        QCOMPARE(reread.Servers, QStringList({"added.example.org", "first.example.org"}));
    }

    void unusableFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());

        // Nothing loaded: nothing written.
        TMailHistory unloaded;
        unloaded.Servers = QStringList{QStringLiteral("mail.example.org")};
        QVERIFY(unloaded.SaveToIni());
        QVERIFY(QDir(dir.path()).isEmpty());

        // A folder in place of the file: the lists stay, the save fails without harm.
        const QString folder = dir.filePath(QStringLiteral("arkivo.ini"));
        QVERIFY(QDir().mkdir(folder));
        TMailHistory history;
        history.Servers = QStringList{QStringLiteral("mail.example.org")};
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".")));
        history.LoadFromIni(folder);
        QCOMPARE(history.Servers, QStringList{"mail.example.org"});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".")));
        QVERIFY(!history.SaveToIni());
        QVERIFY(QFileInfo(folder).isDir());
    }
};

QTEST_GUILESS_MAIN(TestMailHistory)
#include "tst_mailhistory.moc"
