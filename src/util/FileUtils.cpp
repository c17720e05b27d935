#include "util/FileUtils.h"

#include "config/UnicodeIniFile.h"
#include "util/Errors.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <security/pam_appl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QString kDefaultStem = QStringLiteral("History");

// Position of the last "/" of the last component's start, -1 when there is none.
qsizetype LastDelimiter(const QString &path)
{
    return path.lastIndexOf(PathDelim);
}

// Position of the extension's "." in the last component, -1 when it has none.
qsizetype ExtensionDot(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > LastDelimiter(name) ? dot : -1;
}

QString WithoutLeadingDot(const QString &ext)
{
    return ext.startsWith(u'.') ? ext.mid(1) : ext;
}

// The path without trailing delimiters, except for the root itself.
QString WithoutTrailingDelimiters(const QString &path)
{
    qsizetype length = path.size();
    while (length > 1 && path.at(length - 1) == PathDelim)
        --length;
    return path.left(length);
}

QByteArray Encoded(const QString &fileName)
{
    return QFile::encodeName(fileName);
}

} // namespace

bool SameFileName(const QString &name1, const QString &name2)
{
    return name1 == name2;
}

QString SetDirName(const QString &path)
{
    if (path.isEmpty() || path.endsWith(PathDelim))
        return path;
    return path + PathDelim;
}

QString GetFileExtension(const QString &name)
{
    const qsizetype dot = ExtensionDot(name);
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString DelExtension(const QString &name)
{
    const qsizetype dot = ExtensionDot(name);
    return dot < 0 ? name : name.left(dot);
}

QString NewExtension(const QString &name, const QString &ext)
{
    if (name.isEmpty())
        return name;
    const QString bare = WithoutLeadingDot(ext);
    const QString base = DelExtension(name);
    return bare.isEmpty() ? base : base + u'.' + bare;
}

QString AddPath(const QString &dir, const QString &name)
{
    if (dir.isEmpty())
        return name;
    if (name.isEmpty())
        return dir;
    return SetDirName(dir) + name;
}

QString MakeFileName(const QString &dir, const QString &name, const QString &ext)
{
    const QString bare = WithoutLeadingDot(ext);
    // Only the last component counts: folders such as ~/.config carry dots too.
    const bool hasDot = name.indexOf(u'.', LastDelimiter(name) + 1) >= 0;
    const QString fullName = (!hasDot && !bare.isEmpty()) ? name + u'.' + bare : name;
    if (dir.isEmpty() || IsAbsolutePath(fullName))
        return fullName;
    return SetDirName(dir) + fullName;
}

bool IsAbsolutePath(const QString &path)
{
    return path.startsWith(PathDelim);
}

QString ExpandPath(const QString &base, const QString &path)
{
    return IsAbsolutePath(path) ? path : SetDirName(base) + path;
}

QString ParentFolder(const QString &path)
{
    const QString trimmed = WithoutTrailingDelimiters(path);
    const qsizetype delim = LastDelimiter(trimmed);
    if (delim < 0)
        return trimmed;
    if (delim == 0)
        return QString(PathDelim);
    return WithoutTrailingDelimiters(trimmed.left(delim));
}

bool IsInFolder(const QString &dir, const QString &path)
{
    return !dir.isEmpty() && SetDirName(path).startsWith(SetDirName(dir));
}

QString MakeRelativePath(const QString &base, const QString &path)
{
    const QString baseDir = SetDirName(base);
    const QString pathDir = SetDirName(path);
    if (baseDir == pathDir)
        return QString();
    if (!baseDir.isEmpty() && path.startsWith(baseDir))
        return path.mid(baseDir.size());
    return path;
}

QString ExistingFolder(const QString &path, const QString &def)
{
    if (!IsAbsolutePath(path))
        return def;
    QString folder = path;
    while (!QFileInfo(folder).isDir()) {
        const QString parent = ParentFolder(folder);
        if (parent == folder)
            return def;
        folder = parent;
    }
    return folder;
}

QString ShortenPath(const QString &path, int limit)
{
    if (path.size() <= limit || limit <= 3)
        return path;
    const QString ellipsis = QStringLiteral("...");
    const QString fallback = ellipsis + path.right(limit - 3);
    const qsizetype last = path.lastIndexOf(PathDelim, path.endsWith(PathDelim) ? -2 : -1);
    if (last <= 0)
        return fallback;
    for (qsizetype c = path.lastIndexOf(PathDelim, last - 1); c >= 0;
         c = c > 0 ? path.lastIndexOf(PathDelim, c - 1) : -1) {
        const QString candidate = path.left(c + 1) + ellipsis + path.mid(last);
        if (candidate.size() <= limit)
            return candidate;
    }
    return fallback;
}

bool IsValidFileName(const QString &name)
{
    static const QString forbidden = QStringLiteral("\"*/:<>?\\|");
    for (const QChar ch : name) {
        if (ch.unicode() < 32 || forbidden.contains(ch))
            return false;
    }
    return true;
}

bool IsValidDirName(const QString &name)
{
    return name != u"." && name != u"..";
}

QString ZeroPad(int digits, int64_t value)
{
    // At least one digit: "%.0d" would print nothing for 0.
    return QString::asprintf("%.*lld", qMax(digits, 1), static_cast<long long>(value));
}

// ---- History lists ----------------------------------------------------------------------

bool ReadHistory(const TIniDocument &ini, const QString &section, const QString &stem, bool convert,
                 int maxCount, QStringList &list)
{
    if (!ini.SectionExists(section))
        return false;
    const QString keyStem = stem.isEmpty() ? kDefaultStem : stem;
    list.clear();
    for (int i = 0; i < maxCount; ++i) {
        QString value = ini.ReadString(section, keyStem + QString::number(i), QString());
        if (value.isEmpty())
            continue;
        if (convert)
            value.replace(u'#', u'"');
        list.append(value);
    }
    return true;
}

bool ReadHistory(const QString &fileName, const QString &section, const QString &stem, bool convert,
                 int maxCount, QStringList &list)
{
    try {
        const TIniDocument ini(fileName);
        return ReadHistory(ini, section, stem, convert, maxCount, list);
    } catch (const EExtFileStreamError &error) {
        qWarning().noquote() << error.Message();
        return false;
    }
}

void WriteHistory(TIniDocument &ini, const QString &section, const QString &stem, bool convert,
                  const QStringList &list, bool erase)
{
    if (erase)
        ini.EraseSection(section);
    const QString keyStem = stem.isEmpty() ? kDefaultStem : stem;
    const qsizetype count = qMin<qsizetype>(list.size(), MaxHistoryCount);
    for (qsizetype i = 0; i < count; ++i) {
        QString value = list.at(i);
        if (convert)
            value.replace(u'"', u'#');
        ini.WriteString(section, keyStem + QString::number(i), value);
    }
}

void WriteHistory(const QString &fileName, const QString &section, const QString &stem, bool convert,
                  const QStringList &list, bool erase)
{
    TIniDocument ini(fileName);
    WriteHistory(ini, section, stem, convert, list, erase);
    ini.UpdateFile();
}

void AddToHistory(QStringList &list, const QString &text, Qt::CaseSensitivity cs)
{
    if (text.isEmpty())
        return;
    qsizetype found = 0;
    while (found < list.size() && list.at(found).compare(text, cs) != 0)
        ++found;
    if (found < list.size()) {
        list.removeAt(found);
    } else {
        while (list.size() >= MaxHistoryCount)
            list.removeLast();
    }
    list.prepend(text);
}

// ---- Files and errors -------------------------------------------------------------------

QString SystemErrorMessage(int code)
{
    if ((code & ~0xff) == PamErrorFlag)
        return QString::fromLocal8Bit(pam_strerror(nullptr, code & 0xff)); // Linux-PAM needs no handle
    if (strerrorname_np(code) == nullptr)
        return QString();
    char buffer[256];
    // The GNU variant returns either buffer or a static text; both stay valid here.
    const char *text = strerror_r(code, buffer, sizeof buffer);
    return text ? QString::fromLocal8Bit(text) : QString();
}

QString SystemErrorText(int code)
{
    const QString hex = QStringLiteral("%1").arg(uint(code), 8, 16, QChar(u'0'));
    const QString text = SystemErrorMessage(code);
    if (text.isEmpty())
        return Tr("Error code") + QStringLiteral(" = 0x") + hex;
    return text + QStringLiteral(" (0x") + hex + u')';
}

TExtFileStream::TExtFileStream(const QString &fileName, TFileMode mode, mode_t permissions)
    : FFileName(fileName)
{
    int flags = O_CLOEXEC;
    switch (mode) {
    case fmCreate:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    case fmOpenRead:
        flags |= O_RDONLY;
        break;
    case fmOpenWrite:
        flags |= O_WRONLY;
        break;
    }
    do {
        FHandle = ::open(Encoded(fileName).constData(), flags, permissions);
    } while (FHandle < 0 && errno == EINTR);
    if (FHandle < 0) {
        const int code = errno;
        const char *text = mode == fmCreate ? TrNoop("Cannot create file \"%s\". %s")
                                            : TrNoop("Cannot open file \"%s\". %s");
        throw EExtFileStreamError(
            SafeFormat(Tr(text), QFileInfo(fileName).absoluteFilePath(), SystemErrorText(code)), code);
    }
}

std::unique_ptr<TExtFileStream> TExtFileStream::CreateUnique(const QString &prefix)
{
    QByteArray pattern = Encoded(prefix) + "XXXXXX";
    const int handle = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (handle < 0) {
        const int code = errno;
        throw EExtFileStreamError(SafeFormat(Tr("Cannot create file \"%s\". %s"),
                                             QFileInfo(QFile::decodeName(pattern)).absoluteFilePath(),
                                             SystemErrorText(code)),
                                  code);
    }
    return std::unique_ptr<TExtFileStream>(new TExtFileStream(QFile::decodeName(pattern), handle));
}

TExtFileStream::~TExtFileStream()
{
    Close();
}

int TExtFileStream::Read(char *buffer, int64_t count, int64_t &bytesRead)
{
    bytesRead = 0;
    ssize_t n;
    do {
        n = ::read(FHandle, buffer, size_t(count));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno;
    bytesRead = n;
    return 0;
}

int TExtFileStream::Write(const char *buffer, int64_t count, int64_t &bytesWritten)
{
    bytesWritten = 0;
    while (bytesWritten < count) {
        const ssize_t n = ::write(FHandle, buffer + bytesWritten, size_t(count - bytesWritten));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        bytesWritten += n;
    }
    return 0;
}

int TExtFileStream::Flush()
{
    return ::fsync(FHandle) == 0 ? 0 : errno;
}

int TExtFileStream::Close()
{
    if (FHandle < 0)
        return 0;
    // Linux releases the descriptor even when close fails, so it is never retried.
    const int result = ::close(FHandle) == 0 ? 0 : errno;
    FHandle = -1;
    return result == EINTR ? 0 : result;
}

namespace {

[[noreturn]] void ThrowCopyError(const char *text, const QString &fileName, int code)
{
    throw ECopyError(SafeFormat(Tr(text), fileName), code);
}

// Removes the half-written copy unless it was renamed into place.
class TTemporaryCopy
{
public:
    explicit TTemporaryCopy(std::unique_ptr<TExtFileStream> stream) : FStream(std::move(stream)) {}
    ~TTemporaryCopy()
    {
        if (FStream) {
            FStream->Close();
            ::unlink(Encoded(FStream->FileName()).constData());
        }
    }
    TExtFileStream &Stream() { return *FStream; }
    void Committed() { FStream.reset(); }

private:
    std::unique_ptr<TExtFileStream> FStream;
};

// The file a write to dest really reaches: the target of a symbolic link, else dest.
QString WriteTarget(const QString &dest)
{
    const QFileInfo info(dest);
    if (!info.isSymLink())
        return dest;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

// Hidden name of the copy under way; a name near the length limit leaves no room for more.
QString TemporaryPrefix(const QString &fileName)
{
    constexpr qsizetype kRoom = 8; // the dots and six random characters
    if (Encoded(fileName).size() + kRoom > NAME_MAX)
        return QStringLiteral(".akcopy.");
    return u'.' + fileName + u'.';
}

} // namespace

void CopyFileTS(const QString &source, const QString &dest, int attributes, int bufferSize)
{
    if (SameFileName(source, dest))
        return;
    struct stat sourceStat
    {
    };
    if (dest.isEmpty() || source.isEmpty())
        ThrowCopyError(TrNoop("File not found: \"%s\""), source, ENOENT);
    if (::stat(Encoded(source).constData(), &sourceStat) != 0)
        ThrowCopyError(TrNoop("File not found: \"%s\""), source, errno);
    // Reading a folder fails and a pipe would block forever.
    if (!S_ISREG(sourceStat.st_mode))
        ThrowCopyError(TrNoop("Error opening \"%s\""), source, S_ISDIR(sourceStat.st_mode) ? EISDIR : EINVAL);

    std::unique_ptr<TExtFileStream> input;
    try {
        input = std::make_unique<TExtFileStream>(source, TExtFileStream::fmOpenRead);
    } catch (const EExtFileStreamError &error) {
        ThrowCopyError(TrNoop("Error opening \"%s\""), source, error.ErrorCode);
    }
    // The open file's own data, in case source was replaced since the check above.
    if (::fstat(input->Handle(), &sourceStat) != 0)
        ThrowCopyError(TrNoop("Error opening \"%s\""), source, errno);

    // The same file under another name (hard link, symbolic link, "." in the path):
    // replacing dest would destroy the source.
    struct stat destStat
    {
    };
    if (::stat(Encoded(dest).constData(), &destStat) == 0 && destStat.st_dev == sourceStat.st_dev &&
        destStat.st_ino == sourceStat.st_ino)
        return;

    const QString target = WriteTarget(dest);
    const QFileInfo targetInfo(target);
    std::unique_ptr<TExtFileStream> created;
    try {
        created = TExtFileStream::CreateUnique(SetDirName(targetInfo.path()) +
                                               TemporaryPrefix(targetInfo.fileName()));
    } catch (const EExtFileStreamError &error) {
        ThrowCopyError(TrNoop("Error creating \"%s\""), dest, error.ErrorCode);
    }
    TTemporaryCopy copy(std::move(created));
    TExtFileStream &output = copy.Stream();

    std::vector<char> buffer(size_t(bufferSize > 0 ? bufferSize : DefaultCopyBufferSize));
    for (;;) {
        int64_t bytesRead = 0;
        if (const int code = input->Read(buffer.data(), int64_t(buffer.size()), bytesRead))
            ThrowCopyError(TrNoop("Error reading from \"%s\""), source, code);
        if (bytesRead == 0)
            break;
        int64_t bytesWritten = 0;
        if (const int code = output.Write(buffer.data(), bytesRead, bytesWritten))
            ThrowCopyError(TrNoop("Error writing to \"%s\""), dest, code);
    }
    input->Close();
    if (const int code = output.Flush())
        ThrowCopyError(TrNoop("Error writing to \"%s\""), dest, code);

    // A time stamp far in the future would keep the copy "newer" than anything else.
    timespec times[2] = {{0, UTIME_OMIT}, sourceStat.st_mtim};
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (qint64(sourceStat.st_mtim.tv_sec) > now + 24 * 60 * 60)
        times[1] = {0, UTIME_NOW};
    if (::futimens(output.Handle(), times) != 0)
        ThrowCopyError(TrNoop("Error setting timestamps of \"%s\""), dest, errno);
    // The source's set-id bits are not passed on: the copy belongs to whoever copies.
    const mode_t mode = attributes < 0 ? (sourceStat.st_mode & 0777) : (mode_t(attributes) & 07777);
    if (::fchmod(output.Handle(), mode) != 0)
        ThrowCopyError(TrNoop("Error setting attributes of \"%s\""), dest, errno);
    if (const int code = output.Close())
        ThrowCopyError(TrNoop("Error writing to \"%s\""), dest, code);

    if (::rename(Encoded(output.FileName()).constData(), Encoded(target).constData()) != 0)
        ThrowCopyError(TrNoop("Error creating \"%s\""), dest, errno);
    copy.Committed();
}
