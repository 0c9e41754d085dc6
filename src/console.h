// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CONSOLE_H
#define KALDORIUM_CONSOLE_H

class QPlainTextEdit;
class QString;

// Appends a message at the end of the console, whatever the operator has clicked or
// selected in it, and leaves the cursor at the end so the newest line stays in view.
void append_to_console(QPlainTextEdit *console, const QString &message);

#endif
