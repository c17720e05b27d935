#include "util/VersionInfo.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Crafted contents write the marker as "<M>". It is put together at run time: a marker
// followed by a well-formed block in this test's own constants would be found in its
// executable before the real block.
QByteArray WithMarkers(QByteArray content)
{
    QByteArray marker = "AKVERSIONBLOCK\n";
    marker.prepend('\x7f');
    return content.replace("<M>", marker);
}

// All bytes of a literal, NULs included.
template <size_t N> QByteArray Raw(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

} // namespace

class TestVersionInfo final : public QObject
{
    Q_OBJECT

    QTemporaryDir FDir;

private slots:
    void initTestCase() { QVERIFY(FDir.isValid()); }

    // tests/CMakeLists.txt gives this executable its block with these values.
    void readsOwnExecutable()
    {
        const QString program = QCoreApplication::applicationFilePath();
        const std::optional<TFileVersionInfo> info = ReadVersionInfo(program);
        QVERIFY(info);
        QCOMPARE(info->Company, QStringLiteral("Test Company"));
        QCOMPARE(info->Description, QStringLiteral("Version block test"));
        QCOMPARE(info->Version, QStringLiteral("4.4.26.0"));
        QCOMPARE(info->InternalName, QStringLiteral("VersionTest"));
        QCOMPARE(info->Copyright, QString::fromUtf8("© Jörg"));
        QCOMPARE(info->Comments, QStringLiteral("say \"hi\" \\ bye"));
        QCOMPARE(GetFileVersionText(program, QStringLiteral("none")), QStringLiteral("4.4.26"));
    }

    void craftedFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("versionText");

        QTest::newRow("empty file") << QByteArray() << false << ""
                                    << "default";
        QTest::newRow("garbage") << Raw("\x00\x01"
                                        "ELF AKVERSIONBLOCK FileVersion=1.0\n\n")
                                 << false << ""
                                 << "default";
        QTest::newRow("marker at the end") << QByteArray("xyz<M>") << false << ""
                                           << "default";
        QTest::newRow("truncated block") << QByteArray("<M>CompanyName=A\nFileVersion=1.2") << false << ""
                                         << "default";
        QTest::newRow("no closing empty line") << QByteArray("<M>FileVersion=1.2.3.4\n") << false << ""
                                               << "default";
        QTest::newRow("no lines") << QByteArray("<M>\n") << false << ""
                                  << "default";
        QTest::newRow("line without =") << QByteArray("<M>FileVersion 1.0\n\n") << false << ""
                                        << "default";
        QTest::newRow("control character in value") << QByteArray("<M>FileVersion=1\x01\n\n") << false << ""
                                                    << "default";
        QTest::newRow("minimal block") << QByteArray("<M>FileVersion=1.2.3.4\n\n") << true << "1.2.3.4"
                                       << "1.2.3";
        QTest::newRow("block inside other bytes")
            << QByteArray("\x7f\x45LF...<M>FileVersion=5.0.1.2\nComments=x\n\nmore") << true << "5.0.1.2"
            << "5.0.1";
        QTest::newRow("trimmed at the end, CR LF")
            << QByteArray("<M>FileVersion=2.0.1.7  \t\r\nInternalName=X\r\n\n") << true << "2.0.1.7"
            << "2.0.1";
        // The reader's own marker lies in every program as a constant followed by a NUL.
        QTest::newRow("marker constant, then the block")
            << Raw("<M>\0 ;<M>FileVersion=3.1.0.0\n\n") << true << "3.1.0.0"
            << "3.1.0";
        QTest::newRow("broken block, then the block")
            << QByteArray("<M>Comments=x\n<M>FileVersion=3.2.0.0\n\n") << true << "3.2.0.0"
            << "3.2.0";
        QTest::newRow("first block wins")
            << QByteArray("<M>FileVersion=1.0.0.0\n\n<M>FileVersion=2.0.0.0\n\n") << true << "1.0.0.0"
            << "1.0.0";
        QTest::newRow("missing version") << QByteArray("<M>Comments=c\n\n") << true << ""
                                         << "default";
        QTest::newRow("version without dot") << QByteArray("<M>FileVersion=7\n\n") << true << "7"
                                             << "7";
        QTest::newRow("unknown keys ignored")
            << QByteArray("<M>ProductName=x\nFileVersion=1.0.0.1\n\n") << true << "1.0.0.1"
            << "1.0.0";
    }

    void craftedFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, found);
        QFETCH(QString, version);
        QFETCH(QString, versionText);
        const QString fileName = FDir.filePath(QStringLiteral("crafted.bin"));
        QVERIFY(TestSupport::WriteAll(fileName, WithMarkers(content)));

        const std::optional<TFileVersionInfo> info = ReadVersionInfo(fileName);
        QCOMPARE(info.has_value(), found);
        if (info)
            QCOMPARE(info->Version, version);
        QCOMPARE(GetFileVersionText(fileName, QStringLiteral("default")), versionText);
    }

    void allFieldsOfABlock()
    {
        const QString fileName = FDir.filePath(QStringLiteral("full.bin"));
        QVERIFY(TestSupport::WriteAll(fileName, WithMarkers("<M>CompanyName=Co \n"
                                                            "FileDescription=Desc\n"
                                                            "FileVersion=1.2.3.4\n"
                                                            "InternalName=Name\n"
                                                            "LegalCopyright=\xC2\xA9 2026\n"
                                                            "Comments=a=b\n\n")));
        const std::optional<TFileVersionInfo> info = ReadVersionInfo(fileName);
        QVERIFY(info);
        QCOMPARE(info->Company, QStringLiteral("Co"));
        QCOMPARE(info->Description, QStringLiteral("Desc"));
        QCOMPARE(info->Version, QStringLiteral("1.2.3.4"));
        QCOMPARE(info->InternalName, QStringLiteral("Name"));
        QCOMPARE(info->Copyright, QString::fromUtf8("© 2026"));
        QCOMPARE(info->Comments, QStringLiteral("a=b"));
    }

    void blockAtTheEndOfALargeFile()
    {
        const QString fileName = FDir.filePath(QStringLiteral("large.bin"));
        QByteArray content(24 * 1024 * 1024, '\x7f');
        content += WithMarkers("<M>FileVersion=9.8.7.6\n\n");
        QVERIFY(TestSupport::WriteAll(fileName, content));
        QCOMPARE(GetFileVersionText(fileName, QString()), QStringLiteral("9.8.7"));
    }

    void notAFile_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("folder") << FDir.path();
        QTest::newRow("missing file") << FDir.filePath(QStringLiteral("missing.bin"));
        QTest::newRow("empty name") << QString();
    }

    void notAFile()
    {
        QFETCH(QString, fileName);
        QVERIFY(!ReadVersionInfo(fileName));
        QCOMPARE(GetFileVersionText(fileName, QStringLiteral("default")), QStringLiteral("default"));
    }
};

QTEST_GUILESS_MAIN(TestVersionInfo)
#include "tst_versioninfo.moc"
