#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Shared helpers for the tests.
namespace TestSupport {

// Path of a file below tests/data.
QString DataFile(const QString &name);

// Whole content of a file, or an empty array when it cannot be read.
QByteArray ReadAll(const QString &fileName);

// Writes bytes to a file (replacing it); false on failure.
bool WriteAll(const QString &fileName, const QByteArray &bytes);

// Permission bits (st_mode & 07777) of a file, -1 when it does not exist.
int FileMode(const QString &fileName);

// True when the process runs as root (some tests need it and skip otherwise).
bool IsRoot();

// A small tmpfs mounted on an existing folder for the life of the object, to make a file
// system read-only or full under a test. Needs root (CAP_SYS_ADMIN); where mounting is
// refused, Mounted() is false and Error() says why, for the test's QSKIP.
class TScratchMount
{
public:
    TScratchMount(const QString &folder, qint64 sizeBytes);
    ~TScratchMount();
    TScratchMount(const TScratchMount &) = delete;
    TScratchMount &operator=(const TScratchMount &) = delete;

    bool Mounted() const { return FMounted; }
    const QString &Error() const { return FError; }
    bool RemountReadOnly();

private:
    QByteArray FFolder;
    bool FMounted = false;
    QString FError;
};

// Runs a system tool (looked up on PATH, then in the sbin folders a test's PATH may lack)
// and waits for it; empty on success, else what went wrong with its error output.
QString RunSystemTool(const QString &AName, const QStringList &AArgs, const QByteArray &AInput = {});

// A small file system of the given type ("ext4", "vfat") with a volume label (none when
// empty), made in an image file beside the mount point and mounted there through a loop
// device for the life of the object. Needs root, the type's mkfs tool and the kernel's
// support for the type; otherwise Mounted() is false and Error() says why, for the test's
// QSKIP.
class TLoopMount
{
public:
    TLoopMount(const QString &AMountPoint, const QString &AFsType, const QString &ALabel);
    // Unmounts (lazily when the file system is busy) and removes the image.
    ~TLoopMount();
    TLoopMount(const TLoopMount &) = delete;
    TLoopMount &operator=(const TLoopMount &) = delete;

    bool Mounted() const { return FMounted; }
    const QString &Error() const { return FError; }
    const QString &MountPoint() const { return FMountPoint; }

private:
    QString FMountPoint;
    QString FImage;
    bool FMounted = false;
    QString FError;
};

} // namespace TestSupport
