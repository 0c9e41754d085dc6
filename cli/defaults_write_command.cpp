// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// defaults write KEY=VALUE... | --from FILE|-: brings the device's power-on items to the given
// values. It reads them first and stores, with the window's frames, only those that differ;
// then reads the stored ones back and compares (unless --no-verify). --force stores every
// given item without reading first.

#include "commands.h"
#include "defaults_exchange.h"
#include "defaults_values.h"
#include "exit_codes.h"
#include "output.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <algorithm>

namespace {

const QString kNoVerify = QStringLiteral("no-verify");
const QString kForce = QStringLiteral("force");

bool any(const profile::Values &values)
{
    return std::any_of(values.begin(), values.end(), [](const auto &value) { return bool(value); });
}

// Reads the stored items back; 0 when the device holds what was sent, else the exit code.
int verify_stored(DeviceSession &session, const Invocation &invocation,
                  const profile::Values &stored)
{
    profile::Values read_back;
    if (int code = defaults_exchange::read(session, invocation, defaults_values::given(stored),
                                           &read_back))
        return code;
    QStringList differences;
    for (int index = 0; index < profile::kItemCount; ++index) {
        const auto &sent = stored[size_t(index)];
        const auto &kept = read_back[size_t(index)];
        if (!sent || kept == sent)
            continue;
        const profile::Item &item = profile::kItems[index];
        differences.append(QStringLiteral("%1 written %2, read back %3")
                               .arg(item.key, profile::format_value(item, *sent),
                                    profile::format_value(item, *kept)));
    }
    if (differences.isEmpty())
        return 0;
    return output::fail(exit_code::kIoError,
                        QStringLiteral("the device did not keep what was written: %1; write "
                                       "again, or check the device")
                            .arg(differences.join(QStringLiteral("; "))));
}

int run(const Invocation &invocation)
{
    profile::Values values;
    if (int code = defaults_values::take(
            invocation, QStringLiteral("defaults write"),
            QStringLiteral("kaldorium-lpt defaults write data.levels=0x81"), &values))
        return code;
    const bool force = invocation.isSet(kForce);
    const bool verify = !invocation.isSet(kNoVerify);

    DeviceSession session(invocation);
    if (int code = session.open())
        return code;

    // What the device holds now, and which of the given values differ from it.
    profile::Values before;
    profile::Values to_store = values;
    if (!force) {
        if (int code = defaults_exchange::read(session, invocation, defaults_values::given(values),
                                               &before))
            return code;
        for (size_t index = 0; index < values.size(); ++index) {
            if (before[index] == values[index])
                to_store[index].reset();
        }
    }
    const bool changed = any(to_store);
    if (changed) {
        if (int code = defaults_exchange::store(session, to_store))
            return code;
    }
    if (verify && changed) {
        if (int code = verify_stored(session, invocation, to_store))
            return code;
    }
    // From here on the device holds the given values: the stored ones were read back equal
    // (or go unverified), the others were read equal before.

    if (invocation.json) {
        QJsonObject items;
        for (size_t index = 0; index < values.size(); ++index) {
            if (!values[index])
                continue;
            items.insert(QString::fromLatin1(profile::kItems[index].key),
                         QJsonObject{{QStringLiteral("before"),
                                      before[index] ? QJsonValue(qint64(*before[index]))
                                                    : QJsonValue(QJsonValue::Null)},
                                     {QStringLiteral("after"), qint64(*values[index])},
                                     {QStringLiteral("changed"), bool(to_store[index])}});
        }
        output::print_json(QJsonObject{{QStringLiteral("node"), session.nodePath()},
                                       {QStringLiteral("verified"), verify},
                                       {QStringLiteral("written"), profile::to_json(values)},
                                       {QStringLiteral("changed"), changed},
                                       {QStringLiteral("items"), items}});
        return exit_code::kOk;
    }
    const QString stored = verify ? QStringLiteral("stored, verified")
                                  : QStringLiteral("stored, unverified (--no-verify)");
    QString text;
    for (size_t index = 0; index < values.size(); ++index) {
        if (!values[index])
            continue;
        const profile::Item &item = profile::kItems[index];
        text += QString::fromLatin1(item.key) + QLatin1Char('=') +
                profile::format_value(item, *values[index]) + QStringLiteral("  ") +
                (to_store[index] ? stored : QStringLiteral("unchanged")) + QLatin1Char('\n');
    }
    output::print(text);
    return exit_code::kOk;
}

} // namespace

Command defaults_write_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("defaults"), QStringLiteral("write")};
    command.arguments = QStringLiteral("KEY=VALUE... | --from FILE|-");
    command.summary =
        QStringLiteral("store the power-on directions and levels that differ, then verify them");
    command.output = QStringLiteral(
        "Each item given, with \"stored, verified\" (read back and compared), \"stored, "
        "unverified (--no-verify)\" or \"unchanged\" (the device held it already). --json: "
        "{node, verified, written, changed, items: {KEY: {before, after, changed}}}.");
    command.exits = {{0, QStringLiteral("the device holds the values (stored and verified, or "
                                        "unchanged)")},
                     {65, QStringLiteral("a bad key or value, or FILE is no profile; nothing "
                                         "was sent")},
                     {66, QStringLiteral("FILE cannot be read")},
                     {69, QStringLiteral("no device, or it cannot be opened")},
                     {74, QStringLiteral("the device was lost, or it did not keep what was "
                                         "written")},
                     {75, QStringLiteral("no reply in time")}};
    command.examples = QStringList{
        QStringLiteral("kaldorium-lpt defaults write data.direction=output data.levels=0x81"),
        QStringLiteral("kaldorium-lpt --device C200 defaults write --from line3.profile")};
    command.options = {
        defaults_values::from_option(),
        {kNoVerify, QStringLiteral("Do not read the stored values back; they stay unverified.")},
        {kForce, QStringLiteral("Store every given value without reading the device first.")},
    };
    command.run = run;
    return command;
}
