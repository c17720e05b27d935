#pragma once

#include "util/ScreenPos.h"

#include <QPoint>
#include <QScrollArea>
#include <QSize>
#include <QString>

#include <optional>

class QFont;
class QScreen;
class QWidget;

// The monitor a dialog is centred on when it has no position of its own.
enum TDefaultMonitor
{
    dmDesktop,
    dmPrimary,
    dmMainForm,
    dmActiveForm
};

// The program's main window: the first visible QMainWindow, else nullptr (an unattended
// run shows none).
QWidget *MainWindow();

// The screen that AMonitor names; never nullptr while the application has a screen.
QScreen *MonitorScreen(TDefaultMonitor AMonitor);

// The screen that holds APos, or the nearest one when the point lies outside them all.
QScreen *ScreenNearest(QPoint APos);

// The screen a form placed at APos (a point or a position constant) will show on.
QScreen *PlacementScreen(QPoint APos, TDefaultMonitor AMonitor);

// n pixels at 96 dpi in the screen's logical pixels.
int ScaleForScreen(int n, const QScreen *AScreen);

// APos moved so that a window of ASize at it lies on the work area of the nearest
// screen, with a margin from the edge it would cross.
QPoint ClampToWorkArea(QPoint APos, QSize ASize);

// Moves a top-level form back onto the work area (ClampToWorkArea on its own frame).
void ClampForm(QWidget *AForm);

// Places a top-level form: ScreenCenterPos centres it on AMonitor's screen, CenterPos on
// the main window (on the screen when there is none); any other APos is its top-left
// point, a negative coordinate keeping the current one, and Above moves it up by its own
// height. The result is kept on the work area.
void PlaceForm(QWidget *AForm, QPoint APos, bool Above = false, TDefaultMonitor AMonitor = dmActiveForm);

// Screen points of a control's corners; messages and popups are placed there.
QPoint TopLeftPos(const QWidget *AControl);
QPoint TopRightPos(const QWidget *AControl);
QPoint BottomRightPos(const QWidget *AControl);
QPoint BottomLeftPos(const QWidget *AControl, QPoint AOffset = QPoint());

// Measuring multi-line texts (lines end at "\n", "\r\n" counting as one break) for
// controls that Qt's layouts do not size.
int TextLineCount(const QString &AText);
int MaxTextWidth(const QString &AText, const QFont &AFont);
// Widest line by the height of "X" times the number of lines.
QSize TextExtent(const QString &AText, const QFont &AFont);

// Whether a screen reader listens; asked when a dialog is built.
bool ScreenReaderActive();
// Lets tests stand in for a screen reader: a value overrides the system's answer,
// std::nullopt asks the system again.
void OverrideScreenReader(std::optional<bool> AActive);

// Makes the labels and read-only edit fields of AForm (recursively) tab stops exactly
// when a screen reader listens, so that its user can step onto the texts.
void SetScreenReaderTabStops(QWidget *AForm);

// Sizes a form's client area to end a margin right of (and, with AHeight, below) AButton.
void FitToButton(QWidget *AForm, const QWidget *AButton, int AMargin, bool AHeight = true);

// A frameless scroll area as large as its content up to a limit, so that a dialog grows
// with its text but never beyond the screen and scrolls the rest.
class TFitScrollArea : public QScrollArea
{
    Q_OBJECT
public:
    explicit TFitScrollArea(QWidget *AParent = nullptr);

    // The largest size the area asks its layout for.
    void SetMaxHint(QSize AMax);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *AEvent) override;

private:
    QSize FMaxHint{QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
};
