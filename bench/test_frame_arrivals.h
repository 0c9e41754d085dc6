// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_BENCH_TEST_FRAME_ARRIVALS_H
#define KALDORIUM_BENCH_TEST_FRAME_ARRIVALS_H

// Records when each test output frame reached the simulated device. The device's signal is
// taken directly in the device's thread, so a busy window cannot delay the timestamps.

#include <QMetaObject>
#include <QMutex>
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
    explicit TestFrameArrivals(SimulatedDeviceEndpoint &device);
    ~TestFrameArrivals();
    TestFrameArrivals(const TestFrameArrivals &) = delete;
    TestFrameArrivals &operator=(const TestFrameArrivals &) = delete;

    std::vector<Arrival> take();

private:
    // Shared with the connection, which may still run in the device's thread while this
    // object goes away.
    struct Record {
        QMutex mutex;
        std::vector<Arrival> arrivals;
    };
    std::shared_ptr<Record> record_;
    QMetaObject::Connection connection_;
};

struct Gaps {
    double p50_ms = 0;
    double p99_ms = 0;
    double max_ms = 0;
    double min_ms = 0;
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

} // namespace bench

#endif
