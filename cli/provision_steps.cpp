// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "provision_steps.h"

#include "defaults_exchange.h"
#include "defaults_values.h"
#include "device_session.h"
#include "exit_codes.h"
#include "output.h"
#include "selftest_run.h"
#include "signal_guard.h"

#include "device_link/device_contract.h"
#include "device_link/discovery.h"
#include "device_link/frames.h"

#include <QElapsedTimer>
#include <QSet>

namespace provision {

namespace {

// A step that did not go as it should: the line for the record (already on stderr when a
// command function wrote it), or a signal that ends the run.
struct Failure {
    QString error;
    bool stopped = false;
};

class Steps {
public:
    Steps(const Invocation &invocation, const Settings &settings, DeviceWatch &watch,
          Outcome &outcome)
        : invocation_(invocation), settings_(settings), watch_(watch), outcome_(outcome)
    {
    }

    // 0 when the step went well; otherwise *failure says why.
    int selftest(DeviceSession &session, Failure *failure)
    {
        selftest::Report report;
        if (int code = selftest::run(session, invocation_, *settings_.plug, &report))
            return failed(code, failure);
        outcome_.record.selftest = report.passed();
        outcome_.steps << (report.passed() ? QStringLiteral("selftest passed")
                                           : QStringLiteral("selftest failed"));
        if (report.passed())
            return 0;
        failure->error = selftest::summary_line(report); // the device's line says it
        return exit_code::kDiffers;
    }

    int writeDefaults(DeviceSession &session, Failure *failure)
    {
        if (int code = defaults_exchange::store(session, settings_.values))
            return failed(code, failure);
        if (int code = readBack(session,
                                QStringLiteral("the device did not keep what was "
                                               "written"),
                                failure))
            return code;
        outcome_.record.verified = true;
        outcome_.steps << QStringLiteral("defaults verified");
        return 0;
    }

    // Gives the device the new address, waits for the operator to replug it and confirms it
    // where it comes back.
    int readdress(DeviceSession &session, const AttachedDevice &device, Failure *failure)
    {
        const QString wanted = settings_.address;
        outcome_.record.addressAfter = wanted;
        const QString wanted_node = discovery::node_for_text(wanted);
        if (discovery::node_for_text(device.address) == wanted_node) {
            outcome_.steps << QStringLiteral("address %1 already").arg(wanted);
            return 0;
        }
        // Devices already at the new address are not the one coming back.
        QSet<QString> there_before;
        for (const AttachedDevice &other : watch_.devices()) {
            if (discovery::node_for_text(other.address) == wanted_node)
                there_before << other.attachment();
        }
        const uint32_t value = wanted.toUInt(nullptr, 16);
        if (int code = session.send({frames::command_frame(contract::SetAddress, value)}))
            return failed(code, failure);
        session.close();
        output::note(QStringLiteral("unplug the device (%1, %2) and plug it in again: it comes "
                                    "back at %3 (waiting up to %4)")
                         .arg(device.address, device.port, wanted,
                              duration_text(settings_.replugTimeoutMs)));

        AttachedDevice back;
        const EventWait::End end = watch_.waitUntil(
            [&](const QList<AttachedDevice> &devices) {
                for (const AttachedDevice &candidate : devices) {
                    if (candidate.ready() &&
                        discovery::node_for_text(candidate.address) == wanted_node &&
                        !there_before.contains(candidate.attachment()) &&
                        (device.serial.isEmpty() || candidate.serial == device.serial)) {
                        back = candidate;
                        return true;
                    }
                }
                return false;
            },
            settings_.replugTimeoutMs);
        if (end == EventWait::End::TimedOut) {
            failure->error = QStringLiteral("the device did not come back at %1 within %2; "
                                            "replug it and check it with kaldorium-lpt list")
                                 .arg(wanted, duration_text(settings_.replugTimeoutMs));
            return exit_code::kTempFail;
        }
        if (end != EventWait::End::Done)
            return failed(SignalGuard::instance()->exitCode(), failure);

        outcome_.record.node = back.node;
        outcome_.attachment = back.attachment();
        DeviceSession again(invocation_);
        if (int code = again.openNode(back.node))
            return failed(code, failure);
        if (int code = readBack(
                again, QStringLiteral("at %1 the device does not hold the profile").arg(wanted),
                failure))
            return code;
        outcome_.steps << QStringLiteral("address %1 confirmed").arg(wanted);
        return 0;
    }

    // The code of a step that failed, with the line it wrote kept for the record.
    int failed(int code, Failure *failure)
    {
        const SignalGuard *guard = SignalGuard::instance();
        if (code >= exit_code::kSignalBase || (guard && guard->exitCode())) {
            failure->stopped = true;
            failure->error = QStringLiteral("stopped before the device was done");
        } else {
            failure->error = output::last_failure();
        }
        return code ? code : exit_code::kIoError;
    }

private:
    // Reads the profile's items back; 0 when the device holds them all.
    int readBack(DeviceSession &session, const QString &what, Failure *failure)
    {
        profile::Values read;
        if (int code = defaults_exchange::read(session, invocation_,
                                               defaults_values::given(settings_.values), &read))
            return failed(code, failure);
        QStringList differences;
        for (int index = 0; index < profile::kItemCount; ++index) {
            const auto &want = settings_.values[size_t(index)];
            const auto &kept = read[size_t(index)];
            if (!want || kept == want)
                continue;
            const profile::Item &item = profile::kItems[index];
            differences << QStringLiteral("%1 written %2, read back %3")
                               .arg(QLatin1String(item.key), profile::format_value(item, *want),
                                    profile::format_value(item, *kept));
        }
        if (differences.isEmpty())
            return 0;
        failure->error = what + QStringLiteral(": ") + differences.join(QStringLiteral("; "));
        return exit_code::kIoError;
    }

    const Invocation &invocation_;
    const Settings &settings_;
    DeviceWatch &watch_;
    Outcome &outcome_;
};

} // namespace

Outcome provision_device(const Invocation &invocation, const Settings &settings, DeviceWatch &watch,
                         const AttachedDevice &device)
{
    QElapsedTimer clock;
    clock.start();
    Outcome outcome;
    Record &record = outcome.record;
    record.time = QDateTime::currentDateTimeUtc();
    record.addressBefore = device.address;
    record.node = device.node;
    record.serial = device.serial;
    record.profile = settings.profile;
    record.profileSha256 = settings.profileSha256;
    outcome.attachment = device.attachment();

    Steps steps(invocation, settings, watch, outcome);
    Failure failure;
    int code = 0;
    {
        DeviceSession session(invocation);
        code = session.openNode(device.node);
        if (code)
            code = steps.failed(code, &failure);
        if (!code && settings.plug)
            code = steps.selftest(session, &failure);
        if (!code)
            code = steps.writeDefaults(session, &failure);
        if (!code && !settings.address.isEmpty())
            code = steps.readdress(session, device, &failure);
    }
    record.ok = code == 0;
    record.error = failure.error;
    outcome.stopped = failure.stopped;
    record.seconds = double(clock.elapsed()) / 1000.0;
    return outcome;
}

QString text_line(const Outcome &outcome)
{
    const Record &record = outcome.record;
    QString line = record.addressBefore;
    if (record.ok && !record.addressAfter.isEmpty() && record.addressAfter != record.addressBefore)
        line += QStringLiteral(" -> ") + record.addressAfter;
    line += QStringLiteral("  ") + record.node;
    if (!record.serial.isEmpty())
        line += QStringLiteral("  serial ") + record.serial;
    line += QStringLiteral(": ");
    if (!outcome.steps.isEmpty())
        line += outcome.steps.join(QStringLiteral(", ")) + QStringLiteral("; ");
    const QString seconds = QString::number(record.seconds, 'f', 1);
    if (record.ok)
        return line + QStringLiteral("ok in %1 s").arg(seconds);
    return line + QStringLiteral("FAILED in %1 s: %2").arg(seconds, record.error);
}

} // namespace provision
