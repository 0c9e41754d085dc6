// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "receive_parser.h"

#include "frames.h"

namespace receive {

namespace {

constexpr int8_t kOneMarker = 1;
constexpr int8_t kInputComplete = 5;
constexpr int8_t kReplyType = 10;
constexpr int8_t kReplyHigh = 11;
constexpr int8_t kReplyLow = 12;

Event complete_input_frame(State &state)
{
    const HC_LCNC_2_SERIAL_IN_DATA &frame = state.serial_input;
    Event event;
    if (frame.in_1 & frames::kInputErrorFlag) {
        event.what = Completed::ErrorReport;
        event.error_bits = frame.in_2;
    } else {
        const frames::InputLevels levels = frames::unpack_input(frame.in_0, frame.in_1, frame.in_2);
        state.input_data = levels.data;
        state.input_status = levels.status;
        state.input_control = levels.control;
        event.what = Completed::InputLevels;
    }
    state.prev_read_counter = frame.counter;
    return event;
}

} // namespace

Event take_byte(State &state, uint8_t byte)
{
    int8_t &read_index = state.read_index;
    if (byte == frames::kMarker) {
        if (read_index == kIdle)
            read_index = kOneMarker;
        else if (read_index == kOneMarker)
            read_index = kReplyType;
        else
            read_index = kIdle;
        return {};
    }
    switch (read_index) {
    case 1:
    case 2:
    case 3:
    case 4:
        reinterpret_cast<uint8_t *>(&state.serial_input)[read_index] = byte;
        if (++read_index == kInputComplete) {
            read_index = kIdle;
            return complete_input_frame(state);
        }
        return {};
    case kReplyType:
        state.config_type = byte;
        read_index = kReplyHigh;
        return {};
    case kReplyHigh:
        state.input_config_data = uint32_t(byte) << 7;
        read_index = kReplyLow;
        return {};
    case kReplyLow:
        state.input_config_data |= byte;
        read_index = kIdle;
        return Event{Completed::ConfigReply, 0};
    default: // idle, or a state no byte sequence can reach: wait for a marker
        read_index = kIdle;
        return {};
    }
}

} // namespace receive
