// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "frame_streamer.h"

#include "device_link/frames.h"

#include <QtGlobal>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int64_t kPeriodNs = int64_t(frames::kFramePeriodUs) * 1000;
constexpr int64_t kNsPerSecond = 1000 * 1000 * 1000;

int64_t now_ns()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * kNsPerSecond + now.tv_nsec;
}

void sleep_until(int64_t deadline_ns)
{
    timespec at{};
    at.tv_sec = time_t(deadline_ns / kNsPerSecond);
    at.tv_nsec = long(deadline_ns % kNsPerSecond);
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

} // namespace

FrameStreamer::FrameStreamer(std::function<QByteArray(bool)> nextFrame,
                             std::function<void(End)> onEnd)
    : next_frame_(std::move(nextFrame)), on_end_(std::move(onEnd))
{
}

FrameStreamer::~FrameStreamer()
{
    stop();
}

bool FrameStreamer::start(int fd, int stallMs)
{
    fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    stall_ms_ = stallMs;
    // Signals go to the main thread, which ends the stream; the streaming thread inherits
    // this mask and so never sees them.
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    thread_ = std::thread([this] { run(); });
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return true;
}

void FrameStreamer::finish()
{
    finish_ = true;
}

void FrameStreamer::stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void FrameStreamer::run()
{
    // Frames every 10 ms even while other processes keep the cores busy; without the right
    // to real-time scheduling the stream runs at normal priority.
    sched_param param{};
    param.sched_priority = 10;
    realtime_ = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0;

    int64_t deadline = now_ns();
    End end = End::Stopped;
    while (!stop_) {
        const QByteArray frame = next_frame_(finish_);
        if (frame.isEmpty()) {
            end = End::Finished;
            break;
        }
        const Write written = writeAll(frame);
        if (written == Write::NotBegun)
            break;
        if (written == Write::Failed) {
            end = error_ == EAGAIN ? End::Stalled : End::Lost;
            break;
        }
        ++frames_sent_;
        int64_t now = now_ns();
        const int64_t lateness = now - deadline;
        if (lateness > max_lateness_ns_)
            max_lateness_ns_ = lateness;
        if (lateness > 1000 * 1000)
            ++over_one_ms_late_;
        deadline += kPeriodNs;
        if (now > deadline + kPeriodNs) {
            // A whole period late (the machine stalled us): go on from now, no burst.
            late_frames_ += (now - deadline) / kPeriodNs;
            deadline = now;
        }
        sleep_until(deadline);
    }
    end_ = end;
    if (end != End::Stopped && on_end_)
        on_end_(end);
}

int FrameStreamer::unsentBytes(int fd)
{
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0)
        return 0;
    return qMax(queued, 0);
}

FrameStreamer::Write FrameStreamer::writeAll(const QByteArray &frame)
{
    const char *bytes = frame.constData();
    size_t left = size_t(frame.size());
    const int64_t give_up = now_ns() + int64_t(stall_ms_) * 1000 * 1000;
    while (left > 0) {
        const ssize_t written = ::write(fd_, bytes, left);
        if (written > 0) {
            bytes += written;
            left -= size_t(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN) {
            error_ = errno;
            return Write::Failed;
        }
        // The line is full. A frame not yet begun is dropped when the stream is stopped; one
        // that has begun is finished, however long it takes within stallMs.
        if (stop_ && left == size_t(frame.size()))
            return Write::NotBegun;
        const int64_t wait_ms = (give_up - now_ns() + 999999) / (1000 * 1000);
        if (wait_ms <= 0) {
            error_ = EAGAIN;
            return Write::Failed;
        }
        pollfd pfd{fd_, POLLOUT, 0};
        if (::poll(&pfd, 1, int(qMin<int64_t>(wait_ms, 50))) > 0 &&
            (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            error_ = EIO;
            return Write::Failed;
        }
    }
    return Write::Done;
}
