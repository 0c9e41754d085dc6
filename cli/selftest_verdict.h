// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_SELFTEST_VERDICT_H
#define KALDORIUM_CLI_SELFTEST_VERDICT_H

// Judging a loopback plug's nets from what the device reported for each pattern. The status
// frames report the level of every pin, outputs included, so each net is judged at its output
// pin first and then at its inputs:
//   ok          every pin of the net follows its output through every pattern;
//   stuck low   the output pin reads low (stuck high: high) whatever it drives: the net does
//               not follow its output;
//   shorted     a pin follows another net too (or instead): the other net's output is named;
//   open        the output follows, an input of the net does not.
// A pin that reads the same whatever is driven is taken as stuck (at the output) or open (at
// an input) before anything else: a stuck net does not make the nets beside it look shorted,
// and a fault is named once, on the net where it shows.
//
// With walking ones and zeros over three nets or more, every net's pattern differs from every
// other net's and from their OR and AND, so a short shows as such. With two nets in a phase
// the OR of both is high throughout: two nets shorted together read as stuck high.

#include "selftest_plug.h"

#include <QList>
#include <QString>

#include <cstdint>

namespace selftest {

enum class Result { Ok, Open, Shorted, StuckLow, StuckHigh };

// "ok", "open", "shorted", "stuck low", "stuck high"
QString result_text(Result result);

struct NetVerdict {
    Result result = Result::Ok;
    QString detail; // "pin 4 (D2) stuck low", "shorted to pin 3 (D1)"
};

// What one phase drove and read: for pattern k, bit i of expected[k] is the level the
// phase's i-th net was driven to, and readings[k] the levels of pins 1..17 in the status
// frame judged for it (bit n-1 = pin n).
struct PhaseReadings {
    QList<uint32_t> expected;
    QList<uint32_t> readings;
};

// The verdict on each of the phase's nets (in the order of Phase::nets).
QList<NetVerdict> judge_phase(const Plug &plug, const Phase &phase, const PhaseReadings &read);

// The verdict on each net of the plug from the phases that drove it: the gravest, the earlier
// phase's on a tie (stuck before shorted before open before ok).
QList<NetVerdict> judge(const Plug &plug, const QList<Phase> &phases,
                        const QList<PhaseReadings> &read);

} // namespace selftest

#endif
