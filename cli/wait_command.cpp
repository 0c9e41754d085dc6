// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// wait [--gone] [--for DURATION]: returns when a device (the --device one, or any) is attached
// with its node there, or with --gone when it is not; the state, not a change, so a device
// already there ends the wait at once. For scripts that plug devices in one after another.

#include "commands.h"
#include "device_watch.h"
#include "exit_codes.h"
#include "output.h"
#include "pins_session.h"
#include "signal_guard.h"

#include "device_link/discovery.h"

#include <QFileInfo>
#include <QJsonObject>

namespace {

const QString kGone = QStringLiteral("gone");
const QString kFor = QStringLiteral("for");

QJsonValue text_or_null(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// The device this wait is about: with --port a node, with --device an address, else any.
struct Wanted {
    QString port;
    QString node; // the node name --device selects

    bool matches(const AttachedDevice &device) const
    {
        return node.isEmpty() || discovery::node_for_text(device.address) == node;
    }
    // The first wanted device that is attached with its node there; null when none.
    const AttachedDevice *find(const QList<AttachedDevice> &devices) const
    {
        for (const AttachedDevice &device : devices) {
            if (device.ready() && matches(device))
                return &device;
        }
        return nullptr;
    }
};

void report(const Invocation &invocation, const AttachedDevice &device, bool attached)
{
    if (invocation.json) {
        output::print_json(QJsonObject{{QStringLiteral("address"), text_or_null(device.address)},
                                       {QStringLiteral("node"), text_or_null(device.node)},
                                       {QStringLiteral("port"), text_or_null(device.port)},
                                       {QStringLiteral("serial"), text_or_null(device.serial)},
                                       {QStringLiteral("attached"), attached}});
        return;
    }
    if (device.node.isEmpty())
        return; // --gone, and nothing was there
    QStringList fields;
    if (!device.address.isEmpty())
        fields << device.address;
    fields << device.node;
    if (!device.port.isEmpty())
        fields << device.port;
    output::print(fields.join(QStringLiteral("  ")) + QLatin1Char('\n'));
}

int run(const Invocation &invocation)
{
    if (!invocation.arguments.isEmpty()) {
        return output::fail(exit_code::kUsage, QStringLiteral("unexpected argument \"%1\"; see "
                                                              "kaldorium-lpt wait --help")
                                                   .arg(invocation.arguments.first()));
    }
    qint64 for_ms = -1;
    if (int code = pins::take_duration(invocation, kFor, &for_ms))
        return code;
    const bool gone = invocation.isSet(kGone);
    Wanted wanted{invocation.port, invocation.device.isEmpty()
                                       ? QString()
                                       : discovery::node_for_text(invocation.device)};

    const QString which = !wanted.port.isEmpty() ? wanted.port
                          : invocation.device.isEmpty()
                              ? QStringLiteral("KALDORIUM-LPT")
                              : QStringLiteral("KALDORIUM-LPT %1").arg(invocation.device);
    DeviceWatch watch;
    AttachedDevice seen; // the device that was there when a --gone wait began
    DeviceWatch::Condition done;
    if (!wanted.port.isEmpty()) {
        // A node given by path: it is there or not; the host's list does not come into it.
        watch.watchPathOf(wanted.port);
        seen.node = wanted.port;
        done = [&](const QList<AttachedDevice> &) {
            return QFileInfo::exists(wanted.port) != gone;
        };
    } else {
        if (gone) {
            if (const AttachedDevice *there = wanted.find(watch.devices()))
                seen = *there;
        }
        done = [&](const QList<AttachedDevice> &devices) {
            const AttachedDevice *there = wanted.find(devices);
            if (there && !gone)
                seen = *there;
            return bool(there) != gone;
        };
    }
    if (!done(watch.devices()) && !wanted.port.isEmpty()) {
        output::note(QStringLiteral("waiting for %1 to %2 (Ctrl-C stops)")
                         .arg(wanted.port, gone ? QStringLiteral("go") : QStringLiteral("appear")));
    } else if (!done(watch.devices())) {
        output::note(
            gone ? QStringLiteral("waiting for the %1 at %2 to be unplugged (Ctrl-C "
                                  "stops)")
                       .arg(which, seen.node)
                 : QStringLiteral("waiting for a %1 to be plugged in (Ctrl-C stops)").arg(which));
    }
    const EventWait::End end = watch.waitUntil(done, for_ms);

    switch (end) {
    case EventWait::End::Done:
        report(invocation, seen, !gone);
        return exit_code::kOk;
    case EventWait::End::TimedOut:
        break;
    case EventWait::End::Interrupted:
    case EventWait::End::Lost:
        return SignalGuard::instance()->exitCode();
    }
    if (gone) {
        return output::fail(exit_code::kTempFail,
                            QStringLiteral("the %1 is still attached after %2; unplug it, or "
                                           "wait longer with --for")
                                .arg(which, duration_text(for_ms)));
    }
    return output::fail(exit_code::kTempFail,
                        QStringLiteral("no %1 attached within %2; plug it in (kaldorium-lpt list "
                                       "shows what is attached), or wait longer with --for")
                            .arg(which, duration_text(for_ms)));
}

} // namespace

Command wait_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("wait")};
    command.arguments = QStringLiteral("[--gone] [--for DURATION]");
    command.summary = QStringLiteral("wait until a device is attached (or, --gone, until not)");
    command.output = QStringLiteral(
        "One line for the device that came: address, node, system port (nothing with --gone). "
        "--json: {address, node, port, serial, attached}.");
    command.exits = {{0, QStringLiteral("the device is there (or, --gone, not)")},
                     {75, QStringLiteral("--for ended first")}};
    command.examples = QStringList{QStringLiteral("kaldorium-lpt --device C200 wait --for 1m"),
                                   QStringLiteral("kaldorium-lpt wait --gone")};
    command.options = {
        {kGone, QStringLiteral("Wait until the device is no longer attached.")},
        {kFor,
         QStringLiteral("Give up after DURATION (500ms, 10s, 2m) with exit 75; else wait until "
                        "Ctrl-C."),
         QStringLiteral("DURATION")},
    };
    command.run = run;
    return command;
}
