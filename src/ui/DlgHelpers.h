#pragma once

#include "util/ScreenPos.h"

#include <QDialog>
#include <QIcon>
#include <QPoint>
#include <QString>

#include <functional>

class QColor;
class QLabel;
class QPushButton;
class QPainter;
class QPalette;
class QScreen;
class QWidget;
class TFitScrollArea;

// Small pieces that the program's small dialogs share.

// A dialog that Esc and the close box end with mrCancel, placed at its position again
// once it is shown and its frame is known.
class TPlacedDialog : public QDialog
{
    Q_OBJECT
public:
    using QDialog::QDialog;

    // Places the dialog at APos (or a position constant) now and when it is shown.
    void Place(QPoint APos);

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent *AEvent) override;

private:
    QPoint FPos = CenterPos;
};

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

// A heading or prompt: ALabel shows plain text in a frameless area of AParent that
// scrolls what FitTextArea does not let it show.
TFitScrollArea *NewTextArea(QLabel *ALabel, const char *AObjectName, QWidget *AParent);

// The icon theme's icon of that name, else one that ADraw paints into a 32-pixel square
// in the button text colour of APalette.
QIcon ThemedIcon(const QString &AThemeName, const QPalette &APalette,
                 const std::function<void(QPainter &, const QColor &)> &ADraw);

// A button on AParent that ends ADialog with AResult (a TModalResult), once ACheck, when
// given, agrees. ADefault makes it the button that Enter presses.
QPushButton *NewResultButton(QDialog *ADialog, QWidget *AParent, const QString &ACaption,
                             const char *AObjectName, int AResult, bool ADefault = false,
                             std::function<bool()> ACheck = {});
