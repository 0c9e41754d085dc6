// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Devices plugged in and unplugged while kaldorium-lpt waits for them (wait) or works
// through them one after another (provision): the real executable under umockdev's preload,
// the synthetic USB devices of tests/devices/ added to and removed from its testbed (sysfs,
// udev's properties, the tty) while it runs, the node the udev rules make linked and removed
// with them, as udev does, and for provision a simulated device answering on each tty.

#include "cli_runner.h"
#include "simulated_device.h"
#include "synthetic_line.h"
#include "umockdev_testbed.h"

#include "device_link/device_contract.h"
#include "device_link/frames.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

using namespace testsupport;

namespace {

// One step of a row: a description plugged in (or with a leading "-", unplugged) and moved
// to another port (0: where the description puts it), with the rules' node when udev has
// processed it: {"C100", "ttyACM0"}. `settles`: the program has a second to look, and must
// still be waiting.
struct Step {
    QString description;
    int port = 0;
    QString address = QString();
    QString tty = QString();
    bool settles = false;
};
using Steps = QList<Step>;

void apply(UmockdevTestbed &testbed, const Step &step)
{
    const bool unplug = step.description.startsWith(QLatin1Char('-'));
    const QString name = unplug ? step.description.mid(1) : step.description;
    const QMap<QString, QString> renamed =
        step.port ? moved_to(step.port) : QMap<QString, QString>();
    const QString node = QStringLiteral("KALDORIUM_LPT_") + step.address;
    // udev makes the link before its properties show, and removes it after the kernel has
    // removed the device.
    if (unplug) {
        testbed.remove(name, renamed);
        if (!step.address.isEmpty())
            testbed.linkNode(node, QString());
    } else {
        if (!step.address.isEmpty())
            testbed.linkNode(node, step.tty);
        testbed.add(name, renamed);
    }
}

QString waitLine(const QString &address, const QString &node, const QString &tty)
{
    return address + QStringLiteral("  ") + node + QStringLiteral("  ") + tty + QLatin1Char('\n');
}

// A device udev never processed, on a host where udev runs: the program waits for udev.
bool needsNoUdev(const Steps &steps)
{
    for (const Step &step : steps) {
        if (step.description.contains(QLatin1String("without-udev")))
            return UmockdevTestbed::udevRuns();
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(Steps)

class UmockdevHotplugTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void waitEndsWhenThePlugChanges_data();
    void waitEndsWhenThePlugChanges();
    void provisionTakesEachDevicePluggedIn_data();
    void provisionTakesEachDevicePluggedIn();
};

void UmockdevHotplugTest::initTestCase()
{
    if (!UmockdevTestbed::preloaded())
        QFAIL("run this suite under umockdev-wrapper: it needs umockdev's preload library");
}

void UmockdevHotplugTest::waitEndsWhenThePlugChanges_data()
{
    QTest::addColumn<Steps>("before");     // plugged in before the wait starts
    QTest::addColumn<QStringList>("wait"); // the command's arguments
    QTest::addColumn<Steps>("during");     // while it waits
    QTest::addColumn<QString>("out");      // what it reports

    const Step c100{"kaldorium-lpt-c100", 0, "C100", "ttyACM0"};
    const Step c200{"kaldorium-lpt-c200", 0, "C200", "ttyACM0"};
    const Step c100In5{"kaldorium-lpt-c100", 5, "C100", "ttyACM5"};
    const Step c200Settles{"kaldorium-lpt-c200", 0, "C200", "ttyACM0", true};
    const QString c100Line = waitLine("C100", "/dev/KALDORIUM_LPT_C100", "ttyACM0");

    QTest::newRow("any device") << Steps{} << QStringList{"wait"} << Steps{c100} << c100Line;
    QTest::newRow("any, foreign ports and the bootloader first")
        << Steps{} << QStringList{"wait"}
        << Steps{{"other-maker-acm"},
                 {"ftdi-cable"},
                 {"lookalike-manufacturers"},
                 {"kaldorium-lpt-dfu", 9, "", "", true},
                 c100}
        << c100Line;
    QTest::newRow("--device C100, c200 first")
        << Steps{} << QStringList{"--device", "C100", "wait"} << Steps{c200Settles, c100In5}
        << waitLine("C100", "/dev/KALDORIUM_LPT_C100", "ttyACM5");
    // The bootloader leaves, the device comes back (a firmware upgrade's end).
    QTest::newRow("--device C100 back from its bootloader")
        << Steps{{"kaldorium-lpt-dfu"}} << QStringList{"wait", "--device", "0xc100"}
        << Steps{{"-kaldorium-lpt-dfu"}, c100In5}
        << waitLine("C100", "/dev/KALDORIUM_LPT_C100", "ttyACM5");
    // udev never ran: no rules' node, the tty's own.
    QTest::newRow("without udev") << Steps{} << QStringList{"wait", "--device", "C100"}
                                  << Steps{{"kaldorium-lpt-c100-without-udev"}}
                                  << waitLine("C100", "/dev/ttyACM0", "ttyACM0");
    QTest::newRow("--gone") << Steps{c100} << QStringList{"wait", "--gone"}
                            << Steps{{"-kaldorium-lpt-c100", 0, "C100"}} << c100Line;
    QTest::newRow("--gone --device C200, C100 unplugged first")
        << Steps{c100In5, c200} << QStringList{"wait", "--gone", "--device", "C200"}
        << Steps{{"-kaldorium-lpt-c100", 5, "C100", "", true}, {"-kaldorium-lpt-c200", 0, "C200"}}
        << waitLine("c200", "/dev/KALDORIUM_LPT_C200", "ttyACM0");
    QTest::newRow("--gone, without udev")
        << Steps{{"kaldorium-lpt-c100-without-udev"}} << QStringList{"wait", "--gone"}
        << Steps{{"-kaldorium-lpt-c100-without-udev"}}
        << waitLine("C100", "/dev/ttyACM0", "ttyACM0");
}

void UmockdevHotplugTest::waitEndsWhenThePlugChanges()
{
    QFETCH(Steps, before);
    QFETCH(QStringList, wait);
    QFETCH(Steps, during);
    QFETCH(QString, out);
    if (needsNoUdev(before + during))
        QSKIP("udev runs on this host: the program leaves the device's strings to it");

    UmockdevTestbed testbed;
    for (const Step &step : before)
        apply(testbed, step);
    CliRunner cli;
    cli.useHostPorts();
    QProcess &process = cli.start(wait + QStringList{"--for", "60s"});
    // It has looked at the host once it says what it waits for.
    QByteArray err;
    QVERIFY(QTest::qWaitFor(
        [&] {
            err += process.readAllStandardError();
            return err.contains("waiting for") || process.state() == QProcess::NotRunning;
        },
        30000));
    QVERIFY2(process.state() == QProcess::Running, err.constData());

    for (const Step &step : during) {
        apply(testbed, step);
        if (step.settles) {
            QTest::qWait(1000);
            QVERIFY2(process.state() == QProcess::Running, process.readAllStandardOutput());
        }
    }
    const CliResult result = cli.finish(30000);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(QString::fromUtf8(result.out), out);
    QCOMPARE((err + result.err).count('\n'), 1); // the note only
}

namespace {

// A bench: KALDORIUM-LPTs plugged into the testbed, each a simulated device answering on its
// synthetic tty. A device told its new address comes back at it when replugged.
class Bench {
public:
    explicit Bench(UmockdevTestbed &testbed) : testbed_(testbed) {}

    // Plugs in a description's device (moved to `port` unless 0) as a simulated device at
    // the address of its product string; `linked`: udev made its node. Returns the device.
    SimulatedDevice &plug(const QString &description, int port, bool linked)
    {
        devices_.push_back(std::make_unique<SimulatedDevice>());
        plugAgain(*devices_.back(), description, port, linked, {});
        return *devices_.back();
    }

    // The same device (its stored items kept) plugged in again.
    void plugAgain(SimulatedDevice &device, const QString &description, int port, bool linked,
                   QMap<QString, QString> renamed)
    {
        if (port)
            renamed = moved_to(port, renamed);
        const Plugged what{description, renamed, linked};
        const QString address = productAddress(what);
        if (device.description() != address)
            device.takeHostBytes(
                frames::command_frame(contract::SetAddress, address.toUInt(nullptr, 16)));
        const QString tty = port ? QStringLiteral("ttyACM%1").arg(port) : QStringLiteral("ttyACM0");
        if (linked)
            testbed_.linkNode(QStringLiteral("KALDORIUM_LPT_") + address, tty);
        testbed_.add(description, renamed);
        device.powerOn();
        lines_.push_back(
            std::make_unique<SyntheticLine>(testbed_, QStringLiteral("/dev/") + tty, &device));
        plugged_[&device] = what;
    }

    void unplug(SimulatedDevice &device)
    {
        const Plugged what = plugged_.take(&device);
        testbed_.remove(what.description, what.renamed);
        if (what.linked)
            testbed_.linkNode(QStringLiteral("KALDORIUM_LPT_") + productAddress(what), QString());
    }

private:
    struct Plugged {
        QString description;
        QMap<QString, QString> renamed;
        bool linked = false;
    };
    // The address in the description's product string, upper case.
    static QString productAddress(const Plugged &what)
    {
        const QByteArray text = device_description(what.description, what.renamed);
        const int at = text.indexOf("A: product=") + 11;
        return QString::fromUtf8(text.mid(at, text.indexOf('\\', at) - at)).toUpper();
    }

    UmockdevTestbed &testbed_;
    std::vector<std::unique_ptr<SimulatedDevice>> devices_;
    std::vector<std::unique_ptr<SyntheticLine>> lines_;
    QMap<SimulatedDevice *, Plugged> plugged_;
};

// The provision line of each device so far (--json: one object a line).
QList<QJsonObject> records(const QByteArray &out)
{
    QList<QJsonObject> list;
    for (const QByteArray &line : out.split('\n')) {
        if (!line.isEmpty())
            list << QJsonDocument::fromJson(line).object();
    }
    return list;
}

const QByteArray kProfile = "data.direction=output\ndata.levels=0x81\nstatus.levels=0x28\n";

} // namespace

void UmockdevHotplugTest::provisionTakesEachDevicePluggedIn_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::newRow("two, one after the other") << "two";
    QTest::newRow("self-tested, given C200, confirmed after the replug") << "readdress";
    QTest::newRow("one attached before the run is left alone") << "attached before";
    QTest::newRow("without udev") << "without udev";
}

void UmockdevHotplugTest::provisionTakesEachDevicePluggedIn()
{
    QFETCH(QString, scenario);
    if (scenario == QLatin1String("without udev") && UmockdevTestbed::udevRuns())
        QSKIP("udev runs on this host: the program leaves the device's strings to it");

    UmockdevTestbed testbed;
    Bench bench(testbed);
    CliRunner cli;
    cli.useHostPorts();
    QFile profile(cli.filePath(QStringLiteral("line3.profile")));
    QVERIFY(profile.open(QIODevice::WriteOnly) && profile.write(kProfile) == kProfile.size());
    profile.close();

    const QString c100 = QStringLiteral("kaldorium-lpt-c100");
    SimulatedDevice *before = nullptr;
    if (scenario == QLatin1String("attached before"))
        before = &bench.plug(c100, 0, true);
    QStringList arguments{"--json", "provision", "--from", profile.fileName(), "--count"};
    arguments << (scenario == QLatin1String("two") ? "2" : "1");
    if (scenario == QLatin1String("readdress"))
        arguments << "--address"
                  << "C200"
                  << "--selftest"
                  << "full"
                  << "--replug-timeout"
                  << "30s";
    QProcess &process = cli.start(arguments);
    QByteArray err;
    QVERIFY(QTest::qWaitFor(
        [&] {
            err += process.readAllStandardError();
            return err.contains("plug in a device") || process.state() == QProcess::NotRunning;
        },
        30000));

    QByteArray out;
    const auto lines = [&] {
        out += process.readAllStandardOutput();
        return records(out).size();
    };
    SimulatedDevice *first = nullptr;
    if (scenario == QLatin1String("without udev"))
        first = &bench.plug(QStringLiteral("kaldorium-lpt-c100-without-udev"), 0, false);
    else if (scenario == QLatin1String("attached before"))
        first = &bench.plug(QStringLiteral("kaldorium-lpt-c200"), 5, true);
    else
        first = &bench.plug(c100, 0, true);

    if (scenario == QLatin1String("readdress")) {
        // The operator replugs the device once it has taken its new address.
        QVERIFY2(QTest::qWaitFor([&] { return first->address() == 0xC200; }, 30000), err);
        bench.unplug(*first);
        bench.plugAgain(*first, c100, 5, true,
                        {{"product=C100", "product=C200"}, {"ID_MODEL=C100", "ID_MODEL=C200"}});
    }
    if (scenario == QLatin1String("two")) {
        QVERIFY(QTest::qWaitFor([&] { return lines() == 1; }, 30000));
        bench.unplug(*first);
        bench.plug(QStringLiteral("kaldorium-lpt-c200"), 5, true);
    }
    const CliResult result = cli.finish(60000);
    out += result.out;
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);

    struct Expected {
        QString before, after, node, serial;
        QJsonValue selftest;
    };
    QList<Expected> expected;
    if (scenario == QLatin1String("two")) {
        expected << Expected{"C100", "", "/dev/KALDORIUM_LPT_C100", "KL0A1C100", {}}
                 << Expected{"c200", "", "/dev/KALDORIUM_LPT_C200", "KL0A1C200", {}};
    } else if (scenario == QLatin1String("readdress")) {
        expected << Expected{"C100", "C200", "/dev/KALDORIUM_LPT_C200", "KL0A1C100", "passed"};
    } else if (scenario == QLatin1String("attached before")) {
        expected << Expected{"c200", "", "/dev/KALDORIUM_LPT_C200", "KL0A1C200", {}};
    } else {
        expected << Expected{"C100", "", "/dev/ttyACM0", "KL0A1C100", {}};
    }
    const QList<QJsonObject> got = records(out);
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i) {
        const QJsonObject &record = got[i];
        const Expected &want = expected[i];
        QCOMPARE(record.value("result").toString(), QStringLiteral("ok"));
        QCOMPARE(record.value("address_before").toString(), want.before);
        QCOMPARE(record.value("address_after").toString(), want.after);
        QCOMPARE(record.value("node").toString(), want.node);
        QCOMPARE(record.value("serial").toString(), want.serial);
        QCOMPARE(record.value("selftest"), want.selftest);
        QCOMPARE(record.value("verified").toBool(), true);
    }
    // What the devices hold: the profile, where they were provisioned, nothing elsewhere.
    QCOMPARE(first->storedValue(contract::StoreDataLevels), 0x81u);
    if (before)
        QCOMPARE(before->commands(), 0);
}

QTEST_GUILESS_MAIN(UmockdevHotplugTest)
#include "tst_umockdev_hotplug.moc"
