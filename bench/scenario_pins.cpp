// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// kaldorium-lpt pins against the simulated device: the frame gaps of `pins drive` and
// `pins pulse` as the device's side of the line sees them (a blocking reader on a line of its
// own, TestFrameArrivals), with the machine quiet and with both cores kept busy by two other
// processes; and `pins record` while the device floods status frames at the line's full rate
// (frames lost, the program's CPU).

#include "device_thread.h"
#include "driver.h"
#include "measure.h"
#include "scenarios.h"
#include "test_frame_arrivals.h"

#include "simulated_device_endpoint.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char **environ;

namespace bench {

namespace {

struct Spawned {
    bool ok = false;
    double wall_s = 0;
    double cpu_s = 0; // user + system time of the program
    QByteArray out;
};

// Runs kaldorium-lpt with the arguments to its end, standard output into a file.
Spawned run_cli_once(const QByteArrayList &arguments, const QString &out_file)
{
    QByteArrayList storage{QByteArrayLiteral(KALDORIUM_CLI_PATH)};
    storage += arguments;
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray out_path = QFile::encodeName(out_file);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    Spawned run;
    const qint64 started = monotonic_ns();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        // Keep the event loop of this thread out of it: the device lives in its own thread.
        int status = 0;
        rusage usage{};
        if (::wait4(pid, &status, 0, &usage) == pid) {
            run.wall_s = double(monotonic_ns() - started) / 1e9;
            run.cpu_s = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
            run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    QFile out(out_file);
    if (out.open(QIODevice::ReadOnly))
        run.out = out.readAll();
    return run;
}

// Two processes that keep both cores busy until they are killed.
class BusyCores {
public:
    explicit BusyCores(int count)
    {
        for (int n = 0; n < count; ++n) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                for (volatile unsigned long spin = 0;; spin = spin + 1) {
                }
            }
            if (pid > 0)
                pids_.push_back(pid);
        }
    }
    ~BusyCores()
    {
        for (pid_t pid : pids_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

private:
    std::vector<pid_t> pids_;
};

QJsonObject stream_run(const QByteArrayList &command, double seconds, int busy)
{
    DeviceThread device;
    TestFrameArrivals arrivals(device.device());
    QTemporaryDir dir;
    const QByteArray for_arg = QByteArray::number(qRound(seconds * 1000)) + "ms";
    QByteArrayList arguments{"--port", QFile::encodeName(arrivals.hostPath()), "--json", "pins"};
    arguments += command;
    arguments << "--for" << for_arg;

    Spawned run;
    {
        BusyCores load(busy);
        run = run_cli_once(arguments, dir.filePath(QStringLiteral("out")));
    }
    const std::vector<Arrival> all = arrivals.take();
    const QJsonObject own = QJsonDocument::fromJson(run.out).object();
    QJsonObject result;
    // The program's own view: frames handed to the line over 1 ms after their deadline.
    result[QStringLiteral("late_frames")] = own.value(QStringLiteral("late_frames"));
    result[QStringLiteral("max_late_ms")] = own.value(QStringLiteral("max_late_ms"));
    result[QStringLiteral("realtime")] = own.value(QStringLiteral("realtime"));
    result[QStringLiteral("ok")] = run.ok;
    result[QStringLiteral("busy_processes")] = busy;
    result[QStringLiteral("cpu_percent_of_core")] =
        run.wall_s > 0 ? 100 * run.cpu_s / run.wall_s : 0;
    if (all.size() < 10)
        return result;
    // The steady stream: without the first and the last frames (start-up, the end).
    const StreamFigures figures = stream_figures(all, all[2].ns, all[all.size() - 2].ns);
    add_arrival_figures(result, figures);
    return result;
}

QJsonObject record_run(double seconds)
{
    DeviceThread device;
    device.device().setFloodRate(kLineBytesPerSecond);
    device.device().setStatusInterval(1);
    QTemporaryDir dir;
    run_event_loop_for(200);
    const SimulatedDeviceEndpoint::Traffic before = device.device().traffic();
    const Spawned run = run_cli_once({"--port", QFile::encodeName(device.device().slavePath()),
                                      "--json", "pins", "record", "--vcd", "/dev/null", "--for",
                                      QByteArray::number(qRound(seconds * 1000)) + "ms"},
                                     dir.filePath(QStringLiteral("out")));
    const SimulatedDeviceEndpoint::Traffic after = device.device().traffic();
    const QJsonObject summary = QJsonDocument::fromJson(run.out).object();
    QJsonObject result;
    result[QStringLiteral("ok")] = run.ok;
    result[QStringLiteral("seconds")] = summary.value(QStringLiteral("seconds"));
    result[QStringLiteral("frames")] = summary.value(QStringLiteral("frames"));
    result[QStringLiteral("frames_lost")] = summary.value(QStringLiteral("lost_frames"));
    result[QStringLiteral("bytes_per_second")] =
        double(after.bytesToHost - before.bytesToHost) / qMax(run.wall_s, 1e-9);
    result[QStringLiteral("frames_held_back")] =
        double(after.statusFramesHeldBack - before.statusFramesHeldBack);
    result[QStringLiteral("cpu_percent_of_core")] =
        run.wall_s > 0 ? 100 * run.cpu_s / run.wall_s : 0;
    return result;
}

} // namespace

QJsonObject run_pins(double seconds)
{
    QJsonObject result;
    const QByteArrayList drive{"drive", "--data", "0x81"};
    const QByteArrayList pulse{"pulse", "--pin", "2", "--hz", "333", "--duty", "30"};
    result[QStringLiteral("drive")] = stream_run(drive, seconds, 0);
    result[QStringLiteral("drive_busy")] = stream_run(drive, seconds, 2);
    result[QStringLiteral("pulse")] = stream_run(pulse, seconds, 0);
    result[QStringLiteral("pulse_busy")] = stream_run(pulse, seconds, 2);
    result[QStringLiteral("record_flood")] = record_run(seconds);
    return result;
}

} // namespace bench
