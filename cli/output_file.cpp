// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "output_file.h"

#include "exit_codes.h"
#include "output.h"
#include "raw_text.h"
#include "signal_guard.h"

#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMostLinks = 40; // as the kernel follows them
constexpr int kLongestNamePart = 200;

QString error_text(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray directory_of(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray name_of(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// /proc/self/fd/1 and the names that lead there (/dev/stdout, /dev/fd/3) stand for an open
// file of this process, whatever it is: they are written into, never replaced.
bool under_proc(const QByteArray &directory)
{
    char resolved[PATH_MAX];
    if (!::realpath(directory.constData(), resolved))
        return false;
    const QByteArray real(resolved);
    return real == "/proc" || real.startsWith("/proc/");
}

int signal_exit_code()
{
    const SignalGuard *guard = SignalGuard::instance();
    return guard && guard->signalNumber() ? guard->exitCode() : 0;
}

} // namespace

OutputFile::OutputFile(const QByteArray &path) : path_(path)
{
    if (path_ == "-")
        kind_ = Kind::StandardOutput;
}

OutputFile::~OutputFile()
{
    if (!committed_)
        discard();
}

QString OutputFile::displayName() const
{
    return raw_text::printable(raw_text::decode(path_));
}

int OutputFile::open()
{
    if (kind_ == Kind::StandardOutput)
        return 0;
    if (path_.isEmpty())
        return cannotCreate(ENOENT);

    // Follow the links to what they name.
    QByteArray current = path_;
    struct stat status = {};
    kind_ = Kind::Replace;
    for (int hop = 0;; ++hop) {
        if (hop == kMostLinks)
            return cannotCreate(ELOOP);
        if (under_proc(directory_of(current))) {
            kind_ = Kind::WriteInto;
            break;
        }
        if (::lstat(current.constData(), &status) != 0) {
            if (errno != ENOENT)
                return cannotCreate(errno);
            target_exists_ = false;
            break;
        }
        target_exists_ = true;
        if (!S_ISLNK(status.st_mode)) {
            if (!S_ISREG(status.st_mode))
                kind_ = Kind::WriteInto;
            break;
        }
        char link[PATH_MAX];
        const ssize_t length = ::readlink(current.constData(), link, sizeof link);
        if (length < 0)
            return cannotCreate(errno);
        const QByteArray named(link, int(length));
        current = named.startsWith('/') ? named : directory_of(current) + '/' + named;
    }

    if (kind_ == Kind::WriteInto) {
        // As a shell redirection opens it; a FIFO that no one reads keeps this open waiting,
        // until a reader comes or Ctrl-C.
        SignalGuard::InterruptibleCalls interruptible;
        while ((fd_ = ::open(path_.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC)) < 0) {
            if (errno != EINTR)
                return cannotCreate(errno);
            if (int code = signal_exit_code())
                return code;
        }
        struct stat opened = {};
        if (::fstat(fd_, &opened) == 0 && S_ISREG(opened.st_mode))
            ::lseek(fd_, 0, SEEK_END); // standard output sent to a file: add, never overwrite
        return 0;
    }

    target_ = current;
    if (target_exists_ && ::faccessat(AT_FDCWD, target_.constData(), W_OK, AT_EACCESS) != 0)
        return cannotCreate(errno); // as a redirection would refuse a file it may not write
    const QByteArray stem =
        directory_of(target_) + "/." + name_of(target_).left(kLongestNamePart) + '.';
    for (int attempt = 0; fd_ < 0; ++attempt) {
        const QByteArray name =
            stem + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        fd_ = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     target_exists_ ? 0600 : 0666);
        if (fd_ >= 0)
            temp_ = name;
        else if (errno != EEXIST || attempt == 100)
            return cannotCreate(errno);
    }
    if (target_exists_) {
        // The replacement keeps the old file's owner (where this program may give it) and
        // mode; a new file gets the mode the umask leaves.
        [[maybe_unused]] const int owned = ::fchown(fd_, status.st_uid, status.st_gid);
        ::fchmod(fd_, status.st_mode & 07777);
    }
    return 0;
}

bool OutputFile::write(const QByteArray &bytes)
{
    if (error_ || committed_)
        return false;
    if (kind_ == Kind::StandardOutput) {
        if (!output::write_bytes(bytes))
            error_ = -1; // output has reported it
        return !error_;
    }
    if (fd_ < 0) {
        error_ = EBADF;
        return false;
    }
    if (!output::write_all(fd_, bytes)) {
        error_ = errno ? errno : EIO;
        // The reader of a FIFO (or of /dev/stdout) has gone: the program ends as at a closed
        // standard output, 141 without a message.
        if (error_ == EPIPE) {
            if (SignalGuard *guard = SignalGuard::instance())
                guard->raise(SIGPIPE);
        }
    }
    return !error_;
}

int OutputFile::commit()
{
    if (committed_)
        return 0;
    if (kind_ == Kind::StandardOutput) {
        committed_ = true;
        if (!error_)
            return 0;
        const SignalGuard *guard = SignalGuard::instance();
        return guard && guard->exitCode() ? guard->exitCode() : exit_code::kIoError;
    }
    if (error_)
        return writeFailed();
    if (kind_ == Kind::Replace && ::fsync(fd_) != 0) {
        error_ = errno;
        return writeFailed();
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        error_ = errno;
        return writeFailed();
    }
    if (kind_ == Kind::Replace) {
        if (::rename(temp_.constData(), target_.constData()) != 0) {
            error_ = errno;
            return writeFailed();
        }
        temp_.clear();
        // The new name on disk too, so that a crash now leaves the new file, not none.
        const int directory =
            ::open(directory_of(target_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (directory >= 0) {
            const bool synced = ::fsync(directory) == 0 || errno == EINVAL;
            const int error = errno;
            ::close(directory);
            if (!synced) {
                committed_ = true;
                return output::fail(exit_code::kIoError,
                                    QStringLiteral("%1 was written, but its directory could not "
                                                   "be synced: %2; check the disk")
                                        .arg(displayName(), error_text(error)));
            }
        }
    }
    committed_ = true;
    return 0;
}

void OutputFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.isEmpty()) {
        ::unlink(temp_.constData());
        temp_.clear();
    }
}

int OutputFile::cannotCreate(int error)
{
    discard();
    if (error == EINTR) {
        if (int code = signal_exit_code())
            return code;
    }
    return output::fail(exit_code::kCannotCreate,
                        QStringLiteral("cannot create %1: %2; choose a file in a directory that "
                                       "exists and that you may write to")
                            .arg(displayName(), error_text(error)));
}

int OutputFile::writeFailed()
{
    const int error = error_;
    discard();
    if (error == EINTR || error == EPIPE) {
        if (int code = signal_exit_code())
            return code;
    }
    QString what;
    if (kind_ == Kind::WriteInto)
        what = QStringLiteral("what was written may be incomplete");
    else if (target_exists_)
        what = QStringLiteral("the file is unchanged");
    else
        what = QStringLiteral("no file was made");
    return output::fail(
        exit_code::kIoError,
        QStringLiteral("writing %1 failed: %2; %3").arg(displayName(), error_text(error), what));
}
