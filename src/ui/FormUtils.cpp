#include "ui/FormUtils.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStringList>
#include <QStyle>
#include <QTextEdit>
#include <QWidget>

#include <climits>

namespace {

QStringList SplitLines(const QString &AText)
{
    QString text = AText;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text.split(QLatin1Char('\n'));
}

QScreen *ScreenOf(const QWidget *AWidget)
{
    if (AWidget && AWidget->screen())
        return AWidget->screen();
    return QGuiApplication::primaryScreen();
}

// A form that is not shown yet has no size of its own; give it its layout's, with the
// style's metrics that it gets when it is polished for showing.
void EnsureSized(QWidget *AForm)
{
    if (AForm->isVisible())
        return;
    AForm->ensurePolished();
    if (AForm->layout())
        AForm->layout()->activate();
    if (!AForm->isVisible() && !AForm->testAttribute(Qt::WA_Resized))
        AForm->adjustSize();
}

} // namespace

QWidget *MainWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow *>(widget) && widget->isVisible())
            return widget;
    }
    return nullptr;
}

QScreen *MonitorScreen(TDefaultMonitor AMonitor)
{
    switch (AMonitor) {
    case dmMainForm:
        return ScreenOf(MainWindow());
    case dmActiveForm:
        return ScreenOf(QApplication::activeWindow() ? QApplication::activeWindow() : MainWindow());
    case dmDesktop:
    case dmPrimary:
        break;
    }
    return QGuiApplication::primaryScreen();
}

QScreen *ScreenNearest(QPoint APos)
{
    if (QScreen *screen = QGuiApplication::screenAt(APos))
        return screen;
    QScreen *nearest = QGuiApplication::primaryScreen();
    qint64 best = LLONG_MAX;
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect area = screen->geometry();
        const qint64 dx = APos.x() < area.left()    ? area.left() - APos.x()
                          : APos.x() > area.right() ? APos.x() - area.right()
                                                    : 0;
        const qint64 dy = APos.y() < area.top()      ? area.top() - APos.y()
                          : APos.y() > area.bottom() ? APos.y() - area.bottom()
                                                     : 0;
        if (dx * dx + dy * dy < best) {
            best = dx * dx + dy * dy;
            nearest = screen;
        }
    }
    return nearest;
}

QScreen *PlacementScreen(QPoint APos, TDefaultMonitor AMonitor)
{
    if (APos == CenterPos) {
        if (const QWidget *mainWindow = MainWindow())
            return ScreenOf(mainWindow);
    }
    if (APos == CenterPos || APos == ScreenCenterPos || APos.x() < 0 || APos.y() < 0)
        return MonitorScreen(AMonitor);
    return ScreenNearest(APos);
}

int ScaleForScreen(int n, const QScreen *AScreen)
{
    const qreal dpi = AScreen ? AScreen->logicalDotsPerInch() : 96.0;
    return qRound(n * dpi / 96.0);
}

QPoint ClampToWorkArea(QPoint APos, QSize ASize)
{
    const QScreen *screen = ScreenNearest(APos);
    if (!screen)
        return APos;
    const QRect area = screen->availableGeometry();
    // Exclusive right and bottom edges, as the margins are measured from them.
    const int right = area.x() + area.width();
    const int bottom = area.y() + area.height();
    int x = APos.x();
    int y = APos.y();
    if (x + ASize.width() > right)
        x = right - ASize.width() - ScaleForScreen(20, screen);
    if (x < area.left())
        x = area.left() + ScaleForScreen(20, screen);
    if (y + ASize.height() > bottom)
        y = bottom - ASize.height() - ScaleForScreen(30, screen);
    if (y < area.top())
        y = area.top() + ScaleForScreen(20, screen);
    return {x, y};
}

void ClampForm(QWidget *AForm)
{
    EnsureSized(AForm);
    const QRect frame = AForm->frameGeometry();
    AForm->move(ClampToWorkArea(frame.topLeft(), frame.size()));
}

void PlaceForm(QWidget *AForm, QPoint APos, bool Above, TDefaultMonitor AMonitor)
{
    EnsureSized(AForm);
    const QSize size = AForm->frameGeometry().size();
    QPoint pos = AForm->pos();
    if (APos == ScreenCenterPos || APos == CenterPos) {
        QWidget *mainWindow = APos == CenterPos ? MainWindow() : nullptr;
        QRect around;
        if (mainWindow && mainWindow != AForm)
            around = mainWindow->frameGeometry();
        else if (QScreen *screen = MonitorScreen(AMonitor))
            around = screen->availableGeometry();
        pos = around.topLeft() +
              QPoint((around.width() - size.width()) / 2, (around.height() - size.height()) / 2);
    } else {
        if (APos.x() >= 0)
            pos.setX(APos.x());
        if (APos.y() >= 0)
            pos.setY(APos.y());
        if (Above)
            pos.ry() -= size.height();
    }
    AForm->move(ClampToWorkArea(pos, size));
}

QPoint TopLeftPos(const QWidget *AControl)
{
    return AControl->mapToGlobal(QPoint(0, 0));
}

QPoint TopRightPos(const QWidget *AControl)
{
    return AControl->mapToGlobal(QPoint(AControl->width(), 0));
}

QPoint BottomRightPos(const QWidget *AControl)
{
    return AControl->mapToGlobal(QPoint(AControl->width(), AControl->height()));
}

QPoint BottomLeftPos(const QWidget *AControl, QPoint AOffset)
{
    return AControl->mapToGlobal(QPoint(0, AControl->height()) + AOffset);
}

int TextLineCount(const QString &AText)
{
    return int(SplitLines(AText).size());
}

int MaxTextWidth(const QString &AText, const QFont &AFont)
{
    const QFontMetrics metrics(AFont);
    int widest = 0;
    for (const QString &line : SplitLines(AText))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    return widest;
}

QSize TextExtent(const QString &AText, const QFont &AFont)
{
    const QFontMetrics metrics(AFont);
    return {MaxTextWidth(AText, AFont),
            metrics.boundingRect(QLatin1Char('X')).height() * TextLineCount(AText)};
}

namespace {
std::optional<bool> ScreenReaderOverride;
} // namespace

bool ScreenReaderActive()
{
    return ScreenReaderOverride.value_or(QAccessible::isActive());
}

void OverrideScreenReader(std::optional<bool> AActive)
{
    ScreenReaderOverride = AActive;
}

void SetScreenReaderTabStops(QWidget *AForm)
{
    const bool tabStop = ScreenReaderActive();
    for (QWidget *child : AForm->findChildren<QWidget *>()) {
        bool readOnly = false;
        if (qobject_cast<QLabel *>(child))
            readOnly = true;
        else if (auto *edit = qobject_cast<QLineEdit *>(child))
            readOnly = edit->isReadOnly();
        else if (auto *edit = qobject_cast<QPlainTextEdit *>(child))
            readOnly = edit->isReadOnly();
        else if (auto *edit = qobject_cast<QTextEdit *>(child))
            readOnly = edit->isReadOnly();
        else if (auto *spin = qobject_cast<QAbstractSpinBox *>(child))
            readOnly = spin->isReadOnly();
        if (!readOnly)
            continue;
        // Without a screen reader a read-only field still takes a click, to select text.
        if (tabStop)
            child->setFocusPolicy(Qt::StrongFocus);
        else
            child->setFocusPolicy(qobject_cast<QLabel *>(child) ? Qt::NoFocus : Qt::ClickFocus);
    }
}

void FitToButton(QWidget *AForm, const QWidget *AButton, int AMargin, bool AHeight)
{
    const QPoint corner = AButton->mapTo(AForm, QPoint(AButton->width(), AButton->height()));
    AForm->resize(corner.x() + AMargin, AHeight ? corner.y() + AMargin : AForm->height());
}

TFitScrollArea::TFitScrollArea(QWidget *AParent) : QScrollArea(AParent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The content shows on the dialog's own background.
    viewport()->setAutoFillBackground(false);
    // A stop for Tab only while there is something to scroll.
    setFocusPolicy(Qt::NoFocus);
}

void TFitScrollArea::resizeEvent(QResizeEvent *AEvent)
{
    QScrollArea::resizeEvent(AEvent);
    const bool scrolls = horizontalScrollBar()->isVisibleTo(this) || verticalScrollBar()->isVisibleTo(this);
    setFocusPolicy(scrolls ? Qt::StrongFocus : Qt::NoFocus);
}

void TFitScrollArea::SetMaxHint(QSize AMax)
{
    FMaxHint = AMax;
    updateGeometry();
}

QSize TFitScrollArea::sizeHint() const
{
    const QWidget *content = widget();
    if (!content)
        return QScrollArea::sizeHint();
    const QSize wanted = content->sizeHint().expandedTo(content->minimumSizeHint());
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    int width = qMin(wanted.width(), FMaxHint.width());
    int height = wanted.height();
    if (content->hasHeightForWidth())
        height = content->heightForWidth(width);
    const bool verticalBar = height > FMaxHint.height();
    if (verticalBar) {
        width = qMin(width + scrollBar, FMaxHint.width());
        if (content->hasHeightForWidth())
            height = content->heightForWidth(width - scrollBar);
    }
    // What cannot wrap (a very long word, a row of buttons) scrolls sideways.
    const int viewportWidth = width - (verticalBar ? scrollBar : 0);
    if (content->minimumSizeHint().width() > viewportWidth)
        height += scrollBar;
    return {width, qMin(height, FMaxHint.height())};
}

QSize TFitScrollArea::minimumSizeHint() const
{
    return sizeHint();
}
