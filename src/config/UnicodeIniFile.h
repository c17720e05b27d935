#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

// In-memory INI document: the whole file is loaded at creation, reads and writes work on
// memory, and UpdateFile writes the whole document back in one piece. Section names and
// keys compare case-insensitively. A plain document is saved in the encoding it was
// loaded in (ANSI for a file that did not exist).
class TIniDocument
{
public:
    enum class TEncoding
    {
        Ansi,
        Utf8,
        Utf16LE,
        Utf16BE
    };

    // Loads the file. A missing file (or an empty name) gives an empty document; an
    // existing file that cannot be read (or a folder) throws EExtFileStreamError.
    explicit TIniDocument(const QString &fileName);
    virtual ~TIniDocument();

    TIniDocument(const TIniDocument &) = delete;
    TIniDocument &operator=(const TIniDocument &) = delete;

    const QString &FileName() const { return FFileName; }
    TEncoding Encoding() const { return FEncoding; }

    // Replaces the whole content by the document in these bytes (encoding detected from
    // the byte-order mark, else ANSI). The file loader uses it too.
    void LoadFromBytes(const QByteArray &bytes);
    // The bytes UpdateFile writes: the document in its encoding, with its byte-order mark.
    QByteArray SaveToBytes() const;
    // Discards every section.
    void Clear();

    QString ReadString(const QString &section, const QString &key, const QString &def) const;
    void WriteString(const QString &section, const QString &key, const QString &value);
    int ReadInteger(const QString &section, const QString &key, int def) const;
    void WriteInteger(const QString &section, const QString &key, int value);
    int64_t ReadInt64(const QString &section, const QString &key, int64_t def) const;
    void WriteInt64(const QString &section, const QString &key, int64_t value);
    bool ReadBool(const QString &section, const QString &key, bool def) const;
    void WriteBool(const QString &section, const QString &key, bool value);

    // True when the section exists and has at least one line.
    bool SectionExists(const QString &section) const;
    bool ValueExists(const QString &section, const QString &key) const;
    // Removes the (first) section with all its lines; a later write appends it anew.
    void EraseSection(const QString &section);
    // Removes the lines of the section but keeps it at its place.
    void EraseSectionValues(const QString &section);
    void DeleteKey(const QString &section, const QString &key);
    // Key names of the section, in order.
    QStringList ReadSection(const QString &section) const;
    // Section names in order, duplicates included.
    QStringList ReadSections() const;

    // Replaces the file atomically by the whole document; on failure the old file stays
    // intact and EIniWriteError ("Error writing to ...") is thrown.
    virtual void UpdateFile();

protected:
    void SetEncoding(TEncoding encoding) { FEncoding = encoding; }

private:
    struct TLine
    {
        QString Key; // the text before the first "=", or the whole line when it has none
        QString Value;
        size_t KeyHash = 0;   // hash of the case-folded key: skips most comparisons
        bool IsEntry = false; // false for a line without "=", which never matches a key
    };
    struct TSection
    {
        QString Name;
        QString FoldedName;
        std::vector<TLine> Lines;
    };

    const TSection *FindSection(const QString &section) const;
    TSection *FindSection(const QString &section);
    TSection &FindOrAddSection(const QString &section);
    // Index of the first line with that key, -1 when there is none.
    static qsizetype FindLine(const TSection &section, QStringView key, size_t keyHash);
    void RebuildIndex();
    int64_t ReadInt64Range(const QString &section, const QString &key, int64_t def, int64_t minimum,
                           int64_t maximum) const;

    QString FFileName;
    TEncoding FEncoding = TEncoding::Ansi;
    std::vector<TSection> FSections;
    // Folded section name -> index of its first section in FSections.
    QHash<QString, qsizetype> FIndex;
};

// The program's own files: always written as UTF-16LE with a byte-order mark and a marker
// section "Unicode" with "Encoding=UTF-16LE". Documents opened for reading never write.
class TUnicodeIniFile : public TIniDocument
{
public:
    static std::unique_ptr<TUnicodeIniFile> CreateForRead(const QString &fileName);
    static std::unique_ptr<TUnicodeIniFile> CreateForWrite(const QString &fileName, bool clearEntries);

    // Writes an entry into section "Unicode" (the starter's "Program" and "Version").
    void WriteProgramInfo(const QString &key, const QString &value);
    bool ReadOnly() const { return FReadOnly; }

    // Does nothing for a read-only document.
    void UpdateFile() override;
    // Writes unless read-only, then discards the content; throws EIniWriteError (the
    // content is discarded all the same).
    void Close();
    // Closes if Close() was not called; never throws (a failure is reported with qWarning).
    ~TUnicodeIniFile() override;

private:
    TUnicodeIniFile(const QString &fileName, bool readOnly);

    bool FReadOnly;
    bool FClosed = false;
};

// Opens the file read-only, reads one Boolean and closes it; the default when the file
// cannot be read.
bool ReadBoolFromIniFile(const QString &fileName, const QString &section, const QString &key, bool def);
