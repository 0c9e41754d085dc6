// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// defaults save FILE|-: defaults read into a profile file, written whole or not at all.

#include "commands.h"
#include "defaults_exchange.h"
#include "exit_codes.h"
#include "output.h"
#include "output_file.h"
#include "raw_text.h"

#include <QDateTime>
#include <QJsonObject>

namespace {

int run(const Invocation &invocation)
{
    if (invocation.arguments.size() != 1) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("defaults save needs one file (or - for standard "
                                           "output); e.g. kaldorium-lpt defaults save "
                                           "line3.profile"));
    }
    OutputFile file(raw_text::encode(invocation.arguments.first()));
    // Made before the device is asked, so that an unwritable place fails first; the profile
    // replaces the file only at commit().
    if (int code = file.open())
        return code;
    profile::Values values;
    QString node;
    if (int code = defaults_exchange::read_all(invocation, &values, &node))
        return code; // uncommitted: the target stays as it was

    const QString text = QStringLiteral("# KALDORIUM-LPT power-on defaults, read from %1 on %2\n")
                             .arg(raw_text::header_safe(node),
                                  QDateTime::currentDateTimeUtc().toString(Qt::ISODate)) +
                         profile::format(values);
    file.write(text.toUtf8());
    if (int code = file.commit())
        return code;
    if (file.isStandardOutput())
        return exit_code::kOk;
    if (invocation.json) {
        output::print_json(QJsonObject{{QStringLiteral("node"), raw_text::printable(node)},
                                       {QStringLiteral("file"), file.displayName()},
                                       {QStringLiteral("defaults"), profile::to_json(values)}});
    } else {
        output::print(QStringLiteral("saved the power-on defaults of %1 to %2\n")
                          .arg(raw_text::printable(node), file.displayName()));
    }
    return exit_code::kOk;
}

} // namespace

Command defaults_save_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("defaults"), QStringLiteral("save")};
    command.arguments = QStringLiteral("FILE|-");
    command.summary = QStringLiteral("read the power-on defaults into a profile file");
    command.output = QStringLiteral(
        "The profile goes to FILE, written whole or not at all (an existing file is replaced "
        "only when the new one is complete; a device node or FIFO is written into); then one "
        "line naming the node and the file. --json: {node, file, defaults}. FILE -: the profile "
        "itself on standard output.");
    command.exits = {{0, QStringLiteral("saved")},
                     {69, QStringLiteral("no device, or it cannot be opened")},
                     {73, QStringLiteral("FILE cannot be created")},
                     {74, QStringLiteral("the device was lost, or writing FILE failed (the old "
                                         "file is unchanged)")},
                     {75, QStringLiteral("no valid reply in time")}};
    command.examples = QStringList{QStringLiteral("kaldorium-lpt defaults save line3.profile")};
    command.run = run;
    return command;
}
