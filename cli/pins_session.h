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

#include <QJsonObject>

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

// Streams the frames that nextFrame() makes (an empty one ends the stream) every 10 ms from a
// thread of its own, until the stream ends, the duration ends (negative: none) or a signal.
// *sent gets the number of frames sent. Returns 0, 74 when the device is lost, 75 when it
// takes no data within --timeout, 128 + the signal number after SIGINT/SIGTERM.
struct StreamReport {
    int64_t sent = 0;        // frames sent
    double max_late_ms = 0;  // the latest frame, after its deadline
    int64_t late_frames = 0; // frames handed to the line more than 1 ms after their deadline
    bool realtime = false;   // streamed with SCHED_FIFO
};
int stream_frames(const Invocation &invocation, DeviceSession &session,
                  const std::function<QByteArray()> &nextFrame, qint64 for_ms,
                  StreamReport *report);
// The report's timing figures for a --json result.
void add_stream_report(QJsonObject &result, const StreamReport &report);

} // namespace pins

#endif
