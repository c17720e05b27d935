#pragma once

#include <QString>

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <type_traits>

// One argument of SafeFormat: a text, or a signed or unsigned integer, built implicitly
// from the value so that callers can write SafeFormat(fmt, {name, code}).
class TFormatArg
{
public:
    enum TFormatArgType
    {
        atText,
        atSigned,
        atUnsigned
    };

    TFormatArg(const QString &AText) : FType(atText), FText(AText) {}
    TFormatArg(const char *AText) : FType(atText), FText(QString::fromUtf8(AText)) {}
    TFormatArg(QChar AChar) : FType(atText), FText(AChar) {}

    // Integers of any width; characters and bool are excluded because "%d" of 'A' or
    // true is always a slip.
    template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, wchar_t> &&
             !std::same_as<T, char8_t> && !std::same_as<T, char16_t> && !std::same_as<T, char32_t>)
        TFormatArg(T AValue)
        : FType(std::is_signed_v<T> ? atSigned : atUnsigned), FBytes(int(sizeof(T)))
    {
        if constexpr (std::is_signed_v<T>)
            FSigned = AValue;
        else
            FUnsigned = AValue;
    }

    // An integer that "%d" and "%u" show with the current locale's thousands separators.
    static TFormatArg WithSeparators(uint64_t AValue);

    TFormatArgType Type() const { return FType; }
    const QString &Text() const { return FText; }
    int64_t SignedValue() const { return FSigned; }
    // The value as "%u" and "%x" show it: a negative number as the bit pattern of its own
    // width, so an int -1 gives ffffffff and not sixteen digits.
    uint64_t UnsignedValue() const;
    bool IsNegative() const { return FType == atSigned && FSigned < 0; }
    // Set for WithSeparators: the decimal form to show instead of the plain digits.
    const QString &DecimalText() const { return FDecimalText; }

private:
    TFormatArgType FType;
    QString FText;
    QString FDecimalText;
    int FBytes = 0;
    int64_t FSigned = 0;
    uint64_t FUnsigned = 0;
};

// Formats like the program's translated texts expect: "%s", "%d", "%u", "%x" (lower-case
// hex), an argument index ("%1:s"), "-" for left-justify, width and precision ("%.8x",
// "%5d", "%.3s"), "*" for a width or precision taken from an integer argument, and "%%".
// Any mismatch (missing argument, wrong kind, unknown type, malformed specifier) gives
// "Format error: " followed by the format, never an exception: a translator's slip must
// not crash the program.
QString SafeFormat(const QString &format, std::initializer_list<TFormatArg> args);
QString SafeFormat(const QString &format, std::span<const TFormatArg> args);

template <typename... TArgs>
requires(std::constructible_from<TFormatArg, const TArgs &> &&...) QString
    SafeFormat(const QString &format, const TArgs &...args)
{
    if constexpr (sizeof...(TArgs) == 0) {
        return SafeFormat(format, std::span<const TFormatArg>());
    } else {
        const TFormatArg list[] = {TFormatArg(args)...};
        return SafeFormat(format, std::span<const TFormatArg>(list));
    }
}
