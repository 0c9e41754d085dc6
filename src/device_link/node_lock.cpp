// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "node_lock.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace node_lock {

NodeLock::Result NodeLock::take(const QString &path)
{
    release();
    error_.clear();
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == EBUSY) // a tty in exclusive use (TIOCEXCL) by another program
            return Result::InUse;
        error_ = qt_error_string(errno);
        return Result::Failed;
    }
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked < 0 && errno == EINTR);
    if (locked < 0) {
        const int reason = errno;
        ::close(fd);
        if (reason == EWOULDBLOCK)
            return Result::InUse;
        error_ = qt_error_string(reason);
        return Result::Failed;
    }
    fd_ = fd;
    return Result::Locked;
}

void NodeLock::release()
{
    if (fd_ < 0)
        return;
    ::close(fd_); // closing the only descriptor of its open file gives the lock up
    fd_ = -1;
}

namespace {

// "/proc/locks" lines: "1: FLOCK  ADVISORY  WRITE 4711 00:1a:3 0 EOF", with " -> " after the
// number for a program that waits for the lock. The device is major:minor in hex, then the
// inode in decimal.
qint64 lock_holder_pid(dev_t device, ino_t inode)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray wanted = QByteArray::number(major(device), 16).rightJustified(2, '0') + ':' +
                              QByteArray::number(minor(device), 16).rightJustified(2, '0') + ':' +
                              QByteArray::number(qulonglong(inode));
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields.at(1) == "->")
            continue;
        if (fields.at(5) != wanted)
            continue;
        bool ok = false;
        const qint64 pid = fields.at(4).toLongLong(&ok);
        if (ok && pid > 0)
            return pid;
    }
    return 0;
}

} // namespace

Holder holder(const QString &path)
{
    Holder found;
    struct stat node;
    if (::stat(QFile::encodeName(path).constData(), &node) != 0)
        return found;
    found.pid = lock_holder_pid(node.st_dev, node.st_ino);
    if (found.pid == 0)
        return found;
    QFile comm(QStringLiteral("/proc/%1/comm").arg(found.pid));
    if (comm.open(QIODevice::ReadOnly))
        found.name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    return found;
}

} // namespace node_lock
