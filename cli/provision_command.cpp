// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// provision --from PROFILE [--address ADDR] [--selftest PLUG] [--count N] [--log FILE]
// [--replug-timeout DURATION]: the bench loop. Waits for each device to be plugged in,
// tests it, writes the profile and reads it back, gives it its address, and keeps one line
// for it, until --count devices or Ctrl-C.

#include "commands.h"
#include "device_watch.h"
#include "exit_codes.h"
#include "numbers.h"
#include "output.h"
#include "pins_session.h"
#include "profile_file.h"
#include "provision_log.h"
#include "provision_steps.h"
#include "raw_text.h"
#include "signal_guard.h"

#include "device_link/discovery.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QSet>

#include <algorithm>
#include <memory>

namespace {

const QString kFrom = QStringLiteral("from");
const QString kAddress = QStringLiteral("address");
const QString kSelftest = QStringLiteral("selftest");
const QString kCount = QStringLiteral("count");
const QString kLog = QStringLiteral("log");
const QString kReplugTimeout = QStringLiteral("replug-timeout");
constexpr qint64 kDefaultReplugMs = 60000;
constexpr uint64_t kMostDevices = 1000000;
constexpr int kSomeFailed = 1;

// The settings from the command line; 0 or the exit code after the error line.
int take_settings(const Invocation &invocation, provision::Settings *settings, int64_t *count)
{
    if (!invocation.arguments.isEmpty())
        return pins::unexpected_argument(invocation);
    if (!invocation.port.isEmpty() || !invocation.device.isEmpty()) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("provision takes each device as it is plugged in; "
                                           "leave out --port and --device"));
    }
    if (!invocation.isSet(kFrom) || invocation.value(kFrom).isEmpty()) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("provision needs the profile to write, e.g. "
                                           "kaldorium-lpt provision --from line3.profile"));
    }
    if (invocation.isSet(kAddress)) {
        settings->address = discovery::address_key(invocation.value(kAddress));
        if (!discovery::is_settable_address(settings->address)) {
            return output::fail(exit_code::kUsage,
                                QStringLiteral("--address %1 is no address the device can take; "
                                               "give C100 or C200")
                                    .arg(raw_text::quoted(invocation.value(kAddress))));
        }
    }
    *count = -1;
    if (invocation.isSet(kCount)) {
        const std::optional<uint64_t> number = parse_decimal(invocation.value(kCount));
        if (!number || *number < 1 || *number > kMostDevices) {
            return output::fail(exit_code::kUsage,
                                QStringLiteral("--count %1 is out of range; give a whole number "
                                               "from 1 to %2")
                                    .arg(raw_text::quoted(invocation.value(kCount)))
                                    .arg(kMostDevices));
        }
        *count = int64_t(*number);
    }
    qint64 replug = -1;
    if (int code = pins::take_duration(invocation, kReplugTimeout, &replug))
        return code;
    settings->replugTimeoutMs = replug < 0 ? kDefaultReplugMs : replug;
    if (invocation.isSet(kSelftest)) {
        selftest::Plug plug;
        if (int code = selftest::load_plug(invocation.value(kSelftest), &plug))
            return code;
        settings->plug = plug;
    }

    settings->profile = invocation.value(kFrom);
    QByteArray text;
    if (int code = profile_file::read(settings->profile, &settings->values, &text))
        return code;
    if (std::none_of(settings->values.begin(), settings->values.end(),
                     [](const auto &value) { return bool(value); })) {
        return output::fail(exit_code::kDataError,
                            QStringLiteral("%1 gives no key; a profile holds lines such as "
                                           "data.levels=0x81")
                                .arg(raw_text::printable(settings->profile)));
    }
    settings->profileSha256 =
        QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
    return 0;
}

// Ends the run: the summary, and the code.
int finish(const Invocation &invocation, int64_t provisioned, int64_t failed)
{
    SignalGuard *guard = SignalGuard::instance();
    if (guard)
        guard->acknowledge(); // Ctrl-C is how a run without --count ends
    const QString summary =
        QStringLiteral("%1 provisioned, %2 failed").arg(provisioned).arg(failed);
    if (invocation.json)
        output::note(summary);
    else
        output::print(summary + QLatin1Char('\n'));
    return failed ? kSomeFailed : exit_code::kOk;
}

int run(const Invocation &invocation)
{
    provision::Settings settings;
    int64_t count = -1;
    if (int code = take_settings(invocation, &settings, &count))
        return code;
    std::unique_ptr<provision::Log> log;
    if (invocation.isSet(kLog)) {
        log = std::make_unique<provision::Log>(raw_text::encode(invocation.value(kLog)));
        if (int code = log->open())
            return code;
    }

    // A bench waits long between its lines: a reader that has gone ends it at once.
    output::end_when_reader_goes();
    DeviceWatch watch;
    // Devices attached before the run are left alone until they have been unplugged, and so
    // are those done in this run.
    QSet<QString> left_alone;
    for (const AttachedDevice &device : watch.devices())
        left_alone << device.attachment();
    output::note(QStringLiteral("provisioning with %1: plug in a device (Ctrl-C ends)%2")
                     .arg(raw_text::printable(settings.profile),
                          left_alone.isEmpty()
                              ? QString()
                              : QStringLiteral("; the %1 attached now are left alone until "
                                               "unplugged")
                                    .arg(left_alone.size())));

    int64_t provisioned = 0;
    int64_t failed = 0;
    while (count < 0 || provisioned + failed < count) {
        AttachedDevice next;
        const EventWait::End end = watch.waitUntil(
            [&](const QList<AttachedDevice> &devices) {
                QSet<QString> listed;
                for (const AttachedDevice &device : devices)
                    listed << device.attachment();
                left_alone.intersect(listed); // unplugged: may be taken again
                for (const AttachedDevice &device : devices) {
                    if (device.ready() && !left_alone.contains(device.attachment())) {
                        next = device;
                        return true;
                    }
                }
                return false;
            },
            -1);
        if (end != EventWait::End::Done)
            break; // Ctrl-C, or the reader of the output has gone

        const provision::Outcome outcome =
            provision::provision_device(invocation, settings, watch, next);
        left_alone << next.attachment() << outcome.attachment;
        ++(outcome.record.ok ? provisioned : failed);
        const QByteArray line = provision::json_line(outcome.record);
        if (invocation.json)
            output::write_bytes(line);
        else
            output::print(provision::text_line(outcome) + QLatin1Char('\n'));
        if (log) {
            if (int code = log->append(line))
                return code;
        }
        if (outcome.stopped || !output::standard_output_open())
            break;
        if (count < 0 || provisioned + failed < count)
            output::note(QStringLiteral("plug in the next device (Ctrl-C ends)"));
    }
    return finish(invocation, provisioned, failed);
}

} // namespace

Command provision_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("provision")};
    command.arguments = QStringLiteral("--from PROFILE [--address ADDR] [--selftest PLUG] "
                                       "[--count N] [--log FILE] [--replug-timeout D]");
    command.summary =
        QStringLiteral("the bench loop: test, configure and log each device plugged in");
    command.output = QStringLiteral(
        "One line per device: its address (-> the new one), node, serial number, each step's "
        "result and the seconds it took; at the end \"N provisioned, M failed\". --json: one "
        "object a line, as in the log: {time, address_before, address_after, node, serial, "
        "selftest, profile, profile_sha256, verified, result, error, seconds}; the summary "
        "goes to standard error.");
    command.exits = {{0, QStringLiteral("every device taken was provisioned")},
                     {1, QStringLiteral("a device failed (see its line)")},
                     {65, QStringLiteral("the profile or the plug file is not one")},
                     {66, QStringLiteral("the profile or the plug file cannot be read")},
                     {73, QStringLiteral("the log cannot be opened")},
                     {74, QStringLiteral("a line of the log could not be written")}};
    command.examples = QStringList{
        QStringLiteral("kaldorium-lpt provision --from line3.profile --selftest passmark "
                       "--address C200 --log bench.jsonl"),
        QStringLiteral("kaldorium-lpt provision --from line3.profile --count 20 --json")};
    command.options = {
        {kFrom,
         QStringLiteral("The profile to write into each device and read back (- for "
                        "standard input)."),
         QStringLiteral("PROFILE")},
        {kAddress,
         QStringLiteral("Give each device this address (C100 or C200); the operator replugs it "
                        "and it is confirmed at the new address."),
         QStringLiteral("ADDR")},
        {kSelftest,
         QStringLiteral("Run the loopback self-test first (passmark, checkit, full or a plug "
                        "file); a device that fails is not configured."),
         QStringLiteral("PLUG")},
        {kCount, QStringLiteral("End after N devices, provisioned or failed; else at Ctrl-C."),
         QStringLiteral("N")},
        {kLog,
         QStringLiteral("Append one JSON line per device to FILE; a line that cannot be written "
                        "ends the run (exit 74)."),
         QStringLiteral("FILE")},
        {kReplugTimeout,
         QStringLiteral("How long to wait for a device to come back at its new address (default "
                        "60s); past it the device has failed."),
         QStringLiteral("DURATION")},
    };
    command.run = run;
    return command;
}
