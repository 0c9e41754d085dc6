// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_BENCH_TEST_FRAME_ARRIVALS_H
#define KALDORIUM_BENCH_TEST_FRAME_ARRIVALS_H

// Records when each test output frame reached the device's side of the line. A line of its
// own (a pseudo-terminal) stands between the host and the simulated device; a thread that
// does nothing but wait in poll() on it takes the host's bytes the moment the kernel has
// them, timestamps every completed test frame and passes the bytes on to the device. A
// second thread carries the device's reports back. Neither the window's thread nor the
// device's event loop can delay the timestamps.

#include <QJsonObject>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

class SimulatedDeviceEndpoint;

namespace bench {

struct Arrival {
    qint64 ns; // monotonic clock
    quint8 counter;
};

class TestFrameArrivals {
public:
    // Puts the recording line in front of the device: its node link then leads to the line,
    // so the host opens it as it would open the device. Before the host opens the port.
    explicit TestFrameArrivals(SimulatedDeviceEndpoint &device);
    ~TestFrameArrivals();
    TestFrameArrivals(const TestFrameArrivals &) = delete;
    TestFrameArrivals &operator=(const TestFrameArrivals &) = delete;

    // The serial device the host opens instead of the device's own.
    QString hostPath() const;
    std::vector<Arrival> take();

private:
    struct Relay;
    std::unique_ptr<Relay> relay_;
};

struct Gaps {
    double p1_ms = 0;
    double p50_ms = 0;
    double p99_ms = 0;
    double max_ms = 0;
    double min_ms = 0;
    double within_half_ms_percent = 0; // gaps within 0.5 ms of the 10 ms tick
};
// The gaps between consecutive times (ns, ascending) that lie in [from_ns, to_ns].
Gaps gaps_between(const std::vector<qint64> &times, qint64 from_ns, qint64 to_ns);

// Figures of the frames that arrived in [from_ns, to_ns].
struct StreamFigures {
    int frames = 0;
    double frames_per_second = 0;
    Gaps gaps;
    int frames_lost = 0; // counters skipped (the counter runs 0..127)
};
StreamFigures stream_figures(const std::vector<Arrival> &arrivals, qint64 from_ns, qint64 to_ns);
// Writes the rate, the gap percentiles and the frames lost into a benchmark result.
void add_arrival_figures(QJsonObject &result, const StreamFigures &figures);

} // namespace bench

#endif
