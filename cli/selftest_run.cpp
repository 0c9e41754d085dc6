// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "selftest_run.h"

#include "exit_codes.h"
#include "output.h"
#include "pin_monitor.h"
#include "pins_session.h"
#include "raw_text.h"

#include "device_link/db25_pins.h"
#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "device_link/pulse_slots.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QStringList>

#include <cmath>

namespace selftest {

namespace {

constexpr int kTries = 5; // a pattern is sent again after a device error
constexpr uint8_t kFence = contract::ReadDataDirection; // the request behind each pattern

// One pattern: the slot that drives it and the level of each of the phase's nets.
struct Pattern {
    d_byte slot;
    uint32_t expected;
};

QList<Pattern> patterns_of(const Phase &phase)
{
    const int count = int(phase.drivers.size());
    const uint32_t every = (uint32_t(1) << count) - 1;
    QList<uint32_t> levels;
    for (int i = 0; i < count; ++i)
        levels << (uint32_t(1) << i); // walking one
    for (int i = 0; i < count; ++i)
        levels << (every & ~(uint32_t(1) << i)); // walking zero
    QList<Pattern> patterns;
    for (uint32_t expected : levels) {
        uint8_t data = 0;
        uint8_t control = 0;
        for (int i = 0; i < count; ++i) {
            if (!((expected >> i) & 1))
                continue;
            const db25::Pin &pin = db25::pin(phase.drivers[i]);
            if (pin.port == db25::Port::Data)
                data |= uint8_t(1u << pin.bit);
            else
                control |= uint8_t(1u << pin.bit);
        }
        patterns << Pattern{frames::pack_slot(data, control, phase.dataOutput, phase.controlOutput),
                            expected};
    }
    return patterns;
}

// What came back for the pattern in flight.
struct Answer {
    bool waiting = false; // a pattern is in flight
    bool fenced = false;  // the reply behind it has come
    bool judged = false;  // the status frame after the reply has come
    uint32_t levels = 0;
    uint8_t errors = 0; // error bits reported before the answer
};

class Runner {
public:
    Runner(DeviceSession &session, const Invocation &invocation)
        : session_(session), invocation_(invocation)
    {
        session_.onEvent = [this](const receive::Event &event) { take(event); };
    }
    ~Runner() { session_.onEvent = nullptr; }

    // Sends the pattern and waits for the status frame to judge it by; 0 or the exit code.
    int ask(const d_byte &slot, int number, uint32_t *levels)
    {
        for (int attempt = 0; attempt < kTries; ++attempt) {
            if (int code = pace())
                return code;
            answer_ = Answer{true};
            sent_any_ = true;
            const int code =
                session_.send({builder_.steady(slot), frames::command_frame(kFence, 0)});
            since_frame_.restart();
            if (code)
                return code;
            const EventWait::End end = session_.waitUntil(
                [this] { return answer_.judged || answer_.errors; }, invocation_.timeoutMs);
            if (end == EventWait::End::TimedOut) {
                return output::fail(
                    exit_code::kTempFail,
                    QStringLiteral("no %1 from the device within %2 ms of pattern %3; check that "
                                   "it is a KALDORIUM-LPT and that it runs, or raise --timeout")
                        .arg(answer_.fenced ? QStringLiteral("status frame")
                                            : QStringLiteral("reply"))
                        .arg(invocation_.timeoutMs)
                        .arg(number));
            }
            if (end != EventWait::End::Done)
                return session_.failure(end);
            if (!answer_.errors) {
                *levels = answer_.levels;
                return 0;
            }
            errors_seen_ |= answer_.errors;
        }
        return output::fail(exit_code::kIoError,
                            QStringLiteral("the device reported errors (%1) at every try of "
                                           "pattern %2; check the cable and the device "
                                           "(kaldorium-lpt pins watch shows them), then repeat")
                                .arg(device_error_names(errors_seen_))
                                .arg(number));
    }

    // The last frame: every output low, both ports input. Sent whenever a pattern went out.
    void release()
    {
        answer_ = Answer{};
        if (!sent_any_)
            return;
        pace();
        session_.send({builder_.steady(frames::pack_slot(0, 0, false, false))});
    }

private:
    // Keeps the live test's pace: a frame no sooner than 10 ms after the one before.
    int pace()
    {
        if (!since_frame_.isValid())
            return 0;
        const qint64 left = frames::kFramePeriodMs - since_frame_.elapsed();
        if (left <= 0)
            return 0;
        const EventWait::End end = session_.waitUntil([] { return false; }, left);
        return end == EventWait::End::TimedOut ? 0 : session_.failure(end);
    }

    void take(const receive::Event &event)
    {
        if (!answer_.waiting || answer_.judged)
            return;
        switch (event.what) {
        case receive::Completed::ConfigReply:
            if (session_.receiveState().config_type == kFence)
                answer_.fenced = true;
            break;
        case receive::Completed::InputLevels:
            if (answer_.fenced) {
                answer_.levels = db25::signal_levels(session_.receiveState().levels());
                answer_.judged = true;
            }
            break;
        case receive::Completed::ErrorReport:
            answer_.errors |= event.error_bits ? event.error_bits : 0x80;
            break;
        default:
            break;
        }
    }

    DeviceSession &session_;
    const Invocation &invocation_;
    frames::TestFrameBuilder builder_;
    QElapsedTimer since_frame_;
    Answer answer_;
    bool sent_any_ = false;
    uint8_t errors_seen_ = 0;
};

} // namespace

bool Report::passed() const
{
    for (const NetVerdict &verdict : verdicts) {
        if (verdict.result != Result::Ok)
            return false;
    }
    return !verdicts.isEmpty();
}

int run(DeviceSession &session, const Invocation &invocation, const Plug &plug, Report *report)
{
    QElapsedTimer clock;
    clock.start();
    pins::discard_stale_input(session);
    const QList<Phase> phases = plan(plug);
    QList<PhaseReadings> read;
    int number = 0;
    int code = 0;
    {
        Runner runner(session, invocation);
        for (const Phase &phase : phases) {
            PhaseReadings readings;
            for (const Pattern &pattern : patterns_of(phase)) {
                uint32_t levels = 0;
                code = runner.ask(pattern.slot, ++number, &levels);
                if (code)
                    break;
                readings.expected << pattern.expected;
                readings.readings << levels;
            }
            if (code)
                break;
            read << readings;
        }
        runner.release();
    }
    if (code)
        return code;
    report->plug = plug;
    report->verdicts = judge(plug, phases, read);
    report->patterns = number;
    report->seconds = double(clock.elapsed()) / 1000.0;
    return 0;
}

QString net_line(const Report &report, int net)
{
    const NetVerdict &verdict = report.verdicts[net];
    QString line =
        net_text(report.plug.nets[net]) + QStringLiteral(": ") + result_text(verdict.result);
    if (verdict.result != Result::Ok)
        line += QStringLiteral(" (") + verdict.detail + QLatin1Char(')');
    return line;
}

QString summary_line(const Report &report)
{
    if (report.passed()) {
        return QStringLiteral("selftest passed: %1 nets, %2 patterns, %3 s")
            .arg(report.plug.nets.size())
            .arg(report.patterns)
            .arg(report.seconds, 0, 'f', 1);
    }
    QStringList failed;
    for (int net = 0; net < report.verdicts.size(); ++net) {
        if (report.verdicts[net].result != Result::Ok)
            failed << net_text(report.plug.nets[net]) + QStringLiteral(": ") +
                          result_text(report.verdicts[net].result);
    }
    return QStringLiteral("selftest FAILED: ") + failed.join(QStringLiteral("; "));
}

QJsonObject to_json(const Report &report)
{
    QJsonArray nets;
    for (int net = 0; net < report.verdicts.size(); ++net) {
        QJsonArray pins;
        for (int pin : report.plug.nets[net].pins)
            pins.append(pin);
        nets.append(
            QJsonObject{{QStringLiteral("pins"), pins},
                        {QStringLiteral("result"), result_text(report.verdicts[net].result)},
                        {QStringLiteral("detail"), report.verdicts[net].detail}});
    }
    return QJsonObject{{QStringLiteral("plug"), raw_text::printable(report.plug.name)},
                       {QStringLiteral("nets"), nets},
                       {QStringLiteral("passed"), report.passed()},
                       {QStringLiteral("seconds"), std::round(report.seconds * 100) / 100}};
}

} // namespace selftest
