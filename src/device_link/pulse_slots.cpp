// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pulse_slots.h"

#include <algorithm>
#include <numeric>

namespace pulse {

SlotWave::SlotWave(int hz, int duty_percent, int64_t count)
    : hz_(std::clamp(hz, kMinHz, kMaxHz)), count_(count)
{
    // A period is 10000 / hz slots; its first slot has a phase below hz and its last slot a
    // phase of at least 10000 - hz. Keeping the threshold between the two gives every pulse
    // a high and a low slot.
    const int duty = std::clamp(duty_percent, kMinDuty, kMaxDuty) * (kSlotsPerSecond / 100);
    threshold_ = std::clamp(duty, hz_, kSlotsPerSecond - hz_);
}

bool SlotWave::next_slot()
{
    const int phase = phase_;
    phase_ += hz_;
    if (phase_ >= kSlotsPerSecond)
        phase_ -= kSlotsPerSecond;
    if (ended_)
        return false;
    if (phase < hz_)
        ++started_; // a new period begins
    const bool high = phase < threshold_;
    if (!high && count_ > 0 && started_ >= count_)
        ended_ = true;
    return high;
}

int SlotWave::wire_high_share() const
{
    return pulse::wire_high_share(hz_, threshold_);
}

int wire_high_share(int hz, int threshold)
{
    const int step = std::gcd(std::clamp(hz, kMinHz, kMaxHz), kSlotsPerSecond);
    const int high_slots = (std::clamp(threshold, 0, kSlotsPerSecond) + step - 1) / step;
    return high_slots * step;
}

FrameLevels SlotWave::next_frame()
{
    FrameLevels levels{};
    for (bool &level : levels)
        level = next_slot();
    return levels;
}

d_byte pin_slot(const db25::Pin &pin, bool level)
{
    const uint8_t bit = level ? uint8_t(1u << pin.bit) : uint8_t(0);
    if (pin.port == db25::Port::Data)
        return frames::pack_slot(bit, 0, true, false);
    if (pin.port == db25::Port::Control)
        return frames::pack_slot(0, bit, false, true);
    return frames::pack_slot(0, 0, false, false);
}

} // namespace pulse
