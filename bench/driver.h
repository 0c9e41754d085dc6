// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_BENCH_DRIVER_H
#define KALDORIUM_BENCH_DRIVER_H

// The benchmark's parent process: runs each scenario in a child process of its own (the
// benchmark itself, started again with --scenario), collects the figures and writes the
// report.

#include <QStringList>

namespace bench {

int run_driver(const QStringList &arguments);

// Bytes per second at 4,000,000 baud, ten bits per byte on the line.
constexpr int kLineBytesPerSecond = 400000;

} // namespace bench

#endif
