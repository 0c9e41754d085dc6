// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "help_text.h"

#include <QMap>

namespace help_text {

namespace {

const QString kProgram = QStringLiteral("kaldorium-lpt");
constexpr int kColumn = 24; // where descriptions start beside option names and commands

// The codes every command may end with, beside its own.
const QList<ExitStatus> &common_exits()
{
    static const QList<ExitStatus> exits = {
        {64, QStringLiteral("bad command line")},
        {74, QStringLiteral("the results could not be written (a full disk)")},
        {130, QStringLiteral("ended by SIGINT (Ctrl-C)")},
        {141, QStringLiteral("the reader of the output has gone (| head), no message")},
        {143, QStringLiteral("ended by SIGTERM")},
    };
    return exits;
}

// "name  description", the description wrapped beside the name.
QString entry(const QString &name, const QString &description)
{
    const QString head = QStringLiteral("  ") + name;
    if (head.size() + 2 > kColumn)
        return head + QLatin1Char('\n') + wrap(description, kColumn, QString(kColumn, ' '));
    return wrap(description, kColumn, head.leftJustified(kColumn));
}

QString options_text(const QList<QCommandLineOption> &options)
{
    QString text;
    for (const QCommandLineOption &option : options) {
        QStringList names;
        for (const QString &name : option.names())
            names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
        QString name = names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            name += QLatin1Char(' ') + option.valueName();
        text += entry(name, option.description());
    }
    return text;
}

QString synopsis(const Command &command)
{
    return (command.name() + QLatin1Char(' ') + command.arguments).trimmed();
}

QString commands_text(const QString &group)
{
    QString text;
    for (const Command &command : command_table()) {
        if (group.isEmpty() || command.words.constFirst() == group)
            text += QStringLiteral("  ") + wrap(synopsis(command), 4, QString(), kWidth - 2) +
                    wrap(command.summary, 6, QString(6, ' '));
    }
    return text;
}

QString examples_text(const QStringList &examples)
{
    QString text =
        examples.size() > 1 ? QStringLiteral("\nExamples:\n") : QStringLiteral("\nExample:\n");
    for (const QString &example : examples)
        text += wrap(example, 4, QStringLiteral("  "));
    return text;
}

QString exits_text(const QList<ExitStatus> &own)
{
    QMap<int, QString> meanings;
    for (const ExitStatus &exit : own)
        meanings[exit.code] = exit.meaning;
    for (const ExitStatus &exit : common_exits()) {
        QString &meaning = meanings[exit.code];
        meaning =
            meaning.isEmpty() ? exit.meaning : meaning + QStringLiteral("; or ") + exit.meaning;
    }
    QString text = QStringLiteral("\nExit codes:\n");
    for (auto it = meanings.constBegin(); it != meanings.constEnd(); ++it)
        text += wrap(it.value(), 8, QStringLiteral("  %1").arg(it.key()).leftJustified(8));
    return text;
}

} // namespace

QString wrap(const QString &text, int indent, const QString &first, int width)
{
    QString result;
    QString line = first;
    bool empty = first.isEmpty() || first.endsWith(QLatin1Char(' ')); // only a lead-in so far
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!empty && line.size() + 1 + word.size() > width) {
            result += line + QLatin1Char('\n');
            line = QString(indent, ' ');
            empty = true;
        }
        if (!empty)
            line += QLatin1Char(' ');
        line += word;
        empty = false;
    }
    return result + line + QLatin1Char('\n');
}

QStringList groups()
{
    QStringList names;
    for (const Command &command : command_table()) {
        if (command.words.size() > 1 && !names.contains(command.words.constFirst()))
            names.append(command.words.constFirst());
    }
    return names;
}

QString general(const QList<QCommandLineOption> &globalOptions)
{
    QString text = wrap(QStringLiteral("[global options] <command> [arguments]"), 7,
                        QStringLiteral("Usage: ") + kProgram);
    text += QStringLiteral("Tests and configures Holmcraft KALDORIUM-LPT devices from the "
                           "command line.\n");
    text += QStringLiteral("\nGlobal options (before or after the command):\n") +
            options_text(globalOptions);
    text += QStringLiteral("\nCommands:\n") + commands_text(QString());
    QStringList examples;
    for (const Command &command : command_table()) {
        if (!command.examples.isEmpty())
            examples.append(command.examples.constFirst());
    }
    text += examples_text(examples);
    text += QLatin1Char('\n') +
            wrap(QStringLiteral("Output: results on standard output, errors one line each on "
                                "standard error. --json: one JSON document per command; "
                                "pins watch and provision, which stream, give one JSON object "
                                "per line."),
                 0);
    text += QLatin1Char('\n') +
            wrap(QStringLiteral("Exit codes: 0 done, 64 usage, 65 bad profile, value or file "
                                "name, 66 file missing, 69 no device or tool, 73 output file "
                                "cannot be made, 74 device lost, read-back mismatch or write "
                                "failed, 75 no reply in time, 130/143 after SIGINT/SIGTERM, "
                                "141 the reader of the output has gone."),
                 0);
    text += QLatin1Char('\n') +
            wrap(QStringLiteral("A command's own help: kaldorium-lpt help <command>, or "
                                "kaldorium-lpt <command> --help (kaldorium-lpt pins --help for "
                                "a group). The manual: man kaldorium-lpt."),
                 0);
    return text;
}

QString group(const QString &group, const QList<QCommandLineOption> &globalOptions)
{
    QStringList examples;
    for (const Command &command : command_table()) {
        if (command.words.constFirst() == group)
            examples += command.examples;
    }
    if (!groups().contains(group))
        return QString();
    QString text = wrap(QStringLiteral("[global options] %1 <command> [arguments]").arg(group), 7,
                        QStringLiteral("Usage: ") + kProgram);
    text += QStringLiteral("\nCommands:\n") + commands_text(group);
    text += QStringLiteral("\nGlobal options:\n") + options_text(globalOptions);
    text += examples_text(examples);
    text += QLatin1Char('\n') + wrap(QStringLiteral("A command's options, output and exit codes: "
                                                    "kaldorium-lpt help %1 <command>.")
                                         .arg(group),
                                     0);
    return text;
}

QString command(const Command &command, const QList<QCommandLineOption> &globalOptions)
{
    QString text = wrap(QStringLiteral("[global options] ") + synopsis(command), 7,
                        QStringLiteral("Usage: ") + kProgram);
    QString summary = command.summary;
    if (!summary.isEmpty())
        summary[0] = summary[0].toUpper();
    text += wrap(summary + QLatin1Char('.'), 0);
    if (!command.options.isEmpty())
        text += QStringLiteral("\nOptions:\n") + options_text(command.options);
    text += QStringLiteral("\nGlobal options (before or after the command):\n") +
            options_text(globalOptions);
    if (!command.output.isEmpty()) {
        text += QStringLiteral("\nOutput:\n");
        for (const QString &paragraph : command.output.split(QLatin1Char('\n')))
            text += wrap(paragraph, 2, QStringLiteral("  "));
    }
    text += exits_text(command.exits);
    if (!command.examples.isEmpty())
        text += examples_text(command.examples);
    return text;
}

} // namespace help_text
