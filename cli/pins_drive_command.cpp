// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// pins drive: steady levels on the data and/or control port, streamed as the window's live
// test streams them (a test output frame every 10 ms), until --for ends or Ctrl-C. The device
// holds the last levels after the stream ends; a status frame it sends after the last frame
// must show every pin driven high reading high.

#include "commands.h"
#include "device_session.h"
#include "exit_codes.h"
#include "numbers.h"
#include "output.h"
#include "pin_monitor.h"
#include "pins_session.h"
#include "pins_stream.h"
#include "raw_text.h"

#include "device_link/db25_pins.h"
#include "device_link/frames.h"
#include "device_link/pulse_slots.h"

#include <QJsonObject>

#include <algorithm>
#include <optional>

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

// The pins driven high, as "pin 2 (D0)".
QList<int> high_pins(uint32_t data, uint32_t control, bool drive_data, bool drive_control)
{
    QList<int> pins;
    for (size_t bit = 0; drive_data && bit < db25::kDataPins.size(); ++bit) {
        if ((data >> bit) & 1)
            pins << db25::kDataPins[bit];
    }
    for (size_t bit = 0; drive_control && bit < db25::kControlPins.size(); ++bit) {
        if ((control >> bit) & 1)
            pins << db25::kControlPins[bit];
    }
    std::sort(pins.begin(), pins.end());
    return pins;
}

// Confirms from the device's status frames that every pin driven high reads high. A pin
// driven low may read high: the plug or the machine may tie it to another output or pull it
// up. Returns 0, or the exit code after its line.
int confirm(const Invocation &invocation, DeviceSession &session, const QList<int> &high)
{
    PinMonitor monitor(session);
    // The device plays a frame's 100 slots in 10 ms and then holds the last one: a status
    // frame it begins after that shows the levels it holds.
    EventWait::End end = session.waitUntil([] { return false; }, 10);
    std::optional<frames::InputLevels> levels;
    if (end == EventWait::End::TimedOut)
        levels = pins::await_levels_from_now(session, monitor, invocation.timeoutMs, &end);
    const QString unconfirmed = QStringLiteral("the levels are not confirmed");
    switch (end) {
    case EventWait::End::Done:
        break;
    case EventWait::End::Lost:
        return output::fail(exit_code::kIoError,
                            QStringLiteral("connection to the device lost; %1; check the cable, "
                                           "plug the device in again and repeat the command")
                                .arg(unconfirmed));
    case EventWait::End::Interrupted:
        output::note(QStringLiteral("stopped before a status frame came; %1").arg(unconfirmed));
        return session.failure(end);
    case EventWait::End::TimedOut:
        if (monitor.errorReports() > 0) {
            return output::fail(
                exit_code::kTempFail,
                QStringLiteral("the device only reported errors (%1) after the "
                               "last frame; %2; unplug it and plug it in again")
                    .arg(pins::counted(monitor.errorReports(), "error report", "error reports"),
                         unconfirmed));
        }
        return output::fail(exit_code::kTempFail,
                            QStringLiteral("no status frame from the device within %1 ms after "
                                           "the last frame; %2; check that it is a KALDORIUM-LPT "
                                           "and that it runs, or raise --timeout")
                                .arg(invocation.timeoutMs)
                                .arg(unconfirmed));
    }
    QStringList low;
    for (int number : high) {
        const db25::Pin &pin = db25::pin(number);
        if (!db25::level(pin, *levels))
            low << QStringLiteral("%1 (%2)").arg(number).arg(QLatin1String(pin.name));
    }
    if (low.isEmpty())
        return 0;
    const QString which = low.size() == 1
                              ? QStringLiteral("pin ") + low.first()
                              : QStringLiteral("pins ") + low.mid(0, low.size() - 1).join(", ") +
                                    QStringLiteral(" and ") + low.last();
    return output::fail(exit_code::kIoError,
                        QStringLiteral("%1 driven high %2 low on %3; the device does not hold "
                                       "these levels; check what is wired to %4")
                            .arg(which,
                                 low.size() == 1 ? QStringLiteral("reads") : QStringLiteral("read"),
                                 session.nodePath(),
                                 low.size() == 1 ? QStringLiteral("it") : QStringLiteral("them")));
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
        if (int code = take_level(invocation, kData, db25::port_bits(db25::Port::Data), &data))
            return code;
    }
    if (drive_control) {
        if (int code =
                take_level(invocation, kControl, db25::port_bits(db25::Port::Control), &control))
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
    frames::TestFrameBuilder builder;
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
    if (int code =
            confirm(invocation, session, high_pins(data, control, drive_data, drive_control)))
        return code;

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
    command.output = QStringLiteral(
        "One line: the levels driven, the node and the frames sent. --json: {node, data, "
        "control, frames, late_frames, max_late_ms, realtime}.");
    command.exits = {{0, QStringLiteral("driven, and the status frames confirmed it")},
                     {69, QStringLiteral("no device, or it cannot be opened")},
                     {74, QStringLiteral("the device was lost, or a pin driven high reads low")},
                     {75, QStringLiteral("the device took no data, or no status frame confirmed "
                                         "the levels, in time")}};
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
