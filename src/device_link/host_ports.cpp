// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "host_ports.h"

#include "discovery.h"

#include <QFile>
#include <QSerialPortInfo>

namespace host {

namespace {

// Replaced only by the demo and the tests; empty means the host's own.
PortEnumerator replaced_enumerator;
QString replaced_node_directory;

// A sysfs attribute as the kernel shows it, without its closing newline (and, as udev reads
// attributes, without trailing white space). Null when the attribute is missing.
QString sysfs_text(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QString text = QString::fromUtf8(file.read(4096));
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

// Where udev does not run (a container, a toolbox, a system without it), Qt reports no
// strings for a port, though the kernel shows the USB device's own manufacturer and product
// strings in sysfs: the same strings udev would have reported. (Where udev runs, a port
// without strings is one it has not processed yet: it gives them, its node and the access
// to it in a moment, and the port counts from then on.) The USB device is the
// first device above the tty's own that has an idVendor attribute (a CDC-ACM tty sits on an
// interface of it, a usb-serial tty one level lower). The ".." steps are taken by the kernel
// on the sysfs links.
void fill_from_sysfs(SerialPortEntry &entry)
{
    if (entry.portName.isEmpty() || entry.portName.contains(QLatin1Char('/')) ||
        entry.portName.startsWith(QLatin1Char('.')))
        return;
    QString device = QStringLiteral("/sys/class/tty/") + entry.portName + QStringLiteral("/device");
    for (int level = 0; level < 4; ++level, device += QStringLiteral("/..")) {
        if (!QFile::exists(device + QStringLiteral("/idVendor")))
            continue;
        const QString manufacturer = sysfs_text(device + QStringLiteral("/manufacturer"));
        const QString product = sysfs_text(device + QStringLiteral("/product"));
        if (!manufacturer.isNull() && !product.isNull()) {
            entry.manufacturer = manufacturer;
            entry.description = product;
            if (entry.serialNumber.isEmpty())
                entry.serialNumber = sysfs_text(device + QStringLiteral("/serial"));
        }
        return;
    }
}

} // namespace

QList<SerialPortEntry> available_ports()
{
    if (replaced_enumerator)
        return replaced_enumerator();
    QList<SerialPortEntry> entries;
    // libudev's own sign of a running udev: its control socket.
    const bool udev_running = QFile::exists(QStringLiteral("/run/udev/control"));
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        SerialPortEntry entry{info.manufacturer(), info.description(), info.portName(),
                              info.serialNumber()};
        if (entry.manufacturer.isEmpty() && !udev_running)
            fill_from_sysfs(entry);
        entries.append(entry);
    }
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
