// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// libFuzzer target for the profile parser of the command line (defaults write --from FILE
// reads profiles from anywhere). Each input is the bytes of a profile file. Checked on every
// input:
// - the bytes come back whole from their text form (raw_text::encode(decode(b)) == b), and
//   the shown form holds no control character and no byte that is not UTF-8;
// - a profile that is taken gives only values within their items' ranges, and its printed
//   form (what defaults read prints) is taken again to the same values;
// - a refused profile gives one line of printable text of bounded length, naming the place;
// - a profile over its size limit is refused;
// - the numbers of the profile's rule read as the digits say, or not at all.
// Reads and writes outside any buffer are AddressSanitizer's to catch, undefined arithmetic
// UndefinedBehaviorSanitizer's.

#include "numbers.h"
#include "profile.h"
#include "raw_text.h"

#include <QByteArray>
#include <QString>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::fputs("profile parser fault: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::abort();
}

void check_shown(const QString &shown, const char *what)
{
    for (const QChar c : shown) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F))
            fail("%s holds the control character U+%04X", what, unsigned(u));
        if (u >= 0xDC80 && u <= 0xDCFF)
            fail("%s holds the escaped byte U+%04X unescaped", what, unsigned(u));
    }
}

void check_number(const QString &text)
{
    const std::optional<uint64_t> number = parse_number(text);
    if (!number)
        return;
    QString digits = text;
    int base = 10;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        digits = text.mid(2);
        base = 16;
    } else if (text.startsWith(QLatin1String("0b"), Qt::CaseInsensitive)) {
        digits = text.mid(2);
        base = 2;
    }
    for (const QChar c : digits) {
        if (!c.isDigit() && !(base == 16 && QStringLiteral("abcdefABCDEF").contains(c)))
            fail("\"%s\" read as the number %llu", qPrintable(text),
                 static_cast<unsigned long long>(*number));
    }
    if (*number == UINT64_MAX)
        return; // saturated: too large for any field
    while (digits.size() > 1 && digits.at(0) == QLatin1Char('0'))
        digits.remove(0, 1);
    if (QString::number(qulonglong(*number), base).compare(digits, Qt::CaseInsensitive) != 0)
        fail("\"%s\" read as %llu", qPrintable(text), static_cast<unsigned long long>(*number));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(input), int(size));

    const QString text = raw_text::decode(bytes);
    if (raw_text::encode(text) != bytes)
        fail("%zu bytes do not come back whole from their text", size);
    check_shown(raw_text::printable(text), "the shown text");
    check_shown(raw_text::quoted(text), "the quoted text");
    if (raw_text::quoted(text).size() > 6 * 64 + 8)
        fail("a quoted text of %d characters is not cut short", int(raw_text::quoted(text).size()));

    const int newline = text.indexOf(QLatin1Char('\n'));
    const QString first_line = newline < 0 ? text : text.left(newline);
    check_number(first_line);
    const int64_t duration = parse_duration(first_line);
    if (duration != -1 && (duration <= 0 || duration > kLongestDurationMs))
        fail("\"%s\" read as a duration of %lld ms", qPrintable(first_line),
             static_cast<long long>(duration));

    profile::Values values;
    QString problem;
    const bool taken = profile::take_text(bytes, QStringLiteral("fuzz"), &values, &problem);
    if (bytes.size() > profile::kMostBytes && taken)
        fail("a profile of %d bytes was taken", int(bytes.size()));
    if (!taken) {
        if (!problem.startsWith(QLatin1String("fuzz")))
            fail("the problem does not name the place: %s", qPrintable(problem));
        check_shown(problem, "the problem");
        if (problem.size() > 600)
            fail("a problem of %d characters", int(problem.size()));
        return 0;
    }
    for (int index = 0; index < profile::kItemCount; ++index) {
        const std::optional<uint32_t> &value = values[size_t(index)];
        if (value && (*value & ~profile::kItems[index].bits) != 0)
            fail("%s took 0x%X, beyond its bits 0x%X", profile::kItems[index].key, *value,
                 profile::kItems[index].bits);
    }
    profile::Values again;
    if (!profile::take_text(profile::format(values).toUtf8(), QStringLiteral("again"), &again,
                            &problem))
        fail("the printed profile is refused: %s", qPrintable(problem));
    if (again != values)
        fail("the printed profile reads back differently");
    return 0;
}
