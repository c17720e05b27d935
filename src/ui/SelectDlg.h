#pragma once

#include "ui/FormUtils.h"
#include "ui/ShowMessageDlg.h"

#include <QDialog>
#include <QPoint>
#include <QString>
#include <QStringList>

class QCheckBox;
class QLabel;
class QPushButton;
class QScreen;

// How the question of the answer dialog is written.
enum TCaptionFormat
{
    cfNormal,
    cfBold
};

// The answer value's flag for a checked check box.
constexpr int SelectOptionChecked = 256;

// Asks a question with any number of answer buttons, a closing button and an optional
// check box. The answer buttons exist for one question only.
class TSelectDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TSelectDialog(QWidget *AParent = nullptr);
    ~TSelectDialog() override;

    // Returns the index of the chosen answer in AButtons, plus SelectOptionChecked when
    // the check box was checked; -1 for the closing button and for closing the window.
    // Without answers the closing button answers 0. ButtonWidth is at 96 dpi, 0 for the
    // default; PreSelection's low byte is the button focused first (-1 or beyond the
    // answers: the closing button) and its SelectOptionChecked bit presets the check box.
    // DefaultButton is the closing button's caption, "Cancel" when empty.
    int Execute(QPoint APos, const QString &ATitle, const QString &ACaption, TMsgDialogType DlgType,
                TCaptionFormat ACaptionFormat, const QStringList &AButtons, const QString &AOption,
                int ButtonWidth = 0, int PreSelection = -1, const QString &DefaultButton = QString());

    int Selection = -1;
    bool ActiveScreenReader = false;

protected:
    void keyPressEvent(QKeyEvent *AEvent) override;
    void showEvent(QShowEvent *AEvent) override;

private:
    void CreateButtons();
    void FitToScreen(const QScreen *AScreen);
    void Choose(int AAnswer);

    QString FCaption;
    QString FOption;
    QString FDefault;
    QStringList FButtons;
    int FBw = 105;
    int FPreSel = -1;
    QPoint FPos;
    QLabel *imgIcon;
    QLabel *stCaption;
    QCheckBox *cbOption;
    TFitScrollArea *FTextArea;
    TFitScrollArea *FButtonArea;
    QPushButton *FCloseButton = nullptr;
};

// Asks with a dialog of its own, centred on the main window.
int ShowSelectDialog(const QString &ATitle, const QString &ACaption, TMsgDialogType DlgType,
                     TCaptionFormat ACaptionFormat, const QStringList &AButtons, const QString &AOption,
                     int ButtonWidth = 0, int PreSelection = -1, const QString &DefaultButton = QString());
