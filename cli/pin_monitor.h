// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_PIN_MONITOR_H
#define KALDORIUM_CLI_PIN_MONITOR_H

// Follows the input status frames that a DeviceSession takes through the receive state
// machine: the first complete frame, every change of a signal pin after it (with the host's
// receive time), error reports (one line each on standard error, and watching goes on) and
// gaps in the device's frame counter (frames lost on the way).

#include "device_session.h"

#include "device_link/frames.h"

#include <QElapsedTimer>

#include <cstdint>
#include <functional>

class PinMonitor {
public:
    explicit PinMonitor(DeviceSession &session);

    // us: microseconds since the monitor was made, on the monotonic clock.
    std::function<void(int64_t us, const frames::InputLevels &levels)> onFirst;
    // changed: bit n-1 set for each pin n whose level differs from the frame before.
    std::function<void(int64_t us, const frames::InputLevels &levels, uint32_t changed)> onChange;

    bool seenFirst() const { return frames_ > 0; }
    int64_t elapsedUs() const { return clock_.nsecsElapsed() / 1000; }
    int64_t frames() const { return frames_; } // complete input status frames with levels
    int64_t errorReports() const { return error_reports_; }
    int64_t lostFrames() const { return lost_frames_; } // counter gaps, summed

private:
    void take(const receive::Event &event);
    void countFrame();

    const receive::State &state_;
    QElapsedTimer clock_;
    uint32_t last_ = 0;
    int64_t frames_ = 0;
    int64_t error_reports_ = 0;
    int64_t lost_frames_ = 0;
    bool counted_ = false;
    uint8_t last_counter_ = 0;
};

// "FIFO error, frame broken" for the error bits of an error report.
QString device_error_names(uint8_t bits);

#endif
