#include "mail/Encryption.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

namespace {

// The archives in tests/data were made by 7-Zip with
//   7zz a -tzip -mem=AES<bits> -mx0 -p'Fixture pw 7' Aes<bits>Stored.zip len*.bin
// from files lenN.bin of N bytes made by Pattern(N).
const QByteArray FixturePassword = "Fixture pw 7";
const QList<int> EntryLengths = {0, 1, 15, 16, 17, 4097};

QByteArray Pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + 7) & 0xFF);
    return bytes;
}

QString EntryName(int size)
{
    return QStringLiteral("len%1.bin").arg(size);
}

uint32_t Crc32(const QByteArray &bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= uint8_t(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

int SaltSize(int mode)
{
    return 4 + 4 * mode;
}

// --- ZIP archives with WinZip AES entries -----------------------------------------------

// One entry as the local header describes it, with the raw (encrypted) entry data.
struct TZipEntry
{
    QString Name;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint32_t Crc = 0;
    int64_t Size = 0;
    bool HasAesField = false;
    uint16_t AeVersion = 0;
    QByteArray Vendor;
    uint8_t Strength = 0;
    uint16_t RealMethod = 0xFFFF;
    QByteArray Data;
};

class TLeReader
{
public:
    TLeReader(const QByteArray &bytes, qsizetype pos) : FBytes(bytes), FPos(pos) {}
    bool Ok() const { return FOk; }
    qsizetype Pos() const { return FPos; }
    uint32_t Read(int size)
    {
        if (FPos < 0 || FPos + size > FBytes.size()) {
            FOk = false;
            return 0;
        }
        uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i)
            value = value << 8 | uint8_t(FBytes[FPos + i]);
        FPos += size;
        return value;
    }
    QByteArray Take(qsizetype size)
    {
        if (FPos < 0 || size < 0 || FPos + size > FBytes.size()) {
            FOk = false;
            return {};
        }
        FPos += size;
        return FBytes.mid(FPos - size, size);
    }

private:
    const QByteArray &FBytes;
    qsizetype FPos;
    bool FOk = true;
};

void ParseAesField(const QByteArray &extra, TZipEntry &entry)
{
    TLeReader r(extra, 0);
    while (r.Pos() + 4 <= extra.size()) {
        const uint32_t id = r.Read(2);
        const uint32_t size = r.Read(2);
        const QByteArray body = r.Take(size);
        if (id != 0x9901 || body.size() != 7)
            continue;
        TLeReader f(body, 0);
        entry.HasAesField = true;
        entry.AeVersion = uint16_t(f.Read(2));
        entry.Vendor = f.Take(2);
        entry.Strength = uint8_t(f.Read(1));
        entry.RealMethod = uint16_t(f.Read(2));
    }
}

// Entries from the central directory, with method and AES field from each local header.
std::optional<QList<TZipEntry>> ReadZip(const QByteArray &zip)
{
    const qsizetype end = zip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0)
        return std::nullopt;
    TLeReader eocd(zip, end + 10);
    const uint32_t count = eocd.Read(2);
    eocd.Read(4);
    TLeReader central(zip, eocd.Read(4));
    QList<TZipEntry> entries;
    for (uint32_t i = 0; i < count; ++i) {
        if (central.Read(4) != 0x02014b50)
            return std::nullopt;
        central.Take(16);
        const uint32_t packedSize = central.Read(4);
        central.Read(4);
        const uint32_t nameLen = central.Read(2);
        const uint32_t extraLen = central.Read(2);
        const uint32_t commentLen = central.Read(2);
        central.Take(8);
        const uint32_t localOffset = central.Read(4);
        central.Take(nameLen + extraLen + commentLen);

        TZipEntry entry;
        TLeReader local(zip, localOffset);
        if (local.Read(4) != 0x04034b50)
            return std::nullopt;
        local.Read(2);
        entry.Flags = uint16_t(local.Read(2));
        entry.Method = uint16_t(local.Read(2));
        local.Read(4);
        entry.Crc = local.Read(4);
        local.Read(4);
        entry.Size = local.Read(4);
        const uint32_t localNameLen = local.Read(2);
        const uint32_t localExtraLen = local.Read(2);
        entry.Name = QString::fromUtf8(local.Take(localNameLen));
        ParseAesField(local.Take(localExtraLen), entry);
        entry.Data = local.Take(packedSize);
        if (!local.Ok())
            return std::nullopt;
        entries += entry;
    }
    if (!central.Ok() || !eocd.Ok())
        return std::nullopt;
    return entries;
}

class TLeWriter
{
public:
    QByteArray Bytes;
    void Put(uint32_t value, int size)
    {
        for (int i = 0; i < size; ++i, value >>= 8)
            Bytes += char(value & 0xFF);
    }
};

struct TZipItem
{
    QString Name;
    QByteArray Plain;
    QByteArray Stream; // salt, verification value, encrypted data, code
    int Strength;
    int AeVersion;
};

// Local headers with method 99 and the AES extra field, central directory and end record.
QByteArray BuildAesZip(const QList<TZipItem> &items)
{
    auto header = [](TLeWriter &w, const TZipItem &item) {
        w.Put(51, 2);     // version needed: 5.1 for AES
        w.Put(0x0001, 2); // encrypted
        w.Put(99, 2);
        w.Put(0, 2);    // time
        w.Put(0x21, 2); // 1980-01-01
        // AE-1 keeps the CRC of the plain data, AE-2 relies on the authentication code.
        w.Put(item.AeVersion == 1 ? Crc32(item.Plain) : 0, 4);
        w.Put(uint32_t(item.Stream.size()), 4);
        w.Put(uint32_t(item.Plain.size()), 4);
        w.Put(uint32_t(item.Name.toUtf8().size()), 2);
        w.Put(11, 2);
    };
    auto extra = [](TLeWriter &w, const TZipItem &item) {
        w.Put(0x9901, 2);
        w.Put(7, 2);
        w.Put(uint32_t(item.AeVersion), 2);
        w.Bytes += "AE";
        w.Put(uint32_t(item.Strength), 1);
        w.Put(0, 2); // stored
    };

    TLeWriter zip;
    QList<uint32_t> offsets;
    for (const TZipItem &item : items) {
        offsets += uint32_t(zip.Bytes.size());
        zip.Put(0x04034b50, 4);
        header(zip, item);
        zip.Bytes += item.Name.toUtf8();
        extra(zip, item);
        zip.Bytes += item.Stream;
    }
    const auto centralOffset = uint32_t(zip.Bytes.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        zip.Put(0x02014b50, 4);
        zip.Put(0x0333, 2); // made by: Unix, 5.1
        header(zip, items[i]);
        zip.Put(0, 2); // comment
        zip.Put(0, 2); // disk
        zip.Put(0, 2); // internal attributes
        zip.Put(0100644u << 16, 4);
        zip.Put(offsets[i], 4);
        zip.Bytes += items[i].Name.toUtf8();
        extra(zip, items[i]);
    }
    const auto centralSize = uint32_t(zip.Bytes.size()) - centralOffset;
    zip.Put(0x06054b50, 4);
    zip.Put(0, 2);
    zip.Put(0, 2);
    zip.Put(uint32_t(items.size()), 2);
    zip.Put(uint32_t(items.size()), 2);
    zip.Put(centralSize, 4);
    zip.Put(centralOffset, 4);
    zip.Put(0, 2);
    return zip.Bytes;
}

// --- 7-Zip -----------------------------------------------------------------------------

QString SevenZip()
{
    QString program = QStandardPaths::findExecutable(QStringLiteral("7z"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("7zz"));
    return program;
}

struct TRun
{
    int ExitCode = -1;
    QString Output;
};

TRun RunSevenZip(const QStringList &arguments, const QString &workDir)
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(SevenZip(), arguments);
    TRun run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        run.ExitCode = process.exitCode();
    run.Output = QString::fromLocal8Bit(process.readAll());
    return run;
}

// --- our side --------------------------------------------------------------------------

QByteArray Encrypt(const QByteArray &password, int mode, const QByteArray &plain, int bufSize = 4096)
{
    QByteArray source = plain;
    QBuffer in(&source);
    in.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    TEncryption encryption(password, mode, bufSize);
    if (encryption.EncryptStreamEx(&in, &out, 0) != orOk)
        return {};
    return out.data();
}

// The result and the bytes written.
std::pair<TOpResult, QByteArray> Decrypt(const QByteArray &password, int mode, QByteArray stream,
                                         int bufSize = 4096, std::optional<int64_t> length = std::nullopt)
{
    QBuffer in(&stream);
    in.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    TEncryption encryption(password, mode, bufSize);
    const TOpResult result = encryption.DecryptStreamEx(&in, &out, length.value_or(stream.size()), 0);
    return {result, out.data()};
}

void CheckSevenZipEntries(const QByteArray &zip, int mode, const QByteArray &password, int bufSize)
{
    const auto entries = ReadZip(zip);
    QVERIFY2(entries, "archive not readable");
    QCOMPARE(entries->size(), EntryLengths.size());
    for (const TZipEntry &entry : *entries) {
        const int size = entry.Name.mid(3).chopped(4).toInt();
        QVERIFY2(EntryLengths.contains(size), qPrintable(entry.Name));
        QCOMPARE(entry.Method, 99);
        QVERIFY(entry.Flags & 1);
        QVERIFY(entry.HasAesField);
        QVERIFY(entry.AeVersion == 1 || entry.AeVersion == 2);
        QCOMPARE(entry.Vendor, QByteArray("AE"));
        QCOMPARE(entry.Strength, mode);
        QCOMPARE(entry.RealMethod, 0);
        QCOMPARE(entry.Size, size);
        QCOMPARE(entry.Data.size(), SaltSize(mode) + 2 + size + 10);

        const auto [result, plain] = Decrypt(password, mode, entry.Data, bufSize);
        QCOMPARE(result, orOk);
        QCOMPARE(plain, Pattern(size));
    }
}

} // namespace

class TestEncryption final : public QObject
{
    Q_OBJECT
private slots:
    // 7-Zip's archives, kept as files, decrypt to the original bytes; a small buffer
    // makes the key stream cross many chunk boundaries.
    void decryptsSevenZipFixtures_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("bufSize");
        for (int mode = 1; mode <= 3; ++mode) {
            for (int bufSize : {4096, 7}) {
                QTest::addRow("AES-%d, chunks of %d", 64 + 64 * mode, bufSize) << mode << bufSize;
            }
        }
    }
    void decryptsSevenZipFixtures()
    {
        QFETCH(int, mode);
        QFETCH(int, bufSize);
        const QByteArray zip = TestSupport::ReadAll(
            TestSupport::DataFile(QStringLiteral("Aes%1Stored.zip").arg(64 + 64 * mode)));
        QVERIFY(!zip.isEmpty());
        CheckSevenZipEntries(zip, mode, FixturePassword, bufSize);
    }

    void rejectsWrongPasswordOnFixture()
    {
        const auto entries = ReadZip(TestSupport::ReadAll(TestSupport::DataFile("Aes128Stored.zip")));
        QVERIFY(entries);
        for (const TZipEntry &entry : *entries) {
            QByteArray stream = entry.Data;
            QBuffer in(&stream);
            in.open(QIODevice::ReadOnly);
            TEncryption encryption("Fixture pw 8", 1, 4096);
            QVERIFY(!encryption.ReadHeader(&in));
            QCOMPARE(Decrypt("Fixture pw 8", 1, entry.Data).first, orError);
        }
    }

    // Archives that 7-Zip makes now, with a password of its own, decrypt too.
    void decryptsLiveSevenZipArchives_data()
    {
        QTest::addColumn<int>("mode");
        for (int mode = 1; mode <= 3; ++mode)
            QTest::addRow("AES-%d", 64 + 64 * mode) << mode;
    }
    void decryptsLiveSevenZipArchives()
    {
        QFETCH(int, mode);
        if (SevenZip().isEmpty())
            QSKIP("7-Zip (7z or 7zz) is not installed");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray password = "live 7-Zip password, long enough for two key blocks: 0123456789";
        QStringList arguments = {"a",
                                 "-tzip",
                                 QStringLiteral("-mem=AES%1").arg(64 + 64 * mode),
                                 "-mx0",
                                 "-p" + QString::fromLatin1(password),
                                 "out.zip"};
        for (int size : EntryLengths) {
            QVERIFY(TestSupport::WriteAll(dir.filePath(EntryName(size)), Pattern(size)));
            arguments += EntryName(size);
        }
        const TRun run = RunSevenZip(arguments, dir.path());
        QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
        CheckSevenZipEntries(TestSupport::ReadAll(dir.filePath("out.zip")), mode, password, 4096);
    }

    // Our streams, put into ZIP entries, pass 7-Zip's test and extract to the original.
    void sevenZipAcceptsOurStreams_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("aeVersion");
        for (int mode = 1; mode <= 3; ++mode) {
            for (int version : {1, 2})
                QTest::addRow("AES-%d, AE-%d", 64 + 64 * mode, version) << mode << version;
        }
    }
    void sevenZipAcceptsOurStreams()
    {
        QFETCH(int, mode);
        QFETCH(int, aeVersion);
        if (SevenZip().isEmpty())
            QSKIP("7-Zip (7z or 7zz) is not installed");
        const QByteArray password = "Our pass phrase #1";
        QList<TZipItem> items;
        for (int size : EntryLengths) {
            const QByteArray stream = Encrypt(password, mode, Pattern(size), 1000);
            QCOMPARE(stream.size(), SaltSize(mode) + 2 + size + 10);
            items += TZipItem{EntryName(size), Pattern(size), stream, mode, aeVersion};
        }
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(TestSupport::WriteAll(dir.filePath("ours.zip"), BuildAesZip(items)));

        const QString pass = "-p" + QString::fromLatin1(password);
        TRun run = RunSevenZip({"t", pass, "ours.zip"}, dir.path());
        QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
        run = RunSevenZip({"x", "-y", pass, "-oout", "ours.zip"}, dir.path());
        QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
        for (int size : EntryLengths) {
            const QString file = dir.filePath("out/" + EntryName(size));
            QVERIFY2(QFile::exists(file), qPrintable(file));
            QCOMPARE(TestSupport::ReadAll(file), Pattern(size));
        }
    }

    // Encrypting and decrypting in any chunk size gives back the data; the stream has
    // the layout's exact size; progress reports count up to the length with the right
    // action code and hand the speed limit on; the pause hook is asked before chunks.
    void roundTrip_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("bufSize");
        for (int mode = 1; mode <= 3; ++mode) {
            for (int size : EntryLengths) {
                for (int bufSize : {1, 16, 4096})
                    QTest::addRow("mode %d, %d bytes, chunks of %d", mode, size, bufSize)
                        << mode << size << bufSize;
            }
        }
        QTest::addRow("chunk boundary inside a key block") << 1 << 100 << 10;
        QTest::addRow("exactly two chunks") << 2 << 8192 << 4096;
    }
    void roundTrip()
    {
        QFETCH(int, mode);
        QFETCH(int, size);
        QFETCH(int, bufSize);
        const QByteArray password = "round trip";
        constexpr int speedLimit = 123;
        QList<std::tuple<int, int, int64_t>> reports;
        int waits = 0;
        auto record = [&reports](int action, int limit, int64_t done) { reports += {action, limit, done}; };
        auto checkReports = [&reports](int action, int64_t total) {
            int64_t last = 0;
            for (const auto &[a, limit, done] : reports) {
                QCOMPARE(a, action);
                QCOMPARE(limit, speedLimit);
                QVERIFY(done >= last);
                last = done;
            }
            QCOMPARE(last, total);
        };

        QByteArray plain = Pattern(size);
        QBuffer in(&plain);
        in.open(QIODevice::ReadOnly);
        QBuffer encrypted;
        encrypted.open(QIODevice::WriteOnly);
        TEncryption encryption(password, mode, bufSize);
        encryption.SetOnProgress(record);
        encryption.SetEvent([&waits] { ++waits; });
        QCOMPARE(encryption.EncryptStreamEx(&in, &encrypted, speedLimit), orOk);
        QCOMPARE(encrypted.data().size(), SaltSize(mode) + 2 + size + 10);
        QVERIFY(!reports.isEmpty());
        checkReports(TEncryption::ProgressEncrypt, size);
        QVERIFY(waits >= 1);
        if (size >= 32) // the data does not appear in the stream
            QVERIFY(!encrypted.data().contains(plain.left(32)));

        reports.clear();
        QByteArray stream = encrypted.data();
        QBuffer source(&stream);
        source.open(QIODevice::ReadOnly);
        QBuffer decrypted;
        decrypted.open(QIODevice::WriteOnly);
        TEncryption decryption(password, mode, bufSize);
        decryption.SetOnProgress(record);
        QCOMPARE(decryption.DecryptStreamEx(&source, &decrypted, stream.size(), speedLimit), orOk);
        QCOMPARE(decrypted.data(), plain);
        checkReports(TEncryption::ProgressDecrypt, size);
    }

    void choosesKeyModeByPasswordLength_data()
    {
        QTest::addColumn<int>("passwordLength");
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("expected");
        QTest::newRow("explicit 1") << 60 << 1 << 1;
        QTest::newRow("explicit 2") << 0 << 2 << 2;
        QTest::newRow("explicit 3") << 5 << 3 << 3;
        QTest::newRow("empty") << 0 << 0 << 1;
        QTest::newRow("31 bytes") << 31 << 0 << 1;
        QTest::newRow("32 bytes") << 32 << 0 << 2;
        QTest::newRow("47 bytes") << 47 << 4 << 2;
        QTest::newRow("48 bytes") << 48 << -1 << 3;
        QTest::newRow("300 bytes") << 300 << 0 << 3;
    }
    void choosesKeyModeByPasswordLength()
    {
        QFETCH(int, passwordLength);
        QFETCH(int, requested);
        QFETCH(int, expected);
        TEncryption encryption(QByteArray(passwordLength, 'p'), requested, 4096);
        QCOMPARE(encryption.KeyMode(), expected);
        QCOMPARE(encryption.GetHeaderSize(), SaltSize(expected) + 2);
        QCOMPARE(encryption.GetTrailerSize(), 10);
        QVERIFY(encryption.FixedKey());
    }

    // Only the first 128 bytes of a password count.
    void usesFirst128PasswordBytes()
    {
        const QByteArray longPassword = Pattern(200);
        const QByteArray stream = Encrypt(longPassword, 3, "data");
        QCOMPARE(Decrypt(longPassword.left(128), 3, stream), std::make_pair(orOk, QByteArray("data")));
        QCOMPARE(Decrypt(longPassword.left(127), 3, stream).first, orError);
    }

    // Any changed byte is noticed: in the header by the verification value (or, by
    // chance, later), in the data or the code by the authentication code.
    void detectsAlteredStreams_data()
    {
        QTest::addColumn<int>("where"); // byte index; negative counts from the end
        QTest::addColumn<bool>("inData");
        QTest::newRow("salt") << 0 << false;
        QTest::newRow("verification value") << 9 << false;
        QTest::newRow("first data byte") << 10 << true;
        QTest::newRow("data byte in the second chunk") << 10 + 4096 << true;
        QTest::newRow("last data byte") << -11 << true;
        QTest::newRow("authentication code") << -1 << true;
    }
    void detectsAlteredStreams()
    {
        QFETCH(int, where);
        QFETCH(bool, inData);
        const QByteArray plain = Pattern(5000);
        QByteArray stream = Encrypt("secret", 1, plain);
        const qsizetype index = where >= 0 ? where : stream.size() + where;
        stream[index] = char(stream[index] ^ 0x01);

        QCOMPARE(Decrypt("secret", 1, stream).first, orError);
        if (inData) {
            QBuffer in(&stream);
            in.open(QIODevice::ReadOnly);
            TEncryption encryption("secret", 1, 4096);
            QVERIFY(encryption.ReadHeader(&in));
            QByteArray data = in.read(plain.size());
            encryption.DecryptBlock(data.data(), data.size());
            QVERIFY(!encryption.ReadTrailer(&in));
        }
    }

    // A stream cut short fails whether the length given is the original or the cut one.
    void detectsTruncatedStreams_data()
    {
        QTest::addColumn<int>("keep");
        QTest::newRow("nothing") << 0;
        QTest::newRow("part of the salt") << 5;
        QTest::newRow("header only") << 10;
        QTest::newRow("half the data") << 10 + 50;
        QTest::newRow("without the code") << 10 + 100;
        QTest::newRow("without the code's last byte") << 10 + 100 + 9;
    }
    void detectsTruncatedStreams()
    {
        QFETCH(int, keep);
        const QByteArray stream = Encrypt("secret", 1, Pattern(100));
        QCOMPARE(stream.size(), 120);
        const QByteArray cut = stream.left(keep);
        QCOMPARE(Decrypt("secret", 1, cut, 4096, stream.size()).first, orError);
        QCOMPARE(Decrypt("secret", 1, cut).first, orError);
    }

    // Without a destination the data is only verified.
    void verifiesWithoutDestination()
    {
        QByteArray stream = Encrypt("secret", 2, Pattern(300));
        for (bool alter : {false, true}) {
            if (alter)
                stream[50] = char(stream[50] ^ 0x80);
            QBuffer in(&stream);
            in.open(QIODevice::ReadOnly);
            TEncryption encryption("secret", 2, 64);
            QCOMPARE(encryption.DecryptStreamEx(&in, nullptr, stream.size(), 0), alter ? orError : orOk);
        }
    }

    // Cancelling stops after the chunk in hand; an encrypted stream then has no code.
    void cancelStopsWithoutTrailer()
    {
        QByteArray plain = Pattern(4097);
        QBuffer in(&plain);
        in.open(QIODevice::ReadOnly);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        int calls = 0;
        TEncryption encryption("secret", 1, 1000);
        QCOMPARE(encryption.EncryptStreamEx(&in, &out, 0, [&calls] { return ++calls == 2; }), orUserBreak);
        QCOMPARE(out.data().size(), 10 + 2000);

        QByteArray stream = Encrypt("secret", 1, plain);
        QBuffer source(&stream);
        source.open(QIODevice::ReadOnly);
        QBuffer dest;
        dest.open(QIODevice::WriteOnly);
        calls = 0;
        TEncryption decryption("secret", 1, 1000);
        QCOMPARE(
            decryption.DecryptStreamEx(&source, &dest, stream.size(), 0, [&calls] { return ++calls == 1; }),
            orUserBreak);
        QCOMPARE(dest.data(), plain.left(1000));
    }

    // Failing devices give orError: a destination that cannot be written (a full disk:
    // /dev/full), a source that cannot be read.
    void reportsDeviceErrors()
    {
        QFile full(QStringLiteral("/dev/full"));
        if (!full.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            QSKIP("/dev/full is not available");
        QByteArray plain = Pattern(100);
        QBuffer in(&plain);
        in.open(QIODevice::ReadOnly);
        TEncryption encryption("secret", 1, 4096);
        QCOMPARE(encryption.EncryptStreamEx(&in, &full, 0), orError);

        QByteArray stream = Encrypt("secret", 1, plain);
        QBuffer source(&stream);
        source.open(QIODevice::ReadOnly);
        TEncryption decryption("secret", 1, 4096);
        QCOMPARE(decryption.DecryptStreamEx(&source, &full, stream.size(), 0), orError);

        QBuffer closed(&plain);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QIODevice::read.*"));
        QCOMPARE(encryption.EncryptStreamEx(&closed, &out, 0), orError);
    }

    // Two encryptions of the same data differ (fresh salt), and both decrypt.
    void saltIsFreshEachTime()
    {
        const QByteArray a = Encrypt("secret", 1, "same data");
        const QByteArray b = Encrypt("secret", 1, "same data");
        QVERIFY(a.left(8) != b.left(8));
        QVERIFY(a != b);
        QCOMPARE(Decrypt("secret", 1, a).second, QByteArray("same data"));
        QCOMPARE(Decrypt("secret", 1, b).second, QByteArray("same data"));
    }
};

QTEST_GUILESS_MAIN(TestEncryption)
#include "tst_encryption.moc"
