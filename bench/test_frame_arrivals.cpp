// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "test_frame_arrivals.h"

#include "device_link/frames.h"
#include "measure.h"
#include "pseudo_terminal.h"
#include "simulated_device_endpoint.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace bench {

namespace {

constexpr double kTickMs = frames::kFramePeriodMs;
// The host's unread input at which the line stops taking the device's reports, so that the
// device holds back as it does on a line of its own.
constexpr int kHostBacklogLimit = 3000;

// Waits until fd is ready for `events` or `stop` is signalled; false on stop or error.
bool wait_for(int fd, short events, int stop)
{
    pollfd fds[2] = {{fd, events, 0}, {stop, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || fds[1].revents)
            return false;
        if (fds[0].revents & (POLLERR | POLLNVAL))
            return false;
        return true;
    }
}

bool write_all(int fd, const char *bytes, ssize_t count, int stop)
{
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, size_t(count));
        if (written > 0) {
            bytes += written;
            count -= written;
        } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else if (!wait_for(fd, POLLOUT, stop)) {
            return false;
        }
    }
    return true;
}

// Finds the test output frames in the host's byte stream.
class FrameTracker {
public:
    // Returns true when this byte completed a test frame; its counter is then in `counter`.
    bool take(quint8 byte, quint8 &counter)
    {
        if (byte == frames::kMarker) {
            position_ = 1; // a marker always opens a frame (a command frame has two)
            return false;
        }
        if (position_ == 0)
            return false;
        if (position_ == frames::kTestFrameSize - 2)
            counter_ = byte;
        if (++position_ < frames::kTestFrameSize)
            return false;
        position_ = 0;
        counter = counter_;
        return true;
    }

private:
    int position_ = 0;
    quint8 counter_ = 0;
};

} // namespace

struct TestFrameArrivals::Relay {
    PseudoTerminal host_line; // the host opens its slave side
    int device_fd = -1;       // the device's own line, opened as the host would
    int stop = -1;
    std::mutex mutex;
    std::vector<Arrival> arrivals;
    std::thread host_to_device;
    std::thread device_to_host;

    void carry_host_bytes()
    {
        // The timestamps are only as good as this thread's wake-ups: let it run before
        // anything else on the machine where the system allows (root or CAP_SYS_NICE).
        sched_param realtime{};
        realtime.sched_priority = 10;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime);
        FrameTracker tracker;
        char buffer[4096];
        while (wait_for(host_line.masterFd(), POLLIN, stop)) {
            const ssize_t count = ::read(host_line.masterFd(), buffer, sizeof buffer);
            const qint64 now = monotonic_ns();
            if (count < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (count <= 0)
                return;
            for (ssize_t i = 0; i < count; ++i) {
                quint8 counter = 0;
                if (tracker.take(quint8(buffer[i]), counter)) {
                    std::lock_guard<std::mutex> lock(mutex);
                    arrivals.push_back({now, counter});
                }
            }
            if (!write_all(device_fd, buffer, count, stop))
                return;
        }
    }

    void carry_device_bytes()
    {
        char buffer[4096];
        for (;;) {
            const int unread = host_line.unreadBySlave();
            if (unread > kHostBacklogLimit) {
                pollfd stopped = {stop, POLLIN, 0};
                if (::poll(&stopped, 1, 1) != 0)
                    return;
                continue;
            }
            if (!wait_for(device_fd, POLLIN, stop))
                return;
            const ssize_t count = ::read(device_fd, buffer, sizeof buffer);
            if (count < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (count <= 0)
                return;
            if (!write_all(host_line.masterFd(), buffer, count, stop))
                return;
        }
    }
};

TestFrameArrivals::TestFrameArrivals(SimulatedDeviceEndpoint &device)
    : relay_(std::make_unique<Relay>())
{
    Relay &relay = *relay_;
    relay.arrivals.reserve(100 * 600);
    relay.device_fd = ::open(QFile::encodeName(device.slavePath()).constData(),
                             O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    relay.stop = ::eventfd(0, EFD_CLOEXEC);
    if (!relay.host_line.isOpen() || relay.device_fd < 0 || relay.stop < 0)
        qFatal("cannot put the recording line in front of the simulated device");
    termios tio{};
    if (::tcgetattr(relay.device_fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(relay.device_fd, TCSANOW, &tio);
    }
    // The host finds the device through its node link: lead that to the recording line.
    const QString link = device.linkPath();
    if (!link.isEmpty()) {
        QFile::remove(link);
        if (!QFile::link(relay.host_line.slavePath(), link))
            qFatal("cannot lead the device node to the recording line");
    }
    relay.host_to_device = std::thread([&relay] { relay.carry_host_bytes(); });
    relay.device_to_host = std::thread([&relay] { relay.carry_device_bytes(); });
}

TestFrameArrivals::~TestFrameArrivals()
{
    const uint64_t one = 1;
    if (::write(relay_->stop, &one, sizeof one) != sizeof one)
        qWarning("cannot stop the recording line");
    relay_->host_to_device.join();
    relay_->device_to_host.join();
    ::close(relay_->device_fd);
    ::close(relay_->stop);
}

QString TestFrameArrivals::hostPath() const
{
    return relay_->host_line.slavePath();
}

std::vector<Arrival> TestFrameArrivals::take()
{
    std::lock_guard<std::mutex> lock(relay_->mutex);
    return std::move(relay_->arrivals);
}

Gaps gaps_between(const std::vector<qint64> &times, qint64 from_ns, qint64 to_ns)
{
    std::vector<double> gaps;
    const qint64 *previous = nullptr;
    for (const qint64 &time : times) {
        if (time < from_ns || time > to_ns)
            continue;
        if (previous)
            gaps.push_back(double(time - *previous) / 1e6);
        previous = &time;
    }
    Gaps figures;
    if (!gaps.empty()) {
        figures.p1_ms = percentile(gaps, 1);
        figures.p50_ms = percentile(gaps, 50);
        figures.p99_ms = percentile(gaps, 99);
        figures.max_ms = *std::max_element(gaps.begin(), gaps.end());
        figures.min_ms = *std::min_element(gaps.begin(), gaps.end());
        const auto on_time = std::count_if(
            gaps.begin(), gaps.end(), [](double gap) { return std::fabs(gap - kTickMs) <= 0.5; });
        figures.within_half_ms_percent = 100.0 * double(on_time) / double(gaps.size());
    }
    return figures;
}

StreamFigures stream_figures(const std::vector<Arrival> &arrivals, qint64 from_ns, qint64 to_ns)
{
    StreamFigures figures;
    std::vector<qint64> times;
    const Arrival *previous = nullptr;
    for (const Arrival &arrival : arrivals) {
        if (arrival.ns < from_ns || arrival.ns > to_ns)
            continue;
        ++figures.frames;
        times.push_back(arrival.ns);
        if (previous)
            figures.frames_lost += frames::counter_gap(previous->counter, arrival.counter);
        previous = &arrival;
    }
    figures.frames_per_second = figures.frames / (double(to_ns - from_ns) / 1e9);
    figures.gaps = gaps_between(times, from_ns, to_ns);
    return figures;
}

void add_arrival_figures(QJsonObject &result, const StreamFigures &figures)
{
    result[QStringLiteral("frames")] = figures.frames;
    result[QStringLiteral("frames_per_second")] = figures.frames_per_second;
    result[QStringLiteral("gap_p1_ms")] = figures.gaps.p1_ms;
    result[QStringLiteral("gap_p50_ms")] = figures.gaps.p50_ms;
    result[QStringLiteral("gap_p99_ms")] = figures.gaps.p99_ms;
    result[QStringLiteral("gap_max_ms")] = figures.gaps.max_ms;
    result[QStringLiteral("gap_min_ms")] = figures.gaps.min_ms;
    result[QStringLiteral("gap_within_half_ms_percent")] = figures.gaps.within_half_ms_percent;
    result[QStringLiteral("frames_lost")] = figures.frames_lost;
}

} // namespace bench
