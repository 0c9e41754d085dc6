// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_OUTPUT_H
#define KALDORIUM_CLI_OUTPUT_H

// Results go to standard output, errors to standard error as one line each.

#include <QJsonValue>
#include <QString>

namespace output {

// Writes text to standard output as UTF-8, as it is.
void print(const QString &text);
// Writes one JSON document and a newline to standard output.
void print_json(const QJsonValue &document);
// Writes a note (not a result) to standard error: "kaldorium-lpt: <note>".
void note(const QString &text);

// Writes "kaldorium-lpt: <message>" to standard error and returns the exit code, so that a
// command can end with: return output::fail(exit_code::kUsage, "...");
int fail(int code, const QString &message);

} // namespace output

#endif
