#include "config/StarterConfig.h"
#include "config/UnicodeIniFile.h"
#include "mail/PasswordCrypt.h"
#include "support/TestSupport.h"
#include "util/FileUtils.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <clocale>
#include <sys/stat.h>

using namespace TestSupport;

namespace {

const QString ProgramName = QStringLiteral("Arkivo Starter");
const QString ProgramVersion = QStringLiteral("6.2.1.0");

// The saved file as text: UTF-16LE after its byte-order mark.
QString SavedText(const QString &fileName)
{
    const QByteArray bytes = ReadAll(fileName);
    if (!bytes.startsWith("\xFF\xFE"))
        return QStringLiteral("<not UTF-16LE>");
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                              (bytes.size() - 2) / 2);
}

std::unique_ptr<TUnicodeIniFile> ReadIni(const QString &fileName)
{
    return TUnicodeIniFile::CreateForRead(fileName);
}

// Enabled entries as their path, disabled ones with "#" before it.
QStringList EntryTexts(const TTaskProperties &group)
{
    QStringList texts;
    for (const TTaskEntry &entry : group.Tasks)
        texts.append(entry.Enabled ? entry.FileName : u'#' + entry.FileName);
    return texts;
}

QStringList GroupNames(const TStarterConfig &config)
{
    QStringList names;
    for (const auto &group : config.Groups)
        names.append(group->Desc);
    return names;
}

} // namespace

class TestStarterConfig final : public QObject
{
    Q_OBJECT

private:
    QString IniName() const { return FDir->filePath("akstarter.ini"); }
    // A task file that exists; the starter only checks that it is there.
    QString TaskFile(const QString &name) const
    {
        const QString fileName = FDir->filePath(name);
        if (!QFile::exists(fileName))
            [&] { QVERIFY(WriteAll(fileName, "[Destination]\nPath=/backup\n")); }();
        return fileName;
    }
    // Writes INI text with "@DIR@" standing for the test folder.
    void WriteIni(const QString &text) const
    {
        QVERIFY(WriteAll(IniName(), QString(text).replace("@DIR@", FDir->path()).toUtf8()));
    }
    TStarterConfig Loaded(const QString &lastTask = QString()) const
    {
        TStarterConfig config;
        const TConfigResult result = config.Load(IniName(), lastTask);
        [&] { QVERIFY2(result.Ok, qPrintable(result.Message)); }();
        return config;
    }

    std::unique_ptr<QTemporaryDir> FDir;

private slots:
    void initTestCase() { QVERIFY(setlocale(LC_CTYPE, "C.UTF-8")); }
    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
    }
    void cleanup() { FDir.reset(); }

    void taskListOperations()
    {
        TTaskProperties group("Daily");
        QCOMPARE(group.AddTask("/a.buj", true), 0);
        QCOMPARE(group.AddTask("/b.buj", false), 1);
        QCOMPARE(group.AddTask("/c.buj", true), 2);
        QVERIFY(group.IsChecked(0));
        QVERIFY(!group.IsChecked(1));
        QVERIFY(!group.IsChecked(3));
        QVERIFY(!group.IsChecked(-1));
        group.RemoveTask(1);
        group.RemoveTask(7);
        group.RemoveTask(-1);
        QCOMPARE(EntryTexts(group), QStringList({"/a.buj", "/c.buj"}));

        group.User = "backup";
        group.Pwd = "pwd";
        group.AltLogDir = "/logs";
        group.PwdPrompt = false;
        group.NoSplash = group.PlaySound = group.ParProc = group.RunAs = true;
        group.Delay = 9;
        group.StartDelay = 60;
        group.Status = 4;
        group.Reset();
        const TTaskProperties fresh("Other");
        QCOMPARE(group.Desc, "Daily");
        QCOMPARE(group.User, fresh.User);
        QCOMPARE(group.Pwd, fresh.Pwd);
        QCOMPARE(group.AltLogDir, fresh.AltLogDir);
        QCOMPARE(group.PwdPrompt, true);
        QCOMPARE(group.NoSplash || group.PlaySound || group.ParProc || group.RunAs, false);
        QCOMPARE(group.Delay, 5);
        QCOMPARE(group.StartDelay, 0);
        QCOMPARE(group.Status, 1);
        QCOMPARE(group.TaskCount(), 0);
    }

    // First start without a file: no group. A group created then and saved gives the
    // file from scratch, every section and key in its place.
    void savedFileLayout()
    {
        TStarterConfig config;
        const TConfigResult loaded = config.Load(IniName(), QString());
        QVERIFY(loaded.Ok);
        QCOMPARE(config.GroupCount(), 0);
        QCOMPARE(config.TaskIndex, -1);
        QVERIFY(!QFile::exists(IniName()));

        const QString first = TaskFile("first.buj");
        const QString second = TaskFile("second.buj");
        config.TaskIndex = config.AddGroup("New group");
        config.CurrentGroup()->AddTask(first, true);
        config.CurrentGroup()->AddTask(second, false);
        config.LastTask = "New group";
        config.LastDir = FDir->path();
        config.Top = 10;
        config.Left = -20;
        config.Height = 300;
        config.Width = 400;
        const TConfigResult saved = config.Save(IniName(), ProgramName, ProgramVersion);
        QVERIFY2(saved.Ok, qPrintable(saved.Message));

        QCOMPARE(SavedText(IniName()).split("\r\n"),
                 QStringLiteral(
                     "[Unicode]\r\nEncoding=UTF-16LE\r\nProgram=Arkivo Starter\r\nVersion=6.2.1.0\r\n\r\n"
                     "[Config]\r\nTop=10\r\nLeft=-20\r\nHeight=300\r\nWidth=400\r\n"
                     "LastTask=New group\r\nLastDir=@DIR@\r\nTaskCount=1\r\n\r\n"
                     "[Mail]\r\nSMTP=\r\nPort=25\r\nUsername=\r\nPassword=\r\nSender=AkStarter\r\n"
                     "ReplyTo=\r\nRecipients=\r\nSubject=AkStarter error report\r\nUseTLS=0\r\n"
                     "Enabled=0\r\n\r\n"
                     "[Task00]\r\nDescription=New group\r\nLogDirectory=\r\nUsername=\r\nPassword=\r\n"
                     "PasswordPrompt=1\r\nNoSplash=0\r\nPlaySound=0\r\nParallel=0\r\nRunAs=0\r\n"
                     "StartDelay=0\r\nWaitTime=5\r\nStatusWindow=1\r\nCount=2\r\n"
                     "TaskFile00=@DIR@/first.buj\r\nTaskFile01=#@DIR@/second.buj\r\n\r\n")
                     .replace("@DIR@", FDir->path())
                     .split("\r\n"));
        // Stored passwords can be decrypted by anyone with the program.
        QCOMPARE(FileMode(IniName()), 0600);
    }

    // A section without the keys gives the defaults of a stored group, which differ from
    // a new group's in PlaySound only.
    void missingGroupSectionsGiveDefaults()
    {
        WriteIni("[Config]\nTaskCount=3\nLastTask=task02\n[Task00]\nDescription=Only\n");
        const TStarterConfig config = Loaded();
        QCOMPARE(GroupNames(config), QStringList({"Only", "Task01", "Task02"}));
        QCOMPARE(config.TaskIndex, 2);
        const TTaskProperties fresh("x");
        for (const auto &group : config.Groups) {
            QCOMPARE(group->User, fresh.User);
            QCOMPARE(group->Pwd, fresh.Pwd);
            QCOMPARE(group->AltLogDir, fresh.AltLogDir);
            QCOMPARE(group->PwdPrompt, fresh.PwdPrompt);
            QCOMPARE(group->NoSplash, fresh.NoSplash);
            QCOMPARE(group->PlaySound, true);
            QCOMPARE(group->ParProc, fresh.ParProc);
            QCOMPARE(group->RunAs, fresh.RunAs);
            QCOMPARE(group->StartDelay, fresh.StartDelay);
            QCOMPARE(group->Delay, fresh.Delay);
            QCOMPARE(group->Status, fresh.Status);
            QCOMPARE(group->TaskCount(), 0);
        }
        QCOMPARE(fresh.PlaySound, false);
    }

    void taskEntries_data()
    {
        QTest::addColumn<QString>("section"); // "@A@", "@B@": existing task files
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("enabled and disabled") << "Count=2\nTaskFile00=@A@\nTaskFile01=#@B@\n"
                                              << QStringList({"@A@", "#@B@"});
        QTest::newRow("missing files dropped")
            << "Count=4\nTaskFile00=@DIR@/gone.buj\nTaskFile01=#@DIR@/gone.buj\nTaskFile02=@B@\n"
               "TaskFile03=gone.buj\n"
            << QStringList({"@B@"});
        QTest::newRow("empty value and lone mark skipped")
            << "Count=3\nTaskFile00=\nTaskFile01=#\nTaskFile02=@A@\n"
            << QStringList({"@A@"});
        QTest::newRow("folder is no task file") << "Count=2\nTaskFile00=@DIR@\nTaskFile01=@A@\n"
                                                << QStringList({"@A@"});
        QTest::newRow("keys beyond Count not read") << "Count=1\nTaskFile00=@A@\nTaskFile01=@B@\n"
                                                    << QStringList({"@A@"});
        QTest::newRow("gap in the numbering") << "Count=3\nTaskFile00=@A@\nTaskFile02=@B@\n"
                                              << QStringList({"@A@", "@B@"});
        QTest::newRow("keys in other case") << "COUNT=1\ntaskfile00=#@A@\n" << QStringList({"#@A@"});
        QTest::newRow("huge Count") << "Count=2147483647\nTaskFile00=@A@\nTaskFile05=@B@\n"
                                    << QStringList({"@A@", "@B@"});
        QTest::newRow("negative Count") << "Count=-5\nTaskFile00=@A@\n" << QStringList();
        QTest::newRow("Count not a number") << "Count=two\nTaskFile00=@A@\n" << QStringList();
        QTest::newRow("entry of 100,000 characters")
            << "Count=2\nTaskFile00=@DIR@/" + QString(100'000, u'x') + "\nTaskFile01=@A@\n"
            << QStringList({"@A@"});
    }

    void taskEntries()
    {
        QFETCH(QString, section);
        QFETCH(QStringList, expected);

        const QString a = TaskFile("a.buj");
        const QString b = TaskFile("b.buj");
        WriteIni("[Config]\nTaskCount=1\n[Task00]\nDescription=G\n" +
                 section.replace("@A@", a).replace("@B@", b));
        const TStarterConfig config = Loaded();
        QCOMPARE(config.GroupCount(), 1);
        expected.replaceInStrings("@A@", a).replaceInStrings("@B@", b);
        QCOMPARE(EntryTexts(*config.Groups[0]), expected);
    }

    // A damaged group count neither hangs nor creates a group per number.
    void groupCountBounds_data()
    {
        QTest::addColumn<QString>("taskCount");
        QTest::addColumn<int>("minGroups");
        QTest::addColumn<int>("maxGroups");

        QTest::newRow("largest integer") << "2147483647" << 2 << 1000;
        QTest::newRow("beyond 32 bits") << "99999999999" << 0 << 0;
        QTest::newRow("negative") << "-5" << 0 << 0;
        QTest::newRow("hexadecimal") << "0x2" << 2 << 2;
        QTest::newRow("not a number") << "2 groups" << 0 << 0;
    }

    void groupCountBounds()
    {
        QFETCH(QString, taskCount);
        QFETCH(int, minGroups);
        QFETCH(int, maxGroups);

        WriteIni("[Config]\nTaskCount=" + taskCount + "\n[Task00]\nDescription=A\n[Task01]\nDescription=B\n");
        const TStarterConfig config = Loaded();
        QVERIFY2(config.GroupCount() >= minGroups && config.GroupCount() <= maxGroups,
                 qPrintable(QString::number(config.GroupCount())));
        if (minGroups >= 2)
            QCOMPARE(GroupNames(config).first(2), QStringList({"A", "B"}));
    }

    void currentGroup_data()
    {
        QTest::addColumn<QString>("groups"); // stored group names, comma-separated
        QTest::addColumn<QString>("stored"); // "LastTask" in the file
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("taskIndex");
        QTest::addColumn<QString>("lastTask");

        QTest::newRow("stored name in other case") << "Alpha,beta,Gamma"
                                                   << "BETA"
                                                   << "" << 1 << "BETA";
        QTest::newRow("first of equal names") << "Alpha,beta,alpha"
                                              << "ALPHA"
                                              << "" << 0 << "ALPHA";
        QTest::newRow("unknown name") << "Alpha,beta"
                                      << "Delta"
                                      << "" << 0 << "Delta";
        QTest::newRow("no stored name") << "Alpha,beta"
                                        << ""
                                        << "" << 0 << "";
        QTest::newRow("command line wins") << "Alpha,beta,Gamma"
                                           << "beta"
                                           << "gamma" << 2 << "gamma";
        QTest::newRow("no groups") << ""
                                   << "Alpha"
                                   << "" << -1 << "Alpha";
    }

    void currentGroup()
    {
        QFETCH(QString, groups);
        QFETCH(QString, stored);
        QFETCH(QString, commandLine);
        QFETCH(int, taskIndex);
        QFETCH(QString, lastTask);

        const QStringList names = groups.split(u',', Qt::SkipEmptyParts);
        QString text = "[Config]\nLastTask=" + stored + "\nTaskCount=" + QString::number(names.size()) + "\n";
        for (int i = 0; i < names.size(); ++i)
            text += "[" + GroupSectionName(i) + "]\nDescription=" + names[i] + "\n";
        WriteIni(text);
        const TStarterConfig config = Loaded(commandLine);
        QCOMPARE(config.TaskIndex, taskIndex);
        QCOMPARE(config.LastTask, lastTask);
        QCOMPARE(config.CurrentGroup() == nullptr, taskIndex < 0);
    }

    // Load, save and load again keep every field of every group, the mail settings and
    // the passwords; names and paths are values, so INI syntax inside them is harmless.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expectedPassword");

        QTest::newRow("plain") << "Daily"
                               << ""
                               << "";
        QTest::newRow("commas") << "Daily, weekly, monthly"
                                << "secret"
                                << "secret";
        QTest::newRow("quotes") << "The \"big\" 'one'"
                                << "a\"b'c"
                                << "a\"b'c";
        QTest::newRow("brackets") << "[Task01]"
                                  << "[x]"
                                  << "[x]";
        QTest::newRow("equals and semicolon") << "a=b;c"
                                              << "=;"
                                              << "=;";
        QTest::newRow("leading semicolon") << "; not a comment"
                                           << "p"
                                           << "p";
        QTest::newRow("non-ASCII") << "Grüße €"
                                   << "pässwörd€"
                                   << "pässwörd€";
        QTest::newRow("password cut at a character") << "Long" << QString(40, u'ä') << QString(32, u'ä');
        QTest::newRow("name of 100,000 characters") << QString(100'000, u'n') << "p"
                                                    << "p";
    }

    void roundTrip()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, expectedPassword);

        const QString a = TaskFile("a b, c.buj");
        const QString b = TaskFile("#hash.buj");
        TStarterConfig config;
        QVERIFY(config.Load(IniName(), QString()).Ok);
        config.AddGroup("Before");
        TTaskProperties &group = *config.Groups[size_t(config.AddGroup(name))];
        group.User = "domain\\backup";
        group.Pwd = password;
        group.AltLogDir = "/var/log/ark [1]";
        group.PwdPrompt = false;
        group.NoSplash = group.PlaySound = group.ParProc = group.RunAs = true;
        group.Delay = 99;
        group.StartDelay = 3600;
        group.Status = 4;
        group.AddTask(b, false);
        group.AddTask(a, true);
        config.LastTask = name;
        config.LastDir = FDir->path() + "/x=y";
        config.MailData.SMTP = "mail.example.org";
        config.MailData.Recipients = "a@example.org,b@example.org";
        config.MailData.Password = password.toUtf8();
        config.MailData.Enabled = true;
        QVERIFY(config.Save(IniName(), ProgramName, ProgramVersion).Ok);
        if (password.size() >= 6)
            QVERIFY(!SavedText(IniName()).contains(password));

        const TStarterConfig loaded = Loaded();
        QCOMPARE(GroupNames(loaded), QStringList({"Before", name}));
        QCOMPARE(loaded.TaskIndex, 1);
        const TTaskProperties &back = *loaded.Groups[1];
        QCOMPARE(back.User, group.User);
        QCOMPARE(back.Pwd, expectedPassword);
        QCOMPARE(back.AltLogDir, group.AltLogDir);
        QCOMPARE(back.PwdPrompt, false);
        QCOMPARE(back.NoSplash && back.PlaySound && back.ParProc && back.RunAs, true);
        QCOMPARE(back.Delay, 99);
        QCOMPARE(back.StartDelay, 3600);
        QCOMPARE(back.Status, 4);
        QCOMPARE(EntryTexts(back), QStringList({"#" + b, a}));
        QCOMPARE(loaded.LastDir, config.LastDir);
        QCOMPARE(loaded.MailData.SMTP, config.MailData.SMTP);
        QCOMPARE(loaded.MailData.Recipients, config.MailData.Recipients);
        QCOMPARE(loaded.MailData.Password, expectedPassword.toUtf8());
        QCOMPARE(loaded.MailData.Enabled, true);
        QCOMPARE(loaded.Groups[0]->Pwd, QString());

        // A second save of what was loaded reads back the same.
        TStarterConfig again = Loaded();
        QVERIFY(again.Save(IniName(), ProgramName, ProgramVersion).Ok);
        const TStarterConfig third = Loaded();
        QCOMPARE(GroupNames(third), GroupNames(loaded));
        QCOMPARE(third.Groups[1]->Pwd, expectedPassword);
        QCOMPARE(EntryTexts(*third.Groups[1]), EntryTexts(back));
    }

    void badStoredPassword_data()
    {
        QTest::addColumn<QString>("stored");

        const QString good = StorePassword(u"secret");
        QString altered = good;
        altered[10] = altered[10] == u'A' ? u'B' : u'A';
        QTest::newRow("truncated") << good.first(good.size() - 1);
        QTest::newRow("altered") << altered;
        QTest::newRow("not Ascii85") << "~~~ secret ~~~";
        QTest::newRow("password in clear") << "secret";
    }

    void badStoredPassword()
    {
        QFETCH(QString, stored);

        WriteIni("[Config]\nTaskCount=1\n[Task00]\nDescription=G\nUsername=backup\nPassword=" + stored +
                 "\n[Mail]\nSMTP=h\nPassword=" + stored + "\n");
        const TStarterConfig config = Loaded();
        QCOMPARE(config.Groups[0]->User, "backup");
        QCOMPARE(config.Groups[0]->Pwd, QString());
        QCOMPARE(config.MailData.SMTP, "h");
        QCOMPARE(config.MailData.Password, QByteArray());
    }

    void emptyNameBecomesSectionName()
    {
        TStarterConfig config;
        config.AddGroup("Named");
        config.AddGroup(QString());
        QVERIFY(config.Save(IniName(), ProgramName, ProgramVersion).Ok);
        QCOMPARE(config.Groups[1]->Desc, "Task01");
        QCOMPARE(ReadIni(IniName())->ReadString("Task01", "Description", "missing"), "Task01");
        QCOMPARE(GroupNames(Loaded()), QStringList({"Named", "Task01"}));
    }

    void numbering()
    {
        TStarterConfig config;
        for (int i = 0; i < 101; ++i)
            config.AddGroup(QString::number(i));
        for (int j = 0; j < 12; ++j)
            config.Groups.back()->AddTask(TaskFile(QString("t%1.buj").arg(j)), j % 2 == 0);
        QVERIFY(config.Save(IniName(), ProgramName, ProgramVersion).Ok);

        const auto ini = ReadIni(IniName());
        const QStringList sections = ini->ReadSections();
        QCOMPARE(sections.mid(3, 2), QStringList({"Task00", "Task01"}));
        QCOMPARE(sections.mid(12, 2), QStringList({"Task09", "Task10"}));
        QCOMPARE(sections.last(), "Task100");
        const QStringList keys = ini->ReadSection("Task100");
        QCOMPARE(keys.mid(13, 3), QStringList({"TaskFile00", "TaskFile01", "TaskFile02"}));
        QCOMPARE(keys.last(), "TaskFile11");

        const TStarterConfig loaded = Loaded();
        QCOMPARE(loaded.GroupCount(), 101);
        QCOMPARE(EntryTexts(*loaded.Groups.back()), EntryTexts(*config.Groups.back()));
    }

    // Sections of a longer list stay in the file but are no longer read.
    void removedGroupsStayInFile()
    {
        TStarterConfig config;
        for (const char *name : {"G0", "G1", "G2", "G3", "G4"})
            config.AddGroup(name);
        config.TaskIndex = 3;
        QVERIFY(config.Save(IniName(), ProgramName, ProgramVersion).Ok);
        config.RemoveGroup(1);
        QCOMPARE(config.TaskIndex, 2);
        config.RemoveGroup(2);
        QCOMPARE(config.TaskIndex, 2);
        QVERIFY(config.Save(IniName(), ProgramName, ProgramVersion).Ok);

        const auto ini = ReadIni(IniName());
        QCOMPARE(ini->ReadInteger("Config", "TaskCount", -1), 3);
        QCOMPARE(ini->ReadString("Task03", "Description", "missing"), "G3");
        QCOMPARE(ini->ReadString("Task04", "Description", "missing"), "G4");
        QCOMPARE(GroupNames(Loaded()), QStringList({"G0", "G2", "G4"}));
    }

    // A file of an earlier version: read as far as it goes, then rewritten with
    // "Global" gone, the sections of other owners in place and the rewritten ones behind.
    void olderFile()
    {
        QVERIFY(WriteAll(IniName(), ReadAll(DataFile("OldStarterConfig.ini"))));
        TStarterConfig config;
        config.Top = config.Left = config.Height = config.Width = 1;
        QVERIFY(config.Load(IniName(), QString()).Ok);
        QCOMPARE(config.Top, 120);
        QCOMPARE(config.Left, 80);
        // The window always opens at its designed size.
        QCOMPARE(config.Height, 1);
        QCOMPARE(config.Width, 1);
        QCOMPARE(GroupNames(config), QStringList({"First", "Second"}));
        QCOMPARE(config.TaskIndex, 1);
        QCOMPARE(config.LastDir, "/srv/backup/tasks");
        QCOMPARE(config.Groups[0]->PwdPrompt, false);
        QCOMPARE(config.Groups[0]->PlaySound, true);
        QCOMPARE(config.Groups[1]->PlaySound, false);
        QCOMPARE(config.Groups[1]->Status, 3);

        config.Height = 480;
        config.Width = 640;
        QVERIFY(config.Save(IniName(), ProgramName, ProgramVersion).Ok);
        const auto ini = ReadIni(IniName());
        QCOMPARE(ini->ReadSections(),
                 QStringList({"Config", "Task02", "Applications", "Unicode", "Mail", "Task00", "Task01"}));
        QCOMPARE(ini->ReadSection("Config"),
                 QStringList({"Top", "Left", "Height", "Width", "LastTask", "LastDir", "TaskCount"}));
        QCOMPARE(ini->ReadInteger("Config", "Height", 0), 480);
        QCOMPARE(ini->ReadInteger("Config", "Width", 0), 640);
        QCOMPARE(ini->ReadString("Unicode", "Program", ""), ProgramName);
        QCOMPARE(ini->ReadString("Unicode", "Version", ""), ProgramVersion);
        QCOMPARE(ini->ReadString("Task02", "Description", ""), "Left over");
        QCOMPARE(ini->ReadString("Applications", "App00", ""), "Some program");
        QCOMPARE(ini->ReadString("Task00", "PlaySound", ""), "1");
    }

    // Saving fails: the message says why, the file that was there is intact, and the
    // configuration in memory is as it was.
    void saveFailure_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message"); // "@NAME@" for the file name

        QTest::newRow("folder given as the file")
            << "folder"
            << "Cannot open file \"@NAME@\". " + SystemErrorText(EISDIR);
        QTest::newRow("path below a regular file") << "below file"
                                                   << "Error writing to \"@NAME@\"";
        QTest::newRow("read-only folder") << "read-only folder"
                                          << "Error writing to \"@NAME@\"";
        QTest::newRow("read-only file") << "read-only file"
                                        << "Error writing to \"@NAME@\"";
        QTest::newRow("read-only file system") << "read-only mount"
                                               << "Error writing to \"@NAME@\"";
    }

    void saveFailure()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);

        const QString folder = FDir->filePath("target");
        QVERIFY(QDir().mkpath(folder));
        QString name = QDir(folder).filePath("akstarter.ini");
        std::unique_ptr<TScratchMount> mount;
        if (kind == "read-only mount") {
            if (!IsRoot())
                QSKIP("mounting a tmpfs needs root");
            mount = std::make_unique<TScratchMount>(folder, 1024 * 1024);
            if (!mount->Mounted())
                QSKIP(qPrintable(mount->Error()));
        }
        if (kind.startsWith("read-only f") && IsRoot())
            QSKIP("root writes to read-only files and folders");

        TStarterConfig old;
        old.AddGroup("Old group");
        old.Groups[0]->Pwd = "old secret";
        QVERIFY(old.Save(name, ProgramName, ProgramVersion).Ok);
        const QByteArray oldBytes = ReadAll(name);
        if (kind == "folder") {
            QVERIFY(QFile::remove(name));
            QVERIFY(QDir().mkpath(name));
        } else if (kind == "below file") {
            name = QDir(name).filePath("akstarter.ini");
        } else if (kind == "read-only folder") {
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
        } else if (kind == "read-only file") {
            QVERIFY(::chmod(QFile::encodeName(name).constData(), 0400) == 0);
        } else {
            QVERIFY(mount->RemountReadOnly());
        }
        const QStringList entriesBefore =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

        TStarterConfig config;
        config.AddGroup(QString());
        config.AddGroup("Changed");
        config.Groups[1]->Pwd = "new secret";
        config.TaskIndex = 1;
        const TConfigResult result = config.Save(name, ProgramName, ProgramVersion);
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        QVERIFY(!result.Ok);
        QCOMPARE(result.Message, QString(message).replace("@NAME@", name));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 entriesBefore);
        if (kind != "folder")
            QCOMPARE(ReadAll(QDir(folder).filePath("akstarter.ini")), oldBytes);
        QCOMPARE(GroupNames(config), QStringList({"", "Changed"}));
        QCOMPARE(config.Groups[1]->Pwd, "new secret");
        QCOMPARE(config.TaskIndex, 1);
    }

    // An existing file that cannot be read gives the defaults and says why; it is not
    // replaced by a save either.
    void unreadableFile()
    {
        QVERIFY(QDir().mkpath(IniName()));
        TStarterConfig config;
        config.Top = 7;
        const TConfigResult result = config.Load(IniName(), "Daily");
        QVERIFY(!result.Ok);
        QVERIFY2(result.Message.startsWith("Cannot open file \"" + IniName() + "\""),
                 qPrintable(result.Message));
        QCOMPARE(config.GroupCount(), 0);
        QCOMPARE(config.TaskIndex, -1);
        QCOMPARE(config.Top, 7);
        QCOMPARE(config.LastTask, "Daily");
        QCOMPARE(config.MailData.Sender, "AkStarter");
        QVERIFY(!config.Save(IniName(), ProgramName, ProgramVersion).Ok);
        QVERIFY(QFileInfo(IniName()).isDir());
    }

    // The file holds passwords that anyone with the program can decrypt: a save leaves
    // it readable by its owner only.
    void fileMode_data()
    {
        QTest::addColumn<int>("modeBefore"); // -1: no file before
        QTest::addColumn<int>("modeAfter");

        QTest::newRow("new file") << -1 << 0600;
        QTest::newRow("private file kept") << 0600 << 0600;
        QTest::newRow("readable by all") << 0644 << 0600;
        QTest::newRow("readable by the group") << 0640 << 0600;
        QTest::newRow("executable by all") << 0755 << 0700;
    }

    void fileMode()
    {
        QFETCH(int, modeBefore);
        QFETCH(int, modeAfter);

        if (modeBefore >= 0) {
            WriteIni("[Applications]\nCount=0\n");
            QVERIFY(::chmod(QFile::encodeName(IniName()).constData(), mode_t(modeBefore)) == 0);
        }
        const mode_t oldUmask = ::umask(0);
        TStarterConfig config;
        config.AddGroup("G");
        config.Groups[0]->Pwd = "secret";
        const TConfigResult result = config.Save(IniName(), ProgramName, ProgramVersion);
        ::umask(oldUmask);
        QVERIFY2(result.Ok, qPrintable(result.Message));
        QCOMPARE(FileMode(IniName()), modeAfter);
        QCOMPARE(Loaded().Groups[0]->Pwd, "secret");
    }
};

QTEST_GUILESS_MAIN(TestStarterConfig)
#include "tst_starterconfig.moc"
