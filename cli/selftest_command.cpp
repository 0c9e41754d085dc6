// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// selftest [--plug NAME|FILE]: every pin through a loopback plug on the DB-25 connector,
// without a person watching. Exit 1 when the device fails, as cmp and diff say "differs".

#include "commands.h"
#include "device_session.h"
#include "exit_codes.h"
#include "output.h"
#include "selftest_plug.h"
#include "selftest_run.h"

namespace {

const QString kPlug = QStringLiteral("plug");
constexpr int kFailed = 1;

int run(const Invocation &invocation)
{
    if (!invocation.arguments.isEmpty()) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("unexpected argument \"%1\"; the plug goes with "
                                           "--plug, e.g. kaldorium-lpt selftest --plug checkit")
                                .arg(invocation.arguments.first()));
    }
    selftest::Plug plug;
    if (int code = selftest::load_plug(invocation.value(kPlug), &plug))
        return code;

    DeviceSession session(invocation);
    if (int code = session.open())
        return code;
    selftest::Report report;
    if (int code = selftest::run(session, invocation, plug, &report))
        return code;
    session.close();

    if (invocation.json) {
        output::print_json(selftest::to_json(report));
    } else {
        QString text;
        for (int net = 0; net < plug.nets.size(); ++net)
            text += selftest::net_line(report, net) + QLatin1Char('\n');
        output::print(text + selftest::summary_line(report) + QLatin1Char('\n'));
    }
    return report.passed() ? exit_code::kOk : kFailed;
}

} // namespace

Command selftest_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("selftest")};
    command.arguments = QStringLiteral("[--plug NAME|FILE]");
    command.summary = QStringLiteral("test every pin through a loopback plug (exit 1: failed)");
    command.output = QStringLiteral(
        "One line per net of the plug: its pins and ok, or what is wrong (stuck low or high, "
        "open, shorted); then the summary. --json: {plug, nets: [{pins, result, detail}], "
        "passed, seconds}.");
    command.exits = {{0, QStringLiteral("every net passed")},
                     {1, QStringLiteral("the device failed: a net is not ok")},
                     {65, QStringLiteral("the plug file is no plug")},
                     {66, QStringLiteral("the plug file cannot be read")},
                     {69, QStringLiteral("no device, or it cannot be opened")},
                     {74, QStringLiteral("the device was lost, or reported errors at every try")},
                     {75, QStringLiteral("no status frame or reply in time")}};
    command.examples =
        QStringList{QStringLiteral("kaldorium-lpt selftest"),
                    QStringLiteral("kaldorium-lpt --device C200 selftest --plug checkit --json"),
                    QStringLiteral("kaldorium-lpt selftest --plug my-plug.txt")};
    command.options = {
        {kPlug,
         QStringLiteral("The plug on the connector: passmark (the default: 2-15, 3-13, 4-12, "
                        "5-10, 6-11), checkit (2-15, 13-1, 12-14, 10-16, 11-17), full, or a "
                        "file with one net a line (2-15, # comments)."),
         QStringLiteral("NAME|FILE"), QStringLiteral("passmark")},
    };
    command.run = run;
    return command;
}
