#pragma once

#include "ui/FormUtils.h"
#include "util/ScreenPos.h"

#include <QDialog>
#include <QPoint>
#include <QString>

class QLabel;
class QPixmap;
class QPushButton;
class QScreen;
class QTimer;
class TFitScrollArea;

// What a message dialog shows: its icon and its buttons (left to right, the last one is
// the cancel button that Esc presses). mdtCustom is the hint mode: text only, closing by
// itself after a delay or at any key.
enum TMsgDialogType
{
    mdtInformation,
    mdtWarning,
    mdtError,
    mdtConfirm,
    mdtConfirmError,
    mdtConfirmRetry,
    mdtConfirmCancel,
    mdtConfirmYesNo,
    mdtCustom
};

// The standard buttons, numbered as stored settings and callers expect; used to name the
// default button. mbNone asks for no default button.
enum TMsgDlgBtn
{
    mbNone = -1,
    mbYes = 0,
    mbNo,
    mbOK,
    mbCancel,
    mbAbort,
    mbRetry,
    mbIgnore,
    mbAll,
    mbNoToAll,
    mbYesToAll,
    mbHelp,
    mbClose
};

// The results of the program's own dialogs (the value QDialog::exec returns).
enum TModalResult
{
    mrNone = 0,
    mrOk,
    mrCancel,
    mrAbort,
    mrRetry,
    mrIgnore,
    mrYes,
    mrNo,
    mrClose
};

// The program's one message dialog: placed at a screen point, optionally closing by
// itself, with the buttons of its type. Lives for one message.
class TShowMsgDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TShowMsgDialog(QWidget *AParent = nullptr);
    ~TShowMsgDialog() override;

    // Shows AHint ("title|message" or a message) modally; returns the TModalResult, or 0
    // at once for an empty AHint. Delay in seconds; 0 with mdtCustom means a delay by the
    // length of the text.
    int Execute(QPoint APos, const QString &AHint, int Delay, TMsgDialogType DlgType,
                TMsgDlgBtn DefaultButton, TDefaultMonitor AMonitor = dmActiveForm);

    bool RunTimer = false;

public slots:
    void reject() override;

protected:
    bool eventFilter(QObject *AWatched, QEvent *AEvent) override;
    void showEvent(QShowEvent *AEvent) override;

private:
    void SetupButton(QPushButton *AButton, const char *ACaption, int AResult, int AGlyph);
    void LayoutText(const QScreen *AScreen);

    TMsgDialogType FDlgType = mdtInformation;
    QString FCaption;
    QPoint FPos;
    TDefaultMonitor FMonitor = dmActiveForm;
    QLabel *imgIcon;
    QLabel *stInfo;
    TFitScrollArea *FTextArea;
    QPushButton *btLeft;
    QPushButton *btCenter;
    QPushButton *btClose;
    QTimer *Timer;
};

// The message functions. All are modal and return when the dialog is closed. AText may
// begin with a window title followed by "|".
int ShowMsgDlg(QPoint APos, const QString &AText, int Delay, TMsgDialogType DlgType, TMsgDlgBtn DefaultButton,
               TDefaultMonitor AMonitor = dmActiveForm);
void TypedMsgDlg(const QString &AText, TMsgDialogType DlgType);
void InfoMsgDlg(const QString &AText, int Delay = 0);
void InfoMsgDlgAt(QPoint APos, const QString &AText, TDefaultMonitor AMonitor = dmActiveForm);
void ErrorMsgDlg(const QString &AText, int Delay = 0);
void ErrorMsgDlgAt(QPoint APos, const QString &AText, TDefaultMonitor AMonitor = dmActiveForm);
// True exactly when the user chose "Yes"; Esc and the close box answer no.
bool ConfirmMsgDlg(const QString &AText);
bool ConfirmMsgDlgAt(QPoint APos, const QString &AText, TMsgDlgBtn DefaultButton = mbYes,
                     TDefaultMonitor AMonitor = dmActiveForm);
// True exactly when the user chose "Retry"; Enter presses no button.
bool RetryMsgDlg(const QString &AText);

// The standard window title of a dialog type ("Warning", "Error", ...), translated;
// empty for mdtCustom.
QString MsgDialogTitle(TMsgDialogType DlgType);
// The type's 32 x 32 icon for AWidget's screen; null for mdtCustom.
QPixmap MsgDialogIcon(TMsgDialogType DlgType, const QWidget *AWidget);
