// Loading and saving a configuration of 1,000 groups with 50 task files each, every group
// with a stored password. Every load decrypts 1,000 passwords and every save encrypts
// 1,000, so the baseline is that many PBKDF2-HMAC-SHA1 derivations (the floor of the
// password format) called directly on libcrypto in the same run.
// Usage: bench_config_load [rounds]

#include "config/StarterConfig.h"
#include "mail/PasswordCrypt.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

constexpr int kGroups = 1000;
constexpr int kTasksPerGroup = 50;

double BestMs(const std::function<bool()> &work, int rounds)
{
    double best = 0;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        if (!work()) {
            std::fprintf(stderr, "round %d failed\n", round);
            std::exit(1);
        }
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        best = round == 0 ? elapsed.count() : std::min(best, elapsed.count());
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    // The loader drops task files that do not exist, so the entries name real files.
    QStringList taskFiles;
    for (int j = 0; j < kTasksPerGroup; ++j) {
        const QString name = dir.filePath(QStringLiteral("Backup task %1.buj").arg(j));
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        taskFiles << name;
    }

    TStarterConfig config;
    for (int i = 0; i < kGroups; ++i) {
        TTaskProperties &group = *config.Groups[size_t(config.AddGroup(QStringLiteral("Group %1").arg(i)))];
        group.User = QStringLiteral("backup%1").arg(i);
        group.Pwd = QStringLiteral("secret password %1").arg(i);
        group.PwdPrompt = false;
        for (int j = 0; j < kTasksPerGroup; ++j)
            group.AddTask(taskFiles[j], j % 7 != 0);
    }
    const QString iniName = dir.filePath(QStringLiteral("akstarter.ini"));

    const double saveMs = BestMs(
        [&] { return config.Save(iniName, QStringLiteral("Arkivo Starter"), QStringLiteral("1.0.0.0")).Ok; },
        rounds);
    const double loadMs = BestMs(
        [&] {
            TStarterConfig loaded;
            return loaded.Load(iniName, QString()).Ok && loaded.GroupCount() == kGroups &&
                   loaded.Groups.back()->Pwd == config.Groups.back()->Pwd;
        },
        rounds);

    const QByteArray passPhrase = ProgramPassPhrase();
    unsigned char salt[8];
    unsigned char key[2 * 16 + 2];
    RAND_bytes(salt, sizeof salt);
    const double floorMs = BestMs(
        [&] {
            for (int i = 0; i < kGroups; ++i)
                if (PKCS5_PBKDF2_HMAC(passPhrase.constData(), int(passPhrase.size()), salt, sizeof salt, 1000,
                                      EVP_sha1(), sizeof key, key) != 1)
                    return false;
            return true;
        },
        rounds);

    std::printf("configuration of %d groups x %d tasks with passwords, best of %d rounds:\n", kGroups,
                kTasksPerGroup, rounds);
    std::printf("  %d PBKDF2 derivations (floor)  %8.1f ms\n", kGroups, floorMs);
    std::printf("  load                          %8.1f ms   %.2fx floor\n", loadMs, loadMs / floorMs);
    std::printf("  save                          %8.1f ms   %.2fx floor\n", saveMs, saveMs / floorMs);
    return 0;
}
