// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_OUTPUT_H
#define KALDORIUM_CLI_OUTPUT_H

// Results go to standard output, errors to standard error as one line each.
//
// Every write of results is checked. When the reader of standard output has gone (EPIPE, as
// in `pins watch | head -1`), nothing more is written, no message is given, and the program
// ends as SIGPIPE would end it: SignalGuard::raise(SIGPIPE) ends the running wait, the
// command closes its port and returns, and main() exits with 141. Any other failed write
// (a full disk, /dev/full) writes one line on standard error and ends the program the same
// way with exit 74 (SignalGuard::stop). A streaming command therefore needs nothing of its
// own: its next wait ends (EventWait::End::Interrupted) and it returns.

#include <QByteArray>
#include <QJsonValue>
#include <QString>

namespace output {

// Writes text to standard output as UTF-8, as it is. False once standard output has failed
// or its reader has gone (the program is then ending).
bool print(const QString &text);
// Writes one JSON document and a newline to standard output.
bool print_json(const QJsonValue &document);
// Writes bytes to standard output as they are.
bool write_bytes(const QByteArray &bytes);
// True while results may still be written to standard output.
bool standard_output_open();
// For a command that streams results until it is stopped (pins watch): notices a reader that
// has gone (standard output a pipe) at once, not only at the next write, which may be long in
// coming; the program then ends as above (141).
void end_when_reader_goes();

// Writes a note (not a result) to standard error: "kaldorium-lpt: <note>".
void note(const QString &text);

// Writes "kaldorium-lpt: <message>" to standard error and returns the exit code, so that a
// command can end with: return output::fail(exit_code::kUsage, "...");
int fail(int code, const QString &message);
// The message of the latest fail(), for a command that also keeps its errors in a record of
// its own (provision's log).
QString last_failure();

// Writes all bytes to a descriptor, waiting for room where it has to; false with errno set
// when the write fails, or with EINTR when SIGINT or SIGTERM ended the wait.
bool write_all(int fd, const QByteArray &bytes);

} // namespace output

#endif
