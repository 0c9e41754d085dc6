// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "host_ports.h"

#include "discovery.h"

#include <QSerialPortInfo>

namespace host {

namespace {

// Replaced only by the demo and the tests; empty means the host's own.
PortEnumerator replaced_enumerator;
QString replaced_node_directory;

} // namespace

QList<SerialPortEntry> available_ports()
{
    if (replaced_enumerator)
        return replaced_enumerator();
    QList<SerialPortEntry> entries;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        entries.append({info.manufacturer(), info.description(), info.portName()});
    return entries;
}

void set_port_enumerator(PortEnumerator enumerator)
{
    replaced_enumerator = std::move(enumerator);
}

QString device_node_directory()
{
    return replaced_node_directory.isEmpty() ? QStringLiteral("/dev") : replaced_node_directory;
}

void set_device_node_directory(const QString &directory)
{
    replaced_node_directory = directory;
}

QString device_node_path(const QString &node)
{
    return device_node_directory() + QLatin1Char('/') + node;
}

QString node_for_item_text(const QString &text)
{
    return discovery::node_for_text(text);
}

} // namespace host
