#pragma once

#include "run/RunQuestions.h"

// The questions of a run as dialogs: the password dialog, the answer dialog and the error
// message dialog, centred on the main window.
class TGuiQuestions : public TRunQuestions
{
public:
    std::optional<QString> AskPassword(const QString &ATitle, const QString &APrompt) override;
    // The end-action prompt: the question in bold with the confirmation icon, answer
    // buttons 200 pixels wide, the focus on "Cancel".
    std::optional<TChoice> AskChoice(const QString &ATitle, const QString &AQuestion,
                                     const QStringList &AAnswers, const QString &AOption) override;
    void ShowError(const QString &AText) override;
};
