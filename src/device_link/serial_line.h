// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_SERIAL_LINE_H
#define KALDORIUM_SERIAL_LINE_H

// The serial line to the device: its settings, applied the same way by the window and the
// command line, and telling a device that has gone (unplugged, rebooted) from a line that is
// merely busy.

#include "device_link/node_lock.h"

#include <QSerialPort>

#include <functional>

namespace serial_line {

// How an open ended.
struct Opening {
    enum class Result { Opened, InUse, Failed };
    Result result = Result::Failed;
    node_lock::Holder holder; // InUse: the program that has the device, as far as known
    QString error;            // Failed: why, in the system's words
};

// Opens the port's node for reading and writing, one program per device: the node is locked
// first (node_lock.h), so a program that is refused leaves the line of the one that has it
// untouched; the port then opens it, and the lock is given up when the port closes. InUse
// also when Qt's lock file for the name or the tty's exclusive mode refused it.
Opening open_exclusive(QSerialPort &port);

// 8 data bits, no parity, one stop bit, no flow control: set before every open.
void apply_settings(QSerialPort &port);
// 4,000,000 baud: set after a successful open. The result is not examined.
void apply_baud_rate(QSerialPort &port);

// True when the port's line has been hung up: the device is gone.
bool line_hung_up(const QSerialPort &port);

// True when an error the open port reported means the device behind it is gone. An unplugged
// device raises a resource error, a hung-up line read errors. A write that would block is
// reported as a resource error too; that is no loss, unless the line itself has hung up (Qt
// can read a stale errno at the end of a hung-up line).
bool is_device_lost(const QSerialPort &port, QSerialPort::SerialPortError error);

// What both programs do when the device behind the open port goes: an error that means it is
// gone (is_device_lost) or a hung-up line (watch_for_hang_up) is acted on once. on_noticed
// runs at once; on_lost runs queued, after Qt's own notification handler has returned, where
// the port may be closed, and closes it. Until then the line keeps raising errors, which are
// not acted on again; a port closed meanwhile ends it without on_lost. The watch lives as
// long as the port and serves every later open of it.
void watch_for_loss(QSerialPort &port, std::function<void()> on_noticed,
                    std::function<void()> on_lost);

// Looks at the open line every 100 ms and calls on_hang_up while it is hung up. Qt 5 reports
// a hung-up line as a read error; Qt 6.8 takes it for an empty read, reports nothing and keeps
// reading, so without this an idle port would never notice its device has gone. The check
// lives as long as the port.
void watch_for_hang_up(QSerialPort &port, std::function<void()> on_hang_up);

} // namespace serial_line

#endif
