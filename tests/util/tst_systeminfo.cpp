#include "util/SystemInfo.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

// Standard output of a command, trimmed; the test fails when it cannot run.
QString CommandOutput(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return QStringLiteral("<%1 failed>").arg(program);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

const char *const kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"};

} // namespace

class TestSystemInfo final : public QObject
{
    Q_OBJECT

    QHash<QByteArray, std::optional<QByteArray>> FSavedEnv;

private slots:
    void init()
    {
        for (const char *name : kVariables)
            FSavedEnv[name] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    }

    void cleanup()
    {
        for (auto it = FSavedEnv.cbegin(); it != FSavedEnv.cend(); ++it) {
            if (it.value())
                qputenv(it.key(), *it.value());
            else
                qunsetenv(it.key());
        }
    }

    void namesMatchTheSystemTools()
    {
        const QString user = CommandOutput(QStringLiteral("id"), {QStringLiteral("-un")});
        QCOMPARE(GetUserLogonName(), user);
        QCOMPARE(GetDomainUserName(), user);
        const QString host = CommandOutput(QStringLiteral("uname"), {QStringLiteral("-n")});
        QCOMPARE(GetComputerNameText(), host.section(u'.', 0, 0));
        QVERIFY(!GetComputerNameText().contains(u'.'));
    }

    void profileFallsBackToPasswordDatabase()
    {
        const QString passwd =
            CommandOutput(QStringLiteral("getent"), {QStringLiteral("passwd"), QString::number(geteuid())});
        const QString home = QDir::cleanPath(passwd.section(u':', 5, 5));
        QVERIFY(!home.isEmpty());

        qunsetenv("HOME");
        QCOMPARE(GetUserProfileFolder(), home);
        qputenv("HOME", "");
        QCOMPARE(GetUserProfileFolder(), home);
        qputenv("HOME", "/some/where/");
        QCOMPARE(GetUserProfileFolder(), QStringLiteral("/some/where"));
    }

    // "~" in the table stands for the temporary home folder of the test.
    void folders_data()
    {
        QTest::addColumn<QString>("configHome");
        QTest::addColumn<QString>("dataHome");
        QTest::addColumn<QString>("userDirs");
        QTest::addColumn<QString>("appData");
        QTest::addColumn<QString>("localAppData");
        QTest::addColumn<QString>("documents");
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QString>("publicDir");

        QTest::newRow("defaults") << ""
                                  << ""
                                  << ""
                                  << "~/.config"
                                  << "~/.local/share"
                                  << "~/Documents"
                                  << "~/Desktop"
                                  << "~/Public";
        QTest::newRow("XDG variables") << "~/cfg/"
                                       << "~/data"
                                       << ""
                                       << "~/cfg"
                                       << "~/data"
                                       << "~/Documents"
                                       << "~/Desktop"
                                       << "~/Public";
        QTest::newRow("relative XDG variables ignored") << "cfg"
                                                        << "data"
                                                        << ""
                                                        << "~/.config"
                                                        << "~/.local/share"
                                                        << "~/Documents"
                                                        << "~/Desktop"
                                                        << "~/Public";
        QTest::newRow("user-dirs.dirs") << ""
                                        << ""
                                        << "# written by xdg-user-dirs-update\n"
                                           "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                                           "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
                                           "XDG_PUBLICSHARE_DIR=\"/srv/Öffentlich\"\n"
                                        << "~/.config"
                                        << "~/.local/share"
                                        << "~/Dokumente"
                                        << "~/Schreibtisch"
                                        << "/srv/Öffentlich";
        QTest::newRow("user-dirs.dirs below XDG_CONFIG_HOME") << "~/cfg"
                                                              << ""
                                                              << "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n"
                                                              << "~/cfg"
                                                              << "~/.local/share"
                                                              << "~/Docs"
                                                              << "~/Desktop"
                                                              << "~/Public";
        QTest::newRow("escapes, home itself, last line wins")
            << ""
            << ""
            << "XDG_DOCUMENTS_DIR=\"$HOME/first\"\n"
               "  XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"  \n"
               "XDG_DESKTOP_DIR=\"$HOME/\"\n"
            << "~/.config"
            << "~/.local/share"
            << "~/My \"Docs\""
            << "~"
            << "~/Public";
        QTest::newRow("malformed lines ignored") << ""
                                                 << ""
                                                 << "XDG_DOCUMENTS_DIR=\"$HOME/unclosed\n"
                                                    "XDG_DESKTOP_DIR=relative/path\n"
                                                    "XDG_PUBLICSHARE_DIR=\"shared\"\n"
                                                    "XDG_DOCUMENTS_DIR=\"$HOMEX/wrong\"\n"
                                                 << "~/.config"
                                                 << "~/.local/share"
                                                 << "~/Documents"
                                                 << "~/Desktop"
                                                 << "~/Public";
    }

    void folders()
    {
        QFETCH(QString, configHome);
        QFETCH(QString, dataHome);
        QFETCH(QString, userDirs);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const auto expand = [&](QString path) { return path.replace(u'~', home.path()); };
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(expand(configHome)));
        qputenv("XDG_DATA_HOME", QFile::encodeName(expand(dataHome)));
        if (!userDirs.isEmpty()) {
            const QString configDir =
                configHome.isEmpty() ? expand(QStringLiteral("~/.config")) : expand(configHome);
            QVERIFY(QDir().mkpath(configDir));
            QVERIFY(TestSupport::WriteAll(configDir + QStringLiteral("/user-dirs.dirs"), userDirs.toUtf8()));
        }

        QCOMPARE(GetUserProfileFolder(), home.path());
        QFETCH(QString, appData);
        QFETCH(QString, localAppData);
        QFETCH(QString, documents);
        QFETCH(QString, desktop);
        QFETCH(QString, publicDir);
        QCOMPARE(GetAppDataFolder(), expand(appData));
        QCOMPARE(GetLocalAppDataFolder(), expand(localAppData));
        QCOMPARE(GetDocumentsFolder(), expand(documents));
        QCOMPARE(GetDesktopFolder(), expand(desktop));
        QCOMPARE(GetPublicFolder(), expand(publicDir));
        QCOMPARE(GetFavoritesFolder(), QString());
    }

    void programAndMachine()
    {
        // The program's folder lies directly below the program-files folder.
        const QString programDir = QCoreApplication::applicationDirPath();
        QCOMPARE(QDir::cleanPath(programDir + QStringLiteral("/..")), GetProgramFilesFolder());
        QCOMPARE(GetAllUsersFolder(), QStringLiteral("/var/lib"));

        QCOMPARE(IsProcess64(), QSysInfo::WordSize == 64);
        // A 64-bit process cannot run on a 32-bit kernel.
        if (IsProcess64())
            QVERIFY(IsWindows64());
    }
};

QTEST_GUILESS_MAIN(TestSystemInfo)
#include "tst_systeminfo.moc"
