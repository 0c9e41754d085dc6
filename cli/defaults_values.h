// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_DEFAULTS_VALUES_H
#define KALDORIUM_CLI_DEFAULTS_VALUES_H

// The power-on values that defaults write and defaults diff are given: KEY=VALUE arguments,
// or a profile file with --from FILE (- for standard input), never both.

#include "command.h"
#include "profile.h"

#include <QCommandLineOption>

namespace defaults_values {

// --from FILE, the option both commands take.
QCommandLineOption from_option();

// Takes the values from the invocation; 0, or the exit code after the error line. The usage
// error names the command ("defaults write") and shows the example.
int take(const Invocation &invocation, const QString &command, const QString &example,
         profile::Values *values);

// Which items the values give, for defaults_exchange::read.
std::array<bool, profile::kItemCount> given(const profile::Values &values);

} // namespace defaults_values

#endif
