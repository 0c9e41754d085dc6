// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// kaldorium-lpt on a production bench, as a user runs it: wait for devices to come and go,
// the loopback self-test and provisioning, the real executable against simulated devices
// that come and go in its port list.

#include "cli_runner.h"
#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "simulated_device_endpoint.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
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

} // namespace

class TestCliBench : public QObject {
    Q_OBJECT

private slots:
    void wait_data();
    void wait();
    void waitEndsOnSignal();
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

QTEST_MAIN(TestCliBench)
#include "tst_cli_bench.moc"
