#include "config/UnicodeIniFile.h"
#include "support/TestSupport.h"
#include "util/Errors.h"
#include "util/FileUtils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

QByteArray RandomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

bool SetModificationTime(const QString &fileName, qint64 secsSinceEpoch, long nanoseconds = 0)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(secsSinceEpoch), nanoseconds}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(fileName).constData(), times, 0) == 0;
}

struct timespec ModificationTime(const QString &fileName)
{
    struct stat st
    {
    };
    ::stat(QFile::encodeName(fileName).constData(), &st);
    return st.st_mtim;
}

// The folder's entries other than the ones named: a failed copy must leave nothing behind.
QStringList EntriesBesides(const QString &dir, const QStringList &known)
{
    QStringList entries =
        QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : known)
        entries.removeAll(name);
    return entries;
}

QStringList Numbered(const QString &prefix, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << prefix + QString::number(i);
    return list;
}

} // namespace

class TestFileUtils final : public QObject
{
    Q_OBJECT

private slots:
    void setDirNameAddsOneDelimiter_data();
    void setDirNameAddsOneDelimiter();
    void extensionsOfTheLastComponent_data();
    void extensionsOfTheLastComponent();
    void joiningNames_data();
    void joiningNames();
    void makeFileName_data();
    void makeFileName();
    void parentFolder_data();
    void parentFolder();
    void folderContainment_data();
    void folderContainment();
    void existingFolderWalksUp_data();
    void existingFolderWalksUp();
    void shortenPath_data();
    void shortenPath();
    void validNames_data();
    void validNames();
    void zeroPad_data();
    void zeroPad();

    void addToHistory_data();
    void addToHistory();
    void historyRoundTripThroughFile_data();
    void historyRoundTripThroughFile();
    void historyKeepsAtMostFiftyAndReadsMaximum();
    void historyEraseFlag();
    void historyMissingSectionLeavesList();
    void historyFileKeepsItsEncodingAndOtherSections();
    void historyUnreadableFileIsLeftAlone();

    void copyKeepsContentModeAndTime_data();
    void copyKeepsContentModeAndTime();
    void copyReplacesFutureTimeByNow_data();
    void copyReplacesFutureTimeByNow();
    void copyReplacesReadOnlyDest();
    void copyErrors_data();
    void copyErrors();
    void copyOntoFullFileSystemKeepsOldDest();
    void copyOfTheSameFileLeavesSourceIntact_data();
    void copyOfTheSameFileLeavesSourceIntact();
    void copyWritesThroughSymbolicLinkDest();
    void copyToTheLongestFileName();

    void systemErrorText_data();
    void systemErrorText();
    void fileStreamErrors_data();
    void fileStreamErrors();
    void fileStreamReadWriteReturnErrno();

private:
    QTemporaryDir FDir;
    QString Path(const QString &name) const { return FDir.filePath(name); }
};

// ---- Path names -------------------------------------------------------------------------

void TestFileUtils::setDirNameAddsOneDelimiter_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty stays empty") << ""
                                       << "";
    QTest::newRow("missing delimiter") << "/data/backup"
                                       << "/data/backup/";
    QTest::newRow("present delimiter") << "/data/backup/"
                                       << "/data/backup/";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("relative") << "jobs"
                              << "jobs/";
}

void TestFileUtils::setDirNameAddsOneDelimiter()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(SetDirName(path), expected);
}

void TestFileUtils::extensionsOfTheLastComponent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("withoutExtension");
    QTest::addColumn<QString>("withNewExtension");
    QTest::newRow("plain") << "/data/report.txt"
                           << "log"
                           << "txt"
                           << "/data/report"
                           << "/data/report.log";
    QTest::newRow("dot in a folder only") << "/home/u/.config/akstarter"
                                          << ".ini"
                                          << ""
                                          << "/home/u/.config/akstarter"
                                          << "/home/u/.config/akstarter.ini";
    QTest::newRow("two dots") << "archive.tar.gz"
                              << ""
                              << "gz"
                              << "archive.tar"
                              << "archive.tar";
    QTest::newRow("trailing dot") << "name."
                                  << "txt"
                                  << ""
                                  << "name"
                                  << "name.txt";
    QTest::newRow("ext only a dot") << "name.txt"
                                    << "."
                                    << "txt"
                                    << "name"
                                    << "name";
    QTest::newRow("empty name") << ""
                                << "log"
                                << ""
                                << ""
                                << "";
    QTest::newRow("trailing delimiter") << "/data.d/"
                                        << "log"
                                        << ""
                                        << "/data.d/"
                                        << "/data.d/.log";
}

void TestFileUtils::extensionsOfTheLastComponent()
{
    QFETCH(QString, name);
    QFETCH(QString, ext);
    QFETCH(QString, extension);
    QFETCH(QString, withoutExtension);
    QFETCH(QString, withNewExtension);
    QCOMPARE(GetFileExtension(name), extension);
    QCOMPARE(DelExtension(name), withoutExtension);
    QCOMPARE(NewExtension(name, ext), withNewExtension);
}

void TestFileUtils::joiningNames_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("added");
    QTest::addColumn<QString>("expanded");
    QTest::newRow("relative name") << "/data"
                                   << "jobs/a.buj"
                                   << "/data/jobs/a.buj"
                                   << "/data/jobs/a.buj";
    QTest::newRow("dir with delimiter") << "/data/"
                                        << "a.buj"
                                        << "/data/a.buj"
                                        << "/data/a.buj";
    QTest::newRow("absolute name") << "/data"
                                   << "/other/a.buj"
                                   << "/data//other/a.buj"
                                   << "/other/a.buj";
    QTest::newRow("empty dir") << ""
                               << "a.buj"
                               << "a.buj"
                               << "a.buj";
    QTest::newRow("empty name") << "/data"
                                << ""
                                << "/data"
                                << "/data/";
}

void TestFileUtils::joiningNames()
{
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QFETCH(QString, added);
    QFETCH(QString, expanded);
    QCOMPARE(AddPath(dir, name), added);
    QCOMPARE(ExpandPath(dir, name), expanded);
    QCOMPARE(IsAbsolutePath(name), name.startsWith(u'/'));
}

void TestFileUtils::makeFileName_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("expected");
    QTest::newRow("extension added") << "/data"
                                     << "report"
                                     << ".log"
                                     << "/data/report.log";
    QTest::newRow("dir with delimiter") << "/data/"
                                        << "report"
                                        << "log"
                                        << "/data/report.log";
    QTest::newRow("absolute name unchanged") << "/data"
                                             << "/x/report.txt"
                                             << "log"
                                             << "/x/report.txt";
    QTest::newRow("absolute name gets ext") << "/data"
                                            << "/x/report"
                                            << "log"
                                            << "/x/report.log";
    QTest::newRow("name with extension") << "/data"
                                         << "report.txt"
                                         << "log"
                                         << "/data/report.txt";
    QTest::newRow("dotted folder in name") << "/data"
                                           << "sub.d/report"
                                           << "log"
                                           << "/data/sub.d/report.log";
    QTest::newRow("empty dir") << ""
                               << "report"
                               << "log"
                               << "report.log";
    QTest::newRow("empty ext") << "/data"
                               << "report"
                               << ""
                               << "/data/report";
    QTest::newRow("drive-like name is relative") << "/data"
                                                 << "C:report"
                                                 << "log"
                                                 << "/data/C:report.log";
}

void TestFileUtils::makeFileName()
{
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QFETCH(QString, ext);
    QFETCH(QString, expected);
    QCOMPARE(MakeFileName(dir, name, ext), expected);
}

void TestFileUtils::parentFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("double root") << "//"
                                 << "/";
    QTest::newRow("top folder") << "/data"
                                << "/";
    QTest::newRow("top folder with delimiter") << "/data/"
                                               << "/";
    QTest::newRow("two levels") << "/data/jobs"
                                << "/data";
    QTest::newRow("two levels with delimiter") << "/data/jobs/"
                                               << "/data";
    QTest::newRow("doubled delimiter") << "/data//jobs"
                                       << "/data";
    QTest::newRow("relative") << "data/jobs"
                              << "data";
    QTest::newRow("bare name is its own parent") << "data"
                                                 << "data";
    QTest::newRow("empty") << ""
                           << "";
}

void TestFileUtils::parentFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(ParentFolder(path), expected);
}

void TestFileUtils::folderContainment_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("inFolder");
    QTest::addColumn<QString>("relative");
    QTest::newRow("file inside") << "/data"
                                 << "/data/jobs/a.buj" << true << "jobs/a.buj";
    QTest::newRow("same folder") << "/data/"
                                 << "/data" << true << "";
    QTest::newRow("same folder, other spelling") << "/data"
                                                 << "/data/" << true << "";
    QTest::newRow("name prefix is no folder") << "/data"
                                              << "/database/a" << false << "/database/a";
    QTest::newRow("case differs") << "/Data"
                                  << "/data/a" << false << "/data/a";
    QTest::newRow("empty dir") << ""
                               << "/data/a" << false << "/data/a";
    QTest::newRow("outside") << "/data"
                             << "/other/a" << false << "/other/a";
}

void TestFileUtils::folderContainment()
{
    QFETCH(QString, dir);
    QFETCH(QString, path);
    QFETCH(bool, inFolder);
    QFETCH(QString, relative);
    QCOMPARE(IsInFolder(dir, path), inFolder);
    QCOMPARE(MakeRelativePath(dir, path), relative);
}

void TestFileUtils::existingFolderWalksUp_data()
{
    // "TMP" stands for the test's temporary folder, which holds the file file.txt.
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("existing folder") << "TMP"
                                     << "TMP";
    QTest::newRow("existing folder with delimiter") << "TMP/"
                                                    << "TMP/";
    QTest::newRow("three missing levels") << "TMP/a/b/c"
                                          << "TMP";
    QTest::newRow("a file names its folder") << "TMP/file.txt"
                                             << "TMP";
    QTest::newRow("missing below a file") << "TMP/file.txt/x"
                                          << "TMP";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("missing top folder") << "/no-such-folder-akstarter/x"
                                        << "/";
    QTest::newRow("relative gives default") << "data/jobs"
                                            << "DEFAULT";
    QTest::newRow("empty gives default") << ""
                                         << "DEFAULT";
}

void TestFileUtils::existingFolderWalksUp()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QVERIFY(WriteAll(Path(QStringLiteral("file.txt")), "x"));
    path.replace(QStringLiteral("TMP"), FDir.path());
    expected.replace(QStringLiteral("TMP"), FDir.path());
    QCOMPARE(ExistingFolder(path, QStringLiteral("DEFAULT")), expected);
}

void TestFileUtils::shortenPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("expected");
    const QString path = QStringLiteral("/home/user/documents/reports/file.txt"); // 37 characters
    QTest::newRow("shorter than the limit") << path << 40 << path;
    QTest::newRow("exactly the limit") << path << 37 << path;
    QTest::newRow("one over: one folder out") << path << 36 << "/home/user/documents/.../file.txt";
    QTest::newRow("exact fit of a shortening") << path << 33 << "/home/user/documents/.../file.txt";
    QTest::newRow("two folders out") << path << 32 << "/home/user/.../file.txt";
    QTest::newRow("down to the root") << path << 17 << "/.../file.txt";
    QTest::newRow("root fits exactly") << path << 13 << "/.../file.txt";
    QTest::newRow("fallback at the name") << path << 12 << ".../file.txt";
    QTest::newRow("fallback inside the name") << path << 10 << "...ile.txt";
    QTest::newRow("smallest limit") << path << 4 << "...t";
    QTest::newRow("limit 3 means no shortening") << path << 3 << path;
    QTest::newRow("limit 0 means no shortening") << path << 0 << path;
    QTest::newRow("no delimiter") << "averyveryverylongname.txt" << 10 << "...ame.txt";
    QTest::newRow("one delimiter only") << "folder/averylongfilename.txt" << 20 << "...ylongfilename.txt";
    QTest::newRow("trailing delimiter kept with the last folder")
        << "/home/user/documents/reports/" << 25 << "/home/user/.../reports/";
}

void TestFileUtils::shortenPath()
{
    QFETCH(QString, path);
    QFETCH(int, limit);
    QFETCH(QString, expected);
    const QString result = ShortenPath(path, limit);
    QCOMPARE(result, expected);
    if (limit > 3)
        QVERIFY(result.size() <= limit);
}

void TestFileUtils::validNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("validFile");
    QTest::addColumn<bool>("validDir");
    QTest::newRow("empty") << "" << true << true;
    QTest::newRow("plain") << "report.txt" << true << true;
    QTest::newRow("blank") << "my report" << true << true;
    QTest::newRow("beyond Latin-1") << QStringLiteral("Ü€ß—報告") << true << true;
    QTest::newRow("dot") << "." << true << false;
    QTest::newRow("dot dot") << ".." << true << false;
    QTest::newRow("three dots") << "..." << true << true;
    QTest::newRow("hidden") << ".hidden" << true << true;
    QTest::newRow("slash") << "a/b" << false << true;
    QTest::newRow("backslash") << "a\\b" << false << true;
    QTest::newRow("colon") << "a:b" << false << true;
    QTest::newRow("double quote") << "a\"b" << false << true;
    QTest::newRow("asterisk") << "a*b" << false << true;
    QTest::newRow("question mark") << "a?b" << false << true;
    QTest::newRow("less") << "a<b" << false << true;
    QTest::newRow("greater") << "a>b" << false << true;
    QTest::newRow("bar") << "a|b" << false << true;
    QTest::newRow("tab") << "a\tb" << false << true;
    QTest::newRow("unit separator") << "a\x1f" << false << true;
    QTest::newRow("line feed") << "a\nb" << false << true;
}

void TestFileUtils::validNames()
{
    QFETCH(QString, name);
    QFETCH(bool, validFile);
    QFETCH(bool, validDir);
    QCOMPARE(IsValidFileName(name), validFile);
    QCOMPARE(IsValidDirName(name), validDir);
}

void TestFileUtils::zeroPad_data()
{
    QTest::addColumn<int>("digits");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("padded") << 2 << qint64(5) << "05";
    QTest::newRow("exact") << 2 << qint64(12) << "12";
    QTest::newRow("wider than digits") << 2 << qint64(123) << "123";
    QTest::newRow("zero digits of zero") << 0 << qint64(0) << "0";
    QTest::newRow("negative") << 3 << qint64(-5) << "-005";
    QTest::newRow("64-bit") << 12 << qint64(1) << "000000000001";
}

void TestFileUtils::zeroPad()
{
    QFETCH(int, digits);
    QFETCH(qint64, value);
    QFETCH(QString, expected);
    QCOMPARE(ZeroPad(digits, value), expected);
}

// ---- History ----------------------------------------------------------------------------

void TestFileUtils::addToHistory_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QStringList>("expected");
    const QStringList full = Numbered(QStringLiteral("entry"), 50);
    QTest::newRow("new text on a full list drops the oldest")
        << full << "new" << false << (QStringList{QStringLiteral("new")} + full.mid(0, 49));
    QTest::newRow("existing text on a full list moves to the top")
        << full << "entry30" << false
        << (QStringList{QStringLiteral("entry30")} + full.mid(0, 30) + full.mid(31));
    QTest::newRow("existing text takes the new case")
        << QStringList{"a@x.org", "B@x.org", "c@x.org"} << "b@X.org" << false
        << QStringList{"b@X.org", "a@x.org", "c@x.org"};
    QTest::newRow("file names differing in case are two entries")
        << QStringList{"/data/Jobs", "/data/x"} << "/data/jobs" << true
        << QStringList{"/data/jobs", "/data/Jobs", "/data/x"};
    QTest::newRow("empty text changes nothing")
        << QStringList{"a", "b"} << "" << false << QStringList{"a", "b"};
    QTest::newRow("into an empty list") << QStringList() << "a" << false << QStringList{"a"};
    QTest::newRow("overlong list is cut to the maximum")
        << Numbered(QStringLiteral("e"), 55) << "new" << false
        << (QStringList{QStringLiteral("new")} + Numbered(QStringLiteral("e"), 49));
}

void TestFileUtils::addToHistory()
{
    QFETCH(QStringList, list);
    QFETCH(QString, text);
    QFETCH(bool, caseSensitive);
    QFETCH(QStringList, expected);
    if (caseSensitive)
        AddToHistory(list, text, Qt::CaseSensitive);
    else
        AddToHistory(list, text);
    QCOMPARE(list, expected);
}

void TestFileUtils::historyRoundTripThroughFile_data()
{
    QTest::addColumn<QString>("stem");
    QTest::addColumn<bool>("convert");
    QTest::addColumn<QByteArray>("expectedLine"); // the stored form of the quoted entry
    QTest::newRow("converted quotes") << "" << true << QByteArray("History0=#C:\\x# #quoted#");
    QTest::newRow("quotes verbatim") << "" << false << QByteArray("History0=\"C:\\x\" \"quoted\"");
    QTest::newRow("own stem") << "Address" << true << QByteArray("Address0=#C:\\x# #quoted#");
}

void TestFileUtils::historyRoundTripThroughFile()
{
    QFETCH(QString, stem);
    QFETCH(bool, convert);
    QFETCH(QByteArray, expectedLine);
    const QString fileName = Path(QStringLiteral("roundtrip-%1.ini").arg(QTest::currentDataTag()));
    const QStringList written{QStringLiteral("\"C:\\x\" \"quoted\""), QStringLiteral("plain"), QString(),
                              QStringLiteral("after the gap")};
    WriteHistory(fileName, QStringLiteral("MailTo"), stem, convert, written, true);

    const QByteArray bytes = ReadAll(fileName);
    QVERIFY2(bytes.contains(expectedLine), bytes.constData());

    QStringList read{QStringLiteral("old")};
    QVERIFY(ReadHistory(fileName, QStringLiteral("MailTo"), stem, convert, 15, read));
    // The empty entry is skipped when reading.
    QCOMPARE(read, (QStringList{written.at(0), written.at(1), written.at(3)}));
}

void TestFileUtils::historyKeepsAtMostFiftyAndReadsMaximum()
{
    const QString fileName = Path(QStringLiteral("fifty.ini"));
    WriteHistory(fileName, QStringLiteral("SmtpServer"), QString(), false, Numbered(QStringLiteral("s"), 60),
                 true);

    TIniDocument ini(fileName);
    QCOMPARE(ini.ReadSection(QStringLiteral("SmtpServer")).size(), MaxHistoryCount);
    QCOMPARE(ini.ReadString(QStringLiteral("SmtpServer"), QStringLiteral("History49"), QString()),
             QStringLiteral("s49"));

    QStringList read;
    QVERIFY(ReadHistory(ini, QStringLiteral("SmtpServer"), QString(), false, 15, read));
    QCOMPARE(read, Numbered(QStringLiteral("s"), 15));
    QVERIFY(ReadHistory(ini, QStringLiteral("SmtpServer"), QString(), false, 100, read));
    QCOMPARE(read, Numbered(QStringLiteral("s"), 50));
}

void TestFileUtils::historyEraseFlag()
{
    TIniDocument ini(QString{});
    WriteHistory(ini, QStringLiteral("Apps"), QStringLiteral("App"), false,
                 Numbered(QStringLiteral("old"), 5), true);

    WriteHistory(ini, QStringLiteral("Apps"), QStringLiteral("App"), false,
                 Numbered(QStringLiteral("new"), 2), false);
    QStringList read;
    QVERIFY(ReadHistory(ini, QStringLiteral("Apps"), QStringLiteral("App"), false, 50, read));
    QCOMPARE(read, (QStringList{"new0", "new1", "old2", "old3", "old4"}));

    WriteHistory(ini, QStringLiteral("Apps"), QStringLiteral("App"), false,
                 Numbered(QStringLiteral("new"), 2), true);
    QVERIFY(ReadHistory(ini, QStringLiteral("Apps"), QStringLiteral("App"), false, 50, read));
    QCOMPARE(read, Numbered(QStringLiteral("new"), 2));
}

void TestFileUtils::historyMissingSectionLeavesList()
{
    const QString fileName = Path(QStringLiteral("missing-section.ini"));
    QVERIFY(WriteAll(fileName, "[Other]\r\nHistory0=x\r\n[Empty]\r\n"));
    const QStringList before{QStringLiteral("kept")};
    for (const QString &section : {QStringLiteral("Absent"), QStringLiteral("Empty")}) {
        QStringList list = before;
        QVERIFY(!ReadHistory(fileName, section, QString(), false, 15, list));
        QCOMPARE(list, before);
    }
    QStringList list = before;
    QVERIFY(!ReadHistory(Path(QStringLiteral("no-such-file.ini")), QStringLiteral("Other"), QString(), false,
                         15, list));
    QCOMPARE(list, before);
}

void TestFileUtils::historyFileKeepsItsEncodingAndOtherSections()
{
    const QString fileName = Path(QStringLiteral("utf8.ini"));
    QVERIFY(WriteAll(fileName, "\xEF\xBB\xBF[Other]\r\nName=Gr\xC3\xBC\xC3\x9F"
                               "e\r\n"));
    WriteHistory(fileName, QStringLiteral("MailUser"), QString(), false, {QStringLiteral("jürgen")}, true);

    const QByteArray bytes = ReadAll(fileName);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(bytes.contains("Name=Gr\xC3\xBC\xC3\x9F"
                           "e"));
    QVERIFY(bytes.contains("History0=j\xC3\xBCrgen"));
}

void TestFileUtils::historyUnreadableFileIsLeftAlone()
{
    // A folder in place of the file: it cannot be read, so it must not be written either.
    const QString folder = Path(QStringLiteral("folder.ini"));
    QVERIFY(QDir().mkpath(folder));
    QStringList list{QStringLiteral("kept")};
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".")));
    QVERIFY(!ReadHistory(folder, QStringLiteral("MailTo"), QString(), false, 15, list));
    QCOMPARE(list, QStringList{QStringLiteral("kept")});
    QVERIFY_THROWS_EXCEPTION(EExtFileStreamError,
                             WriteHistory(folder, QStringLiteral("MailTo"), QString(), false, list, true));
    QVERIFY(QFileInfo(folder).isDir());
}

// ---- Copying ----------------------------------------------------------------------------

void TestFileUtils::copyKeepsContentModeAndTime_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("attributes");
    QTest::addColumn<int>("expectedMode");
    QTest::newRow("empty file") << 0 << 4096 << 0640 << -1 << 0640;
    QTest::newRow("one byte") << 1 << 4096 << 0600 << -1 << 0600;
    QTest::newRow("exactly one buffer") << 4096 << 4096 << 0644 << -1 << 0644;
    QTest::newRow("several buffers and a rest") << 10000 << 4096 << 0755 << -1 << 0755;
    QTest::newRow("default buffer") << 300000 << 0 << 0444 << -1 << 0444;
    QTest::newRow("given mode") << 100 << 4096 << 0644 << 0600 << 0600;
    QTest::newRow("set-id bits of the source dropped") << 100 << 4096 << 04755 << -1 << 0755;
}

void TestFileUtils::copyKeepsContentModeAndTime()
{
    QFETCH(int, size);
    QFETCH(int, bufferSize);
    QFETCH(int, mode);
    QFETCH(int, attributes);
    QFETCH(int, expectedMode);
    const QString source = Path(QStringLiteral("source-%1").arg(QTest::currentDataTag()));
    const QString dest = Path(QStringLiteral("dest-%1").arg(QTest::currentDataTag()));
    const QByteArray content = RandomBytes(size);
    QVERIFY(WriteAll(source, content));
    QVERIFY(::chmod(QFile::encodeName(source).constData(), mode_t(mode)) == 0);
    QVERIFY(SetModificationTime(source, 1577934245, 123456789)); // 2020-01-02 03:04:05 UTC

    CopyFileTS(source, dest, attributes, bufferSize);

    QCOMPARE(ReadAll(dest), content);
    QCOMPARE(FileMode(dest), expectedMode);
    const timespec time = ModificationTime(dest);
    QCOMPARE(qint64(time.tv_sec), qint64(1577934245));
    QCOMPARE(qint64(time.tv_nsec), qint64(123456789));
    QCOMPARE(ReadAll(source), content);
    QCOMPARE(EntriesBesides(FDir.path(), {}).filter(QStringLiteral(".dest-")), QStringList());
}

void TestFileUtils::copyReplacesFutureTimeByNow_data()
{
    QTest::addColumn<qint64>("aheadSeconds");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("two days ahead") << qint64(2 * 24 * 3600) << true;
    QTest::newRow("a day and a minute ahead") << qint64(24 * 3600 + 60) << true;
    QTest::newRow("23 hours ahead") << qint64(23 * 3600) << false;
    QTest::newRow("a year ago") << qint64(-365 * 24 * 3600) << false;
}

void TestFileUtils::copyReplacesFutureTimeByNow()
{
    QFETCH(qint64, aheadSeconds);
    QFETCH(bool, replaced);
    const QString source = Path(QStringLiteral("future-source"));
    const QString dest = Path(QStringLiteral("future-dest"));
    QVERIFY(WriteAll(source, "content"));
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    QVERIFY(SetModificationTime(source, before + aheadSeconds));

    CopyFileTS(source, dest);

    const qint64 after = QDateTime::currentSecsSinceEpoch();
    const qint64 copied = ModificationTime(dest).tv_sec;
    if (replaced)
        QVERIFY2(copied >= before && copied <= after, qPrintable(QString::number(copied - before)));
    else
        QCOMPARE(copied, before + aheadSeconds);
}

void TestFileUtils::copyReplacesReadOnlyDest()
{
    const QString source = Path(QStringLiteral("ro-source"));
    const QString dest = Path(QStringLiteral("ro-dest"));
    QVERIFY(WriteAll(source, "new content"));
    QVERIFY(::chmod(QFile::encodeName(source).constData(), 0640) == 0);
    QVERIFY(WriteAll(dest, "old content that was longer"));
    QVERIFY(::chmod(QFile::encodeName(dest).constData(), 0444) == 0);

    CopyFileTS(source, dest);

    QCOMPARE(ReadAll(dest), QByteArray("new content"));
    QCOMPARE(FileMode(dest), 0640);
}

void TestFileUtils::copyErrors_data()
{
    QTest::addColumn<QString>("source"); // relative to the temporary folder
    QTest::addColumn<QString>("dest");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message"); // %1 = source, %2 = dest
    QTest::newRow("missing source") << "no-such-file"
                                    << "x-dest" << ENOENT << "File not found: \"%1\"";
    QTest::newRow("empty dest") << "present"
                                << "" << ENOENT << "File not found: \"%1\"";
    QTest::newRow("dest in a missing folder") << "present"
                                              << "no-such-folder/x" << ENOENT << "Error creating \"%2\"";
    QTest::newRow("dest is a folder") << "present"
                                      << "folder" << EISDIR << "Error creating \"%2\"";
    QTest::newRow("source is a folder") << "folder"
                                        << "x-dest" << EISDIR << "Error opening \"%1\"";
}

void TestFileUtils::copyErrors()
{
    QFETCH(QString, source);
    QFETCH(QString, dest);
    QFETCH(int, code);
    QFETCH(QString, message);
    QVERIFY(WriteAll(Path(QStringLiteral("present")), "content"));
    QVERIFY(QDir().mkpath(Path(QStringLiteral("folder"))));
    const QString sourceName = Path(source);
    const QString destName = dest.isEmpty() ? QString() : Path(dest);
    const QStringList before = EntriesBesides(FDir.path(), {});
    try {
        CopyFileTS(sourceName, destName);
        QFAIL("no ECopyError");
    } catch (const ECopyError &error) {
        QCOMPARE(error.ErrorCode, code);
        QCOMPARE(error.Message(),
                 message.replace(QStringLiteral("%1"), sourceName).replace(QStringLiteral("%2"), destName));
    }
    QCOMPARE(EntriesBesides(FDir.path(), {}), before);
    QCOMPARE(ReadAll(Path(QStringLiteral("present"))), QByteArray("content"));
}

void TestFileUtils::copyOntoFullFileSystemKeepsOldDest()
{
    if (!IsRoot())
        QSKIP("mounting a small file system needs root");
    const QString mountPoint = Path(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(mountPoint));
    TScratchMount mount(mountPoint, 64 * 1024);
    if (!mount.Mounted())
        QSKIP(qPrintable(mount.Error()));
    const QString source = Path(QStringLiteral("large"));
    const QString dest = mountPoint + QStringLiteral("/copy");
    QVERIFY(WriteAll(source, RandomBytes(256 * 1024)));
    QVERIFY(WriteAll(dest, "old copy"));

    try {
        CopyFileTS(source, dest);
        QFAIL("no ECopyError");
    } catch (const ECopyError &error) {
        QCOMPARE(error.ErrorCode, ENOSPC);
        QCOMPARE(error.Message(), QStringLiteral("Error writing to \"%1\"").arg(dest));
    }
    QCOMPARE(ReadAll(dest), QByteArray("old copy"));
    QCOMPARE(EntriesBesides(mountPoint, {QStringLiteral("copy")}), QStringList());
}

void TestFileUtils::copyOfTheSameFileLeavesSourceIntact_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("same name") << "same";
    QTest::newRow("dot in the path") << "dot";
    QTest::newRow("hard link") << "hard";
    QTest::newRow("symbolic link as dest") << "symlink";
}

void TestFileUtils::copyOfTheSameFileLeavesSourceIntact()
{
    QFETCH(QString, how);
    const QString source = Path(QStringLiteral("self-%1").arg(how));
    const QString other = Path(QStringLiteral("other-%1").arg(how));
    const QByteArray content = RandomBytes(5000);
    QVERIFY(WriteAll(source, content));
    QString dest = source;
    if (how == u"dot")
        dest = FDir.path() + QStringLiteral("/./self-dot");
    else if (how == u"hard")
        QVERIFY(::link(QFile::encodeName(source).constData(), QFile::encodeName(dest = other).constData()) ==
                0);
    else if (how == u"symlink")
        QVERIFY(QFile::link(source, dest = other));

    CopyFileTS(source, dest, -1, 1024);

    QCOMPARE(ReadAll(source), content);
    QCOMPARE(ReadAll(dest), content);
}

void TestFileUtils::copyWritesThroughSymbolicLinkDest()
{
    const QString source = Path(QStringLiteral("link-source"));
    const QString target = Path(QStringLiteral("link-target"));
    const QString link = Path(QStringLiteral("link"));
    QVERIFY(WriteAll(source, "new"));
    QVERIFY(WriteAll(target, "old"));
    QVERIFY(QFile::link(target, link));

    CopyFileTS(source, link);

    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ReadAll(target), QByteArray("new"));
}

void TestFileUtils::copyToTheLongestFileName()
{
    const QString source = Path(QStringLiteral("long-source"));
    const QString dest = Path(QString(255, u'n'));
    QVERIFY(WriteAll(source, "content"));
    CopyFileTS(source, dest);
    QCOMPARE(ReadAll(dest), QByteArray("content"));
}

// ---- Errors and streams -----------------------------------------------------------------

void TestFileUtils::systemErrorText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing file") << ENOENT << "No such file or directory (0x00000002)";
    QTest::newRow("disk full") << ENOSPC << "No space left on device (0x0000001c)";
    QTest::newRow("unknown code") << 1000 << "Error code = 0x000003e8";
    QTest::newRow("negative code") << -1 << "Error code = 0xffffffff";
}

void TestFileUtils::systemErrorText()
{
    QFETCH(int, code);
    QFETCH(QString, expected);
    QCOMPARE(SystemErrorText(code), expected);
}

void TestFileUtils::fileStreamErrors_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message"); // %1 = full file name
    QTest::newRow("create in a missing folder")
        << int(TExtFileStream::fmCreate) << "no-such-folder/x" << ENOENT
        << "Cannot create file \"%1\". No such file or directory (0x00000002)";
    QTest::newRow("open a missing file for reading")
        << int(TExtFileStream::fmOpenRead) << "no-such-file" << ENOENT
        << "Cannot open file \"%1\". No such file or directory (0x00000002)";
    QTest::newRow("open a folder for writing") << int(TExtFileStream::fmOpenWrite) << "." << EISDIR
                                               << "Cannot open file \"%1\". Is a directory (0x00000015)";
}

void TestFileUtils::fileStreamErrors()
{
    QFETCH(int, mode);
    QFETCH(QString, name);
    QFETCH(int, code);
    QFETCH(QString, message);
    // A relative name is reported as the full name.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(FDir.path()));
    try {
        TExtFileStream stream(name, TExtFileStream::TFileMode(mode));
        QDir::setCurrent(previous);
        QFAIL("no EExtFileStreamError");
    } catch (const EExtFileStreamError &error) {
        QDir::setCurrent(previous);
        QCOMPARE(error.ErrorCode, code);
        QCOMPARE(error.Message(), message.arg(QFileInfo(FDir.filePath(name)).absoluteFilePath()));
    }
}

void TestFileUtils::fileStreamReadWriteReturnErrno()
{
    const QString fileName = Path(QStringLiteral("stream"));
    char buffer[16] = "0123456789";
    int64_t done = -1;
    {
        TExtFileStream writer(fileName, TExtFileStream::fmCreate);
        QCOMPARE(writer.Write(buffer, 10, done), 0);
        QCOMPARE(done, int64_t(10));
        QCOMPARE(writer.Read(buffer, 10, done), EBADF);
        QCOMPARE(writer.Close(), 0);
    }
    TExtFileStream reader(fileName, TExtFileStream::fmOpenRead);
    QCOMPARE(reader.Write(buffer, 10, done), EBADF);
    char input[16] = {};
    QCOMPARE(reader.Read(input, 16, done), 0);
    QCOMPARE(done, int64_t(10));
    QCOMPARE(QByteArray(input, 10), QByteArray("0123456789"));
    QCOMPARE(reader.Read(input, 16, done), 0);
    QCOMPARE(done, int64_t(0));
}

QTEST_GUILESS_MAIN(TestFileUtils)
#include "tst_fileutils.moc"
