// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Devices plugged in and unplugged while kaldorium-lpt waits for them: the real executable
// under umockdev's preload, the synthetic USB devices of tests/devices/ added to and removed
// from its testbed (sysfs, udev's properties, the tty) while it runs, and the node the udev
// rules make linked and removed with them, as udev does.

#include "cli_runner.h"
#include "umockdev_testbed.h"

#include <QtTest>

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

QTEST_GUILESS_MAIN(UmockdevHotplugTest)
#include "tst_umockdev_hotplug.moc"
