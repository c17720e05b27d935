#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The questions a run may have to ask and the errors it shows: the account password, the
// end action before an unattended run, and error messages. Dialogs when there is a
// display, the controlling terminal when there is none, and nobody to ask when neither
// exists; the run engine does not know which.
class TRunQuestions
{
public:
    virtual ~TRunQuestions() = default;

    // The password for an account; nullopt when the question was cancelled.
    virtual std::optional<QString> AskPassword(const QString &ATitle, const QString &APrompt) = 0;

    struct TChoice
    {
        int Answer = 0;      // index in AAnswers
        bool Option = false; // the check box AOption
    };
    // One of AAnswers, none preselected, and a check box AOption that starts unchecked;
    // nullopt when the question was cancelled.
    virtual std::optional<TChoice> AskChoice(const QString &ATitle, const QString &AQuestion,
                                             const QStringList &AAnswers, const QString &AOption) = 0;

    // Shows an error and returns once the user has seen it (where somebody can).
    virtual void ShowError(const QString &AText) = 0;
};

// The questions of a run without a display: on the controlling terminal when the program
// has one, otherwise none at all (every question counts as cancelled, errors go to
// standard error).
std::unique_ptr<TRunQuestions> CreateConsoleQuestions();

// Nobody to ask: every question counts as cancelled, errors go to standard error.
class THeadlessQuestions : public TRunQuestions
{
public:
    std::optional<QString> AskPassword(const QString &ATitle, const QString &APrompt) override;
    std::optional<TChoice> AskChoice(const QString &ATitle, const QString &AQuestion,
                                     const QStringList &AAnswers, const QString &AOption) override;
    void ShowError(const QString &AText) override;
};

// Questions on a terminal: the password is read without echo, answers are numbered and
// "0" or an empty answer cancels; Ctrl+C at a question cancels it as well.
class TTerminalQuestions : public TRunQuestions
{
public:
    // Takes ownership of ATerminalFd, a terminal open for reading and writing.
    explicit TTerminalQuestions(int ATerminalFd);
    ~TTerminalQuestions() override;
    TTerminalQuestions(const TTerminalQuestions &) = delete;
    TTerminalQuestions &operator=(const TTerminalQuestions &) = delete;

    std::optional<QString> AskPassword(const QString &ATitle, const QString &APrompt) override;
    std::optional<TChoice> AskChoice(const QString &ATitle, const QString &AQuestion,
                                     const QStringList &AAnswers, const QString &AOption) override;
    void ShowError(const QString &AText) override;

private:
    void Write(const QString &AText);
    // Writes APrompt, then reads one line from the terminal, without its end; nullopt on
    // end of input or Ctrl+C. Echo goes off before the prompt appears, so nothing typed
    // after it is shown or lost. Without echo the line is read in non-canonical mode, so
    // it has no length limit.
    std::optional<QByteArray> ReadLine(const QString &APrompt, bool AEcho);

    int FFd;
};
