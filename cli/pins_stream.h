// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_PINS_STREAM_H
#define KALDORIUM_CLI_PINS_STREAM_H

// Streaming test output frames for pins drive and pins pulse: whole frames every 10 ms, a
// clean finish (closing frames) at the frame limit or at Ctrl-C, and every wait for the line
// bounded by --timeout.

#include "command.h"
#include "device_session.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <functional>

namespace pins {

// Reads --<option> DURATION as a number of whole 10 ms frames into *frames (-1 when not
// given: no limit). A duration shorter than one frame is refused. 0, or exit 64 with its line.
int take_frame_count(const Invocation &invocation, const QString &option, int64_t *frames);

enum class StreamEnd {
    Done,        // every frame went out and the device took the last one
    Interrupted, // SIGINT/SIGTERM; the closing frames went out and the device took them
    Abandoned,   // a second signal (or a reader gone) before the closing frames were taken
    Stalled,     // the device took no data, or not the last frame, within --timeout
    Lost,        // the device has gone
};

struct StreamReport {
    StreamEnd end = StreamEnd::Done;
    int signal = 0;          // the signal that ended it (Interrupted, Abandoned)
    int64_t sent = 0;        // frames sent
    double max_late_ms = 0;  // the latest frame, after its deadline
    int64_t late_frames = 0; // frames handed to the line more than 1 ms after their deadline
    bool realtime = false;   // streamed with SCHED_FIFO
};

// Streams the frames that nextFrame(finishing) makes, one every 10 ms, from a thread of its
// own. After maxFrames frames (negative: no limit) or at the first SIGINT/SIGTERM, nextFrame
// is asked for its closing frames (finishing = true); an empty frame ends the stream. Then the
// line gets up to --timeout to pass the last frame on to the device. Each frame gets up to
// --timeout for room on the line. Returns 0, or 69 with its line when the line cannot be
// streamed to; how the stream ended is in *report.
int stream_frames(const Invocation &invocation, DeviceSession &session,
                  const std::function<QByteArray(bool finishing)> &nextFrame, int64_t maxFrames,
                  StreamReport *report);

// The exit code of a stream that ended as *report says, with the error line for one that went
// wrong; `consequence` says what the user must assume then ("pin 2 (D0) may still be high").
// 0 for Done, 128 + the signal for Interrupted.
int stream_exit(const Invocation &invocation, const StreamReport &report,
                const QString &consequence);

// The report's timing figures for a --json result.
void add_stream_report(QJsonObject &result, const StreamReport &report);

// Waits until the line has passed everything written to it on to the device (the kernel's
// output queue is empty), at most timeoutMs; a signal or a lost device end the wait too.
EventWait::End wait_for_line_to_drain(DeviceSession &session, int timeoutMs);

} // namespace pins

#endif
