// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// pins record: the input pins as a Value Change Dump, for GTKWave, PulseView and sigrok-cli.
// Times come from the host's receive clock, #0 being the first input status frame.

#include "commands.h"
#include "device_session.h"
#include "exit_codes.h"
#include "output.h"
#include "output_file.h"
#include "pin_monitor.h"
#include "pins_session.h"
#include "raw_text.h"
#include "status_line.h"
#include "vcd_writer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonObject>

namespace {

const QString kVcd = QStringLiteral("vcd");
const QString kFor = QStringLiteral("for");

QString seconds(int64_t us)
{
    return QString::number(double(us) / 1e6, 'f', 3);
}

int run(const Invocation &invocation)
{
    qint64 for_ms = -1;
    if (int code = pins::take_duration(invocation, kFor, &for_ms))
        return code;
    if (!invocation.arguments.isEmpty())
        return pins::unexpected_argument(invocation);
    const QString path = invocation.value(kVcd);
    if (path.isEmpty()) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("pins record needs --vcd FILE (or --vcd - for standard "
                                           "output); e.g. kaldorium-lpt pins record --vcd "
                                           "limit-switch.vcd --for 10s"));
    }
    // Written beside the target and put in place only when something was recorded.
    OutputFile file(raw_text::encode(path));
    if (int code = file.open())
        return code;

    DeviceSession session(invocation);
    if (int code = session.open())
        return code;
    pins::discard_stale_input(session);

    // A recording without --for to a pipe ends when its reader does, changes or none.
    if (file.isStandardOutput())
        output::end_when_reader_goes();
    VcdWriter vcd(file);
    StatusLine status(file.isStandardOutput());
    int64_t first_us = 0;
    PinMonitor monitor(session);
    monitor.onNote = [&](const QString &note) {
        status.clear();
        output::note(note);
    };
    monitor.onFirst = [&](int64_t us, const frames::InputLevels &levels) {
        first_us = us;
        monitor.setTimeOrigin(us);
        vcd.begin(levels, QStringLiteral("kaldorium-lpt %1 pins record, %2, %3")
                              .arg(QCoreApplication::applicationVersion(), session.nodePath(),
                                   QDateTime::currentDateTimeUtc().toString(Qt::ISODate)));
    };
    monitor.onChange = [&](int64_t us, const frames::InputLevels &levels, uint32_t) {
        vcd.sample(us - first_us, levels);
    };
    const auto progress = [&] {
        QString text = QStringLiteral("recording: %1 s, %2, %3, %4 lost")
                           .arg(QString::number(double(monitor.elapsedUs()) / 1e6, 'f', 1),
                                pins::counted(monitor.frames(), "frame", "frames"),
                                pins::counted(vcd.changes(), "change", "changes"),
                                pins::counted(monitor.lostFrames(), "frame", "frames"));
        if (monitor.silences() > 0)
            text += QStringLiteral(", ") + pins::counted(monitor.silences(), "silence", "silences");
        status.show(text);
    };
    const EventWait::End end = pins::watch(invocation, session, monitor, for_ms, progress);
    const int64_t end_us = monitor.elapsedUs() - first_us;
    status.clear();
    session.close();
    const int code = pins::watch_verdict(invocation, session, monitor, end);
    // Nothing recorded (no levels came), or the program is ending for a reader that has gone:
    // the target stays as it was.
    if (!monitor.seenFirst() || end == EventWait::End::Interrupted)
        return code;
    vcd.finish(end_us);
    if (int failed = file.commit())
        return failed;
    if (monitor.lostFrames() > 0) {
        output::note(QStringLiteral("%1 on the way; the recording misses what they carried")
                         .arg(monitor.lostFrames() == 1
                                  ? QStringLiteral("1 input status frame was lost")
                                  : QStringLiteral("%1 input status frames were lost")
                                        .arg(monitor.lostFrames())));
    }
    if (file.isStandardOutput())
        return code;
    if (invocation.json) {
        output::print_json(
            QJsonObject{{QStringLiteral("file"), file.displayName()},
                        {QStringLiteral("node"), session.nodePath()},
                        {QStringLiteral("seconds"), double(end_us) / 1e6},
                        {QStringLiteral("frames"), qint64(monitor.frames())},
                        {QStringLiteral("changes"), qint64(vcd.changes())},
                        {QStringLiteral("lost_frames"), qint64(monitor.lostFrames())},
                        {QStringLiteral("silences"), qint64(monitor.silences())},
                        {QStringLiteral("error_reports"), qint64(monitor.errorReports())}});
    } else {
        QString errors;
        if (monitor.errorReports() > 0) {
            errors = QStringLiteral(", ") +
                     pins::counted(monitor.errorReports(), "error report", "error reports");
        }
        output::print(
            QStringLiteral("recorded %1 s to %2: %3, %4, %5 lost, %6%7\n")
                .arg(seconds(end_us), file.displayName(),
                     pins::counted(monitor.frames(), "input status frame", "input status frames"),
                     pins::counted(vcd.changes(), "change", "changes"),
                     pins::counted(monitor.lostFrames(), "frame", "frames"),
                     pins::counted(monitor.silences(), "silence", "silences"), errors));
    }
    return code;
}

} // namespace

Command pins_record_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("pins"), QStringLiteral("record")};
    command.arguments = QStringLiteral("--vcd FILE|- [--for DURATION]");
    command.summary = QStringLiteral("record the input pins as a Value Change Dump (VCD)");
    command.output = QStringLiteral(
        "The recording goes to FILE (a Value Change Dump, written whole or not at all; nothing "
        "is written when no frame came); then one line: seconds, input status frames, changes, "
        "frames lost, silences, error reports. --json: {file, node, seconds, frames, changes, "
        "lost_frames, silences, error_reports}. --vcd -: the recording itself on standard "
        "output. Silences and device errors are noted on standard error, and on a terminal a "
        "progress line.");
    command.exits = {{0, QStringLiteral("--for ended, or Ctrl-C")},
                     {69, QStringLiteral("no device, or it cannot be opened")},
                     {73, QStringLiteral("FILE cannot be created")},
                     {74, QStringLiteral("the device was lost, or writing FILE failed")},
                     {75, QStringLiteral("no input status frame with pin levels came")}};
    command.examples = QStringList{
        QStringLiteral("kaldorium-lpt pins record --vcd limit-switch.vcd --for 10s"),
        QStringLiteral("kaldorium-lpt pins record --vcd - --for 2s | sigrok-cli -I vcd -i - -O "
                       "ascii")};
    command.options = {
        {kVcd, QStringLiteral("Write the recording to FILE (- for standard output)."),
         QStringLiteral("FILE")},
        {kFor, QStringLiteral("Stop after DURATION (500ms, 10s, 2m); else at Ctrl-C."),
         QStringLiteral("DURATION")},
    };
    command.run = run;
    return command;
}
