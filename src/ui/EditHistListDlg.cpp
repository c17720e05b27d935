#include "ui/EditHistListDlg.h"

#include "ui/DlgHelpers.h"
#include "ui/FormUtils.h"
#include "ui/InpText.h"
#include "ui/ShowMessageDlg.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

#include <QApplication>
#include <QBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

namespace {

// Where each entry came from in the caller's list.
constexpr int OriginRole = Qt::UserRole;

} // namespace

TEditHistListDialog::TEditHistListDialog(QWidget *AParent)
    : TPlacedDialog(AParent,
                    Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("EditHistListDialog"));
    setWindowTitle(DTr("Edit list entries"));

    lbDesc = new QLabel;
    FDescArea = NewTextArea(lbDesc, "lbDesc", this);
    lbxStringList = new QListWidget(this);
    lbxStringList->setObjectName(QStringLiteral("lbxStringList"));
    lbxStringList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbxStringList->setMinimumHeight(120);
    lbDesc->setBuddy(lbxStringList);

    btnEdit = new QPushButton(DTr("Edit"), this);
    btnEdit->setObjectName(QStringLiteral("btnEdit"));
    btnEdit->setToolTip(DTr("Edit item"));
    btnRemove = new QPushButton(DTr("Remove"), this);
    btnRemove->setObjectName(QStringLiteral("btnRemove"));
    btnRemove->setToolTip(DTr("Remove item"));
    gbMove = new QGroupBox(DTr("Move entry"), this);
    gbMove->setObjectName(QStringLiteral("gbMove"));
    btnUp = new QPushButton(gbMove);
    btnUp->setObjectName(QStringLiteral("btnUp"));
    btnUp->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    btnUp->setToolTip(DTr("Move item up"));
    btnUp->setAccessibleName(DTr("Move item up"));
    btnDown = new QPushButton(gbMove);
    btnDown->setObjectName(QStringLiteral("btnDown"));
    btnDown->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    btnDown->setToolTip(DTr("Move item down"));
    btnDown->setAccessibleName(DTr("Move item down"));
    auto *moveLayout = new QHBoxLayout(gbMove);
    moveLayout->addWidget(btnUp);
    moveLayout->addWidget(btnDown);
    OKBtn = NewResultButton(this, this, DTr("OK"), "OKBtn", mrOk, true);
    CancelBtn = NewResultButton(this, this, DTr("Cancel"), "CancelBtn", mrCancel);

    connect(btnEdit, &QPushButton::clicked, this, &TEditHistListDialog::EditClicked);
    connect(btnRemove, &QPushButton::clicked, this, &TEditHistListDialog::RemoveClicked);
    connect(btnUp, &QPushButton::clicked, this, [this] { MoveClicked(true); });
    connect(btnDown, &QPushButton::clicked, this, [this] { MoveClicked(false); });

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(btnEdit);
    buttons->addWidget(btnRemove);
    buttons->addWidget(gbMove);
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto *listColumn = new QVBoxLayout;
    listColumn->addWidget(FDescArea);
    listColumn->addWidget(lbxStringList, 1);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(listColumn, 1);
    layout->addLayout(buttons);
    resize(360, 300);

    AddHintKey(this);
    SetScreenReaderTabStops(this);
}

bool TEditHistListDialog::Execute(QPoint APos, const QString &Titel, const QString &Desc, QStringList &HList,
                                  bool ADelete, bool AEdit, int &AIndex, QList<int> *AOrigin)
{
    if (!Titel.isEmpty())
        setWindowTitle(Titel);
    lbDesc->setText(Desc);
    FDescArea->setVisible(!Desc.isEmpty());
    lbxStringList->clear();
    for (int i = 0; i < HList.size(); ++i) {
        auto *item = new QListWidgetItem(HList.at(i), lbxStringList);
        item->setData(OriginRole, i);
    }
    DelList.clear();
    btnRemove->setVisible(ADelete);
    btnEdit->setVisible(AEdit);

    QString remembered;
    bool hasRemembered = false;
    if (AIndex >= 0 && AIndex < lbxStringList->count()) {
        lbxStringList->setCurrentRow(AIndex);
        remembered = lbxStringList->item(AIndex)->text();
        hasRemembered = true;
    }
    lbxStringList->setFocus();

    // A negative coordinate means: no place of its own.
    const QPoint pos = APos.x() < 0 || APos.y() < 0 ? ScreenCenterPos : APos;
    const QScreen *screen = PlacementScreen(pos, dmActiveForm);
    FitTextArea(FDescArea, lbDesc, screen, 50, 15);
    Place(pos);

    if (exec() != mrOk)
        return false;

    QStringList texts;
    QList<int> origin;
    for (int i = 0; i < lbxStringList->count(); ++i) {
        texts << lbxStringList->item(i)->text();
        origin << lbxStringList->item(i)->data(OriginRole).toInt();
    }
    HList = texts;
    if (AOrigin)
        *AOrigin = origin;
    if (AEdit) {
        AIndex = lbxStringList->currentRow();
    } else if (hasRemembered) {
        AIndex = -1;
        for (int i = 0; i < texts.size() && AIndex < 0; ++i)
            if (texts.at(i).compare(remembered, Qt::CaseInsensitive) == 0)
                AIndex = i;
    }
    return true;
}

void TEditHistListDialog::EditClicked()
{
    const int row = lbxStringList->currentRow();
    if (row < 0)
        return;
    QListWidgetItem *item = lbxStringList->item(row);
    QString text = item->text();
    if (!InputText(BottomRightPos(btnEdit), DTr("Edit item"), lbDesc->text(), false, text))
        return;
    // An emptied name is no name: the entry keeps its own.
    if (text.isEmpty())
        return;
    for (int i = 0; i < lbxStringList->count(); ++i) {
        if (i != row && lbxStringList->item(i)->text().compare(text, Qt::CaseInsensitive) == 0) {
            ErrorMsgDlgAt(TopLeftPos(btnEdit), SafeFormat(DTr("Item \"%s\" already exists!"), text));
            return;
        }
    }
    item->setText(text);
    lbxStringList->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

void TEditHistListDialog::RemoveClicked()
{
    if (lbxStringList->selectedItems().isEmpty())
        return;
    const int current = lbxStringList->currentRow();
    for (int i = lbxStringList->count() - 1; i >= 0; --i) {
        if (lbxStringList->item(i)->isSelected()) {
            QListWidgetItem *item = lbxStringList->takeItem(i);
            DelList.prepend(item->data(OriginRole).toInt());
            delete item;
        }
    }
    if (lbxStringList->count() > 0)
        lbxStringList->setCurrentRow(qBound(0, current, lbxStringList->count() - 1),
                                     QItemSelectionModel::ClearAndSelect);
}

void TEditHistListDialog::MoveClicked(bool AUp)
{
    QList<int> selected;
    for (int i = 0; i < lbxStringList->count(); ++i)
        if (lbxStringList->item(i)->isSelected())
            selected << i;
    if (selected.isEmpty())
        return;
    lbxStringList->clearSelection();
    // Down is up mirrored: from the last selected entry, with the list's end as limit.
    if (!AUp)
        std::reverse(selected.begin(), selected.end());
    const int step = AUp ? -1 : 1;
    int limit = AUp ? 0 : lbxStringList->count() - 1;
    QList<int> moved;
    for (const int p : std::as_const(selected)) {
        int target = p;
        if (AUp ? p > limit : p < limit) {
            QListWidgetItem *item = lbxStringList->takeItem(p);
            lbxStringList->insertItem(p + step, item);
            target = p + step;
        }
        if (target == limit)
            limit -= step;
        moved << target;
    }
    lbxStringList->setCurrentRow(moved.first(), QItemSelectionModel::ClearAndSelect);
    for (const int row : std::as_const(moved))
        lbxStringList->item(row)->setSelected(true);
}

bool EditHistList(QPoint APos, const QString &Titel, const QString &Desc, QStringList &HList, bool ADelete,
                  bool AEdit, int &AIndex, QList<int> *AOrigin)
{
    TEditHistListDialog dialog(QApplication::activeWindow());
    return dialog.Execute(APos, Titel, Desc, HList, ADelete, AEdit, AIndex, AOrigin);
}
