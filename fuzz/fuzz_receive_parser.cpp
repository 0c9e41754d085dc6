// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// libFuzzer target for the receive state machine. Each input is a byte stream from the
// device. It is delivered the way the window takes it in: notifications of varying size,
// each through the program's own receive::take_notification, which stages it in read_data in
// chunks of at most 500 bytes and hands every byte to receive::take_byte. After every byte the
// program's receive state is compared with the plain model in receive_model.h; any difference
// aborts with a description.
//
// Also checked on every input: every byte is taken once and in order (the staged copy is
// the input, and the count of bytes taken is the input's length), the staging buffer is
// left as it was written, the marker is never stored, and nothing outside the receive
// variables changes. Reads and writes outside any buffer are AddressSanitizer's to catch,
// undefined arithmetic UndefinedBehaviorSanitizer's.

#include "device_link/receive_parser.h"
#include "program_state.h"
#include "receive_model.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::fputs("receive parser fault: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::abort();
}

// Everything of the program state that the receive path must leave alone.
struct Untouched {
    uint8_t output[sizeof serial_output_buff];
    HC_LCNC_2_SERIAL_OUT_DATA *output_record;
    uint8_t *input_pointer;
    uint16_t output_index;
    uint8_t out_data, out_ctrl, slot_loop, running, data_type, control_type;
    uint16_t divider;

    static Untouched take()
    {
        Untouched state;
        std::memcpy(state.output, serial_output_buff, sizeof state.output);
        state.output_record = serial_output;
        state.input_pointer = serial_input_pointer;
        state.output_index = serial_output_buff_index;
        state.out_data = outdata;
        state.out_ctrl = outctrl;
        state.slot_loop = powt;
        state.running = test_run;
        state.data_type = data_port_type;
        state.control_type = control_port_type;
        state.divider = show_read_divider;
        return state;
    }

    bool operator==(const Untouched &other) const
    {
        return std::memcmp(output, other.output, sizeof output) == 0 &&
               output_record == other.output_record && input_pointer == other.input_pointer &&
               output_index == other.output_index && out_data == other.out_data &&
               out_ctrl == other.out_ctrl && slot_loop == other.slot_loop &&
               running == other.running && data_type == other.data_type &&
               control_type == other.control_type && divider == other.divider;
    }
};

const char *kindName(receive::Completed what)
{
    switch (what) {
    case receive::Completed::Nothing:
        return "nothing";
    case receive::Completed::InputLevels:
        return "levels";
    case receive::Completed::ErrorReport:
        return "error report";
    case receive::Completed::ConfigReply:
        return "reply";
    }
    return "?";
}

receive::Completed expectedKind(model::Outcome::Kind kind)
{
    switch (kind) {
    case model::Outcome::None:
        break;
    case model::Outcome::Levels:
        return receive::Completed::InputLevels;
    case model::Outcome::ErrorReport:
        return receive::Completed::ErrorReport;
    case model::Outcome::Reply:
        return receive::Completed::ConfigReply;
    }
    return receive::Completed::Nothing;
}

void compare(size_t at, uint8_t byte, const receive::Event &event, const model::Outcome &expected,
             const model::ReceiveModel &model)
{
    if (event.what != expectedKind(expected.kind))
        fail("byte %zu (%02x) completed %s, expected %s", at, byte, kindName(event.what),
             kindName(expectedKind(expected.kind)));
    if (event.what == receive::Completed::ErrorReport &&
        (event.error_bits & 0x70) != expected.errorLines)
        fail("byte %zu: error bits %02x, expected %02x", at, event.error_bits & 0x70,
             expected.errorLines);
    if (read_index != model.stateNumber())
        fail("byte %zu (%02x): state %d, expected %d", at, byte, read_index, model.stateNumber());
    const uint8_t stored[4] = {serial_input.in_0, serial_input.in_1, serial_input.in_2,
                               serial_input.counter};
    if (std::memcmp(stored, model.stored, sizeof stored) != 0)
        fail("byte %zu: stored frame %02x %02x %02x %02x, expected %02x %02x %02x %02x", at,
             stored[0], stored[1], stored[2], stored[3], model.stored[0], model.stored[1],
             model.stored[2], model.stored[3]);
    if (serial_input.header != 0)
        fail("byte %zu: the marker was stored in the frame header", at);
    if (input_data != model.data || input_status != model.status || input_control != model.control)
        fail("byte %zu: input %02x %02x %02x, expected %02x %02x %02x", at, input_data,
             input_status, input_control, model.data, model.status, model.control);
    if (prev_read_counter != model.previousCounter)
        fail("byte %zu: counter %u, expected %u", at, prev_read_counter, model.previousCounter);
    if (config_type != model.replyType || input_config_data != model.replyValue)
        fail("byte %zu: reply %u/%u, expected %u/%u", at, config_type, input_config_data,
             model.replyType, model.replyValue);
}

// Notification sizes: a small fixed-seed generator, so that every input is delivered the
// same way each time it runs. Sizes reach past read_data to exercise the chunking.
class NotificationSizes {
public:
    explicit NotificationSizes(size_t seed) : state_(uint32_t(seed) * 2654435761u + 1u) {}
    size_t next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        const uint32_t pick = state_ >> 8;
        switch (pick % 4) {
        case 0:
            return 1 + pick % 7; // a few bytes, frames split across notifications
        case 1:
            return 1 + pick % 64;
        case 2:
            return sizeof read_data; // exactly the staging buffer
        default:
            return 1 + pick % 1600; // a backlog of several chunks
        }
    }

private:
    uint32_t state_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    reset_program_state();
    const Untouched before = Untouched::take();
    model::ReceiveModel model;
    NotificationSizes sizes(size);

    size_t taken = 0;
    size_t delivered = 0;
    while (delivered < size) {
        size_t notification = sizes.next();
        if (notification > size - delivered)
            notification = size - delivered;
        const uint8_t *bytes = input + delivered;
        delivered += notification;

        // The program's own loop: staged through read_data, at most 500 bytes at a time.
        const size_t first = taken;
        size_t at = taken;
        receive::take_notification(
            reinterpret_cast<const char *>(bytes), int(notification),
            [&](uint8_t byte) {
                at = taken;
                if (byte != input[at])
                    fail("byte %zu: staged %02x, the stream holds %02x", at, byte, input[at]);
            },
            [&](const receive::Event &event) {
                ++taken;
                if (read_data[(at - first) % sizeof read_data] != input[at])
                    fail("the parser wrote into the staged bytes at %zu", at);
                compare(at, input[at], event, model.take(input[at]), model);
            });
    }
    if (taken != size)
        fail("%zu bytes taken of %zu", taken, size);
    if (!(Untouched::take() == before))
        fail("the receive path changed state outside its own variables");
    if (!filename.isNull())
        fail("the receive path touched the firmware file name");
    return 0;
}
