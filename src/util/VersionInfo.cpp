#include "util/VersionInfo.h"

#include "util/StrUtils.h"

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {

// A block is a handful of short lines; anything longer is not one.
constexpr qsizetype kMaxBlockSize = 16 * 1024;

// Built at run time so that the reader's own copy of the marker never lies in the binary
// as one piece that a scan of this very program could find.
QByteArray Marker()
{
    QByteArray marker("AKVERSIONBLOCK\n");
    marker.prepend('\x7f');
    return marker;
}

bool IsKeyChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Stores the value of a known key; unknown keys are allowed for later additions.
void StoreValue(TFileVersionInfo &info, QByteArrayView key, QByteArrayView value)
{
    QString *target = nullptr;
    if (key == "CompanyName")
        target = &info.Company;
    else if (key == "FileDescription")
        target = &info.Description;
    else if (key == "FileVersion")
        target = &info.Version;
    else if (key == "InternalName")
        target = &info.InternalName;
    else if (key == "LegalCopyright")
        target = &info.Copyright;
    else if (key == "Comments")
        target = &info.Comments;
    if (target && target->isEmpty())
        *target = TrimRightBlanks(QString::fromUtf8(value));
}

// Parses the lines after a marker; empty unless they form a complete block with at least
// one "Key=Value" line and the closing empty line.
std::optional<TFileVersionInfo> ParseBlock(QByteArrayView data)
{
    data = data.first(std::min(data.size(), kMaxBlockSize));
    TFileVersionInfo info;
    qsizetype pos = 0;
    int lines = 0;
    while (pos < data.size()) {
        if (data[pos] == '\n')
            return lines > 0 ? std::optional(info) : std::nullopt;
        const qsizetype end = data.indexOf('\n', pos);
        if (end < 0)
            return std::nullopt;
        const QByteArrayView line = data.sliced(pos, end - pos);
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            return std::nullopt;
        const QByteArrayView key = line.first(equals);
        const QByteArrayView value = line.sliced(equals + 1);
        for (const char c : key) {
            if (!IsKeyChar(c))
                return std::nullopt;
        }
        for (const char c : value) {
            if (uchar(c) < 0x20 && c != '\t' && c != '\r')
                return std::nullopt;
        }
        StoreValue(info, key, value);
        ++lines;
        pos = end + 1;
    }
    return std::nullopt;
}

} // namespace

std::optional<TFileVersionInfo> ReadVersionInfo(const QString &fileName)
{
    // Only regular files: opening a FIFO would block, a device may never end.
    if (!QFileInfo(fileName).isFile())
        return std::nullopt;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0)
        return std::nullopt;
    const qint64 size = file.size();
    const uchar *mapped = file.map(0, size);
    if (!mapped)
        return std::nullopt;

    const QByteArrayView data(reinterpret_cast<const char *>(mapped), qsizetype(size));
    const QByteArray marker = Marker();
    for (qsizetype from = 0; from < data.size();) {
        const void *hit =
            memmem(data.data() + from, size_t(data.size() - from), marker.constData(), size_t(marker.size()));
        if (!hit)
            break;
        const qsizetype at = static_cast<const char *>(hit) - data.data();
        if (auto info = ParseBlock(data.sliced(at + marker.size())))
            return info;
        from = at + 1;
    }
    return std::nullopt;
}

QString GetFileVersionText(const QString &fileName, const QString &def)
{
    const std::optional<TFileVersionInfo> info = ReadVersionInfo(fileName);
    if (!info || info->Version.isEmpty())
        return def;
    const qsizetype dot = info->Version.lastIndexOf(u'.');
    return dot < 0 ? info->Version : info->Version.left(dot);
}
