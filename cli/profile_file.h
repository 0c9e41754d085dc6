// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_PROFILE_FILE_H
#define KALDORIUM_CLI_PROFILE_FILE_H

// Reading a profile file (defaults write --from FILE, and every command that takes one).

#include "profile.h"

#include <QString>

namespace profile_file {

// Reads the profile named by an argument ("-": standard input; any other text: the file of
// those bytes) into *values. A FIFO or terminal that gives nothing keeps it waiting until
// SIGINT or SIGTERM; more than profile::kMostBytes is refused as soon as it has been read.
// Returns 0, or after the error line: 66 (cannot be read), 65 (not a profile), 128 + the
// signal.
// With text given, it gets the bytes read (provision keeps their SHA-256).
int read(const QString &argument, profile::Values *values, QByteArray *text = nullptr);

} // namespace profile_file

#endif
