// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "test_frame_arrivals.h"

#include "measure.h"
#include "simulated_device_endpoint.h"

#include <QMutexLocker>

#include <algorithm>

namespace bench {

TestFrameArrivals::TestFrameArrivals(SimulatedDeviceEndpoint &device)
    : record_(std::make_shared<Record>())
{
    record_->arrivals.reserve(100 * 600);
    connection_ = QObject::connect(
        &device, &SimulatedDeviceEndpoint::testFrameReceived, &device,
        [record = record_](quint8 counter) {
            const qint64 now = monotonic_ns();
            QMutexLocker lock(&record->mutex);
            record->arrivals.push_back({now, counter});
        },
        Qt::DirectConnection);
}

TestFrameArrivals::~TestFrameArrivals()
{
    QObject::disconnect(connection_);
}

std::vector<Arrival> TestFrameArrivals::take()
{
    QMutexLocker lock(&record_->mutex);
    return std::move(record_->arrivals);
}

Gaps gaps_between(const std::vector<qint64> &times, qint64 from_ns, qint64 to_ns)
{
    std::vector<double> gaps;
    const qint64 *previous = nullptr;
    for (const qint64 &time : times) {
        if (time < from_ns || time > to_ns)
            continue;
        if (previous)
            gaps.push_back(double(time - *previous) / 1e6);
        previous = &time;
    }
    Gaps figures;
    if (!gaps.empty()) {
        figures.p50_ms = percentile(gaps, 50);
        figures.p99_ms = percentile(gaps, 99);
        figures.max_ms = *std::max_element(gaps.begin(), gaps.end());
        figures.min_ms = *std::min_element(gaps.begin(), gaps.end());
    }
    return figures;
}

StreamFigures stream_figures(const std::vector<Arrival> &arrivals, qint64 from_ns, qint64 to_ns)
{
    StreamFigures figures;
    std::vector<qint64> times;
    const Arrival *previous = nullptr;
    for (const Arrival &arrival : arrivals) {
        if (arrival.ns < from_ns || arrival.ns > to_ns)
            continue;
        ++figures.frames;
        times.push_back(arrival.ns);
        if (previous)
            figures.frames_lost += (arrival.counter - previous->counter - 1 + 128) % 128;
        previous = &arrival;
    }
    figures.frames_per_second = figures.frames / (double(to_ns - from_ns) / 1e9);
    figures.gaps = gaps_between(times, from_ns, to_ns);
    return figures;
}

} // namespace bench
