#include "ui/CheckBoxes.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStylePainter>
#include <QStyledItemDelegate>

namespace {

// Draws an entry of the open list: a check box 2 pixels from the left, centred
// vertically, then a blank and the long text, on the list's own colour.
class TCheckItemDelegate final : public QStyledItemDelegate
{
public:
    explicit TCheckItemDelegate(TCheckComboBox *ABox) : QStyledItemDelegate(ABox), FBox(ABox) {}

    void paint(QPainter *APainter, const QStyleOptionViewItem &AOption,
               const QModelIndex &AIndex) const override
    {
        const QWidget *widget = AOption.widget;
        QStyle *style = widget ? widget->style() : FBox->style();
        APainter->save();
        APainter->fillRect(AOption.rect, AOption.palette.base());
        // The entry that space toggles: tinted and framed in the selection colour, which
        // shows in both appearances (the style's focus frame does not on the dark list).
        if (AOption.state & (QStyle::State_HasFocus | QStyle::State_Selected)) {
            QColor tint = AOption.palette.color(QPalette::Highlight);
            APainter->setPen(tint);
            tint.setAlpha(60);
            APainter->setBrush(tint);
            APainter->drawRect(AOption.rect.adjusted(0, 0, -1, -1));
        }

        // A box of our own: the style's check box draws its frame in a shade of the window
        // colour that vanishes on the dark list colour.
        const QSize size = CheckSize(style);
        const QRect box(AOption.rect.left() + 2,
                        AOption.rect.top() + (AOption.rect.height() - size.height()) / 2, size.width(),
                        size.height());
        const QColor ink = AOption.palette.color(QPalette::Text);
        const QColor base = AOption.palette.color(QPalette::Base);
        const QColor frame((ink.red() + base.red()) / 2, (ink.green() + base.green()) / 2,
                           (ink.blue() + base.blue()) / 2);
        APainter->setRenderHint(QPainter::Antialiasing);
        APainter->setPen(QPen(frame, 1));
        APainter->setBrush(base);
        APainter->drawRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
        if (AIndex.data(Qt::CheckStateRole).toInt() == Qt::Checked) {
            APainter->setPen(
                QPen(ink, qMax(1.5, box.width() / 8.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            const QPointF points[] = {
                {box.left() + box.width() * 0.22, box.top() + box.height() * 0.52},
                {box.left() + box.width() * 0.42, box.top() + box.height() * 0.74},
                {box.left() + box.width() * 0.78, box.top() + box.height() * 0.28},
            };
            APainter->drawPolyline(points, 3);
        }
        APainter->setRenderHint(QPainter::Antialiasing, false);

        QRect textRect = AOption.rect;
        textRect.setLeft(box.right() + 1);
        const QString text = u' ' + FBox->GetLongString(AIndex.row());
        APainter->setPen(AOption.palette.color(QPalette::Text));
        APainter->setFont(AOption.font);
        APainter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                           AOption.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));

        APainter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &AOption, const QModelIndex &AIndex) const override
    {
        const QSize check = CheckSize(FBox->style());
        const int textWidth = AOption.fontMetrics.horizontalAdvance(u' ' + FBox->GetLongString(AIndex.row()));
        return {2 + check.width() + textWidth + 6, qMax(check.height(), AOption.fontMetrics.height()) + 4};
    }

private:
    static QSize CheckSize(const QStyle *AStyle)
    {
        return {AStyle->pixelMetric(QStyle::PM_IndicatorWidth),
                AStyle->pixelMetric(QStyle::PM_IndicatorHeight)};
    }

    TCheckComboBox *FBox;
};

} // namespace

TCheckComboBox::TCheckComboBox(QWidget *AParent) : QComboBox(AParent)
{
    setItemDelegate(new TCheckItemDelegate(this));
    // view() creates the popup, whose own filters close it on a click; installed after
    // them, this box's filter sees the events first.
    view()->installEventFilter(this);
    view()->viewport()->installEventFilter(this);

    // The box never has a current entry: it always shows its computed text.
    connect(this, &QComboBox::currentIndexChanged, this, [this](int AIndex) {
        if (AIndex != -1)
            setCurrentIndex(-1);
    });
    QAbstractItemModel *itemModel = model();
    connect(itemModel, &QAbstractItemModel::rowsInserted, this, &TCheckComboBox::Invalidate);
    connect(itemModel, &QAbstractItemModel::rowsRemoved, this, &TCheckComboBox::Invalidate);
    connect(itemModel, &QAbstractItemModel::modelReset, this, &TCheckComboBox::Invalidate);
    connect(itemModel, &QAbstractItemModel::dataChanged, this, &TCheckComboBox::Invalidate);
}

void TCheckComboBox::Invalidate()
{
    bCalcText = true;
    update();
}

void TCheckComboBox::SetChecked(int nIndex, bool checked)
{
    if (nIndex >= 0 && nIndex < count())
        setItemData(nIndex, checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

bool TCheckComboBox::IsChecked(int nIndex) const
{
    return nIndex >= 0 && nIndex < count() && itemData(nIndex, Qt::CheckStateRole).toInt() == Qt::Checked;
}

int TCheckComboBox::AddChecked(const QString &value, bool checked)
{
    addItem(value);
    const int index = count() - 1;
    SetChecked(index, checked);
    return index;
}

void TCheckComboBox::CheckAll(bool checked)
{
    for (int i = 0; i < count(); ++i)
        SetChecked(i, checked);
}

QString TCheckComboBox::GetLongString(int AIndex) const
{
    const QString text = itemText(AIndex);
    const qsizetype bar = text.indexOf(u'|');
    return bar < 0 ? text : text.left(bar);
}

QString TCheckComboBox::GetShortString(int AIndex) const
{
    const QString text = itemText(AIndex);
    const qsizetype bar = text.indexOf(u'|');
    return bar < 0 ? text : text.mid(bar + 1);
}

int TCheckComboBox::CheckedCount()
{
    CalcText();
    return FCheckedCount;
}

uint32_t TCheckComboBox::CheckedMask()
{
    CalcText();
    uint32_t mask = 0;
    for (int i = 0; i < qMin(count(), 32); ++i)
        if (IsChecked(i))
            mask |= uint32_t(1) << i;
    return mask;
}

void TCheckComboBox::SetCheckedMask(uint32_t AMask)
{
    for (int i = 0; i < qMin(count(), 32); ++i)
        SetChecked(i, (AMask >> i) & 1);
}

TCheckSet TCheckComboBox::CheckedSet()
{
    CalcText();
    TCheckSet set;
    for (int i = 0; i < qMin(count(), 256); ++i)
        set[size_t(i)] = IsChecked(i);
    return set;
}

void TCheckComboBox::SetCheckedSet(const TCheckSet &ASet)
{
    for (int i = 0; i < qMin(count(), 256); ++i)
        SetChecked(i, ASet[size_t(i)]);
}

QString TCheckComboBox::ClosedText()
{
    CalcText();
    return FFixedText.isEmpty() ? sHint : FFixedText;
}

void TCheckComboBox::SetCaption(const QString &ACaption)
{
    FFixedText = ACaption;
    Invalidate();
}

void TCheckComboBox::SetHintPrefix(const QString &APrefix)
{
    FHintPrefix = APrefix;
    Invalidate();
}

void TCheckComboBox::SetDefaultIndex(int AIndex)
{
    FDefaultIndex = AIndex;
    Invalidate();
}

void TCheckComboBox::SetColorFocus(const QColor &AColor)
{
    FColorFocus = AColor;
    update();
}

QColor TCheckComboBox::ColorNotFocus() const
{
    // Unset, it follows the palette, so that a change to the dark palette reaches it.
    return FColorNotFocus.isValid() ? FColorNotFocus : palette().color(QPalette::ToolTipBase);
}

void TCheckComboBox::SetColorNotFocus(const QColor &AColor)
{
    FColorNotFocus = AColor;
    update();
}

void TCheckComboBox::CalcText()
{
    if (!bCalcText)
        return;
    // With the list open the user is still choosing; an emptied list gets its default
    // entry when it closes.
    if (!FPopupOpen && FDefaultIndex >= 0 && FDefaultIndex < count()) {
        bool any = false;
        for (int i = 0; i < count() && !any; ++i)
            any = IsChecked(i);
        if (!any)
            SetChecked(FDefaultIndex, true);
    }
    bCalcText = false;
    QStringList shortTexts;
    QStringList longTexts;
    for (int i = 0; i < count(); ++i) {
        if (IsChecked(i)) {
            shortTexts += GetShortString(i);
            longTexts += GetLongString(i);
        }
    }
    FCheckedCount = int(shortTexts.size());
    sHint = shortTexts.join(u',');
    setToolTip(FHintPrefix + longTexts.join(u','));
}

void TCheckComboBox::Toggle(int AIndex)
{
    if (AIndex < 0 || AIndex >= count())
        return;
    SetChecked(AIndex, !IsChecked(AIndex));
    emit OnCheckClick(AIndex);
    emit OnChange();
    view()->viewport()->update();
}

void TCheckComboBox::showPopup()
{
    // The list is as wide as its longest entry needs, at least as wide as the box.
    const int width = view()->sizeHintForColumn(0);
    view()->setMinimumWidth(qMax(width + 2 * view()->frameWidth(), this->width()));
    FPopupOpen = true;
    FPressedInList = false;
    QComboBox::showPopup();
}

void TCheckComboBox::hidePopup()
{
    QComboBox::hidePopup();
    FPopupOpen = false;
    Invalidate();
    CalcText();
}

bool TCheckComboBox::eventFilter(QObject *AWatched, QEvent *AEvent)
{
    if (AWatched == view()->viewport()) {
        switch (AEvent->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto *mouse = static_cast<QMouseEvent *>(AEvent);
            if (mouse->button() != Qt::LeftButton)
                break;
            const QModelIndex index = view()->indexAt(mouse->position().toPoint());
            FPressedInList = index.isValid();
            if (index.isValid())
                view()->setCurrentIndex(index);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto *mouse = static_cast<QMouseEvent *>(AEvent);
            if (mouse->button() != Qt::LeftButton)
                break;
            // Only a click that began in the list toggles: the release of the click that
            // opened it does not. Either way the list stays open.
            const QModelIndex index = view()->indexAt(mouse->position().toPoint());
            if (FPressedInList && index.isValid())
                Toggle(index.row());
            FPressedInList = false;
            return true;
        }
        default:
            break;
        }
    } else if (AWatched == view() && AEvent->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(AEvent)->key()) {
        case Qt::Key_Space:
            Toggle(view()->currentIndex().row());
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            hidePopup();
            return true;
        default:
            break;
        }
    }
    return QComboBox::eventFilter(AWatched, AEvent);
}

void TCheckComboBox::paintEvent(QPaintEvent *)
{
    CalcText();
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);

    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    const QColor background = hasFocus() ? FColorFocus : ColorNotFocus();
    painter.fillRect(field, background);
    // Text that stays readable on whatever colour the box was given.
    painter.setPen(qGray(background.rgb()) > 128 ? Qt::black : Qt::white);
    const QString text = u' ' + ClosedText();
    painter.drawText(field, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(text, Qt::ElideRight, field.width()));
}

void TCheckComboBox::focusInEvent(QFocusEvent *AEvent)
{
    QComboBox::focusInEvent(AEvent);
    update();
}

void TCheckComboBox::focusOutEvent(QFocusEvent *AEvent)
{
    QComboBox::focusOutEvent(AEvent);
    update();
}
