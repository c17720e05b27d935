#include "support/X11Fixture.h"

#include <QDeadlineTimer>
#include <QStandardPaths>

#include <csignal>

namespace TestSupport {

namespace {

constexpr const char *kDisplayVariable = "DISPLAY";
// Xvfb and the client are up in well under a second; this only bounds a broken start.
constexpr int kStartTimeoutMs = 15000;
constexpr int kStopTimeoutMs = 5000;

// Reads from AProcess until its output holds a complete line or the deadline passes.
std::optional<QByteArray> ReadLine(QProcess &AProcess, QByteArray &ABuffer, const QDeadlineTimer &ADeadline)
{
    for (;;) {
        ABuffer += AProcess.readAllStandardOutput();
        const qsizetype end = ABuffer.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = ABuffer.left(end);
            ABuffer.remove(0, end + 1);
            return line;
        }
        if (ADeadline.hasExpired() || AProcess.state() == QProcess::NotRunning)
            return std::nullopt;
        AProcess.waitForReadyRead(int(qMax<qint64>(1, ADeadline.remainingTime())));
    }
}

void EndProcess(QProcess &AProcess, bool AKill)
{
    if (AProcess.state() == QProcess::NotRunning)
        return;
    if (AKill)
        AProcess.kill();
    else
        AProcess.terminate();
    if (!AProcess.waitForFinished(kStopTimeoutMs)) {
        AProcess.kill();
        AProcess.waitForFinished(kStopTimeoutMs);
    }
}

} // namespace

TXvfbServer::~TXvfbServer()
{
    Stop();
}

bool TXvfbServer::Start()
{
    Stop();
    FError.clear();
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        FError = QStringLiteral("Xvfb not found on PATH (Debian package xvfb)");
        return false;
    }
    // -displayfd picks a free display number and writes it once the server accepts
    // connections; -noreset keeps root properties when the last client goes, as on a
    // desktop.
    FProcess.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                          QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                          QStringLiteral("tcp"), QStringLiteral("-noreset")});
    QByteArray buffer;
    const std::optional<QByteArray> number = ReadLine(FProcess, buffer, QDeadlineTimer(kStartTimeoutMs));
    bool ok = false;
    if (number)
        number->trimmed().toUInt(&ok);
    if (!ok) {
        FError = QStringLiteral("Xvfb did not come up: ") +
                 QString::fromLocal8Bit(FProcess.readAllStandardError());
        EndProcess(FProcess, true);
        return false;
    }
    FDisplay = u':' + QString::fromLatin1(number->trimmed());
    if (qEnvironmentVariableIsSet(kDisplayVariable))
        FSavedDisplay = qgetenv(kDisplayVariable);
    qputenv(kDisplayVariable, FDisplay.toLatin1());
    FDisplaySet = true;
    return true;
}

void TXvfbServer::Stop()
{
    if (FDisplaySet) {
        if (FSavedDisplay)
            qputenv(kDisplayVariable, *FSavedDisplay);
        else
            qunsetenv(kDisplayVariable);
        FSavedDisplay.reset();
        FDisplaySet = false;
    }
    // A stopped server would not see SIGTERM.
    Resume();
    EndProcess(FProcess, false);
    FDisplay.clear();
}

bool TXvfbServer::IsCurrent() const
{
    return FDisplaySet && !FDisplay.isEmpty() && qgetenv(kDisplayVariable) == FDisplay.toLatin1();
}

bool TXvfbServer::Suspend()
{
    return FProcess.state() == QProcess::Running && ::kill(pid_t(FProcess.processId()), SIGSTOP) == 0;
}

bool TXvfbServer::Resume()
{
    return FProcess.state() == QProcess::Running && ::kill(pid_t(FProcess.processId()), SIGCONT) == 0;
}

TX11TestClient::~TX11TestClient()
{
    Kill();
}

bool TX11TestClient::Start(const QStringList &AArgs)
{
    Kill();
    FError.clear();
    FOutput.clear();
    FWindows.clear();
    FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProcess.start(QStringLiteral(AK_X11_TEST_CLIENT), AArgs);
    if (!FProcess.waitForStarted(kStartTimeoutMs)) {
        FError = QStringLiteral("cannot start the test client: ") + FProcess.errorString();
        return false;
    }
    FPid = FProcess.processId();
    const std::optional<QByteArray> line = ReadLine(FProcess, FOutput, QDeadlineTimer(kStartTimeoutMs));
    const QList<QByteArray> words = line ? line->split(' ') : QList<QByteArray>();
    if (words.value(0) != "READY") {
        FError = QStringLiteral("the test client did not get ready: ") +
                 QString::fromLocal8Bit(line.value_or(QByteArrayLiteral("(no output)")));
        Kill();
        return false;
    }
    for (qsizetype i = 1; i < words.size(); ++i)
        FWindows.append(words[i].toUInt());
    return true;
}

bool TX11TestClient::WaitForEnd(int AMs)
{
    return FProcess.state() == QProcess::NotRunning || FProcess.waitForFinished(AMs);
}

bool TX11TestClient::EndedCleanly() const
{
    return FProcess.state() == QProcess::NotRunning && FProcess.exitStatus() == QProcess::NormalExit &&
           FProcess.exitCode() == 0;
}

bool TX11TestClient::WaitForLine(const QByteArray &ALine, int AMs)
{
    const QDeadlineTimer deadline(AMs);
    while (const std::optional<QByteArray> line = ReadLine(FProcess, FOutput, deadline)) {
        if (*line == ALine)
            return true;
    }
    return false;
}

void TX11TestClient::Kill()
{
    EndProcess(FProcess, true);
}

} // namespace TestSupport
