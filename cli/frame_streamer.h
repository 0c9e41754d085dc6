// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_FRAME_STREAMER_H
#define KALDORIUM_CLI_FRAME_STREAMER_H

// Streams test output frames every 10 ms from a thread of its own, on absolute deadlines of
// the monotonic clock (clock_nanosleep with TIMER_ABSTIME), so that a late wake-up does not
// delay the frames after it. The thread runs with SCHED_FIFO where the system permits it and
// at normal priority otherwise. It writes to a duplicate of the port's descriptor, so the
// port may close under it: the writes then fail and the stream ends.
//
// The stream only ever stops between whole frames: a frame that has begun to go out is
// finished (or the line is given up as stalled), because the device would take the marker of
// any later frame as the cut of a broken one.

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class FrameStreamer {
public:
    enum class End { Running, Finished, Stopped, Lost, Stalled };

    // nextFrame(finishing) is called on the streaming thread before each frame; an empty array
    // ends the stream (Finished). finishing turns true once finish() has been called: the
    // stream then makes the frames it needs to end cleanly (one that leaves a pin low), then
    // an empty one. onEnd(end) is called on the streaming thread when the stream has ended by
    // itself (not after stop()).
    FrameStreamer(std::function<QByteArray(bool finishing)> nextFrame,
                  std::function<void(End)> onEnd);
    ~FrameStreamer();
    FrameStreamer(const FrameStreamer &) = delete;
    FrameStreamer &operator=(const FrameStreamer &) = delete;

    // Starts streaming to a duplicate of fd. stallMs: how long a frame may wait for room on
    // the line before the stream ends as Stalled. False when fd cannot be duplicated.
    bool start(int fd, int stallMs);
    // Asks for the closing frames (see nextFrame) and returns at once.
    void finish();
    // Ends the stream after the frame being written, without closing frames, and waits for
    // the thread (at most stallMs for a frame that is partly out).
    void stop();

    End end() const { return end_; }
    int64_t framesSent() const { return frames_sent_; }
    int64_t lateFrames() const { return late_frames_; } // deadlines missed by a whole period
    // How long after its deadline the latest-written frame was handed to the line, and how
    // many frames were handed over more than 1 ms late.
    int64_t maxLatenessNs() const { return max_lateness_ns_; }
    int64_t framesOverOneMsLate() const { return over_one_ms_late_; }
    bool realtime() const { return realtime_; } // SCHED_FIFO was granted
    int error() const { return error_; }        // errno of a failed write

    // Bytes written to the line that the device has not taken yet (the kernel's output queue;
    // a USB serial device takes them as it reads). 0 when the line cannot tell.
    static int unsentBytes(int fd);

private:
    enum class Write { Done, NotBegun, Failed };

    void run();
    Write writeAll(const QByteArray &frame);

    std::function<QByteArray(bool)> next_frame_;
    std::function<void(End)> on_end_;
    std::thread thread_;
    int fd_ = -1;
    int stall_ms_ = 1000;
    std::atomic<bool> finish_{false};
    std::atomic<bool> stop_{false};
    std::atomic<End> end_{End::Running};
    std::atomic<int64_t> frames_sent_{0};
    std::atomic<int64_t> late_frames_{0};
    std::atomic<int64_t> max_lateness_ns_{0};
    std::atomic<int64_t> over_one_ms_late_{0};
    std::atomic<bool> realtime_{false};
    std::atomic<int> error_{0};
};

#endif
