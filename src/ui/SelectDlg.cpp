#include "ui/SelectDlg.h"

#include "util/Translate.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr int ButtonsPerRow = 3;
constexpr int DefaultButtonWidth = 105;
constexpr int IconSpacing = 13;
} // namespace

TSelectDialog::TSelectDialog(QWidget *AParent)
    : QDialog(AParent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("SelectDialog"));
    setWindowTitle(DTr("Dialog"));

    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setFixedSize(32, 32);

    stCaption = new QLabel;
    stCaption->setObjectName(QStringLiteral("stCaption"));
    stCaption->setTextFormat(Qt::PlainText);
    stCaption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Keeps the text off a scroll bar.
    stCaption->setContentsMargins(0, 0, 6, 0);
    FTextArea = new TFitScrollArea(this);
    FTextArea->setWidget(stCaption);

    cbOption = new QCheckBox(this);
    cbOption->setObjectName(QStringLiteral("cbOption"));

    auto *textColumn = new QVBoxLayout;
    textColumn->addWidget(FTextArea, 1);
    textColumn->addWidget(cbOption);
    auto *textRow = new QHBoxLayout;
    textRow->setSpacing(IconSpacing);
    textRow->addWidget(imgIcon, 0, Qt::AlignTop);
    textRow->addLayout(textColumn, 1);

    FButtonArea = new TFitScrollArea(this);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(15, 15, 15, 12);
    layout->setSpacing(15);
    layout->addLayout(textRow);
    layout->addWidget(FButtonArea, 0, Qt::AlignRight);

    ActiveScreenReader = ScreenReaderActive();
    SetScreenReaderTabStops(this);
}

TSelectDialog::~TSelectDialog() = default;

int TSelectDialog::Execute(QPoint APos, const QString &ATitle, const QString &ACaption,
                           TMsgDialogType DlgType, TCaptionFormat ACaptionFormat, const QStringList &AButtons,
                           const QString &AOption, int ButtonWidth, int PreSelection,
                           const QString &DefaultButton)
{
    setWindowTitle(ATitle.isEmpty() ? MsgDialogTitle(DlgType) : ATitle);
    imgIcon->setVisible(DlgType != mdtCustom);
    imgIcon->setPixmap(MsgDialogIcon(DlgType, this));

    // Texts written for Windows may end their lines with CR LF.
    FCaption = QString(ACaption).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    stCaption->setText(FCaption);
    QFont font = stCaption->font();
    font.setBold(ACaptionFormat == cfBold);
    stCaption->setFont(font);

    FOption = AOption;
    cbOption->setText(FOption);
    cbOption->setVisible(!FOption.isEmpty());
    cbOption->setChecked(PreSelection > 0 && (PreSelection & SelectOptionChecked) != 0);

    FButtons = AButtons;
    FDefault = DefaultButton.isEmpty() ? DTr("Cancel") : DefaultButton;
    FBw = ButtonWidth > 0 ? ButtonWidth : DefaultButtonWidth;
    FPreSel = PreSelection;
    Selection = -1;
    CreateButtons();
    FitToScreen(PlacementScreen(APos, dmActiveForm));
    FPos = APos;
    PlaceForm(this, FPos);

    exec();

    // The answer buttons belong to this question only.
    delete FButtonArea->takeWidget();
    FCloseButton = nullptr;
    return Selection;
}

void TSelectDialog::CreateButtons()
{
    delete FButtonArea->takeWidget();
    auto *panel = new QWidget;
    panel->setObjectName(QStringLiteral("paButtons"));
    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(5);

    QList<QPushButton *> buttons;
    for (int i = 0; i < FButtons.size(); ++i) {
        auto *button = new QPushButton(FButtons.at(i), panel);
        button->setObjectName(QStringLiteral("btAnswer%1").arg(i));
        connect(button, &QPushButton::clicked, this, [this, i] { Choose(i); });
        buttons << button;
    }
    FCloseButton = new QPushButton(FDefault, panel);
    FCloseButton->setObjectName(QStringLiteral("btClose"));
    // Without answers the closing button is the one answer.
    connect(FCloseButton, &QPushButton::clicked, this, [this] { Choose(FButtons.isEmpty() ? 0 : -1); });
    buttons << FCloseButton;

    // All as wide as the widest caption needs, at least the asked width.
    int width = FBw;
    for (const QPushButton *button : std::as_const(buttons))
        width = qMax(width, button->sizeHint().width());
    for (QPushButton *button : std::as_const(buttons))
        button->setFixedWidth(width);

    // Full rows of three from the left; the last row holds the remaining answers and the
    // closing button, right-aligned.
    const int fullRows = int(FButtons.size()) / ButtonsPerRow;
    const int fullCount = fullRows * ButtonsPerRow;
    for (int i = 0; i < fullCount; ++i)
        grid->addWidget(buttons.at(i), i / ButtonsPerRow, i % ButtonsPerRow);
    const int lastCount = int(buttons.size()) - fullCount;
    for (int i = 0; i < lastCount; ++i)
        grid->addWidget(buttons.at(fullCount + i), fullRows, ButtonsPerRow - lastCount + i);
    for (int column = 0; column < ButtonsPerRow; ++column)
        grid->setColumnMinimumWidth(column, width);
    FButtonArea->setWidget(panel);

    // Tab order: the answers, the closing button, then the check box; a screen-reader
    // user meets the text and the check box first.
    QWidget *previous = ActiveScreenReader ? static_cast<QWidget *>(cbOption) : nullptr;
    if (ActiveScreenReader)
        setTabOrder(stCaption, cbOption);
    for (QPushButton *button : std::as_const(buttons)) {
        if (previous)
            setTabOrder(previous, button);
        previous = button;
    }
    if (!ActiveScreenReader)
        setTabOrder(previous, cbOption);

    if (ActiveScreenReader) {
        stCaption->setFocus();
    } else {
        const int preSelected = FPreSel & 0xFF;
        QPushButton *focused = preSelected < FButtons.size() ? buttons.at(preSelected) : FCloseButton;
        focused->setFocus();
    }
}

void TSelectDialog::FitToScreen(const QScreen *AScreen)
{
    if (!AScreen)
        return;
    // The dialog with its frame and the clamping margins stays on the work area; the
    // question and the buttons scroll beyond that.
    const QRect area = AScreen->availableGeometry();
    const QMargins margins = layout()->contentsMargins();
    const int otherWidth = margins.left() + margins.right() + ScaleForScreen(40, AScreen) +
                           (imgIcon->isVisibleTo(this) ? imgIcon->width() + IconSpacing : 0);
    int otherHeight = margins.top() + margins.bottom() + layout()->spacing() + ScaleForScreen(90, AScreen);
    if (cbOption->isVisibleTo(this))
        otherHeight += cbOption->sizeHint().height() + layout()->spacing();
    const int maxWidth = qMax(100, area.width() - otherWidth);
    const int maxHeight = qMax(100, area.height() - otherHeight);

    stCaption->setWordWrap(false);
    if (stCaption->sizeHint().width() > maxWidth)
        stCaption->setWordWrap(true);
    FTextArea->SetMaxHint(QSize(maxWidth, QWIDGETSIZE_MAX));
    const QSize buttonMax(area.width() - margins.left() - margins.right() - ScaleForScreen(40, AScreen),
                          QWIDGETSIZE_MAX);
    FButtonArea->SetMaxHint(buttonMax);
    // Share the height: the buttons get what the text leaves, but at least half.
    const int textHeight = FTextArea->sizeHint().height();
    const int buttonHeight = FButtonArea->sizeHint().height();
    if (textHeight + buttonHeight > maxHeight) {
        const int buttonShare = qMax(maxHeight / 2, maxHeight - textHeight);
        FButtonArea->SetMaxHint(QSize(buttonMax.width(), qMin(buttonHeight, buttonShare)));
        FTextArea->SetMaxHint(QSize(maxWidth, maxHeight - FButtonArea->sizeHint().height()));
    }
    layout()->activate();
}

void TSelectDialog::Choose(int AAnswer)
{
    Selection = AAnswer;
    if (Selection >= 0 && cbOption->isVisibleTo(this) && cbOption->isChecked())
        Selection += SelectOptionChecked;
    accept();
}

void TSelectDialog::keyPressEvent(QKeyEvent *AEvent)
{
    // Esc presses the closing button; the window's close box leaves Selection at -1.
    if (AEvent->key() == Qt::Key_Escape && AEvent->modifiers() == Qt::NoModifier && FCloseButton) {
        FCloseButton->click();
        return;
    }
    QDialog::keyPressEvent(AEvent);
}

void TSelectDialog::showEvent(QShowEvent *AEvent)
{
    QDialog::showEvent(AEvent);
    // Again, now that the window's frame is known.
    PlaceForm(this, FPos);
}

int ShowSelectDialog(const QString &ATitle, const QString &ACaption, TMsgDialogType DlgType,
                     TCaptionFormat ACaptionFormat, const QStringList &AButtons, const QString &AOption,
                     int ButtonWidth, int PreSelection, const QString &DefaultButton)
{
    TSelectDialog dialog(QApplication::activeWindow());
    return dialog.Execute(CenterPos, ATitle, ACaption, DlgType, ACaptionFormat, AButtons, AOption,
                          ButtonWidth, PreSelection, DefaultButton);
}
