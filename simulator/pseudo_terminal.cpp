// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pseudo_terminal.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        return;
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        close();
        return;
    }
    char name[128] = {};
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        close();
        return;
    }
    slave_path_ = QString::fromLocal8Bit(name);

    // Raw on both sides: no echo, no line editing, no CR/LF translation, all 256 values.
    slave_keepalive_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_keepalive_ >= 0) {
        termios tio{};
        if (::tcgetattr(slave_keepalive_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(slave_keepalive_, TCSANOW, &tio);
        }
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0 && master_ >= 0) {
        const ssize_t n = ::write(master_, data, size_t(left));
        if (n > 0) {
            data += n;
            left -= n;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd pfd{master_, POLLOUT, 0};
            ::poll(&pfd, 1, 10);
        } else {
            return false;
        }
    }
    return left == 0;
}

QByteArray PseudoTerminal::readAvailable()
{
    QByteArray bytes;
    char chunk[4096];
    while (master_ >= 0) {
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n <= 0)
            break;
        bytes.append(chunk, int(n));
    }
    return bytes;
}

QByteArray PseudoTerminal::readAtLeast(int count, int timeout_ms)
{
    QByteArray bytes = readAvailable();
    QElapsedTimer timer;
    timer.start();
    while (bytes.size() < count && timer.elapsed() < timeout_ms && master_ >= 0) {
        pollfd pfd{master_, POLLIN, 0};
        ::poll(&pfd, 1, int(qMax<qint64>(1, timeout_ms - timer.elapsed())));
        bytes += readAvailable();
    }
    return bytes;
}

int PseudoTerminal::writeSome(const QByteArray &bytes)
{
    if (master_ < 0)
        return -1;
    if (bytes.isEmpty())
        return 0;
    ssize_t n;
    do {
        n = ::write(master_, bytes.constData(), size_t(bytes.size()));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno == EAGAIN ? 0 : -1;
    return int(n);
}

int PseudoTerminal::unreadBySlave() const
{
    int pending = 0;
    if (slave_keepalive_ < 0 || ::ioctl(slave_keepalive_, FIONREAD, &pending) != 0)
        return -1;
    return pending;
}

void PseudoTerminal::close()
{
    if (slave_keepalive_ >= 0) {
        ::close(slave_keepalive_);
        slave_keepalive_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}
