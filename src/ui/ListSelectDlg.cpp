#include "ui/ListSelectDlg.h"

#include "ui/FormUtils.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyledItemDelegate>

#include <algorithm>
#include <numeric>

namespace {

constexpr int ValueRole = Qt::UserRole;

// The selected entry on light blue, the others on the list's colour; the text indented by
// 18 % of the entry height.
class TSelectDelegate final : public QStyledItemDelegate
{
public:
    TSelectDelegate(TListSelectDialog *ADialog, QObject *AParent)
        : QStyledItemDelegate(AParent), FDialog(ADialog)
    {
    }

    void paint(QPainter *APainter, const QStyleOptionViewItem &AOption,
               const QModelIndex &AIndex) const override
    {
        APainter->save();
        const bool selected = AOption.state & QStyle::State_Selected;
        APainter->fillRect(AOption.rect, selected ? QColor(166, 202, 240) : AOption.palette.base().color());
        // Black reads on the light blue; the other entries take the list's text colour,
        // which also reads in the dark appearance.
        APainter->setPen(selected ? QColor(Qt::black) : AOption.palette.color(QPalette::Text));
        const int indent = AOption.rect.height() * 18 / 100;
        const QRect textRect = AOption.rect.adjusted(indent, indent, -indent, 0);
        APainter->setFont(AOption.font);
        APainter->drawText(
            textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
            AOption.fontMetrics.elidedText(AIndex.data().toString(), Qt::ElideRight, textRect.width()));
        if (AOption.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(AOption);
            const QWidget *widget = AOption.widget;
            (widget ? widget->style() : FDialog->style())
                ->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, APainter, widget);
        }
        APainter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &AOption, const QModelIndex &AIndex) const override
    {
        return {AOption.fontMetrics.horizontalAdvance(AIndex.data().toString()), FDialog->ItemHeight()};
    }

private:
    TListSelectDialog *FDialog;
};

} // namespace

TListSelectDialog::TListSelectDialog(QWidget *AParent) : QWidget(AParent, Qt::Popup | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("ListSelectDialog"));
    lbSelect = new QListWidget(this);
    lbSelect->setObjectName(QStringLiteral("lbSelect"));
    lbSelect->setItemDelegate(new TSelectDelegate(this, lbSelect));
    lbSelect->setUniformItemSizes(true);
    lbSelect->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lbSelect->viewport()->installEventFilter(this);
    lbSelect->installEventFilter(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lbSelect);
}

int TListSelectDialog::ItemHeight() const
{
    // 17 pixels as designed, more where the font needs it.
    return qMax(17, fontMetrics().height() + 2 * (fontMetrics().height() * 18 / 100));
}

void TListSelectDialog::Assign(const TSelectItems &AItems, int AIndex)
{
    lbSelect->clear();
    QList<int> order(AItems.size());
    std::iota(order.begin(), order.end(), 0);
    if (FSorted)
        std::stable_sort(order.begin(), order.end(), [&AItems](int a, int b) {
            return AItems.at(a).first.compare(AItems.at(b).first, Qt::CaseInsensitive) < 0;
        });
    for (const int i : std::as_const(order)) {
        auto *item = new QListWidgetItem(AItems.at(i).first, lbSelect);
        item->setData(ValueRole, AItems.at(i).second);
        if (i == AIndex)
            lbSelect->setCurrentItem(item);
    }
    if (AIndex < 0 || AIndex >= AItems.size())
        lbSelect->setCurrentRow(-1);
}

void TListSelectDialog::ShowList(QPoint APos, int AHeight)
{
    const int count = lbSelect->count();
    if (count == 0)
        return;
    int widest = 0;
    for (int i = 0; i < count; ++i)
        widest = qMax(widest, fontMetrics().horizontalAdvance(lbSelect->item(i)->text()));

    const int itemHeight = ItemHeight();
    const int frame = 2 * lbSelect->frameWidth();
    const int allItems = itemHeight * count;
    int height = AHeight != 0 && AHeight < allItems ? AHeight : allItems + 6;
    // Never taller than the screen: a long list scrolls.
    const QScreen *screen = ScreenNearest(APos);
    if (screen)
        height = qMin(height, screen->availableGeometry().height() - ScaleForScreen(60, screen));
    const bool scrolls = height - frame < allItems;
    const int indent = itemHeight * 18 / 100;
    int width = widest + 2 * indent + frame + 11;
    if (scrolls)
        width += style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, lbSelect);
    width = qMax(width, FWidth);
    if (screen)
        width = qMin(width, screen->availableGeometry().width() - ScaleForScreen(40, screen));
    resize(width, height);
    PlaceForm(this, APos);
    show();
    lbSelect->setFocus();
    if (lbSelect->currentItem())
        lbSelect->scrollToItem(lbSelect->currentItem());
}

void TListSelectDialog::Choose(int ARow)
{
    if (ARow < 0 || ARow >= lbSelect->count())
        return;
    const int value = lbSelect->item(ARow)->data(ValueRole).toInt();
    hide();
    emit OnSelect(value);
}

bool TListSelectDialog::eventFilter(QObject *AWatched, QEvent *AEvent)
{
    if (AWatched == lbSelect->viewport() && AEvent->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(AEvent);
        const QModelIndex index = lbSelect->indexAt(mouse->position().toPoint());
        if (mouse->button() == Qt::LeftButton && index.isValid()) {
            Choose(index.row());
            return true;
        }
    }
    return QWidget::eventFilter(AWatched, AEvent);
}

void TListSelectDialog::keyPressEvent(QKeyEvent *AEvent)
{
    switch (AEvent->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Choose(lbSelect->currentRow());
        break;
    case Qt::Key_Escape:
        hide();
        break;
    default:
        QWidget::keyPressEvent(AEvent);
    }
}
