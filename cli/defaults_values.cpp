// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "defaults_values.h"

#include "exit_codes.h"
#include "output.h"
#include "profile_file.h"
#include "raw_text.h"

#include <algorithm>

namespace defaults_values {

namespace {

const QString kFrom = QStringLiteral("from");

} // namespace

QCommandLineOption from_option()
{
    return {kFrom, QStringLiteral("Read the values from a profile file (- for standard input)."),
            QStringLiteral("FILE")};
}

int take(const Invocation &invocation, const QString &command, const QString &example,
         profile::Values *values)
{
    const bool from_file = invocation.isSet(kFrom);
    if (from_file == !invocation.arguments.isEmpty() ||
        (from_file && invocation.value(kFrom).isEmpty())) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("%1 needs KEY=VALUE pairs or --from FILE (not both); "
                                           "e.g. %2")
                                .arg(command, example));
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

std::array<bool, profile::kItemCount> given(const profile::Values &values)
{
    std::array<bool, profile::kItemCount> wanted = {};
    for (size_t index = 0; index < wanted.size(); ++index)
        wanted[index] = bool(values[index]);
    return wanted;
}

} // namespace defaults_values
