#include "platform/Volumes.h"

#include "backup/Placeholders.h"
#include "support/TestSupport.h"
#include "util/Translate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Mount lines as the kernel writes them, with a line that is none, a blank escaped in a
// folder name and a mount (45) on the folder of another (44), which it covers.
const QByteArray MountInfo = R"(21 27 0:20 / /proc rw,relatime - proc proc rw
27 1 254:0 / / rw,relatime - ext4 /dev/vda rw
40 27 0:40 / /mnt/nfs rw shared:5 - nfs4 server:/export rw,vers=4.2
41 27 0:41 / /mnt/smb rw - cifs //server/share rw
42 27 0:42 / /mnt/ssh rw - fuse.sshfs user@host:/home rw
43 27 7:0 / /media/my\040disk rw master:1 - ext4 /dev/loop0 rw
44 27 7:1 / /media/covered rw - ext4 /dev/loop1 rw
45 44 7:2 / /media/covered rw - ext4 /dev/loop2 rw
46 27 7:3 / /media/ab rw - ext4 /dev/loop3 rw
not a mount line
47 27 0:50 /sub /run/tmp rw - tmpfs tmpfs rw
)";

} // namespace

class TestVolumes final : public QObject
{
    Q_OBJECT

    QTemporaryDir FDir;
    int FMounts = 0;

    // A label no other volume of the machine carries.
    static QString UniqueLabel(const QString &stem)
    {
        return stem + QString::number(QCoreApplication::applicationPid() % 100000);
    }

    // A labelled file system mounted on a folder of the test's own, whose name has a
    // blank (mountinfo escapes it); the test is skipped where that cannot be done.
    std::unique_ptr<TestSupport::TLoopMount> Mount(const QString &fsType, const QString &label,
                                                   const QString &folder = QString())
    {
        const QString mountPoint =
            folder.isEmpty() ? FDir.filePath(QStringLiteral("mount point %1").arg(++FMounts)) : folder;
        return std::make_unique<TestSupport::TLoopMount>(mountPoint, fsType, label);
    }

private slots:
    void initTestCase() { QVERIFY(FDir.isValid()); }

    // ---- The mount table --------------------------------------------------------------

    void mountHoldingAPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("source"); // of the mount found; empty for none

        QTest::newRow("below a mount") << "/proc/self/status"
                                       << "proc";
        QTest::newRow("the mount point itself") << "/media/ab"
                                                << "/dev/loop3";
        QTest::newRow("the root file system") << "/home/x"
                                              << "/dev/vda";
        QTest::newRow("a name that begins like a mount point") << "/media/abc/x"
                                                               << "/dev/vda";
        QTest::newRow("an escaped blank") << "/media/my disk/Backup"
                                          << "/dev/loop0";
        QTest::newRow("the covering mount") << "/media/covered/x"
                                            << "/dev/loop2";
        QTest::newRow("folders named by ..") << "/media/ab/../my disk/x"
                                             << "/dev/loop0";
        QTest::newRow("relative path") << "media/ab"
                                       << "";
        QTest::newRow("empty path") << ""
                                    << "";
    }

    void mountHoldingAPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, source);
        const TMountTable table = TMountTable::Parse(MountInfo);
        const TMountEntry *entry = table.MountOf(path);
        QCOMPARE(entry ? entry->Source : QString(), source);
    }

    void coveredMountsAndOtherLinesAreLeftOut()
    {
        const TMountTable table = TMountTable::Parse(MountInfo);
        QStringList points;
        for (const TMountEntry &entry : table.Entries())
            points << entry.MountPoint;
        QCOMPARE(points, QStringList({"/proc", "/", "/mnt/nfs", "/mnt/smb", "/mnt/ssh", "/media/my disk",
                                      "/media/covered", "/media/ab", "/run/tmp"}));
        const TMountEntry &last = table.Entries().last();
        QCOMPARE(last.Root, QStringLiteral("/sub"));
        QCOMPARE(last.FsType, QStringLiteral("tmpfs"));
        QCOMPARE(last.Major, 0u);
        QCOMPARE(last.Minor, 50u);
    }

    void kindsByFileSystemType_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("kind");

        QTest::newRow("NFS") << "/mnt/nfs/backup" << int(pkNetwork);
        QTest::newRow("SMB") << "/mnt/smb" << int(pkNetwork);
        QTest::newRow("SSHFS") << "/mnt/ssh/a" << int(pkNetwork);
        QTest::newRow("proc") << "/proc/1" << int(pkOther);
        QTest::newRow("RAM disk") << "/run/tmp/x" << int(pkLocal);
        QTest::newRow("relative path") << "backup/x" << int(pkNone);
        QTest::newRow("empty path") << "" << int(pkNone);
        QTest::newRow("volume-labelled path") << ":Backup:/x" << int(pkNone);
    }

    void kindsByFileSystemType()
    {
        QFETCH(QString, path);
        QFETCH(int, kind);
        QCOMPARE(int(GetPathKind(TMountTable::Parse(MountInfo), path)), kind);
    }

    void nothingMountedIsOther()
    {
        QCOMPARE(int(GetPathKind(TMountTable(), QStringLiteral("/x"))), int(pkOther));
    }

    // A folder tree laid out as sysfs lays out block devices.
    void blockDeviceKinds_data()
    {
        QTest::addColumn<QString>("device"); // below devices/
        QTest::addColumn<bool>("partition");
        QTest::addColumn<QByteArray>("removable"); // the disk's flag
        QTest::addColumn<int>("kind");

        const QString ata = QStringLiteral("pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/");
        const QString usb =
            QStringLiteral("pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/");
        QTest::newRow("fixed disk") << ata + "sda" << false << QByteArray("0\n") << int(pkLocal);
        QTest::newRow("partition of a fixed disk")
            << ata + "sda/sda1" << true << QByteArray("0\n") << int(pkLocal);
        QTest::newRow("removable disk") << ata + "sdc" << false << QByteArray("1\n") << int(pkRemovable);
        QTest::newRow("partition of a removable disk")
            << ata + "sdc/sdc1" << true << QByteArray("1\n") << int(pkRemovable);
        QTest::newRow("disk attached by USB")
            << usb + "sdb/sdb1" << true << QByteArray("0\n") << int(pkRemovable);
        QTest::newRow("a folder merely named usb")
            << "virtual/usbmisc/block/sdd" << false << QByteArray("0\n") << int(pkLocal);
    }

    void blockDeviceKinds()
    {
        QFETCH(QString, device);
        QFETCH(bool, partition);
        QFETCH(QByteArray, removable);
        QFETCH(int, kind);
        QTemporaryDir sys;
        const QString dir = sys.filePath(QStringLiteral("devices/") + device);
        QVERIFY(QDir().mkpath(dir));
        if (partition)
            QVERIFY(TestSupport::WriteAll(dir + QStringLiteral("/partition"), "1\n"));
        QVERIFY(TestSupport::WriteAll(
            (partition ? dir + QStringLiteral("/..") : dir) + QStringLiteral("/removable"), removable));
        // Callers pass the link in dev/block, as the kernel offers it.
        QVERIFY(QDir().mkpath(sys.filePath(QStringLiteral("dev/block"))));
        const QString link = sys.filePath(QStringLiteral("dev/block/8:1"));
        QVERIFY(QFile::link(dir, link));
        QCOMPARE(int(BlockDeviceKind(link)), kind);
    }

    // ---- Labels of real volumes -------------------------------------------------------

    void labels_data()
    {
        QTest::addColumn<QString>("fsType");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("expected");

        QTest::newRow("ext4") << "ext4" << UniqueLabel("Ak V") << UniqueLabel("Ak V");
        QTest::newRow("ext4 without a label") << "ext4"
                                              << ""
                                              << "";
        QTest::newRow("blanks around the label") << "ext4"
                                                 << " " + UniqueLabel("AkT") + "  " << UniqueLabel("AkT");
        QTest::newRow("FAT") << "vfat" << UniqueLabel("AKF") << UniqueLabel("AKF");
    }

    void labels()
    {
        QFETCH(QString, fsType);
        QFETCH(QString, label);
        QFETCH(QString, expected);
        const auto volume = Mount(fsType, label);
        if (!volume->Mounted())
            QSKIP(qPrintable(volume->Error()));
        const QString inside = volume->MountPoint() + QStringLiteral("/Backup/x");

        QString read;
        QVERIFY(GetVolumeLabel(inside, read));
        QCOMPARE(read, expected);
        QCOMPARE(GetDrivePart(inside), volume->MountPoint());
        // Loop devices are neither removable nor attached by USB.
        QCOMPARE(int(GetPathKind(inside)), int(pkLocal));
        QVERIFY(IsLocalDrive(inside));
        if (!expected.isEmpty()) {
            QCOMPARE(FindDriveByLabel(expected.toLower()), volume->MountPoint() + u'/');
            QCOMPARE(FindDriveByLabel(expected.toUpper()), volume->MountPoint() + u'/');
        }
    }

    void labelsThatCannotBeRead_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("file system without a device") << "/proc/self";
        QTest::newRow("relative path") << "backup/x";
        QTest::newRow("empty path") << "";
    }

    void labelsThatCannotBeRead()
    {
        QFETCH(QString, path);
        QString label = QStringLiteral("old");
        QVERIFY(!GetVolumeLabel(path, label));
        QCOMPARE(label, Tr("not available"));
    }

    void noDriveForAnEmptyOrUnknownLabel()
    {
        QCOMPARE(FindDriveByLabel(QString()), QString());
        QCOMPARE(FindDriveByLabel(UniqueLabel("AkNoSuch")), QString());
    }

    void theFirstMountOfALabelWins()
    {
        const QString label = UniqueLabel("AkTwin");
        const auto first = Mount(QStringLiteral("ext4"), label);
        if (!first->Mounted())
            QSKIP(qPrintable(first->Error()));
        const auto second = Mount(QStringLiteral("ext4"), label);
        QVERIFY2(second->Mounted(), qPrintable(second->Error()));
        QCOMPARE(FindDriveByLabel(label), first->MountPoint() + u'/');
    }

    void aCoveredVolumeIsNotFound()
    {
        const QString folder = FDir.filePath(QStringLiteral("stacked"));
        const auto below = Mount(QStringLiteral("ext4"), UniqueLabel("AkBelow"), folder);
        if (!below->Mounted())
            QSKIP(qPrintable(below->Error()));
        const auto above = Mount(QStringLiteral("ext4"), UniqueLabel("AkAbove"), folder);
        QVERIFY2(above->Mounted(), qPrintable(above->Error()));
        QCOMPARE(FindDriveByLabel(UniqueLabel("AkBelow")), QString());
        QCOMPARE(FindDriveByLabel(UniqueLabel("AkAbove")), folder + u'/');
        QString label;
        QVERIFY(GetVolumeLabel(folder, label));
        QCOMPARE(label, UniqueLabel("AkAbove"));
    }

    // ---- Volume-labelled paths --------------------------------------------------------

    // "<label>" in a path stands for the mounted volume's label, "<mp>" for its mount point.
    void volumeLabelledPaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("resolved");
        QTest::addColumn<QString>("label");

        QTest::newRow("empty") << "" << int(vrNotFound) << ""
                               << "";
        QTest::newRow("plain path") << "/data/x" << int(vrNotLabelled) << "/data/x"
                                    << "";
        QTest::newRow("relative path") << "x:/data" << int(vrNotLabelled) << "x:/data"
                                       << "";
        QTest::newRow("blank before the label")
            << " :<label>:/Data" << int(vrNotLabelled) << " :<label>:/Data"
            << "";
        QTest::newRow("unknown label") << ":AkNoSuchLabel:/Data" << int(vrNotFound) << ":AkNoSuchLabel:/Data"
                                       << "";
        QTest::newRow("label without its closing :") << ":<label>/Data" << int(vrNotFound) << ":<label>/Data"
                                                     << "";
        QTest::newRow("empty label") << "::/Data" << int(vrNotFound) << "::/Data"
                                     << "";
        QTest::newRow("only :") << ":" << int(vrNotFound) << ":"
                                << "";
        QTest::newRow("label") << ":<label>:/Data/x" << int(vrResolved) << "<mp>/Data/x"
                               << "<label>";
        QTest::newRow("label in other case") << ":<LABEL>:/Data" << int(vrResolved) << "<mp>/Data"
                                             << "<LABEL>";
        QTest::newRow("nothing after the label") << ":<label>:" << int(vrResolved) << "<mp>/"
                                                 << "<label>";
        QTest::newRow("doubled : in the label") << ":Ak::<label>:/x" << int(vrResolved) << "<mp2>/x"
                                                << "Ak:<label>";
    }

    void volumeLabelledPaths()
    {
        QFETCH(QString, path);
        QFETCH(int, result);
        QFETCH(QString, resolved);
        QFETCH(QString, label);
        const QString volumeLabel = UniqueLabel("AkP");
        std::unique_ptr<TestSupport::TLoopMount> volume;
        std::unique_ptr<TestSupport::TLoopMount> colonVolume;
        if (result == vrResolved) {
            volume = Mount(QStringLiteral("ext4"), volumeLabel);
            if (!volume->Mounted())
                QSKIP(qPrintable(volume->Error()));
            colonVolume = Mount(QStringLiteral("ext4"), QStringLiteral("Ak:") + volumeLabel);
            QVERIFY2(colonVolume->Mounted(), qPrintable(colonVolume->Error()));
        }
        const auto fill = [&](QString text) {
            text.replace(QStringLiteral("<label>"), volumeLabel)
                .replace(QStringLiteral("<LABEL>"), volumeLabel.toUpper());
            if (volume)
                text.replace(QStringLiteral("<mp>"), volume->MountPoint())
                    .replace(QStringLiteral("<mp2>"), colonVolume->MountPoint());
            return text;
        };
        path = fill(path);

        QString resolvedPath = path;
        QString resolvedLabel = QStringLiteral("old");
        QCOMPARE(int(ResolveVolumePath(resolvedPath, resolvedLabel)), result);
        QCOMPARE(resolvedPath, fill(resolved));
        QCOMPARE(resolvedLabel, fill(label));
        QCOMPARE(IsVolumeAvailable(path), result != vrNotFound);
        QCOMPARE(ResolveDestination(path), fill(resolved));
    }

    void aMissingVolumeIsAskedFor()
    {
        const QString label = UniqueLabel("AkAsk");
        QStringList questions;
        QString path = QStringLiteral(":") + label + QStringLiteral(":/Data");
        QString found;
        const auto cancel = [&](const QString &text) {
            questions << text;
            return false;
        };
        QCOMPARE(int(ResolveVolumePath(path, found, cancel)), int(vrNotFound));
        QCOMPARE(questions, QStringList{QStringLiteral("Volume \"") + label +
                                        QStringLiteral("\" not found!\r\nPlease insert medium!")});
        QCOMPARE(ResolveDestination(path, cancel), path);

        // Without a label there is nothing to insert.
        questions.clear();
        path = QStringLiteral("::/Data");
        QCOMPARE(int(ResolveVolumePath(path, found, cancel)), int(vrNotFound));
        QVERIFY(questions.isEmpty());
    }

    void retryFindsTheInsertedVolume()
    {
        const QString label = UniqueLabel("AkLate");
        std::unique_ptr<TestSupport::TLoopMount> volume;
        int asked = 0;
        // The user inserts the medium, then answers "Retry".
        const auto insert = [&](const QString &) {
            ++asked;
            volume = Mount(QStringLiteral("ext4"), label);
            return volume->Mounted();
        };
        QString path = QStringLiteral(":") + label + QStringLiteral(":/Data");
        QString found;
        const TVolumeResolve result = ResolveVolumePath(path, found, insert);
        QCOMPARE(asked, 1);
        if (!volume->Mounted())
            QSKIP(qPrintable(volume->Error()));
        QCOMPARE(int(result), int(vrResolved));
        QCOMPARE(found, label);
        QCOMPARE(path, volume->MountPoint() + QStringLiteral("/Data"));
    }

    // "%volume%" and "%drive%" of a log name.
    void logNamesOnVolumes()
    {
        const QString label = UniqueLabel("AkLog");
        const auto volume = Mount(QStringLiteral("ext4"), label);
        if (!volume->Mounted())
            QSKIP(qPrintable(volume->Error()));
        const auto unlabelled = Mount(QStringLiteral("ext4"), QString());
        QVERIFY2(unlabelled->Mounted(), qPrintable(unlabelled->Error()));
        const QString name = QStringLiteral("%drive%/%volume%.log");

        QCOMPARE(ExpandLogPlaceholders(name, volume->MountPoint() + QStringLiteral("/Backup")),
                 volume->MountPoint() + u'/' + label + QStringLiteral(".log"));
        // The label as the destination writes it, and no drive for such a path.
        QCOMPARE(
            ExpandLogPlaceholders(name, QStringLiteral(":") + label.toLower() + QStringLiteral(":/Backup")),
            u'/' + label.toLower() + QStringLiteral(".log"));
        QCOMPARE(ExpandLogPlaceholders(name, unlabelled->MountPoint()),
                 unlabelled->MountPoint() + QStringLiteral("/.log"));
    }
};

QTEST_GUILESS_MAIN(TestVolumes)
#include "tst_volumes.moc"
