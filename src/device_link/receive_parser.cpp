// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "receive_parser.h"

#include "frames.h"
#include "program_state.h"

namespace receive {

namespace {

constexpr int8_t kOneMarker = 1;
constexpr int8_t kInputComplete = 5;
constexpr int8_t kReplyType = 10;
constexpr int8_t kReplyHigh = 11;
constexpr int8_t kReplyLow = 12;

Event complete_input_frame()
{
    Event event;
    if (serial_input.in_1 & frames::kInputErrorFlag) {
        event.what = Completed::ErrorReport;
        event.error_bits = serial_input.in_2;
    } else {
        const frames::InputLevels levels =
            frames::unpack_input(serial_input.in_0, serial_input.in_1, serial_input.in_2);
        input_data = levels.data;
        input_status = levels.status;
        input_control = levels.control;
        event.what = Completed::InputLevels;
    }
    prev_read_counter = serial_input.counter;
    return event;
}

} // namespace

Event take_byte(uint8_t byte)
{
    if (byte == frames::kMarker) {
        if (read_index == kReadIdle)
            read_index = kOneMarker;
        else if (read_index == kOneMarker)
            read_index = kReplyType;
        else
            read_index = kReadIdle;
        return {};
    }
    switch (read_index) {
    case 1:
    case 2:
    case 3:
    case 4:
        serial_input_pointer[read_index] = byte;
        if (++read_index == kInputComplete) {
            read_index = kReadIdle;
            return complete_input_frame();
        }
        return {};
    case kReplyType:
        config_type = byte;
        read_index = kReplyHigh;
        return {};
    case kReplyHigh:
        input_config_data = uint32_t(byte) << 7;
        read_index = kReplyLow;
        return {};
    case kReplyLow:
        input_config_data |= byte;
        read_index = kReadIdle;
        return Event{Completed::ConfigReply, 0};
    default: // idle, or a state no byte sequence can reach: wait for a marker
        read_index = kReadIdle;
        return {};
    }
}

} // namespace receive
