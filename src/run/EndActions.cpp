#include "run/EndActions.h"

#include "platform/Session.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

namespace {

// Error lines carry the run log's error prefix even though they are shown, not logged:
// the log has been written by the time the end action runs.
const QString kErrorPrefix = QStringLiteral("  *** ");

void ShowFailure(const TErrorReporter &AShowError, const char *AFormat, const TSessionResult &AResult)
{
    if (AShowError)
        AShowError(kErrorPrefix + SafeFormat(Tr(AFormat), AResult.Error));
}

// There is no shutdown privilege to enable first: polkit judges each call, and its
// refusal is the call's failure.
void ShutDownOrLogOff(TDownMode AMode, const TErrorReporter &AShowError)
{
    TSessionResult result;
    switch (AMode) {
    case dmLogOff:
        result = LogOffSession();
        break;
    case dmRestart:
        result = RebootComputer();
        break;
    default: // dmShutdown and dmPowerOff alike, as any other mode
        result = PowerOffComputer();
        break;
    }
    if (!result.Ok)
        ShowFailure(AShowError, TrNoop("Error on shutting down or logging off!\r\n%s"), result);
}

void SuspendSystem(TSuspendMode AMode, const TErrorReporter &AShowError)
{
    const TSessionResult result = AMode == smHibernate ? HibernateComputer() : SuspendComputer();
    if (!result.Ok)
        ShowFailure(AShowError, TrNoop("Error on suspending system!\r\n%s"), result);
}

} // namespace

void PerformEndAction(TDownMode ALogOffMode, TSuspendMode ASuspendMode, const TErrorReporter &AShowError)
{
    ReleaseShutdownInhibitors();
    if (ALogOffMode != dmNone)
        ShutDownOrLogOff(ALogOffMode, AShowError);
    else if (ASuspendMode != smNone)
        SuspendSystem(ASuspendMode, AShowError);
}
