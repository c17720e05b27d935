#include "util/Clock.h"

namespace {

// Everything runs on the one user-interface thread, so a plain variable is enough.
QDateTime FixedNow;

} // namespace

QDateTime Now()
{
    return FixedNow.isValid() ? FixedNow : QDateTime::currentDateTime();
}

void SetFixedNow(const QDateTime &AMoment)
{
    FixedNow = AMoment;
}
