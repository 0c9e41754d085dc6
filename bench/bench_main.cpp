// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// kaldorium-lpt-bench: measures the live test stream, the receive path, idle load and
// start-up of the real main window against the simulated KALDORIUM-LPT. Without
// arguments beyond the options of the driver (see --help) it runs every scenario in a
// child process and writes the report; with --scenario it is one of those children.

#include "driver.h"
#include "measure.h"
#include "scenarios.h"

#include <QApplication>
#include <QJsonDocument>
#include <QLoggingCategory>

#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

const char *argument_after(int argc, char *argv[], const char *option)
{
    for (int n = 1; n + 1 < argc; ++n) {
        if (std::strcmp(argv[n], option) == 0)
            return argv[n + 1];
    }
    return nullptr;
}

bool stderr_is_null_device()
{
    struct stat target {};
    return fstat(2, &target) == 0 && S_ISCHR(target.st_mode) && major(target.st_rdev) == 1 &&
           minor(target.st_rdev) == 3;
}

QJsonObject run_scenario(const QByteArray &scenario, double seconds,
                         const bench::StartupMarks &marks)
{
    if (scenario == "stream")
        return bench::run_streaming(0, true, seconds);
    if (scenario == "stream-flood")
        return bench::run_streaming(bench::kLineBytesPerSecond, true, seconds);
    if (scenario == "stream-ms-sleep")
        return bench::run_streaming(0, false, seconds);
    if (scenario == "stream-flood-ms-sleep")
        return bench::run_streaming(bench::kLineBytesPerSecond, false, seconds);
    if (scenario == "idle-closed")
        return bench::run_idle(false, seconds);
    if (scenario == "idle-open")
        return bench::run_idle(true, seconds);
    if (scenario == "reference-stream")
        return bench::run_reference(true, 0, seconds);
    if (scenario == "reference-stream-flood")
        return bench::run_reference(true, bench::kLineBytesPerSecond, seconds);
    if (scenario == "reference-idle")
        return bench::run_reference(false, 0, seconds);
    if (scenario == "receive")
        return bench::run_receive(seconds);
    if (scenario == "upload")
        return bench::run_upload();
    if (scenario == "error-flood")
        return bench::run_error_flood(seconds);
    if (scenario == "startup")
        return bench::run_startup(marks);
    if (scenario == "cli")
        return bench::run_cli(int(seconds)); // the number of runs
    if (scenario == "pins")
        return bench::run_pins(seconds);
    if (scenario == "selftest")
        return bench::run_selftest(int(seconds)); // the number of runs per plug
    if (scenario == "provision")
        return bench::run_provision(int(seconds)); // the number of devices
    if (scenario == "wait-idle")
        return bench::run_wait_idle(seconds);
    if (scenario == "playbook")
        return bench::run_playbook(int(seconds)); // the number of unchanged runs
    qFatal("unknown scenario %s", scenario.constData());
}

} // namespace

int main(int argc, char *argv[])
{
    bench::StartupMarks marks;
    marks.main_entered_ns = bench::monotonic_ns();

    const char *scenario = argument_after(argc, argv, "--scenario");
    if (!scenario) {
        QCoreApplication application(argc, argv);
        return bench::run_driver(application.arguments());
    }

    QApplication application(argc, argv);
    marks.application_made_ns = bench::monotonic_ns();
    marks.spawned_ns = qEnvironmentVariable("KALDORIUM_BENCH_SPAWNED_NS").toLongLong();
    const char *seconds = argument_after(argc, argv, "--seconds");
    if (qstrcmp(scenario, "desktop") == 0)
        bench::run_desktop(seconds ? std::atof(seconds) : 3); // does not return

    QJsonObject result = run_scenario(scenario, seconds ? std::atof(seconds) : 10, marks);
    result[QStringLiteral("debug_enabled")] = QLoggingCategory::defaultCategory()->isDebugEnabled();
    result[QStringLiteral("stderr_null")] = stderr_is_null_device();
    result[QStringLiteral("peak_rss_kib")] = double(bench::peak_rss_kib());
    // The processes a scenario started and reaped count as its own, not as other load.
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    const double children_s = double(children.ru_utime.tv_sec + children.ru_stime.tv_sec) +
                              double(children.ru_utime.tv_usec + children.ru_stime.tv_usec) / 1e6;
    result[QStringLiteral("process_cpu_total_s")] =
        double(bench::cpu_time().process_ns) / 1e9 + children_s;
    std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    return 0;
}
