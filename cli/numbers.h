// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_NUMBERS_H
#define KALDORIUM_CLI_NUMBERS_H

// Numbers as people write them in options and profiles. Strict: no sign, no spaces, no
// second prefix; a number too large for any field reads as UINT64_MAX, which every caller's
// range refuses, so nothing wraps.

#include <QString>

#include <cstdint>
#include <optional>

// A level or a value, in a profile (data.levels=0x81) and in the pins options (--data 0x81):
// hex with 0x (0x81), binary with 0b (0b10000001) or decimal digits (129).
std::optional<uint64_t> parse_number(const QString &text);

// Decimal digits only (--timeout 2000, --count 200).
std::optional<uint64_t> parse_decimal(const QString &text);

// The longest duration an option takes: a year (a week-long recording is a real use).
constexpr int64_t kLongestDurationMs = int64_t(365) * 24 * 3600 * 1000;

// Milliseconds for a whole number with a unit (500ms, 10s, 2m, 1h), above zero and up to
// kLongestDurationMs; -1 for anything else.
int64_t parse_duration(const QString &text);

#endif
