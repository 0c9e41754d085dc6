// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// list: the recognised devices, one line each, in the order the host lists its ports.

#include "commands.h"
#include "exit_codes.h"
#include "output.h"

#include "device_link/discovery.h"
#include "device_link/host_ports.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {

int run(const Invocation &invocation)
{
    const QList<discovery::Device> devices = discovery::find_devices(host::available_ports());
    QJsonArray array;
    QString text;
    for (const discovery::Device &device : devices) {
        const QString node =
            device.node.isEmpty() ? QString() : host::device_node_path(device.node);
        const bool present = !node.isEmpty() && QFileInfo::exists(node);
        array.append(QJsonObject{{QStringLiteral("address"), device.address},
                                 {QStringLiteral("node"), node},
                                 {QStringLiteral("port"), device.port},
                                 {QStringLiteral("node_present"), present}});
        text +=
            QStringLiteral("%1  %2  %3").arg(device.address, -6).arg(node, -26).arg(device.port);
        if (node.isEmpty())
            text += QStringLiteral("  no address key in the description");
        else if (!present)
            text += QStringLiteral("  node missing (are the udev rules installed? see "
                                   "kaldorium-lpt(1))");
        text += QLatin1Char('\n');
    }
    if (invocation.json)
        output::print_json(array);
    else
        output::print(text);
    if (devices.isEmpty())
        return output::fail(exit_code::kUnavailable,
                            QStringLiteral("no KALDORIUM-LPT found; plug one in and check that "
                                           "the system sees it (dmesg)"));
    return exit_code::kOk;
}

} // namespace

Command list_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("list")};
    command.summary = QStringLiteral("list the attached devices: address, node, system port");
    command.output = QStringLiteral(
        "One line per recognised device: its address, its node and the system's port, with a "
        "note where the node is missing. --json: one array of {address, node, port, "
        "node_present}.");
    command.exits = {{0, QStringLiteral("at least one device listed")},
                     {69, QStringLiteral("no KALDORIUM-LPT found")}};
    command.examples = QStringList{QStringLiteral("kaldorium-lpt list"),
                                   QStringLiteral("kaldorium-lpt list --json")};
    command.run = run;
    return command;
}
