// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TIMER_WAKEUP_H
#define KALDORIUM_TIMER_WAKEUP_H

// Wakes the event loop at the very moment a repeating Qt timer of its owner falls due.
//
// Qt keeps a repeating timer on an absolute schedule (each expiry is due one interval after
// the previous one was due), but the GLib event loop that Qt uses on a desktop sleeps in
// whole milliseconds, rounded up from the moment it goes to sleep: a 10 ms tick then comes
// 0 to 1 ms late, and the tick after a late one comes early. A timerfd armed at the same
// absolute deadlines and watched by a socket notifier ends the sleep to the microsecond;
// Qt then finds its timer due and delivers it through the owner's timerEvent as always.
// Nothing else of the event loop changes, so GTK and KDE dialogs, input methods and drag
// and drop keep the loop they expect.

#include <QObject>

#include <cstdint>

class QSocketNotifier;

class TimerWakeup : public QObject {
    Q_OBJECT

public:
    explicit TimerWakeup(QObject *parent = nullptr);
    ~TimerWakeup() override;

    // To be called right after the owner's startTimer(interval_ms) returned.
    void follow(int interval_ms);
    // To be called on every expiry of the followed timer, first thing in timerEvent.
    void ticked();
    // Leaves the timer to the event loop's own sleeps from now on.
    void stop();

    // When Qt delivers the timer next, as Qt itself reckons it: one interval after the
    // expiry that was due, unless the loop fell a whole interval behind, in which case Qt
    // starts a fresh interval from now. Times in nanoseconds of the monotonic clock.
    static int64_t next_due(int64_t due, int64_t interval, int64_t now);

    // Wake-ups so far (the loop woken by the timerfd), for the benchmark and the tests.
    int64_t wakeups() const { return wakeups_; }

private:
    void arm(int64_t due);
    void woken();

    int fd_ = -1;
    QSocketNotifier *notifier_ = nullptr;
    int64_t interval_ = 0;
    int64_t due_ = 0;
    int64_t wakeups_ = 0;
};

#endif
