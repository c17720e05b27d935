#pragma once

#include "ui/DlgHelpers.h"
#include "util/ScreenPos.h"

#include <QByteArray>
#include <QDialog>
#include <QPoint>
#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class TFitScrollArea;

// Asks for an existing password, for example that of the account a backup group runs
// under. Returns mrOk, mrCancel, or mrYes for "Skip".
class TPasswordDialog : public TPlacedDialog
{
    Q_OBJECT
public:
    explicit TPasswordDialog(QWidget *AParent = nullptr);

    // Shows the dialog at APos with Prompt (several lines allowed). Skip offers the
    // "Skip" button, Enc the choice of the encryption depth (EncMode: 0, 1 or 2 for 128,
    // 192 or 256 bits). On OK, Pwd receives the entered password and, with Enc, EncMode
    // the chosen depth; otherwise both stay as they are.
    int Execute(QPoint APos, const QString &Title, const QString &Prompt, bool Skip, bool Enc, QString &Pwd,
                int &EncMode);
    // The same with the password as 8-bit text in the locale's character set.
    int Execute(QPoint APos, const QString &Title, const QString &Prompt, bool Skip, bool Enc,
                QByteArray &Pwd, int &EncMode);
    int Execute(QPoint APos, const QString &Title, const QString &Prompt, QString &Pwd);
    int Execute(const QString &Title, const QString &Prompt, QString &Pwd);

private:
    void PasteClicked();

    QWidget *pnTop;
    TFitScrollArea *FPromptArea;
    QLabel *lblPrompt;
    QWidget *pnInput;
    QLabel *Label1;
    QLineEdit *edtPwd;
    QToolButton *bbPaste;
    QGroupBox *gbEncrypt;
    QRadioButton *FDepthButtons[3];
    QWidget *pnBottom;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
    QPushButton *btnSkip;
};

// Each of these creates the dialog, runs it and destroys it again.

// Returns the modal result; EncMode and Pwd are updated on OK.
int ShowPasswordDialog(QPoint APos, const QString &Title, const QString &Prompt, int &EncMode, QString &Pwd,
                       bool ShowEnc, bool ShowSkip);
// True on OK only ("Cancel" and the close box give false).
bool AskPassword(QPoint APos, const QString &Title, const QString &Prompt, QString &Pwd);
// Centred on the main window; returns mrOk, mrCancel, or mrYes for "Skip".
int AskPasswordAnsi(const QString &Title, const QString &Prompt, bool ShowSkip, QByteArray &Pwd);
