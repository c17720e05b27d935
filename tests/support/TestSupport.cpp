#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TestSupport {

QString DataFile(const QString &name)
{
    return QStringLiteral(AK_TEST_SUPPORT_DATA_DIR "/") + name;
}

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
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

bool IsRoot()
{
    return ::geteuid() == 0;
}

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

QString RunSystemTool(const QString &AName, const QStringList &AArgs, const QByteArray &AInput)
{
    QString program = QStandardPaths::findExecutable(AName);
    if (program.isEmpty())
        program =
            QStandardPaths::findExecutable(AName, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (program.isEmpty())
        return AName + QStringLiteral(" not found");
    QProcess process;
    process.start(program, AArgs);
    if (!process.waitForStarted(10000))
        return AName + QStringLiteral(": ") + process.errorString();
    process.write(AInput);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return AName + QStringLiteral(" did not finish");
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return AName + QStringLiteral(" failed: ") +
               QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    return {};
}

TLoopMount::TLoopMount(const QString &AMountPoint, const QString &AFsType, const QString &ALabel)
    : FMountPoint(AMountPoint)
{
    // Numbered, so that volumes can be stacked on one folder.
    static int images = 0;
    FImage = AMountPoint + QStringLiteral(".%1.img").arg(++images);
    if (!IsRoot()) {
        FError = QStringLiteral("mounting a loop device needs root");
        return;
    }
    QFile image(FImage);
    if (!QDir().mkpath(FMountPoint) || !image.open(QIODevice::WriteOnly) || !image.resize(8 * 1024 * 1024)) {
        FError = QStringLiteral("cannot create ") + FImage;
        return;
    }
    image.close();
    QStringList mkfsArgs;
    if (AFsType == QLatin1String("vfat"))
        mkfsArgs << QStringLiteral("-n");
    else
        mkfsArgs << QStringLiteral("-q") << QStringLiteral("-L");
    mkfsArgs << ALabel << FImage;
    if (ALabel.isEmpty())
        mkfsArgs.remove(mkfsArgs.size() - 3, 2);
    FError = RunSystemTool(QStringLiteral("mkfs.") + AFsType, mkfsArgs);
    if (FError.isEmpty())
        FError = RunSystemTool(QStringLiteral("mount"),
                               {QStringLiteral("-o"), QStringLiteral("loop"), FImage, FMountPoint});
    FMounted = FError.isEmpty();
}

TLoopMount::~TLoopMount()
{
    // The loop device was set up to free itself when the file system is unmounted.
    if (FMounted && !RunSystemTool(QStringLiteral("umount"), {FMountPoint}).isEmpty())
        RunSystemTool(QStringLiteral("umount"), {QStringLiteral("-l"), FMountPoint});
    QFile::remove(FImage);
}

} // namespace TestSupport
