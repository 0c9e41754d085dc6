// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CONSOLE_H
#define KALDORIUM_CONSOLE_H

class QPlainTextEdit;
class QString;

// The console keeps this many of the most recent lines; appending beyond that drops the
// oldest, so a device that keeps reporting errors cannot grow the program without bound.
constexpr int kConsoleLines = 10000;

// Sets the console up to keep only the most recent kConsoleLines lines.
void limit_console_lines(QPlainTextEdit *console);

// Appends a message at the end of the console, whatever the operator has clicked or
// selected in it, and leaves the cursor at the end so the newest line stays in view.
void append_to_console(QPlainTextEdit *console, const QString &message);

#endif
