#include "util/SafeFormat.h"

#include "util/Translate.h"

#include <QLocale>

#include <optional>

namespace {

// Widths and precisions beyond this are a format error: a translator's "%99999999s"
// must not make the program allocate gigabytes.
constexpr int kMaxWidth = 9999;

struct TFormatError
{
};

class TFormatter
{
public:
    TFormatter(const QString &AFormat, std::span<const TFormatArg> AArgs) : FFormat(AFormat), FArgs(AArgs) {}

    QString Run()
    {
        QString result;
        result.reserve(FFormat.size() + 16 * qsizetype(FArgs.size()));
        while (FPos < FFormat.size()) {
            const QChar c = FFormat[FPos++];
            if (c != u'%') {
                result += c;
                continue;
            }
            if (AtEnd())
                throw TFormatError();
            if (FFormat[FPos] == u'%') {
                ++FPos;
                result += u'%';
                continue;
            }
            result += FormatSpecifier();
        }
        return result;
    }

private:
    bool AtEnd() const { return FPos >= FFormat.size(); }
    QChar Peek() const { return AtEnd() ? QChar() : FFormat[FPos]; }

    // Digits at the current position, empty when there are none.
    std::optional<int> ReadNumber()
    {
        if (Peek() < u'0' || Peek() > u'9')
            return std::nullopt;
        int value = 0;
        while (!AtEnd() && FFormat[FPos] >= u'0' && FFormat[FPos] <= u'9') {
            value = value * 10 + (FFormat[FPos].unicode() - u'0');
            if (value > kMaxWidth)
                throw TFormatError();
            ++FPos;
        }
        return value;
    }

    const TFormatArg &NextArg()
    {
        if (FNextArg < 0 || FNextArg >= qsizetype(FArgs.size()))
            throw TFormatError();
        return FArgs[size_t(FNextArg++)];
    }

    // A width or precision: digits, or "*" taking it from the next integer argument.
    std::optional<int> ReadSize()
    {
        if (Peek() != u'*')
            return ReadNumber();
        ++FPos;
        const TFormatArg &arg = NextArg();
        if (arg.Type() == TFormatArg::atText || arg.IsNegative() || arg.UnsignedValue() > uint64_t(kMaxWidth))
            throw TFormatError();
        return int(arg.UnsignedValue());
    }

    QString FormatSpecifier()
    {
        // [index ":"] ["-"] [width] ["." precision] type
        const qsizetype start = FPos;
        if (const auto index = ReadNumber(); index && Peek() == u':') {
            ++FPos;
            FNextArg = *index;
        } else {
            FPos = start;
        }
        bool leftJustify = false;
        if (Peek() == u'-') {
            leftJustify = true;
            ++FPos;
        }
        const int width = ReadSize().value_or(0);
        std::optional<int> precision;
        if (Peek() == u'.') {
            ++FPos;
            precision = ReadSize();
            if (!precision)
                throw TFormatError();
        }
        if (AtEnd())
            throw TFormatError();
        const char16_t type = FFormat[FPos++].unicode();
        const TFormatArg &arg = NextArg();

        QString text;
        switch (type) {
        case u's':
        case u'S':
            if (arg.Type() != TFormatArg::atText)
                throw TFormatError();
            text = arg.Text();
            if (precision && *precision < text.size()) {
                qsizetype cut = *precision;
                // Never leave half of a surrogate pair behind.
                if (cut > 0 && text[cut - 1].isHighSurrogate())
                    --cut;
                text.truncate(cut);
            }
            break;
        case u'd':
        case u'D':
            if (arg.Type() == TFormatArg::atText)
                throw TFormatError();
            if (!arg.DecimalText().isEmpty()) {
                text = ZeroPadded(arg.DecimalText(), precision);
            } else if (arg.IsNegative()) {
                const uint64_t magnitude = 0 - uint64_t(arg.SignedValue());
                text = u'-' + ZeroPadded(QString::number(magnitude), precision);
            } else {
                const uint64_t value =
                    arg.Type() == TFormatArg::atSigned ? uint64_t(arg.SignedValue()) : arg.UnsignedValue();
                text = ZeroPadded(QString::number(value), precision);
            }
            break;
        case u'u':
        case u'U':
            if (arg.Type() == TFormatArg::atText)
                throw TFormatError();
            text = ZeroPadded(arg.DecimalText().isEmpty() ? QString::number(arg.UnsignedValue())
                                                          : arg.DecimalText(),
                              precision);
            break;
        case u'x':
        case u'X':
            if (arg.Type() == TFormatArg::atText)
                throw TFormatError();
            text = ZeroPadded(QString::number(arg.UnsignedValue(), 16), precision);
            if (type == u'X')
                text = text.toUpper();
            break;
        default:
            throw TFormatError();
        }

        if (text.size() < width) {
            const QString blanks(width - text.size(), u' ');
            text = leftJustify ? text + blanks : blanks + text;
        }
        return text;
    }

    static QString ZeroPadded(const QString &digits, std::optional<int> precision)
    {
        if (!precision || digits.size() >= *precision)
            return digits;
        return QString(*precision - digits.size(), u'0') + digits;
    }

    const QString &FFormat;
    std::span<const TFormatArg> FArgs;
    qsizetype FPos = 0;
    qsizetype FNextArg = 0;
};

} // namespace

TFormatArg TFormatArg::WithSeparators(uint64_t AValue)
{
    QLocale locale;
    // The C locale omits group separators by default; the caller asked for them.
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    TFormatArg arg(AValue);
    arg.FDecimalText = locale.toString(qulonglong(AValue));
    return arg;
}

uint64_t TFormatArg::UnsignedValue() const
{
    if (FType == atUnsigned)
        return FUnsigned;
    if (FSigned < 0 && FBytes < 8)
        return uint64_t(FSigned) & ((uint64_t(1) << (8 * FBytes)) - 1);
    return uint64_t(FSigned);
}

QString SafeFormat(const QString &format, std::span<const TFormatArg> args)
{
    try {
        return TFormatter(format, args).Run();
    } catch (const TFormatError &) {
        return DTr("Format error: ") + format;
    }
}

QString SafeFormat(const QString &format, std::initializer_list<TFormatArg> args)
{
    return SafeFormat(format, std::span<const TFormatArg>(args.begin(), args.size()));
}
