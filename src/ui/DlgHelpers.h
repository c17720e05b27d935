#pragma once

#include <QString>

class QLabel;
class QScreen;
class QWidget;
class TFitScrollArea;

// Small pieces that the program's small dialogs share.

// The hint F11 shows for a control: the text hint of an edit line (also of an editable
// combo box), else its tool tip.
QString ControlHint(const QWidget *AControl);

// Makes F11 anywhere in AForm show the focused control's hint in a custom message.
void AddHintKey(QWidget *AForm);

// Lets ALabel, inside AArea, grow with its text up to a share of AScreen's work area
// (AWidthShare and AHeightShare in percent): wider lines wrap, the rest scrolls. Keeps
// dialogs with a huge prompt on the screen.
void FitTextArea(TFitScrollArea *AArea, QLabel *ALabel, const QScreen *AScreen, int AWidthShare,
                 int AHeightShare);
