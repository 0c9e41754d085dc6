// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "console.h"

#include <QPlainTextEdit>
#include <QString>
#include <QTextCursor>

void limit_console_lines(QPlainTextEdit *console)
{
    // Every message ends in a line break, so the block after the last line stays empty.
    console->setMaximumBlockCount(kConsoleLines + 1);
}

void append_to_console(QPlainTextEdit *console, const QString &message)
{
    // Moving a cursor that already stands at the end costs a scroll and a repaint request
    // for nothing; lines can come hundreds a second.
    const QTextCursor cursor = console->textCursor();
    if (!cursor.atEnd() || cursor.hasSelection())
        console->moveCursor(QTextCursor::End, QTextCursor::MoveAnchor);
    console->insertPlainText(message);
    console->moveCursor(QTextCursor::End, QTextCursor::MoveAnchor);
}
