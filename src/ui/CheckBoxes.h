#pragma once

#include <QColor>
#include <QComboBox>
#include <QString>

#include <bitset>
#include <cstdint>

// The checked entries 0 ... 255 of a check-list drop-down.
using TCheckSet = std::bitset<256>;

// A drop-down list whose entries carry check boxes. An entry's text is a long text, a
// "|" and a short text ("Monday|Mo"); the open list shows the long texts, the closed box
// the short texts of the checked entries joined with "," (or a fixed Caption). Clicking
// an entry, or pressing space on it, toggles its check and leaves the list open.
class TCheckComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit TCheckComboBox(QWidget *AParent = nullptr);

    void SetChecked(int nIndex, bool checked);
    bool IsChecked(int nIndex) const;
    // Appends an entry; returns its index.
    int AddChecked(const QString &value, bool checked);
    void CheckAll(bool checked);
    // The part of an entry's text before the first "|" (all of it without one).
    QString GetLongString(int AIndex) const;
    // The part after the first "|" (all of it without one).
    QString GetShortString(int AIndex) const;

    // These recompute first, so an unchecked box reports its default entry as checked.
    int CheckedCount();
    // Bit i set exactly when entry i is checked, for the first 32 entries.
    uint32_t CheckedMask();
    void SetCheckedMask(uint32_t AMask);
    TCheckSet CheckedSet();
    void SetCheckedSet(const TCheckSet &ASet);

    // What the closed box shows (without its leading blank).
    QString ClosedText();

    QString Caption() const { return FFixedText; }
    void SetCaption(const QString &ACaption);
    QString HintPrefix() const { return FHintPrefix; }
    void SetHintPrefix(const QString &APrefix);
    int DefaultIndex() const { return FDefaultIndex; }
    void SetDefaultIndex(int AIndex);
    QColor ColorFocus() const { return FColorFocus; }
    void SetColorFocus(const QColor &AColor);
    QColor ColorNotFocus() const;
    void SetColorNotFocus(const QColor &AColor);
    int DropDownCount() const { return maxVisibleItems(); }
    void SetDropDownCount(int ACount) { setMaxVisibleItems(ACount); }

    void showPopup() override;
    void hidePopup() override;

signals:
    void OnCheckClick(int AIndex);
    // Any check changed by the user.
    void OnChange();

protected:
    bool eventFilter(QObject *AWatched, QEvent *AEvent) override;
    void paintEvent(QPaintEvent *AEvent) override;
    void focusInEvent(QFocusEvent *AEvent) override;
    void focusOutEvent(QFocusEvent *AEvent) override;

private:
    void Toggle(int AIndex);
    void CalcText();
    void Invalidate();

    QString FFixedText;
    QString FHintPrefix;
    int FDefaultIndex = -1;
    QColor FColorFocus{166, 202, 240};
    QColor FColorNotFocus;
    int FCheckedCount = 0;
    QString sHint;
    bool bCalcText = true;
    bool FPopupOpen = false;
    bool FPressedInList = false;
};
