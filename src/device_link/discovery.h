// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_DISCOVERY_H
#define KALDORIUM_DISCOVERY_H

// How a KALDORIUM-LPT is told apart from the host's other serial ports and which device node
// belongs to it. The window's port list and the command line both go by these rules.

#include "host_ports.h"

#include <QList>
#include <QString>

namespace discovery {

// The manufacturer string must equal the device's exactly (letter case counts, no extra text).
bool is_device_port(const host::SerialPortEntry &port);

// The node that the first address key contained in a text selects ("c100" before "c200" ...,
// letter case ignored), or an empty string when the text holds none of the keys.
QString node_for_text(const QString &text);

// One recognised device: the address as its port describes it, the node chosen for it
// (empty when the description holds no address key), the system's name for the port and its
// USB serial number (empty where the host reports none).
struct Device {
    QString address;
    QString node;
    QString port;
    QString serial = QString();
};

// The recognised devices among the ports, in the order the host lists them.
QList<Device> find_devices(const QList<host::SerialPortEntry> &ports);

// The address key of a user's address text: "C100" ... "C800", any letter case, with or
// without "0x". Empty when the text names none of them.
QString address_key(const QString &text);

// True for an address key the device can be given ("C100", "C200": the window's list).
bool is_settable_address(const QString &key);

} // namespace discovery

#endif
