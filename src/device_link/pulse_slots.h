// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_PULSE_SLOTS_H
#define KALDORIUM_PULSE_SLOTS_H

// A square wave on one output pin, cut into the 100 slots of 100 us of each test output
// frame. The phase runs on from frame to frame, so the average frequency is exact whatever
// the frequency: slot s is high while (s * hz) mod 10000 lies below the high part of the
// period. At 100 us resolution a period shorter than 100 slots cannot always be split at the
// requested duty; every pulse is at least one slot high and one slot low.

#include "device_link/db25_pins.h"
#include "device_link/frames.h"

#include <array>
#include <cstdint>

namespace pulse {

constexpr int kSlotsPerSecond = 1000 * 1000 / frames::kSlotPeriodUs;
constexpr int kMinHz = 1;
constexpr int kMaxHz = kSlotsPerSecond / 2; // one slot high, one slot low
constexpr int kMinDuty = 1;
constexpr int kMaxDuty = 99;

// True for the pins a pulse can drive: data pins 2..9, control pins 1, 14, 16, 17.
constexpr bool is_output_pin(int number)
{
    return db25::is_pin(number) && (db25::pin(number).port == db25::Port::Data ||
                                    db25::pin(number).port == db25::Port::Control);
}

using FrameLevels = std::array<bool, frames::kTestFrameSlots>;

class SlotWave {
public:
    // hz within kMinHz..kMaxHz, duty within kMinDuty..kMaxDuty (percent); count 0 runs for
    // ever, otherwise the wave ends low after that many whole pulses.
    SlotWave(int hz, int duty_percent, int64_t count = 0);

    // The levels of the next frame's 100 slots. After the last pulse every slot is low.
    FrameLevels next_frame();

    // True once the last of `count` pulses has ended (its low part has begun).
    bool finished() const { return ended_; }
    int64_t pulses_started() const { return started_; }
    // The share of each period that is high, in 1/10000 (the duty after the slot limits).
    int high_share() const { return threshold_; }
    // The share of slots that go out high, in 1/10000 (see wire_high_share below).
    int wire_high_share() const;

private:
    bool next_slot();

    int hz_;
    int threshold_; // high while the phase lies below this, in 1/10000 of a period
    int64_t count_;
    int phase_ = 0; // (slot * hz) mod 10000
    int64_t started_ = 0;
    bool ended_ = false;
};

// The share of slots sent high, in 1/10000, over one whole phase cycle of a wave whose
// threshold is `threshold` (high_share()). The phase visits every multiple of
// gcd(hz, 10000) once per cycle, so a period that is not a whole number of slots puts a duty
// on the wire that differs from the one asked for: 4000 Hz at 50 % sends 3 high slots in
// every 5 (60 %), 2500 Hz at 30 % sends 2 in every 4 (50 %).
int wire_high_share(int hz, int threshold);

// The slot that drives one pin of its port at `level` and every other pin of that port low.
// Only that port's direction flag is set; the other port stays an input.
d_byte pin_slot(const db25::Pin &pin, bool level);

} // namespace pulse

#endif
