// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// libFuzzer target for the receive state machine. Each input is a byte stream from the
// device. It is delivered the way both programs take it in: notifications of varying size,
// each through the program's own receive::take_notification, which stages it in the record's
// read_data in chunks of at most 500 bytes and hands every byte to receive::take_byte. After
// every byte the receive record is compared with the plain model in receive_model.h; any
// difference aborts with a description.
//
// Also checked on every input: every byte is taken once and in order (the staged copy is
// the input, and the count of bytes taken is the input's length), the staging buffer is
// left as it was written, the marker is never stored, and nothing beside the record
// changes. Reads and writes outside any buffer are AddressSanitizer's to catch,
// undefined arithmetic UndefinedBehaviorSanitizer's.

#include "device_link/receive_parser.h"
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

// A receive record with untouched bytes on both sides: the state machine writes into its
// own record only.
struct Guarded {
    uint8_t before[64];
    receive::State state;
    uint8_t after[64];

    bool guardsIntact() const
    {
        for (size_t n = 0; n < sizeof before; ++n) {
            if (before[n] != kGuardByte || after[n] != kGuardByte)
                return false;
        }
        return true;
    }
    static constexpr uint8_t kGuardByte = 0xA5;
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

void compare(size_t at, uint8_t byte, const receive::State &state, const receive::Event &event,
             const model::Outcome &expected, const model::ReceiveModel &model)
{
    const int8_t read_index = state.read_index;
    const HC_LCNC_2_SERIAL_IN_DATA &serial_input = state.serial_input;
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
    if (state.input_data != model.data || state.input_status != model.status ||
        state.input_control != model.control)
        fail("byte %zu: input %02x %02x %02x, expected %02x %02x %02x", at, state.input_data,
             state.input_status, state.input_control, model.data, model.status, model.control);
    if (state.prev_read_counter != model.previousCounter)
        fail("byte %zu: counter %u, expected %u", at, state.prev_read_counter,
             model.previousCounter);
    if (state.config_type != model.replyType || state.input_config_data != model.replyValue)
        fail("byte %zu: reply %u/%u, expected %u/%u", at, state.config_type,
             state.input_config_data, model.replyType, model.replyValue);
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
            return sizeof(receive::State::read_data); // exactly the staging buffer
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
    static Guarded guarded;
    std::memset(guarded.before, Guarded::kGuardByte, sizeof guarded.before);
    std::memset(guarded.after, Guarded::kGuardByte, sizeof guarded.after);
    guarded.state = receive::State();
    receive::State &state = guarded.state;
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
            state, reinterpret_cast<const char *>(bytes), int(notification),
            [&](uint8_t byte) {
                at = taken;
                if (byte != input[at])
                    fail("byte %zu: staged %02x, the stream holds %02x", at, byte, input[at]);
            },
            [&](const receive::Event &event) {
                ++taken;
                if (state.read_data[(at - first) % sizeof state.read_data] != input[at])
                    fail("the parser wrote into the staged bytes at %zu", at);
                compare(at, input[at], state, event, model.take(input[at]), model);
            });
    }
    if (taken != size)
        fail("%zu bytes taken of %zu", taken, size);
    if (!guarded.guardsIntact())
        fail("the receive path wrote outside its record");
    return 0;
}
