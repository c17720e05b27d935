#pragma once

#include "ui/DlgHelpers.h"
#include "util/ScreenPos.h"

#include <QDialog>
#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class TFitScrollArea;

// Edits a list of names: entries can be renamed, removed and moved. Each entry remembers
// its position in the caller's list, so that the caller can rearrange the objects that
// belong to the names.
class TEditHistListDialog : public TPlacedDialog
{
    Q_OBJECT
public:
    explicit TEditHistListDialog(QWidget *AParent = nullptr);

    // See EditHistList below.
    bool Execute(QPoint APos, const QString &Titel, const QString &Desc, QStringList &HList, bool ADelete,
                 bool AEdit, int &AIndex, QList<int> *AOrigin);

    // The positions (in the caller's list) of the entries removed during this use.
    QList<int> DelList;

private:
    void EditClicked();
    void RemoveClicked();
    void MoveClicked(bool AUp);

    TFitScrollArea *FDescArea;
    QLabel *lbDesc;
    QListWidget *lbxStringList;
    QPushButton *btnEdit;
    QPushButton *btnRemove;
    QGroupBox *gbMove;
    QPushButton *btnUp;
    QPushButton *btnDown;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
};

// Shows the list editor at APos (centred on the screen when a coordinate is negative),
// offering "Remove" with ADelete and "Edit" with AEdit; AIndex is the entry selected
// first. On OK, HList holds the edited list and AIndex the current entry (with AEdit) or
// the new position of the entry first selected (-1 when it was removed); AOrigin, when
// given, receives for each entry of the new list its position in the old one. On Cancel
// nothing changes.
bool EditHistList(QPoint APos, const QString &Titel, const QString &Desc, QStringList &HList, bool ADelete,
                  bool AEdit, int &AIndex, QList<int> *AOrigin = nullptr);

// The same for a list whose entries own objects: AObjects is rearranged like the names,
// and the objects of removed entries are destroyed, on OK only.
template <typename T>
bool EditHistList(QPoint APos, const QString &Titel, const QString &Desc, QStringList &HList,
                  std::vector<std::unique_ptr<T>> &AObjects, bool ADelete, bool AEdit, int &AIndex)
{
    QList<int> origin;
    if (!EditHistList(APos, Titel, Desc, HList, ADelete, AEdit, AIndex, &origin))
        return false;
    std::vector<std::unique_ptr<T>> kept;
    kept.reserve(size_t(origin.size()));
    for (const int from : origin)
        kept.push_back(from >= 0 && size_t(from) < AObjects.size() ? std::move(AObjects[size_t(from)])
                                                                   : nullptr);
    AObjects = std::move(kept);
    return true;
}
