#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace TestSupport {

// A private X server (Xvfb) for tests that need real windows. Start() picks a free display
// number, waits until the server accepts connections and points DISPLAY at it; Stop()
// (and the destructor) ends the server by process id and restores DISPLAY.
class TXvfbServer
{
public:
    TXvfbServer() = default;
    ~TXvfbServer();
    TXvfbServer(const TXvfbServer &) = delete;
    TXvfbServer &operator=(const TXvfbServer &) = delete;

    // False with Error() saying why when Xvfb is missing or did not come up.
    bool Start();
    void Stop();
    const QString &Error() const { return FError; }
    // ":N"
    const QString &Display() const { return FDisplay; }
    // True while DISPLAY names this server. Check it before anything that acts on the
    // windows of the display: without it the call could reach the user's desktop.
    bool IsCurrent() const;

    // Stops and continues the server (SIGSTOP, SIGCONT), for tests of a server that
    // does not answer.
    bool Suspend();
    bool Resume();

private:
    QProcess FProcess;
    QString FDisplay;
    QString FError;
    std::optional<QByteArray> FSavedDisplay;
    bool FDisplaySet = false;
};

// The test X client (tests/support/x11client) as a child process: it opens the windows
// its arguments describe and waits for SIGTERM. The destructor kills it by process id.
class TX11TestClient
{
public:
    TX11TestClient() = default;
    ~TX11TestClient();
    TX11TestClient(const TX11TestClient &) = delete;
    TX11TestClient &operator=(const TX11TestClient &) = delete;

    // Starts the client with AArgs and waits until its windows exist; false with Error()
    // saying why otherwise.
    bool Start(const QStringList &AArgs);
    const QString &Error() const { return FError; }
    qint64 Pid() const { return FPid; }
    // The ids of the windows in the order of the --window arguments.
    const QList<uint32_t> &Windows() const { return FWindows; }

    bool IsRunning() const { return FProcess.state() != QProcess::NotRunning; }
    // Waits at most AMs for the client to end; true when it has ended.
    bool WaitForEnd(int AMs);
    // The client ended by itself with exit code 0 (its answer to SIGTERM).
    bool EndedCleanly() const;
    // Waits at most AMs for a line the client prints after READY ("SIGTERM").
    bool WaitForLine(const QByteArray &ALine, int AMs);
    void Kill();

private:
    QProcess FProcess;
    qint64 FPid = 0;
    QList<uint32_t> FWindows;
    QByteArray FOutput;
    QString FError;
};

} // namespace TestSupport
