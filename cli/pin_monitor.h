// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_PIN_MONITOR_H
#define KALDORIUM_CLI_PIN_MONITOR_H

// Follows the input status frames that a DeviceSession takes through the receive state
// machine: the first frame with levels, every change of a signal pin after it (with the
// host's receive time), error reports (each kind noted at most once a second, with a count),
// silences of the device (more than 100 ms without a status frame), gaps in the device's
// frame counter (frames lost on the way), and the first frame the device sent after a given
// moment (the answer to what the program just did).

#include "device_session.h"

#include "device_link/frames.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

class PinMonitor {
public:
    // Longer than this without a status frame is a silence of the device.
    static constexpr int64_t kSilenceUs = 100 * 1000;

    explicit PinMonitor(DeviceSession &session);

    // us: microseconds since the monitor was made, on the monotonic clock.
    std::function<void(int64_t us, const frames::InputLevels &levels)> onFirst;
    // changed: bit n-1 set for each pin n whose level differs from the frame before.
    std::function<void(int64_t us, const frames::InputLevels &levels, uint32_t changed)> onChange;
    // Where the monitor's notes go (device errors, silences); standard error by default.
    std::function<void(const QString &note)> onNote;

    // Times in notes count from here (us on the monitor's clock; 0 unless set).
    void setTimeOrigin(int64_t us) { origin_us_ = us; }

    bool seenFirst() const { return frames_ > 0; }                // a frame with levels
    bool seenAny() const { return frames_ + error_reports_ > 0; } // levels or an error report
    int64_t elapsedUs() const { return clock_.nsecsElapsed() / 1000; }
    int64_t frames() const { return frames_; } // complete input status frames with levels
    int64_t errorReports() const { return error_reports_; }
    int64_t lostFrames() const { return lost_frames_; } // counter gaps, summed
    int64_t silences() const { return silences_; }
    frames::InputLevels levels() const { return levels_; } // of the latest frame with levels

    // The watch ends now: notes the error reports counted but not yet noted, and a silence
    // that lasts to the end.
    void finish();

    // Looks out for the first frame with levels whose first byte the device sent at or after
    // `mark` (DeviceSession::receiveMark()); frames that started earlier, and error reports,
    // do not count.
    void awaitFrameFrom(int64_t mark);
    const std::optional<frames::InputLevels> &frameFromMark() const { return from_mark_; }

private:
    struct ErrorTally {
        int64_t noted_us = -1; // when this kind was last noted; -1: never
        int64_t unnoted = 0;   // reports since then
    };

    void take(const receive::Event &event);
    void countFrame(int64_t us);
    void tallyError(uint8_t bits, int64_t us);
    void note(const QString &text) const;
    QString seconds(int64_t us) const;

    DeviceSession &session_;
    const receive::State &state_;
    QElapsedTimer clock_;
    uint32_t last_ = 0;
    frames::InputLevels levels_{};
    int64_t frames_ = 0;
    int64_t error_reports_ = 0;
    int64_t lost_frames_ = 0;
    int64_t silences_ = 0;
    int64_t last_frame_us_ = 0;
    int64_t origin_us_ = 0;
    bool counted_ = false;
    uint8_t last_counter_ = 0;
    std::map<uint8_t, ErrorTally> errors_;
    int64_t mark_ = -1;
    std::optional<frames::InputLevels> from_mark_;
};

// "FIFO error, frame broken" for the error bits of an error report.
QString device_error_names(uint8_t bits);

#endif
