// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// pins pulse: a square wave on one output pin, cut into the 100 frame_slots of 100 us of each test
// output frame, phase-continuous from frame to frame. The other pins of its port stay low.
// --count ends it after that many whole pulses; --for (in whole frames of 10 ms) or Ctrl-C end
// it with one more frame that leaves the pin low. The pin is called low only once the device
// has taken that frame.

#include "commands.h"
#include "device_session.h"
#include "exit_codes.h"
#include "numbers.h"
#include "output.h"
#include "pins_session.h"
#include "pins_stream.h"
#include "raw_text.h"

#include "device_link/db25_pins.h"
#include "device_link/frames.h"
#include "device_link/pulse_slots.h"

#include <QJsonObject>

namespace {

const QString kPin = QStringLiteral("pin");
const QString kHz = QStringLiteral("hz");
const QString kDuty = QStringLiteral("duty");
const QString kCount = QStringLiteral("count");
const QString kFor = QStringLiteral("for");

// Reads --<option> as a whole number within low..high. 0, or exit 64 naming the range.
int take_whole(const Invocation &invocation, const QString &option, int64_t low, int64_t high,
               int64_t *value)
{
    const std::optional<uint64_t> number = parse_decimal(invocation.value(option));
    if (!number || *number < uint64_t(low) || *number > uint64_t(high)) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("--%1 %2 is out of range; give a whole number from "
                                           "%3 to %4")
                                .arg(option, raw_text::quoted(invocation.value(option)))
                                .arg(low)
                                .arg(high));
    }
    *value = int64_t(*number);
    return 0;
}

int check_pin(const Invocation &invocation, int64_t *pin)
{
    if (!invocation.isSet(kPin) || !invocation.isSet(kHz)) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("pins pulse needs --pin N and --hz F; e.g. "
                                           "kaldorium-lpt pins pulse --pin 2 --hz 1000"));
    }
    if (int code = take_whole(invocation, kPin, 1, db25::kPinCount, pin))
        return code;
    if (pulse::is_output_pin(int(*pin)))
        return 0;
    const db25::Pin &p = db25::pin(int(*pin));
    const QString what = p.port == db25::Port::Status
                             ? QStringLiteral("a status input (%1)").arg(QLatin1String(p.name))
                             : QStringLiteral("a ground pin");
    return output::fail(exit_code::kUsage,
                        QStringLiteral("pin %1 is %2 and cannot be driven; choose a data pin "
                                       "(2-9) or a control pin (1, 14, 16, 17)")
                            .arg(*pin)
                            .arg(what));
}

int run(const Invocation &invocation)
{
    int64_t pin = 0, hz = 0, duty = 50, count = 0;
    if (int code = check_pin(invocation, &pin))
        return code;
    if (int code = take_whole(invocation, kHz, pulse::kMinHz, pulse::kMaxHz, &hz))
        return code;
    if (invocation.isSet(kDuty)) {
        if (int code = take_whole(invocation, kDuty, pulse::kMinDuty, pulse::kMaxDuty, &duty))
            return code;
    }
    if (invocation.isSet(kCount)) {
        if (int code = take_whole(invocation, kCount, 1, 1000000000, &count))
            return code;
    }
    int64_t max_frames = -1;
    if (int code = pins::take_frame_count(invocation, kFor, &max_frames))
        return code;
    if (!invocation.arguments.isEmpty())
        return pins::unexpected_argument(invocation);

    DeviceSession session(invocation);
    if (int code = session.open())
        return code;
    const db25::Pin &driven = db25::pin(int(pin));
    pulse::SlotWave wave(int(hz), int(duty), count);
    frames::TestFrameBuilder builder;
    const auto frame_of = [&](const pulse::FrameLevels &levels) {
        std::array<d_byte, frames::kTestFrameSlots> frame_slots;
        for (size_t k = 0; k < frame_slots.size(); ++k)
            frame_slots[k] = pulse::pin_slot(driven, levels[k]);
        return builder.frame(frame_slots);
    };
    bool closed = false;
    pins::StreamReport stream;
    if (int code = pins::stream_frames(
            invocation, session,
            [&](bool finishing) {
                if (wave.finished() || closed)
                    return QByteArray();
                if (!finishing)
                    return frame_of(wave.next_frame());
                // Stopped in the middle of the wave: one more frame leaves the pin low.
                closed = true;
                return frame_of(pulse::FrameLevels{});
            },
            max_frames, &stream))
        return code;
    const QString pin_name = QStringLiteral("pin %1 (%2)").arg(pin).arg(QLatin1String(driven.name));
    if (stream.end != pins::StreamEnd::Done && stream.end != pins::StreamEnd::Interrupted)
        return pins::stream_exit(invocation, stream,
                                 pin_name + QStringLiteral(" may still be high"));

    const int64_t pulses = wave.pulses_started();
    if (invocation.json) {
        QJsonObject result{{QStringLiteral("node"), session.nodePath()},
                           {QStringLiteral("pin"), int(pin)},
                           {QStringLiteral("bit"), QLatin1String(driven.name)},
                           {QStringLiteral("hz"), int(hz)},
                           {QStringLiteral("duty"), wave.wire_high_share() / 100.0},
                           {QStringLiteral("pulses"), qint64(pulses)}};
        pins::add_stream_report(result, stream);
        output::print_json(result);
    } else {
        output::print(QStringLiteral("pulsed %1 at %2 Hz, %3 % high, on %4: %5 in %6 of 10 ms; "
                                     "the pin is low\n")
                          .arg(pin_name)
                          .arg(hz)
                          .arg(wave.wire_high_share() / 100.0)
                          .arg(session.nodePath(), pins::counted(pulses, "pulse", "pulses"),
                               pins::counted(stream.sent, "frame", "frames")));
    }
    return pins::stream_exit(invocation, stream, QString());
}

} // namespace

Command pins_pulse_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("pins"), QStringLiteral("pulse")};
    command.arguments = QStringLiteral("--pin N --hz F [--duty PERCENT] [--count K] "
                                       "[--for DURATION]");
    command.summary = QStringLiteral("a square wave on one output pin, 1 to 5000 Hz");
    command.output = QStringLiteral(
        "One line: pin, frequency, the duty on the wire, pulses and frames sent. --json: {node, "
        "pin, bit, hz, duty, pulses, frames, late_frames, max_late_ms, realtime}.");
    command.exits = {{0, QStringLiteral("pulsed, and the pin left low")},
                     {69, QStringLiteral("no device, or it cannot be opened")},
                     {74, QStringLiteral("the device was lost (the pin may still be high)")},
                     {75, QStringLiteral("the device took no data in time (the pin may still be "
                                         "high)")}};
    command.examples =
        QStringList{QStringLiteral("kaldorium-lpt pins pulse --pin 2 --hz 1000 --count 200"),
                    QStringLiteral("kaldorium-lpt pins pulse --pin 17 --hz 50 --duty 10 --for 5s")};
    command.options = {
        {kPin, QStringLiteral("The pin: a data pin 2-9 or a control pin 1, 14, 16, 17."),
         QStringLiteral("N")},
        {kHz, QStringLiteral("Frequency, 1 to 5000 Hz (exact on average; 100 us steps)."),
         QStringLiteral("F")},
        {kDuty,
         QStringLiteral("Percent of each period high, 1-99 (default 50); every pulse is at least "
                        "100 us high and 100 us low."),
         QStringLiteral("PERCENT")},
        {kCount, QStringLiteral("Stop after K whole pulses, the pin low."), QStringLiteral("K")},
        {kFor,
         QStringLiteral("Stop after DURATION (500ms, 10s, 2m; whole 10 ms frames); else at "
                        "Ctrl-C."),
         QStringLiteral("DURATION")},
    };
    command.run = run;
    return command;
}
