// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_COMMAND_H
#define KALDORIUM_CLI_COMMAND_H

// One command of the program ("list", "defaults read", ...) and what it gets when it runs.
// Each command lives in files of its own and is registered by one line in command_table.cpp.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

// What every command may look at: the global options, the command's own options and the
// arguments after the command's words.
struct Invocation {
    QString port;   // --port NODE, or empty
    QString device; // --device ADDR as an address key ("C200"), or empty
    bool json = false;
    int timeoutMs = 1000;
    QStringList arguments;
    const QCommandLineParser *parser = nullptr; // holds the command's own options

    bool isSet(const QString &option) const { return parser->isSet(option); }
    QString value(const QString &option) const { return parser->value(option); }
};

// An exit code and what it means for one command, for its --help.
struct ExitStatus {
    int code;
    QString meaning;
};

struct Command {
    QStringList words;       // {"defaults", "read"}: what the user types to choose it
    QString arguments;       // the synopsis after the words, e.g. "KEY=VALUE... | --from FILE|-"
    QString summary;         // one line for --help
    QString output;          // what it writes to standard output, as text and with --json
    QList<ExitStatus> exits; // its own codes; --help adds 64, 74, 130, 141 and 143 for all
    QStringList examples;
    QList<QCommandLineOption> options; // the command's own options, beside the global ones
    int (*run)(const Invocation &invocation) = nullptr; // returns the exit code

    QString name() const { return words.join(QLatin1Char(' ')); }
};

// Every command, in the order --help lists them.
const QList<Command> &command_table();

#endif
