// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace sim {

namespace {

constexpr int kExitUsage = 64;

const char kDescription[] =
    "The simulated Holmcraft KALDORIUM-LPT on a pseudo-terminal, with a loopback plug on its\n"
    "DB-25 connector. Prints the node to open and runs until Ctrl-C.\n"
    "\n"
    "Example:\n"
    "  kaldorium-lpt-sim --link /tmp/lpt &\n"
    "  kaldorium-lpt --port /tmp/lpt pins watch --for 2s\n"
    "\n"
    "  kaldorium-lpt-sim --port-list /tmp/ports &\n"
    "  KALDORIUM_LPT_PORT_LIST=/tmp/ports kaldorium-lpt list";

bool to_int(const QString &text, int low, int high, int &value)
{
    bool ok = false;
    const int parsed = text.toInt(&ok, 0);
    if (!ok || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

ParseResult usage_error(const QString &what)
{
    return {kExitUsage,
            QStringLiteral("kaldorium-lpt-sim: %1 (see kaldorium-lpt-sim --help)\n").arg(what)};
}

} // namespace

ParseResult parse_options(const QStringList &arguments, Options &options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Keep a symlink at <path> to the node."),
                                  QStringLiteral("path"));
    const QCommandLineOption node_dir(
        QStringLiteral("node-dir"),
        QStringLiteral("Keep the device's node name (KALDORIUM_LPT_C100, renamed when the "
                       "address is set) as a symlink in <dir>."),
        QStringLiteral("dir"));
    const QCommandLineOption port_list(
        QStringLiteral("port-list"),
        QStringLiteral("Announce the device in a stand-in port list <file>: with "
                       "KALDORIUM_LPT_PORT_LIST=<file>, kaldorium-lpt finds it without --port."),
        QStringLiteral("file"));
    const QCommandLineOption interval(
        QStringLiteral("interval"),
        QStringLiteral("Send an input status frame every <ms> milliseconds (default 5)."),
        QStringLiteral("ms"), QStringLiteral("5"));
    const QCommandLineOption flood(
        QStringLiteral("flood"),
        QStringLiteral("Send input status frames at <rate> bytes per second instead; 400000 is "
                       "the full line rate."),
        QStringLiteral("rate"));
    const QCommandLineOption random_inputs(
        QStringLiteral("random-inputs"),
        QStringLiteral("Every <ms> milliseconds a switch outside the plug flips one net at "
                       "random (and so every input pin on it)."),
        QStringLiteral("ms"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of --random-inputs (default 1)."),
                                  QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption errors(QStringLiteral("errors"),
                                    QStringLiteral("Report a FIFO error every <ms> milliseconds."),
                                    QStringLiteral("ms"));
    parser.addOptions({link, node_dir, port_list, interval, flood, random_inputs, seed, errors});

    if (!parser.parse(arguments))
        return usage_error(parser.errorText());
    if (parser.isSet(help))
        return {0, parser.helpText()};
    if (parser.isSet(version))
        return {
            0,
            QStringLiteral("kaldorium-lpt-sim %1\n").arg(QCoreApplication::applicationVersion())};
    if (!parser.positionalArguments().isEmpty())
        return usage_error(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    options.link = parser.value(link);
    options.node_directory = parser.value(node_dir);
    options.port_list = parser.value(port_list);
    if (!to_int(parser.value(interval), 1, 60000, options.status_interval_ms))
        return usage_error(QStringLiteral("--interval takes 1 to 60000 ms"));
    if (parser.isSet(flood) && !to_int(parser.value(flood), 5, 4000000, options.flood_rate))
        return usage_error(QStringLiteral("--flood takes 5 to 4000000 bytes per second"));
    if (parser.isSet(random_inputs) &&
        !to_int(parser.value(random_inputs), 1, 3600000, options.random_inputs_ms))
        return usage_error(QStringLiteral("--random-inputs takes 1 to 3600000 ms"));
    bool ok = false;
    options.seed = parser.value(seed).toUInt(&ok, 0);
    if (!ok)
        return usage_error(QStringLiteral("--seed takes a whole number"));
    if (parser.isSet(errors) &&
        !to_int(parser.value(errors), 1, 3600000, options.error_interval_ms))
        return usage_error(QStringLiteral("--errors takes 1 to 3600000 ms"));
    return {};
}

} // namespace sim
