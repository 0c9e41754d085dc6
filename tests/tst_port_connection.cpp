// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Finding the devices among the host's ports, and opening and closing the chosen one through
// a real serial port on a pseudo-terminal that the stand-in host links as its device node.
#include "console_lines.h"
#include "fake_host.h"
#include "mainwindow.h"
#include "program_state.h"
#include "pseudo_terminal.h"
#include "pty_device_bench.h"
#include "window_access.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QSerialPort>
#include <QtTest>

#include <termios.h>

Q_DECLARE_METATYPE(host::SerialPortEntry)

using namespace testsupport;
using Ports = QList<host::SerialPortEntry>;

namespace {

const QString kSuccess = QStringLiteral("Opening port - success!\n");
const QString kFailed = QStringLiteral("Opening port - failed!\n");
const QString kNotFound = QStringLiteral("KALDORIUM-LPT not found\n");

QSerialPort *port(const QWidget &window)
{
    return window.findChild<QSerialPort *>();
}

// Own enabled flags of the form's widgets, by object name.
QMap<QString, bool> flags(const QWidget &window)
{
    QMap<QString, bool> flags;
    for (const QWidget *widget : formWidgets(window))
        flags.insert(widget->objectName(), !widget->testAttribute(Qt::WA_ForceDisabled));
    return flags;
}

QMap<QString, bool> withFlags(QMap<QString, bool> flags, const QStringList &on,
                              const QStringList &off)
{
    for (const QString &name : on)
        flags[name] = true;
    for (const QString &name : off)
        flags[name] = false;
    return flags;
}

QMap<QString, bool> portOpened(const QMap<QString, bool> &before)
{
    return withFlags(before,
                     {"Close_pushButton", "Run_pushButton", "set_pushButton", "groupBox_2",
                      "groupBox_3", "groupBox_6", "frame_5", "Defaults_set", "Defaults_read",
                      "OpenFirmware"},
                     {"Open_pushButton", "refresh_pushButton"});
}

QMap<QString, bool> portClosed(const QMap<QString, bool> &before)
{
    return withFlags(before, {"Open_pushButton", "refresh_pushButton"},
                     {"Close_pushButton", "Run_pushButton", "set_pushButton", "Defaults_set",
                      "Defaults_read", "OpenFirmware"});
}

// An input status frame from the line reaches the parser: proof that this line is open.
bool bytesArriveFrom(PseudoTerminal &line)
{
    prev_read_counter = 127;
    line.write(QByteArray::fromHex("ff01020304"));
    return QTest::qWaitFor([] { return prev_read_counter == 4; });
}

void addScanRows()
{
    QTest::addColumn<Ports>("ports");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("lines");

    const QString maker = QStringLiteral("Holmcraft KALDORIUM-LPT V1");
    QTest::newRow("no port") << Ports{} << QStringList() << kNotFound;
    QTest::newRow("one device") << Ports{devicePort("C100")} << QStringList{"C100"}
                                << foundLine("C100");
    QTest::newRow("maker in other case")
        << Ports{{"holmcraft kaldorium-lpt v1", "C100"}} << QStringList() << kNotFound;
    QTest::newRow("maker with extra text")
        << Ports{{maker + " (USB)", "C200"}} << QStringList() << kNotFound;
    QTest::newRow("maker cut short")
        << Ports{{"Holmcraft KALDORIUM-LPT", "C200"}} << QStringList() << kNotFound;
    QTest::newRow("maker with leading space")
        << Ports{{QLatin1Char(' ') + maker, "C200"}} << QStringList() << kNotFound;
    QTest::newRow("no maker") << Ports{{"", "C100"}} << QStringList() << kNotFound;
    QTest::newRow("empty description") << Ports{devicePort("")} << QStringList{""} << foundLine("");
    QTest::newRow("mixed, in host order")
        << Ports{{"FTDI", "C800"},
                 devicePort("c200"),
                 {"", "C300"},
                 devicePort("C100"),
                 devicePort("c200")}
        << QStringList{"c200", "C100", "c200"}
        << foundLine("c200") + foundLine("C100") + foundLine("c200");
}

} // namespace

class PortConnectionTest : public QObject {
    Q_OBJECT

private slots:
    void init() { reset_program_state(); }

    void scanAtStartup_data() { addScanRows(); }
    void scanAtStartup();
    void scanOnRefresh_data() { addScanRows(); }
    void scanOnRefresh();
    void openChoosesTheNodeByItemText_data();
    void openChoosesTheNodeByItemText();
    void textWithoutKeyKeepsTheLastNode_data();
    void textWithoutKeyKeepsTheLastNode();
    void everyOpenAppliesTheSettings();
    void closeReturnsToDisconnected();
};

void PortConnectionTest::scanAtStartup()
{
    QFETCH(Ports, ports);
    QFETCH(QStringList, listed);
    QFETCH(QString, lines);

    FakeHost host;
    host.setPorts(ports);
    MainWindow window;
    QCOMPARE(portListItems(window), listed);
    QCOMPARE(child<QComboBox>(window, "port_list_comboBox")->currentIndex(),
             listed.isEmpty() ? -1 : 0);
    QCOMPARE(consoleText(window), lines);
}

void PortConnectionTest::scanOnRefresh()
{
    QFETCH(Ports, ports);
    QFETCH(QStringList, listed);
    QFETCH(QString, lines);

    FakeHost host;
    host.setPorts({devicePort("C700"), devicePort("C800")});
    MainWindow window;
    auto *list = child<QComboBox>(window, "port_list_comboBox");
    list->setCurrentIndex(1);
    const QString before = consoleText(window);

    host.setPorts(ports);
    click(window, "refresh_pushButton");
    QCOMPARE(portListItems(window), listed);
    QCOMPARE(list->currentIndex(), listed.isEmpty() ? -1 : 0);
    QCOMPARE(consoleText(window), before + QStringLiteral("Refresh ports list\n") + lines);
    QCOMPARE(child<QWidget>(window, "Open_pushButton")->isEnabled(), !listed.isEmpty());
}

void PortConnectionTest::openChoosesTheNodeByItemText_data()
{
    // Only the node linked to the line can open; the others are absent. Nodes are given by
    // their address: "C300" stands for KALDORIUM_LPT_C300.
    QTest::addColumn<QString>("itemText");
    QTest::addColumn<QString>("linked");
    QTest::addColumn<QString>("expectedNode"); // the port name after the click
    QTest::addColumn<bool>("opens");

    const auto row = [](const char *name, const char *text, const char *linked,
                        const char *expected, bool opens) {
        QTest::newRow(name) << QString(text) << QString(linked) << QString(expected) << opens;
    };
    row("C300", "C300", "C300", "C300", true);
    row("c300", "c300", "C300", "C300", true);
    row("first key in table order", "c200 c100", "C100", "C100", true);
    row("later key not tried", "c200 c100", "C200", "C100", false);
    row("C1000 holds c100", "C1000", "C100", "C100", true);
    row("C2000 c300", "C2000 c300", "C200", "C200", true);
    row("key inside other text", "port at 0xc800 (USB)", "C800", "C800", true);
    row("node absent", "C400", "C500", "C400", false);
    row("no key, none before", "XYZ", "C100", "", false);
}

void PortConnectionTest::openChoosesTheNodeByItemText()
{
    QFETCH(QString, itemText);
    QFETCH(QString, linked);
    QFETCH(QString, expectedNode);
    QFETCH(bool, opens);

    FakeHost host;
    host.setPorts({devicePort(itemText)});
    PseudoTerminal line;
    host.linkNode("KALDORIUM_LPT_" + linked, line.slavePath());
    MainWindow window;
    const QString before = consoleText(window);
    const QMap<QString, bool> flagsBefore = flags(window);

    click(window, "Open_pushButton");
    QCOMPARE(consoleText(window), before + (opens ? kSuccess : kFailed));
    QCOMPARE(port(window)->isOpen(), opens);
    QCOMPARE(port(window)->portName(),
             expectedNode.isEmpty() ? QString()
                                    : host.nodeDirectory() + "/KALDORIUM_LPT_" + expectedNode);
    QCOMPARE(flags(window), opens ? portOpened(flagsBefore) : flagsBefore);
    if (opens)
        QVERIFY(bytesArriveFrom(line));
}

void PortConnectionTest::textWithoutKeyKeepsTheLastNode_data()
{
    QTest::addColumn<bool>("firstOpenSucceeds");
    QTest::newRow("after a successful open") << true;
    QTest::newRow("after a failed open") << false;
}

void PortConnectionTest::textWithoutKeyKeepsTheLastNode()
{
    QFETCH(bool, firstOpenSucceeds);

    FakeHost host;
    host.setPorts({devicePort("C500"), devicePort("no address here")});
    PseudoTerminal line;
    if (firstOpenSucceeds)
        host.linkNode("KALDORIUM_LPT_C500", line.slavePath());
    MainWindow window;

    click(window, "Open_pushButton");
    QCOMPARE(port(window)->isOpen(), firstOpenSucceeds);
    if (firstOpenSucceeds)
        click(window, "Close_pushButton");
    QVERIFY(!port(window)->isOpen());

    host.linkNode("KALDORIUM_LPT_C500", line.slavePath());
    child<QComboBox>(window, "port_list_comboBox")->setCurrentIndex(1);
    click(window, "Open_pushButton");
    QVERIFY(consoleText(window).endsWith(kSuccess));
    QCOMPARE(port(window)->portName(), host.nodeDirectory() + "/KALDORIUM_LPT_C500");
    QVERIFY(bytesArriveFrom(line));
}

void PortConnectionTest::everyOpenAppliesTheSettings()
{
    DeviceBench bench;
    MainWindow &window = bench.window();
    QSerialPort *serial = port(window);

    for (int round = 1; round <= 3; ++round) {
        // Settings left in the port object from elsewhere must not survive an open.
        serial->setDataBits(QSerialPort::Data5);
        serial->setParity(QSerialPort::EvenParity);
        serial->setStopBits(QSerialPort::TwoStop);
        serial->setFlowControl(QSerialPort::HardwareControl);
        serial->setBaudRate(9600);

        click(window, "Open_pushButton");
        QVERIFY2(serial->isOpen(), qPrintable(QString::number(round)));
        QCOMPARE(serial->openMode(), QIODevice::ReadWrite);
        QCOMPARE(serial->dataBits(), QSerialPort::Data8);
        QCOMPARE(serial->parity(), QSerialPort::NoParity);
        QCOMPARE(serial->stopBits(), QSerialPort::OneStop);
        QCOMPARE(serial->flowControl(), QSerialPort::NoFlowControl);
        QCOMPARE(serial->baudRate(QSerialPort::Input), 4000000);
        QCOMPARE(serial->baudRate(QSerialPort::Output), 4000000);

        // What the line itself was set to (a pty keeps speed, stop bits and flow control;
        // it forces 8 data bits without parity whatever is asked).
        termios tio{};
        QCOMPARE(::tcgetattr(bench.device().masterFd(), &tio), 0);
        QCOMPARE(::cfgetispeed(&tio), speed_t(B4000000));
        QCOMPARE(::cfgetospeed(&tio), speed_t(B4000000));
        QVERIFY(!(tio.c_cflag & CSTOPB));
        QVERIFY(!(tio.c_cflag & CRTSCTS));
        QVERIFY(!(tio.c_iflag & (IXON | IXOFF)));

        click(window, "Close_pushButton");
        QVERIFY(!serial->isOpen());
    }
}

void PortConnectionTest::closeReturnsToDisconnected()
{
    DeviceBench bench;
    MainWindow &window = bench.window();
    click(window, "Open_pushButton");
    QVERIFY(port(window)->isOpen());

    const QString before = consoleText(window);
    const QMap<QString, bool> flagsBefore = flags(window);
    click(window, "Close_pushButton");
    QVERIFY(!port(window)->isOpen());
    QCOMPARE(consoleText(window), before + QStringLiteral("Close port\n"));
    QCOMPARE(flags(window), portClosed(flagsBefore));

    // The line can be opened again.
    click(window, "Open_pushButton");
    QVERIFY(port(window)->isOpen());
    QVERIFY(bytesArriveFrom(bench.device()));
}

QTEST_MAIN(PortConnectionTest)
#include "tst_port_connection.moc"
