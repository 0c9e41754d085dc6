// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pin_monitor.h"

#include "output.h"

#include "device_link/db25_pins.h"

#include <QStringList>

PinMonitor::PinMonitor(DeviceSession &session) : state_(session.receiveState())
{
    clock_.start();
    session.onEvent = [this](const receive::Event &event) { take(event); };
}

void PinMonitor::take(const receive::Event &event)
{
    if (event.what == receive::Completed::ErrorReport) {
        countFrame();
        ++error_reports_;
        output::note(QStringLiteral("device error: %1").arg(device_error_names(event.error_bits)));
        return;
    }
    if (event.what != receive::Completed::InputLevels)
        return;
    countFrame();
    const int64_t us = elapsedUs();
    const frames::InputLevels levels = state_.levels();
    const uint32_t now = db25::signal_levels(levels);
    if (frames_++ == 0) {
        last_ = now;
        if (onFirst)
            onFirst(us, levels);
        return;
    }
    const uint32_t changed = now ^ last_;
    last_ = now;
    if (changed && onChange)
        onChange(us, levels, changed);
}

void PinMonitor::countFrame()
{
    // The device counts its status frames 0..127; a jump means frames were lost.
    const uint8_t counter = state_.prev_read_counter;
    if (counted_ && counter != frames::next_counter(last_counter_))
        lost_frames_ += (int(counter) - int(last_counter_) - 1 + 128) % 128;
    counted_ = true;
    last_counter_ = counter;
}

QString device_error_names(uint8_t bits)
{
    QStringList names;
    if (bits & frames::kErrorFifo)
        names << QStringLiteral("FIFO error");
    if (bits & frames::kErrorFrameBroken)
        names << QStringLiteral("frame broken");
    if (bits & frames::kErrorInputFrameLost)
        names << QStringLiteral("input frame lost");
    if (names.isEmpty())
        names << QStringLiteral("unnamed error");
    return names.join(QStringLiteral(", "));
}
