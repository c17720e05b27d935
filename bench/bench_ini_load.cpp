// Loading and saving a large starter configuration with our INI document, against
// QSettings reading the same data from a UTF-8 INI file. Goal: ours takes at most half
// the time of QSettings.

#include "config/UnicodeIniFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int GroupCount = 1000;
constexpr int TasksPerGroup = 50;
constexpr int Rounds = 7;

struct TEntry
{
    QString Key;
    QString Value;
};
struct TGroup
{
    QString Name;
    std::vector<TEntry> Entries;
};

// Group sections as the starter writes them: account, run options and the task paths.
std::vector<TGroup> BuildConfiguration()
{
    std::vector<TGroup> groups;
    for (int g = 0; g < GroupCount; ++g) {
        TGroup group{QStringLiteral("Group %1").arg(g, 4, 10, QLatin1Char('0')), {}};
        group.Entries.push_back({QStringLiteral("User"), QStringLiteral("backup%1").arg(g % 7)});
        group.Entries.push_back(
            {QStringLiteral("Password"), QStringLiteral("%1").arg(g * 7919, 32, 16, QLatin1Char('a'))});
        group.Entries.push_back({QStringLiteral("Options"), QString::number(g % 64)});
        group.Entries.push_back({QStringLiteral("Mode"), QString::number(g % 3)});
        for (int t = 0; t < TasksPerGroup; ++t)
            group.Entries.push_back({QStringLiteral("Task%1").arg(t, 2, 10, QLatin1Char('0')),
                                     QStringLiteral("1|/home/user%1/Documents/Backup tasks/Daily task %2.buj")
                                         .arg(g % 13)
                                         .arg(t)});
        groups.push_back(std::move(group));
    }
    return groups;
}

// Median of several rounds, in milliseconds; `prepare` runs untimed before each round.
double MedianMs(const std::function<void(int)> &prepare, const std::function<void(int)> &run)
{
    std::vector<double> times;
    for (int round = 0; round < Rounds; ++round) {
        prepare(round);
        QElapsedTimer timer;
        timer.start();
        run(round);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    const std::vector<TGroup> groups = BuildConfiguration();
    const qsizetype expectedValues = qsizetype(groups.size()) * qsizetype(groups.front().Entries.size());

    const QString ourFile = dir.filePath("akstarter.ini");
    {
        auto ini = TUnicodeIniFile::CreateForWrite(ourFile, true);
        for (const TGroup &group : groups)
            for (const TEntry &entry : group.Entries)
                ini->WriteString(group.Name, entry.Key, entry.Value);
        ini->Close();
    }
    const QString qtFile = dir.filePath("qsettings.ini");
    {
        QSettings settings(qtFile, QSettings::IniFormat);
        for (const TGroup &group : groups) {
            settings.beginGroup(group.Name);
            for (const TEntry &entry : group.Entries)
                settings.setValue(entry.Key, entry.Value);
            settings.endGroup();
        }
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            std::fprintf(stderr, "QSettings could not write its file\n");
            return 1;
        }
    }

    // Each round reads a fresh copy, so that neither side profits from a cache of the
    // parsed file (QSettings keeps one per file name).
    auto copyOf = [&](const QString &source, const QString &stem, int round) {
        const QString name = dir.filePath(stem + QString::number(round) + ".ini");
        QFile::remove(name);
        QFile::copy(source, name);
        return name;
    };

    qsizetype ourValues = 0;
    const double ourLoad = MedianMs(
        [&](int round) { copyOf(ourFile, "ours", round); },
        [&](int round) {
            ourValues = 0;
            auto ini = TUnicodeIniFile::CreateForRead(dir.filePath("ours" + QString::number(round) + ".ini"));
            for (const QString &section : ini->ReadSections()) {
                if (section == QLatin1String("Unicode"))
                    continue;
                for (const QString &key : ini->ReadSection(section))
                    ourValues += ini->ReadString(section, key, QString()).isEmpty() ? 0 : 1;
            }
        });

    qsizetype qtValues = 0;
    const double qtLoad = MedianMs(
        [&](int round) { copyOf(qtFile, "qt", round); },
        [&](int round) {
            qtValues = 0;
            QSettings settings(dir.filePath("qt" + QString::number(round) + ".ini"), QSettings::IniFormat);
            for (const QString &group : settings.childGroups()) {
                settings.beginGroup(group);
                for (const QString &key : settings.childKeys())
                    qtValues += settings.value(key).toString().isEmpty() ? 0 : 1;
                settings.endGroup();
            }
        });

    // Saving: the starter's save path, load for writing, then write the whole file.
    std::vector<std::unique_ptr<TUnicodeIniFile>> loaded(Rounds);
    const double ourSave = MedianMs(
        [&](int round) {
            loaded[size_t(round)] = TUnicodeIniFile::CreateForWrite(copyOf(ourFile, "save", round), false);
        },
        [&](int round) { loaded[size_t(round)]->Close(); });

    if (ourValues != expectedValues || qtValues != expectedValues) {
        std::fprintf(stderr, "value count mismatch: ours %lld, QSettings %lld, expected %lld\n",
                     (long long)ourValues, (long long)qtValues, (long long)expectedValues);
        return 1;
    }
    std::printf("configuration: %d groups x %d entries, %lld bytes UTF-16LE, %lld bytes UTF-8 (QSettings)\n",
                GroupCount, int(groups.front().Entries.size()), (long long)QFile(ourFile).size(),
                (long long)QFile(qtFile).size());
    std::printf("load + read every value  TUnicodeIniFile %8.2f ms   QSettings %8.2f ms   ratio %.2f (goal "
                "<= 0.50)\n",
                ourLoad, qtLoad, ourLoad / qtLoad);
    std::printf("save (write, fsync, rename)  TUnicodeIniFile %8.2f ms\n", ourSave);
    return 0;
}
