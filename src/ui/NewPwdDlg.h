#pragma once

#include "ui/DlgHelpers.h"
#include "util/ScreenPos.h"

#include <QByteArray>
#include <QDialog>
#include <QPoint>
#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// The quality bar of the new-password dialog: a gradient from red over yellow to green
// up to the rating, the rest in the window colour, with the rating in percent.
class TQualityBar : public QWidget
{
    Q_OBJECT
public:
    explicit TQualityBar(QWidget *AParent = nullptr);

    int Rating() const { return FRating; }
    // 0 ... 100; other values are limited to that.
    void SetRating(int ARating);
    // The colour of column x of a bar AWidth pixels wide.
    static QColor GradientColor(int x, int AWidth);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *AEvent) override;

private:
    int FRating = 0;
};

// Lets the user set a password, optionally typed twice, and shows how hard it is to
// guess.
class TNewPwdDialog : public TPlacedDialog
{
    Q_OBJECT
public:
    explicit TNewPwdDialog(QWidget *AParent = nullptr);

    // Show starts both fields with Pwd and offers the button that shows the password;
    // Confirm asks for the password twice and accepts OK only for equal entries that
    // are empty or at least MinLen characters long. True on OK, Pwd then holds the entry.
    bool Execute(QPoint APos, const QString &Title, QString &Pwd, bool Confirm, bool Show, int MinLen);
    // The same with the password as 8-bit text in the locale's character set.
    bool Execute(QPoint APos, const QString &Title, QByteArray &Pwd, bool Confirm, bool Show, int MinLen);
    bool Execute(const QString &Title, QString &Pwd, bool Confirm, bool Show, int MinLen);
    bool Execute(const QString &Title, QByteArray &Pwd, bool Confirm, bool Show, int MinLen);

private:
    // Whether OK may close the dialog; says why not.
    bool CanClose();
    void ShowToggled(bool AShow);
    void UpdateBar();

    bool FConf = false;
    int FMinLen = 0;
    QWidget *paPwd;
    QLabel *laPwd;
    QLineEdit *edtPwd;
    QToolButton *btnShow;
    QWidget *paConfirm;
    QLabel *laRepPwd;
    QLineEdit *edtRepPwd;
    QWidget *paBottom;
    TQualityBar *imgBar;
    QLabel *Label1;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
};

// Ask for a new password without confirmation, with a minimum length of 8 for the
// rating; true on OK. Each creates the dialog, runs it and destroys it again.
bool AskNewPasswordAnsi(QPoint APos, const QString &Title, QByteArray &Pwd);
bool AskNewPassword(const QString &Title, QString &Pwd);
