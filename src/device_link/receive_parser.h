// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_RECEIVE_PARSER_H
#define KALDORIUM_RECEIVE_PARSER_H

// The byte-level state machine that finds the device's frames in the received stream. It is
// fed one byte at a time, keeps its state in the module-level receive variables (read_index,
// serial_input, prev_read_counter, the input state, config_type, input_config_data) and
// tells the caller what a byte completed, so that the window only shows the result.

#include "program_state.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace receive {

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
//   states 1..4 store the byte at serial_input_pointer[state]; at 5 the frame is handled.
//   states 10, 11, 12 take the reply type, the high and the low 7-bit group.
Event take_byte(uint8_t byte);

// Takes the bytes of one notification through the state machine, staged in read_data at most
// sizeof read_data at a time: every byte once, in arrival order, however long the backlog.
// before_byte(byte) runs before a byte enters the state machine, after_byte(event) after it.
template <class BeforeByte, class AfterByte>
void take_notification(const char *bytes, int count, BeforeByte &&before_byte,
                       AfterByte &&after_byte)
{
    for (int taken = 0; taken < count;) {
        const int chunk = std::min<int>(int(sizeof read_data), count - taken);
        std::memcpy(read_data, bytes + taken, size_t(chunk));
        taken += chunk;
        for (int serial_read_data_index = 0; serial_read_data_index < chunk;
             ++serial_read_data_index) {
            const uint8_t byte = read_data[serial_read_data_index];
            before_byte(byte);
            after_byte(take_byte(byte));
        }
    }
}

} // namespace receive

#endif
