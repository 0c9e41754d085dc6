// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_BENCH_REPORT_H
#define KALDORIUM_BENCH_REPORT_H

// The benchmark's figures as a Markdown section, and writing it into BENCHMARKS.md.

#include "figures.h"

#include <QString>

namespace bench {

// The generated section, from its begin marker to its end marker.
QString results_section(const Figures &figures);

// Replaces the generated section of the file (or makes the file with it); what stands
// outside the markers is kept. False when the file cannot be written.
bool write_into(const QString &path, const QString &section);

} // namespace bench

#endif
