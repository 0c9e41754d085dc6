// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "simulated_device_endpoint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QVector>

namespace {

constexpr int kFloodTickMs = 1;
constexpr int kFloodBacklogMin = 3000;
constexpr int kOutboxLimit = 4096; // no status frame is made while this much is unsent

// Device events gathered under the mutex and emitted after it is released.
struct Event {
    bool test = false;
    uint8_t code = 0;
    uint32_t value = 0;
};

} // namespace

SimulatedDeviceEndpoint::SimulatedDeviceEndpoint(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<quint8>("quint8");
    qRegisterMetaType<quint32>("quint32");
}

SimulatedDeviceEndpoint::~SimulatedDeviceEndpoint()
{
    if (QThread::currentThread() == thread() || !thread() || !thread()->isRunning())
        detach();
    else
        drop();
}

template <typename F> void SimulatedDeviceEndpoint::inOwnThread(F &&f)
{
    if (QThread::currentThread() == thread())
        f();
    else
        QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

// --- Settings -----------------------------------------------------------------------------

void SimulatedDeviceEndpoint::setLinkDirectory(const QString &directory)
{
    inOwnThread([this, directory] {
        removeLink();
        link_dir_ = directory;
        updateLink();
    });
}

void SimulatedDeviceEndpoint::setStatusInterval(int ms)
{
    inOwnThread([this, ms] {
        status_interval_ms_ = qMax(1, ms);
        restartPacing();
    });
}

void SimulatedDeviceEndpoint::setFloodRate(int bytesPerSecond)
{
    inOwnThread([this, bytesPerSecond] {
        flood_rate_ = qMax(0, bytesPerSecond);
        restartPacing();
    });
}

void SimulatedDeviceEndpoint::setBootloaderDropDelay(int ms)
{
    inOwnThread([this, ms] { bootloader_drop_delay_ms_ = qMax(0, ms); });
}

void SimulatedDeviceEndpoint::setHostBacklogLimit(int bytes)
{
    inOwnThread([this, bytes] { backlog_limit_ = qMax(0, bytes); });
}

void SimulatedDeviceEndpoint::setAddressShownAfterReplug(bool on)
{
    inOwnThread([this, on] { address_after_replug_ = on; });
}

void SimulatedDeviceEndpoint::setPlug(const loopback::Plug &plug)
{
    inOwnThread([this, plug] {
        QMutexLocker lock(&mutex_);
        device_.setPlug(plug);
    });
}

void SimulatedDeviceEndpoint::setFaults(const SimulatedDevice::Faults &faults)
{
    inOwnThread([this, faults] {
        QMutexLocker lock(&mutex_);
        device_.setFaults(faults);
    });
}

// --- Queries ------------------------------------------------------------------------------

bool SimulatedDeviceEndpoint::isAttached() const
{
    QMutexLocker lock(&mutex_);
    return !slave_path_.isEmpty();
}

bool SimulatedDeviceEndpoint::isStalled() const
{
    QMutexLocker lock(&mutex_);
    return stalled_;
}

QString SimulatedDeviceEndpoint::slavePath() const
{
    QMutexLocker lock(&mutex_);
    return slave_path_;
}

QString SimulatedDeviceEndpoint::linkPath() const
{
    QMutexLocker lock(&mutex_);
    return link_path_;
}

QString SimulatedDeviceEndpoint::description() const
{
    QMutexLocker lock(&mutex_);
    return slave_path_.isEmpty() ? QString() : shown_description_;
}

SimulatedDevice SimulatedDeviceEndpoint::snapshot() const
{
    QMutexLocker lock(&mutex_);
    SimulatedDevice copy = device_;
    copy.onTestFrame = nullptr;
    copy.onCommand = nullptr;
    return copy;
}

SimulatedDeviceEndpoint::Traffic SimulatedDeviceEndpoint::traffic() const
{
    QMutexLocker lock(&mutex_);
    return traffic_;
}

// --- Plugging -----------------------------------------------------------------------------

void SimulatedDeviceEndpoint::start()
{
    inOwnThread([this] {
        if (!pty_)
            attach();
    });
}

void SimulatedDeviceEndpoint::drop()
{
    inOwnThread([this] {
        if (!pty_)
            return;
        detach();
        emit dropped();
    });
}

void SimulatedDeviceEndpoint::reconnect()
{
    inOwnThread([this] {
        if (pty_) {
            detach();
            emit dropped();
        }
        attach();
    });
}

void SimulatedDeviceEndpoint::attach()
{
    auto pty = std::make_unique<PseudoTerminal>();
    if (!pty->isOpen()) {
        qWarning("SimulatedDeviceEndpoint: no pseudo-terminal available");
        return;
    }
    ++session_;
    pty_ = std::move(pty);
    outbox_.clear();
    {
        QMutexLocker lock(&mutex_);
        device_.powerOn();
        slave_path_ = pty_->slavePath();
        shown_description_ = device_.description();
        stalled_ = false;
    }
    read_notifier_ = new QSocketNotifier(pty_->masterFd(), QSocketNotifier::Read, this);
    connect(read_notifier_, &QSocketNotifier::activated, this, [this] { readHost(); });
    write_notifier_ = new QSocketNotifier(pty_->masterFd(), QSocketNotifier::Write, this);
    write_notifier_->setEnabled(false);
    connect(write_notifier_, &QSocketNotifier::activated, this, [this] { flush(); });
    status_timer_ = new QTimer(this);
    status_timer_->setTimerType(Qt::PreciseTimer);
    connect(status_timer_, &QTimer::timeout, this, [this] { sendStatus(); });
    restartPacing();
    updateLink();
    emit attached(pty_->slavePath());
}

void SimulatedDeviceEndpoint::detach()
{
    ++session_;
    delete read_notifier_; // the notifiers go before the descriptor they watch
    read_notifier_ = nullptr;
    delete write_notifier_;
    write_notifier_ = nullptr;
    delete status_timer_;
    status_timer_ = nullptr;
    removeLink();
    pty_.reset(); // closes the master: the host sees the line hang up
    outbox_.clear();
    QMutexLocker lock(&mutex_);
    slave_path_.clear();
}

void SimulatedDeviceEndpoint::setStalled(bool stalled)
{
    inOwnThread([this, stalled] {
        {
            QMutexLocker lock(&mutex_);
            stalled_ = stalled;
        }
        if (read_notifier_)
            read_notifier_->setEnabled(!stalled && !device_.inBootloader());
        if (!stalled && pty_ && !device_.inBootloader())
            readHost(); // take what queued up meanwhile
    });
}

void SimulatedDeviceEndpoint::injectErrors(quint8 bits)
{
    inOwnThread([this, bits] {
        QMutexLocker lock(&mutex_);
        device_.injectErrors(bits);
    });
}

void SimulatedDeviceEndpoint::setExternalNets(quint8 nets)
{
    inOwnThread([this, nets] {
        QMutexLocker lock(&mutex_);
        device_.setExternalNets(nets);
    });
}

// --- Traffic ------------------------------------------------------------------------------

void SimulatedDeviceEndpoint::readHost()
{
    if (!pty_)
        return;
    const QByteArray bytes = pty_->readAvailable();
    if (bytes.isEmpty())
        return;

    QVector<Event> events;
    QByteArray replies;
    bool entered_bootloader = false;
    bool address_changed = false;
    uint32_t address = 0;
    {
        QMutexLocker lock(&mutex_);
        traffic_.bytesFromHost += bytes.size();
        const bool was_in_bootloader = device_.inBootloader();
        const QString node_before = device_.nodeName();
        device_.onTestFrame = [&events](uint8_t counter) { events.append({true, counter, 0}); };
        device_.onCommand = [&events](uint8_t code, uint32_t value) {
            events.append({false, code, value});
        };
        replies = device_.takeHostBytes(bytes);
        device_.onTestFrame = nullptr;
        device_.onCommand = nullptr;
        entered_bootloader = !was_in_bootloader && device_.inBootloader();
        address_changed = device_.nodeName() != node_before;
        address = device_.address();
        if (address_changed && !address_after_replug_)
            shown_description_ = device_.description();
    }
    outbox_ += replies;
    flush();
    if (address_changed && !address_after_replug_)
        updateLink();

    for (const Event &event : events) {
        if (event.test)
            emit testFrameReceived(event.code);
        else
            emit commandReceived(event.code, event.value);
    }
    if (address_changed)
        emit addressChanged(address);
    if (entered_bootloader && pty_) {
        // Silent from now on; the USB serial device goes away shortly after.
        read_notifier_->setEnabled(false);
        status_timer_->stop();
        const int session = session_;
        QTimer::singleShot(bootloader_drop_delay_ms_, this, [this, session] {
            if (session == session_)
                drop();
        });
        emit bootloaderEntered();
    }
}

void SimulatedDeviceEndpoint::restartPacing()
{
    if (!status_timer_)
        return;
    if (device_.inBootloader()) {
        status_timer_->stop();
        return;
    }
    flood_sent_ = 0;
    flood_clock_.start();
    status_timer_->start(flood_rate_ > 0 ? kFloodTickMs : status_interval_ms_);
}

void SimulatedDeviceEndpoint::sendStatus()
{
    if (!pty_)
        return;
    int frames = 1;
    int backlog_limit = backlog_limit_;
    if (flood_rate_ > 0) {
        const qint64 due = flood_clock_.nsecsElapsed() * flood_rate_ / 1000000000;
        const qint64 most = qMax<qint64>(frames::kInputFrameSize, flood_rate_ / 50); // 20 ms
        if (due - flood_sent_ > most)
            flood_sent_ = due - most; // behind: no catch-up burst
        frames = int((due - flood_sent_) / frames::kInputFrameSize);
        flood_sent_ += qint64(frames) * frames::kInputFrameSize;
        backlog_limit = qMax(backlog_limit, kFloodBacklogMin);
    }
    if (frames <= 0)
        return;

    const int unread = pty_->unreadBySlave();
    if (unread > backlog_limit || outbox_.size() > kOutboxLimit) {
        QMutexLocker lock(&mutex_);
        traffic_.statusFramesHeldBack += frames;
        return;
    }
    {
        QMutexLocker lock(&mutex_);
        outbox_.reserve(outbox_.size() + frames * frames::kInputFrameSize);
        for (int i = 0; i < frames; ++i)
            outbox_ += device_.statusFrame();
        traffic_.statusFramesSent += frames;
    }
    flush();
}

void SimulatedDeviceEndpoint::flush()
{
    if (!pty_ || outbox_.isEmpty()) {
        if (write_notifier_)
            write_notifier_->setEnabled(false);
        return;
    }
    const int written = pty_->writeSome(outbox_);
    if (written > 0) {
        outbox_.remove(0, written);
        QMutexLocker lock(&mutex_);
        traffic_.bytesToHost += written;
    } else if (written < 0) {
        outbox_.clear();
    }
    write_notifier_->setEnabled(!outbox_.isEmpty());
}

// --- Device node link ---------------------------------------------------------------------

void SimulatedDeviceEndpoint::updateLink()
{
    removeLink();
    if (link_dir_.isEmpty() || !pty_)
        return;
    QString node;
    {
        QMutexLocker lock(&mutex_);
        node = device_.nodeName();
    }
    QDir().mkpath(link_dir_);
    const QString path = QDir(link_dir_).filePath(node);
    const QFileInfo existing(path);
    if (existing.isSymLink())
        QFile::remove(path); // a stale link, e.g. of an earlier run
    if (!QFile::link(pty_->slavePath(), path)) {
        qWarning("SimulatedDeviceEndpoint: cannot make the link %s", qPrintable(path));
        return;
    }
    QMutexLocker lock(&mutex_);
    link_path_ = path;
}

void SimulatedDeviceEndpoint::removeLink()
{
    QString path;
    {
        QMutexLocker lock(&mutex_);
        path = link_path_;
        link_path_.clear();
    }
    // Only our own link: another endpoint may have taken the name meanwhile.
    if (!path.isEmpty() && pty_ && QFileInfo(path).symLinkTarget() == pty_->slavePath())
        QFile::remove(path);
}
