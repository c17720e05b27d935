#include "ui/InpText.h"

#include "ui/CharTableDlg.h"
#include "ui/DlgHelpers.h"
#include "ui/FormUtils.h"
#include "ui/HistoryCombo.h"
#include "ui/ShowMessageDlg.h"
#include "util/FileUtils.h"
#include "util/Translate.h"

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

TInputTextDialog::TInputTextDialog(QWidget *AParent)
    : TPlacedDialog(AParent,
                    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("InputTextDialog"));
    setWindowTitle(DTr("Edit text"));

    Descriptor = new QLabel;
    FDescArea = NewTextArea(Descriptor, "Descriptor", this);

    TextFeld = new QComboBox(this);
    TextFeld->setObjectName(QStringLiteral("TextFeld"));
    TextFeld->setEditable(true);
    // The history changes only by the rule below, not by every Enter.
    TextFeld->setInsertPolicy(QComboBox::NoInsert);
    TextFeld->setMaxVisibleItems(MaxHistory);
    TextFeld->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    TextFeld->setMinimumContentsLength(10);
    // Completion in the same letter case only: a case-blind one would also turn a text
    // entered in new letter case back into the stored entry when editing ends.
    TextFeld->completer()->setCaseSensitivity(Qt::CaseSensitive);
    TextFeld->completer()->setCompletionMode(QCompleter::InlineCompletion);
    Descriptor->setBuddy(TextFeld);
    TextFeld->lineEdit()->installEventFilter(this);

    btnTable = new QPushButton(DTr("Character table"), this);
    btnTable->setObjectName(QStringLiteral("btnTable"));
    connect(btnTable, &QPushButton::clicked, this, &TInputTextDialog::TableClicked);
    OKBtn = NewResultButton(this, this, DTr("OK"), "OKBtn", mrOk, true);
    CancelBtn = NewResultButton(this, this, DTr("Cancel"), "CancelBtn", mrCancel);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnTable);
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(FDescArea);
    layout->addWidget(TextFeld);
    layout->addLayout(buttons);

    AddHintKey(this);
    SetScreenReaderTabStops(this);
}

void TInputTextDialog::AddHistory(QStringList &AHistory, const QString &AText)
{
    if (AText.isEmpty())
        return;
    const bool known = std::any_of(AHistory.cbegin(), AHistory.cend(), [&AText](const QString &entry) {
        return entry.compare(AText, Qt::CaseInsensitive) == 0;
    });
    if (!known) {
        while (AHistory.size() >= MaxHistory)
            AHistory.removeLast();
    }
    AddToHistory(AHistory, AText, Qt::CaseInsensitive);
    while (AHistory.size() > MaxHistory)
        AHistory.removeLast();
}

bool TInputTextDialog::Execute(QPoint APos, const QString &Titel, const QString &Desc, bool ShowTable,
                               const QString &AFontName, QStringList *HistList, bool Sorted, QString &AText)
{
    if (!Titel.isEmpty())
        setWindowTitle(Titel);
    Descriptor->setText(Desc);
    FDescArea->setVisible(!Desc.isEmpty());
    TextFeld->setToolTip(Desc);
    btnTable->setVisible(ShowTable);
    if (!AFontName.isEmpty()) {
        QFont font = TextFeld->font();
        font.setFamily(AFontName);
        TextFeld->setFont(font);
    }

    QStringList history = HistList ? HistList->mid(0, MaxHistory) : QStringList();
    if (Sorted)
        history.sort(Qt::CaseInsensitive);
    TextFeld->clear();
    TextFeld->addItems(history);
    // Without history entries the input is a plain edit line.
    SetComboDropDown(TextFeld, TextFeld->count() > 0);
    TextFeld->setEditText(AText);
    TextFeld->lineEdit()->selectAll();
    TextFeld->setFocus();

    // As wide as the text needs, within the screen.
    const QScreen *screen = PlacementScreen(APos, dmActiveForm);
    const int maxWidth = screen ? screen->availableGeometry().width() * 3 / 4 : 1000;
    const int textWidth = TextFeld->fontMetrics().horizontalAdvance(AText) + 20 + 40;
    TextFeld->setMinimumWidth(qMin(qMax(defWidth, textWidth), maxWidth));
    FitTextArea(FDescArea, Descriptor, screen, 75, 40);
    Place(APos);

    if (exec() != mrOk)
        return false;
    AText = TextFeld->currentText();
    QStringList items;
    for (int i = 0; i < TextFeld->count(); ++i)
        items << TextFeld->itemText(i);
    AddHistory(items, AText);
    TextFeld->clear();
    TextFeld->addItems(items);
    TextFeld->setCurrentIndex(items.isEmpty() ? -1 : 0);
    if (HistList)
        *HistList = items;
    return true;
}

void TInputTextDialog::TableClicked()
{
    const int code = SelectChar(TopRightPos(btnTable), TextFeld->font().family());
    if (code != 0)
        TextFeld->setEditText(TextFeld->currentText() + QChar(char16_t(code)));
    TextFeld->setFocus();
    TextFeld->lineEdit()->deselect();
    TextFeld->lineEdit()->end(false);
}

bool TInputTextDialog::eventFilter(QObject *AWatched, QEvent *AEvent)
{
    // Enter in the input always answers OK: the line edit would first only take over a
    // selected text (which may be its inline completion, or the text preselected here).
    if (AWatched == TextFeld->lineEdit() && AEvent->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(AEvent);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & ~Qt::KeypadModifier)) {
            done(mrOk);
            return true;
        }
    }
    return QDialog::eventFilter(AWatched, AEvent);
}

bool InputText(QPoint APos, const QString &Titel, const QString &Desc, bool ShowTable, QString &AText)
{
    return InputTextEx(APos, Titel, Desc, ShowTable, QString(), nullptr, false, AText);
}

bool InputTextEx(QPoint APos, const QString &Titel, const QString &Desc, bool ShowTable,
                 const QString &AFontName, QStringList *HistList, bool Sorted, QString &AText)
{
    TInputTextDialog dialog(QApplication::activeWindow());
    return dialog.Execute(APos, Titel, Desc, ShowTable, AFontName, HistList, Sorted, AText);
}
