#include "config/UnicodeIniFile.h"

#include "util/AnsiCodec.h"
#include "util/Errors.h"
#include "util/FileUtils.h"
#include "util/Numbers.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

#include <QFile>
#include <QSysInfo>
#include <QtEndian>
#include <QtGlobal>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString UnicodeSection = QStringLiteral("Unicode");
const QString EncodingKey = QStringLiteral("Encoding");
const QString Utf16LEName = QStringLiteral("UTF-16LE");

// Removes every character up to U+0020 from both ends.
QStringView TrimControls(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.sliced(begin, end - begin);
}

QString DecodeUtf16(const char *data, qsizetype size, bool bigEndian)
{
    QString text(size / 2, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0; i < size / 2; ++i)
        out[i] =
            bigEndian ? qFromBigEndian<char16_t>(data + 2 * i) : qFromLittleEndian<char16_t>(data + 2 * i);
    // A lone trailing byte is no character: mark it rather than drop it silently.
    if (size % 2 != 0)
        text.append(QChar::ReplacementCharacter);
    return text;
}

QByteArray EncodeUtf16(QStringView text, bool bigEndian)
{
    QByteArray bytes(text.size() * 2 + 2, Qt::Uninitialized);
    char *out = bytes.data();
    const char16_t bom = 0xFEFF;
    if (bigEndian)
        qToBigEndian(bom, out);
    else
        qToLittleEndian(bom, out);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (bigEndian)
            qToBigEndian(text[i].unicode(), out + 2 + 2 * i);
        else
            qToLittleEndian(text[i].unicode(), out + 2 + 2 * i);
    }
    return bytes;
}

[[noreturn]] void ThrowWriteError(const QString &fileName, int error)
{
    throw EIniWriteError(SafeFormat(Tr("Error writing to \"%s\""), fileName), error);
}

[[noreturn]] void ThrowOpenError(const QString &fileName, int error)
{
    throw EExtFileStreamError(SafeFormat(Tr("Cannot open file \"%s\". %s"), fileName, SystemErrorText(error)),
                              error);
}

// Whole content of an existing regular file; nullopt when there is no such file.
std::optional<QByteArray> ReadWholeFile(const QString &fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    // O_NONBLOCK so that a FIFO given as the name cannot hang the program.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return std::nullopt;
        ThrowOpenError(fileName, error);
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // Only regular files: a folder, a FIFO or a device is no INI file.
        const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        ThrowOpenError(fileName, error);
    }
    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, qsizetype(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            const int error = errno;
            ::close(fd);
            ThrowOpenError(fileName, error);
        }
    }
    ::close(fd);
    return bytes;
}

// Replaces `fileName` by `bytes` through a temporary file in the same folder, so that a
// failure at any point leaves the old file as it was. Returns 0 or the errno value.
int ReplaceFileAtomically(const QString &fileName, const QByteArray &bytes)
{
    if (fileName.isEmpty())
        return ENOENT;
    QByteArray target = QFile::encodeName(fileName);
    // Write through a symbolic link instead of replacing the link by a plain file.
    struct stat st
    {
    };
    if (::lstat(target.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char *resolved = ::realpath(target.constData(), nullptr)) {
            target = resolved;
            free(resolved);
        }
    }
    const bool exists = ::stat(target.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return EISDIR;
    // The rename could replace a file the user has made read-only; writing in place could
    // not, so neither may we.
    if (exists && ::access(target.constData(), W_OK) != 0)
        return errno;

    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.left(slash);
    std::unique_ptr<TExtFileStream> temp;
    try {
        temp = TExtFileStream::CreateUnique(
            QFile::decodeName(target.left(slash + 1) + '.' + target.mid(slash + 1) + '.'));
    } catch (const EExtFileStreamError &error) {
        return error.ErrorCode;
    }
    const QByteArray tempName = QFile::encodeName(temp->FileName());

    int64_t written = 0;
    int error = temp->Write(bytes.constData(), bytes.size(), written);
    if (error == 0 && ::fchmod(temp->Handle(), exists ? (st.st_mode & 07777) : 0600) != 0)
        error = errno;
    if (error == 0 && exists && ::geteuid() == 0 && ::fchown(temp->Handle(), st.st_uid, st.st_gid) != 0)
        error = errno;
    if (error == 0)
        error = temp->Flush();
    if (const int closeError = temp->Close(); error == 0)
        error = closeError;
    if (error == 0 && ::rename(tempName.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(tempName.constData());
        return error;
    }
    // Make the rename itself durable; a failure here no longer endangers the content.
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return 0;
}

bool IsAscii(QStringView text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

char16_t AsciiLower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

// Names compare by their case-folded forms. Nearly all names are ASCII, where folding is
// lower-casing and needs no tables.
QString FoldName(QStringView name)
{
    if (!IsAscii(name))
        return name.toString().toCaseFolded();
    QString folded(name.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(folded.data());
    for (qsizetype i = 0; i < name.size(); ++i)
        out[i] = AsciiLower(name[i].unicode());
    return folded;
}

// FNV-1a over the folded form, computed without building it for ASCII names.
size_t FoldedHash(QStringView name)
{
    size_t hash = 14695981039346656037ULL;
    auto add = [&hash](char16_t c) {
        hash = (hash ^ (c & 0xFF)) * 1099511628211ULL;
        hash = (hash ^ (c >> 8)) * 1099511628211ULL;
    };
    if (IsAscii(name)) {
        for (const QChar c : name)
            add(AsciiLower(c.unicode()));
    } else {
        for (const QChar c : FoldName(name))
            add(c.unicode());
    }
    return hash;
}

bool SameName(QStringView a, QStringView b)
{
    if (IsAscii(a) && IsAscii(b)) {
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i)
            if (AsciiLower(a[i].unicode()) != AsciiLower(b[i].unicode()))
                return false;
        return true;
    }
    return FoldName(a) == FoldName(b);
}

// A line break inside a name or value would split its line on reload and could forge
// headers or entries; it is written as a blank instead.
QString WithoutLineBreaks(const QString &text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString clean = text;
    clean.replace(u'\r', u' ').replace(u'\n', u' ');
    return clean;
}

} // namespace

TIniDocument::TIniDocument(const QString &fileName) : FFileName(fileName)
{
    if (fileName.isEmpty())
        return;
    if (const auto bytes = ReadWholeFile(fileName))
        LoadFromBytes(*bytes);
}

TIniDocument::~TIniDocument() = default;

void TIniDocument::Clear()
{
    FSections.clear();
    FIndex.clear();
}

void TIniDocument::LoadFromBytes(const QByteArray &bytes)
{
    Clear();
    QString text;
    QStringView all;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        FEncoding = TEncoding::Utf8;
        text = QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    } else if (bytes.startsWith("\xFF\xFE")) {
        FEncoding = TEncoding::Utf16LE;
        // The program's own files are parsed in place where the host order allows it:
        // a large file then needs no second copy.
        if (QSysInfo::ByteOrder == QSysInfo::LittleEndian && bytes.size() % 2 == 0)
            all = QStringView(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                              (bytes.size() - 2) / 2);
        else
            text = DecodeUtf16(bytes.constData() + 2, bytes.size() - 2, false);
    } else if (bytes.startsWith("\xFE\xFF")) {
        FEncoding = TEncoding::Utf16BE;
        text = DecodeUtf16(bytes.constData() + 2, bytes.size() - 2, true);
    } else {
        FEncoding = TEncoding::Ansi;
        text = AnsiToString(bytes);
    }
    if (all.isNull())
        all = text;

    TSection *current = nullptr;
    qsizetype pos = 0;
    while (pos <= all.size()) {
        qsizetype end = pos;
        while (end < all.size() && all[end] != u'\r' && all[end] != u'\n')
            ++end;
        const QStringView line = TrimControls(all.sliced(pos, end - pos));
        if (end < all.size() && all[end] == u'\r' && end + 1 < all.size() && all[end + 1] == u'\n')
            ++end;
        pos = end + 1;

        if (line.isEmpty() || line.front() == u';')
            continue;
        if (line.front() == u'[' && line.back() == u']' && line.size() >= 2) {
            const QString name = TrimControls(line.sliced(1, line.size() - 2)).toString();
            FSections.push_back(TSection{name, FoldName(name), {}});
            if (!FIndex.contains(FSections.back().FoldedName))
                FIndex.insert(FSections.back().FoldedName, qsizetype(FSections.size() - 1));
            current = &FSections.back();
            continue;
        }
        if (current == nullptr)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) {
            current->Lines.push_back(TLine{line.toString(), QString(), 0, false});
            continue;
        }
        const QStringView key = TrimControls(line.first(equals));
        current->Lines.push_back(
            TLine{key.toString(), TrimControls(line.sliced(equals + 1)).toString(), FoldedHash(key), true});
    }
}

QByteArray TIniDocument::SaveToBytes() const
{
    static const QString crlf = QStringLiteral("\r\n");
    qsizetype size = 0;
    for (const TSection &section : FSections) {
        size += section.Name.size() + 6;
        for (const TLine &line : section.Lines)
            size += line.Key.size() + line.Value.size() + 3;
    }
    QString text;
    text.reserve(size);
    for (const TSection &section : FSections) {
        text.append(u'[').append(WithoutLineBreaks(section.Name)).append(u']').append(crlf);
        for (const TLine &line : section.Lines) {
            text.append(WithoutLineBreaks(line.Key));
            if (line.IsEntry)
                text.append(u'=').append(WithoutLineBreaks(line.Value));
            text.append(crlf);
        }
        text.append(crlf);
    }
    switch (FEncoding) {
    case TEncoding::Utf16LE:
        return EncodeUtf16(text, false);
    case TEncoding::Utf16BE:
        return EncodeUtf16(text, true);
    case TEncoding::Utf8:
        return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
    case TEncoding::Ansi:
        break;
    }
    return StringToAnsi(text);
}

void TIniDocument::UpdateFile()
{
    if (const int error = ReplaceFileAtomically(FFileName, SaveToBytes()); error != 0)
        ThrowWriteError(FFileName, error);
}

const TIniDocument::TSection *TIniDocument::FindSection(const QString &section) const
{
    const auto it = FIndex.constFind(FoldName(section));
    return it == FIndex.cend() ? nullptr : &FSections[size_t(*it)];
}

TIniDocument::TSection *TIniDocument::FindSection(const QString &section)
{
    return const_cast<TSection *>(std::as_const(*this).FindSection(section));
}

TIniDocument::TSection &TIniDocument::FindOrAddSection(const QString &section)
{
    if (TSection *found = FindSection(section))
        return *found;
    FSections.push_back(TSection{section, FoldName(section), {}});
    FIndex.insert(FSections.back().FoldedName, qsizetype(FSections.size() - 1));
    return FSections.back();
}

qsizetype TIniDocument::FindLine(const TSection &section, QStringView key, size_t keyHash)
{
    for (size_t i = 0; i < section.Lines.size(); ++i) {
        const TLine &line = section.Lines[i];
        if (line.IsEntry && line.KeyHash == keyHash && SameName(line.Key, key))
            return qsizetype(i);
    }
    return -1;
}

void TIniDocument::RebuildIndex()
{
    FIndex.clear();
    for (size_t i = 0; i < FSections.size(); ++i)
        if (!FIndex.contains(FSections[i].FoldedName))
            FIndex.insert(FSections[i].FoldedName, qsizetype(i));
}

QString TIniDocument::ReadString(const QString &section, const QString &key, const QString &def) const
{
    const TSection *found = FindSection(section);
    if (found == nullptr)
        return def;
    const qsizetype i = FindLine(*found, key, FoldedHash(key));
    return i < 0 ? def : found->Lines[size_t(i)].Value;
}

void TIniDocument::WriteString(const QString &section, const QString &key, const QString &value)
{
    TSection &target = FindOrAddSection(section);
    TLine line{key, value, FoldedHash(key), true};
    const qsizetype i = FindLine(target, key, line.KeyHash);
    if (i >= 0)
        target.Lines[size_t(i)] = std::move(line);
    else
        target.Lines.push_back(std::move(line));
}

int TIniDocument::ReadInteger(const QString &section, const QString &key, int def) const
{
    return int(ReadInt64Range(section, key, def, INT32_MIN, INT32_MAX));
}

void TIniDocument::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

int64_t TIniDocument::ReadInt64(const QString &section, const QString &key, int64_t def) const
{
    return ReadInt64Range(section, key, def, INT64_MIN, INT64_MAX);
}

void TIniDocument::WriteInt64(const QString &section, const QString &key, int64_t value)
{
    WriteString(section, key, QString::number(value));
}

bool TIniDocument::ReadBool(const QString &section, const QString &key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniDocument::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

int64_t TIniDocument::ReadInt64Range(const QString &section, const QString &key, int64_t def, int64_t minimum,
                                     int64_t maximum) const
{
    QString text = ReadString(section, key, QString());
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X'))
        text.replace(0, 2, u'$');
    return ParseInteger(text, minimum, maximum).value_or(def);
}

bool TIniDocument::SectionExists(const QString &section) const
{
    const TSection *found = FindSection(section);
    return found != nullptr && !found->Lines.empty();
}

bool TIniDocument::ValueExists(const QString &section, const QString &key) const
{
    const TSection *found = FindSection(section);
    return found != nullptr && FindLine(*found, key, FoldedHash(key)) >= 0;
}

void TIniDocument::EraseSection(const QString &section)
{
    const auto it = FIndex.constFind(FoldName(section));
    if (it == FIndex.cend())
        return;
    FSections.erase(FSections.begin() + *it);
    RebuildIndex();
}

void TIniDocument::EraseSectionValues(const QString &section)
{
    if (TSection *found = FindSection(section))
        found->Lines.clear();
}

void TIniDocument::DeleteKey(const QString &section, const QString &key)
{
    TSection *found = FindSection(section);
    if (found == nullptr)
        return;
    const qsizetype i = FindLine(*found, key, FoldedHash(key));
    if (i >= 0)
        found->Lines.erase(found->Lines.begin() + i);
}

QStringList TIniDocument::ReadSection(const QString &section) const
{
    QStringList keys;
    if (const TSection *found = FindSection(section)) {
        for (const TLine &line : found->Lines)
            if (line.IsEntry)
                keys.append(line.Key);
    }
    return keys;
}

QStringList TIniDocument::ReadSections() const
{
    QStringList names;
    names.reserve(qsizetype(FSections.size()));
    for (const TSection &section : FSections)
        names.append(section.Name);
    return names;
}

TUnicodeIniFile::TUnicodeIniFile(const QString &fileName, bool readOnly)
    : TIniDocument(fileName), FReadOnly(readOnly)
{
}

std::unique_ptr<TUnicodeIniFile> TUnicodeIniFile::CreateForRead(const QString &fileName)
{
    return std::unique_ptr<TUnicodeIniFile>(new TUnicodeIniFile(fileName, true));
}

std::unique_ptr<TUnicodeIniFile> TUnicodeIniFile::CreateForWrite(const QString &fileName, bool clearEntries)
{
    std::unique_ptr<TUnicodeIniFile> ini(new TUnicodeIniFile(fileName, false));
    if (clearEntries)
        ini->Clear();
    ini->SetEncoding(TEncoding::Utf16LE);
    // An existing "Encoding" entry keeps its value, whatever it says.
    if (clearEntries || !ini->SectionExists(UnicodeSection) || !ini->ValueExists(UnicodeSection, EncodingKey))
        ini->WriteString(UnicodeSection, EncodingKey, Utf16LEName);
    return ini;
}

void TUnicodeIniFile::WriteProgramInfo(const QString &key, const QString &value)
{
    WriteString(UnicodeSection, key, value);
}

void TUnicodeIniFile::UpdateFile()
{
    if (!FReadOnly)
        TIniDocument::UpdateFile();
}

void TUnicodeIniFile::Close()
{
    if (FClosed)
        return;
    FClosed = true;
    try {
        UpdateFile();
    } catch (...) {
        Clear();
        throw;
    }
    Clear();
}

TUnicodeIniFile::~TUnicodeIniFile()
{
    try {
        Close();
    } catch (const EAkError &error) {
        qWarning("%s", error.what());
    } catch (const std::exception &error) {
        qWarning("%s", error.what());
    }
}

bool ReadBoolFromIniFile(const QString &fileName, const QString &section, const QString &key, bool def)
{
    try {
        return TUnicodeIniFile::CreateForRead(fileName)->ReadBool(section, key, def);
    } catch (const EExtFileStreamError &) {
        return def;
    }
}
