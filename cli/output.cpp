// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "output.h"

#include "exit_codes.h"
#include "signal_guard.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace output {

namespace {

bool stdout_open = true;

void write_error_line(const QByteArray &line)
{
    SignalGuard::InterruptibleCalls interruptible;
    write_all(STDERR_FILENO, line); // nowhere left to report a failure of standard error
}

} // namespace

bool write_all(int fd, const QByteArray &bytes)
{
    SignalGuard::InterruptibleCalls interruptible;
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written >= 0) {
            data += written;
            left -= written;
            continue;
        }
        if (errno == EINTR) {
            const SignalGuard *guard = SignalGuard::instance();
            if (guard && guard->signalNumber())
                return false;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A descriptor someone else made non-blocking: wait for room.
            pollfd room = {fd, POLLOUT, 0};
            if (::poll(&room, 1, -1) < 0 && errno != EINTR)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

bool write_bytes(const QByteArray &bytes)
{
    if (!stdout_open)
        return false;
    if (write_all(STDOUT_FILENO, bytes))
        return true;
    const int error = errno;
    stdout_open = false;
    SignalGuard *guard = SignalGuard::instance();
    if (error == EINTR)
        return false; // a signal ends the program; its code says so
    if (error == EPIPE) {
        if (guard)
            guard->raise(SIGPIPE);
        return false;
    }
    write_error_line(QByteArray("kaldorium-lpt: writing the results to standard output failed: ") +
                     QByteArray(std::strerror(error)) +
                     QByteArray("; the output is incomplete, write it elsewhere\n"));
    if (guard)
        guard->stop(exit_code::kIoError);
    return false;
}

bool standard_output_open()
{
    return stdout_open;
}

void end_when_reader_goes()
{
    struct stat status = {};
    if (::fstat(STDOUT_FILENO, &status) != 0 || !S_ISFIFO(status.st_mode))
        return; // a terminal or a file has no reader to lose
    // The write end of a pipe polls as an error once its last reader has closed; nothing
    // else makes it readable, so this notifier wakes only then.
    static QSocketNotifier *notifier = nullptr;
    if (notifier)
        return;
    notifier = new QSocketNotifier(STDOUT_FILENO, QSocketNotifier::Read, SignalGuard::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        pollfd end = {STDOUT_FILENO, 0, 0};
        if (::poll(&end, 1, 0) <= 0 || !(end.revents & (POLLERR | POLLHUP)))
            return;
        notifier->setEnabled(false);
        stdout_open = false;
        if (SignalGuard *guard = SignalGuard::instance())
            guard->raise(SIGPIPE);
    });
}

bool print(const QString &text)
{
    return write_bytes(text.toUtf8());
}

bool print_json(const QJsonValue &document)
{
    QByteArray bytes;
    if (document.isArray())
        bytes = QJsonDocument(document.toArray()).toJson(QJsonDocument::Compact);
    else
        bytes = QJsonDocument(document.toObject()).toJson(QJsonDocument::Compact);
    return write_bytes(bytes + '\n');
}

void note(const QString &text)
{
    write_error_line((QStringLiteral("kaldorium-lpt: ") + text + QLatin1Char('\n')).toUtf8());
}

namespace {
QString latest_failure;
} // namespace

int fail(int code, const QString &message)
{
    latest_failure = message;
    note(message);
    return code;
}

QString last_failure()
{
    return latest_failure;
}

} // namespace output
