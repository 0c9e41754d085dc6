// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_FRAMES_H
#define KALDORIUM_FRAMES_H

// The four frames exchanged with the KALDORIUM-LPT and the pure functions that build and
// take them apart. Nothing here touches a widget or a port, so the window, the simulated
// device, the tests and the fuzzer all share it.

#include <QByteArray>

#include <array>
#include <cstdint>

#pragma pack(push, 1)
// One 100 us slot of a test output frame.
struct d_byte {
    uint8_t out_0; // D1..D7 in bits 0..6
    uint8_t out_1; // C0..C3, control direction (0x10), data direction (0x20), D0 (0x40)
};

// Test output frame, host to device, sent on every 10 ms tick of a running test.
struct HC_LCNC_2_SERIAL_OUT_DATA {
    uint8_t header; // 0xFF
    d_byte out[100];
    uint8_t counter;   // 0..127, advanced before each frame is sent
    uint8_t us_peroid; // slot period in microseconds, always 100
};

// Input status frame, device to host, sent unasked.
struct HC_LCNC_2_SERIAL_IN_DATA {
    uint8_t header; // the marker; never stored by the receiver, stays 0
    uint8_t in_0;   // D1..D7 in bits 0..6
    uint8_t in_1;   // S3..S7 in bits 0..4, error flag 0x20, D0 in bit 6
    uint8_t in_2;   // C0..C3 in bits 0..3; with the error flag: 0x10, 0x20, 0x40 error bits
    uint8_t counter;
};
#pragma pack(pop)

static_assert(sizeof(d_byte) == 2, "a slot is two bytes on the wire");
static_assert(sizeof(HC_LCNC_2_SERIAL_OUT_DATA) == 203, "the test output frame is 203 bytes");
static_assert(sizeof(HC_LCNC_2_SERIAL_IN_DATA) == 5, "the input status frame is 5 bytes");

namespace frames {

constexpr uint8_t kMarker = 0xFF;
constexpr int kTestFrameSize = int(sizeof(HC_LCNC_2_SERIAL_OUT_DATA));
constexpr int kTestFrameSlots = 100;
constexpr int kCommandFrameSize = 6;
constexpr int kInputFrameSize = int(sizeof(HC_LCNC_2_SERIAL_IN_DATA));
constexpr int kReplyFrameSize = 5;
constexpr uint8_t kSlotPeriodUs = 100;
// The 100 slots of a test output frame span 10 ms, the period at which a running test sends
// them; the device plays one frame while the next is on its way.
constexpr int kFramePeriodUs = kTestFrameSlots * kSlotPeriodUs;
constexpr int kFramePeriodMs = kFramePeriodUs / 1000;
static_assert(kFramePeriodMs * 1000 == kFramePeriodUs, "a frame spans whole milliseconds");
constexpr uint8_t kCounterMax = 127;

// Bits of out_1 / in_1 / in_2.
constexpr uint8_t kControlOutputFlag = 0x10;
constexpr uint8_t kDataOutputFlag = 0x20;
constexpr uint8_t kSlotD0 = 0x40;
constexpr uint8_t kInputErrorFlag = 0x20;
constexpr uint8_t kInputD0 = 0x40;
constexpr uint8_t kErrorFrameBroken = 0x10;
constexpr uint8_t kErrorInputFrameLost = 0x20;
constexpr uint8_t kErrorFifo = 0x40;
constexpr uint8_t kErrorBits = kErrorFifo | kErrorFrameBroken | kErrorInputFrameLost;
// C0..C3 in bits 0..3 of out_1 and in_2.
constexpr uint8_t kControlField = 0x0F;

// The error bits of an error report in the order they are reported, each with the window's
// console text and the command line's name for it.
struct DeviceError {
    uint8_t bit;
    const char *console_text; // "Fifo error!"
    const char *name;         // "FIFO error"
};
inline constexpr DeviceError kDeviceErrors[] = {
    {kErrorFifo, "Fifo error!", "FIFO error"},
    {kErrorFrameBroken, "Frame broken!", "frame broken"},
    {kErrorInputFrameLost, "Input frame lose!", "input frame lost"},
};

// Packs one slot from the data byte D, the control nibble C and the two direction flags.
constexpr d_byte pack_slot(uint8_t data, uint8_t control, bool data_output, bool control_output)
{
    uint8_t out_1 = uint8_t(((data << 6) & kSlotD0) | (control & kControlField));
    if (data_output)
        out_1 |= kDataOutputFlag;
    if (control_output)
        out_1 |= kControlOutputFlag;
    return d_byte{uint8_t(data >> 1), out_1};
}

// The counter runs 0, 1, ..., 127, 0, ...; anything above 126 wraps to 0.
constexpr uint8_t next_counter(uint8_t counter)
{
    return counter <= kCounterMax - 1 ? uint8_t(counter + 1) : uint8_t(0);
}

// How many frames were lost between two frames whose counters came one after the other:
// 0 when current follows previous, 127 when it repeats it.
constexpr int counter_gap(uint8_t previous, uint8_t current)
{
    constexpr int kCounts = kCounterMax + 1;
    return ((int(current) - int(previous) - 1) % kCounts + kCounts) % kCounts;
}

// Joins the two 7-bit groups of a configuration reply; neither byte is masked.
constexpr uint32_t join_reply_value(uint8_t high, uint8_t low)
{
    return (uint32_t(high) << 7) | low;
}

// Pin levels carried by an input status frame without the error flag.
struct InputLevels {
    uint8_t data;    // bit n = Dn
    uint8_t status;  // bits 3..7 = S3..S7
    uint8_t control; // bits 0..3 = C0..C3, upper bits as received
};

constexpr InputLevels unpack_input(uint8_t in_0, uint8_t in_1, uint8_t in_2)
{
    return InputLevels{uint8_t((in_0 << 1) | ((in_1 >> 6) & 1)), uint8_t(in_1 << 3), in_2};
}

// The inverse, as the device builds it: levels into in_0, in_1, in_2 (bit 7 always clear).
constexpr HC_LCNC_2_SERIAL_IN_DATA pack_input(const InputLevels &levels, uint8_t counter)
{
    return HC_LCNC_2_SERIAL_IN_DATA{
        kMarker, uint8_t((levels.data >> 1) & 0x7F),
        uint8_t(((levels.data & 1) << 6) | ((levels.status >> 3) & 0x1F)),
        uint8_t(levels.control & kControlField), uint8_t(counter & 0x7F)};
}

// An input status frame that reports error bits instead of pin levels.
constexpr HC_LCNC_2_SERIAL_IN_DATA pack_error_report(uint8_t error_bits, uint8_t counter)
{
    return HC_LCNC_2_SERIAL_IN_DATA{kMarker, 0, kInputErrorFlag, uint8_t(error_bits & kErrorBits),
                                    uint8_t(counter & 0x7F)};
}

// Rewrites bytes 2..5 of a command frame buffer of at least six bytes: the code, then the
// value's bits 20..14, 13..7 and 6..0. Value bits 21 and up are not carried.
void write_command(QByteArray &frame, uint8_t code, uint32_t value);

// A fresh six-byte command frame: FF FF code v2 v1 v0.
QByteArray command_frame(uint8_t code, uint32_t value);

// A five-byte configuration reply frame as the device sends it: FF FF type high low.
QByteArray reply_frame(uint8_t type, uint32_t value);

QByteArray to_bytes(const HC_LCNC_2_SERIAL_IN_DATA &frame);

// Builds test output frames: header 0xFF, the 100 slots, the counter advanced before each
// frame (from 0 at start, so the first frame carries 1) and a slot period of 100 us. The window
// builds in its module-level frame record, whose counter runs on for the whole run; the
// command line in a record the builder keeps.
class TestFrameBuilder {
public:
    TestFrameBuilder(); // a record of its own, header set
    // Builds in the given record as it stands; set_header() once before the first frame.
    explicit TestFrameBuilder(HC_LCNC_2_SERIAL_OUT_DATA &frame) : external_(&frame) {}

    void set_header();
    // The record's 100 slots, for a caller that fills them itself.
    d_byte *out() { return record().out; }
    // Ends a frame whose slots are filled: the counter advanced, the slot period set.
    void finish();
    uint8_t counter() const { return record().counter; }

    // Fills the slots, ends the frame and returns its bytes.
    QByteArray frame(const std::array<d_byte, kTestFrameSlots> &frame_slots);
    QByteArray steady(const d_byte &slot); // all 100 slots alike

private:
    HC_LCNC_2_SERIAL_OUT_DATA &record() { return external_ ? *external_ : own_; }
    const HC_LCNC_2_SERIAL_OUT_DATA &record() const { return external_ ? *external_ : own_; }

    HC_LCNC_2_SERIAL_OUT_DATA own_{};
    HC_LCNC_2_SERIAL_OUT_DATA *external_ = nullptr;
};

} // namespace frames

#endif
