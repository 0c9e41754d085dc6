// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "signal_guard.h"

#include "exit_codes.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipe_fds[2] = {-1, -1};
SignalGuard *the_guard = nullptr;
volatile sig_atomic_t pending_signal = 0; // set by the handler, before the pipe is read
int interruptible_depth = 0;

void on_signal(int number)
{
    const int saved = errno;
    if (!pending_signal)
        pending_signal = number;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(pipe_fds[1], &byte, 1);
    errno = saved;
}

void set_handlers(bool restart)
{
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = restart ? SA_RESTART : 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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
    set_handlers(true);
}

int SignalGuard::signalNumber() const
{
    return signal_ ? signal_ : int(pending_signal);
}

int SignalGuard::exitCode() const
{
    if (stop_code_)
        return stop_code_;
    const int number = signalNumber();
    return number ? exit_code::kSignalBase + number : 0;
}

void SignalGuard::acknowledge()
{
    char byte = 0;
    while (::read(pipe_fds[0], &byte, 1) == 1) {
    } // a notification still on its way would bring the signal back
    if (signal_ == SIGINT || signal_ == SIGTERM)
        signal_ = 0;
    pending_signal = 0;
}

void SignalGuard::raise(int signalNumber)
{
    if (signal_ || stop_code_)
        return;
    signal_ = signalNumber;
    emit caught(signal_);
}

void SignalGuard::stop(int exitCode)
{
    if (signal_ || stop_code_)
        return;
    stop_code_ = exitCode;
    emit caught(0);
}

void SignalGuard::readPipe()
{
    char byte = 0;
    while (::read(pipe_fds[0], &byte, 1) == 1) {
        if (!signal_ && !stop_code_)
            signal_ = byte;
    }
    if (signal_ || stop_code_)
        emit caught(signal_);
}

SignalGuard::InterruptibleCalls::InterruptibleCalls()
{
    if (interruptible_depth++ == 0 && the_guard)
        set_handlers(false);
}

SignalGuard::InterruptibleCalls::~InterruptibleCalls()
{
    if (--interruptible_depth == 0 && the_guard)
        set_handlers(true);
}
