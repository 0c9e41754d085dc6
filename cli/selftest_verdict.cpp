// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "selftest_verdict.h"

namespace selftest {

namespace {

// A pin's levels through the patterns: bit k = its level in pattern k.
using Trace = uint64_t;

Trace trace_of_pin(const PhaseReadings &read, int pin)
{
    Trace trace = 0;
    for (int k = 0; k < read.readings.size(); ++k) {
        if ((read.readings[k] >> (pin - 1)) & 1)
            trace |= Trace(1) << k;
    }
    return trace;
}

Trace trace_of_net(const PhaseReadings &read, int index)
{
    Trace trace = 0;
    for (int k = 0; k < read.expected.size(); ++k) {
        if ((read.expected[k] >> index) & 1)
            trace |= Trace(1) << k;
    }
    return trace;
}

int severity(Result result)
{
    return int(result); // the enum lists them from ok to stuck
}

} // namespace

QString result_text(Result result)
{
    switch (result) {
    case Result::Ok:
        return QStringLiteral("ok");
    case Result::Open:
        return QStringLiteral("open");
    case Result::Shorted:
        return QStringLiteral("shorted");
    case Result::StuckLow:
        return QStringLiteral("stuck low");
    case Result::StuckHigh:
        return QStringLiteral("stuck high");
    }
    return QString();
}

QList<NetVerdict> judge_phase(const Plug &plug, const Phase &phase, const PhaseReadings &read)
{
    const int patterns = int(read.readings.size());
    const Trace all = patterns >= 64 ? ~Trace(0) : (Trace(1) << patterns) - 1;
    QList<Trace> wanted;
    for (int i = 0; i < phase.nets.size(); ++i)
        wanted << trace_of_net(read, i);

    // The other net whose pattern this pin follows, alone or together with its own: -1 if none.
    const auto follows_other = [&](int own, Trace seen) {
        for (int j = 0; j < wanted.size(); ++j) {
            if (j != own && (seen == wanted[j] || seen == (wanted[own] | wanted[j]) ||
                             seen == (wanted[own] & wanted[j])))
                return j;
        }
        return -1;
    };

    QList<NetVerdict> verdicts;
    for (int i = 0; i < phase.nets.size(); ++i) {
        const int driver = phase.drivers[i];
        const Trace expected = wanted[i];
        NetVerdict verdict;
        verdict.detail = QStringLiteral("follows every pattern");
        const Trace at_driver = trace_of_pin(read, driver);
        if (at_driver != expected) {
            const int other = follows_other(i, at_driver);
            if (at_driver == 0) {
                verdict = {Result::StuckLow, pin_text(driver) + QStringLiteral(" stuck low")};
            } else if (at_driver == all) {
                verdict = {Result::StuckHigh, pin_text(driver) + QStringLiteral(" stuck high")};
            } else if (other >= 0) {
                verdict = {Result::Shorted,
                           QStringLiteral("shorted to ") + pin_text(phase.drivers[other])};
            } else {
                // Neither stuck nor another net's pattern: named by its wrong readings.
                const int low = __builtin_popcountll(expected & ~at_driver);
                const int high = __builtin_popcountll(~expected & at_driver & all);
                verdict = {low >= high ? Result::StuckLow : Result::StuckHigh,
                           pin_text(driver) + QStringLiteral(" does not follow its output")};
            }
            verdicts << verdict;
            continue;
        }
        for (int pin : plug.nets[phase.nets[i]].pins) {
            if (pin == driver)
                continue;
            const Trace at_pin = trace_of_pin(read, pin);
            if (at_pin == expected)
                continue;
            const int other = follows_other(i, at_pin);
            if (at_pin == 0 || at_pin == all) {
                verdict = {Result::Open,
                           QStringLiteral("%1 stays %2 while %3 changes")
                               .arg(pin_text(pin),
                                    at_pin ? QStringLiteral("high") : QStringLiteral("low"),
                                    pin_text(driver))};
            } else if (other >= 0) {
                verdict = {Result::Shorted,
                           QStringLiteral("%1 shorted to %2")
                               .arg(pin_text(pin), pin_text(phase.drivers[other]))};
            } else {
                verdict = {
                    Result::Open,
                    QStringLiteral("%1 does not follow %2").arg(pin_text(pin), pin_text(driver))};
            }
            break; // the first pin that fails names the fault
        }
        verdicts << verdict;
    }
    return verdicts;
}

QList<NetVerdict> judge(const Plug &plug, const QList<Phase> &phases,
                        const QList<PhaseReadings> &read)
{
    QList<NetVerdict> verdicts;
    QList<bool> judged;
    for (int net = 0; net < plug.nets.size(); ++net) {
        verdicts << NetVerdict{};
        judged << false;
    }
    for (int p = 0; p < phases.size() && p < read.size(); ++p) {
        const QList<NetVerdict> phase_verdicts = judge_phase(plug, phases[p], read[p]);
        for (int i = 0; i < phases[p].nets.size(); ++i) {
            const int net = phases[p].nets[i];
            if (!judged[net] ||
                severity(phase_verdicts[i].result) > severity(verdicts[net].result)) {
                verdicts[net] = phase_verdicts[i];
                judged[net] = true;
            }
        }
    }
    return verdicts;
}

} // namespace selftest
