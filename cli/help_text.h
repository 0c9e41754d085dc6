// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_HELP_TEXT_H
#define KALDORIUM_CLI_HELP_TEXT_H

// The help texts: the program's (kaldorium-lpt --help), a group's (kaldorium-lpt pins --help)
// and a command's (kaldorium-lpt pins watch --help, kaldorium-lpt help pins watch), each
// wrapped to 80 columns. A command's help names its options, its output and its exit codes.

#include "command.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

namespace help_text {

constexpr int kWidth = 80;

QString general(const QList<QCommandLineOption> &globalOptions);
// The commands whose first word is `group` ("pins"); empty when there are none.
QString group(const QString &group, const QList<QCommandLineOption> &globalOptions);
QString command(const Command &command, const QList<QCommandLineOption> &globalOptions);

// The first words of the commands that have more than one word ("address", "defaults", ...).
QStringList groups();

// Text cut into lines of at most `width` columns at spaces; the first line follows `first`
// (already `indent` wide or less), the others start with `indent` spaces.
QString wrap(const QString &text, int indent, const QString &first = QString(), int width = kWidth);

} // namespace help_text

#endif
