#include "ui/ShowMessageDlg.h"

#include "util/Translate.h"

#include <QApplication>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <limits>

namespace {

// The button glyphs, in the order the dialog's glyph list keeps them. They come from the
// style as icons, which Qt draws at the screen's scale: no stretching for high-dpi monitors.
enum TMsgGlyph
{
    mgClose,
    mgCancel,
    mgYes,
    mgNo,
    mgRetry
};

QIcon GlyphIcon(const QStyle *AStyle, int AGlyph)
{
    switch (AGlyph) {
    case mgClose:
        return AStyle->standardIcon(QStyle::SP_DialogCloseButton);
    case mgCancel:
        return AStyle->standardIcon(QStyle::SP_DialogCancelButton);
    case mgYes:
        return AStyle->standardIcon(QStyle::SP_DialogYesButton);
    case mgNo:
        return AStyle->standardIcon(QStyle::SP_DialogNoButton);
    case mgRetry:
        return AStyle->standardIcon(QStyle::SP_BrowserReload);
    default:
        return {};
    }
}

const char *const ResultProperty = "modalResult";

} // namespace

QString MsgDialogTitle(TMsgDialogType DlgType)
{
    switch (DlgType) {
    case mdtWarning:
        return DTr("Warning");
    case mdtError:
    case mdtConfirmError:
    case mdtConfirmRetry:
        return DTr("Error");
    case mdtInformation:
        return DTr("Information");
    case mdtConfirm:
    case mdtConfirmCancel:
    case mdtConfirmYesNo:
        return DTr("Confirm");
    case mdtCustom:
        break;
    }
    return {};
}

QPixmap MsgDialogIcon(TMsgDialogType DlgType, const QWidget *AWidget)
{
    QStyle::StandardPixmap icon = QStyle::SP_MessageBoxQuestion;
    switch (DlgType) {
    case mdtInformation:
        icon = QStyle::SP_MessageBoxInformation;
        break;
    case mdtWarning:
        icon = QStyle::SP_MessageBoxWarning;
        break;
    case mdtError:
    case mdtConfirmError:
    case mdtConfirmRetry:
        icon = QStyle::SP_MessageBoxCritical;
        break;
    case mdtConfirm:
    case mdtConfirmCancel:
    case mdtConfirmYesNo:
        icon = QStyle::SP_MessageBoxQuestion;
        break;
    case mdtCustom:
        return {};
    }
    return AWidget->style()
        ->standardIcon(icon, nullptr, AWidget)
        .pixmap(QSize(32, 32), AWidget->devicePixelRatioF());
}

TShowMsgDialog::TShowMsgDialog(QWidget *AParent)
    : QDialog(AParent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("ShowMsgDialog"));

    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgIcon->setFixedSize(32, 32);

    stInfo = new QLabel;
    stInfo->setObjectName(QStringLiteral("stInfo"));
    stInfo->setTextFormat(Qt::PlainText);
    stInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    stInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Keeps the text off a scroll bar.
    stInfo->setContentsMargins(0, 0, 6, 0);
    FTextArea = new TFitScrollArea(this);
    FTextArea->setWidget(stInfo);

    auto *textRow = new QHBoxLayout;
    textRow->setSpacing(13);
    textRow->addWidget(imgIcon, 0, Qt::AlignTop);
    textRow->addWidget(FTextArea, 1);

    btLeft = new QPushButton(this);
    btLeft->setObjectName(QStringLiteral("btLeft"));
    btCenter = new QPushButton(this);
    btCenter->setObjectName(QStringLiteral("btCenter"));
    btClose = new QPushButton(this);
    btClose->setObjectName(QStringLiteral("btClose"));
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    for (QPushButton *button : {btLeft, btCenter, btClose}) {
        // Enter presses the default button only, never the one that happens to have focus.
        button->setAutoDefault(false);
        buttonRow->addWidget(button);
        connect(button, &QPushButton::clicked, this,
                [this, button] { done(button->property(ResultProperty).toInt()); });
    }

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(15, 15, 15, 12);
    layout->setSpacing(15);
    layout->addLayout(textRow);
    layout->addLayout(buttonRow);

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setSingleShot(true);
    Timer->setInterval(5000);
    connect(Timer, &QTimer::timeout, this, [this] { done(mrCancel); });

    SetScreenReaderTabStops(this);
    // The message takes the focus so that no button is pressed by Enter unless it is the
    // default one; a screen-reader user also reaches it with Tab.
    if (stInfo->focusPolicy() == Qt::NoFocus)
        stInfo->setFocusPolicy(Qt::ClickFocus);
}

TShowMsgDialog::~TShowMsgDialog() = default;

void TShowMsgDialog::SetupButton(QPushButton *AButton, const char *ACaption, int AResult, int AGlyph)
{
    AButton->setText(DTr(ACaption));
    AButton->setIcon(GlyphIcon(style(), AGlyph));
    AButton->setProperty(ResultProperty, AResult);
    AButton->setVisible(true);
}

int TShowMsgDialog::Execute(QPoint APos, const QString &AHint, int Delay, TMsgDialogType DlgType,
                            TMsgDlgBtn DefaultButton, TDefaultMonitor AMonitor)
{
    if (AHint.isEmpty())
        return mrNone;

    btLeft->hide();
    btCenter->hide();
    btLeft->setDefault(false);
    btCenter->setDefault(false);
    btClose->setDefault(false);
    QPushButton *defaultButton = nullptr;
    switch (DlgType) {
    case mdtInformation:
    case mdtWarning:
    case mdtError:
        SetupButton(btClose, DTrNoop("&Close"), mrCancel, mgClose);
        defaultButton = btClose;
        break;
    case mdtConfirm:
        SetupButton(btCenter, DTrNoop("&Yes"), mrYes, mgYes);
        SetupButton(btClose, DTrNoop("&No"), mrNo, mgNo);
        defaultButton = DefaultButton == mbYes ? btCenter : DefaultButton == mbNo ? btClose : nullptr;
        break;
    case mdtConfirmError:
        SetupButton(btCenter, DTrNoop("&Yes"), mrOk, mgYes);
        SetupButton(btClose, DTrNoop("Cancel"), mrCancel, mgCancel);
        defaultButton = DefaultButton == mbYes ? btCenter : nullptr;
        break;
    case mdtConfirmRetry:
        SetupButton(btCenter, DTrNoop("&Retry"), mrRetry, mgRetry);
        SetupButton(btClose, DTrNoop("Cancel"), mrCancel, mgCancel);
        defaultButton = DefaultButton == mbRetry ? btCenter : nullptr;
        break;
    case mdtConfirmCancel:
        SetupButton(btCenter, DTrNoop("&Yes"), mrYes, mgYes);
        SetupButton(btClose, DTrNoop("Cancel"), mrCancel, mgCancel);
        defaultButton = DefaultButton == mbYes ? btCenter : nullptr;
        break;
    case mdtConfirmYesNo:
        SetupButton(btLeft, DTrNoop("&Yes"), mrYes, mgYes);
        SetupButton(btCenter, DTrNoop("&No"), mrNo, mgNo);
        SetupButton(btClose, DTrNoop("Cancel"), mrCancel, mgCancel);
        defaultButton = DefaultButton == mbYes ? btLeft : DefaultButton == mbNo ? btCenter : nullptr;
        break;
    case mdtCustom:
        btClose->hide();
        btClose->setProperty(ResultProperty, int(mrCancel));
        break;
    }
    if (defaultButton)
        defaultButton->setDefault(true);
    imgIcon->setVisible(DlgType != mdtCustom);
    imgIcon->setPixmap(MsgDialogIcon(DlgType, this));

    QString title;
    QString message = AHint;
    if (const qsizetype bar = AHint.indexOf(QLatin1Char('|')); bar >= 0) {
        title = AHint.left(bar);
        message = AHint.mid(bar + 1);
    }
    RunTimer = DlgType == mdtCustom || Delay > 0;
    setWindowTitle(title.isEmpty() ? MsgDialogTitle(DlgType) : title);
    if (RunTimer) {
        const qint64 interval = Delay > 0 ? qint64(Delay) * 1000 : qint64(message.size()) * 120 + 2000;
        Timer->setInterval(int(qMin<qint64>(interval, std::numeric_limits<int>::max())));
    }
    // Texts written for Windows may end their lines with CR LF.
    message.replace(QLatin1String("\r\n"), QLatin1String("\n"));

    FCaption = message;
    FDlgType = DlgType;
    stInfo->setText(FCaption);
    LayoutText(PlacementScreen(APos, AMonitor));
    FPos = APos;
    FMonitor = AMonitor;
    PlaceForm(this, FPos, false, FMonitor);
    stInfo->setFocus();

    // Keys reach the focused control first; the dialog sees them all through the
    // application while it runs.
    qApp->installEventFilter(this);
    const int result = exec();
    qApp->removeEventFilter(this);
    Timer->stop();
    return result;
}

void TShowMsgDialog::LayoutText(const QScreen *AScreen)
{
    const QScreen *screen = AScreen;
    if (!screen)
        return;
    // Everything around the text, with room for the window frame and the clamping
    // margins, must stay on the work area; the text scrolls beyond that.
    const QRect area = screen->availableGeometry();
    const QMargins margins = layout()->contentsMargins();
    const int frame = ScaleForScreen(40, screen);
    int otherWidth = margins.left() + margins.right() + ScaleForScreen(40, screen);
    if (imgIcon->isVisibleTo(this))
        otherWidth += imgIcon->width() + 13;
    int otherHeight = margins.top() + margins.bottom() + ScaleForScreen(50, screen) + frame;
    if (btClose->isVisibleTo(this))
        otherHeight += btClose->sizeHint().height() + layout()->spacing();
    const QSize maxText(qMax(100, area.width() - otherWidth), qMax(50, area.height() - otherHeight));

    stInfo->setWordWrap(false);
    if (stInfo->sizeHint().width() > maxText.width())
        stInfo->setWordWrap(true);
    FTextArea->SetMaxHint(maxText);
    layout()->activate();
}

void TShowMsgDialog::reject()
{
    // Esc and the close box press the cancel button: the rightmost one.
    done(btClose->isVisibleTo(this) ? btClose->property(ResultProperty).toInt() : int(mrCancel));
}

bool TShowMsgDialog::eventFilter(QObject *AWatched, QEvent *AEvent)
{
    if (AEvent->type() == QEvent::KeyPress && AWatched->isWidgetType() &&
        static_cast<QWidget *>(AWatched)->window() == this) {
        const auto *key = static_cast<QKeyEvent *>(AEvent);
        if (RunTimer || key->key() == Qt::Key_F11) {
            done(mrCancel);
            return true;
        }
    }
    return QDialog::eventFilter(AWatched, AEvent);
}

void TShowMsgDialog::showEvent(QShowEvent *AEvent)
{
    QDialog::showEvent(AEvent);
    // Again, now that the window's frame is known.
    PlaceForm(this, FPos, false, FMonitor);
    if (RunTimer)
        Timer->start();
}

int ShowMsgDlg(QPoint APos, const QString &AText, int Delay, TMsgDialogType DlgType, TMsgDlgBtn DefaultButton,
               TDefaultMonitor AMonitor)
{
    if (AText.isEmpty())
        return mrNone;
    TShowMsgDialog dialog(QApplication::activeWindow());
    return dialog.Execute(APos, AText, Delay, DlgType, DefaultButton, AMonitor);
}

void TypedMsgDlg(const QString &AText, TMsgDialogType DlgType)
{
    ShowMsgDlg(CenterPos, AText, 0, DlgType, mbNone, dmActiveForm);
}

void InfoMsgDlg(const QString &AText, int Delay)
{
    ShowMsgDlg(CenterPos, AText, Delay, mdtInformation, mbNone, dmActiveForm);
}

void InfoMsgDlgAt(QPoint APos, const QString &AText, TDefaultMonitor AMonitor)
{
    ShowMsgDlg(APos, AText, 0, mdtInformation, mbNone, AMonitor);
}

void ErrorMsgDlg(const QString &AText, int Delay)
{
    ShowMsgDlg(CenterPos, AText, Delay, mdtError, mbNone, dmActiveForm);
}

void ErrorMsgDlgAt(QPoint APos, const QString &AText, TDefaultMonitor AMonitor)
{
    ShowMsgDlg(APos, AText, 0, mdtError, mbNone, AMonitor);
}

bool ConfirmMsgDlg(const QString &AText)
{
    return ShowMsgDlg(CenterPos, AText, 0, mdtConfirm, mbYes, dmActiveForm) == mrYes;
}

bool ConfirmMsgDlgAt(QPoint APos, const QString &AText, TMsgDlgBtn DefaultButton, TDefaultMonitor AMonitor)
{
    return ShowMsgDlg(APos, AText, 0, mdtConfirm, DefaultButton, AMonitor) == mrYes;
}

bool RetryMsgDlg(const QString &AText)
{
    return ShowMsgDlg(CenterPos, AText, 0, mdtConfirmRetry, mbNone, dmActiveForm) == mrRetry;
}
