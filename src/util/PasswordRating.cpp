#include "util/PasswordRating.h"

#include <QList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <unordered_map>
#include <vector>

namespace {

bool InRange(char32_t c, char32_t low, char32_t high)
{
    return c >= low && c <= high;
}

// Runs of three neighbours of alphabet found in password, forwards or backwards; each run
// counts once however often it occurs.
int SequenceCount(const std::u32string &password, std::u32string_view alphabet)
{
    int count = 0;
    for (size_t i = 0; i + 3 <= alphabet.size(); ++i) {
        const std::u32string forward(alphabet.substr(i, 3));
        const std::u32string backward(forward.rbegin(), forward.rend());
        if (password.find(forward) != std::u32string::npos || password.find(backward) != std::u32string::npos)
            ++count;
    }
    return count;
}

} // namespace

int PasswordScore(const QString &APassword)
{
    std::u32string password;
    for (const uint c : APassword.toUcs4())
        if (c != U' ')
            password.push_back(c);
    const int n = int(password.size());

    int upper = 0, lower = 0, digits = 0, symbols = 0, middle = 0;
    int consecUpper = 0, consecLower = 0, consecDigits = 0;
    int lastUpper = -1, lastLower = -1, lastDigit = -1;
    // Positions of each character, ascending: the repetition sum visits the twins in the
    // same order as a scan of the whole password would, without the scan.
    std::unordered_map<char32_t, std::vector<int>> positions;
    for (int i = 0; i < n; ++i)
        positions[password[size_t(i)]].push_back(i);
    int repeated = 0;
    double increment = 0;
    for (int i = 0; i < n; ++i) {
        const char32_t c = password[size_t(i)];
        const bool inMiddle = i > 0 && i < n - 1;
        if (InRange(c, U'A', U'Z')) {
            if (lastUpper >= 0 && lastUpper == i - 1)
                ++consecUpper;
            lastUpper = i;
            ++upper;
        } else if (InRange(c, U'a', U'z')) {
            if (lastLower >= 0 && lastLower == i - 1)
                ++consecLower;
            lastLower = i;
            ++lower;
        } else if (InRange(c, U'0', U'9')) {
            if (inMiddle)
                ++middle;
            if (lastDigit >= 0 && lastDigit == i - 1)
                ++consecDigits;
            lastDigit = i;
            ++digits;
        } else {
            ++symbols;
            if (inMiddle)
                ++middle;
        }

        // A repeated character costs more the closer its twins are; the running total is
        // spread over the characters that are still unique.
        bool exists = false;
        for (const int j : positions[c]) {
            if (j != i) {
                exists = true;
                increment += double(n) / std::abs(j - i);
            }
        }
        if (exists) {
            ++repeated;
            const int unique = n - repeated;
            increment = unique != 0 ? std::ceil(increment / unique) : std::ceil(increment);
        }
    }

    std::u32string lowered = password;
    for (char32_t &c : lowered)
        if (InRange(c, U'A', U'Z'))
            c += U'a' - U'A';
    const int seqLetters = SequenceCount(lowered, U"abcdefghijklmnopqrstuvwxyz");
    const int seqDigits = SequenceCount(lowered, U"0123456789");
    const int seqSymbols = SequenceCount(lowered, U"!@#$%^&+-/*=?()[]{}~");

    const int lettersOnly = (upper + lower > 0 && symbols == 0 && digits == 0) ? n : 0;
    const int digitsOnly = (upper == 0 && lower == 0 && symbols == 0 && digits > 0) ? n : 0;
    const int requirements =
        int(n >= 8) + int(upper > 0) + int(lower > 0) + int(digits > 0) + int(symbols > 0);

    int64_t score = 4 * int64_t(n);
    if (upper > 0 && upper < n)
        score += 2 * (n - upper);
    if (lower > 0 && lower < n)
        score += 2 * (n - lower);
    if (digits > 0 && digits < n)
        score += 4 * digits;
    score += 6 * int64_t(symbols);
    if (digitsOnly == 0)
        score += 2 * int64_t(middle);
    if (requirements > 3)
        score += 2 * requirements;
    score -= lettersOnly + digitsOnly;
    score -= int64_t(increment);
    score -= 2 * (int64_t(consecUpper) + consecLower + consecDigits);
    score -= 3 * (seqLetters + seqDigits + seqSymbols);
    return int(std::clamp<int64_t>(score, 0, 500));
}

int StrengthOfScore(int AScore)
{
    // nearbyint rounds halves to even under the default rounding mode.
    const double rating = std::nearbyint((1.0 - std::exp(-AScore / 100.0) / 0.993) * 100.0);
    return rating < 0 ? 0 : int(rating);
}

int PasswordStrength(const QString &APassword)
{
    return StrengthOfScore(PasswordScore(APassword));
}
