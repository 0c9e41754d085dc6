// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The firmware upload's two pauses: what they cost the program's thread while the event
// loop keeps turning, and how long each lasts. dfu-util is a stand-in that exits at once.

#include "device_functions/firmware_tool.h"
#include "device_rig.h"
#include "mainwindow.h"
#include "measure.h"
#include "scenarios.h"
#include "simulated_device_endpoint.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>

namespace bench {

namespace {

struct Mark {
    qint64 ns = 0;
    CpuTime cpu;
};

Mark mark_now()
{
    return {monotonic_ns(), cpu_time()};
}

// A dfu-util first on the search path that flashes nothing.
bool put_standin_dfu_util(const QTemporaryDir &directory)
{
    QFile script(directory.filePath(QStringLiteral("dfu-util")));
    if (!script.open(QIODevice::WriteOnly) || script.write("#!/bin/sh\nexit 0\n") < 0)
        return false;
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return qputenv("PATH", QFile::encodeName(directory.path()) + ':' + qgetenv("PATH"));
}

void add_pause(QJsonObject &result, const char *name, const Mark &from, const Mark &to)
{
    const double seconds = double(to.ns - from.ns) / 1e9;
    const QString key = QString::fromLatin1(name);
    result[key + QStringLiteral("_ms")] = seconds * 1000;
    result[key + QStringLiteral("_cpu_percent")] =
        100.0 * double(to.cpu.thread_ns - from.cpu.thread_ns) / 1e9 / seconds;
}

} // namespace

QJsonObject run_upload()
{
    QTemporaryDir tool_directory;
    if (!tool_directory.isValid() || !put_standin_dfu_util(tool_directory))
        qFatal("no stand-in dfu-util");
    const QString image = tool_directory.filePath(QStringLiteral("HC_KLPTV1.bin"));
    firmware::set_file_chooser([image](QWidget *) { return image; });

    DeviceRig rig;
    if (!rig.openPort())
        qFatal("the window could not open the device");
    click(rig.window(), "OpenFirmware");
    run_event_loop_for(1000);

    // Each pause runs from the line before it to the line after it.
    Mark restart_wait, command_shown, tool_wait, outcome_shown;
    auto *console = rig.window().findChild<QPlainTextEdit *>(QStringLiteral("console"));
    QObject::connect(console, &QPlainTextEdit::textChanged, console, [&] {
        const QString text = console->toPlainText();
        if (!restart_wait.ns && text.endsWith(QLatin1String("Waiting for restart\n")))
            restart_wait = mark_now();
        else if (!command_shown.ns && text.endsWith(QLatin1String("Run Command: \n")))
            command_shown = mark_now();
        else if (!tool_wait.ns && text.endsWith(QLatin1String("Uploading. Please wait...\n")))
            tool_wait = mark_now();
        else if (tool_wait.ns && !outcome_shown.ns)
            outcome_shown = mark_now();
    });
    const Mark clicked = mark_now();
    click(rig.window(), "UploadFirmware"); // returns when the upload has ended
    const Mark ended = mark_now();
    if (!outcome_shown.ns)
        qFatal("the upload did not run to its end");

    QJsonObject result;
    add_pause(result, "restart_pause", restart_wait, command_shown);
    // The second pause ends when the outcome line is shown: dfu-util's start is in it.
    add_pause(result, "tool_pause", tool_wait, outcome_shown);
    add_pause(result, "upload", clicked, ended);
    result[QStringLiteral("seconds")] = double(ended.ns - clicked.ns) / 1e9;
    firmware::set_file_chooser({});
    return result;
}

} // namespace bench
