// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "profile_file.h"

#include "exit_codes.h"
#include "output.h"
#include "raw_text.h"
#include "signal_guard.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace profile_file {

namespace {

int signal_code()
{
    const SignalGuard *guard = SignalGuard::instance();
    return guard && guard->signalNumber() ? guard->exitCode() : 0;
}

int cannot_read(const QString &where, int error)
{
    if (error == EINTR) {
        if (int code = signal_code())
            return code;
    }
    return output::fail(exit_code::kNoInput,
                        QStringLiteral("cannot read %1: %2; check the file name")
                            .arg(where, QString::fromLocal8Bit(std::strerror(error))));
}

} // namespace

int read(const QString &argument, profile::Values *values, QByteArray *text)
{
    const bool from_stdin = argument == QLatin1String("-");
    const QString where = from_stdin ? QStringLiteral("stdin") : raw_text::printable(argument);
    SignalGuard::InterruptibleCalls interruptible;

    int fd = STDIN_FILENO;
    if (!from_stdin) {
        const QByteArray path = raw_text::encode(argument);
        while ((fd = ::open(path.constData(), O_RDONLY | O_NOCTTY | O_CLOEXEC)) < 0) {
            const int failed = errno;
            if (failed != EINTR || signal_code())
                return cannot_read(where, failed);
        }
    }
    // One byte more than a profile may have is enough to refuse it.
    QByteArray bytes(profile::kMostBytes + 1, Qt::Uninitialized);
    int size = 0;
    int error = 0;
    while (size < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + size, size_t(bytes.size() - size));
        if (got > 0) {
            size += int(got);
        } else if (got == 0) {
            break;
        } else if (const int failed = errno; failed != EINTR || signal_code()) {
            error = failed;
            break;
        }
    }
    if (!from_stdin)
        ::close(fd);
    if (error)
        return cannot_read(where, error);
    bytes.truncate(size);
    if (text)
        *text = bytes;

    QString problem;
    if (!profile::take_text(bytes, where, values, &problem))
        return output::fail(exit_code::kDataError, problem + QStringLiteral("; nothing was sent"));
    return 0;
}

} // namespace profile_file
