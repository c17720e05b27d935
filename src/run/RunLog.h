#pragma once

#include "run/RunTypes.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// The run log of an unattended run: the lines it records, in memory, and the starter's
// log file they are appended to. Every line but the header begins with one of four
// six-character prefixes, so the lines of different kinds align.

inline constexpr QLatin1StringView RunLogInfoPrefix("  ==> ");  // start, end, announcement
inline constexpr QLatin1StringView RunLogGroupPrefix("  ->  "); // a group begins
inline constexpr QLatin1StringView RunLogTaskPrefix("      ");  // a task; an error's second line
inline constexpr QLatin1StringView RunLogErrorPrefix("  *** "); // an error

// The lines of the current unattended run and the number of errors among them.
struct TRunLog
{
    QStringList LogList;
    int ErrCount = 0;

    void Clear();
    // "  *** " + AText; counts one error.
    void AddError(const QString &AText);
    // "  *** " + AText without counting an error (a cancelled password prompt).
    void AddNote(const QString &AText);
    void AddHeader(const QString &AHeader);
    void AddStart(const QDateTime &AMoment);
    void AddEnd(const QDateTime &AMoment);
    void AddGroup(const QString &AGroup, const QString &AUser);
    void AddTask(const QString &APath);
    // The announcement of the end action that follows; nothing when there is none.
    void AddAnnouncement(TDownMode ALogOffMode, TSuspendMode ASuspendMode);
};

// The header line: internal name, bitness suffix and " (Version a.b.c.d)".
QString RunLogHeader(const QString &AInternalName, const QString &APlatformSuffix, const QString &AVersion);
// The header of the running program, from its version block.
QString RunLogHeader();

// A moment as the log writes it: the locale's short date, a blank and its long time; the
// time is left out at exactly midnight.
QString RunLogDateTime(const QDateTime &AMoment);

// The text announcing an end action, empty when there is none: a log-off or shutdown
// mode wins over a suspend mode.
QString EndActionAnnouncement(TDownMode ALogOffMode, TSuspendMode ASuspendMode);

// The starter's log file: in the folder of its INI file, named like the program with
// extension "log".
QString StarterLogName();

struct TLogWriteResult
{
    bool Ok = true;
    QString Message; // why nothing was written, translated
};

// How long the writer waits before its second attempt to open a log file.
inline constexpr int LogRetryDelayMs = 2000;

// Appends ALines and one empty line to the log file, each ending in CR LF, in the
// locale's character set. Two attempts to open the file, ARetryDelayMs apart. Only a
// regular file is written: a folder, a FIFO or a device in its place is refused rather
// than waited for. The block goes out in one append while holding an exclusive lock, so
// runs that end at the same moment do not mix their lines; a file that another run keeps
// locked counts as a failed attempt.
TLogWriteResult WriteStarterLog(const QString &AFileName, const QStringList &ALines,
                                int ARetryDelayMs = LogRetryDelayMs);
