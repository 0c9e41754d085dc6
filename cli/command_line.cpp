// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "command_line.h"

#include "command.h"
#include "exit_codes.h"
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
        {kJson, QStringLiteral("Machine-readable output: one JSON document per command.")},
        {kTimeout, QStringLiteral("How long to wait for the device's replies (default 1000)."),
         QStringLiteral("MS"), QStringLiteral("1000")},
        {{QStringLiteral("h"), kHelp}, QStringLiteral("Show this help (or a command's).")},
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

QString commands_help()
{
    QString text = QStringLiteral("\nCommands:\n");
    for (const Command &command : command_table()) {
        const QString synopsis = (command.name() + QLatin1Char(' ') + command.arguments).trimmed();
        text += QStringLiteral("  %1  %2\n").arg(synopsis, -36).arg(command.summary);
    }
    text += QStringLiteral("\nExamples:\n");
    for (const Command &command : command_table()) {
        for (const QString &example : command.examples)
            text += QStringLiteral("  ") + example + QLatin1Char('\n');
    }
    text += QStringLiteral("\nExit codes: 0 done, 64 usage, 65 bad profile, value or file name, "
                           "66 file missing,\n69 no device or tool, 74 device lost or read-back "
                           "mismatch, 75 no reply in time,\n130/143 after SIGINT/SIGTERM. "
                           "See kaldorium-lpt(1).\n");
    return text;
}

QString general_help()
{
    QCommandLineParser parser;
    set_up(parser, {});
    parser.setApplicationDescription(
        QStringLiteral("Tests and configures Holmcraft KALDORIUM-LPT devices from the command "
                       "line."));
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("See Commands below."),
                                 QStringLiteral("<command> [arguments]"));
    return parser.helpText() + commands_help();
}

QString command_help(const Command &command)
{
    QCommandLineParser parser;
    set_up(parser, command.options);
    parser.setApplicationDescription(QStringLiteral("kaldorium-lpt ") + command.name());
    parser.addPositionalArgument(command.name(), command.summary,
                                 (command.name() + QLatin1Char(' ') + command.arguments).trimmed());
    QString text = parser.helpText();
    text += QStringLiteral("\nExample%1:\n").arg(command.examples.size() > 1 ? "s" : "");
    for (const QString &example : command.examples)
        text += QStringLiteral("  ") + example + QLatin1Char('\n');
    return text;
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

QStringList command_names()
{
    QStringList names;
    for (const Command &command : command_table())
        names.append(command.name());
    return names;
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
    if (first.isSet(kHelp)) {
        output::print(command ? command_help(*command) : general_help());
        return exit_code::kOk;
    }
    if (!parsed)
        return output::fail(exit_code::kUsage,
                            usage_error(first) + QStringLiteral("; see kaldorium-lpt --help"));
    if (!command) {
        const QStringList positional = first.positionalArguments();
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
