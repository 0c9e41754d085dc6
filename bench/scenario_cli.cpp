// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The command line kaldorium-lpt, process start to exit: `list`, `defaults read` and a
// `defaults write` of a profile the device already holds (it reads, finds nothing to store)
// against the simulated device (in a thread of its own, found through the stand-in port list),
// each run a fresh process timed from its spawn to its reaping.
//
// Peak memory comes from GNU time (/usr/bin/time -f %M), which reaps the program and reads its
// ru_maxrss. Reaping it here would not do: a process spawned from this one counts this
// process's resident memory as its own (the kernel records the spawning process's memory
// when the child execs), so the figure would be this benchmark's size, not the program's.

#include "device_thread.h"
#include "measure.h"
#include "scenarios.h"

#include "device_link/port_list_file.h"
#include "simulated_device_endpoint.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace bench {

namespace {

struct ProcessRun {
    bool ok = false;
    double wall_ms = 0;
    double peak_rss_kib = 0;
};

constexpr char kGnuTime[] = "/usr/bin/time";

// Runs the program with the arguments, its output to /dev/null, and waits for its end.
ProcessRun run_once(const QByteArrayList &arguments, const QString &rss_file)
{
    const bool timed = ::access(kGnuTime, X_OK) == 0;
    QByteArrayList storage;
    if (timed)
        storage << kGnuTime << "-f"
                << "%M"
                << "-o" << QFile::encodeName(rss_file);
    storage << QByteArrayLiteral(KALDORIUM_CLI_PATH);
    storage += arguments;
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    ProcessRun run;
    const qint64 started = monotonic_ns();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid) {
            run.wall_ms = double(monotonic_ns() - started) / 1e6;
            run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            QFile rss(rss_file);
            if (timed && rss.open(QIODevice::ReadOnly))
                run.peak_rss_kib = rss.readAll().trimmed().toDouble();
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

} // namespace

QJsonObject run_cli(int runs)
{
    QTemporaryDir dir;
    const QString nodes = dir.filePath(QStringLiteral("dev"));
    QDir().mkpath(nodes);
    DeviceThread device(nodes);

    host::SerialPortEntry port;
    port.manufacturer = device.device().manufacturer();
    port.description = device.device().description();
    port.portName = QStringLiteral("ttyACM0");
    const QString list_file = dir.filePath(QStringLiteral("ports"));
    QString error;
    if (!host::write_port_list(list_file, {nodes, {port}}, &error))
        qFatal("%s", qPrintable(error));
    qputenv(host::kPortListVariable, list_file.toUtf8());

    // The warm-up run of the write stores the profile; the measured ones find it held.
    const QString profile = dir.filePath(QStringLiteral("line3.profile"));
    QFile profile_file(profile);
    if (!profile_file.open(QIODevice::WriteOnly) ||
        profile_file.write("data.direction=output\ndata.levels=0x81\ncontrol.direction=input\n"
                           "control.levels=0x05\nstatus.levels=0x28\n") < 0)
        qFatal("cannot write %s", qPrintable(profile));
    profile_file.close();

    const std::pair<const char *, QByteArrayList> commands[] = {
        {"list", {"list"}},
        {"defaults_read", {"defaults", "read"}},
        {"defaults_write_unchanged", {"defaults", "write", "--from", QFile::encodeName(profile)}},
    };
    QJsonObject result;
    int failures = 0;
    for (const auto &command : commands) {
        QJsonArray wall;
        QJsonArray rss;
        const QString rss_file = dir.filePath(QStringLiteral("rss"));
        run_once(command.second, rss_file); // warm the page cache; not counted
        for (int n = 0; n < runs; ++n) {
            const ProcessRun run = run_once(command.second, rss_file);
            if (!run.ok) {
                ++failures;
                continue;
            }
            wall.append(run.wall_ms);
            if (run.peak_rss_kib > 0)
                rss.append(run.peak_rss_kib);
        }
        result[QLatin1String(command.first) + QStringLiteral("_ms")] = wall;
        result[QLatin1String(command.first) + QStringLiteral("_rss_kib")] = rss;
    }
    result[QStringLiteral("failures")] = failures;
    return result;
}

} // namespace bench
