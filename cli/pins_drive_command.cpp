// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// pins drive: steady levels on the data and/or control port, streamed as the window's live
// test streams them (a test output frame every 10 ms), until --for ends or Ctrl-C. The device
// holds the last levels after the stream ends.

#include "commands.h"
#include "device_session.h"
#include "exit_codes.h"
#include "numbers.h"
#include "output.h"
#include "pins_session.h"
#include "pins_stream.h"
#include "raw_text.h"

#include "device_link/pulse_slots.h"

#include <QJsonObject>

namespace {

const QString kData = QStringLiteral("data");
const QString kControl = QStringLiteral("control");
const QString kFor = QStringLiteral("for");

// Reads --<option> VALUE within 0..max into *value. 0, or exit 64 with its line.
int take_level(const Invocation &invocation, const QString &option, uint32_t max, uint32_t *value)
{
    const std::optional<uint64_t> number = parse_number(invocation.value(option));
    if (!number || *number > max) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("--%1 %2 is no level of the %1 port; give 0x00 to "
                                           "0x%3 (hex 0x.., binary 0b.. or decimal)")
                                .arg(option, raw_text::quoted(invocation.value(option)))
                                .arg(max, 2, 16, QLatin1Char('0')));
    }
    *value = uint32_t(*number);
    return 0;
}

int run(const Invocation &invocation)
{
    const bool drive_data = invocation.isSet(kData);
    const bool drive_control = invocation.isSet(kControl);
    if (!drive_data && !drive_control) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("pins drive needs --data VALUE, --control VALUE or "
                                           "both; e.g. kaldorium-lpt pins drive --data 0x81"));
    }
    uint32_t data = 0;
    uint32_t control = 0;
    if (drive_data) {
        if (int code = take_level(invocation, kData, 0xFF, &data))
            return code;
    }
    if (drive_control) {
        if (int code = take_level(invocation, kControl, 0x0F, &control))
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
    pulse::TestFrameBuilder builder;
    const d_byte slot =
        frames::pack_slot(uint8_t(data), uint8_t(control), drive_data, drive_control);
    pins::StreamReport stream;
    if (int code = pins::stream_frames(
            invocation, session,
            [&](bool finishing) { return finishing ? QByteArray() : builder.steady(slot); },
            max_frames, &stream))
        return code;
    if (stream.end != pins::StreamEnd::Done && stream.end != pins::StreamEnd::Interrupted) {
        return pins::stream_exit(invocation, stream,
                                 QStringLiteral("the device may not hold these levels"));
    }

    QStringList driven;
    if (drive_data)
        driven << QStringLiteral("data 0x%1").arg(data, 2, 16, QLatin1Char('0'));
    if (drive_control)
        driven << QStringLiteral("control 0x%1").arg(control, 1, 16);
    if (invocation.json) {
        QJsonObject result{{QStringLiteral("node"), session.nodePath()}};
        pins::add_stream_report(result, stream);
        if (drive_data)
            result.insert(QStringLiteral("data"), int(data));
        if (drive_control)
            result.insert(QStringLiteral("control"), int(control));
        output::print_json(result);
    } else {
        output::print(QStringLiteral("drove %1 on %2 for %3 of 10 ms; the device holds these "
                                     "levels\n")
                          .arg(driven.join(QStringLiteral(" and ")), session.nodePath(),
                               pins::counted(stream.sent, "frame", "frames")));
    }
    return pins::stream_exit(invocation, stream, QString());
}

} // namespace

Command pins_drive_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("pins"), QStringLiteral("drive")};
    command.arguments = QStringLiteral("[--data VALUE] [--control VALUE] [--for DURATION]");
    command.summary = QStringLiteral("drive steady levels on the data and/or control port");
    command.examples = QStringList{QStringLiteral("kaldorium-lpt pins drive --data 0x81 --for 10s"),
                                   QStringLiteral("kaldorium-lpt pins drive --control 0b0101")};
    command.options = {
        {kData, QStringLiteral("Drive the data port (pins 2-9, D0-D7) at VALUE, 0x00-0xFF."),
         QStringLiteral("VALUE")},
        {kControl,
         QStringLiteral("Drive the control port (pins 1, 14, 16, 17, C0-C3) at VALUE, 0x0-0xF."),
         QStringLiteral("VALUE")},
        {kFor,
         QStringLiteral("Stop after DURATION (500ms, 10s, 2m; whole 10 ms frames); else at "
                        "Ctrl-C."),
         QStringLiteral("DURATION")},
    };
    command.run = run;
    return command;
}
