#include "mail/Mime.h"

#include <QTest>

Q_DECLARE_METATYPE(QList<TMailAddress>)

namespace {

QString Describe(const QList<TMailAddress> &AList)
{
    QStringList items;
    for (const TMailAddress &address : AList)
        items.append(u'[' + address.Name + QStringLiteral("|") + address.Address + u']');
    return items.join(u' ');
}

} // namespace

// The message pieces whose faults a received message would not show plainly: address
// lists as users type them, dot-stuffing across pieces, quoted-printable line rules.
class TestMime final : public QObject
{
    Q_OBJECT
private slots:
    void addressLists_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<TMailAddress>>("expected");

        using L = QList<TMailAddress>;
        QTest::newRow("plain list") << "a@example.org,b@example.org"
                                    << L{{{}, "a@example.org"}, {{}, "b@example.org"}};
        QTest::newRow("empty items") << " , a@example.org,, ,b@example.org, "
                                     << L{{{}, "a@example.org"}, {{}, "b@example.org"}};
        QTest::newRow("comma in quotes") << "\"Doe, John\" <john@example.org>, jane@example.org"
                                         << L{{"Doe, John", "john@example.org"}, {{}, "jane@example.org"}};
        QTest::newRow("escaped quote")
            << "\"Say \\\"hi\\\", Bob\" <bob@example.org>" << L{{"Say \"hi\", Bob", "bob@example.org"}};
        QTest::newRow("name without quotes")
            << "Backup Admin <admin@example.org>" << L{{"Backup Admin", "admin@example.org"}};
        QTest::newRow("comma inside brackets")
            << "X <odd,addr@example.org>" << L{{"X", "odd,addr@example.org"}};
        QTest::newRow("comment as name")
            << "admin@example.org (Backup Admin)" << L{{"Backup Admin", "admin@example.org"}};
        QTest::newRow("brackets only") << "<admin@example.org>" << L{{{}, "admin@example.org"}};
        QTest::newRow("line break in name") << "\"Evil\r\nBcc: x@example.org\" <a@example.org>"
                                            << L{{"Evil  Bcc: x@example.org", "a@example.org"}};
        QTest::newRow("nothing") << " ,, " << L{};
    }

    void addressLists()
    {
        QFETCH(QString, text);
        QFETCH(QList<TMailAddress>, expected);
        QCOMPARE(Describe(ParseAddressList(text)), Describe(expected));
    }

    void validAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("valid");

        QTest::newRow("plain") << "admin@example.org" << true;
        QTest::newRow("plus and dots") << "first.last+backup@mail.example.org" << true;
        QTest::newRow("no at") << "admin" << false;
        QTest::newRow("empty local part") << "@example.org" << false;
        QTest::newRow("empty domain") << "admin@" << false;
        QTest::newRow("line break") << "a@example.org\r\nRCPT TO:<b@example.org>" << false;
        QTest::newRow("blank") << "a b@example.org" << false;
        QTest::newRow("bracket") << "a>@example.org" << false;
        QTest::newRow("non-ASCII") << "jörg@example.org" << false;
    }

    void validAddresses()
    {
        QFETCH(QString, address);
        QFETCH(bool, valid);
        QCOMPARE(IsValidMailAddress(address), valid);
    }

    // A message goes out in pieces; a "." at the start of a piece that continues a line
    // must not be stuffed, one that starts a line must.
    void dotStuffingAcrossPieces_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("dot line") << QByteArray("a\r\n.\r\nb\r\n") << QByteArray("a\r\n..\r\nb\r\n");
        QTest::newRow("leading dot") << QByteArray(".start\r\n") << QByteArray("..start\r\n");
        QTest::newRow("dots inside lines") << QByteArray("x.y\r\n a.\r\n") << QByteArray("x.y\r\n a.\r\n");
        QTest::newRow("double dot") << QByteArray("..\r\n") << QByteArray("...\r\n");
    }

    void dotStuffingAcrossPieces()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        for (qsizetype pieceSize = 1; pieceSize <= text.size(); ++pieceSize) {
            QByteArray out;
            bool atLineStart = true;
            for (qsizetype i = 0; i < text.size(); i += pieceSize)
                AppendDotStuffed(out, QByteArrayView(text).sliced(i, std::min(pieceSize, text.size() - i)),
                                 atLineStart);
            QCOMPARE(out, expected);
        }
    }

    void quotedPrintable_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("plain") << QByteArray("abc\r\n") << QByteArray("abc\r\n");
        QTest::newRow("equals and 8-bit") << QByteArray("a=b \xc3\xa4\r\n") << QByteArray("a=3Db =C3=A4\r\n");
        QTest::newRow("trailing blank") << QByteArray("end \r\n") << QByteArray("end=20\r\n");
        QTest::newRow("trailing tab") << QByteArray("end\t\r\n") << QByteArray("end=09\r\n");
        QTest::newRow("no final line end") << QByteArray("abc") << QByteArray("abc=\r\n");
        QTest::newRow("lone line feed") << QByteArray("a\nb\r\n") << QByteArray("a=0Ab\r\n");
        QTest::newRow("long line") << QByteArray(80, 'x') + "\r\n"
                                   << QByteArray(75, 'x') + "=\r\n" + QByteArray(5, 'x') + "\r\n";
        // An escape is never split by a soft line break.
        QTest::newRow("escape at the break") << QByteArray(74, 'x') + "=\r\n"
                                             << QByteArray(74, 'x') + "=\r\n=3D\r\n";
    }

    void quotedPrintable()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        const QByteArray encoded = QuotedPrintableEncode(text);
        QCOMPARE(encoded, expected);
        QVERIFY(LongestLine(encoded) <= 76);
    }

    void headerFolding_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("encoded");

        QTest::newRow("short") << "Backup report" << false;
        QTest::newRow("long words") << QStringLiteral("word ").repeated(40).trimmed() << false;
        QTest::newRow("umlaut") << "Sicherung fehlgeschlagen: Grüße" << true;
        QTest::newRow("looks encoded") << "=?utf-8?B?abc?=" << true;
        QTest::newRow("one long word") << QString(200, u'x') << true;
        QTest::newRow("long non-ASCII") << QStringLiteral("Fehler in März ").repeated(20) << true;
    }

    // Every header line stays within 78 characters and no text is lost to folding.
    void headerFolding()
    {
        QFETCH(QString, value);
        QFETCH(bool, encoded);
        const QByteArray header = UnstructuredHeader(QStringLiteral("Subject"), value);
        QVERIFY(header.startsWith("Subject: "));
        QVERIFY(header.endsWith("\r\n"));
        QCOMPARE(header.contains("=?utf-8?B?"), encoded);
        for (const QByteArray &line : header.chopped(2).split('\n'))
            QVERIFY2(line.size() <= 79, line.constData());
        if (!encoded) {
            QByteArray unfolded = header.chopped(2);
            unfolded.replace("\r\n", "");
            QCOMPARE(unfolded, "Subject: " + value.toLatin1());
        }
    }
};

QTEST_GUILESS_MAIN(TestMime)
#include "tst_mime.moc"
