// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_NODE_LOCK_H
#define KALDORIUM_NODE_LOCK_H

// One program per device. Before a program sets up the line it opens the device node and
// takes an exclusive advisory lock (flock) on it. The lock belongs to the device, whatever
// name opened it (a udev link, the tty's own node, a simulator's link), and goes with the
// descriptor: on close, and when the program dies. Qt's own lock file is per name, and root
// passes the tty's exclusive mode, so neither stops a second program on its own.

#include <QString>

namespace node_lock {

// A program that holds a device node, as far as the system tells.
struct Holder {
    qint64 pid = 0; // 0: not known
    QString name;   // its command name; empty when not known
};

class NodeLock {
public:
    enum class Result { Locked, InUse, Failed };

    NodeLock() = default;
    ~NodeLock() { release(); }
    NodeLock(const NodeLock &) = delete;
    NodeLock &operator=(const NodeLock &) = delete;

    // Opens the node (without becoming its controlling terminal and without waiting for the
    // modem lines) and takes the lock. InUse: another program holds the lock, or the tty is
    // in exclusive use; Failed: the node cannot be opened, error() says why.
    Result take(const QString &path);
    // Gives the lock up and closes the descriptor that held it.
    void release();
    bool held() const { return fd_ >= 0; }
    QString error() const { return error_; }

private:
    int fd_ = -1;
    QString error_;
};

// The program that holds the lock on the node at `path` (/proc/locks, /proc/PID/comm), or
// an unknown holder when the system does not tell.
Holder holder(const QString &path);

} // namespace node_lock

#endif
