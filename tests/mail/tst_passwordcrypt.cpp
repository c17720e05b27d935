#include "mail/Encryption.h"
#include "mail/PasswordCrypt.h"

#include <QBuffer>
#include <QtTest>

#include <clocale>

namespace {

QByteArray Pattern(int size, char first = 'a')
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(first + i % 26);
    return bytes;
}

// An authenticated stream around any record, as EncryptPassword would write it.
QString EncryptRecord(const QByteArray &passPhrase, QByteArray record)
{
    QBuffer in(&record);
    in.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    TEncryption encryption(passPhrase, 0, 4096);
    return encryption.EncryptStream(&in, &out) ? Ascii85Encode(out.data()) : QString();
}

// Switches LC_CTYPE for one test and back.
class TCtypeLocale
{
public:
    explicit TCtypeLocale(const char *name) : FOld(setlocale(LC_CTYPE, nullptr))
    {
        FOk = setlocale(LC_CTYPE, name) != nullptr;
    }
    ~TCtypeLocale() { setlocale(LC_CTYPE, FOld.constData()); }
    bool Ok() const { return FOk; }

private:
    QByteArray FOld;
    bool FOk = false;
};

} // namespace

class TestPasswordCrypt final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(setlocale(LC_CTYPE, "C.UTF-8")); }

    // Stored lengths: salt 8 + verification value 2 + record 64 (65 for 64 bytes and
    // more) + code 10 bytes, as Ascii85 105 or 107 characters, each "z" saving four;
    // the password reads back cut to the maximum length.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("passPhrase");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<int>("maxLen");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<int>("storedBytes");

        const QByteArray program = ProgramPassPhrase();
        for (bool hex : {false, true}) {
            const char *form = hex ? "hex" : "Ascii85";
            QTest::addRow("%s, 1 byte", form) << program << QByteArray("x") << 64 << hex << 84;
            QTest::addRow("%s, 63 bytes", form) << program << Pattern(63) << 64 << hex << 84;
            QTest::addRow("%s, 64 bytes", form) << program << Pattern(64) << 64 << hex << 85;
            QTest::addRow("%s, 70 bytes cut to 64", form) << program << Pattern(70) << 64 << hex << 85;
            QTest::addRow("%s, all byte values", form)
                << program << QByteArray("\x00\x01\x7f\x80\xff\x00\x00\x00\x00", 9) << 64 << hex << 84;
            QTest::addRow("%s, no pass phrase", form) << QByteArray() << Pattern(20) << 64 << hex << 64;
            QTest::addRow("%s, no pass phrase, 64 bytes", form)
                << QByteArray() << Pattern(64) << 64 << hex << 65;
        }
        QTest::newRow("pass phrase for AES-192")
            << Pattern(40, 'A') << Pattern(10) << 64 << false << 12 + 2 + 64 + 10;
        QTest::newRow("pass phrase for AES-256")
            << Pattern(60, 'A') << Pattern(10) << 64 << false << 16 + 2 + 64 + 10;
        QTest::newRow("short maximum") << program << Pattern(20) << 10 << false << 20 + 11;
        QTest::newRow("two-byte length field")
            << program << Pattern(250) << 300 << false << 20 + 2 + 250 + 49;
        QTest::newRow("longest length field") << program << Pattern(9000) << 10000 << false << 20 + 2 + 8191;
    }
    void roundTrip()
    {
        QFETCH(QByteArray, passPhrase);
        QFETCH(QByteArray, password);
        QFETCH(int, maxLen);
        QFETCH(bool, hex);
        QFETCH(int, storedBytes);

        const QString text = EncryptPassword(passPhrase, password, maxLen, hex);
        QCOMPARE(DecryptPassword(passPhrase, text, hex), password.left(std::min(maxLen, 8191)));
        if (hex) {
            QCOMPARE(text.size(), 2 * storedBytes);
            QCOMPARE(text, text.toUpper());
        } else {
            const qsizetype zeroGroups = text.count(u'z');
            QCOMPARE(text.size() + 4 * zeroGroups,
                     storedBytes / 4 * 5 + (storedBytes % 4 ? storedBytes % 4 + 1 : 0));
        }
        // The other form does not read an encrypted text.
        if (!passPhrase.isEmpty())
            QCOMPARE(DecryptPassword(passPhrase, text, !hex), QByteArray());
    }

    void emptyPasswordIsEmptyText()
    {
        QCOMPARE(EncryptPassword(ProgramPassPhrase(), QByteArray()), QString());
        QCOMPARE(DecryptPassword(ProgramPassPhrase(), u""), QByteArray());
        QCOMPARE(StorePassword(u""), QString());
        QCOMPARE(LoadPassword(u""), QString());
    }

    // Fresh salt and padding: never the same text twice, and both read back.
    void encryptionsDiffer()
    {
        const QByteArray password = "same password";
        const QString a = EncryptPassword(ProgramPassPhrase(), password);
        const QString b = EncryptPassword(ProgramPassPhrase(), password);
        QVERIFY(a != b);
        QCOMPARE(DecryptPassword(ProgramPassPhrase(), a), password);
        QCOMPARE(DecryptPassword(ProgramPassPhrase(), b), password);
        const QString c = EncryptPassword(QByteArray(), password);
        const QString d = EncryptPassword(QByteArray(), password);
        QVERIFY2(c != d, "the padding is random");
    }

    // Every single changed character, and every shorter text, reads as empty.
    void rejectsAlteredOrTruncatedText_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::newRow("105 characters") << QByteArray("alter me");
        QTest::newRow("107 characters") << Pattern(64);
    }
    void rejectsAlteredOrTruncatedText()
    {
        QFETCH(QByteArray, password);
        const QByteArray phrase = ProgramPassPhrase();
        const QString text = EncryptPassword(phrase, password);
        QCOMPARE(DecryptPassword(phrase, text), password);
        for (qsizetype i = 0; i < text.size(); ++i) {
            for (const char16_t replacement : {u'!', u'u', u'z', u'~'}) {
                QString altered = text;
                if (altered[i] == replacement)
                    continue;
                altered[i] = replacement;
                QVERIFY2(DecryptPassword(phrase, altered).isEmpty(), qPrintable(altered));
            }
        }
        for (qsizetype keep = 0; keep < text.size(); ++keep)
            QVERIFY2(DecryptPassword(phrase, text.left(keep)).isEmpty(), qPrintable(text.left(keep)));
        QVERIFY(DecryptPassword(phrase, QString(text + u'!')).isEmpty());
        QVERIFY(DecryptPassword(phrase + 'x', text).isEmpty());
        QVERIFY(DecryptPassword("another", text).isEmpty());
    }

    // Texts that are no stored password at all read as empty, without a crash.
    void rejectsMalformedText_data()
    {
        QTest::addColumn<QByteArray>("passPhrase");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hex");
        const QByteArray program = ProgramPassPhrase();
        QTest::newRow("blank") << program << QStringLiteral("   ") << false;
        QTest::newRow("outside the Ascii85 set") << program << QStringLiteral("9jqo^vvvvv") << false;
        QTest::newRow("non-ASCII") << program << QStringLiteral("9jqo^\u00e9") << false;
        QTest::newRow("one character") << program << QStringLiteral("!") << false;
        QTest::newRow("short header") << program << QStringLiteral("9jqo^9jqo^") << false;
        QTest::newRow("z inside a group") << QByteArray() << QStringLiteral("9jqzo^") << false;
        QTest::newRow("group above 32 bits") << QByteArray() << QStringLiteral("uuuuu") << false;
        QTest::newRow("hex, odd length") << program << QStringLiteral("ABC") << true;
        QTest::newRow("hex, not a digit") << QByteArray() << QStringLiteral("2G41") << true;
        QTest::newRow("hex, Ascii85 text") << program << EncryptPassword(program, "x") << true;
        // Unencrypted records whose length field does not fit the data.
        QTest::newRow("length beyond the data") << QByteArray() << Ascii85Encode("+ab") << false;
        QTest::newRow("two-byte length, one byte") << QByteArray() << Ascii85Encode("\x05") << false;
        QTest::newRow("two-byte length beyond the data")
            << QByteArray() << HexEncode(QByteArray("\x01\x00\x61", 3)) << true;
        // The same, authenticated with the program's pass phrase.
        QTest::newRow("encrypted, length beyond the data") << program
                                                           << EncryptRecord(program, "\xc8"
                                                                                     "ab")
                                                           << false;
        QTest::newRow("encrypted, two-byte length beyond the data")
            << program << EncryptRecord(program, QByteArray("\x1f\xff\x61", 3)) << false;
        QTest::newRow("encrypted, empty record") << program << EncryptRecord(program, QByteArray()) << false;
    }
    void rejectsMalformedText()
    {
        QFETCH(QByteArray, passPhrase);
        QFETCH(QString, text);
        QFETCH(bool, hex);
        QVERIFY(!text.isEmpty());
        QCOMPARE(DecryptPassword(passPhrase, text, hex), QByteArray());
    }

    // "z" stands for four zero bytes wherever a group begins.
    void decodesZ()
    {
        // Length field 44 (11 bytes), "abc", a zero group, "defg"; no padding needed.
        QCOMPARE(DecryptPassword(QByteArray(), u"/7E!tzA7]@c"), QByteArray("abc\0\0\0\0defg", 11));
        const QByteArray withZeros("abc\0\0\0\0xyz", 10);
        const QString text = EncryptPassword(QByteArray(), withZeros);
        QCOMPARE(text.at(5), u'z');
        QCOMPARE(DecryptPassword(QByteArray(), text), withZeros);
    }

    // Against Python's base64.a85encode, with the decoder's refusals.
    void ascii85_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("one zero byte") << QByteArray(1, '\0') << QStringLiteral("!!");
        QTest::newRow("zero group") << QByteArray(4, '\0') << QStringLiteral("z");
        QTest::newRow("zero group and a byte") << QByteArray(5, '\0') << QStringLiteral("z!!");
        QTest::newRow("Man ") << QByteArray("Man ") << QStringLiteral("9jqo^");
        QTest::newRow("Man is") << QByteArray("Man is") << QStringLiteral("9jqo^Bla");
        QTest::newRow("M") << QByteArray("M") << QStringLiteral("9`");
        QTest::newRow("largest group") << QByteArray("\xff\xff\xff\xff") << QStringLiteral("s8W-!");
        QTest::newRow("ff") << QByteArray("\xff") << QStringLiteral("rr");
        QTest::newRow("ff ff ff") << QByteArray("\xff\xff\xff") << QStringLiteral("s8W*");
        QTest::newRow("zero groups around data")
            << QByteArray("\0\0\0\0\x01\x02\x03\x04\0\0\0\0", 12) << QStringLiteral("z!<N?+z");
    }
    void ascii85()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(Ascii85Encode(bytes), text);
        QCOMPARE(Ascii85Decode(text), std::optional<QByteArray>(bytes));
    }

    void ascii85Decoding_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("zero group written out") << QStringLiteral("!!!!!") << true << QByteArray(4, '\0');
        QTest::newRow("two z") << QStringLiteral("zz") << true << QByteArray(8, '\0');
        QTest::newRow("z after a partial group") << QStringLiteral("!!z") << false << QByteArray();
        QTest::newRow("one-character last group") << QStringLiteral("9jqo^B") << false << QByteArray();
        QTest::newRow("above 32 bits") << QStringLiteral("s8W-\"") << false << QByteArray();
        QTest::newRow("last group above 32 bits") << QStringLiteral("uuu") << false << QByteArray();
        QTest::newRow("last group not as written") << QStringLiteral("9a") << false << QByteArray();
        QTest::newRow("blank") << QStringLiteral("9jqo^ Bla") << false << QByteArray();
        QTest::newRow("v") << QStringLiteral("v") << false << QByteArray();
        QTest::newRow("delimiters") << QStringLiteral("<~9jqo^~>") << false << QByteArray();
    }
    void ascii85Decoding()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Ascii85Decode(text), valid ? std::optional<QByteArray>(bytes) : std::nullopt);
    }

    void hexForm()
    {
        QCOMPARE(HexEncode(QByteArray("\x00\x1f\xa0\xff", 4)), QStringLiteral("001FA0FF"));
        QCOMPARE(HexDecode(u"001FA0FF"), std::optional<QByteArray>(QByteArray("\x00\x1f\xa0\xff", 4)));
        QCOMPARE(HexDecode(u"001fa0ff"), std::optional<QByteArray>(QByteArray("\x00\x1f\xa0\xff", 4)));
        QCOMPARE(HexDecode(u"0"), std::nullopt);
        QCOMPARE(HexDecode(u" 0"), std::nullopt);
        QCOMPARE(HexDecode(u"0x"), std::nullopt);
    }

    // Derived byte k from bytes 2k and 2k+1 (after the mask): for even k the low nibbles
    // (byte 2k+1's above byte 2k's), for odd k the high nibbles (byte 2k's above byte
    // 2k+1's); byte 0 is the length.
    void makePassPhrase_data()
    {
        QTest::addColumn<QString>("keyText");
        QTest::addColumn<int>("mask");
        QTest::addColumn<QByteArray>("phrase");
        QTest::newRow("AB, no mask") << QStringLiteral("D2204712D214138715C231071B4B19DD4D3619353C62DBE3")
                                     << 0x00 << QByteArray("AB");
        QTest::newRow("Zz9") << QStringLiteral("794A0CF580FD64C4EFC86D5F21714385F7BC436866888FB0") << 0x5A
                             << QByteArray("Zz9");
        QTest::newRow("lower-case digits")
            << QStringLiteral("794a0cf580fd64c4efc86d5f21714385f7bc436866888fb0") << 0x5A
            << QByteArray("Zz9");
        QTest::newRow("one character")
            << QStringLiteral("BE0F827ED553E5740A1DCDFD7404ED2E6219E6C343FD2114") << 0xFF << QByteArray("x");
        QTest::newRow("eleven characters")
            << QStringLiteral("98F38C92AF55A7940504AC919D25EF1B8015AB4E7205B4E7") << 0xC3
            << QByteArray("Eleven-char");
        QTest::newRow("any byte values") << QStringLiteral("344115066E169E14918361F5CAAA0BC50CF70D2DDDD3C2FE")
                                         << 0x11 << QByteArray("\x01\x7f\x80 ~");
        QTest::newRow("wrong mask") << QStringLiteral("D2204712D214138715C231071B4B19DD4D3619353C62DBE3")
                                    << 0x0F << QByteArray();
        QTest::newRow("length 0") << QStringLiteral("E434623645C061378530673465106F3405406830A5906F3B")
                                  << 0x24 << QByteArray();
        QTest::newRow("length 12") << QStringLiteral("18146B3AD5D06D3665106E3CD57064329560643D05A06F31")
                                   << 0x24 << QByteArray();
        QTest::newRow("length 255") << QStringLiteral("9B5B6E334550683345D06F3425A06B3C45906A3F95006337")
                                    << 0x24 << QByteArray();
        QTest::newRow("46 digits") << QStringLiteral("D2204712D214138715C231071B4B19DD4D3619353C62DB") << 0x00
                                   << QByteArray();
        QTest::newRow("50 digits") << QStringLiteral("D2204712D214138715C231071B4B19DD4D3619353C62DBE3E3")
                                   << 0x00 << QByteArray();
        QTest::newRow("not a digit") << QStringLiteral("D2204712D214138715C231071B4B19DD4D3619353C62DBEG")
                                     << 0x00 << QByteArray();
        QTest::newRow("blank") << QStringLiteral("D2204712D214138715C231071B4B19DD4D3619353C62DB 3") << 0x00
                               << QByteArray();
        QTest::newRow("empty") << QString() << 0x00 << QByteArray();
    }
    void makePassPhrase()
    {
        QFETCH(QString, keyText);
        QFETCH(int, mask);
        QFETCH(QByteArray, phrase);
        QCOMPARE(MakePassPhrase(keyText, uint8_t(mask)), phrase);
    }

    // The program's own phrase: valid, short enough for AES-128, and still the one that
    // wrote texts already stored (changing the key text would lose every password).
    void programPassPhrase()
    {
        const QByteArray phrase = ProgramPassPhrase();
        QVERIFY(phrase.size() >= 1 && phrase.size() <= 11);
        QCOMPARE(TEncryption(phrase, 0, 16).KeyMode(), 1);
        const QString stored = QString::fromLatin1(
            R"(5`8[,c/_9B_jV(Ul:%?l7EqQ:h-Do@4Lm_c0(_o(DTe'c^m1?"g8C!K:I5-s9@hQM3W1"Ol\J/O?>tZDHST.VDIS6_G:TE&/>[M%+0X0/)");
        QCOMPARE(LoadPassword(stored), QStringLiteral("Stored p\u00e4ssword"));
    }

    // What the configuration and mail settings store: text in the locale's character
    // set, cut to 64 bytes between characters, never inside one.
    void storesTextPasswords_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("readBack");
        QTest::addColumn<int>("bytes");
        const QString euro = QStringLiteral("\u20ac");
        const QString smile = QStringLiteral("\U0001F600");
        QTest::newRow("ASCII") << QByteArray("C.UTF-8") << QStringLiteral("secret")
                               << QStringLiteral("secret") << 6;
        QTest::newRow("UTF-8, 70 bytes, three-byte characters")
            << QByteArray("C.UTF-8") << "ab" + euro.repeated(22) + "cd"
            << "ab" + euro.repeated(20) << 62;
        QTest::newRow("UTF-8, 64 bytes exactly")
            << QByteArray("C.UTF-8") << "a" + euro.repeated(21) << "a" + euro.repeated(21) << 64;
        QTest::newRow("UTF-8, surrogate pairs")
            << QByteArray("C.UTF-8") << "a" + smile.repeated(16) << "a" + smile.repeated(15) << 61;
        QTest::newRow("ISO-8859-1") << QByteArray("de_DE") << QStringLiteral("Gr\u00fc\u00dfe")
                                    << QStringLiteral("Gr\u00fc\u00dfe") << 5;
        QTest::newRow("ISO-8859-1, unrepresentable")
            << QByteArray("de_DE") << "5" + euro << QStringLiteral("5?") << 2;
        QTest::newRow("EUC-JP, cut between characters")
            << QByteArray("ja_JP.eucjp") << "x" + QStringLiteral("\u65e5").repeated(40)
            << "x" + QStringLiteral("\u65e5").repeated(31) << 63;
    }
    void storesTextPasswords()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QString, password);
        QFETCH(QString, readBack);
        QFETCH(int, bytes);
        TCtypeLocale ctype(locale.constData());
        if (!ctype.Ok())
            QSKIP("locale not installed");
        QCOMPARE(PasswordToBytes(password).size(), bytes);
        QCOMPARE(PasswordFromBytes(PasswordToBytes(password)), readBack);
        const QString stored = StorePassword(password);
        QCOMPARE(stored.size(), bytes < 64 ? 105 - 4 * stored.count(u'z') : 107 - 4 * stored.count(u'z'));
        QCOMPARE(LoadPassword(stored), readBack);
    }
};

QTEST_GUILESS_MAIN(TestPasswordCrypt)
#include "tst_passwordcrypt.moc"
