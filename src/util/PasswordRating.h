#pragma once

#include <QString>

// How hard a password is to guess, as the new-password dialog shows it. Spaces do not
// count; only A-Z and a-z are letters, every other character that is no digit counts as
// a symbol.

// The raw score, 0 ... 500: points for length and for mixing character kinds, minus
// points for repeated characters, runs of one kind and alphabetic, numeric or keyboard
// symbol sequences.
int PasswordScore(const QString &APassword);

// The score mapped onto 0 ... 99 (0 gives 0, 100 gives 63, 500 gives 99).
int StrengthOfScore(int AScore);

// The rating in percent, 0 ... 99.
int PasswordStrength(const QString &APassword);
