// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// flash FILE: the window's firmware upgrade, with the outcome of dfu-util reported truly.
// The name checks and dfu-util's arguments are the window's; dfu-util runs without a shell,
// the path as one argument, its progress on the terminal. Success is when the device is back:
// after dfu-util it must leave its bootloader and come back as itself (by address, or with
// --port when the node is there and opens again).

#include "commands.h"
#include "device_session.h"
#include "device_watch.h"
#include "event_wait.h"
#include "exit_codes.h"
#include "numbers.h"
#include "output.h"
#include "pins_session.h"
#include "raw_text.h"
#include "signal_guard.h"

#include "device_link/device_contract.h"
#include "device_link/discovery.h"
#include "device_link/firmware_image.h"
#include "device_link/frames.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace {

const QString kWait = QStringLiteral("wait");
const QString kReturnTimeout = QStringLiteral("return-timeout");
const QString kNoWaitReturn = QStringLiteral("no-wait-return");
constexpr qint64 kDefaultReturnMs = 15000;

// The device that must come back: by its address when discovery chose it, by its node when
// --port named it (or the node names no address).
struct Returning {
    QString address; // "C100"; empty: by path
    QString path;

    bool present(const QList<AttachedDevice> &devices, AttachedDevice *found) const
    {
        if (address.isEmpty())
            return QFileInfo::exists(path);
        for (const AttachedDevice &device : devices) {
            if (device.ready() &&
                discovery::node_for_text(device.address) == discovery::node_for_text(address)) {
                *found = device;
                return true;
            }
        }
        return false;
    }
};

// The address of the listed device that this node reaches, or an empty string.
QString address_of_node(const QString &path)
{
    for (const AttachedDevice &device : list_devices()) {
        if (device.node == path ||
            (!device.port.isEmpty() &&
             QFileInfo(path).canonicalFilePath() ==
                 QFileInfo(QStringLiteral("/dev/") + device.port).canonicalFilePath()))
            return device.address;
    }
    return QString();
}

bool opens(const QString &path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// Progress for a person: on standard output, or standard error when it carries JSON.
void progress(const Invocation &invocation, const QString &line)
{
    if (invocation.json)
        output::note(line);
    else
        output::print(line + QLatin1Char('\n'));
}

int interrupted_code()
{
    return SignalGuard::instance()->exitCode();
}

int dfu_util_missing()
{
    return output::fail(exit_code::kUnavailable,
                        QStringLiteral("dfu-util could not be started (is it installed?); install "
                                       "the dfu-util package"));
}

int run_dfu_util(const Invocation &invocation, const QString &image)
{
    QProcess tool;
    tool.setStandardInputFile(QProcess::nullDevice());
    if (invocation.json) {
        // Standard output carries the one JSON document; dfu-util's progress goes beside the
        // errors.
        tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&tool, &QProcess::readyReadStandardOutput, &tool, [&tool] {
            const QByteArray bytes = tool.readAllStandardOutput();
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        });
    } else {
        tool.setProcessChannelMode(QProcess::ForwardedChannels);
    }
    tool.start(QString::fromLatin1(contract::kDfuUtil), firmware::dfu_arguments(image));
    if (!tool.waitForStarted(-1))
        return dfu_util_missing();
    EventWait wait;
    QObject::connect(&tool, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &wait,
                     &EventWait::wake);
    const EventWait::End end =
        wait.run([&tool] { return tool.state() == QProcess::NotRunning; }, -1);
    if (end == EventWait::End::Interrupted) {
        tool.terminate();
        if (!tool.waitForFinished(2000))
            tool.kill();
        tool.waitForFinished(2000);
        return interrupted_code();
    }
    if (tool.exitStatus() == QProcess::CrashExit) {
        return output::fail(exit_code::kIoError,
                            QStringLiteral("dfu-util was ended by a signal; the device may be "
                                           "left in its bootloader: run the same flash again"));
    }
    if (tool.exitCode() != 0) {
        return output::fail(exit_code::kIoError,
                            QStringLiteral("dfu-util failed with exit code %1; see its messages "
                                           "above, then run the same flash again")
                                .arg(tool.exitCode()));
    }
    return exit_code::kOk;
}

int run(const Invocation &invocation)
{
    if (invocation.arguments.size() != 1) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("flash needs one firmware image; e.g. kaldorium-lpt "
                                           "flash HC_KLPTV1_2.bin"));
    }
    const QString image = invocation.arguments.first();
    const QString shown = raw_text::printable(image);
    if (!firmware::has_image_suffix(image)) {
        return output::fail(exit_code::kDataError,
                            QStringLiteral("Incorrect path to file: \"%1\" holds no \".bin\"; "
                                           "give the firmware image")
                                .arg(shown));
    }
    if (!firmware::has_firmware_marker(image)) {
        return output::fail(exit_code::kDataError,
                            QStringLiteral("Incorrect file name. Check if this is the correct "
                                           "file! (\"%1\" holds no \"HC_KLPTV1\")")
                                .arg(shown));
    }
    // dfu-util gets the name as text: bytes that are not UTF-8 would reach it changed.
    if (raw_text::decode(image.toUtf8()) != image) {
        return output::fail(exit_code::kDataError,
                            QStringLiteral("the name \"%1\" is not valid UTF-8 and cannot be "
                                           "handed to dfu-util; rename the file")
                                .arg(shown));
    }
    QFile file(image);
    if (!file.open(QIODevice::ReadOnly)) {
        return output::fail(
            exit_code::kNoInput,
            QStringLiteral("cannot read %1: %2; check the path").arg(shown, file.errorString()));
    }
    file.close();
    const std::optional<uint64_t> wait = parse_decimal(invocation.value(kWait));
    if (!wait || *wait > uint64_t(std::numeric_limits<int>::max())) {
        return output::fail(exit_code::kUsage,
                            QStringLiteral("--wait %1 is no number of milliseconds up to %2; e.g. "
                                           "--wait 3000")
                                .arg(raw_text::quoted(invocation.value(kWait)))
                                .arg(std::numeric_limits<int>::max()));
    }
    const int wait_ms = int(*wait);

    const bool wait_return = !invocation.isSet(kNoWaitReturn);
    qint64 return_ms = -1;
    if (int code = pins::take_duration(invocation, kReturnTimeout, &return_ms))
        return code;
    if (return_ms < 0)
        return_ms = kDefaultReturnMs;

    // Checked before the device is sent into its bootloader, where it would wait for a tool
    // that never comes.
    if (QStandardPaths::findExecutable(QString::fromLatin1(contract::kDfuUtil)).isEmpty())
        return dfu_util_missing();

    // Watched from before the bootloader command, so that its leaving is seen.
    DeviceWatch watch;
    Returning returning;
    bool seen_gone = false;
    QString node;
    {
        DeviceSession session(invocation);
        if (int code = session.open())
            return code;
        node = session.nodePath();
        returning.path = node;
        if (invocation.port.isEmpty())
            returning.address = address_of_node(node);
        if (returning.address.isEmpty())
            watch.watchPathOf(node);
        watch.onLook = [&](const QList<AttachedDevice> &devices) {
            AttachedDevice found;
            if (!returning.present(devices, &found))
                seen_gone = true;
        };
        if (int code = session.send({frames::command_frame(contract::EnterBootloader, 0)}))
            return code;
    } // the port is released: the device leaves it for its bootloader

    progress(invocation, QStringLiteral("switched %1 to bootloader mode; waiting %2 ms for the "
                                        "restart")
                             .arg(node)
                             .arg(wait_ms));
    EventWait pause;
    if (pause.run([] { return false; }, wait_ms) == EventWait::End::Interrupted)
        return interrupted_code();

    progress(invocation,
             QStringLiteral("running ") + raw_text::printable(firmware::command_text(image)));
    if (int code = run_dfu_util(invocation, image))
        return code;

    QJsonObject result{{QStringLiteral("node"), node},
                       {QStringLiteral("file"), shown},
                       {QStringLiteral("updated"), true},
                       {QStringLiteral("returned"), QJsonValue(QJsonValue::Null)}};
    if (wait_return) {
        const QString where =
            QStringLiteral("at ") + (returning.address.isEmpty() ? node : returning.address);
        progress(invocation, QStringLiteral("dfu-util is done; waiting up to %1 for the device "
                                            "to come back %2")
                                 .arg(duration_text(return_ms), where));
        AttachedDevice back;
        const EventWait::End end = watch.waitUntil(
            [&](const QList<AttachedDevice> &devices) {
                if (!returning.present(devices, &back)) {
                    seen_gone = true;
                    return false;
                }
                // Back once it has been away, and, given by its node, when that opens again.
                return seen_gone && (!returning.address.isEmpty() || opens(returning.path));
            },
            return_ms);
        if (end == EventWait::End::TimedOut) {
            return output::fail(exit_code::kIoError,
                                QStringLiteral("dfu-util reported success but the device did not "
                                               "come back within %1; unplug it and plug it in "
                                               "again, then check it with kaldorium-lpt list")
                                    .arg(duration_text(return_ms)));
        }
        if (end != EventWait::End::Done)
            return interrupted_code();
        if (!returning.address.isEmpty()) {
            node = back.node;
            result.insert(QStringLiteral("node"), node);
            result.insert(QStringLiteral("address"), back.address);
        }
        result.insert(QStringLiteral("returned"), true);
        progress(invocation,
                 returning.address.isEmpty()
                     ? QStringLiteral("the device is back: %1").arg(node)
                     : QStringLiteral("the device is back at %1: %2").arg(back.address, node));
    }

    if (invocation.json)
        output::print_json(result);
    else
        output::print(QStringLiteral("The device has been updated\n"));
    return exit_code::kOk;
}

} // namespace

Command flash_command()
{
    Command command;
    command.words = QStringList{QStringLiteral("flash")};
    command.arguments = QStringLiteral("FILE");
    command.summary =
        QStringLiteral("upgrade the firmware with dfu-util (the device's bootloader)");
    command.output = QStringLiteral(
        "What is done, step by step, and dfu-util's own progress, then where the device came "
        "back; with --json the steps go to standard error and standard output gets {node, "
        "file, updated, returned, address}.");
    command.exits = {{0, QStringLiteral("the device has been updated and is back")},
                     {65, QStringLiteral("FILE is no firmware image by its name")},
                     {66, QStringLiteral("FILE cannot be read")},
                     {69, QStringLiteral("no device, or dfu-util is missing")},
                     {74, QStringLiteral("dfu-util failed, the device was lost, or it did not "
                                         "come back")}};
    command.examples = QStringList{QStringLiteral("kaldorium-lpt flash HC_KLPTV1_2.bin")};
    command.options = {
        {kWait,
         QStringLiteral("How long the device may take to restart into its bootloader "
                        "(default 3000)."),
         QStringLiteral("MS"), QStringLiteral("3000")},
        {kReturnTimeout,
         QStringLiteral("How long the device may take to come back after dfu-util (default "
                        "15s); past it, exit 74."),
         QStringLiteral("DURATION")},
        {kNoWaitReturn, QStringLiteral("Do not wait for the device to come back.")},
    };
    command.run = run;
    return command;
}
