// Time of storing and reading back a password, against the floor the format imposes:
// the PBKDF2-HMAC-SHA1 derivation (1000 iterations, 2*16+2 bytes) called directly.
// Usage: bench_password_crypto [calls per round] [rounds]

#include "mail/PasswordCrypt.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// Keeps the best per-call time in microseconds over the rounds: the machine is shared, and the
// fastest round is the one least disturbed.
void TimeRound(const std::function<void()> &call, int calls, int round, double &best)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        call();
    const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
    const double perCall = elapsed.count() / calls;
    best = round == 0 ? perCall : std::min(best, perCall);
}

} // namespace

int main(int argc, char **argv)
{
    const int calls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;

    const QByteArray passPhrase = ProgramPassPhrase();
    const QByteArray password = "twenty-byte password";
    const QString stored = EncryptPassword(passPhrase, password);
    if (DecryptPassword(passPhrase, stored) != password) {
        std::fprintf(stderr, "password does not read back\n");
        return 1;
    }

    unsigned char salt[8];
    unsigned char key[2 * 16 + 2];
    RAND_bytes(salt, sizeof salt);
    int failures = 0;
    auto floor = [&] {
        if (PKCS5_PBKDF2_HMAC(passPhrase.constData(), int(passPhrase.size()), salt, sizeof salt, 1000,
                              EVP_sha1(), sizeof key, key) != 1)
            ++failures;
    };
    auto encrypt = [&] {
        if (EncryptPassword(passPhrase, password).isEmpty())
            ++failures;
    };
    auto decrypt = [&] {
        if (DecryptPassword(passPhrase, stored).isEmpty())
            ++failures;
    };

    // Rounds interleave the three, so that a busy moment of the machine hits all alike.
    double floorUs = 0, encryptUs = 0, decryptUs = 0;
    for (int round = 0; round < rounds; ++round) {
        TimeRound(floor, calls, round, floorUs);
        TimeRound(encrypt, calls, round, encryptUs);
        TimeRound(decrypt, calls, round, decryptUs);
    }
    if (failures != 0) {
        std::fprintf(stderr, "%d calls failed\n", failures);
        return 1;
    }

    std::printf("calls per round %d, rounds %d, best round per call:\n", calls, rounds);
    std::printf("  PBKDF2-HMAC-SHA1 floor  %9.1f us\n", floorUs);
    std::printf("  EncryptPassword         %9.1f us   %.3fx floor\n", encryptUs, encryptUs / floorUs);
    std::printf("  DecryptPassword         %9.1f us   %.3fx floor\n", decryptUs, decryptUs / floorUs);
    std::printf("goal: at most 1.2x the floor\n");
    return 0;
}
