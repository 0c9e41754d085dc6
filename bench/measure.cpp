// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "measure.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

namespace bench {

namespace {

qint64 clock_ns(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

qint64 monotonic_ns()
{
    return clock_ns(CLOCK_MONOTONIC);
}

CpuTime cpu_time()
{
    CpuTime times{clock_ns(CLOCK_THREAD_CPUTIME_ID), clock_ns(CLOCK_PROCESS_CPUTIME_ID), 0};
    // schedstat: time on the CPU, time waiting on a run queue, time slices
    QFile schedstat(QStringLiteral("/proc/thread-self/schedstat"));
    if (schedstat.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = schedstat.readAll().simplified().split(' ');
        if (fields.size() >= 2)
            times.thread_waiting_ns = fields[1].toLongLong();
    }
    return times;
}

long peak_rss_kib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long current_rss_kib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

MachineCpu machine_cpu()
{
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    // cpu  user nice system idle iowait irq softirq steal ...
    const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
    MachineCpu cpu;
    for (int n = 1; n < fields.size() && n <= 8; ++n) {
        const qint64 ticks = fields[n].toLongLong();
        cpu.total += ticks;
        if (n != 4 && n != 5) // idle and iowait are not busy
            cpu.busy += ticks;
    }
    return cpu;
}

double ticks_per_second()
{
    return double(sysconf(_SC_CLK_TCK));
}

double load_average()
{
    double loads[1] = {0};
    return getloadavg(loads, 1) == 1 ? loads[0] : -1;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = size_t(std::ceil(p / 100.0 * double(values.size())));
    return values[std::min(values.size(), std::max<size_t>(rank, 1)) - 1];
}

void run_event_loop_for(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool run_event_loop_until(const std::function<bool()> &done, int timeout_ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeout_ms)
        run_event_loop_for(5);
    return done();
}

} // namespace bench
