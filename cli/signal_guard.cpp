// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "signal_guard.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipe_fds[2] = {-1, -1};
SignalGuard *the_guard = nullptr;

void on_signal(int number)
{
    const int saved = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(pipe_fds[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalGuard &SignalGuard::install()
{
    if (!the_guard)
        the_guard = new SignalGuard;
    return *the_guard;
}

SignalGuard *SignalGuard::instance()
{
    return the_guard;
}

SignalGuard::SignalGuard()
{
    if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = new QSocketNotifier(pipe_fds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalGuard::readPipe);
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void SignalGuard::readPipe()
{
    char byte = 0;
    while (::read(pipe_fds[0], &byte, 1) == 1) {
        if (!signal_)
            signal_ = byte;
    }
    if (signal_)
        emit caught(signal_);
}
