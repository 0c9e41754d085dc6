// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_RAW_TEXT_H
#define KALDORIUM_CLI_RAW_TEXT_H

// Bytes from outside (arguments, file names, profile lines) as text without losing a byte,
// and shown safely. A byte that is not part of valid UTF-8 becomes the lone surrogate
// U+DC80 + byte (as Python's "surrogateescape" does), so that encode(decode(b)) == b for every
// byte string: a file name given as s\xe9.profile opens that very file. printable() shows
// such bytes and control characters escaped (\xe9, \x1b), so that nothing a user typed or a
// file held can move a terminal's cursor or break a line.

#include <QByteArray>
#include <QString>

namespace raw_text {

QString decode(const QByteArray &bytes);
QByteArray encode(const QString &text);

// Control characters (C0, DEL, C1) and escaped bytes as \xNN (C1 as \u0080 ... \u009f);
// everything else as it is.
QString printable(const QString &text);
// printable() with '$' escaped too (\x24): text for the header of a file this program writes
// (a VCD $comment ends at "$end"; a profile's comment line at a newline).
QString header_safe(const QString &text);
// printable(), cut to its first `limit` characters with "..." after.
QString shortened(const QString &text, int limit = 64);
// shortened(), in double quotes.
QString quoted(const QString &text, int limit = 64);

} // namespace raw_text

#endif
