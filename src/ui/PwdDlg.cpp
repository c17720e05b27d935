#include "ui/PwdDlg.h"

#include "mail/PasswordCrypt.h"
#include "ui/DlgHelpers.h"
#include "ui/FormUtils.h"
#include "ui/ShowMessageDlg.h"
#include "util/Translate.h"

#include <QApplication>
#include <QBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace {

// A clipboard, where the icon theme has no paste icon.
QIcon PasteIcon(const QPalette &APalette)
{
    return ThemedIcon(QStringLiteral("edit-paste"), APalette, [](QPainter &painter, const QColor &ink) {
        painter.setPen(QPen(ink, 2.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(6, 5, 20, 24), 3, 3);
        painter.setBrush(ink);
        painter.drawRoundedRect(QRectF(11, 2, 10, 6), 2, 2);
        painter.setPen(QPen(ink, 2));
        for (const int y : {14, 19, 24})
            painter.drawLine(QPointF(11, y), QPointF(21, y));
    });
}

} // namespace

TPasswordDialog::TPasswordDialog(QWidget *AParent)
    : TPlacedDialog(AParent,
                    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("PasswordDialog"));

    pnTop = new QWidget(this);
    pnTop->setObjectName(QStringLiteral("pnTop"));
    lblPrompt = new QLabel;
    FPromptArea = NewTextArea(lblPrompt, "lblPrompt", pnTop);
    auto *topLayout = new QVBoxLayout(pnTop);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(FPromptArea);

    pnInput = new QWidget(this);
    pnInput->setObjectName(QStringLiteral("pnInput"));
    Label1 = new QLabel(DTr("Password:"), pnInput);
    Label1->setObjectName(QStringLiteral("Label1"));
    edtPwd = new QLineEdit(pnInput);
    edtPwd->setObjectName(QStringLiteral("edtPwd"));
    edtPwd->setEchoMode(QLineEdit::Password);
    edtPwd->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    edtPwd->setPlaceholderText(DTr("Password"));
    edtPwd->setToolTip(DTr("Password"));
    edtPwd->setMinimumWidth(220);
    Label1->setBuddy(edtPwd);
    bbPaste = new QToolButton(pnInput);
    bbPaste->setObjectName(QStringLiteral("bbPaste"));
    bbPaste->setToolTip(DTr("Paste from clipboard"));
    bbPaste->setAccessibleName(DTr("Paste from clipboard"));
    bbPaste->setIcon(PasteIcon(palette()));
    bbPaste->setFocusPolicy(Qt::TabFocus);
    connect(bbPaste, &QToolButton::clicked, this, &TPasswordDialog::PasteClicked);
    auto *inputLayout = new QHBoxLayout(pnInput);
    inputLayout->setContentsMargins(0, 0, 0, 0);
    inputLayout->addWidget(Label1);
    inputLayout->addWidget(edtPwd, 1);
    inputLayout->addWidget(bbPaste);

    // This program never offers the choice; the dialog keeps it for callers that do.
    gbEncrypt = new QGroupBox(DTr("AES encryption depth:"), this);
    gbEncrypt->setObjectName(QStringLiteral("gbEncrypt"));
    auto *depthLayout = new QHBoxLayout(gbEncrypt);
    const char *const depths[] = {"128", "192", "256"};
    for (int i = 0; i < 3; ++i) {
        FDepthButtons[i] = new QRadioButton(QString::fromLatin1(depths[i]), gbEncrypt);
        FDepthButtons[i]->setObjectName(QStringLiteral("rbDepth%1").arg(i));
        depthLayout->addWidget(FDepthButtons[i]);
    }
    gbEncrypt->hide();

    pnBottom = new QWidget(this);
    pnBottom->setObjectName(QStringLiteral("pnBottom"));
    OKBtn = NewResultButton(this, pnBottom, DTr("OK"), "OKBtn", mrOk, true);
    CancelBtn = NewResultButton(this, pnBottom, DTr("Cancel"), "CancelBtn", mrCancel);
    btnSkip = NewResultButton(this, pnBottom, DTr("Skip"), "btnSkip", mrYes);
    auto *bottomLayout = new QHBoxLayout(pnBottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addStretch(1);
    bottomLayout->addWidget(OKBtn);
    bottomLayout->addWidget(CancelBtn);
    bottomLayout->addWidget(btnSkip);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(pnTop);
    layout->addWidget(pnInput);
    layout->addWidget(gbEncrypt);
    layout->addWidget(pnBottom);

    AddHintKey(this);
    SetScreenReaderTabStops(this);
}

int TPasswordDialog::Execute(QPoint APos, const QString &Title, const QString &Prompt, bool Skip, bool Enc,
                             QString &Pwd, int &EncMode)
{
    setWindowTitle(Title);
    // Prompts written for Windows may end their lines with CR LF.
    lblPrompt->setText(QString(Prompt).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    lblPrompt->setAccessibleName(lblPrompt->text());
    pnTop->setVisible(!Prompt.isEmpty());
    FitTextArea(FPromptArea, lblPrompt, PlacementScreen(APos, dmActiveForm), 60, 50);
    edtPwd->clear();
    edtPwd->setFocus();
    btnSkip->setVisible(Skip);
    gbEncrypt->setVisible(Enc);
    FDepthButtons[qBound(0, EncMode, 2)]->setChecked(true);
    Place(APos);

    const int result = exec();
    if (result == mrOk) {
        Pwd = edtPwd->text();
        if (Enc) {
            for (int i = 0; i < 3; ++i)
                if (FDepthButtons[i]->isChecked())
                    EncMode = i;
        }
    }
    // The password stays with the caller only.
    edtPwd->clear();
    return result;
}

int TPasswordDialog::Execute(QPoint APos, const QString &Title, const QString &Prompt, bool Skip, bool Enc,
                             QByteArray &Pwd, int &EncMode)
{
    QString password;
    const int result = Execute(APos, Title, Prompt, Skip, Enc, password, EncMode);
    if (result == mrOk)
        Pwd = PasswordToBytes(password, -1);
    return result;
}

int TPasswordDialog::Execute(QPoint APos, const QString &Title, const QString &Prompt, QString &Pwd)
{
    int encMode = 0;
    return Execute(APos, Title, Prompt, false, false, Pwd, encMode);
}

int TPasswordDialog::Execute(const QString &Title, const QString &Prompt, QString &Pwd)
{
    return Execute(CenterPos, Title, Prompt, Pwd);
}

void TPasswordDialog::PasteClicked()
{
    edtPwd->clear();
    edtPwd->paste();
    edtPwd->setFocus();
}

int ShowPasswordDialog(QPoint APos, const QString &Title, const QString &Prompt, int &EncMode, QString &Pwd,
                       bool ShowEnc, bool ShowSkip)
{
    TPasswordDialog dialog(QApplication::activeWindow());
    return dialog.Execute(APos, Title, Prompt, ShowSkip, ShowEnc, Pwd, EncMode);
}

bool AskPassword(QPoint APos, const QString &Title, const QString &Prompt, QString &Pwd)
{
    int encMode = 0;
    return ShowPasswordDialog(APos, Title, Prompt, encMode, Pwd, false, false) == mrOk;
}

int AskPasswordAnsi(const QString &Title, const QString &Prompt, bool ShowSkip, QByteArray &Pwd)
{
    TPasswordDialog dialog(QApplication::activeWindow());
    int encMode = 0;
    return dialog.Execute(CenterPos, Title, Prompt, ShowSkip, false, Pwd, encMode);
}
