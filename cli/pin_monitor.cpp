// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pin_monitor.h"

#include "output.h"

#include "device_link/db25_pins.h"

#include <QStringList>

namespace {

constexpr int64_t kErrorNoteUs = 1000 * 1000; // each kind of error at most once a second

} // namespace

PinMonitor::PinMonitor(DeviceSession &session) : session_(session), state_(session.receiveState())
{
    clock_.start();
    session.onEvent = [this](const receive::Event &event) { take(event); };
}

void PinMonitor::take(const receive::Event &event)
{
    if (event.what != receive::Completed::ErrorReport &&
        event.what != receive::Completed::InputLevels)
        return;
    const int64_t us = elapsedUs();
    countFrame(us);
    if (event.what == receive::Completed::ErrorReport) {
        ++error_reports_;
        tallyError(event.error_bits & frames::kErrorBits, us);
        return;
    }
    levels_ = state_.levels();
    if (mark_ >= 0 && !from_mark_ && session_.bytesReceived() - frames::kInputFrameSize >= mark_)
        from_mark_ = levels_;
    const uint32_t now = db25::signal_levels(levels_);
    if (frames_++ == 0) {
        last_ = now;
        if (onFirst)
            onFirst(us, levels_);
        return;
    }
    const uint32_t changed = now ^ last_;
    last_ = now;
    if (changed && onChange)
        onChange(us, levels_, changed);
}

void PinMonitor::countFrame(int64_t us)
{
    // The device counts its status frames 0..127; a jump means frames were lost.
    const uint8_t counter = state_.prev_read_counter;
    if (counted_)
        lost_frames_ += frames::counter_gap(last_counter_, counter);
    counted_ = true;
    last_counter_ = counter;

    // Silences count once the device has shown its levels.
    if (seenFirst() && us - last_frame_us_ > kSilenceUs) {
        ++silences_;
        note(QStringLiteral("no status frame from the device from %1 s to %2 s (%3 s)")
                 .arg(seconds(last_frame_us_), seconds(us),
                      QString::number(double(us - last_frame_us_) / 1e6, 'f', 3)));
    }
    last_frame_us_ = us;
}

void PinMonitor::tallyError(uint8_t bits, int64_t us)
{
    ErrorTally &tally = errors_[bits];
    if (tally.noted_us >= 0 && us - tally.noted_us < kErrorNoteUs) {
        ++tally.unnoted;
        return;
    }
    QString line = QStringLiteral("device error: %1").arg(device_error_names(bits));
    if (tally.unnoted > 0) {
        line += QStringLiteral(", %1 times in the last %2 s")
                    .arg(tally.unnoted + 1)
                    .arg(QString::number(double(us - tally.noted_us) / 1e6, 'f', 1));
    }
    note(line);
    tally.noted_us = us;
    tally.unnoted = 0;
}

void PinMonitor::finish()
{
    const int64_t us = elapsedUs();
    for (auto &[bits, tally] : errors_) {
        if (tally.unnoted == 0)
            continue;
        note(QStringLiteral("device error: %1, %2 times in the last %3 s")
                 .arg(device_error_names(bits))
                 .arg(tally.unnoted)
                 .arg(QString::number(double(us - tally.noted_us) / 1e6, 'f', 1)));
        tally.unnoted = 0;
        tally.noted_us = us;
    }
    if (seenFirst() && us - last_frame_us_ > kSilenceUs) {
        ++silences_;
        note(QStringLiteral("no status frame from the device from %1 s to the end at %2 s "
                            "(%3 s)")
                 .arg(seconds(last_frame_us_), seconds(us),
                      QString::number(double(us - last_frame_us_) / 1e6, 'f', 3)));
        last_frame_us_ = us;
    }
}

void PinMonitor::awaitFrameFrom(int64_t mark)
{
    mark_ = mark;
    from_mark_.reset();
}

void PinMonitor::note(const QString &text) const
{
    if (onNote)
        onNote(text);
    else
        output::note(text);
}

QString PinMonitor::seconds(int64_t us) const
{
    return QString::number(double(us - origin_us_) / 1e6, 'f', 3);
}

QString device_error_names(uint8_t bits)
{
    QStringList names;
    for (const frames::DeviceError &error : frames::kDeviceErrors) {
        if (bits & error.bit)
            names << QLatin1String(error.name);
    }
    if (names.isEmpty())
        names << QStringLiteral("unnamed error");
    return names.join(QStringLiteral(", "));
}
