#include "run/RunLog.h"

#include "config/ProgramEnv.h"
#include "util/AnsiCodec.h"
#include "util/FileUtils.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"
#include "util/VersionInfo.h"

#include <QFile>
#include <QLocale>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

void TRunLog::Clear()
{
    LogList.clear();
    ErrCount = 0;
}

void TRunLog::AddError(const QString &AText)
{
    AddNote(AText);
    ++ErrCount;
}

void TRunLog::AddNote(const QString &AText)
{
    LogList.append(RunLogErrorPrefix + AText);
}

void TRunLog::AddHeader(const QString &AHeader)
{
    LogList.append(AHeader);
}

void TRunLog::AddStart(const QDateTime &AMoment)
{
    LogList.append(RunLogInfoPrefix + Tr("Start: ") + RunLogDateTime(AMoment));
}

void TRunLog::AddEnd(const QDateTime &AMoment)
{
    LogList.append(RunLogInfoPrefix + Tr("End") + QStringLiteral(": ") + RunLogDateTime(AMoment));
}

void TRunLog::AddGroup(const QString &AGroup, const QString &AUser)
{
    LogList.append(RunLogGroupPrefix + Tr("Backup group:") + u' ' + AGroup + QStringLiteral(" - ") +
                   Tr("User name: ") + AUser);
}

void TRunLog::AddTask(const QString &APath)
{
    LogList.append(RunLogTaskPrefix + Tr("Backup task") + QStringLiteral(": ") + APath);
}

void TRunLog::AddAnnouncement(TDownMode ALogOffMode, TSuspendMode ASuspendMode)
{
    const QString text = EndActionAnnouncement(ALogOffMode, ASuspendMode);
    if (!text.isEmpty())
        LogList.append(RunLogInfoPrefix + text);
}

QString RunLogHeader(const QString &AInternalName, const QString &APlatformSuffix, const QString &AVersion)
{
    return AInternalName + APlatformSuffix + QStringLiteral(" (") + Tr("Version") + u' ' + AVersion + u')';
}

QString RunLogHeader()
{
    const TProgramEnv &env = ProgramEnv();
    QString name = QStringLiteral("AkStarter");
    QString version = QStringLiteral("0.0.0.0");
    if (const std::optional<TFileVersionInfo> info = ReadVersionInfo(env.ProgramFile)) {
        if (!info->InternalName.isEmpty())
            name = info->InternalName;
        if (!info->Version.isEmpty())
            version = info->Version;
    }
    return RunLogHeader(name, env.PlatformSuffix, version);
}

QString RunLogDateTime(const QDateTime &AMoment)
{
    const QLocale locale = QLocale::system();
    QString text = locale.toString(AMoment.date(), QLocale::ShortFormat);
    if (AMoment.time() != QTime(0, 0))
        text += u' ' + locale.toString(AMoment.time(), QLocale::LongFormat);
    return text;
}

QString EndActionAnnouncement(TDownMode ALogOffMode, TSuspendMode ASuspendMode)
{
    switch (ALogOffMode) {
    case dmShutdown:
    case dmPowerOff:
        return Tr("The system will be shut down!");
    case dmRestart:
        return Tr("The system will be restarted!");
    case dmLogOff:
        return Tr("The user will be logged off!");
    case dmNone:
        break;
    default: // never set by this program, and performed as a shutdown if they were
        return Tr("The system will be shut down!");
    }
    switch (ASuspendMode) {
    case smStandby:
        return Tr("The system will enter the standby state!");
    case smHibernate:
        return Tr("The system will enter the hibernate state!");
    case smNone:
        break;
    }
    return QString();
}

QString StarterLogName()
{
    return ProgramEnv().IniDir + ProgramEnv().ProgramBaseName + QStringLiteral(".log");
}

namespace {

// An open file descriptor that is closed on every way out.
class TFileDescriptor
{
public:
    explicit TFileDescriptor(int AFd) : FFd(AFd) {}
    ~TFileDescriptor()
    {
        if (FFd >= 0)
            close(FFd);
    }
    TFileDescriptor(const TFileDescriptor &) = delete;
    TFileDescriptor &operator=(const TFileDescriptor &) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

struct TAttempt
{
    QString Reason; // empty on success
    bool Retry = true;
};

// One attempt. Only a failure before anything was written is worth another try: a second
// append after a partial one would repeat lines.
TAttempt TryAppend(const QByteArray &APath, const QByteArray &ABlock)
{
    // Non-blocking, so that a FIFO without a reader fails at once instead of hanging the run.
    const TFileDescriptor file(
        open(APath.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    if (file.Get() < 0)
        return {SystemErrorText(errno)};
    struct stat st
    {
    };
    if (fstat(file.Get(), &st) != 0)
        return {SystemErrorText(errno)};
    if (!S_ISREG(st.st_mode))
        return {Tr("It is not a regular file.")};
    if (flock(file.Get(), LOCK_EX | LOCK_NB) != 0)
        return {errno == EWOULDBLOCK ? Tr("Another program holds it locked.") : SystemErrorText(errno)};
    qsizetype written = 0;
    while (written < ABlock.size()) {
        const ssize_t rc = write(file.Get(), ABlock.constData() + written, size_t(ABlock.size() - written));
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return {SystemErrorText(rc < 0 ? errno : EIO), written == 0};
        written += rc;
    }
    // The end action may power the computer off right after this.
    if (fsync(file.Get()) != 0)
        return {SystemErrorText(errno), false};
    return {QString(), false};
}

} // namespace

TLogWriteResult WriteStarterLog(const QString &AFileName, const QStringList &ALines, int ARetryDelayMs)
{
    QString block;
    for (const QString &line : ALines)
        block += line + QStringLiteral("\r\n");
    block += QStringLiteral("\r\n");
    const QByteArray bytes = StringToAnsi(block);
    const QByteArray path = QFile::encodeName(AFileName);

    constexpr int attempts = 2;
    TAttempt result;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        result = path.isEmpty() || path.contains('\0') ? TAttempt{SystemErrorText(ENOENT), false}
                                                       : TryAppend(path, bytes);
        if (result.Reason.isEmpty())
            return {};
        // No point in waiting once no attempt is left.
        if (!result.Retry || attempt == attempts)
            break;
        if (ARetryDelayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ARetryDelayMs));
    }
    return {false, SafeFormat(Tr("The log file \"%s\" could not be written: %s"), AFileName, result.Reason)};
}
