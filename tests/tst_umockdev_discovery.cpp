// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Finding devices the way a user's machine does: synthetic USB devices (tests/devices/) in a
// umockdev testbed, seen through Qt's own port list (libudev and sysfs), /sys and /dev. The
// real window is built in this process; the real kaldorium-lpt runs as a child that sees the
// same testbed. The suite runs under umockdev-wrapper.

#include "cli_runner.h"
#include "console_lines.h"
#include "mainwindow.h"
#include "program_state.h"
#include "synthetic_line.h"
#include "umockdev_testbed.h"
#include "window_access.h"

#include "device_link/host_ports.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace testsupport;

namespace {

const QString kNotFound = QStringLiteral("KALDORIUM-LPT not found\n");
const QString kRefresh = QStringLiteral("Refresh ports list\n");

// The foreign ports, every one in a port of its own: another maker's CDC-ACM port
// (ttyACM1, first in the host's order), an FTDI cable (ttyUSB0) and two manufacturer strings
// that are nearly the device's (ttyACM2, ttyACM3).
const QStringList kForeign = {"other-maker-acm", "ftdi-cable", "lookalike-manufacturers"};

QStringList portNames(const QList<host::SerialPortEntry> &ports)
{
    QStringList names;
    for (const host::SerialPortEntry &port : ports)
        names << port.portName;
    return names;
}

QString foundLines(const QStringList &addresses)
{
    QString lines;
    for (const QString &address : addresses)
        lines += foundLine(address);
    return addresses.isEmpty() ? kNotFound : lines;
}

// A line of kaldorium-lpt list.
QString listLine(const QString &address, const QString &port, bool nodePresent)
{
    const QString node = QStringLiteral("/dev/KALDORIUM_LPT_") + address.toUpper();
    QString line = QStringLiteral("%1  %2  %3").arg(address, -6).arg(node, -26).arg(port);
    if (!nodePresent)
        line += QStringLiteral("  node missing (are the udev rules installed? see "
                               "kaldorium-lpt(1))");
    return line + QLatin1Char('\n');
}

// One row of descriptions plugged in; links as the udev rules make them: {"C100", "ttyACM0"}.
using Links = QMap<QString, QString>;

// A device udev never processed, on a host where udev runs: the program waits for udev.
bool needsNoUdev(const QStringList &descriptions)
{
    return descriptions.filter(QStringLiteral("without-udev")).size() &&
           UmockdevTestbed::udevRuns();
}

#define SKIP_WHERE_UDEV_RUNS(descriptions)                                                         \
    if (needsNoUdev(descriptions))                                                                 \
    QSKIP("udev runs on this host: the program leaves the device's strings to it")

void plugIn(UmockdevTestbed &testbed, const QStringList &descriptions, const Links &links = {})
{
    for (const QString &name : descriptions)
        testbed.add(name);
    for (auto it = links.cbegin(); it != links.cend(); ++it)
        testbed.linkNode(QStringLiteral("KALDORIUM_LPT_") + it.key(), it.value());
}

} // namespace

class UmockdevDiscoveryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { reset_program_state(); }

    void windowScans_data();
    void windowScans();
    void windowRefreshes_data();
    void windowRefreshes();
    void windowOpensOnlyTheRulesNode_data();
    void windowOpensOnlyTheRulesNode();

    void descriptionKeyChoosesTheNode_data();
    void descriptionKeyChoosesTheNode();

    void cliLists_data();
    void cliLists();
    void cliListsJson();
    void cliChoosesTheNode_data();
    void cliChoosesTheNode();
};

void UmockdevDiscoveryTest::initTestCase()
{
    if (!UmockdevTestbed::preloaded())
        QFAIL("run this suite under umockdev-wrapper: it needs umockdev's preload library");
}

void UmockdevDiscoveryTest::windowScans_data()
{
    QTest::addColumn<QStringList>("descriptions");
    QTest::addColumn<QStringList>("ports");  // every port the host lists, in its order
    QTest::addColumn<QStringList>("listed"); // the window's items

    const QStringList addresses = {"C100", "c200", "C300", "c400", "C500", "c600", "C700", "c800"};
    for (const QString &address : addresses) {
        QTest::addRow("%s", qPrintable(address))
            << QStringList{QStringLiteral("kaldorium-lpt-") + address.toLower()}
            << QStringList{"ttyACM0"} << QStringList{address};
    }
    QTest::newRow("two at once, in the host's order")
        << QStringList{"two-kaldorium-lpt"} << QStringList{"ttyACM0", "ttyACM1"}
        << QStringList{"c200", "C100"};
    QTest::newRow("among foreign ports")
        << (kForeign + QStringList{"kaldorium-lpt-c100"})
        << QStringList{"ttyACM1", "ttyACM0", "ttyUSB0", "ttyACM2", "ttyACM3"}
        << QStringList{"C100"};
    QTest::newRow("foreign ports only")
        << kForeign << QStringList{"ttyACM1", "ttyUSB0", "ttyACM2", "ttyACM3"} << QStringList{};
    QTest::newRow("in its bootloader")
        << QStringList{"kaldorium-lpt-dfu"} << QStringList{} << QStringList{};
    // The USB strings from sysfs.
    QTest::newRow("without udev") << QStringList{"kaldorium-lpt-c100-without-udev"}
                                  << QStringList{"ttyACM0"} << QStringList{"C100"};
    QTest::newRow("nothing plugged in") << QStringList{} << QStringList{} << QStringList{};
}

void UmockdevDiscoveryTest::windowScans()
{
    QFETCH(QStringList, descriptions);
    QFETCH(QStringList, ports);
    QFETCH(QStringList, listed);
    SKIP_WHERE_UDEV_RUNS(descriptions);

    UmockdevTestbed testbed;
    plugIn(testbed, descriptions);
    QCOMPARE(portNames(host::available_ports()), ports);

    MainWindow window;
    QCOMPARE(portListItems(window), listed);
    QCOMPARE(child<QComboBox>(window, "port_list_comboBox")->currentIndex(),
             listed.isEmpty() ? -1 : 0);
    QCOMPARE(consoleText(window), foundLines(listed));
    QCOMPARE(child<QWidget>(window, "Open_pushButton")->isEnabled(), !listed.isEmpty());
}

void UmockdevDiscoveryTest::windowRefreshes_data()
{
    // Each address is covered at start-up; a fresh testbed costs a few tenths of a second.
    QTest::addColumn<QStringList>("descriptions");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("the same two") << QStringList{"two-kaldorium-lpt"}
                                  << QStringList{"c200", "C100"};
    QTest::newRow("another one among foreign ports")
        << (kForeign + QStringList{"kaldorium-lpt-c500"}) << QStringList{"C500"};
    QTest::newRow("in its bootloader") << QStringList{"kaldorium-lpt-dfu"} << QStringList{};
    QTest::newRow("without udev") << QStringList{"kaldorium-lpt-c100-without-udev"}
                                  << QStringList{"C100"};
    QTest::newRow("unplugged") << QStringList{} << QStringList{};
}

void UmockdevDiscoveryTest::windowRefreshes()
{
    QFETCH(QStringList, descriptions);
    QFETCH(QStringList, listed);
    SKIP_WHERE_UDEV_RUNS(descriptions);

    auto testbed = std::make_unique<UmockdevTestbed>();
    plugIn(*testbed, {"two-kaldorium-lpt"});
    MainWindow window;
    auto *list = child<QComboBox>(window, "port_list_comboBox");
    list->setCurrentIndex(1);
    const QString before = consoleText(window);
    QCOMPARE(before, foundLines({"c200", "C100"}));

    // The devices go, others come (on a testbed of their own); Refresh sees the host as it
    // is now.
    testbed.reset();
    testbed = std::make_unique<UmockdevTestbed>();
    plugIn(*testbed, descriptions);
    click(window, "refresh_pushButton");
    QCOMPARE(portListItems(window), listed);
    QCOMPARE(list->currentIndex(), listed.isEmpty() ? -1 : 0);
    QCOMPARE(consoleText(window), before + kRefresh + foundLines(listed));
    QCOMPARE(child<QWidget>(window, "Open_pushButton")->isEnabled(), !listed.isEmpty());
}

void UmockdevDiscoveryTest::windowOpensOnlyTheRulesNode_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<Links>("links");
    QTest::addColumn<QString>("line");

    QTest::newRow("udev made the node")
        << "kaldorium-lpt-c300" << Links{{"C300", "ttyACM0"}} << "Opening port - success!\n";
    // Listed from sysfs, but the window opens its fixed node only, which udev never made.
    QTest::newRow("without udev") << "kaldorium-lpt-c100-without-udev" << Links{}
                                  << "Opening port - failed!\n";
}

void UmockdevDiscoveryTest::windowOpensOnlyTheRulesNode()
{
    QFETCH(QString, description);
    QFETCH(Links, links);
    QFETCH(QString, line);
    SKIP_WHERE_UDEV_RUNS(QStringList{description});

    UmockdevTestbed testbed;
    plugIn(testbed, {description}, links);
    SyntheticLine device(testbed, QStringLiteral("/dev/ttyACM0"));
    MainWindow window;
    const QString before = consoleText(window);
    click(window, "Open_pushButton");
    QCOMPARE(consoleText(window), before + line);
    if (links.isEmpty())
        return;
    // The line is the synthetic device's: an input status frame from it reaches the parser.
    prev_read_counter = 127;
    device.write(QByteArray::fromHex("ff01020304"));
    QTRY_COMPARE(prev_read_counter, 4);
}

void UmockdevDiscoveryTest::descriptionKeyChoosesTheNode_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("node"); // empty: the description holds no address key
    QTest::newRow("two keys, table order") << "c200 c100"
                                           << "KALDORIUM_LPT_C100";
    QTest::newRow("C1000 holds c100") << "C1000"
                                      << "KALDORIUM_LPT_C100";
    QTest::newRow("0x prefix") << "0xc300"
                               << "KALDORIUM_LPT_C300";
    QTest::newRow("text around") << "KALDORIUM-LPT c500 port"
                                 << "KALDORIUM_LPT_C500";
    QTest::newRow("no key") << "C900"
                            << "";
}

void UmockdevDiscoveryTest::descriptionKeyChoosesTheNode()
{
    QFETCH(QString, product);
    QFETCH(QString, node);

    // The C100 device with another product string, and udev's ID_MODEL made from it.
    UmockdevTestbed testbed;
    QString model = product;
    testbed.add(QStringLiteral("kaldorium-lpt-c100"),
                {{"A: product=C100\\n", "A: product=" + product + "\\n"},
                 {"E: ID_MODEL=C100\n", "E: ID_MODEL=" + model.replace(' ', '_') + "\n"}});
    if (!node.isEmpty())
        testbed.linkNode(node, QStringLiteral("ttyACM0"));
    SyntheticLine device(testbed, QStringLiteral("/dev/ttyACM0"));

    MainWindow window;
    QCOMPARE(portListItems(window), QStringList{product});
    QCOMPARE(consoleText(window), foundLine(product));
    click(window, "Open_pushButton");
    QCOMPARE(consoleText(window),
             foundLine(product) +
                 (node.isEmpty() ? "Opening port - failed!\n" : "Opening port - success!\n"));
    click(window, "Close_pushButton");

    CliRunner cli;
    cli.useHostPorts();
    const CliResult result = cli.run({"address", "set", "c200"});
    QVERIFY(result.finished);
    if (node.isEmpty()) {
        QCOMPARE(result.exitCode, 69);
        QCOMPARE(QString::fromUtf8(result.err),
                 QStringLiteral("kaldorium-lpt: the KALDORIUM-LPT on ttyACM0 reports the address "
                                "\"%1\", which names no device node; give its node with --port\n")
                     .arg(product));
        return;
    }
    QCOMPARE(result.exitCode, 0);
    QTRY_COMPARE(device.received(), QByteArray::fromHex("ffff00030400"));
}

void UmockdevDiscoveryTest::cliLists_data()
{
    QTest::addColumn<QStringList>("descriptions");
    QTest::addColumn<Links>("links");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::newRow("C100 without its node") << QStringList{"kaldorium-lpt-c100"} << Links{} << 0
                                           << listLine("C100", "ttyACM0", false) << "";
    QTest::newRow("c600 with its node")
        << QStringList{"kaldorium-lpt-c600"} << Links{{"C600", "ttyACM0"}} << 0
        << listLine("c600", "ttyACM0", true) << "";
    QTest::newRow("two, one node")
        << QStringList{"two-kaldorium-lpt"} << Links{{"C100", "ttyACM1"}} << 0
        << listLine("c200", "ttyACM0", false) + listLine("C100", "ttyACM1", true) << "";
    QTest::newRow("among foreign ports")
        << (kForeign + QStringList{"kaldorium-lpt-c700"}) << Links{{"C700", "ttyACM0"}} << 0
        << listLine("C700", "ttyACM0", true) << "";
    const QString none =
        "kaldorium-lpt: no KALDORIUM-LPT found; plug one in and check that the system sees "
        "it (dmesg)\n";
    QTest::newRow("foreign ports only") << kForeign << Links{} << 69 << "" << none;
    QTest::newRow("in its bootloader")
        << QStringList{"kaldorium-lpt-dfu"} << Links{} << 69 << "" << none;
    QTest::newRow("without udev") << QStringList{"kaldorium-lpt-c100-without-udev"} << Links{} << 0
                                  << listLine("C100", "ttyACM0", false) << "";
}

void UmockdevDiscoveryTest::cliLists()
{
    QFETCH(QStringList, descriptions);
    QFETCH(Links, links);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    SKIP_WHERE_UDEV_RUNS(descriptions);

    UmockdevTestbed testbed;
    plugIn(testbed, descriptions, links);
    CliRunner cli;
    cli.useHostPorts();
    const CliResult result = cli.run({"list"});
    QVERIFY(result.finished);
    QCOMPARE(QString::fromUtf8(result.out), out);
    QCOMPARE(QString::fromUtf8(result.err), err);
    QCOMPARE(result.exitCode, exitCode);
}

void UmockdevDiscoveryTest::cliListsJson()
{
    UmockdevTestbed testbed;
    plugIn(testbed, {"two-kaldorium-lpt"}, {{"C200", "ttyACM0"}});
    CliRunner cli;
    cli.useHostPorts();
    const CliResult result = cli.run({"--json", "list"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(QJsonDocument::fromJson(result.out).array(),
             (QJsonArray{QJsonObject{{"address", "c200"},
                                     {"node", "/dev/KALDORIUM_LPT_C200"},
                                     {"port", "ttyACM0"},
                                     {"node_present", true}},
                         QJsonObject{{"address", "C100"},
                                     {"node", "/dev/KALDORIUM_LPT_C100"},
                                     {"port", "ttyACM1"},
                                     {"node_present", false}}}));
}

void UmockdevDiscoveryTest::cliChoosesTheNode_data()
{
    QTest::addColumn<QStringList>("descriptions");
    QTest::addColumn<Links>("links");
    QTest::addColumn<QStringList>("device"); // --device and its address, or nothing
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("tty"); // where the address frame went; empty: nowhere
    QTest::addColumn<QString>("err");

    const QStringList none;
    QTest::newRow("the one attached, by its node")
        << QStringList{"kaldorium-lpt-c100"} << Links{{"C100", "ttyACM0"}} << none << 0
        << "/dev/ttyACM0"
        << "";
    QTest::newRow("two, --device C100 is the second")
        << QStringList{"two-kaldorium-lpt"} << Links{{"C100", "ttyACM1"}, {"C200", "ttyACM0"}}
        << QStringList{"--device", "c100"} << 0 << "/dev/ttyACM1"
        << "";
    QTest::newRow("two, --device 0xC200")
        << QStringList{"two-kaldorium-lpt"} << Links{{"C100", "ttyACM1"}, {"C200", "ttyACM0"}}
        << QStringList{"--device", "0xC200"} << 0 << "/dev/ttyACM0"
        << "";
    QTest::newRow("two, none chosen")
        << QStringList{"two-kaldorium-lpt"} << Links{{"C100", "ttyACM1"}, {"C200", "ttyACM0"}}
        << none << 64 << ""
        << "kaldorium-lpt: several KALDORIUM-LPT devices: c200, C100; choose one with "
           "--device\n";
    QTest::newRow("among foreign ports")
        << (kForeign + QStringList{"kaldorium-lpt-c400"}) << Links{{"C400", "ttyACM0"}} << none << 0
        << "/dev/ttyACM0"
        << "";
    QTest::newRow("a lookalike is no device")
        << kForeign << Links{} << QStringList{"--device", "C300"} << 69 << ""
        << "kaldorium-lpt: no KALDORIUM-LPT with address C300 found (none is attached); see "
           "kaldorium-lpt list\n";
    QTest::newRow("in its bootloader")
        << QStringList{"kaldorium-lpt-dfu"} << Links{} << none << 69 << ""
        << "kaldorium-lpt: no KALDORIUM-LPT found; plug one in, or give its node with --port\n";
    // Without udev the rules made no node: the tty's own node, said once.
    const QString ownNode = "kaldorium-lpt: /dev/KALDORIUM_LPT_C100 is missing (udev has not "
                            "applied the rules); opening the device's own node /dev/ttyACM0\n";
    QTest::newRow("without udev") << QStringList{"kaldorium-lpt-c100-without-udev"} << Links{}
                                  << none << 0 << "/dev/ttyACM0" << ownNode;
    QTest::newRow("without udev, --device")
        << QStringList{"kaldorium-lpt-c100-without-udev"} << Links{}
        << QStringList{"--device", "C100"} << 0 << "/dev/ttyACM0" << ownNode;
    QTest::newRow("node missing beside a foreign port")
        << QStringList{"other-maker-acm", "kaldorium-lpt-c100"} << Links{} << none << 0
        << "/dev/ttyACM0" << ownNode;
}

void UmockdevDiscoveryTest::cliChoosesTheNode()
{
    QFETCH(QStringList, descriptions);
    QFETCH(Links, links);
    QFETCH(QStringList, device);
    QFETCH(int, exitCode);
    QFETCH(QString, tty);
    QFETCH(QString, err);
    SKIP_WHERE_UDEV_RUNS(descriptions);

    UmockdevTestbed testbed;
    plugIn(testbed, descriptions, links);
    // Every synthetic tty, to see which one the frame reaches.
    std::vector<std::unique_ptr<SyntheticLine>> ends;
    QStringList ttys;
    for (const QString &name : descriptions) {
        for (const QString &path : device_paths(name)) {
            if (path.contains(QLatin1String("/tty/"))) {
                ttys << QStringLiteral("/dev/") + path.section(QLatin1Char('/'), -1);
                ends.push_back(std::make_unique<SyntheticLine>(testbed, ttys.last()));
            }
        }
    }

    CliRunner cli;
    cli.useHostPorts();
    const CliResult result = cli.run(device + QStringList{"address", "set", "c200"});
    QVERIFY(result.finished);
    QCOMPARE(QString::fromUtf8(result.err), err);
    QCOMPARE(result.exitCode, exitCode);
    const QByteArray frame = QByteArray::fromHex("ffff00030400"); // address C200
    for (int i = 0; i < ttys.size(); ++i) {
        if (ttys[i] == tty)
            QTRY_COMPARE(ends[size_t(i)]->received(), frame);
        else
            QVERIFY2(ends[size_t(i)]->received().isEmpty(), qPrintable(ttys[i]));
    }
}

QTEST_MAIN(UmockdevDiscoveryTest)
#include "tst_umockdev_discovery.moc"
