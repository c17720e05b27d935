#pragma once

#include "ui/DlgHelpers.h"
#include "util/ScreenPos.h"

#include <QDialog>
#include <QPoint>
#include <QString>

class QLineEdit;
class QPushButton;
class QTableWidget;

// Picks a character from a table of the codes 0 ... 255, drawn in a given font.
class TCharTableDialog : public TPlacedDialog
{
    Q_OBJECT
public:
    explicit TCharTableDialog(QWidget *AParent = nullptr);

    // The chosen character code, 0 when cancelled.
    int Execute(QPoint APos, const QString &AFontName);

    // The code of the current cell.
    int CurrentCode() const;

private:
    void HexValueEdited(const QString &AText);
    void FillGrid();

    QString DefFontName;
    QString GridFontName;
    QTableWidget *CharGrid;
    QLineEdit *leValue;
    QPushButton *btnSelect;
    QPushButton *CancelBtn;
};

// Shows the character table at APos; returns the chosen code, 0 when cancelled.
int SelectChar(QPoint APos, const QString &AFontName);
