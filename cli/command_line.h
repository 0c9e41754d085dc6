// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_COMMAND_LINE_H
#define KALDORIUM_CLI_COMMAND_LINE_H

// Reading the command line: the global options (before or after the command), the command
// chosen by its words, its own options, --help and --version.

#include <QStringList>

// Parses the arguments, runs the chosen command and returns the exit code.
int run_command_line(const QStringList &arguments);

#endif
