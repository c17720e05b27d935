#include "ui/NumberEd.h"

#include "ui/ShowMessageDlg.h"
#include "util/Numbers.h"
#include "util/SafeFormat.h"
#include "util/StrUtils.h"
#include "util/Translate.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QLocale>
#include <QMouseEvent>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTimer>

#include <cmath>
#include <limits>

namespace {

// Digits written per byte when a field shows its value byte by byte.
int DigitsPerByte(TNumMode AMode)
{
    switch (AMode) {
    case nmHex:
        return 2;
    case nmBin:
        return 8;
    default:
        return 3;
    }
}

int Base(TNumMode AMode)
{
    switch (AMode) {
    case nmHex:
        return 16;
    case nmOctal:
        return 8;
    case nmBin:
        return 2;
    default:
        return 10;
    }
}

QChar PrefixChar(TNumMode AMode)
{
    switch (AMode) {
    case nmHex:
        return u'$';
    case nmOctal:
        return u'%';
    case nmBin:
        return u'!';
    default:
        return {};
    }
}

// The mode that a leading character announces; anything but a prefix means decimal.
TNumMode ModeOfPrefix(QChar AChar)
{
    switch (AChar.unicode()) {
    case u'$':
        return nmHex;
    case u'%':
        return nmOctal;
    case u'!':
        return nmBin;
    default:
        return nmDecimal;
    }
}

// The characters a user may type in a mode (control characters and blank always pass).
const QString &AcceptedChars(TNumMode AMode)
{
    static const QString decimal = QStringLiteral("+-0123456789");
    static const QString hex = QStringLiteral("$0123456789ABCDEFabcdef");
    static const QString octal = QStringLiteral("%01234567");
    static const QString binary = QStringLiteral("!01");
    switch (AMode) {
    case nmHex:
        return hex;
    case nmOctal:
        return octal;
    case nmBin:
        return binary;
    default:
        return decimal;
    }
}

uint64_t Magnitude(int64_t AValue)
{
    return AValue < 0 ? 0 - uint64_t(AValue) : uint64_t(AValue);
}

// A blank every AGroup characters, counted from the right.
QString GroupText(const QString &AText, int AGroup)
{
    if (AGroup <= 0 || AText.size() <= AGroup)
        return AText;
    QString result;
    result.reserve(AText.size() + AText.size() / AGroup);
    const qsizetype head = AText.size() % AGroup;
    for (qsizetype i = 0; i < AText.size(); ++i) {
        if (i > 0 && (i - head) % AGroup == 0)
            result += u' ';
        result += AText.at(i);
    }
    return result;
}

// The digits of AValue in AMode, at least ADigits of them; octal and binary show the low
// 32 bits, hexadecimal the 64-bit pattern (so that negative values read back).
QString ModeDigits(int64_t AValue, TNumMode AMode, int ADigits)
{
    QString digits;
    switch (AMode) {
    case nmHex:
        digits = QString::number(uint64_t(AValue), 16).toUpper();
        break;
    case nmOctal:
    case nmBin:
        digits = QString::number(uint32_t(uint64_t(AValue)), Base(AMode));
        break;
    default: {
        const QString number = QString::number(Magnitude(AValue)).rightJustified(ADigits, u'0');
        return AValue < 0 ? u'-' + number : number;
    }
    }
    return digits.rightJustified(ADigits, u'0');
}

// Decimal digits with the locale's thousands separator every three of them.
QString WithThousands(int64_t AValue)
{
    const QString digits = QString::number(Magnitude(AValue));
    const QString separator = QLocale().groupSeparator();
    QString result;
    const qsizetype head = digits.size() % 3;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (i - head) % 3 == 0)
            result += separator;
        result += digits.at(i);
    }
    return AValue < 0 ? u'-' + result : result;
}

// Digits of a base (up to 16 for hexadecimal) as an unsigned 64-bit number; empty on any
// other character, no digit at all, or overflow.
std::optional<uint64_t> ReadDigits(QStringView AText, int ABase)
{
    if (AText.isEmpty())
        return std::nullopt;
    uint64_t value = 0;
    for (const QChar c : AText) {
        const int digit = c.isDigit() && c.unicode() < 128               ? c.unicode() - u'0'
                          : (c.unicode() >= u'a' && c.unicode() <= u'f') ? c.unicode() - u'a' + 10
                          : (c.unicode() >= u'A' && c.unicode() <= u'F') ? c.unicode() - u'A' + 10
                                                                         : 99;
        if (digit >= ABase ||
            value > (std::numeric_limits<uint64_t>::max() - uint64_t(digit)) / uint64_t(ABase))
            return std::nullopt;
        value = value * uint64_t(ABase) + uint64_t(digit);
    }
    return value;
}

// One "_"-separated group of a field's text in the input mode.
std::optional<int64_t> ReadGroup(QString AGroup, TNumMode AMode)
{
    if (AMode == nmDecimal || AMode == nmZeroDec) {
        // The thousands separators that a field with negative Digits writes are read too.
        const QString separator = QLocale().groupSeparator();
        AGroup = RemoveBlanks(AGroup);
        if (!separator.isEmpty())
            AGroup.remove(separator);
        return ParseInteger(AGroup);
    }
    const bool negative = AGroup.startsWith(u'-');
    if (negative)
        AGroup.remove(0, 1);
    AGroup = RemoveBlanks(AGroup);
    if (AGroup.startsWith(PrefixChar(AMode)))
        AGroup.remove(0, 1);
    // Hexadecimal takes the full 64-bit pattern that it writes for negative values.
    const auto digits = ReadDigits(AGroup, Base(AMode));
    if (!digits)
        return std::nullopt;
    const int64_t value = int64_t(*digits);
    return negative ? int64_t(0 - uint64_t(value)) : value;
}

QString BoundText(int64_t AValue, TNumMode AMode)
{
    if (AMode == nmDecimal || AMode == nmZeroDec)
        return QString::number(AValue);
    return PrefixChar(AMode) + ModeDigits(AValue, AMode, 1);
}

// Swallows one mouse click on a widget: the click that tried to move the focus out of a
// field that refuses to be left must not also press the button it landed on.
class TClickEater final : public QObject
{
public:
    explicit TClickEater(QWidget *ATarget) : FTarget(ATarget) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject *AWatched, QEvent *AEvent) override
    {
        const QEvent::Type type = AEvent->type();
        if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
            type != QEvent::MouseButtonDblClick)
            return false;
        auto *widget = qobject_cast<QWidget *>(AWatched);
        const bool onTarget = FTarget && widget && (widget == FTarget || FTarget->isAncestorOf(widget));
        if (type == QEvent::MouseButtonRelease) {
            // The first release ends the click wherever it lands.
            qApp->removeEventFilter(this);
            deleteLater();
        }
        return onTarget;
    }

private:
    QPointer<QWidget> FTarget;
};

} // namespace

// ---- EUserRangeError ---------------------------------------------------------------------

EUserRangeError::EUserRangeError(int64_t AMinValue, int64_t AMaxValue, TNumMode AMode)
    : EAkError(DTr("Range check error") + QStringLiteral(" (") + BoundText(AMinValue, AMode) +
               QStringLiteral(" .. ") + BoundText(AMaxValue, AMode) + u')')
{
}

// ---- TCustomNumEdit ----------------------------------------------------------------------

TCustomNumEdit::TCustomNumEdit(QWidget *AParent) : QLineEdit(AParent)
{
}

void TCustomNumEdit::focusInEvent(QFocusEvent *AEvent)
{
    FHasFocus = true;
    QLineEdit::focusInEvent(AEvent);
}

void TCustomNumEdit::focusOutEvent(QFocusEvent *AEvent)
{
    QLineEdit::focusOutEvent(AEvent);
    // Only a move of the focus inside the window leaves the field; a field that never got
    // the focus (it was taken back at once) has nothing to check.
    const bool hadFocus = FHasFocus;
    FHasFocus = false;
    const Qt::FocusReason reason = AEvent->reason();
    if (!hadFocus || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ||
        reason == Qt::MenuBarFocusReason)
        return;
    try {
        DoExit();
    } catch (const EUserRangeError &error) {
        if (reason == Qt::MouseFocusReason) {
            QWidget *taker = QApplication::focusWidget();
            if (taker && taker != this)
                new TClickEater(taker);
        }
        setFocus(Qt::OtherFocusReason);
        RefuseExit(error.Message());
    }
}

void TCustomNumEdit::RefuseExit(const QString &AMessage)
{
    QApplication::beep();
    // Shown once the focus change has settled, not from inside it.
    QTimer::singleShot(0, this, [AMessage] { ErrorMsgDlg(AMessage); });
}

// ---- TNumberEdit -------------------------------------------------------------------------

TNumberEdit::TNumberEdit(QWidget *AParent) : TCustomNumEdit(AParent)
{
    Rewrite();
    connect(this, &QLineEdit::textEdited, this, &TNumberEdit::ReadValue);
}

void TNumberEdit::SetValue(int64_t AValue)
{
    const bool changed = AValue != FValue;
    FValue = AValue;
    const QString text = FormatValue(AValue);
    setText(text);
    FReadText = text;
    setCursorPosition(int(text.size()));
    setModified(changed);
}

void TNumberEdit::IncrementValue(int64_t Delta)
{
    int64_t value;
    if (__builtin_add_overflow(FValue, Delta, &value))
        value = Delta < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    SetValue(value);
}

QString TNumberEdit::FormatValue(int64_t AValue) const
{
    const auto modeText = [this](int64_t value, int digits) {
        QString text;
        if (FNumMode == nmDecimal) {
            if (digits >= 0)
                text = QString::number(value).rightJustified(digits, u' ');
            else
                text = WithThousands(value).rightJustified(-digits, u' ');
        } else {
            text = ModeDigits(value, FNumMode, digits);
        }
        text = GroupText(text, FGroupDigits);
        if (FPrefix && FNumMode != nmDecimal && FNumMode != nmZeroDec)
            text.prepend(PrefixChar(FNumMode));
        return text;
    };

    if (!FBytes) {
        int digits = FDigits;
        if (FNumMode != nmDecimal && digits == 0) {
            const int bits = qBound(0, FBits == 0 ? 32 : int(FBits), 63);
            digits = int(std::nearbyint(bits * std::log(2.0) / std::log(double(Base(FNumMode))) + 0.5));
        }
        return modeText(AValue, digits);
    }
    // Byte by byte, most significant first; a 64-bit value has no more than 8 bytes.
    const int byteCount = qMin(FBits == 0 ? 1 : (FBits - 1) / 8 + 1, 8);
    QString text;
    int64_t value = AValue;
    for (int i = 0; i < byteCount; ++i) {
        const QString byteText = modeText(value & 0xFF, DigitsPerByte(FNumMode));
        text = text.isEmpty() ? byteText : byteText + u'_' + text;
        value /= 256;
    }
    return text;
}

int64_t TNumberEdit::ReadText(const QString &AText, bool &AError) const
{
    AError = false;
    QString text = TrimRightBlanks(TrimLeftBlanks(AText));
    if (text.isEmpty() || text == u"+" || text == u"-")
        return 0;
    const TNumMode mode = FPrefix ? ModeOfPrefix(text.at(0)) : FNumMode;
    // Unsigned arithmetic: many groups shift the value out instead of overflowing.
    uint64_t value = 0;
    for (const QString &group : text.split(u'_')) {
        const auto number = ReadGroup(group, mode);
        if (!number)
            AError = true;
        value = value * 256 + uint64_t(number.value_or(0));
    }
    return int64_t(value);
}

void TNumberEdit::ReadValue()
{
    FReadText = text();
    FValue = ReadText(FReadText, FConvertError);
    if (FConvertError)
        QApplication::beep();
}

void TNumberEdit::DoExit()
{
    ReadValue();
    Rewrite();
}

void TNumberEdit::keyPressEvent(QKeyEvent *AEvent)
{
    const QString typed = AEvent->text();
    const bool shortcut = AEvent->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!shortcut && !typed.isEmpty() && typed.at(0).unicode() >= 33 && !isReadOnly()) {
        TNumMode mode = FNumMode;
        if (FPrefix) {
            // Typing over the whole text starts a new number, whose first character
            // chooses the base.
            const QString current = text();
            const bool replacesAll = current.isEmpty() || selectedText() == current;
            mode = ModeOfPrefix(replacesAll ? typed.at(0) : current.at(0));
        }
        for (const QChar c : typed) {
            if (c.unicode() >= 33 && !AcceptedChars(mode).contains(c)) {
                QApplication::beep();
                AEvent->accept();
                return;
            }
        }
    }
    TCustomNumEdit::keyPressEvent(AEvent);
}

void TNumberEdit::keyReleaseEvent(QKeyEvent *AEvent)
{
    TCustomNumEdit::keyReleaseEvent(AEvent);
    // Typed text was read when it was edited; this catches what other keys changed.
    if (text() != FReadText)
        ReadValue();
}

void TNumberEdit::SetNumMode(TNumMode AMode)
{
    SetFormat(FNumMode, AMode);
}

void TNumberEdit::SetDigits(int16_t ADigits)
{
    SetFormat(FDigits, ADigits);
}

void TNumberEdit::SetBits(uint16_t ABits)
{
    SetFormat(FBits, ABits);
}

void TNumberEdit::SetPrefix(bool APrefix)
{
    SetFormat(FPrefix, APrefix);
}

void TNumberEdit::SetGroupDigits(int16_t AGroupDigits)
{
    SetFormat(FGroupDigits, AGroupDigits);
}

void TNumberEdit::SetBytes(bool ABytes)
{
    SetFormat(FBytes, ABytes);
}

// ---- TRangeEdit --------------------------------------------------------------------------

TRangeEdit::TRangeEdit(QWidget *AParent) : TNumberEdit(AParent)
{
}

void TRangeEdit::SetValue(int64_t AValue)
{
    TNumberEdit::SetValue(HasRange() ? qBound(Lower(), AValue, Upper()) : AValue);
}

void TRangeEdit::CheckRange()
{
    ReadValue();
    FRangeError = FRangeCheck && HasRange() && (FValue < Lower() || FValue > Upper());
    if (FRangeError)
        throw EUserRangeError(Lower(), Upper(), NumMode());
}

void TRangeEdit::DoExit()
{
    CheckRange();
    SetValue(FValue);
}

// ---- TNumUpDown --------------------------------------------------------------------------

namespace {

bool LayoutHolds(const QLayout *ALayout, const QWidget *AWidget)
{
    for (int i = 0; i < ALayout->count(); ++i) {
        QLayoutItem *item = ALayout->itemAt(i);
        if (item->widget() == AWidget || (item->layout() && LayoutHolds(item->layout(), AWidget)))
            return true;
    }
    return false;
}

} // namespace

TNumUpDown::TNumUpDown(QWidget *AParent) : QWidget(AParent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    resize(16, 21);
}

QSize TNumUpDown::sizeHint() const
{
    return {16, FAssociate ? FAssociate->sizeHint().height() : 21};
}

bool TNumUpDown::InLayout() const
{
    return parentWidget() && parentWidget()->layout() && LayoutHolds(parentWidget()->layout(), this);
}

void TNumUpDown::SetAssociate(TCustomNumEdit *AEdit)
{
    if (AEdit == FAssociate)
        return;
    if (AEdit && AEdit->parentWidget() != parentWidget()) {
        qWarning("TNumUpDown: %s has another parent than %s", qPrintable(AEdit->objectName()),
                 qPrintable(objectName()));
        AEdit = nullptr;
    }
    if (AEdit && parentWidget()) {
        const auto others = parentWidget()->findChildren<TNumUpDown *>(Qt::FindDirectChildrenOnly);
        for (const TNumUpDown *other : others) {
            if (other != this && other->Associate() == AEdit)
                throw EAkError(SafeFormat(DTr("%s is already associated with %s"), AEdit->objectName(),
                                          other->objectName()));
        }
    }
    if (FAssociate)
        FAssociate->removeEventFilter(this);
    FAssociate = AEdit;
    if (FAssociate) {
        FAssociate->installEventFilter(this);
        FollowAssociate();
    }
    updateGeometry();
}

void TNumUpDown::SetAlignButton(TUDAlignButton AAlign)
{
    FAlignButton = AAlign;
    FollowAssociate();
}

void TNumUpDown::FollowAssociate()
{
    // In a layout the layout places the control; on its own it sits beside its field.
    if (!FAssociate || InLayout())
        return;
    const QRect field = FAssociate->geometry();
    const int left = FAlignButton == udRight ? field.right() + 1 : field.left() - 16;
    setGeometry(left, field.top(), 16, field.height());
}

bool TNumUpDown::eventFilter(QObject *AWatched, QEvent *AEvent)
{
    // The event type first: while the field is being destroyed it is no number field any
    // more, and only then may the pointer not be looked at.
    if ((AEvent->type() == QEvent::Move || AEvent->type() == QEvent::Resize) && AWatched == FAssociate)
        FollowAssociate();
    return QWidget::eventFilter(AWatched, AEvent);
}

void TNumUpDown::Up()
{
    if (FAssociate)
        FAssociate->IncrementValue(FIncrement);
    emit OnUpClick();
}

void TNumUpDown::Down()
{
    if (FAssociate)
        FAssociate->IncrementValue(-int64_t(FIncrement));
    emit OnDownClick();
}

void TNumUpDown::resizeEvent(QResizeEvent *AEvent)
{
    QWidget::resizeEvent(AEvent);
    const int half = height() / 2;
    rUp = QRect(0, 0, width(), half);
    rDown = QRect(0, half, width(), height() - half);
}

void TNumUpDown::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    const QPoint mouse = mapFromGlobal(QCursor::pos());
    const auto drawHalf = [&](const QRect &rect, TButtonState state, QStyle::PrimitiveElement arrow) {
        QStyleOptionButton button;
        button.initFrom(this);
        button.rect = rect;
        button.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
        button.state |= state == bsPressed ? QStyle::State_Sunken : QStyle::State_Raised;
        if (FMouseInControl && rect.contains(mouse))
            button.state |= QStyle::State_MouseOver;
        painter.drawPrimitive(QStyle::PE_PanelButtonCommand, button);
        QStyleOption arrowOption = button;
        const int side = qMax(4, qMin(rect.width(), rect.height()) - 6);
        arrowOption.rect = QRect(0, 0, side, side);
        arrowOption.rect.moveCenter(rect.center());
        painter.drawPrimitive(arrow, arrowOption);
    };
    drawHalf(rUp, FUpState, QStyle::PE_IndicatorArrowUp);
    drawHalf(rDown, FDownState, QStyle::PE_IndicatorArrowDown);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(2, 2, -2, -2);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

void TNumUpDown::mousePressEvent(QMouseEvent *AEvent)
{
    if (AEvent->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(AEvent);
    const QPoint pos = AEvent->position().toPoint();
    if (rUp.contains(pos))
        FUpState = bsPressed;
    else if (rDown.contains(pos))
        FDownState = bsPressed;
    update();
}

void TNumUpDown::mouseReleaseEvent(QMouseEvent *AEvent)
{
    if (AEvent->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(AEvent);
    const QPoint pos = AEvent->position().toPoint();
    const bool up = FUpState == bsPressed && rUp.contains(pos);
    const bool down = FDownState == bsPressed && rDown.contains(pos);
    FUpState = bsUp;
    FDownState = bsUp;
    update();
    if (up)
        Up();
    else if (down)
        Down();
}

void TNumUpDown::mouseMoveEvent(QMouseEvent *AEvent)
{
    FMouseInControl = rect().contains(AEvent->position().toPoint());
    update();
    QWidget::mouseMoveEvent(AEvent);
}

void TNumUpDown::leaveEvent(QEvent *AEvent)
{
    FMouseInControl = false;
    update();
    QWidget::leaveEvent(AEvent);
}

void TNumUpDown::keyPressEvent(QKeyEvent *AEvent)
{
    switch (AEvent->key()) {
    case Qt::Key_Plus:
        Up();
        break;
    case Qt::Key_Minus:
        Down();
        break;
    default:
        QWidget::keyPressEvent(AEvent);
    }
}
