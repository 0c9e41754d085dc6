// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "numbers.h"

#include <limits>

namespace {

// The digits of text from `from` on in the base; saturates at UINT64_MAX.
std::optional<uint64_t> digits(const QString &text, int from, unsigned base)
{
    if (from >= text.size())
        return std::nullopt;
    uint64_t value = 0;
    bool saturated = false;
    for (int at = from; at < text.size(); ++at) {
        const char16_t c = text.at(at).unicode();
        unsigned digit = base;
        if (c >= '0' && c <= '9')
            digit = unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = unsigned(c - 'A' + 10);
        if (digit >= base)
            return std::nullopt;
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / base)
            saturated = true;
        else
            value = value * base + digit;
    }
    return saturated ? std::numeric_limits<uint64_t>::max() : value;
}

bool has_prefix(const QString &text, char letter)
{
    return text.size() >= 2 && text.at(0) == QLatin1Char('0') &&
           text.at(1).toLower() == QLatin1Char(letter);
}

} // namespace

std::optional<uint64_t> parse_number(const QString &text)
{
    if (has_prefix(text, 'x'))
        return digits(text, 2, 16);
    if (has_prefix(text, 'b'))
        return digits(text, 2, 2);
    return digits(text, 0, 10);
}

std::optional<uint64_t> parse_decimal(const QString &text)
{
    return digits(text, 0, 10);
}

int64_t parse_duration(const QString &text)
{
    struct Unit {
        const char *name;
        int64_t ms;
    };
    // "ms" before "m" and "s", so that 500ms is not read as 500m followed by an s.
    static const Unit units[] = {{"ms", 1}, {"s", 1000}, {"m", 60 * 1000}, {"h", 3600 * 1000}};
    for (const Unit &unit : units) {
        const QLatin1String name(unit.name);
        if (!text.endsWith(name))
            continue;
        const std::optional<uint64_t> number = parse_decimal(text.chopped(name.size()));
        if (!number || *number == 0 || *number > uint64_t(kLongestDurationMs / unit.ms))
            return -1;
        return int64_t(*number) * unit.ms;
    }
    return -1;
}
