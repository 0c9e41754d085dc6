// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// address set ADDR: the window's Set, from the command line. The device acknowledges nothing,
// so nothing is claimed beyond the frame having gone out.

#include "commands.h"
#include "device_session.h"
#include "exit_codes.h"
#include "output.h"
#include "raw_text.h"

#include "device_link/device_contract.h"
#include "device_link/discovery.h"
#include "device_link/frames.h"

#include <QJsonObject>

namespace {

int run(const Invocation &invocation)
{
    if (invocation.arguments.size() != 1) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("address set needs one address, C100 or C200; e.g. "
                                           "kaldorium-lpt address set C200"));
    }
    const QString address = discovery::address_key(invocation.arguments.first());
    if (!discovery::is_settable_address(address)) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("%1 is no address the device can take; give C100 "
                                           "or C200")
                                .arg(raw_text::quoted(invocation.arguments.first())));
    }
    const QByteArray frame =
        frames::command_frame(contract::SetAddress, uint32_t(address.toUInt(nullptr, 16)));

    DeviceSession session(invocation);
    if (int code = session.open())
        return code;
    if (int code = session.send({frame}))
        return code;

    if (invocation.json) {
        output::print_json(
            QJsonObject{{QStringLiteral("node"), session.nodePath()},
                        {QStringLiteral("address"), address},
                        {QStringLiteral("frame"), QString::fromLatin1(frame.toHex())},
                        {QStringLiteral("verified"), false}});
    } else {
        output::print(
            QStringLiteral("sent address %1 (%2) to %3\n"
                           "the device acknowledges nothing: unplug it and plug it in "
                           "again, then check with kaldorium-lpt list\n")
                .arg(address, QString::fromLatin1(frame.toHex(' ').toUpper()), session.nodePath()));
    }
    return exit_code::kOk;
}

} // namespace

Command address_set_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("address"), QStringLiteral("set")};
    command.arguments = QStringLiteral("ADDR");
    command.summary = QStringLiteral("give the device the port address C100 or C200");
    command.output = QStringLiteral(
        "The frame sent, and that the device acknowledges nothing (unplug it, plug it in "
        "again, check with kaldorium-lpt list). --json: {node, address, frame, verified: "
        "false}.");
    command.exits = {{0, QStringLiteral("the frame went out")},
                     {69, QStringLiteral("no device, or it cannot be opened")},
                     {74, QStringLiteral("the device was lost")},
                     {75, QStringLiteral("the device took no data in time")}};
    command.examples = QStringList{QStringLiteral("kaldorium-lpt --device C100 address set C200")};
    command.run = run;
    return command;
}
