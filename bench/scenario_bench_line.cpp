// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// kaldorium-lpt on a production bench, against kaldorium-lpt-sim processes as a person would
// run them:
// - selftest with each built-in plug (the simulated device wearing that plug): spawn to exit;
// - provision of devices plugged in one after another into a shared stand-in port list, with
//   the defaults, the self-test and an address (each simulated device replugs itself after
//   the address set): seconds per device from its log line, less the simulated replug;
// - wait with nothing to wait for: its CPU while idle, on the host's own ports (/dev) and on
//   the stand-in port list; and how soon it notices a device that appears in the list.

#include "measure.h"
#include "scenarios.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <memory>
#include <unistd.h>

namespace bench {

namespace {

constexpr int kLeaveAfterAddressMs = 50; // kaldorium-lpt-sim leaves this long after the set
constexpr int kReplugAfterMs = 300;      // and is back this long after leaving
constexpr char kProfile[] = "data.direction=output\ndata.levels=0x81\ncontrol.direction=input\n"
                            "control.levels=0x05\nstatus.levels=0x28\n";

// A kaldorium-lpt-sim, started and attached.
std::unique_ptr<QProcess> start_simulator(const QStringList &arguments)
{
    auto sim = std::make_unique<QProcess>();
    sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim->start(QStringLiteral(KALDORIUM_SIM_PATH), arguments);
    if (!sim->waitForReadyRead(10000))
        qFatal("kaldorium-lpt-sim did not start: %s", qPrintable(sim->errorString()));
    sim->readAll();
    return sim;
}

void stop(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// The process's CPU time so far, in seconds (utime + stime of /proc/PID/stat).
double process_cpu_s(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // After the command name: state is field 3, utime field 14, stime field 15.
    if (fields.size() < 13)
        return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(::sysconf(_SC_CLK_TCK));
}

QProcessEnvironment environment_with_list(const QString &list)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("KALDORIUM_LPT_PORT_LIST"));
    if (!list.isEmpty())
        environment.insert(QStringLiteral("KALDORIUM_LPT_PORT_LIST"), list);
    return environment;
}

} // namespace

QJsonObject run_selftest(int runs)
{
    QJsonObject result;
    int failures = 0;
    for (const char *plug : {"passmark", "checkit", "full"}) {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("lpt"));
        const auto sim = start_simulator({"--link", link, "--plug", plug});
        QJsonArray wall;
        QJsonArray test;
        int nets = 0;
        for (int n = -1; n < runs; ++n) { // the first run warms the page cache
            QProcess cli;
            QElapsedTimer clock;
            clock.start();
            cli.start(QStringLiteral(KALDORIUM_CLI_PATH),
                      {"--port", link, "--json", "selftest", "--plug", plug});
            const bool done = cli.waitForFinished(30000);
            const double ms = double(clock.nsecsElapsed()) / 1e6;
            const QJsonObject report =
                QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
            if (!done || cli.exitCode() != 0 || !report.value("passed").toBool()) {
                ++failures;
                continue;
            }
            if (n < 0)
                continue;
            wall.append(ms);
            test.append(report.value("seconds").toDouble());
            nets = 0;
            for (const QJsonValue &net : report.value("nets").toArray())
                nets += net.toObject().value("pins").toArray().size() > 0;
        }
        result[QLatin1String(plug) + QStringLiteral("_ms")] = wall;
        result[QLatin1String(plug) + QStringLiteral("_test_s")] = test;
        result[QLatin1String(plug) + QStringLiteral("_nets")] = nets;
        stop(*sim);
    }
    result[QStringLiteral("failures")] = failures;
    return result;
}

QJsonObject run_provision(int devices)
{
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("ports"));
    const QString profile = dir.filePath(QStringLiteral("line3.profile"));
    const QString log = dir.filePath(QStringLiteral("bench.jsonl"));
    QFile file(profile);
    if (!file.open(QIODevice::WriteOnly) || file.write(kProfile) < 0)
        qFatal("cannot write %s", qPrintable(profile));
    file.close();

    QProcess provision;
    provision.setProcessEnvironment(environment_with_list(list));
    QElapsedTimer total;
    total.start();
    provision.start(QStringLiteral(KALDORIUM_CLI_PATH),
                    {"--json", "provision", "--from", profile, "--selftest", "passmark",
                     "--address", "C200", "--count", QString::number(devices), "--log", log,
                     "--replug-timeout", "30s"});
    QByteArray err;
    provision.setReadChannel(QProcess::StandardError);
    while (!err.contains("plug in a device") && provision.waitForReadyRead(10000))
        err += provision.readAllStandardError();
    provision.setReadChannel(QProcess::StandardOutput);

    QJsonArray log_seconds;
    QJsonArray without_replug;
    QJsonArray plugged_to_line;
    int failures = 0;
    QByteArray out;
    for (int n = 1; n <= devices; ++n) {
        QElapsedTimer clock;
        clock.start();
        const auto sim = start_simulator({"--port-list", list, "--plug", "passmark", "--serial",
                                          QStringLiteral("BENCH-%1").arg(n), "--replug-after",
                                          QString::number(kReplugAfterMs)});
        while (out.count('\n') < n && provision.waitForReadyRead(30000))
            out += provision.readAllStandardOutput();
        plugged_to_line.append(double(clock.nsecsElapsed()) / 1e9);
        const QList<QByteArray> lines = out.split('\n');
        const QJsonObject record = QJsonDocument::fromJson(lines.value(n - 1)).object();
        if (record.value("result").toString() != QLatin1String("ok")) {
            ++failures;
        } else {
            const double seconds = record.value("seconds").toDouble();
            log_seconds.append(seconds);
            without_replug.append(seconds - (kLeaveAfterAddressMs + kReplugAfterMs) / 1000.0);
        }
        stop(*sim); // unplugged: the next one goes in
    }
    provision.waitForFinished(30000);
    QFile logged(log);
    const int log_lines = logged.open(QIODevice::ReadOnly) ? logged.readAll().count('\n') : 0;

    QJsonObject result;
    result[QStringLiteral("devices")] = devices;
    result[QStringLiteral("log_lines")] = log_lines;
    result[QStringLiteral("exit_code")] = provision.exitCode();
    result[QStringLiteral("failures")] = failures;
    result[QStringLiteral("replug_s")] = (kLeaveAfterAddressMs + kReplugAfterMs) / 1000.0;
    result[QStringLiteral("log_seconds")] = log_seconds;
    result[QStringLiteral("seconds_without_replug")] = without_replug;
    result[QStringLiteral("plugged_to_line_s")] = plugged_to_line;
    result[QStringLiteral("total_s")] = double(total.elapsed()) / 1000.0;
    return result;
}

QJsonObject run_wait_idle(double seconds)
{
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("ports"));
    // One wait on the host's own ports (a device that is not there), one on the stand-in list.
    QProcess on_host;
    on_host.setProcessEnvironment(environment_with_list(QString()));
    on_host.start(QStringLiteral(KALDORIUM_CLI_PATH), {"--device", "C800", "wait"});
    QProcess on_list;
    on_list.setProcessEnvironment(environment_with_list(list));
    on_list.start(QStringLiteral(KALDORIUM_CLI_PATH), {"wait"});
    on_host.waitForStarted();
    on_list.waitForStarted();
    QThread::msleep(2000); // past the start-up
    const double host_before = process_cpu_s(on_host.processId());
    const double list_before = process_cpu_s(on_list.processId());
    QElapsedTimer clock;
    clock.start();
    QThread::msleep(qint64(seconds * 1000));
    const double elapsed = double(clock.nsecsElapsed()) / 1e9;
    const double host_cpu = process_cpu_s(on_host.processId()) - host_before;
    const double list_cpu = process_cpu_s(on_list.processId()) - list_before;
    const bool still_waiting =
        on_host.state() == QProcess::Running && on_list.state() == QProcess::Running;
    ::kill(pid_t(on_host.processId()), SIGINT);
    on_host.waitForFinished(5000);

    // How soon the waiting one notices a device: from the moment the device is in the list
    // to the wait's end.
    QJsonArray notice_ms;
    for (int n = 0; n < 5; ++n) {
        if (n > 0) {
            on_list.start(QStringLiteral(KALDORIUM_CLI_PATH), {"wait"});
            on_list.waitForStarted();
            QThread::msleep(500);
        }
        QProcess sim;
        sim.start(QStringLiteral(KALDORIUM_SIM_PATH), {"--port-list", list});
        while (!QFile::exists(list) && sim.state() != QProcess::NotRunning)
            QThread::usleep(200);
        QElapsedTimer noticed;
        noticed.start();
        on_list.waitForFinished(10000);
        notice_ms.append(double(noticed.nsecsElapsed()) / 1e6);
        stop(sim);
    }

    QJsonObject result;
    result[QStringLiteral("seconds")] = elapsed;
    result[QStringLiteral("still_waiting")] = still_waiting;
    result[QStringLiteral("host_cpu_percent")] = 100.0 * host_cpu / elapsed;
    result[QStringLiteral("list_cpu_percent")] = 100.0 * list_cpu / elapsed;
    result[QStringLiteral("notice_ms")] = notice_ms;
    return result;
}

} // namespace bench
