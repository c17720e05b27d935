#pragma once

#include "util/ScreenPos.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <utility>

class QListWidget;

// The entries of a popup list: a text and the number reported when it is chosen.
using TSelectItems = QList<std::pair<QString, int>>;

// A borderless popup list (the viewer's code pages): a click on an entry reports its
// number through OnSelect and closes the popup; a click elsewhere closes it without a
// choice. It belongs to its owner and is reused.
class TListSelectDialog : public QWidget
{
    Q_OBJECT
public:
    explicit TListSelectDialog(QWidget *AParent = nullptr);

    // Copies the entries; AIndex >= 0 selects the entry at that position of AItems.
    void Assign(const TSelectItems &AItems, int AIndex);
    // Shows the list at APos (nothing for an empty list). A height of 0, or one larger
    // than all entries need, fits the list to its entries; the screen limits it too.
    void ShowList(QPoint APos, int AHeight);

    // The least width of the popup.
    int Width() const { return FWidth; }
    void SetWidth(int AWidth) { FWidth = AWidth; }
    bool Sorted() const { return FSorted; }
    void SetSorted(bool ASorted) { FSorted = ASorted; }

    // Height of one entry.
    int ItemHeight() const;

signals:
    void OnSelect(int AValue);

protected:
    bool eventFilter(QObject *AWatched, QEvent *AEvent) override;
    void keyPressEvent(QKeyEvent *AEvent) override;

private:
    void Choose(int ARow);

    QListWidget *lbSelect;
    int FWidth = 0;
    bool FSorted = true;
};
