// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_FRAMES_H
#define KALDORIUM_FRAMES_H

// The four frames exchanged with the KALDORIUM-LPT and the pure functions that build and
// take them apart. Nothing here touches a widget or a port, so the window, the simulated
// device, the tests and the fuzzer all share it.

#include <QByteArray>

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

// Packs one slot from the data byte D, the control nibble C and the two direction flags.
constexpr d_byte pack_slot(uint8_t data, uint8_t control, bool data_output, bool control_output)
{
    uint8_t out_1 = uint8_t(((data << 6) & kSlotD0) | (control & 0x0F));
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
        uint8_t(levels.control & 0x0F), uint8_t(counter & 0x7F)};
}

// An input status frame that reports error bits instead of pin levels.
constexpr HC_LCNC_2_SERIAL_IN_DATA pack_error_report(uint8_t error_bits, uint8_t counter)
{
    return HC_LCNC_2_SERIAL_IN_DATA{
        kMarker, 0, kInputErrorFlag,
        uint8_t(error_bits & (kErrorFrameBroken | kErrorInputFrameLost | kErrorFifo)),
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

} // namespace frames

#endif
