// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "provision_log.h"

#include "exit_codes.h"
#include "output.h"
#include "raw_text.h"
#include "signal_guard.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace provision {

namespace {

QJsonValue text_or_null(const QString &text)
{
    return text.isNull() || text.isEmpty() ? QJsonValue(QJsonValue::Null)
                                           : QJsonValue(raw_text::printable(text));
}

// "key":value, with the value as QJsonDocument writes it.
QByteArray field(const char *key, const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return '"' + QByteArray(key) + "\":" + array.mid(1, array.size() - 2);
}

QString errno_text(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QByteArray json_line(const Record &record)
{
    const QJsonValue selftest =
        record.selftest
            ? QJsonValue(*record.selftest ? QStringLiteral("passed") : QStringLiteral("failed"))
            : QJsonValue(QJsonValue::Null);
    const QList<QByteArray> fields = {
        field("time", record.time.toUTC().toString(Qt::ISODate)),
        field("address_before", text_or_null(record.addressBefore)),
        field("address_after", text_or_null(record.addressAfter)),
        field("node", text_or_null(record.node)),
        field("serial", text_or_null(record.serial)),
        field("selftest", selftest),
        field("profile", raw_text::printable(record.profile)),
        field("profile_sha256", record.profileSha256),
        field("verified", record.verified),
        field("result", record.ok ? QStringLiteral("ok") : QStringLiteral("failed")),
        field("error", text_or_null(record.error)),
        field("seconds", std::round(record.seconds * 100) / 100),
    };
    QByteArray line = "{";
    for (const QByteArray &part : fields)
        line += part + ',';
    line.chop(1);
    return line + "}\n";
}

Log::Log(QByteArray path) : path_(std::move(path)) {}

Log::~Log()
{
    if (fd_ >= 0)
        ::close(fd_);
}

QString Log::displayName() const
{
    return raw_text::printable(raw_text::decode(path_));
}

int Log::open()
{
    SignalGuard::InterruptibleCalls interruptible;
    while ((fd_ = ::open(path_.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY,
                         0644)) < 0) {
        const int error = errno;
        if (error == EINTR) {
            const SignalGuard *guard = SignalGuard::instance();
            if (guard && guard->signalNumber())
                return guard->exitCode();
            continue;
        }
        return output::fail(exit_code::kCannotCreate,
                            QStringLiteral("cannot open the log %1: %2; check the path and that "
                                           "you may write there")
                                .arg(displayName(), errno_text(error)));
    }
    struct stat status = {};
    regular_ = ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode);
    return 0;
}

int Log::append(const QByteArray &line)
{
    struct stat before = {};
    const bool sized = regular_ && ::fstat(fd_, &before) == 0;
    errno = 0;
    bool written = output::write_all(fd_, line);
    int error = errno;
    // On a regular file the line must be on the disk before the next device is taken.
    if (written && regular_ && ::fdatasync(fd_) != 0) {
        written = false;
        error = errno;
    }
    if (written)
        return 0;
    // A line cut short by a full disk is taken back out, unless someone appended after it.
    struct stat after = {};
    if (sized && ::fstat(fd_, &after) == 0 && after.st_size > before.st_size &&
        after.st_size <= before.st_size + line.size())
        (void)!::ftruncate(fd_, before.st_size);
    return output::fail(exit_code::kIoError,
                        QStringLiteral("cannot write to the log %1: %2; provisioning stopped, as "
                                       "a bench must not run on without its record (the device "
                                       "just done is not in the log)")
                            .arg(displayName(), errno_text(error ? error : EIO)));
}

} // namespace provision
