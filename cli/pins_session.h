// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_PINS_SESSION_H
#define KALDORIUM_CLI_PINS_SESSION_H

// What the pins commands share: their duration option, waiting out a watch or a recording
// (its ordinary end is --for or Ctrl-C) and its verdict, and waiting for the device's answer
// to what the program just did.

#include "command.h"
#include "device_session.h"
#include "pin_monitor.h"

#include <functional>
#include <optional>

namespace pins {

// Reads --<option> DURATION into *ms (-1 when not given). 0, or exit 64 with its line.
int take_duration(const Invocation &invocation, const QString &option, qint64 *ms);
int unexpected_argument(const Invocation &invocation);

// "1 frame", "30 frames": the count with the noun that fits it.
QString counted(int64_t count, const char *one, const char *many);

// Drops what the line held before the port was opened: status frames from before the
// watch began would show old levels with the time of the start.
void discard_stale_input(DeviceSession &session);

// Waits out a watch or a recording: until the duration ends (for_ms; negative: none), Ctrl-C
// or a lost device, or until --timeout has passed without any status frame (an error report
// counts: it shows the device is alive). Then monitor.finish(). tick(), when given, runs
// every 250 ms meanwhile. Returns Done at the end of --for or at Ctrl-C (the ordinary ends
// of a watch), TimedOut when --timeout passed first without a status frame, Lost, or
// Interrupted for a reader that has gone.
EventWait::End watch(const Invocation &invocation, DeviceSession &session, PinMonitor &monitor,
                     qint64 for_ms, const std::function<void()> &tick = {});

// What a watch that ended so has shown: 0 when the device reported its levels; 75 when no
// status frame with levels came (none at all, or only error reports), whatever ended the
// wait; 74 when the device was lost; the program's code for a reader that has gone. Writes
// the error line.
int watch_verdict(const Invocation &invocation, const DeviceSession &session,
                  const PinMonitor &monitor, EventWait::End end);

// The two above in a row.
int watch_until_end(const Invocation &invocation, DeviceSession &session, PinMonitor &monitor,
                    qint64 for_ms);

// Waits for the levels of the first status frame the device sends after now (frames under
// way count only if they began later), at most timeoutMs. *end says how the wait ended
// (Done with levels). For confirming what the device does after the program has told it.
std::optional<frames::InputLevels> await_levels_from_now(DeviceSession &session,
                                                         PinMonitor &monitor, qint64 timeoutMs,
                                                         EventWait::End *end);

} // namespace pins

#endif
