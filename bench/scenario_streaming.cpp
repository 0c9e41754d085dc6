// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Live test streaming, with the device reporting at its usual pace or flooding the line;
// the window idle (no test); and the floor under both: the same timer, serial port and
// device without the window.

#include "device_link/frames.h"
#include "device_link/serial_line.h"
#include "device_rig.h"
#include "device_thread.h"
#include "mainwindow.h"
#include "measure.h"
#include "scenarios.h"
#include "simulated_device_endpoint.h"
#include "test_frame_arrivals.h"
#include "timer_wakeup.h"

#include <QSerialPort>

namespace bench {

namespace {

constexpr int kWarmUpMs = 1000;

struct Interval {
    qint64 from_ns = 0;
    qint64 to_ns = 0;
    CpuTime cpu_before;
    CpuTime cpu_after;
    SimulatedDeviceEndpoint::Traffic traffic_before;
    SimulatedDeviceEndpoint::Traffic traffic_after;
    SimulatedDevice device_before;
    SimulatedDevice device_after;

    double seconds() const { return double(to_ns - from_ns) / 1e9; }
};

// Lets the event loop run for the given time and takes the figures around it.
Interval measure(SimulatedDeviceEndpoint &device, double seconds)
{
    Interval interval;
    interval.device_before = device.snapshot();
    interval.traffic_before = device.traffic();
    interval.cpu_before = cpu_time();
    interval.from_ns = monotonic_ns();
    run_event_loop_for(int(seconds * 1000));
    interval.to_ns = monotonic_ns();
    interval.cpu_after = cpu_time();
    interval.traffic_after = device.traffic();
    interval.device_after = device.snapshot();
    return interval;
}

void add_load_figures(QJsonObject &result, const Interval &interval)
{
    const double seconds = interval.seconds();
    result[QStringLiteral("seconds")] = seconds;
    result[QStringLiteral("gui_thread_cpu_percent")] =
        100.0 * double(interval.cpu_after.thread_ns - interval.cpu_before.thread_ns) / 1e9 /
        seconds;
    result[QStringLiteral("gui_thread_cpu_wait_percent")] =
        100.0 *
        double(interval.cpu_after.thread_waiting_ns - interval.cpu_before.thread_waiting_ns) / 1e9 /
        seconds;
    result[QStringLiteral("process_cpu_percent")] =
        100.0 * double(interval.cpu_after.process_ns - interval.cpu_before.process_ns) / 1e9 /
        seconds;
    result[QStringLiteral("bytes_to_host_per_second")] =
        double(interval.traffic_after.bytesToHost - interval.traffic_before.bytesToHost) / seconds;
    result[QStringLiteral("status_frames_held_back")] = double(
        interval.traffic_after.statusFramesHeldBack - interval.traffic_before.statusFramesHeldBack);
}

void add_stream_figures(QJsonObject &result, const StreamFigures &figures, const Gaps &write_gaps)
{
    add_arrival_figures(result, figures);
    result[QStringLiteral("write_gap_p50_ms")] = write_gaps.p50_ms;
    result[QStringLiteral("write_gap_p99_ms")] = write_gaps.p99_ms;
    result[QStringLiteral("write_gap_max_ms")] = write_gaps.max_ms;
    result[QStringLiteral("write_gap_within_half_ms_percent")] = write_gaps.within_half_ms_percent;
}

void add_malformed(QJsonObject &result, const Interval &interval)
{
    // Frames cut short by a marker, and bytes outside any frame, as the device counted them.
    result[QStringLiteral("frames_malformed")] =
        (interval.device_after.brokenFrames() - interval.device_before.brokenFrames()) +
        (interval.device_after.strayBytes() - interval.device_before.strayBytes());
}

// A 10 ms coarse timer that writes a test output frame (data port output, no pin held)
// into a serial port on every tick, and a port whose input is read and dropped: what the
// window does while streaming, without the window, the debug messages and the parser.
class BareStreamer : public QObject {
public:
    BareStreamer(const QString &port_name, bool streaming) : streaming_(streaming)
    {
        port_.setPortName(port_name);
        serial_line::apply_settings(port_);
        if (!port_.open(QIODevice::ReadWrite))
            qFatal("cannot open the simulated device");
        serial_line::apply_baud_rate(port_);
        connect(&port_, &QSerialPort::readyRead, this, [this] { port_.readAll(); });
        startTimer(frames::kFramePeriodMs, Qt::CoarseTimer);
    }

    QSerialPort &port() { return port_; }

protected:
    void timerEvent(QTimerEvent *) override
    {
        if (!streaming_)
            return;
        port_.write(frame_.steady(frames::pack_slot(0, 0, true, false)));
        port_.flush();
    }

private:
    QSerialPort port_;
    frames::TestFrameBuilder frame_;
    bool streaming_;
};

} // namespace

QJsonObject run_reference(bool streaming, int flood_rate, double seconds)
{
    DeviceThread device;
    if (flood_rate > 0)
        device.device().setFloodRate(flood_rate);
    TestFrameArrivals arrivals(device.device());
    BareStreamer streamer(arrivals.hostPath(), streaming);
    std::vector<qint64> writes;
    writes.reserve(size_t(seconds * 200) + 1000);
    const QMetaObject::Connection timing_writes =
        QObject::connect(&streamer.port(), &QSerialPort::bytesWritten, &streamer,
                         [&writes] { writes.push_back(monotonic_ns()); });
    run_event_loop_for(kWarmUpMs);

    const Interval interval = measure(device.device(), seconds);
    QObject::disconnect(timing_writes);
    QJsonObject result;
    add_load_figures(result, interval);
    result[QStringLiteral("streaming")] = streaming;
    result[QStringLiteral("flood_rate")] = flood_rate;
    if (streaming) {
        add_stream_figures(result,
                           stream_figures(arrivals.take(), interval.from_ns, interval.to_ns),
                           gaps_between(writes, interval.from_ns, interval.to_ns));
        add_malformed(result, interval);
    }
    return result;
}

QJsonObject run_streaming(int flood_rate, bool exact_wakeup, double seconds)
{
    DeviceRig rig;
    TestFrameArrivals arrivals(rig.device());
    if (!rig.openPort())
        qFatal("the window could not open the simulated device");
    if (flood_rate > 0)
        rig.device().setFloodRate(flood_rate);
    // Without its wake-up the window's tick waits on the event loop's millisecond sleeps,
    // as it did before it had one.
    if (!exact_wakeup)
        rig.window().findChild<TimerWakeup *>()->stop();
    // When the window handed each frame to the line, seen from its own thread.
    std::vector<qint64> writes;
    writes.reserve(size_t(seconds * 200) + 1000);
    const QMetaObject::Connection timing_writes =
        QObject::connect(rig.window().findChild<QSerialPort *>(), &QSerialPort::bytesWritten,
                         &rig.window(), [&writes] { writes.push_back(monotonic_ns()); });
    rig.runTest();
    run_event_loop_for(kWarmUpMs);

    const Interval interval = measure(rig.device(), seconds);
    rig.stopTest();
    QObject::disconnect(timing_writes);
    rig.closePort(); // before the recording line goes
    const StreamFigures figures = stream_figures(arrivals.take(), interval.from_ns, interval.to_ns);
    const Gaps write_gaps = gaps_between(writes, interval.from_ns, interval.to_ns);

    QJsonObject result;
    add_load_figures(result, interval);
    result[QStringLiteral("flood_rate")] = flood_rate;
    result[QStringLiteral("exact_wakeup")] = exact_wakeup;
    add_stream_figures(result, figures, write_gaps);
    add_malformed(result, interval);
    return result;
}

QJsonObject run_idle(bool port_open, double seconds)
{
    DeviceRig rig;
    if (port_open && !rig.openPort())
        qFatal("the window could not open the simulated device");
    run_event_loop_for(kWarmUpMs);
    const Interval interval = measure(rig.device(), seconds);

    QJsonObject result;
    add_load_figures(result, interval);
    result[QStringLiteral("port_open")] = port_open;
    return result;
}

} // namespace bench
