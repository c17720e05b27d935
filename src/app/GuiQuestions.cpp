#include "app/GuiQuestions.h"

#include "ui/PwdDlg.h"
#include "ui/SelectDlg.h"
#include "ui/ShowMessageDlg.h"
#include "util/ScreenPos.h"

namespace {

constexpr int AnswerButtonWidth = 200;

} // namespace

std::optional<QString> TGuiQuestions::AskPassword(const QString &ATitle, const QString &APrompt)
{
    QString password;
    if (!::AskPassword(CenterPos, ATitle, APrompt, password))
        return std::nullopt;
    return password;
}

std::optional<TRunQuestions::TChoice> TGuiQuestions::AskChoice(const QString &ATitle,
                                                               const QString &AQuestion,
                                                               const QStringList &AAnswers,
                                                               const QString &AOption)
{
    const int answer =
        ShowSelectDialog(ATitle, AQuestion, mdtConfirm, cfBold, AAnswers, AOption, AnswerButtonWidth, -1);
    if (answer < 0)
        return std::nullopt;
    return TChoice{answer & ~SelectOptionChecked, (answer & SelectOptionChecked) != 0};
}

void TGuiQuestions::ShowError(const QString &AText)
{
    ErrorMsgDlg(AText);
}
