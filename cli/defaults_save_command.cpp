// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// defaults save FILE|-: defaults read into a profile file, written whole or not at all.

#include "commands.h"
#include "defaults_exchange.h"
#include "exit_codes.h"
#include "output.h"

#include <QDateTime>
#include <QJsonObject>
#include <QSaveFile>

namespace {

int run(const Invocation &invocation)
{
    if (invocation.arguments.size() != 1) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("defaults save needs one file (or - for standard "
                                           "output); e.g. kaldorium-lpt defaults save "
                                           "line3.profile"));
    }
    const QString path = invocation.arguments.first();
    const bool to_stdout = path == QLatin1String("-");

    // Opened before the device is asked, so an unwritable place fails first; the profile only
    // replaces the file when commit() renames the finished temporary file over it.
    QSaveFile file(path);
    if (!to_stdout && !file.open(QIODevice::WriteOnly)) {
        return output::fail(exit_code::kIoError, QStringLiteral("cannot write %1: %2; choose "
                                                                "another place")
                                                     .arg(path, file.errorString()));
    }
    profile::Values values;
    QString node;
    if (int code = defaults_exchange::read_all(invocation, &values, &node))
        return code; // the QSaveFile is dropped uncommitted: the target stays as it was

    const QString text = QStringLiteral("# KALDORIUM-LPT power-on defaults, read from %1 on %2\n")
                             .arg(node, QDateTime::currentDateTimeUtc().toString(Qt::ISODate)) +
                         profile::format(values);
    if (to_stdout) {
        output::print(text);
        return exit_code::kOk;
    }
    file.write(text.toUtf8());
    if (!file.commit()) {
        return output::fail(exit_code::kIoError,
                            QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    }
    if (invocation.json) {
        output::print_json(QJsonObject{{QStringLiteral("node"), node},
                                       {QStringLiteral("file"), path},
                                       {QStringLiteral("defaults"), profile::to_json(values)}});
    } else {
        output::print(QStringLiteral("saved the power-on defaults of %1 to %2\n").arg(node, path));
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
    command.examples = QStringList{QStringLiteral("kaldorium-lpt defaults save line3.profile")};
    command.run = run;
    return command;
}
