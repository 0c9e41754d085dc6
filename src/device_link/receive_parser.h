// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_RECEIVE_PARSER_H
#define KALDORIUM_RECEIVE_PARSER_H

// The byte-level state machine that finds the device's frames in the received stream. It is
// fed one byte at a time, keeps its state in a record that the caller owns (one per open
// device) and tells the caller what a byte completed, so that the caller only shows the
// result.

#include "device_link/frames.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace receive {

constexpr int8_t kIdle = 100; // waiting for a marker

// Everything the state machine keeps from one byte to the next, with its start values.
struct State {
    int8_t read_index = kIdle;                  // 100 idle, 1..4 input frame, 10..12 reply
    HC_LCNC_2_SERIAL_IN_DATA serial_input = {}; // frame byte n lands at byte n; the marker never
    uint8_t prev_read_counter = frames::kCounterMax; // counter of the last complete input frame
    uint8_t input_data = 0;                          // D0..D7 as last reported
    uint8_t input_status = 0;                        // S3..S7 in bits 3..7
    uint8_t input_control = 0;                       // C0..C3 in bits 0..3
    uint8_t config_type = 0;        // type of the configuration reply being received
    uint32_t input_config_data = 0; // its value
    uint8_t read_data[500] = {};    // staging copy of the received bytes

    frames::InputLevels levels() const { return {input_data, input_status, input_control}; }
};

enum class Completed : uint8_t {
    Nothing,     // the byte was taken, no frame ended with it
    InputLevels, // an input status frame updated input_data, input_status, input_control
    ErrorReport, // an input status frame with the error flag; error_bits holds in_2
    ConfigReply, // a configuration reply; config_type and input_config_data hold it
};

struct Event {
    Completed what = Completed::Nothing;
    uint8_t error_bits = 0;
};

// Takes one received byte.
//   0xFF: idle -> 1, 1 -> 10, any other state -> idle (a marker inside a frame drops it).
//   states 1..4 store the byte as byte `state` of serial_input; at 5 the frame is handled.
//   states 10, 11, 12 take the reply type, the high and the low 7-bit group.
Event take_byte(State &state, uint8_t byte);

// Takes the bytes of one notification through the state machine, staged in read_data at most
// sizeof read_data at a time: every byte once, in arrival order, however long the backlog.
// before_byte(byte) runs before a byte enters the state machine, after_byte(event) after it.
template <class BeforeByte, class AfterByte>
void take_notification(State &state, const char *bytes, int count, BeforeByte &&before_byte,
                       AfterByte &&after_byte)
{
    for (int taken = 0; taken < count;) {
        const int chunk = std::min<int>(int(sizeof state.read_data), count - taken);
        std::memcpy(state.read_data, bytes + taken, size_t(chunk));
        taken += chunk;
        for (int serial_read_data_index = 0; serial_read_data_index < chunk;
             ++serial_read_data_index) {
            const uint8_t byte = state.read_data[serial_read_data_index];
            before_byte(byte);
            after_byte(take_byte(state, byte));
        }
    }
}

} // namespace receive

#endif
