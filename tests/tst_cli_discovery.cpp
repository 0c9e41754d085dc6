// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// kaldorium-lpt finding its device: the ports it recognises, the node it chooses, and what
// it says when there is none, several, or a node it cannot open. The real executable, with
// the host's ports replaced by a port list.

#include "cli_runner.h"
#include "device_link/device_contract.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace testsupport;

namespace {

// "C100" is a port of the device; "!C100" one whose manufacturer differs in letter case.
QList<host::SerialPortEntry> portsFrom(const QStringList &descriptions)
{
    QList<host::SerialPortEntry> ports;
    int number = 0;
    for (QString description : descriptions) {
        host::SerialPortEntry port;
        port.manufacturer = QString::fromLatin1(contract::kManufacturer);
        if (description.startsWith(QLatin1Char('!'))) {
            port.manufacturer = port.manufacturer.toLower();
            description.remove(0, 1);
        }
        port.description = description;
        port.portName = QStringLiteral("ttyACM%1").arg(number++);
        ports.append(port);
    }
    return ports;
}

} // namespace

class TestCliDiscovery : public QObject {
    Q_OBJECT

private slots:
    void choosesAndReports_data();
    void choosesAndReports();
    void listJson();
};

void TestCliDiscovery::choosesAndReports_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QStringList>("nodes");     // files made in the node directory; "/" = dir
    QTest::addColumn<QStringList>("arguments"); // "@" stands for the node directory
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QStringList none;
    const QStringList setC100 = {"address", "set", "C100"};
    QTest::newRow("none attached") << none << none << QStringList{"list"} << 69 << ""
                                   << "no KALDORIUM-LPT found";
    QTest::newRow("manufacturer differs in case")
        << QStringList{"!C100"} << QStringList{"KALDORIUM_LPT_C100"} << QStringList{"list"} << 69
        << ""
        << "no KALDORIUM-LPT found";
    QTest::newRow("listed with its node")
        << QStringList{"!C300", "C100"} << QStringList{"KALDORIUM_LPT_C100"} << QStringList{"list"}
        << 0 << "C100    @/KALDORIUM_LPT_C100  ttyACM1\n"
        << "";
    QTest::newRow("node missing") << QStringList{"c200"} << none << QStringList{"list"} << 0
                                  << "c200    @/KALDORIUM_LPT_C200  ttyACM0  node missing"
                                  << "";
    QTest::newRow("first key wins")
        << QStringList{"c200 c100"} << none << QStringList{"list"} << 0 << "@/KALDORIUM_LPT_C100"
        << "";
    QTest::newRow("several, none chosen")
        << QStringList{"C100", "C200"} << none << setC100 << 64 << ""
        << "several KALDORIUM-LPT devices: C100, C200; choose one with --device";
    QTest::newRow("--device chooses, node is no tty")
        << QStringList{"C100", "C200"} << QStringList{"KALDORIUM_LPT_C200"}
        << (QStringList{"--device", "0xc200"} + setC100) << 69 << ""
        << "cannot open @/KALDORIUM_LPT_C200: ";
    QTest::newRow("--device not attached")
        << QStringList{"C100"} << none << (setC100 + QStringList{"--device", "C300"}) << 69 << ""
        << "no KALDORIUM-LPT with address C300 found (attached: C100)";
    QTest::newRow("--device no address")
        << QStringList{"C100"} << none << (QStringList{"--device", "C900"} + setC100) << 64 << ""
        << "--device \"C900\" is no device address";
    QTest::newRow("--port and --device")
        << none << none << (QStringList{"--port", "@/x", "--device", "C100"} + setC100) << 64 << ""
        << "--port and --device both name a device";
    QTest::newRow("--port missing node")
        << none << none << (QStringList{"--port", "@/ttyNONE"} + setC100) << 69 << ""
        << "cannot open @/ttyNONE: no such device node";
    QTest::newRow("--port a directory")
        << none << QStringList{"/dir"} << (QStringList{"--port", "@/dir"} + setC100) << 69 << ""
        << "cannot open @/dir: ";
    QTest::newRow("--timeout not above 0")
        << QStringList{"C100", "C200"} << none << QStringList{"list", "--json", "--timeout", "0"}
        << 64 << ""
        << "--timeout \"0\" is no number of milliseconds";
    QTest::newRow("no command") << none << none << QStringList{} << 64 << ""
                                << "no command given; try kaldorium-lpt --help";
    QTest::newRow("unknown command") << none << none << QStringList{"lsit"} << 64 << ""
                                     << "unknown command \"lsit\"; the commands are: list";
    QTest::newRow("unknown option") << none << none << QStringList{"list", "--colour"} << 64 << ""
                                    << "Unknown option 'colour'";
}

void TestCliDiscovery::choosesAndReports()
{
    QFETCH(QStringList, ports);
    QFETCH(QStringList, nodes);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    CliRunner cli;
    cli.setPorts(portsFrom(ports));
    const QString dir = cli.nodeDirectory();
    for (const QString &node : nodes) {
        if (node.startsWith(QLatin1Char('/'))) {
            QVERIFY(QDir(dir).mkdir(node.mid(1)));
        } else {
            QFile file(dir + QLatin1Char('/') + node);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }
    arguments.replaceInStrings(QStringLiteral("@"), dir);

    const CliResult result = cli.run(arguments);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(result.out).contains(out.replace(QLatin1Char('@'), dir)),
             result.out.constData());
    QVERIFY2(QString::fromUtf8(result.err).contains(err.replace(QLatin1Char('@'), dir)),
             result.err.constData());
    // An error is one line on standard error; a success writes none.
    QCOMPARE(result.err.count('\n'), exitCode == 0 ? 0 : 1);
}

void TestCliDiscovery::listJson()
{
    CliRunner cli;
    cli.setPorts(portsFrom({"C100", "!C200", "c300"}));
    QFile node(cli.nodeDirectory() + QStringLiteral("/KALDORIUM_LPT_C100"));
    QVERIFY(node.open(QIODevice::WriteOnly));

    const CliResult result = cli.run({"--json", "list"});
    QCOMPARE(result.exitCode, 0);
    const QJsonArray list = QJsonDocument::fromJson(result.out).array();
    const QString dir = cli.nodeDirectory();
    QCOMPARE(list, (QJsonArray{QJsonObject{{"address", "C100"},
                                           {"node", dir + "/KALDORIUM_LPT_C100"},
                                           {"port", "ttyACM0"},
                                           {"node_present", true}},
                               QJsonObject{{"address", "c300"},
                                           {"node", dir + "/KALDORIUM_LPT_C300"},
                                           {"port", "ttyACM2"},
                                           {"node_present", false}}}));
}

QTEST_GUILESS_MAIN(TestCliDiscovery)
#include "tst_cli_discovery.moc"
