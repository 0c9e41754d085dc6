// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "synthetic_line.h"

#include "simulated_device.h"
#include "umockdev_testbed.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr int kLookMs = 5; // the simulated device's pace of status frames, too

} // namespace

SyntheticLine::SyntheticLine(const UmockdevTestbed &testbed, const QString &node,
                             SimulatedDevice *device)
    : fd_(testbed.deviceEnd(node)), device_(device)
{
    if (fd_ < 0)
        qFatal("%s is no synthetic tty", qPrintable(node));
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    connect(&timer_, &QTimer::timeout, this, &SyntheticLine::look);
    timer_.start(kLookMs);
}

void SyntheticLine::write(const QByteArray &bytes)
{
    if (::write(fd_, bytes.constData(), size_t(bytes.size())) != bytes.size())
        qFatal("cannot write to a synthetic tty");
}

void SyntheticLine::look()
{
    bool nodeOpen = true;
    for (;;) {
        char buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) {
            nodeOpen = n < 0 && errno == EAGAIN; // EIO: nobody has the node open
            break;
        }
        const QByteArray bytes(buffer, int(n));
        received_ += bytes;
        if (device_)
            outbox_ += device_->takeHostBytes(bytes);
    }
    if (!device_ || !nodeOpen)
        return;
    // Replies first, as far as the line takes them, then the next status frame: a host that
    // does not read holds the device back, as a device the host does not poll.
    if (outbox_.isEmpty())
        outbox_ = device_->statusFrame();
    while (!outbox_.isEmpty()) {
        const ssize_t n = ::write(fd_, outbox_.constData(), size_t(outbox_.size()));
        if (n <= 0) {
            if (n < 0 && errno != EAGAIN)
                qWarning("a synthetic tty refused bytes: %s", strerror(errno));
            break;
        }
        outbox_.remove(0, int(n));
    }
}

} // namespace testsupport
