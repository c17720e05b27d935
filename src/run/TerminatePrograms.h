#pragma once

#include <QStringList>

// Ends every other program that owns a task-bar window: the "term" step of an unattended
// run, before the backups start. Each window's program gets SIGTERM, once per window, so
// it can save its work; nothing waits for it to end, and a program that ignores SIGTERM
// keeps running while the run goes on. This program itself is never signalled. Each
// failure adds two lines to ALogList, "  *** " + "Terminating of "NAME" failed:" and six
// blanks + the system's text, and one to AErrCount. Without an X display there is nothing
// to end and nothing is logged.
void TerminatePrograms(QStringList &ALogList, int &AErrCount);
