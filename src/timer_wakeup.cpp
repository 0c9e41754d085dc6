// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "timer_wakeup.h"

#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

namespace {

int64_t monotonic_now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

timespec as_timespec(int64_t ns)
{
    timespec time{};
    time.tv_sec = time_t(ns / 1000000000);
    time.tv_nsec = long(ns % 1000000000);
    return time;
}

} // namespace

TimerWakeup::TimerWakeup(QObject *parent) : QObject(parent)
{
    // Without a timerfd the loop simply keeps Qt's own millisecond sleeps.
    fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0)
        return;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TimerWakeup::woken);
}

TimerWakeup::~TimerWakeup()
{
    if (fd_ >= 0) {
        delete notifier_;
        close(fd_);
    }
}

void TimerWakeup::follow(int interval_ms)
{
    // Qt took its start time inside startTimer, so the first expiry is due at most the
    // duration of that call before this reckoning: the wake-up never comes too early.
    interval_ = int64_t(interval_ms) * 1000000;
    arm(monotonic_now() + interval_);
}

void TimerWakeup::ticked()
{
    if (interval_ <= 0)
        return;
    const int64_t due = next_due(due_, interval_, monotonic_now());
    // In step the timerfd repeats by itself; only a fresh start of Qt's schedule re-arms it.
    if (due != due_ + interval_)
        arm(due);
    else
        due_ = due;
}

void TimerWakeup::stop()
{
    interval_ = 0;
    if (fd_ >= 0) {
        const itimerspec disarmed{};
        timerfd_settime(fd_, 0, &disarmed, nullptr);
    }
}

int64_t TimerWakeup::next_due(int64_t due, int64_t interval, int64_t now)
{
    const int64_t next = due + interval;
    return next < now ? now + interval : next;
}

void TimerWakeup::arm(int64_t due)
{
    due_ = due;
    if (fd_ < 0)
        return;
    itimerspec schedule{};
    schedule.it_value = as_timespec(due);
    schedule.it_interval = as_timespec(interval_);
    timerfd_settime(fd_, TFD_TIMER_ABSTIME, &schedule, nullptr);
}

void TimerWakeup::woken()
{
    ++wakeups_;
    // Taking the expiry count quiets the descriptor until the next deadline; waking the loop
    // was the whole point.
    uint64_t expiries = 0;
    const ssize_t taken = read(fd_, &expiries, sizeof expiries);
    Q_UNUSED(taken)
}
