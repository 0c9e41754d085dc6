// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// defaults read: the five power-on items, as a profile (or JSON).

#include "commands.h"
#include "defaults_exchange.h"
#include "exit_codes.h"
#include "output.h"

namespace {

int run(const Invocation &invocation)
{
    if (!invocation.arguments.isEmpty()) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("defaults read takes no arguments; to keep the "
                                           "profile, use defaults save FILE"));
    }
    profile::Values values;
    QString node;
    if (int code = defaults_exchange::read_all(invocation, &values, &node))
        return code;
    if (invocation.json)
        output::print_json(profile::to_json(values));
    else
        output::print(profile::format(values));
    return exit_code::kOk;
}

} // namespace

Command defaults_read_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("defaults"), QStringLiteral("read")};
    command.summary = QStringLiteral("read the power-on directions and levels from the device");
    command.output = QStringLiteral(
        "The five items as a profile, one key=value a line (data.direction=output, "
        "data.levels=0x81, ...), as defaults write --from reads it. --json: {data: {direction, "
        "levels}, control: {direction, levels}, status: {levels}}, levels as numbers.");
    command.exits = {
        {0, QStringLiteral("all five items read")},
        {69, QStringLiteral("no device, or it cannot be opened")},
        {74, QStringLiteral("the device was lost")},
        {75, QStringLiteral("no valid reply in time; the items without one are named")}};
    command.examples =
        QStringList{QStringLiteral("kaldorium-lpt defaults read"),
                    QStringLiteral("kaldorium-lpt --device C200 --json defaults read")};
    command.run = run;
    return command;
}
