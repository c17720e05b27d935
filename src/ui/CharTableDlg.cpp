#include "ui/CharTableDlg.h"

#include "ui/DlgHelpers.h"
#include "ui/FormUtils.h"
#include "ui/ShowMessageDlg.h"
#include "util/Numbers.h"
#include "util/Translate.h"

#include <QApplication>
#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace {

constexpr int CellSize = 20;
constexpr int GridPointSize = 8;

QString HexLabel(int ANumber)
{
    return QStringLiteral("%1").arg(ANumber, 2, 16, QChar(u'0')).toUpper();
}

} // namespace

TCharTableDialog::TCharTableDialog(QWidget *AParent)
    : TPlacedDialog(AParent,
                    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("CharTableDialog"));
    setWindowTitle(DTr("Character table"));

    // The header row and column are the grid's fixed first row and column.
    CharGrid = new QTableWidget(16, 16, this);
    CharGrid->setObjectName(QStringLiteral("CharGrid"));
    CharGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CharGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    CharGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    CharGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    CharGrid->setTabKeyNavigation(false);
    DefFontName = CharGrid->font().family();
    QFont headerFont = CharGrid->font();
    headerFont.setPointSize(GridPointSize);
    for (QHeaderView *header : {CharGrid->horizontalHeader(), CharGrid->verticalHeader()}) {
        header->setSectionResizeMode(QHeaderView::Fixed);
        // The style's own minimum would otherwise widen the default size.
        header->setMinimumSectionSize(CellSize);
        header->setDefaultSectionSize(CellSize);
        header->setFont(headerFont);
        header->setSectionsClickable(false);
        header->setHighlightSections(false);
    }
    CharGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    CharGrid->verticalHeader()->setFixedWidth(CellSize);
    CharGrid->horizontalHeader()->setFixedHeight(CellSize);
    QStringList labels;
    for (int i = 0; i < 16; ++i)
        labels << HexLabel(i);
    CharGrid->setHorizontalHeaderLabels(labels);
    CharGrid->setVerticalHeaderLabels(labels);
    const int side = 17 * CellSize + 2 * CharGrid->frameWidth();
    CharGrid->setFixedSize(side, side);
    connect(CharGrid, &QTableWidget::cellDoubleClicked, this, [this] { done(mrOk); });

    auto *valueLabel = new QLabel(DTr("Hex value:"), this);
    valueLabel->setObjectName(QStringLiteral("laValue"));
    leValue = new QLineEdit(this);
    leValue->setObjectName(QStringLiteral("leValue"));
    leValue->setMaxLength(8);
    leValue->setMaximumWidth(80);
    valueLabel->setBuddy(leValue);
    connect(leValue, &QLineEdit::textEdited, this, &TCharTableDialog::HexValueEdited);

    btnSelect = NewResultButton(this, this, DTr("Select"), "btnSelect", mrOk, true);
    CancelBtn = NewResultButton(this, this, DTr("Cancel"), "CancelBtn", mrCancel);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(valueLabel);
    bottom->addWidget(leValue);
    bottom->addStretch(1);
    bottom->addWidget(btnSelect);
    bottom->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(CharGrid);
    layout->addLayout(bottom);

    AddHintKey(this);
    SetScreenReaderTabStops(this);
}

void TCharTableDialog::FillGrid()
{
    QFont font(GridFontName.isEmpty() ? DefFontName : GridFontName, GridPointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    for (int code = 0; code < 256; ++code) {
        auto *item = new QTableWidgetItem;
        const QChar c{char16_t(code)};
        // Control characters have no glyph; a line break would even split the cell.
        if (c.isPrint())
            item->setText(QString(c));
        item->setFont(font);
        item->setTextAlignment(Qt::AlignLeft | Qt::AlignTop);
        item->setToolTip(HexLabel(code));
        CharGrid->setItem(code / 16, code % 16, item);
    }
}

int TCharTableDialog::Execute(QPoint APos, const QString &AFontName)
{
    GridFontName = AFontName;
    FillGrid();
    CharGrid->setCurrentCell(0, 0);
    CharGrid->setFocus();
    Place(APos);
    return exec() == mrOk ? CurrentCode() : 0;
}

int TCharTableDialog::CurrentCode() const
{
    const int row = CharGrid->currentRow();
    const int column = CharGrid->currentColumn();
    return row < 0 || column < 0 ? 0 : row * 16 + column;
}

void TCharTableDialog::HexValueEdited(const QString &AText)
{
    // Anything that is no hexadecimal number from 0 to FF leaves the table as it is.
    const auto code = ParseInteger(QString(u'$' + AText.trimmed()), 0, 255);
    if (code)
        CharGrid->setCurrentCell(int(*code / 16), int(*code % 16));
}

int SelectChar(QPoint APos, const QString &AFontName)
{
    TCharTableDialog dialog(QApplication::activeWindow());
    return dialog.Execute(APos, AFontName);
}
