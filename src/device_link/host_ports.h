// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_HOST_PORTS_H
#define KALDORIUM_HOST_PORTS_H

// The two things the program asks of the host about serial ports: which ports exist (with
// their manufacturer and description strings) and in which directory the device nodes
// "KALDORIUM_LPT_C100" ... live. Both are replaceable so that a simulated device on a
// pseudo-terminal can stand where a real one would; by default they are QSerialPortInfo
// and /dev.

#include <QList>
#include <QString>

#include <functional>

namespace host {

struct SerialPortEntry {
    QString manufacturer;
    QString description;
    QString portName = QString();     // the system's name for the port, e.g. "ttyACM0"
    QString serialNumber = QString(); // the USB serial number; empty where there is none
};

using PortEnumerator = std::function<QList<SerialPortEntry>()>;

// The serial ports of the host, in the order the host lists them. Where udev does not run,
// a USB port gets the manufacturer and product strings of its USB device from sysfs.
QList<SerialPortEntry> available_ports();

// Replaces the enumeration; an empty function restores QSerialPortInfo::availablePorts().
void set_port_enumerator(PortEnumerator enumerator);

// The directory that holds the device nodes ("/dev" unless replaced).
QString device_node_directory();

// Replaces the directory; an empty string restores "/dev".
void set_device_node_directory(const QString &directory);

// Full path of a device node, e.g. "/dev/KALDORIUM_LPT_C100".
QString device_node_path(const QString &node);

// The node that the first address key contained in an item text selects (letter case
// ignored), or an empty string when the text holds none of the keys.
QString node_for_item_text(const QString &text);

} // namespace host

#endif
