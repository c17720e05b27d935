#pragma once

#include <QString>

// The user's session and the computer's power state, reached through logind on the
// system bus. The bus is the one DBUS_SYSTEM_BUS_ADDRESS names, else the machine's, so
// that tests can put a stand-in logind in its place. Privileges are polkit's business:
// a refused call comes back as a failure like any other, which is also why there is no
// shutdown privilege to enable beforehand. No call prompts for authentication.

// Outcome of one session operation; on failure Error is the bus error's text in the
// form "message (error name)".
struct TSessionResult
{
    bool Ok = false;
    QString Error;
};

// How long an operation waits for logind's answer before it counts as failed.
constexpr int SessionCallTimeoutMs = 5000;

// Locks the screen of the session this process belongs to.
TSessionResult LockWorkStation();
// Ends the session this process belongs to.
TSessionResult LogOffSession();
TSessionResult PowerOffComputer();
TSessionResult RebootComputer();
// Standby (suspend to RAM).
TSessionResult SuspendComputer();
TSessionResult HibernateComputer();

// Releases the logind inhibitor locks the program holds, so that they cannot delay the
// end action that follows. The program takes none today, so this has nothing to do.
void ReleaseShutdownInhibitors();
