#include "backup/Placeholders.h"

#include "config/ProgramEnv.h"
#include "support/EnvironmentGuard.h"
#include "util/SystemInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

class TestPlaceholders final : public QObject
{
    Q_OBJECT

    std::optional<TestSupport::TEnvironmentGuard> FEnvironment;
    QTemporaryDir FDir;
    QString FHome;

    // "~" stands for the test's home folder, "<prefix>" for the installation prefix, "<user>"
    // and "<host>" for the user and computer names.
    QString Expand(QString text) const
    {
        return text.replace(u'~', FHome)
            .replace(QStringLiteral("<prefix>"),
                     QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/..")))
            .replace(QStringLiteral("<user>"), GetUserLogonName())
            .replace(QStringLiteral("<host>"), GetComputerNameText());
    }

    void UseHome(const QString &home)
    {
        FHome = home;
        QVERIFY(QDir().mkpath(FHome));
        qputenv("HOME", QFile::encodeName(FHome));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(FHome + QStringLiteral("/cfg")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(FHome + QStringLiteral("/data")));
    }

private slots:
    void initTestCase() { QVERIFY(FDir.isValid()); }

    void init()
    {
        FEnvironment.emplace({"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"});
        UseHome(FDir.filePath(QStringLiteral("home")));
    }

    void cleanup() { FEnvironment.reset(); }

    void folders_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("no placeholder") << "/conf/my.ini"
                                        << "/conf/my.ini";
        QTest::newRow("documents") << "%perspath%/ini"
                                   << "~/Documents/ini";
        QTest::newRow("roaming, any case") << "%AppPath%|%APPDATA%"
                                           << "~/cfg|~/cfg";
        QTest::newRow("profile") << "%profile%|%userprofile%"
                                 << "~|~";
        QTest::newRow("desktop") << "%desktop%"
                                 << "~/Desktop";
        QTest::newRow("no favourites") << "[%favorites%]"
                                       << "[]";
        QTest::newRow("program files, every variant")
            << "%progfiles%|%programfiles%|%commonprogramfiles%|%programfiles(x86)%|%commonprogramfiles(x86)%"
            << "<prefix>|<prefix>|<prefix>|<prefix>|<prefix>";
        QTest::newRow("program folder without its /") << "%progpath%/akstarter.ini"
                                                      << "/opt/ak/bin/akstarter.ini";
        QTest::newRow("names") << "%username%@%computername%"
                               << "<user>@<host>";
        QTest::newRow("user and computer are removed") << "a%user%b%COMPUTER%c"
                                                       << "abc";
        QTest::newRow("local data") << "%localappdata%"
                                    << "~/data";
        QTest::newRow("machine data") << "%allusersprofile%|%programdata%"
                                      << "/var/lib|/var/lib";
        QTest::newRow("public") << "%public%"
                                << "~/Public";
        QTest::newRow("every occurrence") << "%profile%:%PROFILE%:%Profile%"
                                          << "~:~:~";
        QTest::newRow("unknown and misspelt words stay") << "%prfile%/%temp%/%date%/50%"
                                                         << "%prfile%/%temp%/%date%/50%";
        QTest::newRow("half a placeholder stays") << "%profile/profile%"
                                                  << "%profile/profile%";
    }

    void folders()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ExpandFolderPlaceholders(text, QStringLiteral("/opt/ak/bin/")), Expand(expected));
    }

    // The kinds are replaced in a fixed order, each over the whole text: a folder that
    // holds a later placeholder is expanded again, one holding an earlier one is not.
    void replacementsMeetLaterPlaceholdersOnly_data()
    {
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        QTest::newRow("later in the same list") << "a%user%b"
                                                << "%profile%"
                                                << "/ab";
        QTest::newRow("in the second list") << "a%public%b"
                                            << "%desktop%"
                                            << "/a~/Publicb/Desktop";
        QTest::newRow("earlier in the list") << "a%profile%b"
                                             << "%userprofile%"
                                             << "/a%profile%b";
    }

    void replacementsMeetLaterPlaceholdersOnly()
    {
        QFETCH(QString, home);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const QString base = FDir.filePath(QStringLiteral("odd"));
        UseHome(base + u'/' + home);
        // "~" in the expectation is the home folder itself, which holds the placeholder.
        QCOMPARE(ExpandFolderPlaceholders(text, QString()), base + expected.replace(u'~', FHome));
    }

    void programFolderComesFromTheProgramEnvironment()
    {
        const TProgramEnv saved = ProgramEnv();
        TProgramEnv env;
        env.ProgramDir = QStringLiteral("/usr/lib/akstarter/");
        SetProgramEnv(env);
        const QString expanded = ExpandFolderPlaceholders(QStringLiteral("%ProgPath%/x.ini"));
        SetProgramEnv(saved);
        QCOMPARE(expanded, QStringLiteral("/usr/lib/akstarter/x.ini"));
    }
};

QTEST_GUILESS_MAIN(TestPlaceholders)
#include "tst_placeholders.moc"
