// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device_selection.h"

#include "exit_codes.h"
#include "output.h"
#include "raw_text.h"

#include "device_link/discovery.h"
#include "device_link/host_ports.h"

#include <QFileInfo>
#include <QStringList>

#include <unistd.h>

namespace {

QStringList addresses(const QList<discovery::Device> &devices)
{
    QStringList list;
    for (const discovery::Device &device : devices)
        list.append(device.address);
    return list;
}

SelectedNode node_of(const discovery::Device &device)
{
    if (device.node.isEmpty()) {
        return {output::fail(exit_code::kUnavailable,
                             QStringLiteral("the KALDORIUM-LPT on %1 reports the address \"%2\", "
                                            "which names no device node; give its node with --port")
                                 .arg(device.port, device.address)),
                QString()};
    }
    bool own = false;
    const QString node = device_node(device, &own);
    if (own) {
        output::note(QStringLiteral("%1 is missing (udev has not applied the rules); "
                                    "opening the device's own node %2")
                         .arg(host::device_node_path(device.node), node));
    }
    return {0, node};
}

// --port NODE: a path as it is; a bare name that exists in the working directory is that file
// (--port lpt beside ./lpt); any other bare name is the system's node /dev/NAME (ttyACM0).
QString port_path(const QString &port)
{
    if (port.contains(QLatin1Char('/')))
        return port;
    if (::access(raw_text::encode(port).constData(), F_OK) == 0)
        return QStringLiteral("./") + port;
    return QStringLiteral("/dev/") + port;
}

} // namespace

QString device_node(const discovery::Device &device, bool *ownNode)
{
    if (ownNode)
        *ownNode = false;
    if (device.node.isEmpty())
        return QString();
    const QString node = host::device_node_path(device.node);
    if (QFileInfo::exists(node) || device.port.isEmpty())
        return node;
    const QString own = host::device_node_path(device.port);
    if (!QFileInfo::exists(own))
        return node;
    if (ownNode)
        *ownNode = true;
    return own;
}

SelectedNode select_node(const Invocation &invocation)
{
    if (!invocation.port.isEmpty())
        return {0, port_path(invocation.port)};

    const QList<discovery::Device> devices = discovery::find_devices(host::available_ports());
    if (!invocation.device.isEmpty()) {
        const QString wanted = discovery::node_for_text(invocation.device);
        for (const discovery::Device &device : devices) {
            if (device.node == wanted)
                return node_of(device);
        }
        const QString found = devices.isEmpty() ? QStringLiteral("none is attached")
                                                : QStringLiteral("attached: ") +
                                                      addresses(devices).join(QStringLiteral(", "));
        return {output::fail(exit_code::kUnavailable,
                             QStringLiteral("no KALDORIUM-LPT with address %1 found (%2); see "
                                            "kaldorium-lpt list")
                                 .arg(invocation.device, found)),
                QString()};
    }
    if (devices.isEmpty()) {
        return {output::fail(exit_code::kUnavailable,
                             QStringLiteral("no KALDORIUM-LPT found; plug one in, or give its "
                                            "node with --port")),
                QString()};
    }
    if (devices.size() > 1) {
        return {output::fail(exit_code::kUsage,
                             QStringLiteral("several KALDORIUM-LPT devices: %1; choose one with "
                                            "--device")
                                 .arg(addresses(devices).join(QStringLiteral(", ")))),
                QString()};
    }
    return node_of(devices.first());
}
