#pragma once

#include "util/Errors.h"

#include <QLineEdit>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <cstdint>

// Number base of a number field; also the base in which typed text is read.
enum TNumMode
{
    nmDecimal,
    nmHex,
    nmOctal,
    nmBin,
    nmZeroDec // decimal with leading zeros
};

// Raised when a range-checked field is left with a value outside its range. The field
// catches it itself and shows the message: it never leaves the focus handler.
class EUserRangeError : public EAkError
{
public:
    EUserRangeError(int64_t AMinValue, int64_t AMaxValue, TNumMode AMode);
};

class TNumUpDown;

// An edit line that holds a number: the base of the number fields and what an up/down
// control drives.
class TCustomNumEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TCustomNumEdit(QWidget *AParent = nullptr);

    Qt::Alignment Alignment() const { return alignment(); }
    void SetAlignment(Qt::Alignment AAlignment) { setAlignment(AAlignment); }

    virtual void IncrementValue(int64_t Delta) = 0;

protected:
    // Reads the text when the field is left; may throw EUserRangeError.
    virtual void DoExit() = 0;

    void focusInEvent(QFocusEvent *AEvent) override;
    void focusOutEvent(QFocusEvent *AEvent) override;

private:
    void RefuseExit(const QString &AMessage);

    bool FHasFocus = false;
};

// A number field: shows Value in its mode and reads typed text back into it.
class TNumberEdit : public TCustomNumEdit
{
    Q_OBJECT
public:
    explicit TNumberEdit(QWidget *AParent = nullptr);

    // The number last read from the text.
    int64_t Value() const { return FValue; }
    // Stores the number and writes it as text in the field's form.
    virtual void SetValue(int64_t AValue);
    void IncrementValue(int64_t Delta) override;
    // The last reading met text that is not a number.
    bool CheckError() const { return FConvertError; }

    TNumMode NumMode() const { return FNumMode; }
    void SetNumMode(TNumMode AMode);
    int16_t Digits() const { return FDigits; }
    void SetDigits(int16_t ADigits);
    uint16_t Bits() const { return FBits; }
    void SetBits(uint16_t ABits);
    bool Prefix() const { return FPrefix; }
    void SetPrefix(bool APrefix);
    int16_t GroupDigits() const { return FGroupDigits; }
    void SetGroupDigits(int16_t AGroupDigits);
    bool Bytes() const { return FBytes; }
    void SetBytes(bool ABytes);

    // The text the field shows for AValue.
    QString FormatValue(int64_t AValue) const;
    // The number in AText as the field reads it; AError is set when a part is no number.
    int64_t ReadText(const QString &AText, bool &AError) const;

protected:
    // Reads the text into Value without rewriting it (beeps on a part that is no number).
    void ReadValue();
    void DoExit() override;

    void keyPressEvent(QKeyEvent *AEvent) override;
    void keyReleaseEvent(QKeyEvent *AEvent) override;

    int64_t FValue = 0;

private:
    void Rewrite() { SetValue(FValue); }
    // Stores a property of the text's form and writes the value in the new form.
    template <typename T> void SetFormat(T &AField, T AValue)
    {
        AField = AValue;
        Rewrite();
    }

    TNumMode FNumMode = nmDecimal;
    int16_t FDigits = 0;
    uint16_t FBits = 32;
    bool FPrefix = true;
    int16_t FGroupDigits = 0;
    bool FBytes = false;
    bool FConvertError = false;
    QString FReadText; // the text Value was last read from
};

// A number field with a range: values written to it are clamped into MinValue ..
// MaxValue, and with RangeCheck it cannot be left with a value outside them. Equal
// bounds mean no range.
class TRangeEdit : public TNumberEdit
{
    Q_OBJECT
public:
    explicit TRangeEdit(QWidget *AParent = nullptr);

    void SetValue(int64_t AValue) override;

    int64_t MinValue() const { return FMinValue; }
    void SetMinValue(int64_t AValue) { FMinValue = AValue; }
    int64_t MaxValue() const { return FMaxValue; }
    void SetMaxValue(int64_t AValue) { FMaxValue = AValue; }
    bool RangeCheck() const { return FRangeCheck; }
    void SetRangeCheck(bool ACheck) { FRangeCheck = ACheck; }
    // The last check on leaving the field failed.
    bool RangeError() const { return FRangeError; }

    // Reads the text; throws EUserRangeError (after setting RangeError) when RangeCheck
    // is on and the value lies outside the range.
    void CheckRange();

protected:
    void DoExit() override;

private:
    bool HasRange() const { return FMinValue != FMaxValue; }
    // The bounds in ascending order, so that bounds given the wrong way round still form
    // a range the field can be left with.
    int64_t Lower() const { return qMin(FMinValue, FMaxValue); }
    int64_t Upper() const { return qMax(FMinValue, FMaxValue); }

    int64_t FMinValue = 0;
    int64_t FMaxValue = 100;
    bool FRangeCheck = true;
    bool FRangeError = false;
};

// Up and down buttons beside a number field: each click, or "+" and "-" while the
// control has the focus, changes the field's value by Increment.
class TNumUpDown : public QWidget
{
    Q_OBJECT
public:
    enum TUDAlignButton
    {
        udLeft,
        udRight
    };

    explicit TNumUpDown(QWidget *AParent = nullptr);

    TCustomNumEdit *Associate() const { return FAssociate; }
    // Attaches the control to a number field of the same parent (nullptr detaches it);
    // throws EAkError when another up/down control already drives that field.
    void SetAssociate(TCustomNumEdit *AEdit);
    int Increment() const { return FIncrement; }
    void SetIncrement(int AIncrement) { FIncrement = AIncrement; }
    TUDAlignButton AlignButton() const { return FAlignButton; }
    void SetAlignButton(TUDAlignButton AAlign);

    QSize sizeHint() const override;

    // What a click on the upper or lower half does.
    void Up();
    void Down();

signals:
    void OnUpClick();
    void OnDownClick();

protected:
    bool eventFilter(QObject *AWatched, QEvent *AEvent) override;
    void paintEvent(QPaintEvent *AEvent) override;
    void resizeEvent(QResizeEvent *AEvent) override;
    void mousePressEvent(QMouseEvent *AEvent) override;
    void mouseReleaseEvent(QMouseEvent *AEvent) override;
    void mouseMoveEvent(QMouseEvent *AEvent) override;
    void leaveEvent(QEvent *AEvent) override;
    void keyPressEvent(QKeyEvent *AEvent) override;

private:
    enum TButtonState
    {
        bsUp,
        bsPressed
    };

    void FollowAssociate();
    bool InLayout() const;

    QPointer<TCustomNumEdit> FAssociate;
    int FIncrement = 1;
    TUDAlignButton FAlignButton = udRight;
    TButtonState FUpState = bsUp;
    TButtonState FDownState = bsUp;
    QRect rUp;
    QRect rDown;
    bool FMouseInControl = false;
};
