#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <sys/types.h>

class TIniDocument;

// The one path delimiter of the program's paths.
inline constexpr QChar PathDelim = u'/';

// File names compare case-sensitively: two files may differ only in case.
bool SameFileName(const QString &name1, const QString &name2);

// ---- Path names -------------------------------------------------------------------------

// Empty stays empty; otherwise the path with a trailing "/" added when missing.
QString SetDirName(const QString &path);
// Text after the last "." of the last component, without the "."; empty when that
// component has no ".".
QString GetFileExtension(const QString &name);
// The name without its extension (from the last "." of the last component).
QString DelExtension(const QString &name);
// Empty name: empty. Otherwise the name without extension, then "." + ext when ext (a
// leading "." ignored) is not empty.
QString NewExtension(const QString &name, const QString &ext);
// name when dir is empty, dir when name is empty, else SetDirName(dir) + name.
QString AddPath(const QString &dir, const QString &name);
// name (with "." + ext when its last component has no "." and ext is not empty), placed
// in dir unless it is absolute or dir is empty.
QString MakeFileName(const QString &dir, const QString &name, const QString &ext);
// Not empty and beginning with "/".
bool IsAbsolutePath(const QString &path);
// path when it is absolute, else SetDirName(base) + path.
QString ExpandPath(const QString &base, const QString &path);
// The folder above path (trailing "/" ignored): "/" for "/" and for "/name"; a name
// without any "/" is its own parent, which ends every walk upwards.
QString ParentFolder(const QString &path);
// dir not empty and SetDirName(path) beginning with SetDirName(dir).
bool IsInFolder(const QString &dir, const QString &path);
// Empty when both name the same folder; path relative to base when it lies inside base;
// otherwise path unchanged.
QString MakeRelativePath(const QString &base, const QString &path);
// def for an empty or relative path; otherwise path when that folder exists, else the
// nearest existing folder above it.
QString ExistingFolder(const QString &path, const QString &def);
// Fits a path into limit characters for display by replacing folders in the middle by
// "..." (or, when that is not enough, the beginning). A path of at most limit characters,
// or a limit of 3 or less (no room for the ellipsis), is returned unchanged; any other
// result is at most limit characters long.
QString ShortenPath(const QString &path, int limit);
// True for the empty name; false when it holds a control character or one of " * / : < >
// ? \ | (such names break command lines, launchers and other tools).
bool IsValidFileName(const QString &name);
// False for "." and "..", else true.
bool IsValidDirName(const QString &name);

// The decimal value with at least digits digits, zero-padded ("%.*d").
QString ZeroPad(int digits, int64_t value);

// ---- History lists in INI files ---------------------------------------------------------

// Most entries a history list keeps and writes.
inline constexpr int MaxHistoryCount = 50;

// When the section has lines: clears list and fills it with the non-empty values of the
// keys stem + "0" ... stem + (maxCount - 1) ("History" for an empty stem); with convert
// every "#" becomes a double quote. Returns false and leaves list unchanged when the
// section is missing.
bool ReadHistory(const TIniDocument &ini, const QString &section, const QString &stem, bool convert,
                 int maxCount, QStringList &list);
// The same on a file opened as a plain document. A file that cannot be read leaves the
// list unchanged as well (reported with qWarning): a history only offers suggestions.
bool ReadHistory(const QString &fileName, const QString &section, const QString &stem, bool convert,
                 int maxCount, QStringList &list);
// Writes the first MaxHistoryCount entries under stem + index from 0 ("History" for an
// empty stem), erasing the section first when erase is set; with convert every double
// quote becomes "#".
void WriteHistory(TIniDocument &ini, const QString &section, const QString &stem, bool convert,
                  const QStringList &list, bool erase);
// The same on a file opened as a plain document, saved at once in its own encoding.
// Throws EExtFileStreamError when the existing file cannot be read (it is then left as
// it is) and EIniWriteError when it cannot be saved.
void WriteHistory(const QString &fileName, const QString &section, const QString &stem, bool convert,
                  const QStringList &list, bool erase);
// Puts text at the top: an equal entry moves there and takes the new text, a new one is
// inserted after the last entry was dropped from a full list. Nothing for an empty text.
// Case-insensitive by default (addresses, server and user names keep one entry whatever
// their case); lists of file names pass Qt::CaseSensitive.
void AddToHistory(QStringList &list, const QString &text, Qt::CaseSensitivity cs = Qt::CaseInsensitive);

// ---- Files and errors -------------------------------------------------------------------

inline constexpr int DefaultCopyBufferSize = 64 * 1024;

// Copies source to dest with its content, last-write time and permission bits (those of
// the source for attributes < 0, else the given mode bits). The copy is written next to
// dest and renamed over it, so on any failure an existing dest stays as it was. Nothing
// happens when source and dest are the same file. Throws ECopyError with the errno value.
void CopyFileTS(const QString &source, const QString &dest, int attributes = -1,
                int bufferSize = DefaultCopyBufferSize);

// Authentication failures carry PAM's own code with this flag, far above any errno value.
inline constexpr int PamErrorFlag = 0x10000000;

// The system's text alone for an errno value or a PamErrorFlag code (PAM's text); empty
// when there is none.
QString SystemErrorMessage(int code);

// The system's text for an errno value followed by " (0x%.8x)", or "Error code = 0x%.8x"
// for a value the system has no text for.
QString SystemErrorText(int code);

// A file opened for reading or writing. Creating or opening it throws EExtFileStreamError
// with the system's error text and errno; reads and writes return the errno instead
// (0 on success).
class TExtFileStream
{
public:
    enum TFileMode
    {
        fmCreate,
        fmOpenRead,
        fmOpenWrite
    };

    // fmCreate creates or truncates the file with the given permissions (less the umask).
    TExtFileStream(const QString &fileName, TFileMode mode, mode_t permissions = 0666);
    // Creates a new file whose name is prefix followed by six random characters (mode 0600).
    static std::unique_ptr<TExtFileStream> CreateUnique(const QString &prefix);
    ~TExtFileStream();

    TExtFileStream(const TExtFileStream &) = delete;
    TExtFileStream &operator=(const TExtFileStream &) = delete;

    const QString &FileName() const { return FFileName; }
    int Handle() const { return FHandle; }

    // Reads up to count bytes; bytesRead is 0 at the end of the file.
    int Read(char *buffer, int64_t count, int64_t &bytesRead);
    // Writes all count bytes; ENOSPC when the device takes fewer than asked.
    int Write(const char *buffer, int64_t count, int64_t &bytesWritten);
    // Flushes the content to the device.
    int Flush();
    // Closes the file (once); a write error the system only reports now is returned too.
    int Close();

private:
    TExtFileStream(const QString &fileName, int handle) : FFileName(fileName), FHandle(handle) {}

    QString FFileName;
    int FHandle = -1;
};
