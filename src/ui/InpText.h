#pragma once

#include "ui/DlgHelpers.h"
#include "util/ScreenPos.h"

#include <QDialog>
#include <QPoint>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QPushButton;
class TFitScrollArea;

// Asks for one line of text, optionally with a history of earlier entries to choose
// from and a character table.
class TInputTextDialog : public TPlacedDialog
{
    Q_OBJECT
public:
    // The most entries the history keeps: the lines of its drop-down list.
    static constexpr int MaxHistory = 15;

    explicit TInputTextDialog(QWidget *AParent = nullptr);

    // Shows the dialog at APos with ADesc as heading; AFontName (when not empty) is the
    // font of the input, AHistory (may be nullptr) its history, sorted with ASorted. On
    // OK, AText receives the input, which also goes to the top of the history, and the
    // history is copied back.
    bool Execute(QPoint APos, const QString &Titel, const QString &Desc, bool ShowTable,
                 const QString &AFontName, QStringList *HistList, bool Sorted, QString &AText);

    // Puts AText on top of AHistory: an entry equal but for letter case moves there and
    // takes the new case; a new one drops the last entry of a full list. Empty texts are
    // not kept.
    static void AddHistory(QStringList &AHistory, const QString &AText);

protected:
    bool eventFilter(QObject *AWatched, QEvent *AEvent) override;

private:
    void TableClicked();

    int defWidth = 350;
    TFitScrollArea *FDescArea;
    QLabel *Descriptor;
    QComboBox *TextFeld;
    QPushButton *btnTable;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
};

// Both show the dialog at APos and return true on OK with AText updated.
bool InputText(QPoint APos, const QString &Titel, const QString &Desc, bool ShowTable, QString &AText);
bool InputTextEx(QPoint APos, const QString &Titel, const QString &Desc, bool ShowTable,
                 const QString &AFontName, QStringList *HistList, bool Sorted, QString &AText);
