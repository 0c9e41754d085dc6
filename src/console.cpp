// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "console.h"

#include <QPlainTextEdit>
#include <QString>
#include <QTextCursor>

void append_to_console(QPlainTextEdit *console, const QString &message)
{
    console->moveCursor(QTextCursor::End, QTextCursor::MoveAnchor);
    console->insertPlainText(message);
    console->moveCursor(QTextCursor::End, QTextCursor::MoveAnchor);
}
