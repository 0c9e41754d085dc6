// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pins_stream.h"

#include "exit_codes.h"
#include "frame_streamer.h"
#include "output.h"
#include "pins_session.h"
#include "signal_guard.h"

#include "device_link/frames.h"

#include <QTimer>

#include <atomic>

namespace pins {

namespace {

constexpr int64_t kFrameMs = frames::kFramePeriodMs;

int signal_caught()
{
    const SignalGuard *guard = SignalGuard::instance();
    return guard ? guard->signalNumber() : 0;
}

} // namespace

int take_frame_count(const Invocation &invocation, const QString &option, int64_t *frames)
{
    qint64 ms = -1;
    if (int code = take_duration(invocation, option, &ms))
        return code;
    *frames = ms < 0 ? -1 : ms / kFrameMs;
    if (ms >= 0 && *frames == 0) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("--%1 %2 is shorter than one frame (10 ms); give 10ms "
                                           "or more")
                                .arg(option, invocation.value(option)));
    }
    return 0;
}

int stream_frames(const Invocation &invocation, DeviceSession &session,
                  const std::function<QByteArray(bool finishing)> &nextFrame, int64_t maxFrames,
                  StreamReport *report)
{
    std::atomic<bool> ended{false};
    int64_t made = 0; // frames made before finishing; touched by the streaming thread only
    FrameStreamer streamer(
        [&](bool finishing) {
            finishing = finishing || (maxFrames >= 0 && made >= maxFrames);
            const QByteArray frame = nextFrame(finishing);
            if (!finishing)
                ++made;
            return frame;
        },
        [&](FrameStreamer::End) {
            ended = true;
            QMetaObject::invokeMethod(
                &session, [&session] { session.wake(); }, Qt::QueuedConnection);
        });
    if (!streamer.start(session.nativeHandle(), invocation.timeoutMs)) {
        return output::fail(
            exit_code::kUnavailable,
            QStringLiteral("cannot stream to %1; the line closed").arg(session.nodePath()));
    }
    // The thread ends by itself: at the frame limit, or within --timeout of a line that takes
    // nothing. A signal asks it for its closing frames; a second one abandons them.
    const auto streamed = [&] { return ended.load(); };
    EventWait::End end = session.waitUntil(streamed, -1);
    if (end == EventWait::End::Interrupted) {
        report->signal = signal_caught();
        if (SignalGuard *guard = SignalGuard::instance())
            guard->acknowledge();
        streamer.finish();
        end = session.waitUntil(streamed, -1);
    }
    streamer.stop();
    report->sent = streamer.framesSent();
    report->max_late_ms = double(streamer.maxLatenessNs()) / 1e6;
    report->late_frames = streamer.framesOverOneMsLate();
    report->realtime = streamer.realtime();

    if (end == EventWait::End::Lost || streamer.end() == FrameStreamer::End::Lost) {
        report->end = StreamEnd::Lost;
        return 0;
    }
    if (end == EventWait::End::Interrupted) {
        report->signal = signal_caught();
        report->end = StreamEnd::Abandoned;
        return 0;
    }
    if (streamer.end() == FrameStreamer::End::Stalled) {
        report->end = StreamEnd::Stalled;
        return 0;
    }
    switch (wait_for_line_to_drain(session, invocation.timeoutMs)) {
    case EventWait::End::Done:
        report->end = report->signal ? StreamEnd::Interrupted : StreamEnd::Done;
        break;
    case EventWait::End::TimedOut:
        report->end = StreamEnd::Stalled;
        break;
    case EventWait::End::Lost:
        report->end = StreamEnd::Lost;
        break;
    case EventWait::End::Interrupted:
        report->signal = signal_caught();
        report->end = StreamEnd::Abandoned;
        break;
    }
    return 0;
}

int stream_exit(const Invocation &invocation, const StreamReport &report,
                const QString &consequence)
{
    const QString then = consequence.isEmpty() ? QString() : consequence + QStringLiteral("; ");
    switch (report.end) {
    case StreamEnd::Done:
        return exit_code::kOk;
    case StreamEnd::Interrupted:
        return exit_code::kSignalBase + report.signal;
    case StreamEnd::Abandoned:
        output::note(QStringLiteral("stopped before the device took the last frame; %1")
                         .arg(consequence.isEmpty() ? QStringLiteral("its levels are unknown")
                                                    : consequence));
        return exit_code::kSignalBase + report.signal;
    case StreamEnd::Stalled:
        return output::fail(exit_code::kTempFail,
                            QStringLiteral("the device took no data within %1 ms; %2unplug it "
                                           "and plug it in again, or raise --timeout")
                                .arg(invocation.timeoutMs)
                                .arg(then));
    case StreamEnd::Lost:
        break;
    }
    return output::fail(exit_code::kIoError,
                        QStringLiteral("connection to the device lost; %1check the cable, plug "
                                       "the device in again and repeat the command")
                            .arg(then));
}

void add_stream_report(QJsonObject &result, const StreamReport &report)
{
    result.insert(QStringLiteral("frames"), qint64(report.sent));
    result.insert(QStringLiteral("late_frames"), qint64(report.late_frames));
    result.insert(QStringLiteral("max_late_ms"), report.max_late_ms);
    result.insert(QStringLiteral("realtime"), report.realtime);
}

EventWait::End wait_for_line_to_drain(DeviceSession &session, int timeoutMs)
{
    const int fd = session.nativeHandle();
    // The kernel says nothing when its output queue empties: look every 2 ms.
    QTimer look;
    look.setInterval(2);
    QObject::connect(&look, &QTimer::timeout, &session, [&session] { session.wake(); });
    look.start();
    return session.waitUntil([fd] { return FrameStreamer::unsentBytes(fd) == 0; }, timeoutMs);
}

} // namespace pins
