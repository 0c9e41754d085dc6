// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// kaldorium-lpt on a production bench, as a user runs it: wait for devices to come and go,
// the loopback self-test and provisioning, the real executable against simulated devices
// that come and go in its port list.

#include "cli_runner.h"
#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "pseudo_terminal.h"
#include "sim_options.h"
#include "simulated_device_endpoint.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <memory>

using namespace testsupport;

namespace {

// Waits until the running command has written `text` to standard error.
bool stderr_shows(QProcess &process, const QByteArray &text, QByteArray *seen)
{
    return QTest::qWaitFor(
        [&] {
            *seen += process.readAllStandardError();
            return seen->contains(text);
        },
        20000);
}

// A simulated device that the test plugs in and out of the runner's port list.
std::unique_ptr<SimulatedDeviceEndpoint> device_at(uint32_t address)
{
    auto device = std::make_unique<SimulatedDeviceEndpoint>();
    device->device().takeHostBytes(frames::command_frame(contract::SetAddress, address));
    return device;
}

// A simulated device set up with kaldorium-lpt-sim's words ("--plug passmark --stuck-low 4").
std::unique_ptr<SimulatedDeviceEndpoint> simulated(const QString &options)
{
    sim::Options parsed;
    if (sim::parse_options(QStringList{"sim"} + options.split(' ', Qt::SkipEmptyParts), parsed)
            .exit_code >= 0)
        qFatal("bad simulator options: %s", qPrintable(options));
    auto device = std::make_unique<SimulatedDeviceEndpoint>();
    device->setPlug(*parsed.plug);
    device->setFaults(parsed.faults);
    return device;
}

// The nets of a selftest --json result that did not pass: "4-12: stuck low: pin 4 (D2) ...".
QStringList failed_nets(const QJsonObject &result)
{
    QStringList failed;
    for (const QJsonValue &net : result.value("nets").toArray()) {
        if (net["result"].toString() == QLatin1String("ok"))
            continue;
        QStringList pins;
        for (const QJsonValue &pin : net["pins"].toArray())
            pins << QString::number(pin.toInt());
        failed << pins.join('-') + ": " + net["result"].toString() + ": " +
                      net["detail"].toString();
    }
    return failed;
}

// After an address set the device leaves and comes back `ms` later at its new address, as
// when the operator replugs it.
void replugs_after_address(SimulatedDeviceEndpoint &device, int ms)
{
    device.setAddressShownAfterReplug(true);
    QObject::connect(&device, &SimulatedDeviceEndpoint::addressChanged, &device, [&device, ms] {
        QTimer::singleShot(20, &device, [&device] { device.drop(); });
        QTimer::singleShot(20 + ms, &device, [&device] { device.reconnect(); });
    });
}

// Waits until the running command has asked for a device `times` times in all.
bool asks_for_device(QProcess &process, int times, QByteArray *seen)
{
    return QTest::qWaitFor(
        [&] {
            *seen += process.readAllStandardError();
            return seen->count("plug in a device") + seen->count("plug in the next device") >=
                   times;
        },
        30000);
}

QByteArray keys_of(const QByteArray &line)
{
    QByteArray keys;
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    for (int at = line.indexOf("\""); at >= 0;) {
        const int end = line.indexOf("\":", at + 1);
        if (end < 0)
            break;
        const QByteArray key = line.mid(at + 1, end - at - 1);
        if (object.contains(QString::fromUtf8(key)))
            keys += key + ' ';
        at = line.indexOf(",\"", end);
        at = at < 0 ? -1 : at + 1;
    }
    return keys.trimmed();
}

} // namespace

class TestCliBench : public QObject {
    Q_OBJECT

private slots:
    void wait_data();
    void wait();
    void waitEndsOnSignal();
    void selftest_data();
    void selftest();
    void selftestText();
    void selftestAgainstTheSimulatorProgram_data();
    void selftestAgainstTheSimulatorProgram();
    void selftestOfASilentDevice();
    void selftestPlugFiles_data();
    void selftestPlugFiles();
    void provisionSeveralDevices();
    void provisionWithSimulatorPrograms();
    void provisionTakesTheNextDeviceOnTheSamePort();
    void provision_data();
    void provision();
};

void TestCliBench::wait_data()
{
    QTest::addColumn<QString>("before"); // "C100": attached at the start; "listed": no node
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("action"); // once the command waits: "plug C100", "unplug"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // @ stands for the node directory
    QTest::addColumn<QString>("err");

    const QString line = QStringLiteral("C100  @/KALDORIUM_LPT_C100  ttyACM0\n");
    QTest::newRow("arrives") << "" << QStringList{"wait", "--for", "30s"} << "plug C100" << 0
                             << line << "waiting for a KALDORIUM-LPT to be plugged in";
    QTest::newRow("already there") << "C100" << QStringList{"wait"} << "" << 0 << line << "";
    QTest::newRow("that address arrives")
        << "C100" << QStringList{"--device", "0xc200", "wait", "--for", "30s"} << "plug C200" << 0
        << "C200  @/KALDORIUM_LPT_C200  ttyACM1\n"
        << "waiting for a KALDORIUM-LPT C200";
    QTest::newRow("another address does not count")
        << "C100" << QStringList{"--device", "C200", "wait", "--for", "400ms"} << "" << 75 << ""
        << "no KALDORIUM-LPT C200 attached within 400 ms";
    QTest::newRow("listed without its node")
        << "listed" << QStringList{"wait", "--for", "1s"} << "" << 75 << ""
        << "no KALDORIUM-LPT attached within 1 s";
    QTest::newRow("json") << "C100" << QStringList{"--json", "wait"} << "" << 0
                          << "{\"address\":\"C100\",\"attached\":true,\"node\":\"@/"
                             "KALDORIUM_LPT_C100\",\"port\":\"ttyACM0\",\"serial\":\"SN 7\"}\n"
                          << "";
    QTest::newRow("gone") << "C100" << QStringList{"wait", "--gone", "--for", "30s"} << "unplug"
                          << 0 << line << "to be unplugged";
    QTest::newRow("gone, json")
        << "C100" << QStringList{"--json", "wait", "--gone"} << "unplug" << 0
        << "{\"address\":\"C100\",\"attached\":false,\"node\":\"@/KALDORIUM_LPT_C100\","
           "\"port\":\"ttyACM0\",\"serial\":\"SN 7\"}\n"
        << "";
    QTest::newRow("none there to go") << "" << QStringList{"wait", "--gone"} << "" << 0 << ""
                                      << "";
    QTest::newRow("still there") << "C100" << QStringList{"wait", "--gone", "--for", "300ms"} << ""
                                 << 75 << ""
                                 << "the KALDORIUM-LPT is still attached after 300 ms";
    QTest::newRow("a node by path")
        << "" << QStringList{"--port", "@/lpt", "wait"} << "link @/lpt" << 0 << "@/lpt\n"
        << "waiting for @/lpt to appear";
    QTest::newRow("bad duration") << "" << QStringList{"wait", "--for", "soon"} << "" << 64 << ""
                                  << "--for \"soon\" is no duration";
    QTest::newRow("stray argument") << "" << QStringList{"wait", "C100"} << "" << 64 << ""
                                    << "unexpected argument \"C100\"";
}

void TestCliBench::wait()
{
    QFETCH(QString, before);
    QFETCH(QStringList, arguments);
    QFETCH(QString, action);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    CliRunner cli;
    const QString nodes = cli.nodeDirectory();
    auto first = device_at(0xC100);
    auto second = device_at(0xC200);
    if (before == QLatin1String("C100"))
        cli.follow(*first, QStringLiteral("ttyACM0"), QStringLiteral("SN 7"));
    else if (before == QLatin1String("listed"))
        cli.setPorts({{QString::fromLatin1(contract::kManufacturer), "C100", "ttyACM0"}});
    arguments.replaceInStrings(QStringLiteral("@"), nodes);

    QProcess &process = cli.start(arguments);
    QByteArray seen;
    if (!action.isEmpty()) {
        QVERIFY2(stderr_shows(process, "waiting for", &seen), seen);
        if (action == QLatin1String("plug C100"))
            cli.follow(*first, QStringLiteral("ttyACM0"));
        else if (action == QLatin1String("plug C200"))
            cli.follow(*second, QStringLiteral("ttyACM1"));
        else if (action == QLatin1String("unplug"))
            first->drop();
        else if (action == QLatin1String("link @/lpt"))
            QVERIFY(QFile::link(QStringLiteral("/dev/null"), nodes + QStringLiteral("/lpt")));
    }
    CliResult result = cli.finish();
    result.err.prepend(seen);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(QString::fromUtf8(result.out), out.replace(QLatin1Char('@'), nodes));
    QVERIFY2(result.err.contains(err.replace(QLatin1Char('@'), nodes).toUtf8()), result.err);
}

void TestCliBench::waitEndsOnSignal()
{
    CliRunner cli;
    QProcess &process = cli.start({"wait"});
    QByteArray seen;
    QVERIFY2(stderr_shows(process, "waiting for", &seen), seen);
    ::kill(pid_t(process.processId()), SIGINT);
    const CliResult result = cli.finish();
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 130);
    QCOMPARE(result.out, QByteArray());
}

void TestCliBench::selftest_data()
{
    QTest::addColumn<QString>("device"); // kaldorium-lpt-sim's options
    QTest::addColumn<QString>("manner"); // "", "slow", "errors now and then", ...
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("patterns");       // test frames before the last one; -1: any
    QTest::addColumn<QStringList>("failed"); // the nets that did not pass

    using L = QStringList;
    const L passmark{"--json", "selftest"};
    QTest::newRow("passmark") << "--plug passmark"
                              << "" << passmark << 0 << 10 << L{};
    QTest::newRow("checkit") << "--plug checkit"
                             << "" << L{"--json", "selftest", "--plug", "checkit"} << 0 << 10
                             << L{};
    QTest::newRow("full") << ""
                          << "" << L{"--json", "selftest", "--plug", "full"} << 0 << 24 << L{};
    QTest::newRow("passmark on the full plug") << ""
                                               << "" << passmark << 0 << 10 << L{};
    QTest::newRow("stuck low") << "--plug passmark --stuck-low 4"
                               << "" << passmark << 1 << 10
                               << L{"4-12: stuck low: pin 4 (D2) stuck low"};
    QTest::newRow("stuck high, named once")
        << "--plug passmark --stuck-high 5"
        << "" << passmark << 1 << 10 << L{"5-10: stuck high: pin 5 (D3) stuck high"};
    QTest::newRow("control output stuck high")
        << "--plug checkit --stuck-high 14"
        << "" << L{"--json", "selftest", "--plug", "checkit"} << 1 << 10
        << L{"12-14: stuck high: pin 14 (C1) stuck high"};
    QTest::newRow("second output of a net stuck")
        << "--stuck-low 1"
        << "" << L{"--json", "selftest", "--plug", "full"} << 1 << 24
        << L{"6-11-1: stuck low: pin 1 (C0) stuck low"};
    QTest::newRow("input stuck high") << "--plug passmark --stuck-high 12"
                                      << "" << passmark << 1 << 10
                                      << L{"4-12: open: pin 12 (S5) stays high while pin 4 (D2) "
                                           "changes"};
    QTest::newRow("open") << "--plug passmark --open 12"
                          << "" << passmark << 1 << 10
                          << L{"4-12: open: pin 12 (S5) stays low while pin 4 (D2) changes"};
    QTest::newRow("outputs shorted")
        << "--plug passmark --short 2,3"
        << "" << passmark << 1 << 10
        << L{"2-15: shorted: shorted to pin 3 (D1)", "3-13: shorted: shorted to pin 2 (D0)"};
    QTest::newRow("inputs shorted")
        << "--plug passmark --short 13,12"
        << "" << passmark << 1 << 10
        << L{"3-13: shorted: shorted to pin 4 (D2)", "4-12: shorted: shorted to pin 3 (D1)"};
    QTest::newRow("input shorted to ground")
        << "--plug passmark --short 10,20"
        << "" << passmark << 1 << 10 << L{"5-10: stuck low: pin 5 (D3) stuck low"};
    QTest::newRow("no plug") << "--plug none"
                             << "" << passmark << 1 << 10
                             << L{"2-15: open: pin 15 (S3) stays low while pin 2 (D0) changes",
                                  "3-13: open: pin 13 (S4) stays low while pin 3 (D1) changes",
                                  "4-12: open: pin 12 (S5) stays low while pin 4 (D2) changes",
                                  "5-10: open: pin 10 (S6) stays low while pin 5 (D3) changes",
                                  "6-11: open: pin 11 (S7) stays low while pin 6 (D4) changes"};
    // A status frame every 40 ms: one that left the device before a pattern reached it is
    // never the one judged.
    QTest::newRow("slow device") << "--plug passmark --stuck-low 4"
                                 << "slow" << passmark << 1 << 10
                                 << L{"4-12: stuck low: pin 4 (D2) stuck low"};
    QTest::newRow("errors now and then") << "--plug passmark"
                                         << "errors now and then" << passmark << 0 << -1 << L{};
    QTest::newRow("errors in every frame") << "--plug passmark"
                                           << "errors always" << passmark << 74 << -1 << L{};
    QTest::newRow("lost halfway") << "--plug passmark"
                                  << "lost" << passmark << 74 << -1 << L{};
    QTest::newRow("stray argument") << ""
                                    << "" << L{"selftest", "checkit"} << 64 << 0 << L{};
}

void TestCliBench::selftest()
{
    QFETCH(QString, device);
    QFETCH(QString, manner);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(int, patterns);
    QFETCH(QStringList, failed);

    CliRunner cli;
    auto endpoint = simulated(device);
    QTimer errors;
    if (manner == QLatin1String("slow"))
        endpoint->setStatusInterval(40);
    if (manner.startsWith(QLatin1String("errors"))) {
        QObject::connect(&errors, &QTimer::timeout, endpoint.get(),
                         [&endpoint] { endpoint->injectErrors(frames::kErrorFifo); });
        errors.start(manner == QLatin1String("errors always") ? 1 : 80);
    }
    if (manner == QLatin1String("lost")) {
        QObject::connect(
            endpoint.get(), &SimulatedDeviceEndpoint::testFrameReceived, endpoint.get(),
            [&endpoint](quint8 counter) {
                if (counter == 4)
                    endpoint->drop();
            },
            Qt::QueuedConnection);
    }
    cli.follow(*endpoint, QStringLiteral("ttyACM0"));

    const CliResult result = cli.run(arguments);
    QVERIFY(result.finished);
    QVERIFY2(result.exitCode == exitCode, result.err);
    if (exitCode == 0 || exitCode == 1) {
        const QJsonObject json = QJsonDocument::fromJson(result.out).object();
        QCOMPARE(json["passed"].toBool(), exitCode == 0);
        QCOMPARE(failed_nets(json), failed);
        QCOMPARE(result.err, QByteArray());
    } else {
        QCOMPARE(result.out, QByteArray());
    }
    const SimulatedDevice seen = endpoint->snapshot();
    if (patterns >= 0) {
        // One frame per pattern, each followed by the request whose reply marks it taken,
        // and then the last frame.
        QCOMPARE(seen.testFrames(), patterns ? patterns + 1 : 0);
        QCOMPARE(seen.commands(), patterns);
    }
    if (seen.testFrames() && manner != QLatin1String("lost")) {
        // The last frame: every output low, both ports input.
        const d_byte last = seen.lastSlot(frames::kTestFrameSlots - 1);
        QCOMPARE(int(last.out_0), 0);
        QCOMPARE(int(last.out_1), 0);
    }
}

void TestCliBench::selftestText()
{
    CliRunner cli;
    auto endpoint = simulated("--plug passmark --stuck-low 4");
    cli.follow(*endpoint, QStringLiteral("ttyACM0"));
    const CliResult result = cli.run({"selftest"});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(QString::fromUtf8(result.out),
             QStringLiteral("pin 2 (D0) -> pin 15 (S3): ok\n"
                            "pin 3 (D1) -> pin 13 (S4): ok\n"
                            "pin 4 (D2) -> pin 12 (S5): stuck low (pin 4 (D2) stuck low)\n"
                            "pin 5 (D3) -> pin 10 (S6): ok\n"
                            "pin 6 (D4) -> pin 11 (S7): ok\n"
                            "selftest FAILED: pin 4 (D2) -> pin 12 (S5): stuck low\n"));

    endpoint->setFaults({});
    const CliResult passed = cli.run({"selftest"});
    QCOMPARE(passed.exitCode, 0);
    QVERIFY2(QRegularExpression(QStringLiteral("\nselftest passed: 5 nets, 10 patterns, "
                                               "[0-9]+\\.[0-9] s\n$"))
                 .match(QString::fromUtf8(passed.out))
                 .hasMatch(),
             passed.out);
}

void TestCliBench::selftestAgainstTheSimulatorProgram_data()
{
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("last");
    QTest::newRow("pin 4 stuck low") << QStringList{"--plug", "passmark", "--stuck-low", "4"} << 1
                                     << "selftest FAILED: pin 4 (D2) -> pin 12 (S5): stuck low\n";
    QTest::newRow("no fault") << QStringList{"--plug", "passmark"} << 0
                              << "selftest passed: 5 nets, 10 patterns, ";
}

void TestCliBench::selftestAgainstTheSimulatorProgram()
{
    QFETCH(QStringList, simulator);
    QFETCH(int, exitCode);
    QFETCH(QString, last);
    CliRunner cli;
    QProcess sim;
    sim.start(QStringLiteral(KALDORIUM_SIM_PATH),
              simulator + QStringList{"--link", cli.filePath(QStringLiteral("lpt"))});
    QVERIFY(sim.waitForReadyRead(10000));
    const CliResult result = cli.run({"--port", cli.filePath(QStringLiteral("lpt")), "selftest"});
    QCOMPARE(result.exitCode, exitCode);
    const QList<QByteArray> lines = result.out.split('\n');
    QCOMPARE(lines.size(), 7);
    QVERIFY2(lines[5].startsWith(last.toUtf8().trimmed()), result.out);
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
}

void TestCliBench::selftestOfASilentDevice()
{
    PseudoTerminal silent;
    CliRunner cli;
    const CliResult result =
        cli.run({"--port", silent.slavePath(), "--timeout", "300", "selftest"});
    QCOMPARE(result.exitCode, 75);
    QVERIFY2(result.err.contains("no reply from the device within 300 ms of pattern 1"),
             result.err);
    QCOMPARE(result.out, QByteArray());
    // The pattern, its request, and the last frame that leaves the pins low.
    const QByteArray sent = silent.readAvailable();
    QCOMPARE(sent.size(), 2 * frames::kTestFrameSize + frames::kCommandFrameSize);
    QCOMPARE(sent.mid(frames::kTestFrameSize, frames::kCommandFrameSize),
             QByteArray::fromHex("ffff18000000"));
    QCOMPARE(sent.mid(frames::kTestFrameSize + frames::kCommandFrameSize + 1, 200),
             QByteArray(200, '\0'));
}

void TestCliBench::selftestPlugFiles_data()
{
    QTest::addColumn<QByteArray>("text"); // the plug file; "!" makes none
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // @ stands for the file's path
    QTest::newRow("passmark, written out")
        << QByteArray("# my plug\n2-15\n3 - 13   # D1 to S4\n\n4-12\r\n5-10\n6-11\n") << 0
        << "selftest passed: 5 nets";
    QTest::newRow("a net of three")
        << QByteArray("2-15\n6-11-1\n") << 0 << "pin 6 (D4) -> pin 11 (S7), pin 1 (C0): ok";
    QTest::newRow("pin on two nets")
        << QByteArray("2-15\n3-15\n") << 65 << "@:2: pin 15 (S3) is on the net of line 1 already";
    QTest::newRow("ground pin") << QByteArray("2-15\n\n3-18\n") << 65
                                << "@:3: pin 18 is a ground pin";
    QTest::newRow("no input") << QByteArray("2\n") << 65 << "@:1: a net with no input: pin 2 (D0)";
    QTest::newRow("no output") << QByteArray("10-11\n") << 65
                               << "@:1: a net with no output: pins 10 (S6), 11 (S7) only read";
    QTest::newRow("two data pins")
        << QByteArray("2-3-15\n") << 65 << "@:1: pins 2 (D0) and 3 (D1) are both data pins";
    QTest::newRow("not a number") << QByteArray("2-1\x1b[5\n") << 65
                                  << "@:1: \"1\\x1b[5\" is no pin number";
    QTest::newRow("beyond the connector")
        << QByteArray("2-26\n") << 65 << "@:1: pin 26 is not on a DB-25 connector";
    QTest::newRow("no nets") << QByteArray("# nothing yet\n") << 65 << "@: no nets";
    QTest::newRow("too large") << QByteArray(70000, '#') << 65 << "@: larger than 64 KiB";
    QTest::newRow("missing") << QByteArray("!") << 66 << "cannot read the plug file @";
}

void TestCliBench::selftestPlugFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    CliRunner cli;
    const QString path = cli.filePath(QStringLiteral("my plug $1.txt"));
    if (text != "!") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    auto endpoint = simulated("");
    cli.follow(*endpoint, QStringLiteral("ttyACM0"));
    const CliResult result = cli.run({"selftest", "--plug", path});
    QCOMPARE(result.exitCode, exitCode);
    message.replace(QLatin1Char('@'), path);
    QVERIFY2((exitCode ? result.err : result.out).contains(message.toUtf8()),
             exitCode ? result.err : result.out);
    if (exitCode)
        QCOMPARE(endpoint->snapshot().testFrames(), 0); // nothing sent
}

// A bench run as the issue describes it: a device attached before the run is left alone; a
// good device is tested, configured, replugged and confirmed at its new address; one fails
// its self-test; one is lost halfway; the run goes on to the last and logs one line each.
void TestCliBench::provisionSeveralDevices()
{
    CliRunner cli;
    const QString profile = cli.filePath(QStringLiteral("line 3 $.profile"));
    QFile file(profile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("data.direction=output\ndata.levels=0x81\nstatus.levels=0x28\n");
    file.close();
    const QString log = cli.filePath(QStringLiteral("bench.jsonl"));
    QFile old_log(log);
    QVERIFY(old_log.open(QIODevice::WriteOnly));
    old_log.write("{\"an\":\"earlier line\"}\n");
    old_log.close();

    auto before = simulated("--plug passmark");
    // Named as the host names them, so that a node two devices at C100 share shows which.
    cli.follow(*before, QString(), QStringLiteral("SN-0"));
    auto good = simulated("--plug passmark");
    replugs_after_address(*good, 150);
    auto faulty = simulated("--plug passmark --stuck-low 4");
    auto lost = simulated("--plug passmark");
    QObject::connect(
        lost.get(), &SimulatedDeviceEndpoint::testFrameReceived, lost.get(),
        [&lost](quint8 counter) {
            if (counter == 4)
                lost->drop(); // in the middle of its self-test
        },
        Qt::QueuedConnection);
    auto last = simulated("--plug passmark");

    QProcess &process =
        cli.start({"provision", "--from", profile, "--selftest", "passmark", "--address", "c200",
                   "--count", "4", "--log", log, "--replug-timeout", "20s"});
    QByteArray err;
    QVERIFY2(asks_for_device(process, 1, &err), err);
    QVERIFY(err.contains("the 1 attached now are left alone until unplugged"));
    cli.follow(*good, QString(), QStringLiteral("SN-1"));
    QVERIFY2(asks_for_device(process, 2, &err), err);
    QVERIFY(err.contains("unplug the device (C100, pts/") &&
            err.contains(") and plug it in again: it comes back at C200"));
    cli.follow(*faulty, QString());
    QVERIFY2(asks_for_device(process, 3, &err), err);
    cli.follow(*lost, QString(), QStringLiteral("SN-3"));
    QVERIFY2(asks_for_device(process, 4, &err), err);
    cli.follow(*last, QString());
    const CliResult result = cli.finish();
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);

    const QString nodes = cli.nodeDirectory();
    const QStringList lines = QString::fromUtf8(result.out).split('\n');
    QCOMPARE(lines.size(), 6);
    QVERIFY2(lines[0].startsWith("C100 -> C200  " + nodes +
                                 "/KALDORIUM_LPT_C200  serial SN-1: selftest passed, defaults "
                                 "verified, address C200 confirmed; ok in "),
             qPrintable(lines[0]));
    QVERIFY2(lines[1].startsWith("C100  " + nodes +
                                 "/KALDORIUM_LPT_C100: selftest failed; "
                                 "FAILED in "),
             qPrintable(lines[1]));
    QVERIFY2(lines[1].endsWith(" s: selftest FAILED: pin 4 (D2) -> pin 12 (S5): stuck low"),
             qPrintable(lines[1]));
    QVERIFY2(lines[2].contains("serial SN-3: FAILED in ") &&
                 lines[2].contains("connection to the device lost"),
             qPrintable(lines[2]));
    QVERIFY2(lines[3].contains(": selftest passed, defaults verified, address C200 confirmed; "
                               "ok in "),
             qPrintable(lines[3]));
    QCOMPARE(lines[4], QStringLiteral("2 provisioned, 2 failed"));

    // The log: the earlier line kept, then one line per device, keys in their order.
    QVERIFY(old_log.open(QIODevice::ReadOnly));
    const QList<QByteArray> logged = old_log.readAll().split('\n');
    QCOMPARE(logged.size(), 6);
    QCOMPARE(logged[0], QByteArray("{\"an\":\"earlier line\"}"));
    QCOMPARE(logged[5], QByteArray());
    const QByteArray sha =
        QCryptographicHash::hash("data.direction=output\ndata.levels=0x81\nstatus.levels=0x28\n",
                                 QCryptographicHash::Sha256)
            .toHex();
    const struct {
        const char *after;
        const char *serial;
        const char *selftest;
        bool verified;
        const char *result;
    } expected[] = {{"C200", "SN-1", "passed", true, "ok"},
                    {nullptr, nullptr, "failed", false, "failed"},
                    {nullptr, "SN-3", nullptr, false, "failed"},
                    {"C200", nullptr, "passed", true, "ok"}};
    for (int i = 0; i < 4; ++i) {
        const QByteArray &line = logged[i + 1];
        QCOMPARE(keys_of(line), QByteArray("time address_before address_after node serial "
                                           "selftest profile profile_sha256 verified result "
                                           "error seconds"));
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        QVERIFY(QDateTime::fromString(record["time"].toString(), Qt::ISODate).isValid());
        QVERIFY(record["time"].toString().endsWith('Z'));
        QCOMPARE(record["address_before"].toString(), QStringLiteral("C100"));
        const auto text_or_null = [](const char *text) {
            return text ? QJsonValue(QString::fromLatin1(text)) : QJsonValue(QJsonValue::Null);
        };
        QVERIFY(record["address_after"] == text_or_null(expected[i].after));
        QVERIFY(record["serial"] == text_or_null(expected[i].serial));
        QVERIFY(record["selftest"] == text_or_null(expected[i].selftest));
        QCOMPARE(record["profile"].toString(), profile);
        QCOMPARE(record["profile_sha256"].toString().toLatin1(), sha);
        QCOMPARE(record["verified"].toBool(), expected[i].verified);
        QCOMPARE(record["result"].toString(), QString::fromLatin1(expected[i].result));
        QCOMPARE(record["error"].isNull(), expected[i].verified);
        QVERIFY(record["seconds"].toDouble() > 0);
        QVERIFY2(lines[i].contains(record["node"].toString()), line);
    }
    // What the devices hold: the profile and the address where they were provisioned.
    QCOMPARE(good->snapshot().address(), 0xC200u);
    QCOMPARE(good->snapshot().storedValue(contract::StoreDataLevels), 0x81u);
    QCOMPARE(faulty->snapshot().storedValue(contract::StoreDataLevels), 0u);
    QCOMPARE(last->snapshot().storedValue(contract::StoreStatusLevels), 0x28u);
    QCOMPARE(before->snapshot().commands(), 0);
    QCOMPARE(before->snapshot().testFrames(), 0);
}

// As the README shows it: kaldorium-lpt-sim devices that replug themselves after the address
// set, plugged in one after the other into one shared port list.
void TestCliBench::provisionWithSimulatorPrograms()
{
    QTemporaryDir dir;
    const QString ports = dir.filePath("ports");
    const QString profile = dir.filePath("p.profile");
    const QString log = dir.filePath("log");
    QFile file(profile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("data.levels=0x81\n");
    file.close();
    QProcess provision;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KALDORIUM_LPT_PORT_LIST", ports);
    provision.setProcessEnvironment(environment);
    provision.start(QStringLiteral(KALDORIUM_CLI_PATH),
                    {"provision", "--from", profile, "--selftest", "full", "--address", "C200",
                     "--count", "2", "--log", log});
    QByteArray err;
    QList<QProcess *> sims;
    for (const char *serial : {"SIM-1", "SIM-2"}) {
        QVERIFY2(asks_for_device(provision, sims.size() + 1, &err), err);
        auto *sim = new QProcess(this);
        sim->start(QStringLiteral(KALDORIUM_SIM_PATH),
                   {"--port-list", ports, "--serial", serial, "--replug-after", "100"});
        sims << sim;
    }
    QVERIFY(provision.waitForFinished(30000));
    QCOMPARE(provision.exitCode(), 0);
    QVERIFY(provision.readAllStandardOutput().endsWith("2 provisioned, 0 failed\n"));
    QFile logged(log);
    QVERIFY(logged.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = logged.readAll().split('\n');
    QCOMPARE(lines.size(), 3);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject record = QJsonDocument::fromJson(lines[i]).object();
        QCOMPARE(record["serial"].toString(), QStringLiteral("SIM-%1").arg(i + 1));
        QCOMPARE(record["address_after"].toString(), QStringLiteral("C200"));
        QCOMPARE(record["result"].toString(), QStringLiteral("ok"));
    }
    for (QProcess *sim : sims) {
        sim->terminate();
        QVERIFY(sim->waitForFinished(5000));
    }
}

// One device unplugged and the next plugged in before the bench looks: the new one comes on
// the same port name (the system gives the freed pseudo-terminal again), without a serial
// number, and is still a new device.
void TestCliBench::provisionTakesTheNextDeviceOnTheSamePort()
{
    CliRunner cli;
    QFile profile(cli.filePath(QStringLiteral("p.profile")));
    QVERIFY(profile.open(QIODevice::WriteOnly));
    profile.write("data.levels=0x3c\n");
    profile.close();
    auto first = simulated("");
    auto second = simulated("");
    QProcess &process = cli.start({"provision", "--from", profile.fileName(), "--count", "2"});
    QByteArray err;
    QVERIFY2(asks_for_device(process, 1, &err), err);
    cli.follow(*first, QString());
    QVERIFY2(asks_for_device(process, 2, &err), err);
    const QString port = first->slavePath();
    first->drop();
    cli.follow(*second, QString());
    const CliResult result = cli.finish();
    QVERIFY2(result.finished, err);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.endsWith("2 provisioned, 0 failed\n"), result.out);
    QCOMPARE(second->snapshot().storedValue(contract::StoreDataLevels), 0x3cu);
    if (second->slavePath() != port)
        qInfo("the system gave the second device another pseudo-terminal (%s, then %s)",
              qPrintable(port), qPrintable(second->slavePath()));
}

void TestCliBench::provision_data()
{
    QTest::addColumn<QStringList>("arguments"); // @: the runner's directory
    QTest::addColumn<QString>("device");        // plugged in once the run waits; "" none
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QStringList from{"provision", "--from", "@/p.profile"};
    QTest::newRow("json lines are the log's")
        << QStringList{"--json", "provision", "--from", "@/p.profile", "--count", "1"} << "good"
        << 0 << "{\"time\":"
        << "1 provisioned, 0 failed";
    QTest::newRow("does not come back")
        << from + QStringList{"--address", "C200", "--replug-timeout", "300ms", "--count", "1"}
        << "stays away" << 1 << ": the device did not come back at C200 within 300 ms"
        << "unplug the device (C100, ttyACM0) and plug it in again: it comes back at C200";
    QTest::newRow("log cannot be written")
        << from + QStringList{"--log", "/dev/full"} << "good" << 74 << "ok in "
        << "cannot write to the log /dev/full: No space left on device; provisioning stopped";
    QTest::newRow("log cannot be made")
        << from + QStringList{"--log", "@/no/such/dir/log"} << "" << 73 << ""
        << "cannot open the log @/no/such/dir/log: No such file or directory";
    QTest::newRow("Ctrl-C while waiting") << from << "signal" << 0 << "0 provisioned, 0 failed\n"
                                          << "";
    QTest::newRow("no profile") << QStringList{"provision"} << "" << 64 << ""
                                << "provision needs the profile";
    QTest::newRow("profile missing")
        << QStringList{"provision", "--from", "@/none.profile"} << "" << 66 << ""
        << "cannot read";
    QTest::newRow("profile without keys")
        << QStringList{"provision", "--from", "@/empty.profile"} << "" << 65 << ""
        << "gives no key";
    QTest::newRow("address not settable")
        << from + QStringList{"--address", "C300"} << "" << 64 << ""
        << "--address \"C300\" is no address";
    QTest::newRow("count 0") << from + QStringList{"--count", "0"} << "" << 64 << ""
                             << "--count \"0\" is out of range";
    QTest::newRow("bad plug") << from + QStringList{"--selftest", "@/empty.profile"} << "" << 65
                              << ""
                              << "no nets";
    QTest::newRow("one device named") << QStringList{"--device", "C100"} + from << "" << 64 << ""
                                      << "leave out --port and --device";
}

void TestCliBench::provision()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, device);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    CliRunner cli;
    const QString dir = cli.filePath(QString()) + QLatin1Char('/');
    QFile profile(cli.filePath(QStringLiteral("p.profile")));
    QVERIFY(profile.open(QIODevice::WriteOnly));
    profile.write("control.levels=0x5\n");
    profile.close();
    QFile empty(cli.filePath(QStringLiteral("empty.profile")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    arguments.replaceInStrings(QStringLiteral("@/"), dir);

    auto endpoint = simulated("");
    if (device == QLatin1String("stays away")) {
        endpoint->setAddressShownAfterReplug(true);
        QObject::connect(
            endpoint.get(), &SimulatedDeviceEndpoint::addressChanged, endpoint.get(),
            [&endpoint] { endpoint->drop(); }, Qt::QueuedConnection);
    }
    QProcess &process = cli.start(arguments);
    QByteArray seen;
    if (!device.isEmpty()) {
        QVERIFY2(asks_for_device(process, 1, &seen), seen);
        if (device == QLatin1String("signal"))
            ::kill(pid_t(process.processId()), SIGINT);
        else
            cli.follow(*endpoint, QStringLiteral("ttyACM0"));
    }
    CliResult result = cli.finish();
    result.err.prepend(seen);
    QVERIFY(result.finished);
    QVERIFY2(result.exitCode == exitCode, result.err);
    QVERIFY2(result.out.contains(out.toUtf8()), result.out);
    QVERIFY2(result.err.contains(err.replace(QStringLiteral("@/"), dir).toUtf8()), result.err);
    if (arguments.first() == QLatin1String("--json")) {
        const QJsonObject record = QJsonDocument::fromJson(result.out).object();
        QCOMPARE(record["result"].toString(), QStringLiteral("ok"));
        QVERIFY(record["address_after"].isNull());
    }
}

QTEST_MAIN(TestCliBench)
#include "tst_cli_bench.moc"
