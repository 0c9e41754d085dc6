// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "event_wait.h"

#include "signal_guard.h"

#include <QElapsedTimer>
#include <QTimer>

namespace {

// A QTimer counts in int milliseconds (24 days at most): a longer wait is made of steps.
constexpr qint64 kLongestStepMs = 24 * 3600 * 1000;

} // namespace

EventWait::End EventWait::run(const std::function<bool()> &done, qint64 timeoutMs)
{
    SignalGuard *guard = SignalGuard::instance();
    if (guard && guard->exitCode())
        return End::Interrupted;
    if (done())
        return End::Done;

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer); // --for 10s means 10 s, not up to 5 % more
    QElapsedTimer clock;
    clock.start();
    const auto next_step = [&] {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            stop(End::TimedOut);
        else
            timer.start(int(qMin(left, kLongestStepMs)));
    };
    connect(&timer, &QTimer::timeout, this, next_step);
    if (timeoutMs >= 0)
        timer.start(int(qMin(timeoutMs, kLongestStepMs)));
    QMetaObject::Connection interrupted;
    if (guard)
        interrupted =
            connect(guard, &SignalGuard::caught, this, [this] { stop(End::Interrupted); });

    loop_ = &loop;
    done_ = done;
    end_ = End::Done;
    loop.exec();
    loop_ = nullptr;
    done_ = nullptr;
    disconnect(interrupted);
    return end_;
}

void EventWait::wake()
{
    if (loop_ && done_ && done_())
        stop(End::Done);
}

void EventWait::stop(End reason)
{
    if (!loop_)
        return; // not waiting, or already ended: the first reason stands
    end_ = reason;
    QEventLoop *loop = loop_;
    loop_ = nullptr;
    loop->quit();
}
