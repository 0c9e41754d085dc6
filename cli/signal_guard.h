// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_SIGNAL_GUARD_H
#define KALDORIUM_CLI_SIGNAL_GUARD_H

// Why the program ends before its command is done, brought into the event loop: SIGINT and
// SIGTERM (the handler only writes the signal number into a pipe, and a socket notifier turns
// it into caught()), a reader of standard output that has gone (taken as SIGPIPE: exit 141,
// no message) and a failed write of results (exit 74). Every wait ends at caught(), the port
// is closed, and main() returns exitCode().

#include <QObject>

class QSocketNotifier;

class SignalGuard : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; call once, after the application object exists.
    static SignalGuard &install();
    static SignalGuard *instance();

    // The signal caught so far (SIGINT, SIGTERM, or SIGPIPE for a reader that has gone), or 0;
    // also a signal whose notification has not reached the event loop yet.
    int signalNumber() const;
    // The code the program ends with: 128 + the signal, the code given to stop(), or 0.
    int exitCode() const;
    // For a command whose ordinary end is a signal (pins watch, pins record): SIGINT or
    // SIGTERM has been handled and the program exits with the command's own code. A reader
    // that has gone or a failed write is never acknowledged.
    void acknowledge();

    // Ends the program as if this signal had been caught (SIGPIPE: the reader of standard
    // output has gone).
    void raise(int signalNumber);
    // Ends the program with this exit code (a failed write of results: 74); the first reason
    // stands.
    void stop(int exitCode);

    // While one of these exists, a blocking system call that SIGINT or SIGTERM interrupts
    // fails with EINTR instead of being restarted: opening a FIFO that nobody writes to, or
    // writing into one that nobody reads, ends at Ctrl-C. The caller checks signalNumber()
    // after EINTR.
    class InterruptibleCalls {
    public:
        InterruptibleCalls();
        ~InterruptibleCalls();
        InterruptibleCalls(const InterruptibleCalls &) = delete;
        InterruptibleCalls &operator=(const InterruptibleCalls &) = delete;
    };

signals:
    void caught(int signalNumber);

private:
    SignalGuard();
    void readPipe();

    QSocketNotifier *notifier_ = nullptr;
    int signal_ = 0;
    int stop_code_ = 0;
};

#endif
