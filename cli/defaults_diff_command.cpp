// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// defaults diff KEY=VALUE... | --from FILE|-: reads the given power-on items from the device and
// names those that differ from the profile. Stores nothing. Exits 0 when they are equal and 1
// when they differ, as diff does.

#include "commands.h"
#include "defaults_exchange.h"
#include "defaults_values.h"
#include "exit_codes.h"
#include "output.h"

#include <QJsonObject>

namespace {

int run(const Invocation &invocation)
{
    profile::Values wanted;
    if (int code = defaults_values::take(
            invocation, QStringLiteral("defaults diff"),
            QStringLiteral("kaldorium-lpt defaults diff --from line3.profile"), &wanted))
        return code;

    DeviceSession session(invocation);
    if (int code = session.open())
        return code;
    profile::Values device;
    if (int code =
            defaults_exchange::read(session, invocation, defaults_values::given(wanted), &device))
        return code;

    QJsonObject differences;
    QString text;
    for (int index = 0; index < profile::kItemCount; ++index) {
        const auto &want = wanted[size_t(index)];
        const auto &have = device[size_t(index)];
        if (!want || have == want)
            continue;
        const profile::Item &item = profile::kItems[index];
        const QString key = QString::fromLatin1(item.key);
        differences.insert(key, QJsonObject{{QStringLiteral("device"), qint64(*have)},
                                            {QStringLiteral("profile"), qint64(*want)}});
        text +=
            QStringLiteral("%1: device %2, profile %3\n")
                .arg(key, profile::format_value(item, *have), profile::format_value(item, *want));
    }
    if (invocation.json) {
        output::print_json(QJsonObject{{QStringLiteral("node"), session.nodePath()},
                                       {QStringLiteral("equal"), differences.isEmpty()},
                                       {QStringLiteral("differences"), differences}});
    } else {
        output::print(text);
    }
    return differences.isEmpty() ? exit_code::kOk : exit_code::kDiffers;
}

} // namespace

Command defaults_diff_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("defaults"), QStringLiteral("diff")};
    command.arguments = QStringLiteral("KEY=VALUE... | --from FILE|-");
    command.summary = QStringLiteral("compare the power-on defaults with a profile (exit 1: "
                                     "they differ)");
    command.output = QStringLiteral(
        "One line per item that differs: KEY: device VALUE, profile VALUE; nothing when they "
        "agree. --json: {node, equal, differences: {KEY: {device, profile}}}.");
    command.exits = {{0, QStringLiteral("the device holds the profile's values")},
                     {1, QStringLiteral("they differ")},
                     {65, QStringLiteral("a bad key or value, or FILE is no profile")},
                     {66, QStringLiteral("FILE cannot be read")},
                     {69, QStringLiteral("no device, or it cannot be opened")},
                     {74, QStringLiteral("the device was lost")},
                     {75, QStringLiteral("no reply in time")}};
    command.examples = QStringList{
        QStringLiteral("kaldorium-lpt defaults diff --from line3.profile"),
        QStringLiteral("kaldorium-lpt --device C200 --json defaults diff data.levels=0x81")};
    command.options = {defaults_values::from_option()};
    command.run = run;
    return command;
}
