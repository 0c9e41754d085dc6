// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_PINS_SESSION_H
#define KALDORIUM_CLI_PINS_SESSION_H

// What the pins commands share: their duration option, and waiting out a watch or a
// recording (its ordinary end is --for or Ctrl-C).

#include "command.h"
#include "device_session.h"
#include "pin_monitor.h"

namespace pins {

// Reads --<option> DURATION into *ms (-1 when not given). 0, or exit 64 with its line.
int take_duration(const Invocation &invocation, const QString &option, qint64 *ms);
int unexpected_argument(const Invocation &invocation);

// "1 frame", "30 frames": the count with the noun that fits it.
QString counted(int64_t count, const char *one, const char *many);

// Drops what the line held before the port was opened: status frames from before the
// watch began would show old levels with the time of the start.
void discard_stale_input(DeviceSession &session);

// Waits until the duration ends (negative: until a signal). The first input status frame
// must come within --timeout. Returns 0 at the end or after SIGINT/SIGTERM, 74 when the
// device is lost, 75 when it sends nothing.
int watch_until_end(const Invocation &invocation, DeviceSession &session, const PinMonitor &monitor,
                    qint64 for_ms);

} // namespace pins

#endif
