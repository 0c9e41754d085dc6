// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_BENCH_MEASURE_H
#define KALDORIUM_BENCH_MEASURE_H

// Clocks, CPU and memory figures of the benchmark process, and small statistics.

#include <QtGlobal>

#include <functional>
#include <vector>

namespace bench {

// CLOCK_MONOTONIC in nanoseconds; comparable across processes of the machine.
qint64 monotonic_ns();

struct CpuTime {
    qint64 thread_ns = 0;         // the calling thread
    qint64 process_ns = 0;        // all threads of the process
    qint64 thread_waiting_ns = 0; // the calling thread, runnable but waiting for a CPU
};
CpuTime cpu_time();

// Peak resident set size of the process so far, in KiB.
long peak_rss_kib();
// Resident set size of the process now, in KiB.
long current_rss_kib();

// Busy and total CPU time of the whole machine (all cores) since boot, in clock ticks.
struct MachineCpu {
    qint64 busy = 0;
    qint64 total = 0;
};
MachineCpu machine_cpu();
double ticks_per_second();

// The one-minute load average.
double load_average();

// Nearest-rank percentile (p in 0..100) of the values; 0 for no values.
double percentile(std::vector<double> values, double p);

// Runs the event loop for the given time.
void run_event_loop_for(int ms);
// Runs the event loop until done() holds or the time is up; returns done().
bool run_event_loop_until(const std::function<bool()> &done, int timeout_ms);

} // namespace bench

#endif
