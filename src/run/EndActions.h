#pragma once

#include "run/RunTypes.h"

#include <QString>

#include <functional>

// What an unattended run does once its log is written and mailed: log off, shut down,
// restart, power off, stand by or hibernate, through the platform's session layer.

// Shows a failure to the user; the run plugs in its own message display (a dialog, the
// terminal or standard error).
using TErrorReporter = std::function<void(const QString &AText)>;

// Releases the program's shutdown inhibitors, then performs ALogOffMode when it is not
// dmNone (ASuspendMode is then ignored), else ASuspendMode. A failure goes to AShowError
// as one two-line text; nothing is retried. Returns without waiting for the system to
// act on the request.
void PerformEndAction(TDownMode ALogOffMode, TSuspendMode ASuspendMode, const TErrorReporter &AShowError);
