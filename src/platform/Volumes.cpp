#include "platform/Volumes.h"

#include "util/FileUtils.h"
#include "util/Translate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <blkid/blkid.h>

#include <algorithm>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

// File-system types reached over the network. FUSE file systems carry their program's
// name after "fuse.".
bool IsNetworkFsType(const QString &AType)
{
    static const QStringList types = {
        QStringLiteral("nfs"),         QStringLiteral("nfs4"),       QStringLiteral("cifs"),
        QStringLiteral("smb3"),        QStringLiteral("smbfs"),      QStringLiteral("ncpfs"),
        QStringLiteral("afs"),         QStringLiteral("ceph"),       QStringLiteral("glusterfs"),
        QStringLiteral("9p"),          QStringLiteral("davfs"),      QStringLiteral("lustre"),
        QStringLiteral("sshfs"),       QStringLiteral("fuse.sshfs"), QStringLiteral("fuse.glusterfs"),
        QStringLiteral("fuse.rclone"), QStringLiteral("fuse.s3fs"),  QStringLiteral("fuse.curlftpfs"),
        QStringLiteral("fuse.davfs2"), QStringLiteral("fuse.ceph"),
    };
    return types.contains(AType);
}

// File systems that hold no files of their own: kernel interfaces and automounters.
bool IsPseudoFsType(const QString &AType)
{
    static const QStringList types = {
        QStringLiteral("proc"),        QStringLiteral("sysfs"),      QStringLiteral("devtmpfs"),
        QStringLiteral("devpts"),      QStringLiteral("cgroup"),     QStringLiteral("cgroup2"),
        QStringLiteral("mqueue"),      QStringLiteral("debugfs"),    QStringLiteral("tracefs"),
        QStringLiteral("securityfs"),  QStringLiteral("pstore"),     QStringLiteral("bpf"),
        QStringLiteral("configfs"),    QStringLiteral("fusectl"),    QStringLiteral("hugetlbfs"),
        QStringLiteral("binfmt_misc"), QStringLiteral("autofs"),     QStringLiteral("efivarfs"),
        QStringLiteral("nsfs"),        QStringLiteral("rpc_pipefs"), QStringLiteral("selinuxfs"),
    };
    return types.contains(AType);
}

// mountinfo writes blanks, tabs, line feeds and backslashes in paths as "\ooo".
QString UnescapeMountField(const QByteArray &AField)
{
    QByteArray bytes;
    bytes.reserve(AField.size());
    for (qsizetype i = 0; i < AField.size(); ++i) {
        const auto isOctal = [&](qsizetype k) {
            return k < AField.size() && AField[k] >= '0' && AField[k] <= '7';
        };
        if (AField[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            bytes +=
                char(((AField[i + 1] - '0') << 6) | ((AField[i + 2] - '0') << 3) | (AField[i + 3] - '0'));
            i += 3;
        } else {
            bytes += AField[i];
        }
    }
    return QFile::decodeName(bytes);
}

std::optional<TMountEntry> ParseMountLine(const QByteArray &ALine)
{
    const QList<QByteArray> fields = ALine.split(' ');
    const qsizetype separator = fields.indexOf("-", 6);
    if (fields.size() < 10 || separator < 0 || separator + 2 >= fields.size())
        return std::nullopt;
    const QList<QByteArray> device = fields[2].split(':');
    bool ok[4] = {};
    TMountEntry entry;
    entry.Id = fields[0].toInt(&ok[0]);
    entry.ParentId = fields[1].toInt(&ok[1]);
    if (device.size() == 2) {
        entry.Major = device[0].toUInt(&ok[2]);
        entry.Minor = device[1].toUInt(&ok[3]);
    }
    if (!(ok[0] && ok[1] && ok[2] && ok[3]))
        return std::nullopt;
    entry.Root = UnescapeMountField(fields[3]);
    entry.MountPoint = UnescapeMountField(fields[4]);
    entry.FsType = UnescapeMountField(fields[separator + 1]);
    entry.Source = UnescapeMountField(fields[separator + 2]);
    if (!IsAbsolutePath(entry.MountPoint))
        return std::nullopt;
    return entry;
}

// The block device that holds the mount's files, if it has one. The source names it
// for most file systems; btrfs and the like report an anonymous device number instead.
std::optional<dev_t> BlockDeviceOf(const TMountEntry &AEntry)
{
    struct stat st = {};
    if (IsAbsolutePath(AEntry.Source) && ::stat(QFile::encodeName(AEntry.Source).constData(), &st) == 0 &&
        S_ISBLK(st.st_mode))
        return st.st_rdev;
    if (AEntry.Major != 0 &&
        QFileInfo::exists(QStringLiteral("/sys/dev/block/%1:%2").arg(AEntry.Major).arg(AEntry.Minor)))
        return makedev(AEntry.Major, AEntry.Minor);
    return std::nullopt;
}

QString SysBlockDir(dev_t ADevice)
{
    return QStringLiteral("/sys/dev/block/%1:%2").arg(major(ADevice)).arg(minor(ADevice));
}

bool IsBlockDevice(const QString &ANode, dev_t ADevice)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(ANode).constData(), &st) == 0 && S_ISBLK(st.st_mode) &&
           st.st_rdev == ADevice;
}

// The device node to probe: the mount's source when it is that device, else the name the
// kernel gives the device in sysfs.
QString DeviceNode(const TMountEntry &AEntry, dev_t ADevice)
{
    if (IsBlockDevice(AEntry.Source, ADevice))
        return AEntry.Source;
    QFile uevent(SysBlockDir(ADevice) + QStringLiteral("/uevent"));
    if (uevent.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : uevent.readAll().split('\n')) {
            if (line.startsWith("DEVNAME=")) {
                const QString node = QStringLiteral("/dev/") + QFile::decodeName(line.mid(8));
                if (IsBlockDevice(node, ADevice))
                    return node;
            }
        }
    }
    return QString();
}

// Reads the label from the file system's superblock. Empty text for a file system
// without a label; nothing when the device cannot be read (ordinary users usually may not).
std::optional<QString> ProbeLabel(const QString &ANode)
{
    blkid_probe probe = blkid_new_probe_from_filename(QFile::encodeName(ANode).constData());
    if (!probe)
        return std::nullopt;
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
    std::optional<QString> label;
    if (blkid_do_safeprobe(probe) == 0) {
        const char *value = nullptr;
        label = blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0 && value
                    ? QString::fromUtf8(value)
                    : QString();
    }
    blkid_free_probe(probe);
    return label;
}

// udev's names in /dev/disk/by-label write unsafe characters as "\xHH".
QString UnescapeUdevName(const QString &AName)
{
    const QByteArray name = QFile::encodeName(AName);
    QByteArray bytes;
    for (qsizetype i = 0; i < name.size(); ++i) {
        bool ok = false;
        const int value = name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x'
                              ? name.mid(i + 2, 2).toInt(&ok, 16)
                              : 0;
        if (ok) {
            bytes += char(value);
            i += 3;
        } else {
            bytes += name[i];
        }
    }
    return QString::fromUtf8(bytes);
}

// Where udev runs, its links tell the labels of devices that only root may read.
std::optional<QString> LabelFromUdev(dev_t ADevice)
{
    const QDir dir(QStringLiteral("/dev/disk/by-label"));
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (IsBlockDevice(dir.filePath(name), ADevice))
            return UnescapeUdevName(name);
    }
    return std::nullopt;
}

std::optional<QString> LabelOfDevice(const TMountEntry &AEntry, dev_t ADevice)
{
    const QString node = DeviceNode(AEntry, ADevice);
    std::optional<QString> label = node.isEmpty() ? std::nullopt : ProbeLabel(node);
    if (!label)
        label = LabelFromUdev(ADevice);
    if (label)
        *label = label->trimmed();
    return label;
}

} // namespace

TMountTable TMountTable::Current()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return TMountTable();
    return Parse(file.readAll());
}

TMountTable TMountTable::Parse(const QByteArray &AMountInfo)
{
    QList<TMountEntry> all;
    for (const QByteArray &line : AMountInfo.split('\n')) {
        if (std::optional<TMountEntry> entry = ParseMountLine(line))
            all.append(std::move(*entry));
    }
    // A mount on a folder that already is a mount point is a child of the mount it covers.
    QHash<int, qsizetype> byId;
    for (qsizetype i = 0; i < all.size(); ++i)
        byId.insert(all[i].Id, i);
    QList<bool> covered(all.size(), false);
    for (const TMountEntry &entry : all) {
        const auto parent = byId.constFind(entry.ParentId);
        if (parent != byId.cend() && entry.ParentId != entry.Id &&
            all[*parent].MountPoint == entry.MountPoint)
            covered[*parent] = true;
    }
    TMountTable table;
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (!covered[i])
            table.FEntries.append(all[i]);
    }
    return table;
}

const TMountEntry *TMountTable::MountOf(const QString &APath) const
{
    if (!IsAbsolutePath(APath))
        return nullptr;
    const QString path = QDir::cleanPath(APath);
    const TMountEntry *best = nullptr;
    for (const TMountEntry &entry : FEntries) {
        const QString &point = entry.MountPoint;
        const bool holds = point == QLatin1String("/") || path == point ||
                           (path.startsWith(point) && path.at(point.size()) == PathDelim);
        if (holds && (!best || point.size() >= best->MountPoint.size()))
            best = &entry;
    }
    return best;
}

QString GetDrivePart(const QString &APath)
{
    const TMountTable table = TMountTable::Current();
    const TMountEntry *entry = table.MountOf(APath);
    return !entry || entry->MountPoint == QLatin1String("/") ? QString() : entry->MountPoint;
}

bool GetVolumeLabel(const QString &APath, QString &ALabel)
{
    const TMountTable table = TMountTable::Current();
    const TMountEntry *entry = table.MountOf(APath);
    const std::optional<dev_t> device = entry ? BlockDeviceOf(*entry) : std::nullopt;
    const std::optional<QString> label = device ? LabelOfDevice(*entry, *device) : std::nullopt;
    ALabel = label ? *label : Tr("not available");
    return label.has_value();
}

QString FindDriveByLabel(const QString &ALabel)
{
    if (ALabel.isEmpty())
        return QString();
    const TMountTable table = TMountTable::Current();
    // A device mounted more than once is read once.
    QHash<dev_t, std::optional<QString>> labels;
    for (const bool wholeFileSystem : {true, false}) {
        for (const TMountEntry &entry : table.Entries()) {
            if ((entry.Root == QLatin1String("/")) != wholeFileSystem)
                continue;
            const std::optional<dev_t> device = BlockDeviceOf(entry);
            if (!device)
                continue;
            if (!labels.contains(*device))
                labels.insert(*device, LabelOfDevice(entry, *device));
            const std::optional<QString> &label = labels[*device];
            if (label && label->compare(ALabel, Qt::CaseInsensitive) == 0)
                return SetDirName(entry.MountPoint);
        }
    }
    return QString();
}

TPathKind BlockDeviceKind(const QString &ASysDeviceDir)
{
    QString dir = QFileInfo(ASysDeviceDir).canonicalFilePath();
    if (dir.isEmpty())
        dir = ASysDeviceDir;
    const auto flagSet = [](const QString &AFile) {
        QFile file(AFile);
        return file.open(QIODevice::ReadOnly) && file.read(16).trimmed() == "1";
    };
    // A partition has no flag of its own; its disk is the folder above it.
    if (flagSet(dir + QStringLiteral("/removable")) ||
        (QFileInfo::exists(dir + QStringLiteral("/partition")) &&
         flagSet(ParentFolder(dir) + QStringLiteral("/removable"))))
        return pkRemovable;
    // USB controllers appear in the device path as "usb1", "usb2", ...
    for (const QString &part : dir.split(PathDelim)) {
        if (part.size() > 3 && part.startsWith(QLatin1String("usb")) &&
            std::all_of(part.begin() + 3, part.end(), [](QChar c) { return c.isDigit(); }))
            return pkRemovable;
    }
    return pkLocal;
}

TPathKind GetPathKind(const TMountTable &ATable, const QString &APath)
{
    if (!IsAbsolutePath(APath))
        return pkNone;
    const TMountEntry *entry = ATable.MountOf(APath);
    if (!entry)
        return pkOther;
    if (IsNetworkFsType(entry->FsType))
        return pkNetwork;
    if (IsPseudoFsType(entry->FsType))
        return pkOther;
    if (const std::optional<dev_t> device = BlockDeviceOf(*entry))
        return BlockDeviceKind(SysBlockDir(*device));
    // tmpfs and ramfs are RAM disks; overlay, ZFS and FUSE file systems hold local files.
    return pkLocal;
}

TPathKind GetPathKind(const QString &APath)
{
    return GetPathKind(TMountTable::Current(), APath);
}

bool IsLocalDrive(const QString &APath)
{
    const TPathKind kind = GetPathKind(APath);
    return kind == pkLocal || kind == pkRemovable;
}
