// arkivo: a stand-in for the backup program, for the tests and the demo. It accepts the
// backup program's command line, copies the source folders of each task file into the
// task's destination (a plain copy: nothing is deleted, nothing versioned), appends to the
// task's log and ends with the backup program's exit codes.

#include "backup/BackupProgram.h"
#include "config/UnicodeIniFile.h"
#include "util/Errors.h"
#include "util/FileUtils.h"
#include "util/Numbers.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <climits>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>

namespace {

// A bad command line or an editor that cannot be started: the starter reads any code
// outside its table as "Unexpected error".
constexpr int UnexpectedExit = 255;

volatile std::sig_atomic_t StopRequested = 0;

extern "C" void OnStopSignal(int)
{
    StopRequested = 1;
}

void InstallStopHandler()
{
    struct sigaction action
    {
    };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Restarted system calls keep a copy in progress intact; the waits below poll the flag.
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

struct TTaskArg
{
    QString Path;
    bool Edit = false;
};

struct TRequest
{
    QList<TTaskArg> Tasks;
    QString LogDir;
    int DelaySeconds = 0;
    bool Quiet = false;
};

std::optional<TBackupOption> FindOption(QStringView word)
{
    for (int i = 0; i < BackupOptionCount; ++i)
        if (word.compare(BackupOptionWord(TBackupOption(i)), Qt::CaseInsensitive) == 0)
            return TBackupOption(i);
    return std::nullopt;
}

bool ParseCount(const QString &value, int minimum, int &result)
{
    const auto number = ParseInteger(value, minimum, INT_MAX);
    if (number)
        result = int(*number);
    return number.has_value();
}

// Options begin with "/" or "-". An argument beginning with "/" whose word is no option
// is a path: absolute task paths begin with "/" too.
std::optional<TRequest> ParseCommandLine(const QStringList &args, QString &error)
{
    TRequest request;
    for (const QString &arg : args) {
        const bool optionLike = arg.startsWith(u'/') || arg.startsWith(u'-');
        const qsizetype colon = arg.indexOf(u':');
        const QStringView word =
            optionLike ? QStringView(arg).mid(1, colon < 0 ? -1 : colon - 1) : QStringView();
        const auto option = optionLike ? FindOption(word) : std::nullopt;
        if (!option) {
            if (arg.startsWith(u'-')) {
                error = QStringLiteral("unknown option %1").arg(arg);
                return std::nullopt;
            }
            request.Tasks.append({arg});
            continue;
        }
        if (BackupOptionHasValue(*option) != (colon >= 0)) {
            error = BackupOptionHasValue(*option) ? QStringLiteral("option %1 needs a value").arg(arg)
                                                  : QStringLiteral("option %1 takes no value").arg(arg);
            return std::nullopt;
        }
        const QString value = colon < 0 ? QString() : arg.mid(colon + 1);
        int number = 0;
        bool valid = true;
        switch (*option) {
        case boPrompt:
            valid = false;
            for (int mode = 0; mode < PromptModeCount; ++mode)
                if (value.compare(PromptModeWord(TPromptMode(mode)), Qt::CaseInsensitive) == 0) {
                    valid = true;
                    request.Quiet = mode == pmQuiet;
                }
            break;
        case boWait:
            valid = ParseCount(value, 0, number);
            break;
        case boDelay:
            valid = ParseCount(value, 0, request.DelaySeconds);
            break;
        case boXInst:
            valid = ParseCount(value, 1, number);
            break;
        case boLogDir:
            request.LogDir = value;
            break;
        case boEdit:
            valid = !request.Tasks.isEmpty();
            if (valid)
                request.Tasks.last().Edit = true;
            break;
        default:
            // Accepted for the starter's sake; a stand-in has no settings, status
            // window, splash screen, sounds, rights or end action to change.
            break;
        }
        if (!valid) {
            error = *option == boEdit ? QStringLiteral("%1 must follow a task file").arg(arg)
                                      : QStringLiteral("invalid value in %1").arg(arg);
            return std::nullopt;
        }
    }
    return request;
}

// Writes what happens to standard output (unless quiet) and to the task's log.
class TReporter
{
public:
    explicit TReporter(bool quiet) : FQuiet(quiet) {}

    void Line(const QString &text)
    {
        const QByteArray line = text.toUtf8() + '\n';
        if (!FQuiet) {
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
            std::fflush(stdout);
        }
        if (FLog.isOpen()) {
            FLog.write(line);
            FLog.flush();
        }
    }
    void Error(const QString &text) { Line(QStringLiteral("  *** ") + text); }

    void OpenLog(const QString &fileName)
    {
        FLog.setFileName(fileName);
        if (!FLog.open(QIODevice::WriteOnly | QIODevice::Append))
            Error(QStringLiteral("Cannot write the log %1: %2").arg(fileName, FLog.errorString()));
    }
    void CloseLog() { FLog.close(); }

private:
    bool FQuiet;
    QFile FLog;
};

class TTaskRun
{
public:
    TTaskRun(TReporter &reporter, const QString &logDir) : FReporter(reporter), FLogDir(logDir) {}

    int Run(const QString &taskFile)
    {
        const QFileInfo info(taskFile);
        std::unique_ptr<TIniDocument> task;
        if (info.isFile()) {
            try {
                task = std::make_unique<TIniDocument>(info.absoluteFilePath());
            } catch (const EExtFileStreamError &error) {
                FReporter.Error(error.Message());
            }
        }
        if (!task) {
            FReporter.Error(QStringLiteral("Task not found: %1").arg(taskFile));
            return beTaskNotFound;
        }

        // Relative paths count from the task file's folder, so a task works from any checkout.
        const QString taskDir = info.absolutePath();
        const QString global = QStringLiteral("Global");
        QString dest = task->ReadString(global, QStringLiteral("Destination"), QString());
        if (!dest.isEmpty()) {
            dest = QDir::cleanPath(ExpandPath(taskDir, dest));
            // Like a backup folder on a mounted drive: the last level may be missing.
            if (!QFileInfo::exists(dest) && QFileInfo(ParentFolder(dest)).isDir())
                QDir().mkdir(dest);
        }

        QString logName = task->ReadString(global, QStringLiteral("LogName"), QString());
        if (!logName.isEmpty()) {
            logName.replace(QStringLiteral("%taskname%"), info.completeBaseName(), Qt::CaseInsensitive);
            FReporter.OpenLog(ExpandPath(FLogDir.isEmpty() ? taskDir : FLogDir, logName));
        }
        FReporter.Line(QStringLiteral("Arkivo - %1 - %2")
                           .arg(QDateTime::currentDateTime().toString(Qt::ISODate), info.absoluteFilePath()));
        Copy(*task, taskDir, dest);
        FReporter.Line(QStringLiteral("      Result: %1")
                           .arg(FResult == beSuccess ? QStringLiteral("Backup completed")
                                                     : BackupExitCodeText(FResult)));
        FReporter.CloseLog();
        return FResult;
    }

private:
    void Fail(int code, const QString &message)
    {
        FReporter.Error(message);
        if (FResult == beSuccess)
            FResult = code;
    }

    void Copy(const TIniDocument &task, const QString &taskDir, const QString &dest)
    {
        if (dest.isEmpty())
            return Fail(beInvalidTask, QStringLiteral("The task names no destination"));
        if (!QFileInfo(dest).isDir())
            return Fail(beDestNotFound, QStringLiteral("Destination path not found: %1").arg(dest));
        FDestCanonical = QFileInfo(dest).canonicalFilePath();

        QStringList sources;
        for (int i = 0;; ++i) {
            const QString section = QStringLiteral("Dir%1").arg(i, 3, 10, QLatin1Char('0'));
            if (!task.SectionExists(section))
                break;
            const QString source = task.ReadString(section, QStringLiteral("Source"), QString());
            if (source.isEmpty())
                Fail(beInvalidTask, QStringLiteral("%1 names no source folder").arg(section));
            else
                sources.append(QDir::cleanPath(ExpandPath(taskDir, source)));
        }
        if (sources.isEmpty() && FResult == beSuccess)
            Fail(beInvalidTask, QStringLiteral("The task names no source folder"));

        for (const QString &source : std::as_const(sources)) {
            if (StopRequested)
                return;
            if (!QFileInfo(source).isDir()) {
                Fail(beSourceNotFound, QStringLiteral("Source directory not found: %1").arg(source));
                continue;
            }
            // Each source gets a folder of its own name below the destination.
            CopyFolder(source, AddPath(dest, QFileInfo(source).fileName()));
        }
        if (StopRequested)
            Fail(beAborted, QStringLiteral("Stopped on request"));
    }

    void CopyFolder(const QString &source, const QString &target)
    {
        if (!QDir().mkpath(target))
            return Fail(beBackupErrors, QStringLiteral("Cannot create the folder %1").arg(target));
        const QFileInfoList entries =
            QDir(source).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &entry : entries) {
            // Finish the file in hand, then stop.
            if (StopRequested)
                return;
            const QString targetName = AddPath(target, entry.fileName());
            if (entry.isDir()) {
                // A linked folder may lead back up the tree; the destination must not be
                // copied into itself.
                if (!entry.isSymLink() && entry.canonicalFilePath() != FDestCanonical)
                    CopyFolder(entry.filePath(), targetName);
                continue;
            }
            try {
                CopyFileTS(entry.filePath(), targetName);
                FReporter.Line(QStringLiteral("      Copied %1").arg(entry.filePath()));
            } catch (const ECopyError &error) {
                Fail(beBackupErrors, error.Message());
            }
        }
    }

    TReporter &FReporter;
    QString FLogDir;
    QString FDestCanonical;
    int FResult = beSuccess;
};

int EditTask(TReporter &reporter, const QString &taskFile)
{
    const QFileInfo info(taskFile);
    if (!info.isFile()) {
        reporter.Error(QStringLiteral("Task not found: %1").arg(taskFile));
        return beTaskNotFound;
    }
    reporter.Line(QStringLiteral("Opening %1 for editing").arg(info.absoluteFilePath()));
    const int code = QProcess::execute(QStringLiteral("xdg-open"), {info.absoluteFilePath()});
    if (code == 0)
        return beSuccess;
    reporter.Error(code < 0 ? QStringLiteral("xdg-open cannot be started")
                            : QStringLiteral("xdg-open failed with exit code %1").arg(code));
    return UnexpectedExit;
}

// Sleeps in short steps so that a stop request ends the wait at once.
void Wait(int seconds)
{
    const qint64 end = QDateTime::currentMSecsSinceEpoch() + qint64(seconds) * 1000;
    while (!StopRequested && QDateTime::currentMSecsSinceEpoch() < end) {
        const timespec step{0, 50 * 1000 * 1000};
        nanosleep(&step, nullptr);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    InstallStopHandler();

    QString error;
    const auto request = ParseCommandLine(app.arguments().mid(1), error);
    if (!request) {
        std::fprintf(stderr, "arkivo: %s\nusage: arkivo [/option[:value]...] taskfile [/edit]...\n",
                     qPrintable(error));
        return UnexpectedExit;
    }

    TReporter reporter(request->Quiet);
    if (request->Tasks.isEmpty()) {
        reporter.Error(QStringLiteral("No task file given"));
        return beTaskNotFound;
    }
    if (request->DelaySeconds > 0) {
        reporter.Line(QStringLiteral("Waiting %1 s before starting").arg(request->DelaySeconds));
        Wait(request->DelaySeconds);
    }

    int result = beSuccess;
    for (const TTaskArg &task : request->Tasks) {
        if (StopRequested)
            break;
        const int code =
            task.Edit ? EditTask(reporter, task.Path) : TTaskRun(reporter, request->LogDir).Run(task.Path);
        // The first failure is the one the caller hears of; later tasks still run.
        if (result == beSuccess)
            result = code;
    }
    if (StopRequested) {
        // A task stopped in its course has said so already.
        if (result != beAborted)
            reporter.Error(BackupExitCodeText(beAborted));
        return beAborted;
    }
    return result;
}
