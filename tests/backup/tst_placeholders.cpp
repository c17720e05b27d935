#include "backup/Placeholders.h"

#include "config/ProgramEnv.h"
#include "support/EnvironmentGuard.h"
#include "util/Clock.h"
#include "util/SystemInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <optional>
#include <utility>

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

    void cleanup()
    {
        FEnvironment.reset();
        SetFixedNow(QDateTime());
    }

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

    // ---- Dates, counters and times ----------------------------------------------------

    void dates_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        // A Tuesday, day 65 of the year, in ISO week 10.
        const QDateTime tuesday(QDate(2024, 3, 5), QTime(10, 7, 9));
        QTest::newRow("date in any case") << tuesday << 1 << "%date%|%DATE%|%Date%"
                                          << "2024-03-05|2024-03-05|2024-03-05";
        QTest::newRow("misspelt or unknown words stay") << tuesday << 1 << "%dat%|%date|%temp%|%yam%|%dest%"
                                                        << "%dat%|%date|%temp%|%yam%|%dest%";
        QTest::newRow("numbers of the date")
            << tuesday << 1 << "%dnw%|%day%|%week%|%dom%|%wom%|%month%|%year%"
            << "2|065|10|05|1|03|2024";
        QTest::newRow("times") << tuesday << 1 << "%time%|%hour%|%minute%"
                               << "100709|10|07";
        QTest::newRow("padding") << QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)) << 1
                                 << "%day%|%dom%|%month%|%hour%|%minute%|%time%"
                                 << "002|02|01|03|04|030405";
        QTest::newRow("names") << tuesday << 1 << "%user%@%computer%|%UserName%@%computername%"
                               << "<user>@<host>|<user>@<host>";
        QTest::newRow("volume and mode are removed") << tuesday << 1 << "a%volume%b%MODE%c"
                                                     << "abc";
        QTest::newRow("last day of a leap year")
            << QDateTime(QDate(2024, 12, 31), QTime(0, 0)) << 1 << "%day%"
            << "366";
        // 2 January 2021 is a Saturday in week 53 of 2020.
        QTest::newRow("January in the previous year's last week")
            << QDateTime(QDate(2021, 1, 2), QTime(0, 0)) << 1 << "%yaw%|%week%|%year%"
            << "2020-53|53|2021";
        QTest::newRow("January in its own first weeks")
            << QDateTime(QDate(2024, 1, 10), QTime(0, 0)) << 1 << "%yaw%"
            << "2024-02";
        // 30 December 2024 is a Monday in week 1 of 2025.
        QTest::newRow("December in the next year's first week")
            << QDateTime(QDate(2024, 12, 30), QTime(0, 0)) << 1 << "%yaw%|%week%|%year%"
            << "2025-01|01|2024";
        // Weeks belong to the month of their Thursday.
        QTest::newRow("month beginning on a Friday")
            << QDateTime(QDate(2024, 3, 1), QTime(0, 0)) << 1 << "%wom%"
            << "5";
        QTest::newRow("first Monday of a month") << QDateTime(QDate(2024, 3, 4), QTime(0, 0)) << 1 << "%wom%"
                                                 << "1";
        QTest::newRow("last Sunday of a month") << QDateTime(QDate(2024, 3, 31), QTime(0, 0)) << 1 << "%wom%"
                                                << "4";

        QTest::newRow("count cycling through 3") << tuesday << 7 << "%v#3%"
                                                 << "1";
        QTest::newRow("two digits from 10") << tuesday << 7 << "%v#10%"
                                            << "07";
        QTest::newRow("three digits from 100") << tuesday << 7 << "%v#100%"
                                               << "007";
        QTest::newRow("a wider value in full") << tuesday << 1234 << "%v#5000%"
                                               << "1234";
        QTest::newRow("counter in any case") << tuesday << 7 << "%V#3%"
                                             << "1";
        QTest::newRow("cycle that is no number") << tuesday << 7 << "[%v#x%]"
                                                 << "[]";
        QTest::newRow("cycle of 0") << tuesday << 7 << "[%v#0%]"
                                    << "[]";
        QTest::newRow("negative cycle") << tuesday << 7 << "[%v#-3%]"
                                        << "[]";
        QTest::newRow("first token of a form decides") << tuesday << 7 << "%v#3%-%v#10%-%v#3%"
                                                       << "1-%v#10%-1";
        QTest::newRow("day, week, month and count") << tuesday << 7 << "%d#7%|%w#4%|%M#12%|%v#2%"
                                                    << "2|2|03|1";
        QTest::newRow("no counters for count 0") << tuesday << 0 << "%v#3%|%d#7%"
                                                 << "%v#3%|%d#7%";
        QTest::newRow("question marks removed without counters") << tuesday << 0 << "a%d#?%%w#?%%m#?%%v#?%b"
                                                                 << "ab";
        QTest::newRow("counter without its closing %") << tuesday << 7 << "x%v#3"
                                                       << "x%v#3";
        QTest::newRow("% at the end") << tuesday << 7 << "50%"
                                      << "50%";
        // Counters come before times: a cycle whose text is a later placeholder is read as
        // that placeholder's text.
        QTest::newRow("kinds in their order") << tuesday << 7 << "%v#%time%"
                                              << "time%";
    }

    void dates()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, count);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        SetFixedNow(now);
        QCOMPARE(ExpandDatePlaceholders(text, count), Expand(expected));
    }

    // Day and month names come from the locale's time category, without any ".".
    void localeNames_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QString>("expected");

        QTest::newRow("C") << QByteArray("C") << QStringLiteral("Mon|Monday|March");
        QTest::newRow("German") << QByteArray("de_DE.UTF-8") << QStringLiteral("Mo|Montag|März");
        QTest::newRow("German in Latin-1")
            << QByteArray("de_DE.ISO-8859-1") << QStringLiteral("Mo|Montag|März");
        QTest::newRow("French abbreviation without its dot")
            << QByteArray("fr_FR.UTF-8") << QStringLiteral("lun|lundi|mars");
        // Polish writes a date's month in the genitive ("marca"); the name alone is "marzec".
        QTest::newRow("Polish month on its own")
            << QByteArray("pl_PL.UTF-8") << QStringLiteral("pon|poniedziałek|marzec");
    }

    void localeNames()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QString, expected);
        const QByteArray saved = std::setlocale(LC_TIME, nullptr);
        const auto restore = qScopeGuard([&] { std::setlocale(LC_TIME, saved.constData()); });
        if (!std::setlocale(LC_TIME, locale.constData()))
            QSKIP("The locale is not installed (package locales-all)");
        SetFixedNow(QDateTime(QDate(2024, 3, 4), QTime(12, 0)));
        QCOMPARE(ExpandDatePlaceholders(QStringLiteral("%dow%|%ldow%|%lmonth%"), 1), expected);
    }

    // ---- Destinations -----------------------------------------------------------------

    void destinations_data()
    {
        QTest::addColumn<QString>("volume");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        QTest::newRow("volume") << "Disk1"
                                << "/b/%volume%/%VOLUME%"
                                << "/b/Disk1/Disk1";
        QTest::newRow("empty volume") << ""
                                      << "/b/%volume%/x"
                                      << "/b//x";
        QTest::newRow("environment variable") << ""
                                              << "%evar(TEMP)%/bk"
                                              << "/var/tmp/ak/bk";
        QTest::newRow("keyword in any case") << ""
                                             << "%EVAR(AK_PH_A)%"
                                             << "alpha";
        QTest::newRow("variable names keep their case") << ""
                                                        << "%evar(ak_ph_a)%"
                                                        << "%evar(ak_ph_a)%";
        QTest::newRow("unset variable stays") << ""
                                              << "%evar(AK_PH_UNSET)%"
                                              << "%evar(AK_PH_UNSET)%";
        QTest::newRow("empty variable stays") << ""
                                              << "%evar(AK_PH_EMPTY)%"
                                              << "%evar(AK_PH_EMPTY)%";
        QTest::newRow("without parentheses") << ""
                                             << "%evar%|%evarAK_PH_A%|%evar(AK_PH_A%"
                                             << "%evar%|%evarAK_PH_A%|%evar(AK_PH_A%";
        QTest::newRow("text after the name") << ""
                                             << "%evar(AK_PH_A)x%"
                                             << "alpha";
        QTest::newRow("every occurrence, also between the scan's tokens")
            << ""
            << "%evar(AK_PH_A)%%x%evar(AK_PH_A)%"
            << "alpha%xalpha";
        QTest::newRow("token only between the scan's tokens") << ""
                                                              << "%x%evar(AK_PH_A)%"
                                                              << "%x%evar(AK_PH_A)%";
        QTest::newRow("a value naming itself is not expanded again") << ""
                                                                     << "[%evar(AK_PH_LOOP)%]"
                                                                     << "[%evar(AK_PH_LOOP)%]";
        QTest::newRow("a value meets the date placeholders") << ""
                                                             << "%evar(AK_PH_DATE)%"
                                                             << "2024-03-05/%evar(AK_PH_A)%";
        QTest::newRow("a volume meets the later kinds") << "%evar(AK_PH_A)%-%date%"
                                                        << "%volume%"
                                                        << "alpha-2024-03-05";
        QTest::newRow("a lone % ends the scan") << ""
                                                << "%evar(AK_PH_A)%50%"
                                                << "alpha50%";
        QTest::newRow("counter and time") << ""
                                          << "/b/%v#3%/%time%"
                                          << "/b/1/100709";
    }

    void destinations()
    {
        QFETCH(QString, volume);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        TestSupport::TEnvironmentGuard guard(
            {"TEMP", "AK_PH_A", "AK_PH_EMPTY", "AK_PH_UNSET", "AK_PH_LOOP", "AK_PH_DATE", "ak_ph_a"});
        qputenv("TEMP", "/var/tmp/ak");
        qputenv("AK_PH_A", "alpha");
        qputenv("AK_PH_EMPTY", "");
        qunsetenv("AK_PH_UNSET");
        qunsetenv("ak_ph_a");
        qputenv("AK_PH_LOOP", "%evar(AK_PH_LOOP)%");
        qputenv("AK_PH_DATE", "%date%/%evar(AK_PH_A)%");
        SetFixedNow(QDateTime(QDate(2024, 3, 5), QTime(10, 7, 9)));
        QCOMPARE(ExpandDestPlaceholders(text, volume, 7), expected);
    }

    // ---- Log names ----------------------------------------------------------------------

    void logNames_data()
    {
        QTest::addColumn<QString>("dest");
        QTest::addColumn<QString>("logName");
        QTest::addColumn<QString>("expected");

        QTest::newRow("date and time") << ""
                                       << "%date%_%TIME%.log"
                                       << "2024-03-05_100709.log";
        QTest::newRow("year with week and month") << ""
                                                  << "%yaw%|%yam%|%year%"
                                                  << "2024-10|2024-03|2024";
        QTest::newRow("names") << ""
                               << "%username%@%computername%"
                               << "<user>@<host>";
        QTest::newRow("destination as given") << "/srv/bk"
                                              << "%dest%/x.log"
                                              << "/srv/bk/x.log";
        QTest::newRow("placeholders of earlier kinds in the destination stay") << "/srv/%date%-%drive%"
                                                                               << "%dest%"
                                                                               << "/srv/%date%-";
        QTest::newRow("drive of the root file system") << "/"
                                                       << "%drive%/logs"
                                                       << "/logs";
        QTest::newRow("drive of a mount") << "/proc/self"
                                          << "%drive%/x"
                                          << "/proc/x";
        QTest::newRow("no drive of a relative destination") << "bk/x"
                                                            << "[%drive%]"
                                                            << "[]";
        QTest::newRow("no volume of a pseudo file system") << "/proc/self"
                                                           << "[%volume%]"
                                                           << "[]";
        QTest::newRow("no volume of a missing label") << ":AkNoSuchLabel:/x"
                                                      << "[%volume%]"
                                                      << "[]";
        QTest::newRow("placeholders of other lists stay") << ""
                                                          << "%dow%|%user%|%taskname%|%mode%|%v#3%"
                                                          << "%dow%|%user%|%taskname%|%mode%|%v#3%";
    }

    void logNames()
    {
        QFETCH(QString, dest);
        QFETCH(QString, logName);
        QFETCH(QString, expected);
        SetFixedNow(QDateTime(QDate(2024, 3, 5), QTime(10, 7, 9)));
        QCOMPARE(ExpandLogPlaceholders(logName, dest), Expand(expected));
    }

    // ---- Bad input ----------------------------------------------------------------------

    // Expansion is linear in the text's length: QBENCHMARK shows the time, the result is
    // checked.
    void largeTexts_data()
    {
        QTest::addColumn<bool>("logName");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        // A text of at least 1 MB made of pattern, and its expansion made of the same
        // number of copies of expanded.
        const auto megabyte = [](const QString &pattern, const QString &expanded) {
            const qsizetype copies = (1 << 20) / pattern.size() + 1;
            return std::pair(pattern.repeated(copies), expanded.repeated(copies));
        };
        const QString percents(100000, u'%');
        QTest::newRow("100,000 % in a destination") << false << percents << percents;
        QTest::newRow("100,000 % in a log name") << true << percents << percents;
        const auto placeholders =
            megabyte(QStringLiteral("%date%%V#3%%time%|"), QStringLiteral("2024-03-051100709|"));
        QTest::newRow("1 MB of placeholders") << false << placeholders.first << placeholders.second;
        const auto tokens = megabyte(QStringLiteral("%evar(AK_PH_A)%"), QStringLiteral("alpha"));
        QTest::newRow("1 MB of environment tokens") << false << tokens.first << tokens.second;
        // Each token is another text for the same variable.
        QString distinct;
        QString distinctExpected;
        for (int i = 0; distinct.size() < (1 << 20); ++i) {
            distinct += QStringLiteral("%evar(AK_PH_A)") + QString::number(i) + u'%';
            distinctExpected += QStringLiteral("alpha");
        }
        QTest::newRow("1 MB of distinct tokens") << false << distinct << distinctExpected;
        const auto counters = megabyte(QStringLiteral("%v#3%%d#?%"), QStringLiteral("1"));
        QTest::newRow("1 MB of counters") << false << counters.first << counters.second;
        const auto logNames = megabyte(QStringLiteral("%date%%dest%%drive%"), QStringLiteral("2024-03-05/"));
        QTest::newRow("1 MB of log placeholders") << true << logNames.first << logNames.second;
    }

    void largeTexts()
    {
        QFETCH(bool, logName);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        TestSupport::TEnvironmentGuard guard({"AK_PH_A"});
        qputenv("AK_PH_A", "alpha");
        SetFixedNow(QDateTime(QDate(2024, 3, 5), QTime(10, 7, 9)));
        QString result;
        QBENCHMARK_ONCE
        {
            result = logName ? ExpandLogPlaceholders(text, QStringLiteral("/"))
                             : ExpandDestPlaceholders(text, QString(), 7);
        }
        QCOMPARE(result, expected);
    }
};

QTEST_GUILESS_MAIN(TestPlaceholders)
#include "tst_placeholders.moc"
