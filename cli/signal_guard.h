// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_SIGNAL_GUARD_H
#define KALDORIUM_CLI_SIGNAL_GUARD_H

// SIGINT and SIGTERM into the event loop: the handler only writes the signal number into a
// pipe, and a socket notifier turns it into the signal caught(), so that every wait can end
// and close the port before the program exits with 128 + the signal number.

#include <QObject>

class QSocketNotifier;

class SignalGuard : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; call once, after the application object exists.
    static SignalGuard &install();
    static SignalGuard *instance();

    // The signal caught so far (SIGINT or SIGTERM), or 0.
    int signalNumber() const { return signal_; }
    // For a command whose ordinary end is a signal (pins watch, pins record): the signal has
    // been handled and the program exits with the command's own code.
    void acknowledge() { signal_ = 0; }

signals:
    void caught(int signalNumber);

private:
    SignalGuard();
    void readPipe();

    QSocketNotifier *notifier_ = nullptr;
    int signal_ = 0;
};

#endif
