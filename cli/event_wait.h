// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_EVENT_WAIT_H
#define KALDORIUM_CLI_EVENT_WAIT_H

// Waiting without spinning: the event loop turns until a condition holds, the time is up, a
// signal arrives or someone stops the wait with a reason.

#include <QEventLoop>
#include <QObject>

#include <functional>

class EventWait : public QObject {
    Q_OBJECT
public:
    enum class End { Done, TimedOut, Interrupted, Lost };

    // Runs the event loop until done() is true (checked at the start and at every wake()),
    // timeoutMs has passed (a negative timeout waits for ever; any length up to a year and
    // beyond is kept exactly), SIGINT/SIGTERM is caught, the program must end for another
    // reason (SignalGuard: a reader of standard output gone, a failed write; Interrupted) or
    // stop() is called.
    End run(const std::function<bool()> &done, qint64 timeoutMs);

    // Checks the condition again; to be connected to whatever may have made it true.
    void wake();
    // Ends a running wait with the given reason.
    void stop(End reason);

private:
    QEventLoop *loop_ = nullptr;
    std::function<bool()> done_;
    End end_ = End::Done;
};

#endif
