#include "config/UnicodeIniFile.h"
#include "support/TestSupport.h"
#include "util/AnsiCodec.h"
#include "util/Errors.h"
#include "util/FileUtils.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;
using TEncoding = TIniDocument::TEncoding;

Q_DECLARE_METATYPE(TIniDocument::TEncoding)

namespace {

// Sets LC_CTYPE (the "ANSI code page") for the life of the object.
class TCtypeLocale
{
public:
    explicit TCtypeLocale(const char *name)
    {
        FOld = setlocale(LC_CTYPE, nullptr);
        FOk = setlocale(LC_CTYPE, name) != nullptr;
    }
    ~TCtypeLocale() { setlocale(LC_CTYPE, FOld.constData()); }
    bool Ok() const { return FOk; }

private:
    QByteArray FOld;
    bool FOk;
};

QByteArray Utf16LEWithBom(const QString &text)
{
    QByteArray bytes("\xFF\xFE", 2);
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

QByteArray Utf16BEWithBom(const QString &text)
{
    QByteArray bytes("\xFE\xFF", 2);
    for (const QChar c : text) {
        bytes.append(char(c.unicode() >> 8));
        bytes.append(char(c.unicode() & 0xFF));
    }
    return bytes;
}

QStringList FolderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Everything a reader can see of a document: its sections, and for the first section of
// each name its keys with their values.
QStringList Dump(const TIniDocument &doc)
{
    QStringList lines;
    for (const QString &section : doc.ReadSections()) {
        lines.append(u'[' + section + u']');
        for (const QString &key : doc.ReadSection(section))
            lines.append(key + u'=' + doc.ReadString(section, key, QStringLiteral("<missing>")));
    }
    return lines;
}

const QString Missing = QStringLiteral("<default>");

} // namespace

class TestUnicodeIniFile final : public QObject
{
    Q_OBJECT

private slots:
    void lookup_data();
    void lookup();
    void numbers_data();
    void numbers();
    void writtenValuesReadBack();
    void brokenFileIsReadAndRewritten();
    void encodingDetection_data();
    void encodingDetection();
    void ansiEncoding_data();
    void ansiEncoding();
    void ansiInvalidAndUnrepresentable_data();
    void ansiInvalidAndUnrepresentable();
    void plainDocumentKeepsItsEncoding_data();
    void plainDocumentKeepsItsEncoding();
    void createForWriteMarker_data();
    void createForWriteMarker();
    void exactBytesWritten();
    void eraseSectionMovesItToTheEnd();
    void readOnlyDocumentNeverWrites();
    void openErrors_data();
    void openErrors();
    void saveFailureKeepsOldFile_data();
    void saveFailureKeepsOldFile();
    void destructorReportsSaveFailure();
    void fileModeAndOwner_data();
    void fileModeAndOwner();
    void symlinkStaysALink();
    void relativeNameSavesInCurrentFolder();
    void badInputSurvivesRoundTrip_data();
    void badInputSurvivesRoundTrip();
    void lineBreaksCannotForgeEntries();
    void readBoolFromIniFile_data();
    void readBoolFromIniFile();

private:
    QTemporaryDir FDir;
};

void TestUnicodeIniFile::lookup_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("blanks around key, equals and value") << QByteArray("[S]\r\n  key  =  value  \r\n") << "S"
                                                         << "key"
                                                         << "value";
    QTest::newRow("tabs and control characters are trimmed")
        << QByteArray("[S]\r\n\tkey\x01=\x1fvalue\t\r\n") << "S"
        << "key"
        << "value";
    QTest::newRow("blanks inside the header") << QByteArray("[  Spaced  ]\nk=v\n") << "Spaced"
                                              << "k"
                                              << "v";
    QTest::newRow("value keeps inner equals signs") << QByteArray("[S]\nk = a = b\n") << "S"
                                                    << "k"
                                                    << "a = b";
    QTest::newRow("empty value") << QByteArray("[S]\nk=\n") << "S"
                                 << "k"
                                 << "";
    QTest::newRow("section and key ignore case") << QByteArray("[Group One]\nUserName=bob\n") << "gROUP oNE"
                                                 << "USERNAME"
                                                 << "bob";
    QTest::newRow("non-ASCII names ignore case") << QByteArray("[\xc3\x84rger]\n\xc3\x9c=1\n") << "\u00e4RGER"
                                                 << "\u00fc"
                                                 << "1";
    QTest::newRow("Kelvin sign folds to k") << QByteArray("[S]\n\xe2\x84\xaa=1\n") << "s"
                                            << "k"
                                            << "1";
    QTest::newRow("first of two equal keys") << QByteArray("[S]\nk=1\nK=2\n") << "S"
                                             << "k"
                                             << "1";
    QTest::newRow("first of two equal sections") << QByteArray("[S]\nk=1\n[s]\nk=2\nj=3\n") << "S"
                                                 << "k"
                                                 << "1";
    QTest::newRow("duplicate section is not searched") << QByteArray("[S]\nk=1\n[s]\nj=3\n") << "S"
                                                       << "j" << Missing;
    QTest::newRow("comment line") << QByteArray("[S]\n;k=1\n") << "S"
                                  << ";k" << Missing;
    QTest::newRow("indented comment line") << QByteArray("[S]\n   ;k=1\n") << "S"
                                           << ";k" << Missing;
    QTest::newRow("line before the first header") << QByteArray("k=1\n[S]\n") << "S"
                                                  << "k" << Missing;
    QTest::newRow("unclosed bracket before any header") << QByteArray("[Open\nk=1\n[S]\nk=2\n") << "Open"
                                                        << "k" << Missing;
    QTest::newRow("line without equals never matches") << QByteArray("[S]\nkey\n") << "S"
                                                       << "key" << Missing;
    QTest::newRow("CR line breaks") << QByteArray("[S]\rk=1\rj=2\r") << "S"
                                    << "j"
                                    << "2";
    QTest::newRow("LF line breaks") << QByteArray("[S]\nk=1\nj=2") << "S"
                                    << "j"
                                    << "2";
    QTest::newRow("empty key") << QByteArray("[S]\n=v\n") << "S"
                               << ""
                               << "v";
    QTest::newRow("missing section") << QByteArray("[S]\nk=1\n") << "T"
                                     << "k" << Missing;
}

void TestUnicodeIniFile::lookup()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    const TCtypeLocale utf8("C.UTF-8");
    TIniDocument doc{QString()};
    doc.LoadFromBytes(content);
    QCOMPARE(doc.ReadString(section, key, Missing), expected);
    QCOMPARE(doc.ValueExists(section, key), expected != Missing);
}

void TestUnicodeIniFile::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("integer");
    QTest::addColumn<qint64>("int64");
    QTest::addColumn<int>("boolean"); // 1 true, 0 false, -1 the default

    QTest::newRow("decimal") << "42" << 42 << qint64(42) << 1;
    QTest::newRow("negative") << "-17" << -17 << qint64(-17) << 1;
    QTest::newRow("plus sign") << "+5" << 5 << qint64(5) << 1;
    QTest::newRow("zero") << "0" << 0 << qint64(0) << 0;
    QTest::newRow("hex with 0x") << "0x1F" << 31 << qint64(31) << 1;
    QTest::newRow("hex with 0X") << "0X1f" << 31 << qint64(31) << 1;
    QTest::newRow("hex with $") << "$1F" << 31 << qint64(31) << 1;
    QTest::newRow("hex without prefix") << "1F" << -7 << qint64(-7) << -1;
    QTest::newRow("0x alone") << "0x" << -7 << qint64(-7) << -1;
    QTest::newRow("empty") << "" << -7 << qint64(-7) << -1;
    QTest::newRow("two is true") << "2" << 2 << qint64(2) << 1;
    QTest::newRow("minus one is true") << "-1" << -1 << qint64(-1) << 1;
    QTest::newRow("word true") << "true" << -7 << qint64(-7) << -1;
    QTest::newRow("inner blank") << "1 2" << -7 << qint64(-7) << -1;
    QTest::newRow("int32 maximum") << "2147483647" << INT32_MAX << qint64(INT32_MAX) << 1;
    QTest::newRow("beyond int32") << "2147483648" << -7 << qint64(2147483648) << -1;
    QTest::newRow("int64 minimum") << "-9223372036854775808" << -7 << qint64(INT64_MIN) << -1;
    QTest::newRow("beyond int64") << "9223372036854775808" << -7 << qint64(-7) << -1;
    QTest::newRow("hex int64") << "0x7FFFFFFFFFFFFFFF" << -7 << qint64(INT64_MAX) << -1;
}

void TestUnicodeIniFile::numbers()
{
    QFETCH(QString, text);
    QFETCH(int, integer);
    QFETCH(qint64, int64);
    QFETCH(int, boolean);

    TIniDocument doc{QString()};
    doc.LoadFromBytes("[S]\nk=" + text.toUtf8() + "\n");
    QCOMPARE(doc.ReadInteger("S", "k", -7), integer);
    QCOMPARE(doc.ReadInt64("S", "k", -7), int64);
    QCOMPARE(doc.ReadBool("S", "k", false), boolean == -1 ? false : boolean == 1);
    QCOMPARE(doc.ReadBool("S", "k", true), boolean == -1 ? true : boolean == 1);
    QCOMPARE(doc.ReadInteger("S", "absent", -7), -7);
    QCOMPARE(doc.ReadBool("absent", "k", true), true);
}

void TestUnicodeIniFile::writtenValuesReadBack()
{
    TIniDocument doc{QString()};
    doc.WriteString("S", "Name", "first");
    doc.WriteInteger("S", "Count", -12);
    doc.WriteInt64("S", "Big", INT64_MIN);
    doc.WriteBool("S", "On", true);
    doc.WriteBool("S", "Off", false);
    doc.WriteString("s", "NAME", "second"); // replaces in place, keeps the key's new spelling

    QCOMPARE(doc.ReadSections(), QStringList({"S"}));
    QCOMPARE(doc.ReadSection("S"), QStringList({"NAME", "Count", "Big", "On", "Off"}));
    QCOMPARE(doc.ReadString("S", "name", Missing), "second");
    QCOMPARE(doc.ReadString("S", "Count", Missing), "-12");
    QCOMPARE(doc.ReadString("S", "Big", Missing), "-9223372036854775808");
    QCOMPARE(doc.ReadString("S", "On", Missing), "1");
    QCOMPARE(doc.ReadString("S", "Off", Missing), "0");

    doc.DeleteKey("S", "count");
    QCOMPARE(doc.ReadSection("S"), QStringList({"NAME", "Big", "On", "Off"}));
    doc.EraseSectionValues("S");
    QVERIFY(!doc.SectionExists("S"));
    QCOMPARE(doc.ReadSections(), QStringList({"S"}));
}

void TestUnicodeIniFile::brokenFileIsReadAndRewritten()
{
    const QString name = FDir.filePath("broken.ini");
    QVERIFY(WriteAll(name, ReadAll(DataFile("BrokenSections.ini"))));
    {
        const auto ini = TUnicodeIniFile::CreateForWrite(name, false);
        QCOMPARE(ini->ReadSections(), QStringList({"Spaced Name", "Second", "spaced name", "Unicode"}));
        QCOMPARE(ini->ReadString("spaced name", "key", Missing), "value");
        QCOMPARE(ini->ReadString("Spaced Name", "b", Missing), Missing);
        QCOMPARE(ini->ReadString("Second", "a", Missing), "1");
        QCOMPARE(ini->ReadSection("Spaced Name"), QStringList({"key"}));
        QVERIFY(!ini->SectionExists("Unclosed"));
        QVERIFY(!ini->ValueExists("Spaced Name", "novalue line"));
        ini->Close();
    }
    // Comments, blank lines and orphans are gone; the duplicate section and the lines
    // without "=" are written back.
    QCOMPARE(ReadAll(name), Utf16LEWithBom("[Spaced Name]\r\nkey=value\r\nnovalue line\r\n\r\n"
                                           "[Second]\r\na=1\r\n\r\n"
                                           "[spaced name]\r\nkey=duplicate\r\nb=2\r\n"
                                           "[Header without bracket\r\nc=3\r\n\r\n"
                                           "[Unicode]\r\nEncoding=UTF-16LE\r\n\r\n"));
}

void TestUnicodeIniFile::encodingDetection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TEncoding>("encoding");
    QTest::addColumn<QString>("user");

    const QString text = QStringLiteral("[Group]\r\nUser=J\u00fcrgen \u20ac\r\n");
    QTest::newRow("UTF-8 BOM") << "\xEF\xBB\xBF" + text.toUtf8() << TEncoding::Utf8 << "J\u00fcrgen \u20ac";
    QTest::newRow("UTF-16LE BOM") << Utf16LEWithBom(text) << TEncoding::Utf16LE << "J\u00fcrgen \u20ac";
    QTest::newRow("UTF-16BE BOM") << Utf16BEWithBom(text) << TEncoding::Utf16BE << "J\u00fcrgen \u20ac";
    QTest::newRow("UTF-16BE fixture")
        << ReadAll(DataFile("Utf16BE.ini")) << TEncoding::Utf16BE << "J\u00fcrgen";
    QTest::newRow("UTF-8 BOM fixture")
        << ReadAll(DataFile("Utf8Bom.ini")) << TEncoding::Utf8 << "J\u00fcrgen";
    QTest::newRow("no BOM, C locale counts as UTF-8")
        << text.toUtf8() << TEncoding::Ansi << "J\u00fcrgen \u20ac";
    QTest::newRow("invalid UTF-8 after BOM")
        << QByteArray("\xEF\xBB\xBF[Group]\nUser=a\xFF\xC3z\n") << TEncoding::Utf8 << "a\ufffd\ufffdz";
    QTest::newRow("invalid UTF-8 without BOM")
        << QByteArray("[Group]\nUser=a\xFF\xC3z\n") << TEncoding::Ansi << "a\ufffd\ufffdz";
    QTest::newRow("UTF-16LE odd byte count")
        << Utf16LEWithBom("[Group]\r\nUser=ab") + 'c' << TEncoding::Utf16LE << "ab\ufffd";
    QTest::newRow("UTF-16LE lone surrogate")
        << Utf16LEWithBom(u"[Group]\nUser=a\xD800z"_qs) << TEncoding::Utf16LE << u"a\xD800z"_qs;
    // FF FE after EF BB BF is UTF-8 text that starts with invalid bytes, not UTF-16.
    QTest::newRow("UTF-8 BOM tested first")
        << QByteArray("\xEF\xBB\xBF\xFF\xFE\n[Group]\nUser=x\n") << TEncoding::Utf8 << "x";
    QTest::newRow("BOM only") << QByteArray("\xFF\xFE") << TEncoding::Utf16LE << Missing;
}

void TestUnicodeIniFile::encodingDetection()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TEncoding, encoding);
    QFETCH(QString, user);

    const TCtypeLocale c("C");
    QVERIFY(c.Ok());
    const QString name = FDir.filePath("detect.ini");
    QVERIFY(WriteAll(name, bytes));
    const TIniDocument doc(name);
    QCOMPARE(doc.Encoding(), encoding);
    QCOMPARE(doc.ReadString("group", "user", Missing), user);
}

void TestUnicodeIniFile::ansiEncoding_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("Latin-1") << QByteArray("de_DE") << QByteArray("J\xfcrgen") << "J\u00fcrgen";
    QTest::newRow("Latin-9 euro") << QByteArray("en_US.iso885915") << QByteArray("5 \xa4") << "5 \u20ac";
    QTest::newRow("Windows-1251") << QByteArray("ru_RU.cp1251") << QByteArray("\xc8\xe2\xe0\xed")
                                  << "\u0418\u0432\u0430\u043d";
    QTest::newRow("EUC-JP") << QByteArray("ja_JP.eucjp") << QByteArray("\xc6\xfc\xcb\xdc") << "\u65e5\u672c";
    QTest::newRow("UTF-8 locale") << QByteArray("de_DE.utf8") << QByteArray("J\xc3\xbcrgen") << "J\u00fcrgen";
}

void TestUnicodeIniFile::ansiEncoding()
{
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    const TCtypeLocale ctype(locale.constData());
    if (!ctype.Ok())
        QSKIP("locale not installed");
    QCOMPARE(AnsiToString(bytes), text);
    QCOMPARE(StringToAnsi(text), bytes);

    // A plain document of the backup program round-trips in that set.
    const QString name = FDir.filePath("ansi.ini");
    QVERIFY(WriteAll(name, "[S]\r\nk=" + bytes + "\r\n"));
    TIniDocument doc(name);
    QCOMPARE(doc.Encoding(), TEncoding::Ansi);
    QCOMPARE(doc.ReadString("S", "k", Missing), text);
    doc.WriteString("S", "copy", text);
    doc.UpdateFile();
    QCOMPARE(ReadAll(name), "[S]\r\nk=" + bytes + "\r\ncopy=" + bytes + "\r\n\r\n");
}

void TestUnicodeIniFile::ansiInvalidAndUnrepresentable_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("decoded");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("encoded");

    QTest::newRow("Windows-1251 undefined byte")
        << QByteArray("ru_RU.cp1251") << QByteArray("a\x98z") << "a\ufffdz"
        << "\u20ac\u00e4" << QByteArray("\x88?");
    QTest::newRow("EUC-JP truncated at the end")
        << QByteArray("ja_JP.eucjp") << QByteArray("a\xc6") << "a\ufffd"
        << "a\U0001F600b" << QByteArray("a?b");
    QTest::newRow("Latin-1 outside the set") << QByteArray("de_DE") << QByteArray("\xff") << "\u00ff"
                                             << "\u0418\U0001F600\u00e4" << QByteArray("??\xe4");
    QTest::newRow("C locale is UTF-8") << QByteArray("C") << QByteArray("a\xff\xc3") << "a\ufffd\ufffd"
                                       << "\u00e4" << QByteArray("\xc3\xa4");
}

void TestUnicodeIniFile::ansiInvalidAndUnrepresentable()
{
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, decoded);
    QFETCH(QString, text);
    QFETCH(QByteArray, encoded);

    const TCtypeLocale ctype(locale.constData());
    if (!ctype.Ok())
        QSKIP("locale not installed");
    QCOMPARE(AnsiToString(bytes), decoded);
    QCOMPARE(StringToAnsi(text), encoded);
}

void TestUnicodeIniFile::plainDocumentKeepsItsEncoding_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    const QString text = QStringLiteral("[S]\r\nk=\u00e4\r\n");
    const QString saved = QStringLiteral("[S]\r\nk=\u00e4\r\nn=\u20ac\r\n\r\n");
    QTest::newRow("UTF-8") << "\xEF\xBB\xBF" + text.toUtf8() << "\xEF\xBB\xBF" + saved.toUtf8();
    QTest::newRow("UTF-16LE") << Utf16LEWithBom(text) << Utf16LEWithBom(saved);
    QTest::newRow("UTF-16BE") << Utf16BEWithBom(text) << Utf16BEWithBom(saved);
    QTest::newRow("ANSI Latin-1 loses the euro")
        << QByteArray("[S]\r\nk=\xe4\r\n") << QByteArray("[S]\r\nk=\xe4\r\nn=?\r\n\r\n");
    QTest::newRow("file did not exist") << QByteArray() << QByteArray("[S]\r\nn=?\r\n\r\n");
}

void TestUnicodeIniFile::plainDocumentKeepsItsEncoding()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);

    const TCtypeLocale latin1("de_DE");
    if (!latin1.Ok())
        QSKIP("locale de_DE (ISO-8859-1) not installed");
    const QString name = FDir.filePath("plain.ini");
    QFile::remove(name);
    if (!before.isEmpty())
        QVERIFY(WriteAll(name, before));
    TIniDocument doc(name);
    doc.WriteString("S", "n", QStringLiteral("\u20ac"));
    doc.UpdateFile();
    QCOMPARE(ReadAll(name), after);
}

void TestUnicodeIniFile::createForWriteMarker_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<bool>("clearEntries");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("ANSI file gets the marker last")
        << "AnsiNoMarker.ini" << false
        << Utf16LEWithBom("[Gruppe]\r\nUser=J\u00fcrgen\r\nPath=/home/j\u00fcrgen/Sicherung\r\n\r\n"
                          "[Unicode]\r\nEncoding=UTF-16LE\r\n\r\n");
    QTest::newRow("UTF-8 file gets the marker last")
        << "Utf8Bom.ini" << false
        << Utf16LEWithBom("[Group]\r\nUser=J\u00fcrgen\r\n\r\n[Unicode]\r\nEncoding=UTF-16LE\r\n\r\n");
    QTest::newRow("existing Encoding keeps its value")
        << "Utf8Marker.ini" << false
        << Utf16LEWithBom("[Unicode]\r\nEncoding=UTF-8\r\n\r\n[Group]\r\nUser=J\u00fcrgen\r\n\r\n");
    QTest::newRow("cleared document has only the marker")
        << "Utf8Marker.ini" << true << Utf16LEWithBom("[Unicode]\r\nEncoding=UTF-16LE\r\n\r\n");
    QTest::newRow("new file") << QString() << false
                              << Utf16LEWithBom("[Unicode]\r\nEncoding=UTF-16LE\r\n\r\n");
}

void TestUnicodeIniFile::createForWriteMarker()
{
    QFETCH(QString, fixture);
    QFETCH(bool, clearEntries);
    QFETCH(QByteArray, expected);

    const TCtypeLocale latin1("de_DE");
    if (!latin1.Ok())
        QSKIP("locale de_DE (ISO-8859-1) not installed");
    const QString name = FDir.filePath("marker.ini");
    QFile::remove(name);
    if (!fixture.isEmpty())
        QVERIFY(WriteAll(name, ReadAll(DataFile(fixture))));
    auto ini = TUnicodeIniFile::CreateForWrite(name, clearEntries);
    QCOMPARE(ini->Encoding(), TEncoding::Utf16LE);
    QVERIFY(!ini->ReadOnly());
    ini->Close();
    QCOMPARE(ReadAll(name), expected);
}

void TestUnicodeIniFile::exactBytesWritten()
{
    const QString name = FDir.filePath("exact.ini");
    QFile::remove(name);
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
        ini->WriteProgramInfo("Program", "AkStarter");
        ini->WriteString("Group Ä", "User", "bob");
        ini->WriteInteger("Group Ä", "Options", 5);
        ini->WriteString("Group Ä", "Task00", "/home/bob/a b.buj");
        ini->WriteBool("Config", "Dark", true);
    } // the destructor closes and writes
    const QByteArray bytes = ReadAll(name);
    QVERIFY(bytes.startsWith(QByteArray("\xFF\xFE[\0U\0n\0", 8)));
    QCOMPARE(bytes,
             Utf16LEWithBom(QStringLiteral("[Unicode]\r\nEncoding=UTF-16LE\r\nProgram=AkStarter\r\n\r\n"
                                           "[Group \u00c4]\r\nUser=bob\r\nOptions=5\r\n"
                                           "Task00=/home/bob/a b.buj\r\n\r\n"
                                           "[Config]\r\nDark=1\r\n\r\n")));
}

void TestUnicodeIniFile::eraseSectionMovesItToTheEnd()
{
    const QString name = FDir.filePath("erase.ini");
    QFile::remove(name);
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
        for (const char *section : {"A", "B", "C"})
            ini->WriteString(section, "k", section);
        ini->EraseSection("a");
        ini->WriteString("A", "k", "new");
        ini->EraseSectionValues("B");
        ini->WriteString("B", "j", "kept place");
        ini->EraseSection("absent");
        ini->EraseSectionValues("absent");
        ini->Close();
    }
    const auto ini = TUnicodeIniFile::CreateForRead(name);
    QCOMPARE(ini->ReadSections(), QStringList({"Unicode", "B", "C", "A"}));
    QCOMPARE(Dump(*ini), QStringList({"[Unicode]", "Encoding=UTF-16LE", "[B]", "j=kept place", "[C]", "k=C",
                                      "[A]", "k=new"}));
}

void TestUnicodeIniFile::readOnlyDocumentNeverWrites()
{
    const QString name = FDir.filePath("readonly.ini");
    const QByteArray original = ReadAll(DataFile("AnsiNoMarker.ini"));
    QVERIFY(WriteAll(name, original));
    {
        auto ini = TUnicodeIniFile::CreateForRead(name);
        QVERIFY(ini->ReadOnly());
        ini->WriteString("Gruppe", "User", "changed");
        ini->EraseSection("Gruppe");
        ini->UpdateFile();
        ini->Close();
    }
    {
        auto ini = TUnicodeIniFile::CreateForRead(name);
        ini->WriteString("New", "k", "v");
    } // destructor without Close
    QCOMPARE(ReadAll(name), original);
    const QString missing = FDir.filePath("never-created.ini");
    TUnicodeIniFile::CreateForRead(missing)->WriteString("S", "k", "v");
    QVERIFY(!QFile::exists(missing));
}

void TestUnicodeIniFile::openErrors_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("error"); // 0: an empty document, no error

    QDir(FDir.path()).mkpath("folder.ini");
    QVERIFY(WriteAll(FDir.filePath("regular"), "x"));
    QVERIFY(WriteAll(FDir.filePath("unreadable.ini"), "[S]\nk=v\n"));
    ::chmod(QFile::encodeName(FDir.filePath("unreadable.ini")).constData(), 0);
    ::mkfifo(QFile::encodeName(FDir.filePath("fifo.ini")).constData(), 0600);

    QTest::newRow("missing file") << FDir.filePath("missing.ini") << 0;
    QTest::newRow("empty name") << QString() << 0;
    QTest::newRow("below a regular file") << FDir.filePath("regular/x.ini") << 0;
    QTest::newRow("folder") << FDir.filePath("folder.ini") << EISDIR;
    QTest::newRow("FIFO") << FDir.filePath("fifo.ini") << EINVAL;
    if (!IsRoot())
        QTest::newRow("no read permission") << FDir.filePath("unreadable.ini") << EACCES;
}

void TestUnicodeIniFile::openErrors()
{
    QFETCH(QString, name);
    QFETCH(int, error);

    if (error == 0) {
        const TIniDocument doc(name);
        QVERIFY(doc.ReadSections().isEmpty());
        return;
    }
    try {
        TUnicodeIniFile::CreateForRead(name);
        QFAIL("no exception");
    } catch (const EExtFileStreamError &e) {
        QCOMPARE(e.ErrorCode, error);
        QCOMPARE(e.Message(), "Cannot open file \"" + name + "\". " + SystemErrorText(error));
        QVERIFY2(e.Message().contains(QString::fromLocal8Bit(strerror(error))), qPrintable(e.Message()));
    }
}

void TestUnicodeIniFile::saveFailureKeepsOldFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder created after loading") << "folder";
    QTest::newRow("path below a regular file") << "below file";
    QTest::newRow("read-only folder") << "read-only folder";
    QTest::newRow("read-only file") << "read-only file";
    QTest::newRow("read-only file system") << "read-only mount";
    QTest::newRow("full file system") << "full mount";
}

void TestUnicodeIniFile::saveFailureKeepsOldFile()
{
    QFETCH(QString, kind);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath("target");
    QVERIFY(QDir().mkpath(folder));
    QString name = QDir(folder).filePath("config.ini");
    const QByteArray old = Utf16LEWithBom("[Old]\r\nk=v\r\n\r\n");
    std::unique_ptr<TScratchMount> mount;
    if (kind.endsWith("mount")) {
        if (!IsRoot())
            QSKIP("mounting a tmpfs needs root");
        mount = std::make_unique<TScratchMount>(folder, 64 * 1024);
        if (!mount->Mounted())
            QSKIP(qPrintable(mount->Error()));
    }
    if (kind != "folder" && kind != "below file")
        QVERIFY(WriteAll(name, old));
    if (kind == "below file") {
        QVERIFY(WriteAll(QDir(folder).filePath("plain"), "x"));
        name = QDir(folder).filePath("plain/config.ini");
    }

    auto ini = TUnicodeIniFile::CreateForWrite(name, false);
    // Big enough to overflow the 64 KiB file system.
    ini->WriteString("Big", "Value", QString(100'000, u'x'));
    if (kind == "folder")
        QVERIFY(QDir().mkpath(name));
    if (kind == "read-only folder" || kind == "read-only file") {
        if (IsRoot())
            QSKIP("root writes whatever the permission bits say");
        const QString path = kind == "read-only folder" ? folder : name;
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0555) == 0);
    }
    if (kind == "read-only mount")
        QVERIFY(mount->RemountReadOnly());
    const QStringList entriesBefore = FolderEntries(folder);

    try {
        ini->Close();
        QFAIL("no exception");
    } catch (const EIniWriteError &e) {
        QCOMPARE(e.Message(), "Error writing to \"" + name + "\"");
        QVERIFY(e.ErrorCode != 0);
    }
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    QCOMPARE(FolderEntries(folder), entriesBefore); // no temporary file left behind
    if (kind != "folder" && kind != "below file")
        QCOMPARE(ReadAll(name), old);
    // The content is discarded all the same.
    QVERIFY(ini->ReadSections().isEmpty());
}

void TestUnicodeIniFile::destructorReportsSaveFailure()
{
    const QString name = FDir.filePath("regular/below.ini");
    QVERIFY(WriteAll(FDir.filePath("regular"), "x"));
    QTest::ignoreMessage(QtWarningMsg, qPrintable("Error writing to \"" + name + "\""));
    auto ini = TUnicodeIniFile::CreateForWrite(name, false);
    ini.reset();
}

void TestUnicodeIniFile::fileModeAndOwner_data()
{
    QTest::addColumn<int>("modeBefore"); // -1: no file before
    QTest::addColumn<int>("modeAfter");

    QTest::newRow("new file is private") << -1 << 0600;
    QTest::newRow("0644 kept") << 0644 << 0644;
    QTest::newRow("0640 kept") << 0640 << 0640;
    QTest::newRow("0604 kept") << 0604 << 0604;
}

void TestUnicodeIniFile::fileModeAndOwner()
{
    QFETCH(int, modeBefore);
    QFETCH(int, modeAfter);

    const QString name = FDir.filePath("mode.ini");
    QFile::remove(name);
    const uid_t owner = 65534;
    if (modeBefore >= 0) {
        QVERIFY(WriteAll(name, "[S]\nk=v\n"));
        QVERIFY(::chmod(QFile::encodeName(name).constData(), mode_t(modeBefore)) == 0);
        if (IsRoot())
            QVERIFY(::chown(QFile::encodeName(name).constData(), owner, owner) == 0);
    }
    const mode_t oldUmask = ::umask(0);
    auto ini = TUnicodeIniFile::CreateForWrite(name, false);
    ini->WriteString("S", "k", "changed");
    ini->Close();
    ::umask(oldUmask);
    QCOMPARE(FileMode(name), modeAfter);
    QCOMPARE(TUnicodeIniFile::CreateForRead(name)->ReadString("S", "k", Missing), "changed");
    struct stat st
    {
    };
    QVERIFY(::stat(QFile::encodeName(name).constData(), &st) == 0);
    if (modeBefore >= 0 && IsRoot())
        QCOMPARE(st.st_uid, owner);
    else
        QCOMPARE(st.st_uid, ::geteuid());
}

void TestUnicodeIniFile::symlinkStaysALink()
{
    const QString real = FDir.filePath("real.ini");
    const QString link = FDir.filePath("link.ini");
    QVERIFY(WriteAll(real, "[S]\nk=v\n"));
    QFile::remove(link);
    QVERIFY(QFile::link(real, link));
    auto ini = TUnicodeIniFile::CreateForWrite(link, false);
    ini->WriteString("S", "k", "through the link");
    ini->Close();
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(TUnicodeIniFile::CreateForRead(real)->ReadString("S", "k", Missing), "through the link");
}

void TestUnicodeIniFile::relativeNameSavesInCurrentFolder()
{
    const QString previous = QDir::currentPath();
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    {
        auto ini = TUnicodeIniFile::CreateForWrite("relative.ini", false);
        ini->WriteString("S", "k", "v");
        ini->Close();
    }
    QDir::setCurrent(previous);
    QCOMPARE(FolderEntries(dir.path()), QStringList({"relative.ini"}));
    QCOMPARE(TUnicodeIniFile::CreateForRead(dir.filePath("relative.ini"))->ReadString("S", "k", Missing),
             "v");
}

void TestUnicodeIniFile::badInputSurvivesRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QRandomGenerator random(20240501);
    QByteArray garbage(64 * 1024, Qt::Uninitialized);
    for (char &c : garbage)
        c = char(random.bounded(256));
    // Brackets, equals signs and line breaks make the garbage look like sections.
    for (qsizetype i = 0; i < garbage.size(); i += 37)
        garbage[i] = "[]=\n\r;"[random.bounded(6)];
    QByteArray longLine = "[S]\r\nk=" + QByteArray(10 * 1024 * 1024, 'x') + "\r\n";

    QTest::newRow("binary garbage") << garbage;
    QTest::newRow("binary garbage as UTF-8") << "\xEF\xBB\xBF" + garbage;
    QTest::newRow("binary garbage as UTF-16LE") << "\xFF\xFE" + garbage;
    QTest::newRow("binary garbage as UTF-16BE, odd size") << "\xFE\xFF" + garbage + 'x';
    QTest::newRow("NUL bytes in an ANSI value") << QByteArray("[S]\nk=a\0b\nj=\0\n", 15);
    QTest::newRow("NUL characters in a UTF-16 value") << Utf16LEWithBom(u"[S]\nk=a\0b\n"_qs);
    QTest::newRow("10 MB line") << longLine;
    QTest::newRow("header without bracket") << ReadAll(DataFile("BrokenSections.ini"));
    QTest::newRow("brackets only") << QByteArray("[\n]\n[]\n[[]]\n=\n[]]\nk=v\n");
}

void TestUnicodeIniFile::badInputSurvivesRoundTrip()
{
    QFETCH(QByteArray, bytes);

    const QString name = FDir.filePath("bad.ini");
    QVERIFY(WriteAll(name, bytes));
    QStringList loaded;
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
        loaded = Dump(*ini);
        ini->Close();
    }
    // What a reader saw before the save, it sees after it.
    QCOMPARE(Dump(*TUnicodeIniFile::CreateForRead(name)), loaded);
}

void TestUnicodeIniFile::lineBreaksCannotForgeEntries()
{
    const QString name = FDir.filePath("forge.ini");
    QFile::remove(name);
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
        ini->WriteString("S", "Task00", "/tmp/a\r\n[Evil]\r\nUser=root");
        ini->WriteString("T\n[Evil", "k\rx", "v");
        ini->Close();
    }
    const auto ini = TUnicodeIniFile::CreateForRead(name);
    QVERIFY(!ini->SectionExists("Evil"));
    QCOMPARE(ini->ReadString("S", "Task00", Missing), "/tmp/a  [Evil]  User=root");
    QCOMPARE(ini->ReadString("T [Evil", "k x", Missing), "v");
}

void TestUnicodeIniFile::readBoolFromIniFile_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file; "/": a folder of that name
    QTest::addColumn<bool>("def");
    QTest::addColumn<bool>("expected");

    QTest::newRow("true") << QByteArray("[Config]\nDarkMode=1\n") << false << true;
    QTest::newRow("false") << QByteArray("[Config]\nDarkMode=0\n") << true << false;
    QTest::newRow("word") << QByteArray("[Config]\nDarkMode=yes\n") << true << true;
    QTest::newRow("no file") << QByteArray() << true << true;
    QTest::newRow("unreadable: a folder") << QByteArray("/") << true << true;
}

void TestUnicodeIniFile::readBoolFromIniFile()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, def);
    QFETCH(bool, expected);

    QTemporaryDir dir;
    const QString name = dir.filePath("Arkivo.cfg");
    if (content == "/")
        QVERIFY(QDir().mkpath(name));
    else if (!content.isNull())
        QVERIFY(WriteAll(name, content));
    QCOMPARE(ReadBoolFromIniFile(name, "config", "darkmode", def), expected);
    QVERIFY(content.isNull() || content == "/" || ReadAll(name) == content);
}

QTEST_GUILESS_MAIN(TestUnicodeIniFile)
#include "tst_unicodeinifile.moc"
