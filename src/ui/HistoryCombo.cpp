#include "ui/HistoryCombo.h"

#include "util/FileUtils.h"

#include <QApplication>
#include <QComboBox>
#include <QProxyStyle>
#include <QStringList>
#include <QStyleOptionFrame>

namespace {

// Lays out and draws an editable combo box as a plain edit line: no drop-down button, the
// edit field over the whole width, the frame of a line edit.
class TPlainEditStyle final : public QProxyStyle
{
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl subControl,
                         const QWidget *widget) const override
    {
        if (control == CC_ComboBox &&
            (subControl == SC_ComboBoxArrow || subControl == SC_ComboBoxEditField)) {
            const QRect frame = QProxyStyle::subControlRect(control, option, SC_ComboBoxFrame, widget);
            if (subControl == SC_ComboBoxArrow)
                return QRect(frame.right() + 1, frame.top(), 0, frame.height());
            QRect field = QProxyStyle::subControlRect(control, option, subControl, widget);
            field.setRight(frame.right() - (field.left() - frame.left()));
            return field;
        }
        return QProxyStyle::subControlRect(control, option, subControl, widget);
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget) const override
    {
        if (control == CC_ComboBox) {
            QStyleOptionFrame frame;
            frame.QStyleOption::operator=(*option);
            frame.lineWidth = pixelMetric(PM_DefaultFrameWidth, option, widget);
            frame.midLineWidth = 0;
            frame.state |= State_Sunken;
            drawPrimitive(PE_PanelLineEdit, &frame, painter, widget);
            return;
        }
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }
};

QStringList Items(const QComboBox *box)
{
    QStringList items;
    items.reserve(box->count());
    for (int i = 0; i < box->count(); ++i)
        items.append(box->itemText(i));
    return items;
}

} // namespace

void SetComboDropDown(QComboBox *box, bool dropDown)
{
    auto *plainStyle = dynamic_cast<TPlainEditStyle *>(box->style());
    if (dropDown && plainStyle) {
        box->setStyle(nullptr);
        delete plainStyle;
    } else if (!dropDown && !plainStyle && box->style() == QApplication::style()) {
        // A proxy of the application's style, owned by the box.
        auto *style = new TPlainEditStyle;
        style->setParent(box);
        box->setStyle(style);
    }
}

void ReadHistoryCombo(const QString &fileName, const QString &section, QComboBox *box, bool convert,
                      int maxCount)
{
    QStringList items = Items(box);
    if (ReadHistory(fileName, section, QString(), convert, maxCount < 0 ? box->maxVisibleItems() : maxCount,
                    items)) {
        box->clear();
        box->addItems(items);
    }
    // Both forms take typed text: a box without history must still accept a new entry.
    box->setEditable(true);
    if (box->count() > 0)
        box->setCurrentIndex(0);
    SetComboDropDown(box, box->count() > 1);
}

void WriteHistoryCombo(const QString &fileName, const QString &section, bool erase, bool convert,
                       const QComboBox *box)
{
    WriteHistory(fileName, section, QString(), convert, Items(box), erase);
}
