#pragma once

#include <QDateTime>

// The program's one source of the current time (placeholders, log lines, trigger times),
// so that tests can fix "now".

// The current local time, or the fixed moment while one is set.
QDateTime Now();
// Makes Now() return this moment until it is called with an invalid QDateTime, which
// returns to the system clock. For tests.
void SetFixedNow(const QDateTime &AMoment);
