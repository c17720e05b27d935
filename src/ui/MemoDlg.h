#pragma once

#include "ui/DlgHelpers.h"
#include "util/ScreenPos.h"

#include <QDialog>
#include <QPoint>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TFitScrollArea;

// Edits a multi-line text (the schedule wizard's event query).
class TMemoDialog : public TPlacedDialog
{
    Q_OBJECT
public:
    explicit TMemoDialog(QWidget *AParent = nullptr);

    // On OK, AText receives the editor's lines, each followed by a line break.
    bool Execute(QPoint APos, const QString &Titel, const QString &Desc, QString &AText);

    // The editor's text as lines each ending in a line break ("" for an empty editor).
    static QString LinesText(const QString &APlainText);

private:
    TFitScrollArea *FDescArea;
    QLabel *Descriptor;
    QPlainTextEdit *Memo;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
};

// Shows the editor at APos; true on OK with AText updated.
bool EditMemoText(QPoint APos, const QString &Titel, const QString &Desc, QString &AText);
