#include "run/RunQuestions.h"

#include "config/ProgramEnv.h"
#include "util/AnsiCodec.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// What the signal handlers of a question need: they run while the terminal may have its
// echo switched off and must put it back before the program ends.
volatile std::sig_atomic_t Interrupted = 0;
int ActiveTerminal = -1;
termios SavedTerminal{};
bool TerminalChanged = false;
// The write end of a pipe that wakes the reader: Ctrl+C may come just before the read
// starts, or reach another thread of the program.
int InterruptWakeFd = -1;

extern "C" void OnInterrupt(int)
{
    const int saved = errno;
    Interrupted = 1;
    if (InterruptWakeFd >= 0) {
        [[maybe_unused]] const ssize_t n = write(InterruptWakeFd, "!", 1);
    }
    errno = saved;
}

extern "C" void OnFatalSignal(int ASignal)
{
    if (TerminalChanged)
        tcsetattr(ActiveTerminal, TCSANOW, &SavedTerminal);
    signal(ASignal, SIG_DFL);
    raise(ASignal);
}

// For the time of one question: Ctrl+C cancels it, a signal that ends the program first
// restores the terminal, and Ctrl+Z is ignored, since a stopped program would leave the
// echo off in the shell. Restores the terminal and the previous handlers on every way out.
class TQuestionGuard
{
public:
    TQuestionGuard(int AFd, bool AEcho)
    {
        Interrupted = 0;
        ActiveTerminal = AFd;
        if (pipe2(FWake, O_CLOEXEC | O_NONBLOCK) == 0)
            InterruptWakeFd = FWake[1];
        else
            FWake[0] = FWake[1] = -1;
        struct sigaction action
        {
        };
        sigemptyset(&action.sa_mask);
        action.sa_handler = OnInterrupt;
        action.sa_flags = 0; // no SA_RESTART: the read must return to see the flag
        sigaction(SIGINT, &action, &FOldInt);
        action.sa_handler = OnFatalSignal;
        sigaction(SIGTERM, &action, &FOldTerm);
        sigaction(SIGHUP, &action, &FOldHup);
        sigaction(SIGQUIT, &action, &FOldQuit);
        action.sa_handler = SIG_IGN;
        sigaction(SIGTSTP, &action, &FOldTstp);

        if (!AEcho && tcgetattr(AFd, &SavedTerminal) == 0) {
            termios raw = SavedTerminal;
            raw.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL | ICANON);
            raw.c_cc[VMIN] = 1;
            raw.c_cc[VTIME] = 0;
            TerminalChanged = true;
            // Discards what was typed ahead: it has been echoed already.
            if (tcsetattr(AFd, TCSAFLUSH, &raw) != 0)
                TerminalChanged = false;
        }
    }

    ~TQuestionGuard()
    {
        if (TerminalChanged)
            tcsetattr(ActiveTerminal, TCSANOW, &SavedTerminal);
        TerminalChanged = false;
        sigaction(SIGINT, &FOldInt, nullptr);
        sigaction(SIGTERM, &FOldTerm, nullptr);
        sigaction(SIGHUP, &FOldHup, nullptr);
        sigaction(SIGQUIT, &FOldQuit, nullptr);
        sigaction(SIGTSTP, &FOldTstp, nullptr);
        ActiveTerminal = -1;
        InterruptWakeFd = -1;
        for (const int fd : FWake)
            if (fd >= 0)
                close(fd);
    }

    TQuestionGuard(const TQuestionGuard &) = delete;
    TQuestionGuard &operator=(const TQuestionGuard &) = delete;

    bool EchoOff() const { return TerminalChanged; }
    // Readable once Ctrl+C was pressed; -1 without one.
    int InterruptFd() const { return FWake[0]; }
    const termios &Saved() const { return SavedTerminal; }

private:
    int FWake[2] = {-1, -1};
    struct sigaction FOldInt
    {
    };
    struct sigaction FOldTerm
    {
    };
    struct sigaction FOldHup
    {
    };
    struct sigaction FOldQuit
    {
    };
    struct sigaction FOldTstp
    {
    };
};

// Bytes that are wiped before their memory is given back.
struct TWipedBytes
{
    QByteArray Bytes;
    ~TWipedBytes()
    {
        if (!Bytes.isEmpty())
            explicit_bzero(Bytes.data(), size_t(Bytes.size()));
    }
};

// Removes the last character of a UTF-8 or single-byte line.
void DropLastCharacter(QByteArray &ALine)
{
    while (!ALine.isEmpty()) {
        const unsigned char last = static_cast<unsigned char>(ALine.back());
        ALine.chop(1);
        if ((last & 0xC0) != 0x80)
            break;
    }
}

} // namespace

// ---- Headless --------------------------------------------------------------------------

std::optional<QString> THeadlessQuestions::AskPassword(const QString &, const QString &)
{
    return std::nullopt;
}

std::optional<TRunQuestions::TChoice> THeadlessQuestions::AskChoice(const QString &, const QString &,
                                                                    const QStringList &, const QString &)
{
    return std::nullopt;
}

void THeadlessQuestions::ShowError(const QString &AText)
{
    QString text = AText + u'\n';
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!ProgramEnv().ProgramBaseName.isEmpty())
        text.prepend(ProgramEnv().ProgramBaseName + QStringLiteral(": "));
    const QByteArray bytes = StringToAnsi(text);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

// ---- Terminal --------------------------------------------------------------------------

TTerminalQuestions::TTerminalQuestions(int ATerminalFd) : FFd(ATerminalFd)
{
}

TTerminalQuestions::~TTerminalQuestions()
{
    if (FFd >= 0)
        close(FFd);
}

void TTerminalQuestions::Write(const QString &AText)
{
    QString text = AText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray bytes = StringToAnsi(text);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t rc = write(FFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return; // a terminal that is gone cannot be told anything
        done += rc;
    }
}

std::optional<QByteArray> TTerminalQuestions::ReadLine(const QString &APrompt, bool AEcho)
{
    const TQuestionGuard guard(FFd, AEcho);
    Write(APrompt);
    const bool editing = guard.EchoOff();
    const unsigned char erase = editing ? guard.Saved().c_cc[VERASE] : 0;
    const unsigned char kill = editing ? guard.Saved().c_cc[VKILL] : 0;
    const unsigned char eof = editing ? guard.Saved().c_cc[VEOF] : 0;
    QByteArray line;
    std::optional<QByteArray> result;
    for (;;) {
        pollfd waits[2] = {{FFd, POLLIN, 0}, {guard.InterruptFd(), POLLIN, 0}};
        if (poll(waits, 2, -1) < 0 && errno != EINTR)
            break;
        if (Interrupted)
            break; // Ctrl+C: cancelled
        if (waits[0].revents == 0)
            continue;
        char c = 0;
        const ssize_t rc = read(FFd, &c, 1);
        if (rc < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (rc <= 0)
            break; // end of input or a lost terminal: cancelled
        if (c == '\n' || (editing && c == '\r')) {
            result = std::move(line);
            break;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (editing && (byte == erase || byte == '\b'))
            DropLastCharacter(line);
        else if (editing && byte == kill)
            line.clear();
        else if (editing && byte == eof) {
            if (line.isEmpty())
                break;
        } else
            line.append(c);
    }
    if (!result && !line.isEmpty())
        explicit_bzero(line.data(), size_t(line.size()));
    if (editing)
        Write(QStringLiteral("\n")); // the Enter key was not echoed
    return result;
}

std::optional<QString> TTerminalQuestions::AskPassword(const QString &ATitle, const QString &APrompt)
{
    std::optional<QByteArray> line =
        ReadLine(u'\n' + ATitle + u'\n' + APrompt + u'\n' + Tr("Password:") + u' ', false);
    if (!line)
        return std::nullopt;
    const TWipedBytes bytes{std::move(*line)};
    return AnsiToString(bytes.Bytes);
}

std::optional<TRunQuestions::TChoice> TTerminalQuestions::AskChoice(const QString &ATitle,
                                                                    const QString &AQuestion,
                                                                    const QStringList &AAnswers,
                                                                    const QString &AOption)
{
    QString text = u'\n' + ATitle + u'\n' + AQuestion + u'\n';
    for (qsizetype i = 0; i < AAnswers.size(); ++i)
        text += SafeFormat(QStringLiteral("  %2d  %s\n"), int(i + 1), AAnswers[i]);
    text += SafeFormat(QStringLiteral("  %2d  %s\n"), 0, DTr("Cancel"));
    Write(text);

    TChoice choice;
    for (;;) {
        const std::optional<QByteArray> line = ReadLine(Tr("Your choice:") + u' ', true);
        if (!line)
            return std::nullopt;
        const QString answer = AnsiToString(*line).trimmed();
        if (answer.isEmpty())
            return std::nullopt;
        bool ok = false;
        const int number = answer.toInt(&ok);
        if (ok && number == 0)
            return std::nullopt;
        if (ok && number >= 1 && number <= AAnswers.size()) {
            choice.Answer = number - 1;
            break;
        }
        Write(SafeFormat(Tr("Please answer with a number from 0 to %d.\n"), int(AAnswers.size())));
    }
    if (!AOption.isEmpty()) {
        const std::optional<QByteArray> line = ReadLine(AOption + u' ' + Tr("(y/N)") + u' ', true);
        if (!line)
            return std::nullopt;
        // The locale's own yes, as the shell tools read it.
        choice.Option = rpmatch(line->trimmed().constData()) == 1;
    }
    return choice;
}

void TTerminalQuestions::ShowError(const QString &AText)
{
    Write(AText + u'\n');
}

std::unique_ptr<TRunQuestions> CreateConsoleQuestions()
{
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 && isatty(fd))
        return std::make_unique<TTerminalQuestions>(fd);
    if (fd >= 0)
        close(fd);
    return std::make_unique<THeadlessQuestions>();
}
