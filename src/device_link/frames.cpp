// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "frames.h"

#include <algorithm>

namespace frames {

void write_command(QByteArray &frame, uint8_t code, uint32_t value)
{
    frame[2] = char(code);
    frame[5] = char(value & 0x7F);
    value >>= 7;
    frame[4] = char(value & 0x7F);
    value >>= 7;
    frame[3] = char(value & 0x7F);
}

QByteArray command_frame(uint8_t code, uint32_t value)
{
    QByteArray frame(kCommandFrameSize, char(kMarker));
    write_command(frame, code, value);
    return frame;
}

QByteArray reply_frame(uint8_t type, uint32_t value)
{
    QByteArray frame(kReplyFrameSize, char(kMarker));
    frame[2] = char(type);
    frame[3] = char((value >> 7) & 0x7F);
    frame[4] = char(value & 0x7F);
    return frame;
}

QByteArray to_bytes(const HC_LCNC_2_SERIAL_IN_DATA &frame)
{
    return QByteArray(reinterpret_cast<const char *>(&frame), int(sizeof frame));
}

TestFrameBuilder::TestFrameBuilder()
{
    set_header();
}

void TestFrameBuilder::set_header()
{
    record().header = kMarker;
}

void TestFrameBuilder::finish()
{
    HC_LCNC_2_SERIAL_OUT_DATA &frame = record();
    frame.counter = next_counter(frame.counter);
    frame.us_peroid = kSlotPeriodUs;
}

QByteArray TestFrameBuilder::frame(const std::array<d_byte, kTestFrameSlots> &frame_slots)
{
    std::copy(frame_slots.begin(), frame_slots.end(), out());
    finish();
    return QByteArray(reinterpret_cast<const char *>(&record()), kTestFrameSize);
}

QByteArray TestFrameBuilder::steady(const d_byte &slot)
{
    std::fill_n(out(), kTestFrameSlots, slot);
    finish();
    return QByteArray(reinterpret_cast<const char *>(&record()), kTestFrameSize);
}

} // namespace frames
