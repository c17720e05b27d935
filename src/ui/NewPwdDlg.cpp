#include "ui/NewPwdDlg.h"

#include "mail/PasswordCrypt.h"
#include "ui/DlgHelpers.h"
#include "ui/FormUtils.h"
#include "ui/ShowMessageDlg.h"
#include "util/PasswordRating.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>

#include <cmath>

namespace {

// An eye, where the icon theme has none.
QIcon EyeIcon(const QPalette &APalette)
{
    return ThemedIcon(QStringLiteral("view-visible"), APalette, [](QPainter &painter, const QColor &ink) {
        painter.setPen(QPen(ink, 2.5));
        QPainterPath lids;
        lids.moveTo(3, 16);
        lids.quadTo(16, 2, 29, 16);
        lids.quadTo(16, 30, 3, 16);
        painter.drawPath(lids);
        painter.setBrush(ink);
        painter.drawEllipse(QPointF(16, 16), 4.5, 4.5);
    });
}

QLineEdit *NewPasswordEdit(const char *AObjectName, const QString &ATextHint, QWidget *AParent)
{
    auto *edit = new QLineEdit(AParent);
    edit->setObjectName(QString::fromLatin1(AObjectName));
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    edit->setPlaceholderText(ATextHint);
    edit->setMinimumWidth(260);
    return edit;
}

} // namespace

// ---- TQualityBar -------------------------------------------------------------------------

TQualityBar::TQualityBar(QWidget *AParent) : QWidget(AParent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TQualityBar::SetRating(int ARating)
{
    FRating = qBound(0, ARating, 100);
    setAccessibleName(QString::number(FRating) + u'%');
    update();
}

QSize TQualityBar::sizeHint() const
{
    return {120, fontMetrics().height() + 6};
}

QColor TQualityBar::GradientColor(int x, int AWidth)
{
    // Red at the left edge, yellow at column AWidth / 2, dark green at the right edge.
    const int middle = AWidth / 2;
    const auto mix = [](int from, int to, int step, int steps) {
        return steps <= 0 ? to : int(std::lround(from + double(to - from) * step / steps));
    };
    if (x <= middle)
        return QColor(255, mix(0, 255, x, middle), 0);
    const int steps = AWidth - 1 - middle;
    const int step = x - middle;
    return QColor(mix(255, 0, step, steps), mix(255, 128, step, steps), 0);
}

void TQualityBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = rect();
    const int width = area.width();
    for (int x = 0; x < width; ++x) {
        painter.setPen(GradientColor(x, width));
        painter.drawLine(x, area.top(), x, area.bottom());
    }
    const int filled = width * FRating / 100;
    const QRect rest(filled, area.top(), width - filled, area.height());
    painter.fillRect(rest, palette().color(QPalette::Window));
    // The frame and the number in the text colour, black on the gradient, so that both
    // read in the dark appearance too.
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    const QString text = QString::number(FRating) + u'%';
    painter.setClipRect(rest);
    painter.drawText(area, Qt::AlignCenter, text);
    painter.setClipRect(QRect(area.left(), area.top(), filled, area.height()));
    painter.setPen(Qt::black);
    painter.drawText(area, Qt::AlignCenter, text);
}

// ---- TNewPwdDialog -----------------------------------------------------------------------

TNewPwdDialog::TNewPwdDialog(QWidget *AParent)
    : TPlacedDialog(AParent,
                    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("NewPwdDialog"));

    paPwd = new QWidget(this);
    paPwd->setObjectName(QStringLiteral("paPwd"));
    laPwd = new QLabel(DTr("Enter password:"), paPwd);
    laPwd->setObjectName(QStringLiteral("laPwd"));
    edtPwd = NewPasswordEdit("edtPwd", DTr("Password"), paPwd);
    laPwd->setBuddy(edtPwd);
    btnShow = new QToolButton(paPwd);
    btnShow->setObjectName(QStringLiteral("btnShow"));
    btnShow->setCheckable(true);
    btnShow->setToolTip(DTr("Show password"));
    btnShow->setAccessibleName(DTr("Show password"));
    btnShow->setIcon(EyeIcon(palette()));
    btnShow->setFocusPolicy(Qt::TabFocus);
    connect(btnShow, &QToolButton::toggled, this, &TNewPwdDialog::ShowToggled);
    auto *pwdRow = new QHBoxLayout;
    pwdRow->addWidget(edtPwd, 1);
    pwdRow->addWidget(btnShow);
    auto *pwdLayout = new QVBoxLayout(paPwd);
    pwdLayout->setContentsMargins(0, 0, 0, 0);
    pwdLayout->addWidget(laPwd);
    pwdLayout->addLayout(pwdRow);

    paConfirm = new QWidget(this);
    paConfirm->setObjectName(QStringLiteral("paConfirm"));
    laRepPwd = new QLabel(DTr("Repeat password:"), paConfirm);
    laRepPwd->setObjectName(QStringLiteral("laRepPwd"));
    edtRepPwd = NewPasswordEdit("edtRepPwd", DTr("Confirm password"), paConfirm);
    laRepPwd->setBuddy(edtRepPwd);
    auto *confirmLayout = new QVBoxLayout(paConfirm);
    confirmLayout->setContentsMargins(0, 0, 0, 0);
    confirmLayout->addWidget(laRepPwd);
    confirmLayout->addWidget(edtRepPwd);

    paBottom = new QWidget(this);
    paBottom->setObjectName(QStringLiteral("paBottom"));
    Label1 = new QLabel(DTr("Quality:"), paBottom);
    Label1->setObjectName(QStringLiteral("Label1"));
    imgBar = new TQualityBar(paBottom);
    imgBar->setObjectName(QStringLiteral("imgBar"));
    OKBtn = NewResultButton(this, paBottom, DTr("OK"), "OKBtn", mrOk, true, [this] { return CanClose(); });
    CancelBtn = NewResultButton(this, paBottom, DTr("Cancel"), "CancelBtn", mrCancel);
    auto *bottomLayout = new QHBoxLayout(paBottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addWidget(Label1);
    bottomLayout->addWidget(imgBar, 1);
    bottomLayout->addSpacing(8);
    bottomLayout->addWidget(OKBtn);
    bottomLayout->addWidget(CancelBtn);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(paPwd);
    layout->addWidget(paConfirm);
    layout->addWidget(paBottom);

    connect(edtPwd, &QLineEdit::textChanged, this, &TNewPwdDialog::UpdateBar);
    connect(edtPwd, &QLineEdit::editingFinished, this, &TNewPwdDialog::UpdateBar);

    AddHintKey(this);
    SetScreenReaderTabStops(this);
}

bool TNewPwdDialog::Execute(QPoint APos, const QString &Title, QString &Pwd, bool Confirm, bool Show,
                            int MinLen)
{
    setWindowTitle(Title);
    btnShow->setChecked(false);
    btnShow->setVisible(Show);
    edtPwd->setText(Show ? Pwd : QString());
    edtRepPwd->setText(Show ? Pwd : QString());
    FConf = Confirm;
    FMinLen = qMax(0, MinLen);
    UpdateBar();
    paConfirm->setVisible(Confirm);
    edtRepPwd->setFocusPolicy(Confirm ? Qt::StrongFocus : Qt::NoFocus);
    edtPwd->setFocus();
    Place(APos);

    const bool ok = exec() == mrOk;
    if (ok)
        Pwd = edtPwd->text();
    // The password stays with the caller only.
    edtPwd->clear();
    edtRepPwd->clear();
    return ok;
}

bool TNewPwdDialog::Execute(QPoint APos, const QString &Title, QByteArray &Pwd, bool Confirm, bool Show,
                            int MinLen)
{
    QString password = Show ? PasswordFromBytes(Pwd) : QString();
    const bool ok = Execute(APos, Title, password, Confirm, Show, MinLen);
    if (ok)
        Pwd = PasswordToBytes(password, -1);
    return ok;
}

bool TNewPwdDialog::Execute(const QString &Title, QString &Pwd, bool Confirm, bool Show, int MinLen)
{
    return Execute(CenterPos, Title, Pwd, Confirm, Show, MinLen);
}

bool TNewPwdDialog::Execute(const QString &Title, QByteArray &Pwd, bool Confirm, bool Show, int MinLen)
{
    return Execute(CenterPos, Title, Pwd, Confirm, Show, MinLen);
}

bool TNewPwdDialog::CanClose()
{
    if (FConf) {
        const QString password = edtPwd->text();
        const bool longEnough = password.isEmpty() || password.size() >= FMinLen;
        if (password != edtRepPwd->text() || !longEnough) {
            if (password.size() < FMinLen) {
                ErrorMsgDlg(
                    SafeFormat(DTr("Minimum length of password is %u characters"), unsigned(FMinLen)));
                edtPwd->setFocus();
            } else {
                ErrorMsgDlg(DTr("Passwords do not match!"));
                edtRepPwd->setFocus();
            }
            return false;
        }
    }
    return true;
}

void TNewPwdDialog::ShowToggled(bool AShow)
{
    const QLineEdit::EchoMode mode = AShow ? QLineEdit::Normal : QLineEdit::Password;
    edtPwd->setEchoMode(mode);
    edtRepPwd->setEchoMode(mode);
}

void TNewPwdDialog::UpdateBar()
{
    const QString password = edtPwd->text();
    imgBar->SetRating(password.size() < FMinLen ? 0 : PasswordStrength(password));
}

bool AskNewPasswordAnsi(QPoint APos, const QString &Title, QByteArray &Pwd)
{
    TNewPwdDialog dialog(QApplication::activeWindow());
    return dialog.Execute(APos, Title, Pwd, false, false, 8);
}

bool AskNewPassword(const QString &Title, QString &Pwd)
{
    TNewPwdDialog dialog(QApplication::activeWindow());
    return dialog.Execute(CenterPos, Title, Pwd, false, false, 8);
}
