#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Volumes of the running system. Linux has no drive letters: the mounted file systems, in
// mount order, take their place. A path's "drive" is the mount that holds it, its volume
// label that of the mount's block device.

// How a path's storage is reached.
enum TPathKind
{
    pkNone,      // no drive part: an empty or relative path
    pkLocal,     // a fixed disk, a RAM disk or another local file system
    pkRemovable, // a removable device (CD/DVD, card reader) or any disk attached by USB
    pkNetwork,   // a network file system (NFS, SMB, SSHFS, ...)
    pkOther      // a file system without storage of its own (proc, sysfs, ...), or none
};

// One mounted file system, as /proc/self/mountinfo lists it.
struct TMountEntry
{
    int Id = 0;
    int ParentId = 0;
    unsigned Major = 0; // the device number of the files on it
    unsigned Minor = 0;
    QString Root;       // the folder of the file system mounted here; "/" for all of it
    QString MountPoint; // absolute, without a trailing "/" except for "/" itself
    QString FsType;     // "ext4", "nfs4", "fuse.sshfs", ...
    QString Source;     // "/dev/sda1", "server:/export", "tmpfs", ...
};

// The mounted file systems in mount order, without those that a mount on the same folder
// covers.
class TMountTable
{
public:
    // The mounts this process sees; empty when /proc is not mounted.
    static TMountTable Current();
    // From the text of a mountinfo file; lines that do not parse are skipped.
    static TMountTable Parse(const QByteArray &AMountInfo);

    const QList<TMountEntry> &Entries() const { return FEntries; }
    // The mount that holds the path: the one with the longest mount point that is the path
    // or a folder above it (compared as text, so the path need not exist). nullptr for an
    // empty or relative path.
    const TMountEntry *MountOf(const QString &APath) const;

private:
    QList<TMountEntry> FEntries;
};

// The drive part of a path: the mount point of the mount that holds it, without a
// trailing "/", so that it can be put in front of "/rest"; the root file system gives
// empty text, as does an empty or relative path.
QString GetDrivePart(const QString &APath);

// The trimmed label of the volume that holds the path. False, with the translated "not
// available" as the label, when there is no such volume (relative path, a file system
// without a block device) or its label cannot be read. A volume without a label gives
// true and empty text.
bool GetVolumeLabel(const QString &APath, QString &ALabel);

// The root ("/media/usb/", "/" for the root file system) of the first mount, in mount
// order, whose volume label equals ALabel without regard to case; mounts of a whole file
// system come before mounts of one of its folders. Empty when there is none or ALabel is
// empty.
QString FindDriveByLabel(const QString &ALabel);

TPathKind GetPathKind(const QString &APath);
TPathKind GetPathKind(const TMountTable &ATable, const QString &APath);
// The kind is local or removable.
bool IsLocalDrive(const QString &APath);

// The kind of a block device from its folder in sysfs (/sys/dev/block/MAJ:MIN, links
// followed): removable when it or the disk of a partition has the "removable" flag set or
// when the device hangs below a USB controller, else local.
TPathKind BlockDeviceKind(const QString &ASysDeviceDir);
