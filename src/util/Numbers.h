#pragma once

#include <QStringView>

#include <cstdint>
#include <optional>

// Reads an integer as the program's files and command lines write them: an optional
// sign, then decimal digits, or hexadecimal digits after "$" or "0x" (either case of x).
// No blanks, nothing after the digits. Empty when the text is no such number or the
// value lies outside [minimum, maximum].
std::optional<int64_t> ParseInteger(QStringView text, int64_t minimum = INT64_MIN, int64_t maximum = INT64_MAX);

// 32-bit form used by INI documents and option values.
inline std::optional<int32_t> ParseInt32(QStringView text)
{
    const auto value = ParseInteger(text, INT32_MIN, INT32_MAX);
    return value ? std::optional<int32_t>(int32_t(*value)) : std::nullopt;
}
