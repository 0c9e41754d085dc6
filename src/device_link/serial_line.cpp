// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "serial_line.h"

#include "device_contract.h"

#include <QTimer>

#include <cerrno>
#include <memory>
#include <poll.h>

namespace serial_line {

void apply_settings(QSerialPort &port)
{
    port.setDataBits(contract::kDataBits);
    port.setParity(contract::kParity);
    port.setStopBits(contract::kStopBits);
    port.setFlowControl(contract::kFlowControl);
}

namespace {

// The node a port opens: Qt keeps a name under /dev without that prefix.
QString node_path(const QSerialPort &port)
{
    const QString name = port.portName();
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1String("./")) ||
        name.startsWith(QLatin1String("../")))
        return name;
    return QStringLiteral("/dev/") + name;
}

} // namespace

Opening open_exclusive(QSerialPort &port)
{
    Opening opening;
    if (port.isOpen()) {
        opening.error = QStringLiteral("already open");
        return opening;
    }
    auto lock = std::make_unique<node_lock::NodeLock>();
    const QString node = node_path(port);
    switch (lock->take(node)) {
    case node_lock::NodeLock::Result::Locked:
        break;
    case node_lock::NodeLock::Result::InUse:
        opening.result = Opening::Result::InUse;
        opening.holder = node_lock::holder(node);
        return opening;
    case node_lock::NodeLock::Result::Failed:
        opening.error = lock->error();
        return opening;
    }
    if (!port.open(QIODevice::ReadWrite)) {
        lock.reset();
        // The node opened for the lock, so a permission error here is Qt's lock file of this
        // name, held by a program that takes no lock of its own.
        if (port.error() == QSerialPort::PermissionError) {
            opening.result = Opening::Result::InUse;
            opening.holder = node_lock::holder(node);
        } else {
            opening.error = port.errorString();
        }
        return opening;
    }
    // The lock lives as long as the port stays open.
    auto *keeper = new QObject(&port);
    QObject::connect(&port, &QIODevice::aboutToClose, keeper,
                     [keeper, held = std::shared_ptr<node_lock::NodeLock>(std::move(lock))] {
                         held->release();
                         keeper->deleteLater();
                     });
    opening.result = Opening::Result::Opened;
    return opening;
}

void apply_baud_rate(QSerialPort &port)
{
    port.setBaudRate(contract::kBaudRate, QSerialPort::AllDirections);
}

bool line_hung_up(const QSerialPort &port)
{
    pollfd line{int(port.handle()), POLLIN | POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&line, 1, 0); // a signal that interrupts it says nothing of the line
    } while (ready < 0 && errno == EINTR);
    return ready < 0 || (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool is_device_lost(const QSerialPort &port, QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return false;
    if (port.errorString() == qt_error_string(EAGAIN) && !line_hung_up(port))
        return false;
    return true;
}

void watch_for_loss(QSerialPort &port, std::function<void()> on_noticed,
                    std::function<void()> on_lost)
{
    auto pending = std::make_shared<bool>(false);
    const auto notice = [&port, pending, on_noticed = std::move(on_noticed),
                         on_lost = std::move(on_lost)](QSerialPort::SerialPortError error) {
        if (*pending || !port.isOpen() || !is_device_lost(port, error))
            return;
        *pending = true;
        if (on_noticed)
            on_noticed();
        QMetaObject::invokeMethod(
            &port,
            [&port, pending, on_lost] {
                *pending = false;
                if (port.isOpen())
                    on_lost();
            },
            Qt::QueuedConnection);
    };
    QObject::connect(&port, &QSerialPort::errorOccurred, &port, notice);
    watch_for_hang_up(port, [notice] { notice(QSerialPort::ResourceError); });
}

void watch_for_hang_up(QSerialPort &port, std::function<void()> on_hang_up)
{
    constexpr int kCheckIntervalMs = 100;
    auto *timer = new QTimer(&port);
    QObject::connect(timer, &QTimer::timeout, &port, [&port, on_hang_up = std::move(on_hang_up)] {
        if (port.isOpen() && line_hung_up(port))
            on_hang_up();
    });
    timer->start(kCheckIntervalMs);
}

} // namespace serial_line
