// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pins_session.h"

#include "exit_codes.h"
#include "numbers.h"
#include "output.h"
#include "raw_text.h"
#include "signal_guard.h"

#include <QElapsedTimer>
#include <QTimer>

#include <termios.h>

namespace pins {

int take_duration(const Invocation &invocation, const QString &option, qint64 *ms)
{
    *ms = -1;
    if (!invocation.isSet(option))
        return 0;
    *ms = parse_duration(invocation.value(option));
    if (*ms < 0) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("--%1 %2 is no duration from 1ms to 365 days; write "
                                           "it like 500ms, 10s, 2m or 8760h")
                                .arg(option, raw_text::quoted(invocation.value(option))));
    }
    return 0;
}

int unexpected_argument(const Invocation &invocation)
{
    return output::fail(exit_code::kUsage,
                        QStringLiteral("unexpected argument %1; see "
                                       "kaldorium-lpt pins --help")
                            .arg(raw_text::quoted(invocation.arguments.first())));
}

QString counted(int64_t count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

void discard_stale_input(DeviceSession &session)
{
    ::tcflush(session.nativeHandle(), TCIFLUSH);
}

EventWait::End watch(const Invocation &invocation, DeviceSession &session, PinMonitor &monitor,
                     qint64 for_ms, const std::function<void()> &tick)
{
    QElapsedTimer clock;
    clock.start();
    QTimer ticks;
    if (tick) {
        QObject::connect(&ticks, &QTimer::timeout, &session, tick);
        ticks.start(250);
    }
    const auto remaining = [&] {
        return for_ms < 0 ? qint64(-1) : qMax<qint64>(0, for_ms - clock.elapsed());
    };
    const bool for_ends_first = for_ms >= 0 && for_ms <= invocation.timeoutMs;
    EventWait::End end = session.waitUntil([&] { return monitor.seenAny(); },
                                           for_ends_first ? for_ms : invocation.timeoutMs);
    if (end == EventWait::End::TimedOut && for_ends_first)
        end = EventWait::End::Done; // --for has ended
    else if (end == EventWait::End::Done)
        end = session.waitUntil([] { return false; }, remaining());
    if (end == EventWait::End::TimedOut && monitor.seenAny())
        end = EventWait::End::Done; // --for has ended
    if (end == EventWait::End::Interrupted) {
        // Ctrl-C is how a watch without --for ends; a reader that has gone is not.
        if (SignalGuard *guard = SignalGuard::instance()) {
            guard->acknowledge();
            if (!guard->exitCode())
                end = EventWait::End::Done;
        }
    }
    ticks.stop();
    monitor.finish();
    return end;
}

int watch_verdict(const Invocation &invocation, const DeviceSession &session,
                  const PinMonitor &monitor, EventWait::End end)
{
    if (end == EventWait::End::Lost || end == EventWait::End::Interrupted)
        return session.failure(end);
    if (end == EventWait::End::TimedOut) {
        return output::fail(exit_code::kTempFail,
                            QStringLiteral("no status frame from the device within %1 ms; "
                                           "check that it is a KALDORIUM-LPT and that it runs, or "
                                           "raise --timeout")
                                .arg(invocation.timeoutMs));
    }
    if (!monitor.seenAny()) {
        return output::fail(exit_code::kTempFail,
                            QStringLiteral("no status frame from the device in the %1 s watched; "
                                           "check that it is a KALDORIUM-LPT and that it runs, or "
                                           "watch longer")
                                .arg(QString::number(double(monitor.elapsedUs()) / 1e6, 'f', 3)));
    }
    if (!monitor.seenFirst()) {
        return output::fail(
            exit_code::kTempFail,
            QStringLiteral("the device only reported errors (%1), never its pin "
                           "levels; see the errors above, then unplug it and "
                           "plug it in again")
                .arg(counted(monitor.errorReports(), "error report", "error reports")));
    }
    return exit_code::kOk;
}

int watch_until_end(const Invocation &invocation, DeviceSession &session, PinMonitor &monitor,
                    qint64 for_ms)
{
    return watch_verdict(invocation, session, monitor, watch(invocation, session, monitor, for_ms));
}

std::optional<frames::InputLevels> await_levels_from_now(DeviceSession &session,
                                                         PinMonitor &monitor, qint64 timeoutMs,
                                                         EventWait::End *end)
{
    monitor.awaitFrameFrom(session.receiveMark());
    *end = session.waitUntil([&] { return monitor.frameFromMark().has_value(); }, timeoutMs);
    return monitor.frameFromMark();
}

} // namespace pins
