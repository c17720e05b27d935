// Arbitrary bytes as an INI document: every read must be safe, and what a reader sees must
// survive a save and a reload unchanged. Also checks ParseInteger against its own output.

#include "config/UnicodeIniFile.h"
#include "util/Errors.h"
#include "util/Numbers.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

QString TempFolder;

// Everything a reader can see: sections in order, and the entries of the first section
// of each name with their values read in every form.
QStringList Dump(const TIniDocument &doc)
{
    QStringList lines;
    for (const QString &section : doc.ReadSections()) {
        lines.append(u'[' + section + u']' + (doc.SectionExists(section) ? u'+' : u'-'));
        for (const QString &key : doc.ReadSection(section)) {
            if (!doc.ValueExists(section, key))
                abort();
            lines.append(key + u'=' + doc.ReadString(section, key, QString()) + u'|' +
                         QString::number(doc.ReadInteger(section, key, -1)) + u'|' +
                         QString::number(doc.ReadInt64(section, key, -1)) + u'|' +
                         (doc.ReadBool(section, key, true) ? u'1' : u'0'));
        }
    }
    return lines;
}

void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_ini: %s\n", what);
        abort();
    }
}

void CheckParseInteger(QStringView text)
{
    const auto value = ParseInteger(text);
    if (value)
        Check(ParseInteger(QString::number(*value)) == value, "ParseInteger does not read its own output");
    const auto value32 = ParseInt32(text);
    Check(value32.has_value() == (value && *value >= INT32_MIN && *value <= INT32_MAX), "ParseInt32 range");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // A memory file system where there is one: every input is saved twice, with fsync.
    QByteArray name = access("/dev/shm", W_OK) == 0 ? "/dev/shm/fuzz_ini.XXXXXX" : "/tmp/fuzz_ini.XXXXXX";
    if (mkdtemp(name.data()) == nullptr)
        abort();
    TempFolder = QString::fromLocal8Bit(name);
    std::atexit([] { QDir(TempFolder).removeRecursively(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    CheckParseInteger(QString::fromUtf8(bytes));

    const QString fileName = TempFolder + QStringLiteral("/doc.ini");
    QFile::remove(fileName);
    TIniDocument doc(fileName);
    doc.LoadFromBytes(bytes);
    const QStringList before = Dump(doc);
    for (const QString &section : doc.ReadSections())
        for (const QString &key : doc.ReadSection(section))
            CheckParseInteger(doc.ReadString(section, key, QString()));

    try {
        doc.UpdateFile();
    } catch (const EIniWriteError &error) {
        std::fprintf(stderr, "fuzz_ini: %s\n", error.what());
        abort();
    }
    {
        const TIniDocument reloaded(fileName);
        Check(reloaded.Encoding() == doc.Encoding(), "encoding changed by a save");
        Check(Dump(reloaded) == before, "a save and reload changed what readers see");
    }

    // The program's own write path: UTF-16LE with the marker, then the same content.
    {
        auto ini = TUnicodeIniFile::CreateForWrite(fileName, false);
        const QStringList sections = ini->ReadSections();
        if (!sections.isEmpty()) {
            ini->WriteString(sections.front(), QStringLiteral("Fuzz"), QStringLiteral("x\r\ny"));
            ini->EraseSection(sections.back());
        }
        const QStringList written = Dump(*ini);
        ini->Close();
        Check(Dump(*TUnicodeIniFile::CreateForRead(fileName)) ==
                  QStringList(written).replaceInStrings(QStringLiteral("x\r\ny"), QStringLiteral("x  y")),
              "the program's save changed what readers see");
    }
    return 0;
}
