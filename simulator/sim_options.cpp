// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim_options.h"

#include <algorithm>

#include "device_link/db25_pins.h"

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
    "  KALDORIUM_LPT_PORT_LIST=/tmp/ports kaldorium-lpt list\n"
    "\n"
    "  kaldorium-lpt-sim --link /tmp/lpt --plug passmark --stuck-low 4 &\n"
    "  kaldorium-lpt --port /tmp/lpt selftest";

// Decimal digits only: no sign, no spaces, and "010" is ten, not octal eight.
bool decimal_digits(const QString &text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

bool to_int(const QString &text, int low, int high, int &value)
{
    bool ok = decimal_digits(text);
    const int parsed = ok ? text.toInt(&ok, 10) : 0;
    if (!ok || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

// A pin number 1..25 (1..17 unless ground is allowed).
bool to_pin(const QString &text, bool ground_allowed, int &pin)
{
    bool ok = false;
    pin = decimal_digits(text) ? text.toInt(&ok, 10) : 0;
    return ok && pin >= 1 && pin <= (ground_allowed ? db25::kPinCount : db25::kSignalPins);
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
    const QCommandLineOption plug(
        QStringLiteral("plug"),
        QStringLiteral("The loopback plug on the connector: full (the default: every pin on a "
                       "net), passmark, checkit or none."),
        QStringLiteral("name"), QStringLiteral("full"));
    const QCommandLineOption stuck_low(
        QStringLiteral("stuck-low"),
        QStringLiteral("Pin <pin> (1-17) reads low; as an output it holds its net low. May be "
                       "repeated."),
        QStringLiteral("pin"));
    const QCommandLineOption stuck_high(
        QStringLiteral("stuck-high"),
        QStringLiteral("Pin <pin> (1-17) reads high; as an output it holds its net high."),
        QStringLiteral("pin"));
    const QCommandLineOption short_pins(
        QStringLiteral("short"),
        QStringLiteral("Pins <a,b> are shorted: their nets are one (a ground pin 18-25 holds it "
                       "low)."),
        QStringLiteral("a,b"));
    const QCommandLineOption open_pin(
        QStringLiteral("open"),
        QStringLiteral("Pin <pin> (1-17) is cut off the plug: an output reads only itself."),
        QStringLiteral("pin"));
    const QCommandLineOption no_return(
        QStringLiteral("no-return"),
        QStringLiteral("After the bootloader command the device never comes back."));
    const QCommandLineOption replug_after(
        QStringLiteral("replug-after"),
        QStringLiteral("After an address set the device leaves and comes back <ms> later at the "
                       "new address, as when the operator replugs it; also how long it stays "
                       "away after the bootloader command (default 3000)."),
        QStringLiteral("ms"));
    const QCommandLineOption serial(
        QStringLiteral("serial"),
        QStringLiteral("The USB serial number the port list shows for the device (default none)."),
        QStringLiteral("text"));
    parser.addOptions({link, node_dir, port_list, interval, flood, random_inputs, seed, errors,
                       plug, stuck_low, stuck_high, short_pins, open_pin, no_return, replug_after,
                       serial});

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
    if (decimal_digits(parser.value(seed)))
        options.seed = parser.value(seed).toUInt(&ok, 10);
    if (!ok)
        return usage_error(QStringLiteral("--seed takes a whole number"));
    if (parser.isSet(errors) &&
        !to_int(parser.value(errors), 1, 3600000, options.error_interval_ms))
        return usage_error(QStringLiteral("--errors takes 1 to 3600000 ms"));

    options.plug = loopback::find_plug(parser.value(plug).toLatin1().constData());
    if (!options.plug)
        return usage_error(
            QStringLiteral("--plug takes full, passmark, checkit or none, not \"%1\"")
                .arg(parser.value(plug)));
    const struct {
        const QCommandLineOption &option;
        QVector<int> &pins;
    } pin_faults[] = {{stuck_low, options.faults.stuckLow},
                      {stuck_high, options.faults.stuckHigh},
                      {open_pin, options.faults.open}};
    for (const auto &fault : pin_faults) {
        for (const QString &value : parser.values(fault.option)) {
            int pin = 0;
            if (!to_pin(value, false, pin))
                return usage_error(QStringLiteral("--%1 takes a signal pin 1 to 17, not \"%2\"")
                                       .arg(fault.option.names().constFirst(), value));
            fault.pins.append(pin);
        }
    }
    for (int pin : options.faults.stuckLow) {
        if (options.faults.stuckHigh.contains(pin))
            return usage_error(QStringLiteral("pin %1 cannot be stuck low and high").arg(pin));
    }
    for (const QString &value : parser.values(short_pins)) {
        const QStringList pins = value.split(QLatin1Char(','));
        int a = 0;
        int b = 0;
        if (pins.size() != 2 || !to_pin(pins[0], true, a) || !to_pin(pins[1], true, b) || a == b)
            return usage_error(
                QStringLiteral("--short takes two different pins 1 to 25, e.g. --short 4,5, not "
                               "\"%1\"")
                    .arg(value));
        options.faults.shorts.append({a, b});
    }
    options.no_return = parser.isSet(no_return);
    if (parser.isSet(replug_after) &&
        !to_int(parser.value(replug_after), 0, 600000, options.replug_after_ms))
        return usage_error(QStringLiteral("--replug-after takes 0 to 600000 ms"));
    options.serial = parser.value(serial);
    if (options.serial.contains(QLatin1Char('\t')) || options.serial.contains(QLatin1Char('\n')))
        return usage_error(QStringLiteral("--serial cannot hold tabs or line breaks"));
    return {};
}

} // namespace sim
