// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// kaldorium-lpt's commands as a user runs them: the real executable against the simulated
// device, or against a pseudo-terminal whose device end the test plays byte for byte (one that
// never answers, answers only some requests, answers among noise, misreports, or hangs up).
// The bytes on the wire are compared with what the window sends for the same operation.

#include "cli_runner.h"
#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "mainwindow.h"
#include "pseudo_terminal.h"
#include "pty_device_bench.h"
#include "simulated_device_endpoint.h"
#include "standin_dfu_util.h"
#include "window_access.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

#include <csignal>

using namespace testsupport;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const QByteArray kProfile = "data.direction=output\ndata.levels=0x81\ncontrol.direction=input\n"
                            "control.levels=0x05\nstatus.levels=0x28\n";

// The device end of a pseudo-terminal, played by the test: takes the command frames the
// program writes and answers each read request as told.
class ScriptedDevice : public QObject {
public:
    enum class Manner {
        Silent,
        Honest,
        Partial,
        Noisy,
        Misreport,
        HangUp,
        OutOfRange,
        LateInRange
    };

    explicit ScriptedDevice(Manner manner) : manner_(manner)
    {
        connect(&poll_, &QTimer::timeout, this, &ScriptedDevice::takeBytes);
        poll_.start(2);
    }
    QString node() const { return pty_.slavePath(); }
    QByteArray received() const { return received_; }

private:
    void takeBytes()
    {
        if (!pty_.isOpen())
            return;
        received_ += pty_.readAvailable();
        while (received_.size() - taken_ >= frames::kCommandFrameSize) {
            const QByteArray frame = received_.mid(taken_, frames::kCommandFrameSize);
            taken_ += frames::kCommandFrameSize;
            answer(uint8_t(frame[2]), (uint32_t(uint8_t(frame[3])) << 14) |
                                          (uint32_t(uint8_t(frame[4])) << 7) | uint8_t(frame[5]));
        }
    }

    void answer(uint8_t code, uint32_t value)
    {
        if (code < contract::ReadDataDirection) {
            stored_[code + contract::kReadOffset] = value;
            return;
        }
        switch (manner_) {
        case Manner::Silent:
            return;
        case Manner::HangUp:
            pty_.close();
            return;
        case Manner::Partial:
            if (code > contract::ReadDataLevels)
                return;
            break;
        case Manner::Noisy: // status frames, noise, an unknown reply type, an error report
            pty_.write(hex("ff01020304 0a0b0c ffff190000 ff00207000 ff7f400005 17"));
            break;
        case Manner::Misreport: // another value the item may have
            pty_.write(frames::reply_frame(code, stored_.value(code) ^ 0x08));
            return;
        case Manner::OutOfRange: // a value no item of this type may have
            pty_.write(frames::reply_frame(code, kOutOfRange.value(code)));
            return;
        case Manner::LateInRange:
            pty_.write(frames::reply_frame(code, kOutOfRange.value(code)));
            break;
        case Manner::Honest:
            break;
        }
        pty_.write(frames::reply_frame(code, stored_.value(code)));
    }

    Manner manner_;
    PseudoTerminal pty_;
    QTimer poll_;
    QByteArray received_;
    int taken_ = 0;
    QMap<uint8_t, uint32_t> stored_{{24, 1}, {28, 0x81}, {32, 0}, {36, 0x05}, {40, 0x28}};
    const QMap<uint8_t, uint32_t> kOutOfRange{
        {24, 2}, {28, 0x100}, {32, 0x3FFF}, {36, 0x10}, {40, 0x29}};
};

// The bytes the window writes for an operation: the operator's clicks on a fresh window.
QByteArray windowBytes(const QString &operation, int count)
{
    DeviceBench bench;
    if (!bench.openPort())
        return "port not opened";
    const QWidget &window = bench.window();
    if (operation == QLatin1String("address C200")) {
        child<QComboBox>(window, "address_comboBox")->setCurrentIndex(1);
        click(window, "set_pushButton");
    } else if (operation == QLatin1String("defaults set")) {
        child<QRadioButton>(window, "data_default_output_radioButton")->setChecked(true);
        child<QRadioButton>(window, "control_default_input_radioButton")->setChecked(true);
        for (const QString &box : kDefaultLevelBoxes) {
            child<QCheckBox>(window, box.toLatin1().constData())
                ->setChecked(QStringList{"default_D0", "default_D7", "default_C0", "default_C2",
                                         "default_S3", "default_S5"}
                                 .contains(box));
        }
        click(window, "Defaults_set");
    } else {
        click(window, "Defaults_read");
    }
    return readFromProgram(bench.device(), count);
}

} // namespace

Q_DECLARE_METATYPE(ScriptedDevice::Manner)

class TestCliCommands : public QObject {
    Q_OBJECT

private slots:
    void wireBytesAreTheWindows_data();
    void wireBytesAreTheWindows();
    void profileRoundTrip();
    void repliesFoundInAFlood();
    void writeStoresOnlyWhatDiffers_data();
    void writeStoresOnlyWhatDiffers();
    void deviceManners_data();
    void deviceManners();
    void badInputSendsNothing_data();
    void badInputSendsNothing();
    void flash_data();
    void flash();
    void signalClosesAndExits_data();
    void signalClosesAndExits();
    void filesAndStandardOutput_data();
    void filesAndStandardOutput() { runShellRow(); }
    void limitsAndStrangeStrings_data();
    void limitsAndStrangeStrings() { runShellRow(); }
    void help_data();
    void help();
    void everyHelpFitsAndNamesOutputAndExits();
    void bashCompletion_data();
    void bashCompletion();

private:
    void shellColumns();
    void runShellRow();
};

void TestCliCommands::wireBytesAreTheWindows_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("address set") << "address C200" << QStringList{"address", "set", "c200"}
                                 << hex("ffff00030400");
    QTest::newRow("defaults write")
        << "defaults set"
        << QStringList{"defaults",
                       "write",
                       "--force",
                       "--no-verify",
                       "status.levels=0b00101000",
                       "control.levels=5",
                       "control.direction=input",
                       "data.levels=0x81",
                       "data.direction=output"}
        << hex("ffff04000001 ffff08000101 ffff0c000000 ffff10000005 ffff14000028");
    QTest::newRow("defaults read")
        << "defaults read" << QStringList{"defaults", "read", "--timeout", "200"}
        << hex("ffff18000000 ffff1c000000 ffff20000000 ffff24000000 ffff28000000");
}

void TestCliCommands::wireBytesAreTheWindows()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, expected);

    const QByteArray window = windowBytes(operation, expected.size());
    QCOMPARE(window, expected);

    ScriptedDevice device(ScriptedDevice::Manner::Silent);
    CliRunner cli;
    const CliResult result = cli.run(QStringList{"--port", device.node()} + arguments);
    QVERIFY(result.finished);
    QTRY_COMPARE(device.received(), window);
}

void TestCliCommands::profileRoundTrip()
{
    SimulatedDeviceEndpoint endpoint;
    CliRunner cli;
    cli.plugIn(endpoint);

    CliResult result =
        cli.run({"defaults", "write", "data.direction=output", "data.levels=0x81",
                 "control.direction=input", "control.levels=0x05", "status.levels=0x28"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.contains("data.levels=0x81  stored, verified\n"), result.out);
    QCOMPARE(endpoint.device().storedValue(contract::ReadDataLevels), 0x81u);

    result = cli.run({"defaults", "read"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, kProfile);

    const QString saved = cli.filePath("line3.profile");
    QCOMPARE(cli.run({"defaults", "save", saved}).exitCode, 0);
    result = cli.run({"defaults", "write", "--no-verify", "data.levels=0", "status.levels=0"});
    QVERIFY2(result.out.contains("data.levels=0x00  stored, unverified"), result.out);
    QCOMPARE(endpoint.device().storedValue(contract::ReadDataLevels), 0u);

    QCOMPARE(cli.run({"defaults", "write", "--from", saved}).exitCode, 0);
    result = cli.run({"--json", "defaults", "read"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(QJsonDocument::fromJson(result.out).object(),
             QJsonDocument::fromJson(R"({"data":{"direction":"output","levels":129},
                "control":{"direction":"input","levels":5},"status":{"levels":40}})")
                 .object());

    // A save that cannot get the defaults leaves the file as it was.
    endpoint.drop();
    QCOMPARE(cli.run({"defaults", "save", saved}).exitCode, 69);
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().endsWith(kProfile));
}

void TestCliCommands::repliesFoundInAFlood()
{
    SimulatedDeviceEndpoint endpoint;
    endpoint.setFloodRate(400000);
    CliRunner cli;
    cli.plugIn(endpoint);
    const CliResult result = cli.run({"defaults", "read", "--timeout", "5000"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out.count('='), 5);
    QVERIFY(endpoint.traffic().statusFramesSent > 0);
}

void TestCliCommands::writeStoresOnlyWhatDiffers_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");     // @node: the device's node
    QTest::addColumn<QByteArray>("wire"); // every command frame the device took, in order

    // The device holds data.direction=output, data.levels=0x81, the rest 0.
    const QStringList write = {"defaults", "write"};
    const QStringList diff = {"defaults", "diff"};
    QTest::newRow("write stores what differs")
        << write + QStringList{"data.direction=output", "data.levels=0x3C"} << QByteArray() << 0
        << "data.direction=output  unchanged\ndata.levels=0x3C  stored, verified\n"
        << hex("ffff18000000 ffff1c000000 ffff0800003c ffff1c000000");
    QTest::newRow("write of what the device holds stores nothing")
        << write + QStringList{"--from", "-"}
        << QByteArray("data.levels=129\ndata.direction=output\n") << 0
        << "data.direction=output  unchanged\ndata.levels=0x81  unchanged\n"
        << hex("ffff18000000 ffff1c000000");
    QTest::newRow("--force stores every item")
        << write + QStringList{"--force", "data.direction=output", "data.levels=0x81"}
        << QByteArray() << 0
        << "data.direction=output  stored, verified\ndata.levels=0x81  stored, verified\n"
        << hex("ffff04000001 ffff08000101 ffff18000000 ffff1c000000");
    QTest::newRow("--no-verify still reads first")
        << write + QStringList{"--no-verify", "status.levels=0", "data.levels=0x3C"} << QByteArray()
        << 0
        << "data.levels=0x3C  stored, unverified (--no-verify)\nstatus.levels=0x00  unchanged\n"
        << hex("ffff1c000000 ffff28000000 ffff0800003c");
    QTest::newRow("write --json")
        << QStringList{"--json"} + write + QStringList{"data.direction=output", "data.levels=0x3C"}
        << QByteArray() << 0
        << R"({"changed":true,"items":{"data.direction":{"after":1,"before":1,"changed":false},)"
           R"("data.levels":{"after":60,"before":129,"changed":true}},"node":"@node",)"
           R"("verified":true,"written":{"data":{"direction":"output","levels":60}}})"
           "\n"
        << hex("ffff18000000 ffff1c000000 ffff0800003c ffff1c000000");
    QTest::newRow("write --force --json: nothing read before")
        << QStringList{"--json"} + write + QStringList{"--force", "control.levels=0"}
        << QByteArray() << 0
        << R"({"changed":true,"items":{"control.levels":{"after":0,"before":null,"changed":true}},)"
           R"("node":"@node","verified":true,"written":{"control":{"levels":0}}})"
           "\n"
        << hex("ffff10000000 ffff24000000");
    QTest::newRow("diff, equal") << diff + QStringList{"data.direction=output", "data.levels=0x81"}
                                 << QByteArray() << 0 << "" << hex("ffff18000000 ffff1c000000");
    QTest::newRow("diff names what differs")
        << diff + QStringList{"status.levels=0", "data.levels=0x3C", "data.direction=input"}
        << QByteArray() << 1
        << "data.direction: device output, profile input\ndata.levels: device 0x81, profile 0x3C\n"
        << hex("ffff18000000 ffff1c000000 ffff28000000");
    QTest::newRow("diff --json")
        << QStringList{"--json"} + diff + QStringList{"--from", "-"}
        << QByteArray("data.levels=0x3C\nstatus.levels=0\n") << 1
        << R"({"differences":{"data.levels":{"device":129,"profile":60}},"equal":false,)"
           R"("node":"@node"})"
           "\n"
        << hex("ffff1c000000 ffff28000000");
}

void TestCliCommands::writeStoresOnlyWhatDiffers()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QByteArray, wire);

    SimulatedDeviceEndpoint endpoint;
    CliRunner cli;
    cli.plugIn(endpoint);
    endpoint.device().takeHostBytes(hex("ffff04000001 ffff08000101"));
    QByteArray received;
    QObject::connect(&endpoint, &SimulatedDeviceEndpoint::commandReceived,
                     [&received](quint8 code, quint32 value) {
                         received += frames::command_frame(code, value);
                     });

    const CliResult result = cli.run(arguments, input);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(QString::fromUtf8(result.out),
             out.replace(QStringLiteral("@node"),
                         cli.nodeDirectory() + QStringLiteral("/KALDORIUM_LPT_C100")));
    QCOMPARE(received.toHex(' '), wire.toHex(' '));
}

void TestCliCommands::deviceManners_data()
{
    QTest::addColumn<ScriptedDevice::Manner>("manner");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QByteArray>("input");

    using M = ScriptedDevice::Manner;
    const QStringList read = {"defaults", "read", "--timeout", "300"};
    QTest::newRow("never answers")
        << M::Silent << read << 75 << ""
        << "no reply from the device within 300 ms for data.direction, data.levels, "
           "control.direction, control.levels, status.levels; check that @node is a "
        << QByteArray();
    QTest::newRow("answers some") << M::Partial << read << 75 << ""
                                  << "within 300 ms for control.direction, control.levels, "
                                     "status.levels; "
                                  << QByteArray();
    QTest::newRow("answers among noise")
        << M::Noisy << read << 0 << QString(kProfile) << "" << QByteArray();
    QTest::newRow("misreports the write")
        << M::Misreport << QStringList{"defaults", "write", "data.levels=0x81", "status.levels=8"}
        << 74 << ""
        << "the device did not keep what was written: data.levels written 0x81, read back 0x89; "
           "status.levels written 0x08, read back 0x00; "
        << QByteArray();
    // Replies whose values no item has are no replies: waited past, named at the time-out.
    QTest::newRow("answers out of range")
        << M::OutOfRange << read << 75 << ""
        << "no reply from the device within 300 ms for data.direction, data.levels, "
           "control.direction, control.levels, status.levels (out of range, not taken: "
           "data.direction=0x2, data.levels=0x100, control.direction=0x3fff, control.levels=0x10, "
           "status.levels=0x29); "
        << QByteArray();
    QTest::newRow("answers out of range, then right")
        << M::LateInRange << read << 0 << QString(kProfile) << "" << QByteArray();
    QTest::newRow("verifies out of range")
        << M::OutOfRange
        << QStringList{"defaults", "write", "--timeout", "300", "data.direction=output"} << 75 << ""
        << "no reply from the device within 300 ms for data.direction (out of range"
        << QByteArray();
    QTest::newRow("hangs up while awaited")
        << M::HangUp << QStringList{"defaults", "read", "--timeout", "60000"} << 74 << ""
        << "connection to the device lost" << QByteArray();
    QTest::newRow("json read") << M::Honest << QStringList{"defaults", "read", "--json"} << 0
                               << "{\"control\":{\"direction\":\"input\",\"levels\":5}"
                               << "" << QByteArray();
    QTest::newRow("profile on standard input")
        << M::Honest << QStringList{"defaults", "write", "--from", "-"} << 0
        << "data.direction=output  unchanged\n"
        << "" << kProfile;
    QTest::newRow("write, never answers")
        << M::Silent << QStringList{"defaults", "write", "data.levels=0x81", "--timeout", "300"}
        << 75 << ""
        << "no reply from the device within 300 ms for data.levels; " << QByteArray();
    QTest::newRow("diff, never answers")
        << M::Silent << QStringList{"defaults", "diff", "data.levels=0x81", "--timeout", "300"}
        << 75 << ""
        << "no reply from the device within 300 ms for data.levels; " << QByteArray();
    QTest::newRow("diff, hangs up")
        << M::HangUp << QStringList{"defaults", "diff", "--from", "-", "--timeout", "60000"} << 74
        << ""
        << "connection to the device lost" << kProfile;
}

void TestCliCommands::deviceManners()
{
    QFETCH(ScriptedDevice::Manner, manner);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QByteArray, input);

    ScriptedDevice device(manner);
    CliRunner cli;
    const CliResult result = cli.run(QStringList{"--port", device.node()} + arguments, input);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.out.startsWith(out.toUtf8()), result.out);
    // The node as given (/dev/pts/3), not Qt's short name for it (pts/3).
    err.replace(QStringLiteral("@node"), device.node());
    QVERIFY2(result.err.contains(err.toUtf8()), result.err);
    if (manner == ScriptedDevice::Manner::Silent) { // nothing stored without the device's word
        for (int at = 0; at < device.received().size(); at += frames::kCommandFrameSize)
            QVERIFY(uint8_t(device.received().at(at + 2)) >= contract::ReadDataDirection);
    }
}

void TestCliCommands::badInputSendsNothing_data()
{
    QTest::addColumn<QByteArray>("profile"); // written to a file, "@" in arguments names it
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");

    const QStringList from = {"defaults", "write", "--from", "@"};
    QTest::newRow("unknown key") << QByteArray("# line 3\n\ndata.level=1\n") << from << 65
                                 << "@:3: unknown key \"data.level\"; the keys are data.direction";
    QTest::newRow("bad value") << QByteArray("data.levels=0x8G\n") << from << 65
                               << "@:1: data.levels: \"0x8G\" is no number";
    QTest::newRow("control out of range")
        << QByteArray("control.levels=0x10\n") << from << 65
        << "@:1: control.levels: 0x10 is out of range 0x00 to 0x0F";
    QTest::newRow("status low bits") << QByteArray("status.levels=0x29\n") << from << 65
                                     << "@:1: status.levels: 0x29 sets bits 0 to 2";
    QTest::newRow("duplicate key") << QByteArray("data.levels=1\ndata.levels=2\n") << from << 65
                                   << "@:2: data.levels is given twice";
    QTest::newRow("missing =") << QByteArray("data.direction output\n") << from << 65
                               << "@:1: \"data.direction output\" has no '='";
    QTest::newRow("direction") << QByteArray("data.direction=out\n") << from << 65
                               << "@:1: data.direction is input or output, not \"out\"";
    QTest::newRow("no key") << QByteArray("# nothing\n") << from << 65 << "@ gives no key";
    QTest::newRow("argument out of range")
        << QByteArray() << QStringList{"defaults", "write", "data.levels=256"} << 65
        << "argument 1: data.levels: 256 is out of range 0x00 to 0xFF; nothing was sent";
    QTest::newRow("profile missing")
        << QByteArray() << QStringList{"defaults", "write", "--from", "@.none"} << 66
        << "cannot read @.none: ";
    QTest::newRow("file and pairs")
        << QByteArray("data.levels=1\n") << (from + QStringList{"data.levels=1"}) << 64
        << "defaults write needs KEY=VALUE pairs or --from FILE";
    QTest::newRow("diff, bad profile")
        << QByteArray("data.levels=0x100\n") << QStringList{"defaults", "diff", "--from", "@"} << 65
        << "@:1: data.levels: 0x100 is out of range 0x00 to 0xFF";
    QTest::newRow("diff, nothing to compare")
        << QByteArray() << QStringList{"defaults", "diff"} << 64
        << "defaults diff needs KEY=VALUE pairs or --from FILE (not both); e.g. kaldorium-lpt "
           "defaults diff --from line3.profile";
    QTest::newRow("address not settable") << QByteArray() << QStringList{"address", "set", "0xC300"}
                                          << 64 << "\"0xC300\" is no address the device can take";
}

void TestCliCommands::badInputSendsNothing()
{
    QFETCH(QByteArray, profile);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, err);

    ScriptedDevice device(ScriptedDevice::Manner::Honest);
    CliRunner cli;
    const QString file = cli.filePath("bad.profile");
    if (!profile.isEmpty()) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(profile);
    }
    arguments.replaceInStrings(QStringLiteral("@"), file);
    const CliResult result = cli.run(QStringList{"--port", device.node()} + arguments);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(err.replace(QLatin1Char('@'), file).toUtf8()), result.err);
    QTest::qWait(20);
    QCOMPARE(device.received(), QByteArray());
}

void TestCliCommands::flash_data()
{
    QTest::addColumn<QString>("image"); // made in the scratch directory unless it ends in "!"
    QTest::addColumn<int>("dfuStatus"); // -1: no dfu-util on the search path
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    // "": a scripted device that answers nothing (flash does not wait for it to come back);
    // "returns", "stays away": the simulated device, found by its address, after dfu-util
    QTest::addColumn<QString>("kind");

    QTest::newRow("updated") << "my images/HC_KLPTV1 v2.bin" << 0 << 0
                             << "The device has been updated\n"
                             << ""
                             << "";
    QTest::newRow("dfu-util fails") << "HC_KLPTV1.bin" << 3 << 74 << ""
                                    << "dfu-util failed with exit code 3"
                                    << "";
    QTest::newRow("dfu-util missing") << "HC_KLPTV1.bin" << -1 << 69 << ""
                                      << "dfu-util could not be started (is it installed?)"
                                      << "";
    QTest::newRow("no .bin") << "HC_KLPTV1.BIN" << 0 << 65 << ""
                             << "Incorrect path to file"
                             << "";
    QTest::newRow("no marker") << "hc_klptv1.bin" << 0 << 65 << ""
                               << "Incorrect file name. Check if this is the correct file!"
                               << "";
    QTest::newRow("missing file") << "HC_KLPTV1.bin!" << 0 << 66 << ""
                                  << "cannot read "
                                  << "";
    QTest::newRow("comes back") << "HC_KLPTV1.bin" << 0 << 0
                                << "the device is back at C100: @/KALDORIUM_LPT_C100\n"
                                   "The device has been updated\n"
                                << ""
                                << "returns";
    QTest::newRow("does not come back")
        << "HC_KLPTV1.bin" << 0 << 74 << ""
        << "dfu-util reported success but the device did not come back within 700 ms"
        << "stays away";
}

void TestCliCommands::flash()
{
    QFETCH(QString, image);
    QFETCH(int, dfuStatus);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, kind);

    StandInDfuUtil dfu(qMax(dfuStatus, 0), dfuStatus < 0 ? StandInDfuUtil::Kind::Missing
                                                         : StandInDfuUtil::Kind::Recording);
    const bool make = !image.endsWith(QLatin1Char('!'));
    const QString path = dfu.scratchDirectory() + QLatin1Char('/') + image.remove(QLatin1Char('!'));
    if (make) {
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    ScriptedDevice device(ScriptedDevice::Manner::Silent);
    CliRunner cli;
    SimulatedDeviceEndpoint simulated;
    QStringList arguments{"--port", device.node(), "flash", "--no-wait-return"};
    if (!kind.isEmpty()) {
        // Back on a new line 300 ms after its bootloader command, or never.
        if (kind == QLatin1String("returns")) {
            QObject::connect(
                &simulated, &SimulatedDeviceEndpoint::bootloaderEntered, &simulated, [&simulated] {
                    QTimer::singleShot(300, &simulated, &SimulatedDeviceEndpoint::reconnect);
                });
        }
        cli.follow(simulated, QStringLiteral("ttyACM0"));
        arguments = QStringList{"flash", "--return-timeout", "700ms"};
    }
    const CliResult result = cli.run(arguments + QStringList{"--wait", "0", path});
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.out.endsWith(out.replace('@', cli.nodeDirectory()).toUtf8()), result.out);
    QVERIFY2(result.err.contains(err.toUtf8()), result.err);

    const bool started = exitCode == 0 || exitCode == 74;
    if (kind.isEmpty())
        QCOMPARE(device.received(), started ? hex("ffff7f000000") : QByteArray());
    else
        QVERIFY(simulated.snapshot().inBootloader() || simulated.isAttached());
    if (dfuStatus >= 0 && started)
        QCOMPARE(dfu.runs(), (QList<QByteArrayList>{{"-d", "1209:db42", "-D", path.toUtf8()}}));
}

void TestCliCommands::signalClosesAndExits_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
}

void TestCliCommands::signalClosesAndExits()
{
    QFETCH(int, signalNumber);
    ScriptedDevice device(ScriptedDevice::Manner::Silent);
    CliRunner cli;
    QProcess &process =
        cli.start({"--port", device.node(), "defaults", "read", "--timeout", "60000"});
    QTRY_COMPARE(device.received().size(), 5 * frames::kCommandFrameSize);
    ::kill(pid_t(process.processId()), signalNumber);
    const CliResult result = cli.finish();
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 128 + signalNumber);
}

// Rows of sh run in a scratch directory w/ beside the node directory dev/, with the simulated
// device plugged in; $KLPT is the program.
void TestCliCommands::shellColumns()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("exitCode");  // of the script: its last command
    QTest::addColumn<QString>("out");   // standard output contains
    QTest::addColumn<QString>("err");   // standard error contains ("=...": is exactly)
    QTest::addColumn<QString>("check"); // sh afterwards; its output must be `checked`
    QTest::addColumn<QString>("checked");
}

void TestCliCommands::filesAndStandardOutput_data()
{
    shellColumns();

    const QString lines = "grep -c = %1; ls -A";
    QTest::newRow("new file") << R"("$KLPT" defaults save new.profile)" << 0
                              << "saved the power-on defaults of "
                              << "=" << lines.arg("new.profile") << "5\nnew.profile\n";
    QTest::newRow("replaced whole, mode kept")
        << R"(echo old > p.profile; chmod 640 p.profile; "$KLPT" defaults save p.profile)" << 0
        << ""
        << "="
        << "stat -c %a p.profile; " + lines.arg("p.profile") << "640\n5\np.profile\n";
    QTest::newRow("link followed and kept")
        << R"(echo old > t.profile; ln -s t.profile l; "$KLPT" defaults save l)" << 0 << ""
        << "="
        << "readlink l; " + lines.arg("t.profile") << "t.profile\n5\nl\nt.profile\n";
    QTest::newRow("dangling link: the file it names is made")
        << R"sh(ln -s made.profile l; "$KLPT" defaults save l)sh" << 0 << ""
        << "="
        << "readlink l; " + lines.arg("made.profile") << "made.profile\n5\nl\nmade.profile\n";
    QTest::newRow("FIFO written into")
        << R"(mkfifo f; cat f > got & "$KLPT" defaults save f; s=$?; wait; exit $s)" << 0 << ""
        << "="
        << "test -p f && echo fifo; grep -c = got"
        << "fifo\n5\n";
    QTest::newRow("FIFO that no one reads, SIGINT")
        << R"(mkfifo f; "$KLPT" defaults save f & sleep 0.5; kill -INT $!; wait $!)" << 130 << ""
        << "="
        << "test -p f && echo fifo; ls -A"
        << "fifo\nf\n";
    QTest::newRow("standard output by name")
        << R"("$KLPT" defaults save /dev/stdout)" << 0 << "\nstatus.levels=0x"
        << "="
        << "ls -A"
        << "";
    QTest::newRow("device node written into, never replaced")
        << R"(mknod full c 1 7 2>/dev/null || { echo skip; exit 0; }; "$KLPT" defaults save full)"
        << 74 << ""
        << "kaldorium-lpt: writing full failed: No space left on device; what was "
           "written may be incomplete\n"
        << "test -c full && echo device"
        << "device\n";
    QTest::newRow("file-size limit, old file kept")
        << "command -v prlimit >/dev/null || { echo skip; exit 0; }; echo old > p.profile; "
           R"(prlimit --fsize=100 "$KLPT" defaults save p.profile)"
        << 74 << ""
        << "kaldorium-lpt: writing p.profile failed: File too large; the file is "
           "unchanged\n"
        << "cat p.profile; ls -A"
        << "old\np.profile\n";
    QTest::newRow("FIFO whose reader has gone")
        << R"sh(mkfifo f; sh -c 'exec 3<f' & "$KLPT" pins record --vcd f --for 300ms)sh" << 141
        << ""
        << "="
        << "test -p f && echo fifo"
        << "fifo\n";
    QTest::newRow("missing directory")
        << R"("$KLPT" defaults save no/p.profile)" << 73 << ""
        << "kaldorium-lpt: cannot create no/p.profile: No such file or directory; "
        << "ls -A"
        << "";
    QTest::newRow("directory at the path") << R"(mkdir d; "$KLPT" defaults save d)" << 73 << ""
                                           << "cannot create d: Is a directory"
                                           << "ls -A"
                                           << "d\n";
    QTest::newRow("nothing read, nothing touched")
        << R"(echo old > p.profile; "$KLPT" --port ./none defaults save p.profile)" << 69 << ""
        << "cannot open ./none"
        << "cat p.profile; ls -A"
        << "old\np.profile\n";
    QTest::newRow("results to a full disk")
        << R"("$KLPT" defaults read > /dev/full)" << 74 << ""
        << "kaldorium-lpt: writing the results to standard output failed: No space left on "
           "device; "
        << ""
        << "";
    QTest::newRow("profile to a full disk") << R"("$KLPT" defaults save - > /dev/full)" << 74 << ""
                                            << "No space left on device"
                                            << ""
                                            << "";
    QTest::newRow("reader gone before the results")
        << R"({ sleep 0.3; "$KLPT" defaults read; echo "exit $?" >&2; } | true)" << 0 << ""
        << "=exit 141\n"
        << ""
        << "";
    QTest::newRow("reader of a watch gone")
        << R"({ "$KLPT" pins watch; echo "exit $?" >&2; } | head -c 1)" << 0 << "0"
        << "=exit 141\n"
        << ""
        << "";
    QTest::newRow("reader of a recording gone")
        << R"({ "$KLPT" pins record --vcd -; echo "exit $?" >&2; } | head -n 1)" << 0
        << "$comment kaldorium-lpt "
        << "=exit 141\n"
        << ""
        << "";
    // Between devices a bench writes nothing for long: it ends as soon as its reader goes.
    QTest::newRow("reader of a bench gone")
        << R"(echo data.levels=1 > p; { "$KLPT" provision --from p --json; echo "exit $?" >&2; } | true)"
        << 0 << ""
        << "exit 141\n"
        << ""
        << "";
}

void TestCliCommands::limitsAndStrangeStrings_data()
{
    shellColumns();
    const QString node = "ln -s ../dev/KALDORIUM_LPT_C100 ";
    // Numbers at and beyond their limits: refused, never wrapped.
    QTest::newRow("a long --for is kept whole")
        << R"sh("$KLPT" pins drive --data 1 --for 4294968s & sleep 1.5; kill -TERM $!; wait $!)sh"
        << 143 << ""
        << "="
        << ""
        << "";
    QTest::newRow("--for beyond a year")
        << R"sh("$KLPT" pins watch --for 8761h)sh" << 64 << ""
        << "=kaldorium-lpt: --for \"8761h\" is no duration from 1ms to 365 days; write it like "
           "500ms, 10s, 2m or 8760h\n"
        << ""
        << "";
    QTest::newRow("--for beyond 64 bits")
        << R"sh("$KLPT" pins watch --for 99999999999999999999999ms)sh" << 64 << ""
        << "is no duration from 1ms to 365 days"
        << ""
        << "";
    QTest::newRow("--timeout beyond an int")
        << R"sh("$KLPT" --timeout 2147483648 defaults read)sh" << 64 << ""
        << "--timeout \"2147483648\" is no number of milliseconds from 1 to 2147483647"
        << ""
        << "";
    QTest::newRow("--timeout with a sign")
        << R"sh("$KLPT" --timeout +5 defaults read)sh" << 64 << ""
        << "--timeout \"+5\" is no number"
        << ""
        << "";
    QTest::newRow("--count beyond its range")
        << R"sh("$KLPT" pins pulse --pin 2 --hz 10 --count 99999999999999999999)sh" << 64 << ""
        << "--count \"99999999999999999999\" is out of range; give a whole number from 1 to "
        << ""
        << "";
    QTest::newRow("--hz with a space") << R"sh("$KLPT" pins pulse --pin 2 --hz ' 5')sh" << 64 << ""
                                       << "--hz \" 5\" is out of range"
                                       << ""
                                       << "";
    QTest::newRow("--data with a sign, as the profile refuses it")
        << R"sh("$KLPT" pins drive --data ' +5')sh" << 64 << ""
        << "--data \" +5\" is no level"
        << ""
        << "";
    QTest::newRow("--data with two prefixes")
        << R"sh("$KLPT" pins drive --data 0x0x81)sh" << 64 << ""
        << "--data \"0x0x81\" is no level"
        << ""
        << "";
    QTest::newRow("a level with two prefixes")
        << R"sh("$KLPT" defaults write data.levels=0x0x81)sh" << 65 << ""
        << "argument 1: data.levels: \"0x0x81\" is no number"
        << ""
        << "";
    QTest::newRow("--wait with a sign")
        << R"sh(touch HC_KLPTV1.bin; "$KLPT" flash --wait +5 HC_KLPTV1.bin)sh" << 64 << ""
        << "--wait \"+5\" is no number of milliseconds"
        << ""
        << "";
    QTest::newRow("image name in bytes that are not UTF-8")
        << R"sh(f=$(printf 'HC_KLPTV1\351.bin'); touch "$f"; "$KLPT" flash "$f"; s=$?; rm "$f"; exit $s)sh"
        << 65 << ""
        << R"sh(the name "HC_KLPTV1\xe9.bin" is not valid UTF-8)sh"
        << ""
        << "";
    // Profiles that are no profiles, and the signals that end a wait for one.
    QTest::newRow("FIFO that no one writes, SIGINT")
        << R"sh(mkfifo f; "$KLPT" defaults write --from f & sleep 0.5; kill -INT $!; wait $!)sh"
        << 130 << ""
        << "="
        << ""
        << "";
    QTest::newRow("FIFO that no one writes, SIGTERM")
        << R"sh(mkfifo f; "$KLPT" defaults write --from f & sleep 0.5; kill -TERM $!; wait $!)sh"
        << 143 << ""
        << "="
        << ""
        << "";
    QTest::newRow("endless profile")
        << R"sh("$KLPT" defaults write --from /dev/zero)sh" << 65 << ""
        << "=kaldorium-lpt: /dev/zero is larger than 64 KiB; a profile is a few lines of "
           "key=value (see kaldorium-lpt defaults save); nothing was sent\n"
        << ""
        << "";
    QTest::newRow("long line")
        << R"sh(head -c 2000 /dev/zero | tr '\0' a > p; "$KLPT" defaults write --from p)sh" << 65
        << ""
        << "p:1: the line is longer than 1024 bytes"
        << ""
        << "";
    QTest::newRow("long value cut short")
        << R"sh(printf 'data.levels=1%0900d\n' 0 > p; "$KLPT" defaults write --from p)sh" << 65
        << ""
        << "=kaldorium-lpt: p:1: data.levels: "
           "1000000000000000000000000000000000000000000000000000000000000000... is out of range "
           "0x00 to 0xFF; nothing was sent\n"
        << ""
        << "";
    QTest::newRow("escape sequence shown escaped")
        << R"sh(printf 'data.levels=\033[31m\n' > p; "$KLPT" defaults write --from p)sh" << 65 << ""
        << R"sh(p:1: data.levels: "\x1b[31m" is no number)sh"
        << ""
        << "";
    // Strange names in the files written and in the lines printed.
    QTest::newRow("$end in the recording's comment")
        << node + R"sh('x$end'; "$KLPT" --port './x$end' pins record --vcd r.vcd --for 300ms)sh"
        << 0 << "recorded "
        << "="
        << "head -n 1 r.vcd | grep -o 'x[^,]*,'"
        << "x\\x24end,\n";
    QTest::newRow("newline in the profile's header")
        << node + "\"$(printf 'n\\nl')\"; " +
               R"sh("$KLPT" --port "./$(printf 'n\nl')" defaults save p && )sh" +
               R"sh("$KLPT" defaults write --force --no-verify --from p)sh"
        << 0 << "stored, unverified"
        << "="
        << "head -n 1 p | cut -c 1-53"
        << "# KALDORIUM-LPT power-on defaults, read from ./n\\x0al\n";
    QTest::newRow("--port names a file here")
        << node + R"sh(lpt; "$KLPT" --port lpt defaults read)sh" << 0 << "data.direction="
        << "="
        << ""
        << "";
    QTest::newRow("--port names no file here: the system's node")
        << R"sh("$KLPT" --port ttyKLPT9 defaults read)sh" << 69 << ""
        << "cannot open /dev/ttyKLPT9: no such device node"
        << ""
        << "";
    QTest::newRow("file name in bytes that are not UTF-8")
        << R"sh(f=$(printf 's\351.profile'); "$KLPT" --json defaults save "$f" && )sh"
           R"sh("$KLPT" defaults write --from "$f" data.levels=9)sh"
        << 64 << R"sh("file":"s\\xe9.profile")sh"
        << "defaults write needs KEY=VALUE pairs"
        << R"sh(test -f "$(printf 's\351.profile')" && echo raw; ls -A | wc -l; rm ./*)sh"
        << "raw\n1\n";
    QTest::newRow("profile from a file name in bytes that are not UTF-8")
        << R"sh(f=$(printf 's\351.p'); echo data.levels=0x10 > "$f"; "$KLPT" defaults write --from "$f")sh"
        << 0 << "data.levels=0x10  stored, verified"
        << "="
        << "rm ./*"
        << "";
    QTest::newRow("a missing file in bytes that are not UTF-8")
        << R"sh("$KLPT" defaults write --from "$(printf 'm\351\033.p')")sh" << 66 << ""
        << R"sh(cannot read m\xe9\x1b.p: No such file or directory)sh"
        << ""
        << "";
}

void TestCliCommands::help_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // standard output starts with; "=ARGS": as for ARGS
    QTest::addColumn<QString>("err"); // standard error contains

    const QString usage = "Usage: kaldorium-lpt [global options] ";
    QTest::newRow("program") << QStringList{"--help"} << 0 << usage + "<command> [arguments]\n"
                             << "";
    QTest::newRow("help") << QStringList{"help"} << 0 << "=--help"
                          << "";
    QTest::newRow("pins --help") << QStringList{"pins", "--help"} << 0
                                 << usage + "pins <command> [arguments]\n\nCommands:\n  pins watch"
                                 << "";
    QTest::newRow("help pins") << QStringList{"help", "pins"} << 0 << "=pins --help"
                               << "";
    QTest::newRow("defaults --help")
        << QStringList{"defaults", "--help"} << 0
        << usage + "defaults <command> [arguments]\n\nCommands:\n  defaults read"
        << "";
    QTest::newRow("address --help")
        << QStringList{"address", "--help"} << 0
        << usage + "address <command> [arguments]\n\nCommands:\n  address set ADDR\n"
        << "";
    QTest::newRow("help pins watch")
        << QStringList{"help", "pins", "watch"} << 0 << "=pins watch --help"
        << "";
    QTest::newRow("command help")
        << QStringList{"--port", "x", "pins", "watch", "--help"} << 0
        << usage + "pins watch [--for DURATION]\nShow the input pins, then each change as it "
                   "comes.\n"
        << "";
    QTest::newRow("help for nothing") << QStringList{"help", "bogus"} << 64 << ""
                                      << "no help for \"bogus\"; the commands are: list, ";
    QTest::newRow("group without its command")
        << QStringList{"pins"} << 64 << ""
        << "kaldorium-lpt: pins needs a command: watch, record, drive, pulse; see "
           "kaldorium-lpt pins --help\n";
    QTest::newRow("unknown option")
        << QStringList{"pins", "watch", "--vcd", "x"} << 64 << ""
        << "kaldorium-lpt: Unknown option 'vcd'; see kaldorium-lpt pins watch --help\n";
}

void TestCliCommands::help()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    CliRunner cli;
    const CliResult result = cli.run(arguments);
    QCOMPARE(result.exitCode, exitCode);
    if (out.startsWith(QLatin1Char('=')))
        QCOMPARE(result.out, cli.run(out.mid(1).split(QLatin1Char(' '))).out);
    else
        QVERIFY2(result.out.startsWith(out.toUtf8()), result.out);
    QVERIFY2(result.err.contains(err.toUtf8()), result.err);
}

void TestCliCommands::everyHelpFitsAndNamesOutputAndExits()
{
    CliRunner cli;
    const QByteArray general = cli.run({"help"}).out;
    // The commands, as the program's help lists them.
    const QByteArray listed = general.mid(general.indexOf("\nCommands:\n") + 11);
    QList<QStringList> commands;
    for (const QByteArray &line : listed.left(listed.indexOf("\n\n")).split('\n')) {
        if (line.startsWith("  ") && line.at(2) != ' ') {
            QStringList words;
            for (const QByteArray &word : line.trimmed().split(' ')) {
                if (word.isEmpty() || !QChar(word.at(0)).isLower())
                    break;
                words.append(QString::fromLatin1(word));
            }
            commands.append(words);
        }
    }
    QVERIFY2(commands.size() >= 10, general);
    QList<QByteArray> helps = {general};
    for (const QStringList &words : commands) {
        const CliResult result = cli.run(QStringList{"help"} + words);
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.contains("\nOutput:\n  "), qPrintable(words.join(' ')));
        QVERIFY2(result.out.contains("\nExit codes:\n  0 "), qPrintable(words.join(' ')));
        QVERIFY2(result.out.contains("\n  141 "), qPrintable(words.join(' ')));
        helps.append(result.out);
        if (words.size() > 1)
            helps.append(cli.run({words.first(), "--help"}).out);
    }
    for (const QByteArray &text : helps) {
        for (const QByteArray &line : text.split('\n'))
            QVERIFY2(QString::fromUtf8(line).size() <= 80, line);
    }
}

void TestCliCommands::bashCompletion_data()
{
    QTest::addColumn<QString>("typed");   // after "$KLPT " (the program as typed from a build)
    QTest::addColumn<QString>("offered"); // the completions, one a line, in bash's order

    QTest::newRow("first word") << ""
                                << "list\naddress\ndefaults\nflash\npins\n";
    QTest::newRow("a group's commands") << "--json pins "
                                        << "watch\nrecord\ndrive\npulse\n";
    QTest::newRow("help's words") << "help pins w"
                                  << "watch\n";
    QTest::newRow("a command's options") << "pins record --v"
                                         << "--vcd\n--version\n";
    QTest::newRow("profile keys") << "defaults write control."
                                  << "control.direction=\n"
                                     "control.levels=\n";
    QTest::newRow("direction values") << "defaults write data.direction=o"
                                      << "output\n";
    QTest::newRow("levels values") << "defaults write status.levels="
                                   << "0x00\n0xF8\n";
    QTest::newRow("attached devices") << "--device "
                                      << "C100\n";
    QTest::newRow("a file here as the port") << "--port lp"
                                             << "lpt\n";
    QTest::newRow("a built-in plug") << "selftest --plug p"
                                     << "passmark\n";
    QTest::newRow("the address to give") << "provision --from x --address C"
                                         << "C100\nC200\n";
    QTest::newRow("a duration") << "provision --replug-timeout 1"
                                << "10s\n1h\n";
}

void TestCliCommands::bashCompletion()
{
    QFETCH(QString, typed);
    QFETCH(QString, offered);
    if (QStandardPaths::findExecutable(QStringLiteral("bash")).isEmpty())
        QSKIP("no bash");

    SimulatedDeviceEndpoint endpoint;
    CliRunner cli;
    cli.plugIn(endpoint);
    const CliResult result =
        cli.runShell(QStringLiteral(R"sh(mkdir w && cd w && touch lpt && exec bash -c '
            source "$0"; COMP_LINE="$KLPT $1"; COMP_POINT=${#COMP_LINE}; _kaldorium_lpt
            printf "%s\n" "${COMPREPLY[@]}" | grep -v "^$" | head -n 5' %1 '%2')sh")
                         .arg(QStringLiteral(KALDORIUM_BASH_COMPLETION), typed));
    QVERIFY2(result.err.isEmpty(), result.err);
    QCOMPARE(QString::fromUtf8(result.out).section('\n', 0, offered.count('\n') - 1) + '\n',
             offered);
}

void TestCliCommands::runShellRow()
{
    QFETCH(QString, script);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, check);
    QFETCH(QString, checked);

    SimulatedDeviceEndpoint endpoint;
    CliRunner cli;
    cli.plugIn(endpoint);
    const CliResult result = cli.runShell("mkdir w && cd w && " + script);
    QVERIFY(result.finished);
    if (result.out == "skip\n")
        QSKIP("needs root (mknod) or prlimit");
    QVERIFY2(result.out.contains(out.toUtf8()), result.out);
    if (err.startsWith(QLatin1Char('=')))
        QCOMPARE(result.err, err.mid(1).toUtf8());
    else
        QVERIFY2(result.err.contains(err.toUtf8()), result.err);
    QCOMPARE(result.exitCode, exitCode);
    if (!check.isEmpty() || !checked.isEmpty())
        QCOMPARE(QString::fromUtf8(cli.runShell("cd w && " + check).out), checked);
}

QTEST_MAIN(TestCliCommands)
#include "tst_cli_commands.moc"
