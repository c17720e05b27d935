#include "util/Numbers.h"

std::optional<int64_t> ParseInteger(QStringView text, int64_t minimum, int64_t maximum)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    unsigned base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;

    // Accumulate the magnitude in unsigned arithmetic so INT64_MIN is representable.
    constexpr uint64_t limit = uint64_t(INT64_MAX) + 1;
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        unsigned digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        if (magnitude > (limit - digit) / base)
            return std::nullopt;
        magnitude = magnitude * base + digit;
    }
    if (!negative && magnitude > uint64_t(INT64_MAX))
        return std::nullopt;
    const int64_t value = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    if (value < minimum || value > maximum)
        return std::nullopt;
    return value;
}
