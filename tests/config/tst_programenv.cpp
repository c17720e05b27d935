#include "config/ProgramEnv.h"

#include "support/EnvironmentGuard.h"
#include "support/TestSupport.h"
#include "util/SystemInfo.h"
#include "util/Translate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <optional>

namespace {

bool WriteFile(const QString &fileName, const QByteArray &content)
{
    return QDir().mkpath(QFileInfo(fileName).path()) && TestSupport::WriteAll(fileName, content);
}

bool WriteProgram(const QString &fileName)
{
    return WriteFile(fileName, "#!/bin/sh\n") &&
           QFile::setPermissions(fileName,
                                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// A file with a version block as our executables embed it. The marker is put together at
// run time so that this test's own executable does not hold a block of its own.
QByteArray VersionBlock(const QByteArray &lines)
{
    QByteArray marker = "AKVERSIONBLOCK\n";
    marker.prepend('\x7f');
    return "\x01\x02 binary " + marker + lines + "\n";
}

QString ReadText(const QString &fileName)
{
    return QFileInfo::exists(fileName) ? QString::fromUtf8(TestSupport::ReadAll(fileName))
                                       : QStringLiteral("<none>");
}

} // namespace

class TestProgramEnv final : public QObject
{
    Q_OBJECT

    std::optional<TestSupport::TEnvironmentGuard> FEnvironment;
    std::optional<QTemporaryDir> FDir;
    QString FRoot;

    // Folders of a test: "<root>" the temporary folder, "~" the home folder below it,
    // "<cfg>" the roaming folder (~/.config), "<prog>" the program's folder, "<cwd>" the
    // current folder, "<etc>" the machine's configuration folder.
    QString Path(QString text) const
    {
        return text.replace(QStringLiteral("<cfg>"), QStringLiteral("~/.config"))
            .replace(u'~', FRoot + QStringLiteral("/home"))
            .replace(QStringLiteral("<prog>"), FRoot + QStringLiteral("/prog/bin"))
            .replace(QStringLiteral("<cwd>"), FRoot + QStringLiteral("/work"))
            .replace(QStringLiteral("<etc>"), FRoot + QStringLiteral("/etc"))
            .replace(QStringLiteral("<root>"), FRoot);
    }

    QStringList Paths(const QStringList &texts) const
    {
        QStringList result;
        for (const QString &text : texts)
            result << Path(text);
        return result;
    }

    QString ProgramFile() const { return Path(QStringLiteral("<prog>/akstarter")); }
    QString CurrentDir() const { return Path(QStringLiteral("<cwd>")); }

    void SetUserIniPath(const QString &iniPath)
    {
        if (!iniPath.isEmpty())
            QVERIFY(WriteFile(Path(QStringLiteral("<cfg>/Arkivo6/registry.ini")),
                              "[Software\\Arkivo6]\nIniPath=" + Path(iniPath).toUtf8() + "\n"));
    }

    // The environment after the folder set-up, as the main window's creation leaves it.
    TProgramEnv FoldersSetUp(const QStringList &args = {}) const
    {
        TProgramEnv env = EarlyProgramEnv(args, ProgramFile(), CurrentDir());
        InitFolders(env);
        return env;
    }

private slots:
    void init()
    {
        FEnvironment.emplace({"HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "LC_ALL",
                              "LC_MESSAGES", "LANG", "LANGUAGE", "PATH", "AK_TEST_A", "AK_TEST_PCT",
                              "AK_TEST_SELF"});
        FDir.emplace();
        QVERIFY(FDir->isValid());
        FRoot = FDir->path();
        QVERIFY(QDir().mkpath(Path(QStringLiteral("~"))));
        QVERIFY(QDir().mkpath(CurrentDir()));
        qputenv("HOME", QFile::encodeName(Path(QStringLiteral("~"))));
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_DATA_HOME");
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(Path(QStringLiteral("<etc>"))));
        for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"})
            qunsetenv(name);
        qputenv("PATH", QFile::encodeName(Path(QStringLiteral("<root>/nopath"))));
    }

    void cleanup()
    {
        FEnvironment.reset();
        FDir.reset();
    }

    void backupCfgName_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("iniPath"); // the user's registry value
        QTest::addColumn<QString>("expected");

        QTest::newRow("default") << QStringList() << ""
                                 << "<cfg>/Arkivo6/Arkivo.cfg";
        QTest::newRow("registry folder") << QStringList() << "<root>/settings"
                                         << "<root>/settings/Arkivo.cfg";
        QTest::newRow("relative registry folder") << QStringList() << "Shared/Arkivo"
                                                  << "<cfg>/Shared/Arkivo/Arkivo.cfg";
        QTest::newRow("ini folder") << QStringList{"/ini:/conf/"} << ""
                                    << "/conf/Arkivo.cfg";
        QTest::newRow("ini file: its folder") << QStringList{"/ini:/conf/my.ini"} << ""
                                              << "/conf/Arkivo.cfg";
        QTest::newRow("ini name: the configuration folder") << QStringList{"/ini:my.ini"} << "<root>/settings"
                                                            << "<root>/settings/Arkivo.cfg";
        QTest::newRow("relative ini: the current folder") << QStringList{"/ini:sub/my.ini"} << ""
                                                          << "<cwd>/sub/Arkivo.cfg";
        QTest::newRow("relative ini folder") << QStringList{"/ini:sub/"} << ""
                                             << "<cwd>/sub/Arkivo.cfg";
        QTest::newRow("environment reference") << QStringList{"/ini:%AK_TEST_A%/conf/"} << ""
                                               << "<root>/a/conf/Arkivo.cfg";
        QTest::newRow("reference to nothing: default") << QStringList{"/ini:%AK_TEST_UNSET%"} << ""
                                                       << "<cfg>/Arkivo6/Arkivo.cfg";
        QTest::newRow("portable") << QStringList{"/portable"} << ""
                                  << "<prog>/Arkivo.cfg";
        QTest::newRow("portable, name") << QStringList{"-p", "/ini:my.ini"} << ""
                                        << "<prog>/my.cfg";
        QTest::newRow("portable, full name") << QStringList{"/ini:/conf/my.ini", "/portable"} << ""
                                             << "/conf/my.cfg";
        QTest::newRow("portable, relative name") << QStringList{"/portable", "/ini:sub/my.ini"} << ""
                                                 << "<prog>/sub/my.cfg";
    }

    void backupCfgName()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, iniPath);
        QFETCH(QString, expected);
        qputenv("AK_TEST_A", QFile::encodeName(Path(QStringLiteral("<root>/a"))));
        SetUserIniPath(iniPath);
        const TProgramEnv env = EarlyProgramEnv(Paths(args), ProgramFile(), CurrentDir());
        QCOMPARE(env.BackupCfgName, Path(expected));
        QCOMPARE(env.ProgramDir, Path(QStringLiteral("<prog>/")));
        QCOMPARE(env.ProgramBaseName, QStringLiteral("akstarter"));
    }

    void languageCode_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("cfg"); // content of <cfg>/Arkivo6/Arkivo.cfg
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<QString>("expected");

        const QByteArray italian = "[Language]\nLangID=it\n";
        QTest::newRow("option, cut to two letters")
            << QStringList{"/lang:deu"} << italian << QByteArray() << "de";
        QTest::newRow("option wins over the configuration")
            << QStringList{"-L:fr"} << italian << QByteArray("de_DE.UTF-8") << "fr";
        QTest::newRow("option in capitals") << QStringList{"/LANG:DE"} << italian << QByteArray() << "de";
        QTest::newRow("configuration in capitals")
            << QStringList() << QByteArray("[Language]\nLangID=NL\n") << QByteArray() << "nl";
        QTest::newRow("empty option: configuration")
            << QStringList{"/lang:"} << italian << QByteArray() << "it";
        QTest::newRow("configuration, cut")
            << QStringList() << QByteArray("[Language]\nLangID=esp\n") << QByteArray("de_DE.UTF-8") << "es";
        QTest::newRow("empty option, no configuration: locale")
            << QStringList{"/lang:"} << QByteArray() << QByteArray("pt_BR.UTF-8") << "pt";
        QTest::newRow("configuration without LangID: locale")
            << QStringList() << QByteArray("[Language]\nOther=1\n[Config]\nLangID=nl\n")
            << QByteArray("sv_SE") << "sv";
        QTest::newRow("no locale: en") << QStringList() << QByteArray() << QByteArray() << "en";
    }

    void languageCode()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, cfg);
        QFETCH(QByteArray, lang);
        QFETCH(QString, expected);
        if (!cfg.isEmpty())
            QVERIFY(WriteFile(Path(QStringLiteral("<cfg>/Arkivo6/Arkivo.cfg")), cfg));
        if (!lang.isEmpty())
            qputenv("LANG", lang);
        QCOMPARE(EarlyProgramEnv(args, ProgramFile(), CurrentDir()).LanguageCode, expected);
    }

    void languageFromTheChosenConfigurationFile()
    {
        QVERIFY(WriteFile(Path(QStringLiteral("<cfg>/Arkivo6/Arkivo.cfg")), "[Language]\nLangID=it\n"));
        QVERIFY(
            WriteFile(Path(QStringLiteral("<root>/conf/Arkivo.cfg")), "\xEF\xBB\xBF[Language]\nLangID=nl\n"));
        const TProgramEnv env =
            EarlyProgramEnv({Path(QStringLiteral("/ini:<root>/conf/"))}, ProgramFile(), CurrentDir());
        QCOMPARE(env.LanguageCode, QStringLiteral("nl"));
    }

    void unreadableConfigurationFallsBackToLocale()
    {
        // A folder where the file should be cannot be read as one.
        QVERIFY(QDir().mkpath(Path(QStringLiteral("<cfg>/Arkivo6/Arkivo.cfg"))));
        qputenv("LANG", "fi_FI.UTF-8");
        QCOMPARE(EarlyProgramEnv({}, ProgramFile(), CurrentDir()).LanguageCode, QStringLiteral("fi"));
    }

    void localeLanguage_data()
    {
        QTest::addColumn<QByteArray>("lcAll");
        QTest::addColumn<QByteArray>("lcMessages");
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<QString>("expected");

        const QByteArray unset = "<unset>";
        QTest::newRow("none") << unset << unset << unset << "en";
        QTest::newRow("LANG") << unset << unset << QByteArray("de_DE.UTF-8") << "de";
        QTest::newRow("LC_MESSAGES before LANG")
            << unset << QByteArray("fr_FR") << QByteArray("de_DE") << "fr";
        QTest::newRow("LC_ALL before both")
            << QByteArray("it_IT") << QByteArray("fr_FR") << QByteArray("de_DE") << "it";
        QTest::newRow("empty ones do not count")
            << QByteArray("") << QByteArray("") << QByteArray("es_ES") << "es";
        QTest::newRow("C decides, it is no language")
            << QByteArray("C") << unset << QByteArray("de_DE.UTF-8") << "en";
        QTest::newRow("POSIX") << unset << QByteArray("POSIX") << QByteArray("de_DE") << "en";
        QTest::newRow("C.UTF-8") << unset << unset << QByteArray("C.UTF-8") << "en";
        QTest::newRow("language only") << unset << unset << QByteArray("nl") << "nl";
        QTest::newRow("modifier") << unset << unset << QByteArray("sr@latin") << "sr";
        QTest::newRow("three letters") << unset << unset << QByteArray("fil_PH") << "fi";
        QTest::newRow("upper case") << unset << unset << QByteArray("PL") << "pl";
        QTest::newRow("one letter") << unset << unset << QByteArray("x") << "en";
        QTest::newRow("not a language") << unset << unset << QByteArray("/usr/share/locale") << "en";
    }

    void localeLanguage()
    {
        QFETCH(QByteArray, lcAll);
        QFETCH(QByteArray, lcMessages);
        QFETCH(QByteArray, lang);
        QFETCH(QString, expected);
        const std::pair<const char *, QByteArray> values[] = {
            {"LC_ALL", lcAll}, {"LC_MESSAGES", lcMessages}, {"LANG", lang}};
        for (const auto &[name, value] : values) {
            if (value != "<unset>")
                qputenv(name, value);
        }
        QCOMPARE(LocaleLanguageCode(), expected);
    }

    void environmentReferences_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("variable") << "%AK_TEST_A%/conf"
                                  << "/a/conf";
        QTest::newRow("every occurrence") << "%AK_TEST_A%:%AK_TEST_A%"
                                          << "/a:/a";
        QTest::newRow("unset is empty") << "x%AK_TEST_UNSET%y"
                                        << "xy";
        QTest::newRow("names are case-sensitive") << "%ak_test_a%"
                                                  << "";
        QTest::newRow("empty name") << "a%%b"
                                    << "ab";
        QTest::newRow("lone percent") << "50%"
                                      << "50%";
        QTest::newRow("only a percent") << "%"
                                        << "%";
        QTest::newRow("unbalanced after a pair") << "%AK_TEST_A%/50%/x"
                                                 << "/a/50%/x";
        QTest::newRow("pairs from the left") << "a%b%AK_TEST_A%"
                                             << "aAK_TEST_A%";
        QTest::newRow("value with percents stays") << "%AK_TEST_PCT%"
                                                   << "%AK_TEST_A%";
        QTest::newRow("value naming itself stays")
            << "%AK_TEST_SELF%-%AK_TEST_SELF%"
            << "%AK_TEST_SELF%%AK_TEST_SELF%-%AK_TEST_SELF%%AK_TEST_SELF%";
    }

    void environmentReferences()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        qputenv("AK_TEST_A", "/a");
        qputenv("AK_TEST_PCT", "%AK_TEST_A%");
        qputenv("AK_TEST_SELF", "%AK_TEST_SELF%%AK_TEST_SELF%");
        QCOMPARE(ExpandEnvironmentReferences(text), expected);
    }

    void folders_data()
    {
        QTest::addColumn<QByteArray>("userDirs");
        QTest::addColumn<QString>("userPath");

        QTest::newRow("defaults") << QByteArray() << "~/Documents/";
        QTest::newRow("user-dirs.dirs")
            << QByteArray("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n") << "~/Dokumente/";
    }

    void folders()
    {
        QFETCH(QByteArray, userDirs);
        QFETCH(QString, userPath);
        if (!userDirs.isEmpty())
            QVERIFY(WriteFile(Path(QStringLiteral("<cfg>/user-dirs.dirs")), userDirs));
        const TProgramEnv env = FoldersSetUp();
        QCOMPARE(env.AppPath, Path(QStringLiteral("<cfg>/Arkivo6/")));
        QCOMPARE(env.UserPath, Path(userPath));
        QCOMPARE(env.JobDir, Path(userPath + QStringLiteral("Arkivo/")));
        QCOMPARE(env.ProgPath,
                 QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/..")) + u'/');
        // Only the INI folder is created, not the roaming one itself.
        QVERIFY(!QFileInfo::exists(env.AppPath));
    }

    void iniLocation_data()
    {
        QTest::addColumn<QString>("iniOption");
        QTest::addColumn<QString>("iniPath"); // the user's registry value
        QTest::addColumn<QString>("iniName");
        QTest::addColumn<QString>("aIniPath");
        QTest::addColumn<QString>("iniDir");

        QTest::newRow("default") << ""
                                 << ""
                                 << "<cfg>/Arkivo6/akstarter.ini"
                                 << ""
                                 << "<cfg>/Arkivo6/";
        QTest::newRow("registry folder") << ""
                                         << "<root>/settings"
                                         << "<root>/settings/akstarter.ini"
                                         << ""
                                         << "<root>/settings/";
        QTest::newRow("relative registry folder") << ""
                                                  << "Shared"
                                                  << "<cfg>/Shared/akstarter.ini"
                                                  << ""
                                                  << "<cfg>/Shared/";
        QTest::newRow("folder without extension") << "<root>/conf"
                                                  << ""
                                                  << "<root>/conf/akstarter.ini"
                                                  << "<root>/conf/"
                                                  << "<root>/conf/";
        QTest::newRow("folder with /") << "<root>/conf/"
                                       << ""
                                       << "<root>/conf/akstarter.ini"
                                       << "<root>/conf/"
                                       << "<root>/conf/";
        QTest::newRow("file") << "<root>/conf/my.ini"
                              << ""
                              << "<root>/conf/my.ini"
                              << "<root>/conf/"
                              << "<root>/conf/";
        QTest::newRow("dotted folder name is no extension") << "<root>/conf.d/sub"
                                                            << ""
                                                            << "<root>/conf.d/sub/akstarter.ini"
                                                            << "<root>/conf.d/sub/"
                                                            << "<root>/conf.d/sub/";
        QTest::newRow("full path") << "<root>/x/../conf//my.ini"
                                   << "<root>/settings"
                                   << "<root>/conf/my.ini"
                                   << "<root>/conf/"
                                   << "<root>/conf/";
        QTest::newRow("name in AppPath") << "my"
                                         << ""
                                         << "<cfg>/Arkivo6/my.ini"
                                         << ""
                                         << "<cfg>/Arkivo6/";
        QTest::newRow("name keeps IniDir") << "my"
                                           << "<root>/settings"
                                           << "<cfg>/Arkivo6/my.ini"
                                           << ""
                                           << "<root>/settings/";
        QTest::newRow("name with extension") << "my.conf"
                                             << ""
                                             << "<cfg>/Arkivo6/my.conf"
                                             << ""
                                             << "<cfg>/Arkivo6/";
        QTest::newRow("placeholder") << "%profile%/conf/"
                                     << ""
                                     << "~/conf/akstarter.ini"
                                     << "~/conf/"
                                     << "~/conf/";
        QTest::newRow("program folder placeholder") << "%PROGPATH%"
                                                    << ""
                                                    << "<prog>/akstarter.ini"
                                                    << "<prog>/"
                                                    << "<prog>/";
        QTest::newRow("expands to nothing") << "%user%"
                                            << ""
                                            << "<cfg>/Arkivo6/akstarter.ini"
                                            << ""
                                            << "<cfg>/Arkivo6/";
    }

    void iniLocation()
    {
        QFETCH(QString, iniOption);
        QFETCH(QString, iniPath);
        QFETCH(QString, iniName);
        QFETCH(QString, aIniPath);
        QFETCH(QString, iniDir);
        SetUserIniPath(iniPath);
        TProgramEnv env = FoldersSetUp();
        InitIniLocation(env, Path(iniOption));
        QCOMPARE(env.IniName, Path(iniName));
        QCOMPARE(env.AIniPath, Path(aIniPath));
        QCOMPARE(env.IniDir, Path(iniDir));
        QCOMPARE(env.BackupIniName, Path(iniDir) + QStringLiteral("arkivo.ini"));
    }

    void iniFolderIsCreatedOrAppPathTaken_data()
    {
        QTest::addColumn<QString>("iniPath");
        QTest::addColumn<QString>("iniDir");

        QTest::newRow("default") << ""
                                 << "<cfg>/Arkivo6/";
        QTest::newRow("with parents") << "<root>/a/b/c"
                                      << "<root>/a/b/c/";
        QTest::newRow("below a file") << "<root>/file/sub"
                                      << "<cfg>/Arkivo6/";
    }

    void iniFolderIsCreatedOrAppPathTaken()
    {
        QFETCH(QString, iniPath);
        QFETCH(QString, iniDir);
        QVERIFY(WriteFile(Path(QStringLiteral("<root>/file")), "x"));
        SetUserIniPath(iniPath);
        TProgramEnv env = FoldersSetUp();
        InitIniLocation(env, QString());
        QCOMPARE(env.IniDir, Path(iniDir));
        QVERIFY(QFileInfo(env.IniDir).isDir());
    }

    void programBaseNameNamesTheIniFile()
    {
        TProgramEnv env = EarlyProgramEnv({}, Path(QStringLiteral("<prog>/akstarter-test")), CurrentDir());
        InitFolders(env);
        InitIniLocation(env, QString());
        QCOMPARE(env.IniName, Path(QStringLiteral("<cfg>/Arkivo6/akstarter-test.ini")));
        InitIniLocation(env, Path(QStringLiteral("<root>/conf")));
        QCOMPARE(env.IniName, Path(QStringLiteral("<root>/conf/akstarter-test.ini")));
    }

    // "A" is the file in AppPath, "5" the previous version's, "T" one already in place.
    void migration_data()
    {
        QTest::addColumn<QString>("iniPath");
        QTest::addColumn<QString>("iniOption");
        QTest::addColumn<QString>("present");
        QTest::addColumn<QString>("expected");

        const QString settings = QStringLiteral("<root>/settings");
        QTest::newRow("from AppPath") << settings << ""
                                      << "A"
                                      << "A";
        QTest::newRow("AppPath before the old version") << settings << ""
                                                        << "A5"
                                                        << "A";
        QTest::newRow("from the old version") << settings << ""
                                              << "5"
                                              << "5";
        QTest::newRow("existing file stays") << settings << ""
                                             << "A5T"
                                             << "T";
        QTest::newRow("nothing to take over") << settings << ""
                                              << ""
                                              << "<none>";
        QTest::newRow("IniDir is AppPath: no migration") << ""
                                                         << ""
                                                         << "5"
                                                         << "<none>";
        QTest::newRow("ini option: no migration") << ""
                                                  << "<root>/settings/"
                                                  << "A5"
                                                  << "<none>";
    }

    void migration()
    {
        QFETCH(QString, iniPath);
        QFETCH(QString, iniOption);
        QFETCH(QString, present);
        QFETCH(QString, expected);
        SetUserIniPath(iniPath);
        const QString appFile = Path(QStringLiteral("<cfg>/Arkivo6/akstarter.ini"));
        const QString oldFile = Path(QStringLiteral("<cfg>/Arkivo5/akstarter.ini"));
        const QString target = Path(QStringLiteral("<root>/settings/akstarter.ini"));
        if (present.contains(u'A'))
            QVERIFY(WriteFile(appFile, "A"));
        if (present.contains(u'5'))
            QVERIFY(WriteFile(oldFile, "5"));
        if (present.contains(u'T'))
            QVERIFY(WriteFile(target, "T"));

        TProgramEnv env = FoldersSetUp();
        InitIniLocation(env, Path(iniOption));
        QCOMPARE(ReadText(env.IniName), expected);
        // Once only: a later start keeps the file even when the source has changed.
        if (present.contains(u'A'))
            QVERIFY(WriteFile(appFile, "changed"));
        InitIniLocation(env, Path(iniOption));
        QCOMPARE(ReadText(env.IniName), expected);
        // The sources are copied, never moved.
        QCOMPARE(QFileInfo::exists(appFile), present.contains(u'A'));
        QCOMPARE(QFileInfo::exists(oldFile), present.contains(u'5'));
    }

    void backupProgram_data()
    {
        QTest::addColumn<QStringList>("programs"); // executable files named arkivo
        QTest::addColumn<QString>("registered");   // the machine's registry value
        QTest::addColumn<QString>("expected");

        const QStringList everywhere{"<cwd>/arkivo", "<prog>/arkivo", "<root>/reg/arkivo",
                                     "<root>/path/arkivo"};
        QTest::newRow("current folder first") << everywhere << "<root>/reg/arkivo"
                                              << "<cwd>/arkivo";
        QTest::newRow("program folder") << everywhere.mid(1) << "<root>/reg/arkivo"
                                        << "<prog>/arkivo";
        QTest::newRow("registry") << everywhere.mid(2) << "<root>/reg/arkivo"
                                  << "<root>/reg/arkivo";
        QTest::newRow("PATH") << everywhere.mid(3) << "<root>/reg/arkivo"
                              << "<root>/path/arkivo";
        QTest::newRow("registered file missing") << QStringList{"<root>/path/arkivo"} << "<root>/reg/arkivo"
                                                 << "<root>/path/arkivo";
        QTest::newRow("nowhere") << QStringList() << ""
                                 << "";
        QTest::newRow("a folder is no program") << QStringList{"<cwd>/arkivo/x", "<prog>/arkivo"} << ""
                                                << "<prog>/arkivo";
    }

    void backupProgram()
    {
        QFETCH(QStringList, programs);
        QFETCH(QString, registered);
        QFETCH(QString, expected);
        for (const QString &program : programs)
            QVERIFY(WriteProgram(Path(program)));
        if (!registered.isEmpty()) {
            // The second configuration folder holds the machine's file.
            qputenv("XDG_CONFIG_DIRS", QFile::encodeName(Path(QStringLiteral("<etc>:<root>/etc2"))));
            QVERIFY(WriteFile(Path(QStringLiteral("<root>/etc2/Arkivo6/registry.ini")),
                              "[Software\\Arkivo6]\nProgram=" + Path(registered).toUtf8() + "\n"));
        }
        qputenv("PATH", QFile::encodeName(Path(QStringLiteral("<root>/nopath:<root>/path"))));
        QCOMPARE(FindBackupProgram(Path(QStringLiteral("<prog>/")), CurrentDir()), Path(expected));
    }

    void plainFileIsNoProgram()
    {
        QVERIFY(WriteFile(Path(QStringLiteral("<cwd>/arkivo")), "not executable"));
        QVERIFY(WriteProgram(Path(QStringLiteral("<prog>/arkivo"))));
        QCOMPARE(FindBackupProgram(Path(QStringLiteral("<prog>/")), CurrentDir()),
                 Path(QStringLiteral("<prog>/arkivo")));
    }

    void registry()
    {
        // The user's file is never taken for the machine's, and a broken one counts as empty.
        QVERIFY(WriteFile(Path(QStringLiteral("<cfg>/Arkivo6/registry.ini")),
                          "[Software\\Arkivo6]\nProgram=/user/arkivo\nIniPath=/user/ini\n"));
        QVERIFY(QDir().mkpath(Path(QStringLiteral("<etc>/Arkivo6/registry.ini"))));
        const QString key = QStringLiteral("Software\\Arkivo6");
        QCOMPARE(ReadRegistryString(rrLocalMachine, key, QStringLiteral("Program")), QString());
        QCOMPARE(ReadRegistryString(rrCurrentUser, key, QStringLiteral("iniPATH")),
                 QStringLiteral("/user/ini"));
        QCOMPARE(
            ReadRegistryString(rrCurrentUser, QStringLiteral("Software\\Other"), QStringLiteral("IniPath")),
            QString());

        qunsetenv("XDG_CONFIG_DIRS");
        QCOMPARE(RegistryFileNames(rrLocalMachine),
                 QStringList{QStringLiteral("/etc/xdg/Arkivo6/registry.ini")});
        qputenv("XDG_CONFIG_DIRS", "relative:/a/::/b/");
        QCOMPARE(RegistryFileNames(rrLocalMachine), (QStringList{QStringLiteral("/a/Arkivo6/registry.ini"),
                                                                 QStringLiteral("/b/Arkivo6/registry.ini")}));
    }

    void identity_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("progVersName");

        QTest::newRow("name and version") << VersionBlock("InternalName=Test Starter\nFileVersion=4.4.26.0\n")
                                          << "Test Starter (Version 4.4.26)";
        QTest::newRow("short version")
            << VersionBlock("InternalName=X\nFileVersion=5.1\n") << "X (Version 5.1)";
        QTest::newRow("no internal name")
            << VersionBlock("FileVersion=6.0.1.7\n") << "AkStarter (Version 6.0.1)";
        QTest::newRow("no file version") << VersionBlock("InternalName=X\n") << "X (Version 0.0.0)";
        QTest::newRow("no version block") << QByteArray("plain") << "AkStarter (Version  - Vers. 4.4)";
    }

    void identity()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, progVersName);
        QVERIFY(WriteFile(ProgramFile(), content));
        const QDateTime stamp(QDate(2024, 2, 29), QTime(12, 0));
        {
            QFile file(ProgramFile());
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
        }
        TProgramEnv env = EarlyProgramEnv({}, ProgramFile(), CurrentDir());
        InitIdentity(env);
        QCOMPARE(env.ProgVersName, progVersName);
        QCOMPARE(env.ProgVersDate, QLocale::system().toString(stamp.date(), QLocale::ShortFormat));
        QCOMPARE(env.PlatformSuffix,
                 QSysInfo::WordSize == 64 ? QStringLiteral(" - 64-bit") : QStringLiteral(" - 32-bit"));
    }

    void translationFollowsTheLanguageCode()
    {
        const QString msgfmt =
            QStandardPaths::findExecutable(QStringLiteral("msgfmt"), {QStringLiteral("/usr/bin")});
        if (msgfmt.isEmpty())
            QSKIP("msgfmt is not installed");
        const QString localeDir = Path(QStringLiteral("<root>/locale"));
        const QString po = Path(QStringLiteral("<root>/de.po"));
        QVERIFY(WriteFile(po, "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                              "msgid \"Version\"\nmsgstr \"Fassung\"\n"));
        QVERIFY(QDir().mkpath(localeDir + QStringLiteral("/de/LC_MESSAGES")));
        QCOMPARE(QProcess::execute(msgfmt, {QStringLiteral("-o"),
                                            localeDir + QStringLiteral("/de/LC_MESSAGES/akstarter.mo"), po}),
                 0);

        // The messages locale of a program started without locale settings, in which glibc
        // ignores LANGUAGE.
        QVERIFY(std::setlocale(LC_MESSAGES, "C"));
        qputenv("LANGUAGE", "fr");
        InitLanguage(QStringLiteral("de"), localeDir);
        QCOMPARE(Tr("Version"), QStringLiteral("Fassung"));
        QVERIFY(WriteFile(ProgramFile(), VersionBlock("InternalName=X\nFileVersion=1.2.3.4\n")));
        TProgramEnv env = EarlyProgramEnv({}, ProgramFile(), CurrentDir());
        InitIdentity(env);
        QCOMPARE(env.ProgVersName, QStringLiteral("X (Fassung 1.2.3)"));

        InitLanguage(QStringLiteral("fr"), localeDir);
        QCOMPARE(Tr("Version"), QStringLiteral("Version"));
        InitLanguage(QStringLiteral("en"), DefaultLocaleDir());
    }

    // The start-up as main() runs it, on this test's own executable and folders.
    void startUpFromTheRunningProgram()
    {
        const TProgramEnv saved = ProgramEnv();
        StartProgramEnv({QStringLiteral("/lang:xx")});
        CompleteProgramEnv(QString());
        const TProgramEnv env = ProgramEnv();
        SetProgramEnv(saved);
        const QFileInfo program(QCoreApplication::applicationFilePath());
        QCOMPARE(env.ProgramDir, program.path() + u'/');
        QCOMPARE(env.ProgramBaseName, program.fileName());
        QCOMPARE(env.LanguageCode, QStringLiteral("xx"));
        QCOMPARE(env.IniName,
                 Path(QStringLiteral("<cfg>/Arkivo6/")) + program.fileName() + QStringLiteral(".ini"));
        QVERIFY(env.ProgVersName.startsWith(QStringLiteral("AkStarter (Version ")));
    }
};

QTEST_GUILESS_MAIN(TestProgramEnv)
#include "tst_programenv.moc"
