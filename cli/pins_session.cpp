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

int watch_until_end(const Invocation &invocation, DeviceSession &session, const PinMonitor &monitor,
                    qint64 for_ms)
{
    QElapsedTimer clock;
    clock.start();
    const auto remaining = [&] {
        return for_ms < 0 ? qint64(-1) : qMax<qint64>(0, for_ms - clock.elapsed());
    };
    const int first_wait =
        for_ms < 0 ? invocation.timeoutMs : int(qMin<qint64>(invocation.timeoutMs, remaining()));
    EventWait::End end = session.waitUntil([&] { return monitor.seenFirst(); }, first_wait);
    if (end == EventWait::End::TimedOut && (for_ms < 0 || remaining() > 0)) {
        return output::fail(exit_code::kTempFail,
                            QStringLiteral("no input status frame from the device within %1 ms; "
                                           "check that it is a KALDORIUM-LPT and that it runs, or "
                                           "raise --timeout")
                                .arg(first_wait));
    }
    if (end == EventWait::End::Done)
        end = session.waitUntil([] { return false; }, remaining());
    switch (end) {
    case EventWait::End::Done:
    case EventWait::End::TimedOut: // --for has ended
        return exit_code::kOk;
    case EventWait::End::Interrupted:
        // Stopping with Ctrl-C is how a watch without --for ends.
        if (SignalGuard *guard = SignalGuard::instance())
            guard->acknowledge();
        return exit_code::kOk;
    case EventWait::End::Lost:
        break;
    }
    return session.failure(end);
}

} // namespace pins
