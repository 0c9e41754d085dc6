// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// pins watch: the levels of the 17 signal pins from the first input status frame, then one
// line per change, until --for ends or Ctrl-C.

#include "commands.h"
#include "device_session.h"
#include "exit_codes.h"
#include "numbers.h"
#include "output.h"
#include "pin_monitor.h"
#include "pins_session.h"

#include "device_link/db25_pins.h"

#include <cstdio>

namespace {

const QString kFor = QStringLiteral("for");

QString line(bool json, int64_t us, int pin, bool level)
{
    const QString seconds = QString::number(double(us) / 1e6, 'f', 3);
    const QString bit = QString::fromLatin1(db25::pin(pin).name);
    if (json) {
        return QStringLiteral("{\"t\":%1,\"pin\":%2,\"bit\":\"%3\",\"level\":%4}\n")
            .arg(seconds)
            .arg(pin)
            .arg(bit)
            .arg(level ? 1 : 0);
    }
    return QStringLiteral("%1 pin %2 %3 %4\n").arg(seconds).arg(pin).arg(bit).arg(level ? 1 : 0);
}

void print_pins(bool json, int64_t us, const frames::InputLevels &levels, uint32_t which)
{
    QString text;
    for (int n = 1; n <= db25::kSignalPins; ++n) {
        if ((which >> (n - 1)) & 1)
            text += line(json, us, n, db25::level(db25::pin(n), levels));
    }
    output::print(text);
    std::fflush(stdout); // a line as it happens, also into a pipe
}

int run(const Invocation &invocation)
{
    qint64 for_ms = -1;
    if (int code = pins::take_duration(invocation, kFor, &for_ms))
        return code;
    if (!invocation.arguments.isEmpty())
        return pins::unexpected_argument(invocation);

    output::end_when_reader_goes();
    DeviceSession session(invocation);
    if (int code = session.open())
        return code;
    pins::discard_stale_input(session);
    PinMonitor monitor(session);
    monitor.onFirst = [&](int64_t us, const frames::InputLevels &levels) {
        print_pins(invocation.json, us, levels, (1u << db25::kSignalPins) - 1);
    };
    monitor.onChange = [&](int64_t us, const frames::InputLevels &levels, uint32_t changed) {
        print_pins(invocation.json, us, levels, changed);
    };
    return pins::watch_until_end(invocation, session, monitor, for_ms);
}

} // namespace

Command pins_watch_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("pins"), QStringLiteral("watch")};
    command.arguments = QStringLiteral("[--for DURATION]");
    command.summary = QStringLiteral("show the input pins, then each change as it comes");
    command.output = QStringLiteral(
        "The 17 signal pins at the first input status frame, then one line per change: "
        "seconds since the watch began, pin, bit, level (0.352 pin 7 D5 0). Device errors (each "
        "kind at most once a second, with a count) and silences of the device go to standard "
        "error.\n--json: a stream, one object per line: {t, pin, bit, level}.");
    command.exits = {{0, QStringLiteral("--for ended, or Ctrl-C")},
                     {69, QStringLiteral("no device, or it cannot be opened")},
                     {74, QStringLiteral("the device was lost")},
                     {75, QStringLiteral("no input status frame with pin levels came")}};
    command.examples = QStringList{QStringLiteral("kaldorium-lpt pins watch --for 10s"),
                                   QStringLiteral("kaldorium-lpt --json pins watch")};
    command.options = {
        {kFor, QStringLiteral("Stop after DURATION (500ms, 10s, 2m); else at Ctrl-C."),
         QStringLiteral("DURATION")},
    };
    command.run = run;
    return command;
}
