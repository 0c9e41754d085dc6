// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device_session.h"

#include "device_selection.h"
#include "exit_codes.h"
#include "output.h"
#include "raw_text.h"
#include "signal_guard.h"

#include "device_link/serial_line.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

DeviceSession::DeviceSession(const Invocation &invocation) : invocation_(invocation)
{
    connect(&port_, &QSerialPort::readyRead, this, &DeviceSession::readDevice);
    serial_line::watch_for_loss(
        port_,
        [this] {
            lost_ = true;
            wait_.stop(EventWait::End::Lost);
        },
        [this] { close(); });
    connect(&port_, &QSerialPort::bytesWritten, &wait_, &EventWait::wake);
}

DeviceSession::~DeviceSession()
{
    close();
}

int DeviceSession::open()
{
    const SelectedNode node = select_node(invocation_);
    if (node.exitCode)
        return node.exitCode;
    return openNode(node.path);
}

int DeviceSession::openNode(const QString &path)
{
    if (!QFileInfo::exists(path)) {
        return output::fail(exit_code::kUnavailable,
                            QStringLiteral("cannot open %1: no such device node; check that the "
                                           "device is plugged in (kaldorium-lpt list)")
                                .arg(raw_text::printable(path)));
    }
    port_.setPortName(path);
    path_ = path;
    serial_line::apply_settings(port_);
    const serial_line::Opening opening = serial_line::open_exclusive(port_);
    if (opening.result == serial_line::Opening::Result::InUse) {
        QString holder = QStringLiteral("another program");
        if (opening.holder.pid > 0) {
            holder = QStringLiteral("PID %1").arg(opening.holder.pid);
            if (!opening.holder.name.isEmpty())
                holder += QStringLiteral(" (%1)").arg(raw_text::printable(opening.holder.name));
        }
        return output::fail(exit_code::kUnavailable,
                            QStringLiteral("%1 is in use by %2; close it first")
                                .arg(raw_text::printable(path), holder));
    }
    if (opening.result == serial_line::Opening::Result::Failed) {
        return output::fail(exit_code::kUnavailable,
                            QStringLiteral("cannot open %1: %2; check that it is the device's "
                                           "serial node and that you may use it")
                                .arg(raw_text::printable(path), opening.error));
    }
    serial_line::apply_baud_rate(port_);
    return 0;
}

QString DeviceSession::nodePath() const
{
    // Qt's port name drops /dev/ ("pts/3"); the path as chosen names the node unmistakably.
    return raw_text::printable(path_);
}

void DeviceSession::close()
{
    if (!port_.isOpen())
        return;
    // The kernel would wait up to 30 s at close for a device that takes nothing more.
    const int fd = nativeHandle();
    QElapsedTimer waited;
    waited.start();
    const auto unsent = [fd] {
        int queued = 0;
        return ::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0;
    };
    const SignalGuard *guard = SignalGuard::instance();
    while (!lost_ && unsent() && waited.elapsed() < invocation_.timeoutMs &&
           !(guard && guard->signalNumber()))
        ::usleep(2000);
    if (unsent())
        ::tcflush(fd, TCOFLUSH);
    port_.close();
}

int64_t DeviceSession::receiveMark() const
{
    int waiting = 0;
    if (!port_.isOpen() || ::ioctl(nativeHandle(), FIONREAD, &waiting) != 0)
        waiting = 0;
    return bytes_received_ + port_.bytesAvailable() + waiting;
}

int DeviceSession::send(const QList<QByteArray> &frames)
{
    for (const QByteArray &frame : frames) {
        if (lost_)
            break;
        if (port_.write(frame) != frame.size() && !lost_) {
            return output::fail(
                exit_code::kIoError,
                QStringLiteral("writing to %1 failed: %2").arg(nodePath(), port_.errorString()));
        }
    }
    const EventWait::End end =
        wait([this] { return port_.bytesToWrite() == 0; }, invocation_.timeoutMs);
    if (end == EventWait::End::TimedOut) {
        return output::fail(exit_code::kTempFail,
                            QStringLiteral("the device took no data within %1 ms; unplug it and "
                                           "plug it in again, or raise --timeout")
                                .arg(invocation_.timeoutMs));
    }
    return failure(end);
}

EventWait::End DeviceSession::awaitReplies(const QList<uint8_t> &types, int timeoutMs)
{
    return wait(
        [this, types] {
            for (uint8_t type : types) {
                if (!replies_.contains(type))
                    return false;
            }
            return true;
        },
        timeoutMs);
}

int DeviceSession::failure(EventWait::End end) const
{
    switch (end) {
    case EventWait::End::Done:
        return 0;
    case EventWait::End::Lost:
        return output::fail(exit_code::kIoError,
                            QStringLiteral("connection to the device lost; check the cable, plug "
                                           "the device in again and repeat the command"));
    case EventWait::End::Interrupted: {
        const SignalGuard *guard = SignalGuard::instance();
        return guard && guard->exitCode() ? guard->exitCode() : exit_code::kSignalBase;
    }
    case EventWait::End::TimedOut:
        break;
    }
    return output::fail(exit_code::kTempFail, QStringLiteral("no reply from the device in time"));
}

EventWait::End DeviceSession::wait(const std::function<bool()> &done, qint64 timeoutMs)
{
    if (lost_)
        return EventWait::End::Lost;
    return wait_.run(done, timeoutMs);
}

void DeviceSession::readDevice()
{
    const QByteArray bytes = port_.readAll();
    receive::take_notification(
        receive_, bytes.constData(), bytes.size(), [this](uint8_t) { ++bytes_received_; },
        [this](const receive::Event &event) {
            if (event.what == receive::Completed::ConfigReply)
                replies_.insert(receive_.config_type, receive_.input_config_data);
            if (onEvent)
                onEvent(event);
        });
    wait_.wake();
}
