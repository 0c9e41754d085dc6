// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "serial_line.h"

#include "device_contract.h"

#include <QTimer>

#include <cerrno>
#include <poll.h>

namespace serial_line {

void apply_settings(QSerialPort &port)
{
    port.setDataBits(contract::kDataBits);
    port.setParity(contract::kParity);
    port.setStopBits(contract::kStopBits);
    port.setFlowControl(contract::kFlowControl);
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
