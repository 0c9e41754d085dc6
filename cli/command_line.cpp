// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "command_line.h"

#include "command.h"
#include "exit_codes.h"
#include "help_text.h"
#include "numbers.h"
#include "output.h"
#include "raw_text.h"

#include "device_link/discovery.h"

#include <QCoreApplication>
#include <QSet>

#include <limits>

namespace {

const QString kPort = QStringLiteral("port");
const QString kDevice = QStringLiteral("device");
const QString kJson = QStringLiteral("json");
const QString kTimeout = QStringLiteral("timeout");
const QString kHelp = QStringLiteral("help");
const QString kVersion = QStringLiteral("version");

QList<QCommandLineOption> global_options()
{
    return {
        {kPort, QStringLiteral("Open this serial node directly (e.g. /dev/ttyACM0), no discovery."),
         QStringLiteral("NODE")},
        {kDevice,
         QStringLiteral("The attached device with this address (C100 ... C800, 0x allowed)."),
         QStringLiteral("ADDR")},
        {kJson, QStringLiteral("Machine-readable output: one JSON document per command (pins "
                               "watch, provision: one object per line).")},
        {kTimeout, QStringLiteral("How long to wait for the device's replies (default 1000)."),
         QStringLiteral("MS"), QStringLiteral("1000")},
        {{QStringLiteral("h"), kHelp},
         QStringLiteral("Show this help, a group's (pins --help) or a command's.")},
        {kVersion, QStringLiteral("Show the program's version.")},
    };
}

// A parser for the global options and the given command options.
void set_up(QCommandLineParser &parser, const QList<QCommandLineOption> &commandOptions)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QSet<QString> names;
    for (const QList<QCommandLineOption> &options : {global_options(), commandOptions}) {
        for (const QCommandLineOption &option : options) {
            if (names.contains(option.names().constFirst()))
                continue;
            names.insert(option.names().constFirst());
            parser.addOption(option);
        }
    }
}

// The command whose words start the positional arguments; the longest match wins.
const Command *find_command(const QStringList &positional)
{
    const Command *found = nullptr;
    for (const Command &command : command_table()) {
        if (positional.mid(0, command.words.size()) == command.words &&
            (!found || command.words.size() > found->words.size()))
            found = &command;
    }
    return found;
}

// The parser's complaint as part of one line: "Unknown option 'vcd'", without its full stop,
// the option's name shown safely.
QString usage_error(const QCommandLineParser &parser)
{
    QString text = parser.errorText();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return raw_text::shortened(text, 120);
}

// "watch, record, drive, pulse" for "pins".
QString group_commands(const QString &group)
{
    QStringList names;
    for (const Command &command : command_table()) {
        if (command.words.constFirst() == group)
            names.append(command.words.mid(1).join(QLatin1Char(' ')));
    }
    return names.join(QStringLiteral(", "));
}

QStringList command_names()
{
    QStringList names;
    for (const Command &command : command_table())
        names.append(command.name());
    return names;
}

// kaldorium-lpt help [GROUP | COMMAND]
int help(const QStringList &words)
{
    if (words.isEmpty()) {
        output::print(help_text::general(global_options()));
        return exit_code::kOk;
    }
    if (const Command *command = find_command(words);
        command && command->words.size() == words.size()) {
        output::print(help_text::command(*command, global_options()));
        return exit_code::kOk;
    }
    if (words.size() == 1 && help_text::groups().contains(words.constFirst())) {
        output::print(help_text::group(words.constFirst(), global_options()));
        return exit_code::kOk;
    }
    return output::fail(exit_code::kUsage, QStringLiteral("no help for %1; the commands are: %2")
                                               .arg(raw_text::quoted(words.join(QLatin1Char(' '))),
                                                    command_names().join(QStringLiteral(", "))));
}

} // namespace

int run_command_line(const QStringList &arguments)
{
    // First pass: every option any command knows, to find the command among the words.
    QList<QCommandLineOption> all_options;
    for (const Command &command : command_table())
        all_options += command.options;
    QCommandLineParser first;
    set_up(first, all_options);
    const bool parsed = first.parse(arguments);
    const Command *command = find_command(first.positionalArguments());

    if (first.isSet(kVersion)) {
        output::print(QCoreApplication::applicationName() + QLatin1Char(' ') +
                      QCoreApplication::applicationVersion() + QLatin1Char('\n'));
        return exit_code::kOk;
    }
    const QStringList positional = first.positionalArguments();
    if (parsed && !positional.isEmpty() && positional.constFirst() == QLatin1String("help"))
        return help(positional.mid(1));
    if (first.isSet(kHelp)) {
        if (command)
            output::print(help_text::command(*command, global_options()));
        else if (!positional.isEmpty() && help_text::groups().contains(positional.constFirst()))
            output::print(help_text::group(positional.constFirst(), global_options()));
        else
            output::print(help_text::general(global_options()));
        return exit_code::kOk;
    }
    if (!parsed)
        return output::fail(exit_code::kUsage,
                            usage_error(first) + QStringLiteral("; see kaldorium-lpt --help"));
    if (!command) {
        if (positional.size() == 1 && help_text::groups().contains(positional.constFirst())) {
            return output::fail(
                exit_code::kUsage,
                QStringLiteral("%1 needs a command: %2; see kaldorium-lpt %1 "
                               "--help")
                    .arg(positional.constFirst(), group_commands(positional.constFirst())));
        }
        if (positional.isEmpty())
            return output::fail(exit_code::kUsage,
                                QStringLiteral("no command given; try kaldorium-lpt --help"));
        return output::fail(exit_code::kUsage,
                            QStringLiteral("unknown command %1; the commands are: %2")
                                .arg(raw_text::quoted(positional.join(QLatin1Char(' '))),
                                     command_names().join(QStringLiteral(", "))));
    }

    // Second pass: the global options and this command's own.
    QCommandLineParser parser;
    set_up(parser, command->options);
    if (!parser.parse(arguments)) {
        return output::fail(exit_code::kUsage, QStringLiteral("%1; see kaldorium-lpt %2 --help")
                                                   .arg(usage_error(parser), command->name()));
    }

    Invocation invocation;
    invocation.parser = &parser;
    invocation.arguments = parser.positionalArguments().mid(command->words.size());
    invocation.json = parser.isSet(kJson);
    invocation.port = parser.value(kPort);
    if (parser.isSet(kPort) && invocation.port.isEmpty())
        return output::fail(exit_code::kUsage, QStringLiteral("--port needs a node, e.g. "
                                                              "--port /dev/ttyACM0"));
    if (parser.isSet(kDevice)) {
        invocation.device = discovery::address_key(parser.value(kDevice));
        if (invocation.device.isEmpty()) {
            return output::fail(exit_code::kUsage,
                                QStringLiteral("--device %1 is no device address; give one "
                                               "of C100 ... C800 (kaldorium-lpt list shows them)")
                                    .arg(raw_text::quoted(parser.value(kDevice))));
        }
    }
    if (parser.isSet(kPort) && parser.isSet(kDevice))
        return output::fail(exit_code::kUsage,
                            QStringLiteral("--port and --device both name a device; give one"));
    const std::optional<uint64_t> timeout = parse_decimal(parser.value(kTimeout));
    if (!timeout || *timeout == 0 || *timeout > uint64_t(std::numeric_limits<int>::max())) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("--timeout %1 is no number of milliseconds from 1 to "
                                           "%2 (24 days); e.g. --timeout 2000")
                                .arg(raw_text::quoted(parser.value(kTimeout)))
                                .arg(std::numeric_limits<int>::max()));
    }
    invocation.timeoutMs = int(*timeout);
    return command->run(invocation);
}
