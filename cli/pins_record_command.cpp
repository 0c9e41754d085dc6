// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// pins record: the input pins as a Value Change Dump, for GTKWave, PulseView and sigrok-cli.
// Times come from the host's receive clock, #0 being the first input status frame.

#include "commands.h"
#include "device_session.h"
#include "exit_codes.h"
#include "output.h"
#include "pin_monitor.h"
#include "pins_session.h"
#include "vcd_writer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonObject>

#include <cstdio>
#include <memory>

namespace {

const QString kVcd = QStringLiteral("vcd");
const QString kFor = QStringLiteral("for");

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
    const bool to_stdout = path == QLatin1String("-");

    DeviceSession session(invocation);
    if (int code = session.open())
        return code;
    pins::discard_stale_input(session);
    QFile file;
    const bool opened =
        to_stdout ? file.open(stdout, QIODevice::WriteOnly)
                  : (file.setFileName(path), file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    if (!opened) {
        return output::fail(exit_code::kIoError,
                            QStringLiteral("cannot write %1: %2; choose a file in a directory you "
                                           "may write to")
                                .arg(path, file.errorString()));
    }

    VcdWriter vcd(file);
    int64_t first_us = 0;
    PinMonitor monitor(session);
    monitor.onFirst = [&](int64_t us, const frames::InputLevels &levels) {
        first_us = us;
        vcd.begin(levels, QStringLiteral("kaldorium-lpt %1 pins record, %2, %3")
                              .arg(QCoreApplication::applicationVersion(), session.nodePath(),
                                   QDateTime::currentDateTimeUtc().toString(Qt::ISODate)));
    };
    monitor.onChange = [&](int64_t us, const frames::InputLevels &levels, uint32_t) {
        vcd.sample(us - first_us, levels);
    };
    const int code = pins::watch_until_end(invocation, session, monitor, for_ms);
    const int64_t end_us = monitor.elapsedUs() - first_us;
    session.close();
    if (!monitor.seenFirst()) {
        if (!to_stdout)
            file.remove(); // no frame, no recording
        return code;
    }
    if (!vcd.finish(end_us)) {
        return output::fail(exit_code::kIoError,
                            QStringLiteral("writing %1 failed: %2; is the disk full?")
                                .arg(path, file.errorString()));
    }
    file.close();
    if (monitor.lostFrames() > 0) {
        output::note(QStringLiteral("%1 input status frames were lost on the way; the recording "
                                    "misses what they carried")
                         .arg(monitor.lostFrames()));
    }
    if (to_stdout)
        return code;
    if (invocation.json) {
        output::print_json(
            QJsonObject{{QStringLiteral("file"), path},
                        {QStringLiteral("node"), session.nodePath()},
                        {QStringLiteral("seconds"), double(end_us) / 1e6},
                        {QStringLiteral("frames"), qint64(monitor.frames())},
                        {QStringLiteral("changes"), qint64(vcd.changes())},
                        {QStringLiteral("lost_frames"), qint64(monitor.lostFrames())}});
    } else {
        output::print(QStringLiteral("recorded %1 s to %2: %3 input status frames, %4 changes, "
                                     "%5 frames lost\n")
                          .arg(QString::number(double(end_us) / 1e6, 'f', 3), path)
                          .arg(monitor.frames())
                          .arg(vcd.changes())
                          .arg(monitor.lostFrames()));
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
