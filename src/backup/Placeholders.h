#pragma once

#include <QString>

#include <functional>

// Placeholders are words between two "%" that task files and the starter's command line
// use for folders, names, dates and the like. Each expansion function knows its own fixed
// list, matches a placeholder as a whole without regard to case, replaces every occurrence
// and leaves any other text alone. The kinds are handled one after the other, each over
// the whole text, so a replacement that looks like a later placeholder is expanded too.
// Dates and times come from Now() (util/Clock.h), names of days and months from the
// locale's time category (LC_TIME).

// The folders of the user profile and of the program (without a trailing "/"), the user
// and computer names; used on the "ini" option's value. "%progpath%" is the program's
// folder of the running program's environment.
QString ExpandFolderPlaceholders(const QString &text);
// The same with the program's folder given.
QString ExpandFolderPlaceholders(const QString &text, const QString &programDir);

// A task's destination: "%volume%" becomes volume, each "%evar(NAME)%" the value of the
// environment variable NAME when that is set and not empty, then ExpandDatePlaceholders.
QString ExpandDestPlaceholders(const QString &dest, const QString &volume, int count);
// Dates, the counters "%d#N%", "%w#N%", "%m#N%" and "%v#N%" (day of the year, week,
// month and count, cycling through 1..N; only when count > 0), times, user and computer
// names.
QString ExpandDatePlaceholders(const QString &text, int count);
// A task's log file name (after "%taskname%"): date, time, year-week, year-month, year,
// user and computer names, and dest with its drive and volume label.
QString ExpandLogPlaceholders(const QString &logName, const QString &dest);

// ---- Volume-labelled paths ----------------------------------------------------------------

// A path may name its file system by volume label instead of its mount point:
// ":" + label + ":" + "/" + rest, a ":" inside the label written twice.

// Asks whether to look for the volume once more (the user inserted the medium); true for
// "Retry". The GUI passes the message dialog's retry question; without one the answer is
// "Cancel".
using TRetryQuestion = std::function<bool(const QString &AText)>;

enum TVolumeResolve
{
    vrNotLabelled = 0, // the path names no volume label and stays as it is
    vrResolved = 1,    // the path now begins with the volume's mount point
    vrNotFound = 2     // the path is empty or no mounted volume carries the label
};

// Resolves a volume-labelled path in place and returns the label it names. Without the
// volume, APrompt (when given) is asked with "Volume "<label>" not found! Please insert
// medium!" until it answers "Cancel".
TVolumeResolve ResolveVolumePath(QString &APath, QString &ALabel, const TRetryQuestion &APrompt = {});
// The resolved path, or APath unchanged when its volume cannot be found.
QString ResolveDestination(const QString &APath, const TRetryQuestion &APrompt = {});
// The path names no volume label, or its volume is mounted.
bool IsVolumeAvailable(const QString &APath);
