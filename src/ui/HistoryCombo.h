#pragma once

#include <QString>

class QComboBox;

// Fills the box's items from the history in section of an INI file (keys "History0",
// "History1", ...; with convert every "#" becomes a double quote), reading at most maxCount
// entries, or the box's maxVisibleItems for a negative maxCount. A missing section or file
// leaves the items as they are. Afterwards item 0 is selected when there is one; the box
// takes typed text and shows its drop-down button only when it holds more than one item.
void ReadHistoryCombo(const QString &fileName, const QString &section, QComboBox *box, bool convert,
                      int maxCount);

// Writes the box's items as the history of section (see WriteHistory; throws as it does).
void WriteHistoryCombo(const QString &fileName, const QString &section, bool erase, bool convert,
                       const QComboBox *box);

// Shows or hides the box's drop-down button; without it an editable box looks and works
// as a plain edit line. A box with a style of its own is left as it is.
void SetComboDropDown(QComboBox *box, bool dropDown);
