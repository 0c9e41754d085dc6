// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// defaults write KEY=VALUE... | --from FILE|-: store power-on items with the window's frames,
// then read them back and compare, unless --no-verify.

#include "commands.h"
#include "defaults_exchange.h"
#include "exit_codes.h"
#include "output.h"
#include "profile_file.h"
#include "raw_text.h"

#include <QJsonObject>
#include <QStringList>

#include <algorithm>

namespace {

const QString kFrom = QStringLiteral("from");
const QString kNoVerify = QStringLiteral("no-verify");

// The values to write, from the arguments or the profile file; 0 or the exit code.
int values_to_write(const Invocation &invocation, profile::Values *values)
{
    const bool from_file = invocation.isSet(kFrom);
    if (from_file == !invocation.arguments.isEmpty() ||
        (from_file && invocation.value(kFrom).isEmpty())) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("defaults write needs KEY=VALUE pairs or --from FILE "
                                           "(not both); e.g. kaldorium-lpt defaults write "
                                           "data.levels=0x81"));
    }
    QString problem;
    if (!from_file) {
        for (int index = 0; index < invocation.arguments.size(); ++index) {
            if (!profile::take_assignment(invocation.arguments[index], values, &problem)) {
                return output::fail(exit_code::kDataError,
                                    QStringLiteral("argument %1: %2; nothing was sent")
                                        .arg(index + 1)
                                        .arg(problem));
            }
        }
        return 0;
    }
    if (int code = profile_file::read(invocation.value(kFrom), values))
        return code;
    const QString where = invocation.value(kFrom) == QLatin1String("-")
                              ? QStringLiteral("stdin")
                              : raw_text::printable(invocation.value(kFrom));
    if (std::none_of(values->begin(), values->end(), [](const auto &value) { return bool(value); }))
        return output::fail(exit_code::kDataError,
                            QStringLiteral("%1 gives no key; nothing was sent").arg(where));
    return 0;
}

int run(const Invocation &invocation)
{
    profile::Values values;
    if (int code = values_to_write(invocation, &values))
        return code;

    DeviceSession session(invocation);
    if (int code = session.open())
        return code;
    if (int code = defaults_exchange::store(session, values))
        return code;

    const bool verify = !invocation.isSet(kNoVerify);
    if (verify) {
        std::array<bool, profile::kItemCount> wanted = {};
        for (int index = 0; index < profile::kItemCount; ++index)
            wanted[size_t(index)] = bool(values[size_t(index)]);
        profile::Values read_back;
        if (int code = defaults_exchange::read(session, invocation, wanted, &read_back))
            return code;
        QStringList differences;
        for (int index = 0; index < profile::kItemCount; ++index) {
            const profile::Item &item = profile::kItems[index];
            if (values[size_t(index)] && read_back[size_t(index)] != values[size_t(index)]) {
                differences.append(
                    QStringLiteral("%1 written %2, read back %3")
                        .arg(item.key, profile::format_value(item, *values[size_t(index)]),
                             profile::format_value(item, *read_back[size_t(index)])));
            }
        }
        if (!differences.isEmpty()) {
            return output::fail(exit_code::kIoError,
                                QStringLiteral("the device did not keep what was written: %1; "
                                               "write again, or check the device")
                                    .arg(differences.join(QStringLiteral("; "))));
        }
    }

    if (invocation.json) {
        output::print_json(QJsonObject{{QStringLiteral("node"), session.nodePath()},
                                       {QStringLiteral("verified"), verify},
                                       {QStringLiteral("written"), profile::to_json(values)}});
        return exit_code::kOk;
    }
    const QString state = verify ? QStringLiteral("stored, verified")
                                 : QStringLiteral("stored, unverified (--no-verify)");
    QString text;
    for (const QString &line : profile::format(values).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        text += line + QStringLiteral("  ") + state + QLatin1Char('\n');
    output::print(text);
    return exit_code::kOk;
}

} // namespace

Command defaults_write_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("defaults"), QStringLiteral("write")};
    command.arguments = QStringLiteral("KEY=VALUE... | --from FILE|-");
    command.summary = QStringLiteral("store power-on directions and levels, then verify them");
    command.examples = QStringList{
        QStringLiteral("kaldorium-lpt defaults write data.direction=output data.levels=0x81"),
        QStringLiteral("kaldorium-lpt --device C200 defaults write --from line3.profile")};
    command.options = {
        {kFrom, QStringLiteral("Read the values from a profile file (- for standard input)."),
         QStringLiteral("FILE")},
        {kNoVerify, QStringLiteral("Do not read the values back; they stay unverified.")},
    };
    command.run = run;
    return command;
}
