// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_PINS_ARGUMENTS_H
#define KALDORIUM_CLI_PINS_ARGUMENTS_H

// The values of the pins commands' options, as people write them on a command line.

#include <QString>

#include <optional>

// Milliseconds for a whole number with a unit (500ms, 10s, 2m, 1h), above zero; -1 for
// anything else.
qint64 parse_duration(const QString &text);

// Hex with 0x (0x81), binary with 0b (0b10000001) or decimal (129); nothing else.
std::optional<uint32_t> parse_number(const QString &text);

#endif
