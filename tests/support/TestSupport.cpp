#include "support/TestSupport.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TestSupport {

QString DataFile(const QString &name) { return QStringLiteral(AK_TEST_SUPPORT_DATA_DIR "/") + name; }

QByteArray ReadAll(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteAll(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

int FileMode(const QString &fileName)
{
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

bool IsRoot() { return ::geteuid() == 0; }

TScratchMount::TScratchMount(const QString &folder, qint64 sizeBytes) : FFolder(QFile::encodeName(folder))
{
    const QByteArray options = "size=" + QByteArray::number(sizeBytes) + ",mode=0755";
    FMounted = ::mount("tmpfs", FFolder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
    if (!FMounted)
        FError = QStringLiteral("cannot mount a tmpfs: ") + QString::fromLocal8Bit(strerror(errno));
}

TScratchMount::~TScratchMount()
{
    if (FMounted)
        ::umount2(FFolder.constData(), MNT_DETACH);
}

bool TScratchMount::RemountReadOnly()
{
    return FMounted && ::mount(nullptr, FFolder.constData(), nullptr,
                               MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
}

} // namespace TestSupport
