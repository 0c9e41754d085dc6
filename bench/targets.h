// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_BENCH_TARGETS_H
#define KALDORIUM_BENCH_TARGETS_H

// The targets the program is held to, checked against the figures of a run.

#include "figures.h"

#include <QList>
#include <QString>

namespace bench {

struct Check {
    // e.g. "Live test: gap p99", "10 ± 1 ms", "10.67 ms", true
    QString what;
    QString target;
    QString measured;
    bool met;
};

QList<Check> checks_of(const Figures &figures);

// The targets with their figures, one line each, for the terminal.
QString targets_summary(const Figures &figures);

} // namespace bench

#endif
