// The operator's roads from start to end: the real window, driven by clicks on its buttons,
// against the simulated KALDORIUM-LPT behind a pseudo-terminal. The device is found through
// the host's port list and opened through its device node link, exactly as a real one is;
// the loopback plug on its connector brings held output pins back on the input pins.

#include "device_functions/firmware_tool.h"
#include "device_link/host_ports.h"
#include "mainwindow.h"
#include "simulated_device_endpoint.h"
#include "test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using testsupport::child;
using testsupport::consoleText;

namespace {

// The roads take well under a second each; the margin is for a machine busy with builds.
constexpr int kWaitMs = 20000;

// The DB-25 pins in register bit order.
const QList<int> kDataPins = {2, 3, 4, 5, 6, 7, 8, 9}; // D0..D7
const QList<int> kControlPins = {1, 14, 16, 17};       // C0..C3
const QList<int> kStatusPins = {15, 13, 12, 10, 11};   // S3..S7

QByteArray fromHex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

enum Tab { DeviceTab = 0, TestTab = 1, AddressTab = 2, DefaultsTab = 3, UpgradeTab = 4 };

QString foundLine(const QString &address)
{
    return QStringLiteral("KALDORIUM-LPT device found with address 0x") + address +
           QLatin1Char('\n');
}

// The three lines of an error report carrying all three error bits, for the open node.
QString errorReportLines(const QString &node)
{
    const QString prefix = QStringLiteral("ERROR: ") + node + QStringLiteral(" - ");
    return prefix + QStringLiteral("Fifo error!\n") + prefix + QStringLiteral("Frame broken!\n") +
           prefix + QStringLiteral("Input frame lose!\n");
}

// The simulated device plugged into the host: its port is listed while it is attached, and
// its device node link lives in a directory of its own, where the program looks for nodes.
class PluggedDevice {
public:
    PluggedDevice()
    {
        endpoint.setLinkDirectory(nodes.path());
        endpoint.start();
        host::set_device_node_directory(nodes.path());
        host::set_port_enumerator([this] {
            QList<host::SerialPortEntry> ports;
            if (endpoint.isAttached())
                ports.append({endpoint.manufacturer(), endpoint.description()});
            return ports;
        });
    }
    ~PluggedDevice()
    {
        host::set_port_enumerator({});
        host::set_device_node_directory(QString());
        endpoint.drop();
    }
    PluggedDevice(const PluggedDevice &) = delete;
    PluggedDevice &operator=(const PluggedDevice &) = delete;

    QTemporaryDir nodes;
    SimulatedDeviceEndpoint endpoint;
};

// A dfu-util that flashes nothing, first on PATH while it lives. It writes the arguments it
// was given one per line and exits 0.
class StandInDfuUtil {
public:
    StandInDfuUtil() : savedPath_(qgetenv("PATH"))
    {
        QFile script(dir_.filePath(QStringLiteral("dfu-util")));
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + QFile::encodeName(argumentsFile()) +
                     "'\nexit 0\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", QFile::encodeName(dir_.path()) + ':' + savedPath_);
    }
    ~StandInDfuUtil() { qputenv("PATH", savedPath_); }
    StandInDfuUtil(const StandInDfuUtil &) = delete;
    StandInDfuUtil &operator=(const StandInDfuUtil &) = delete;

    QString directory() const { return dir_.path(); }
    QString argumentsFile() const { return dir_.filePath(QStringLiteral("arguments")); }

    QStringList arguments() const
    {
        QFile file(argumentsFile());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

private:
    QTemporaryDir dir_;
    QByteArray savedPath_;
};

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

    std::unique_ptr<PluggedDevice> plugged;
    std::unique_ptr<MainWindow> window;
    int consoleMark = 0;

    SimulatedDeviceEndpoint &endpoint() { return plugged->endpoint; }
    SimulatedDevice &device() { return plugged->endpoint.device(); }

    template <class T> T *widget(const char *name) { return child<T>(*window, name); }
    QPushButton *pin(int number)
    {
        return widget<QPushButton>(("pushButton_" + QByteArray::number(number)).constData());
    }
    void showTab(Tab tab) { widget<QTabWidget>("tabWidget")->setCurrentIndex(tab); }

    // A mouse click on a push button, as the operator makes it; false when the button is
    // disabled, since the click would then silently do nothing.
    bool click(const char *name)
    {
        QPushButton *button = widget<QPushButton>(name);
        if (!button->isEnabled()) {
            qWarning("%s is disabled", name);
            return false;
        }
        QTest::mouseClick(button, Qt::LeftButton);
        return true;
    }
    // Ticks or picks a check box or radio button; false when it is disabled.
    bool choose(const char *name, bool checked = true)
    {
        QAbstractButton *box = widget<QAbstractButton>(name);
        if (!box->isEnabled()) {
            qWarning("%s is disabled", name);
            return false;
        }
        if (box->isChecked() != checked)
            box->click();
        return box->isChecked() == checked;
    }

    // What the console shows beyond the mark.
    void markConsole() { consoleMark = consoleText(*window).size(); }
    QString newConsole() const { return consoleText(*window).mid(consoleMark); }
    // True when the console shows exactly this beyond the mark; says what it shows if not.
    bool consoleShows(const QString &expected) const
    {
        if (newConsole() == expected)
            return true;
        qWarning() << "console shows" << newConsole() << "instead of" << expected;
        return false;
    }

    bool openPort()
    {
        showTab(DeviceTab);
        markConsole();
        return click("Open_pushButton") &&
               consoleShows(QStringLiteral("Opening port - success!\n"));
    }

    // Refresh, and the list names the device at this address and nothing else.
    bool refreshFinds(const QString &address)
    {
        showTab(DeviceTab);
        markConsole();
        return click("refresh_pushButton") &&
               consoleShows(QStringLiteral("Refresh ports list\n") + foundLine(address)) &&
               widget<QComboBox>("port_list_comboBox")->currentText() == address;
    }

    // The operator moves the open device to another address and opens it there again.
    void moveDeviceTo(const QString &address)
    {
        showTab(AddressTab);
        QComboBox *addresses = widget<QComboBox>("address_comboBox");
        addresses->setCurrentIndex(addresses->findText(address));
        QCOMPARE(addresses->currentText(), address);
        markConsole();
        QVERIFY(click("set_pushButton"));
        QCOMPARE(newConsole(), QStringLiteral("New address is set\n"));
        const QString digits = address.mid(2);
        QTRY_COMPARE_WITH_TIMEOUT(endpoint().description(), digits, kWaitMs);

        showTab(DeviceTab);
        markConsole();
        QVERIFY(click("Close_pushButton"));
        QCOMPARE(newConsole(), QStringLiteral("Close port\n"));
        QVERIFY(refreshFinds(digits));
        QVERIFY(openPort());
    }

    bool portClosedState()
    {
        return widget<QPushButton>("Open_pushButton")->isEnabled() &&
               widget<QPushButton>("refresh_pushButton")->isEnabled() &&
               !widget<QPushButton>("Close_pushButton")->isEnabled() &&
               !widget<QPushButton>("Run_pushButton")->isEnabled() &&
               !widget<QPushButton>("Sto_pushButton")->isEnabled() &&
               !widget<QPushButton>("set_pushButton")->isEnabled() &&
               !widget<QPushButton>("Defaults_set")->isEnabled() &&
               !widget<QPushButton>("OpenFirmware")->isEnabled();
    }

private slots:
    void init()
    {
        plugged = std::make_unique<PluggedDevice>();
        QVERIFY(endpoint().isAttached());
        testsupport::resetProgram();
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup()
    {
        window.reset(); // closes the port while the node and the host seams still stand
        plugged.reset();
    }

    void discoveryFindsTheDeviceAndOpensIt()
    {
        QCOMPARE(consoleText(*window), foundLine(QStringLiteral("C100")));
        QCOMPARE(widget<QComboBox>("port_list_comboBox")->count(), 1);
        QVERIFY(openPort());
        QVERIFY(widget<QPushButton>("Close_pushButton")->isEnabled());
        QVERIFY(!widget<QPushButton>("Open_pushButton")->isEnabled());

        markConsole();
        QVERIFY(click("Close_pushButton"));
        QCOMPARE(newConsole(), QStringLiteral("Close port\n"));
        QVERIFY(portClosedState());

        // Unplugged, the list empties and Open is withheld; plugged back, it is found again.
        endpoint().drop();
        markConsole();
        QVERIFY(click("refresh_pushButton"));
        QCOMPARE(newConsole(), QStringLiteral("Refresh ports list\nKALDORIUM-LPT not found\n"));
        QVERIFY(!widget<QPushButton>("Open_pushButton")->isEnabled());

        endpoint().reconnect();
        QVERIFY(refreshFinds(QStringLiteral("C100")));
        QVERIFY(openPort());
    }

    // One pin held at a time, as with a mouse: a pin button that loses the focus to another
    // one is let go. The loopback plug brings it back on the pins of its net.
    void heldPinComesBackOnTheLoopbackInputs_data()
    {
        QTest::addColumn<bool>("dataOutput");
        QTest::addColumn<bool>("controlOutput");
        QTest::addColumn<int>("held");
        QTest::addColumn<QList<int>>("lit");
        QTest::addColumn<QByteArray>("slot"); // every slot of the frames while it is held

        QTest::newRow("D0 lights S3") << true << false << 2 << QList<int>{15} << fromHex("0060");
        QTest::newRow("D3 lights S6") << true << false << 5 << QList<int>{10} << fromHex("0420");
        QTest::newRow("D4 lights S7 and C0")
            << true << false << 6 << QList<int>{11, 1} << fromHex("0820");
        QTest::newRow("D7 lights C3") << true << false << 9 << QList<int>{17} << fromHex("4020");
        QTest::newRow("C0 lights D4 and S7")
            << false << true << 1 << QList<int>{6, 11} << fromHex("0011");
        QTest::newRow("C2 lights D6") << false << true << 16 << QList<int>{8} << fromHex("0014");
    }

    void heldPinComesBackOnTheLoopbackInputs()
    {
        QFETCH(bool, dataOutput);
        QFETCH(bool, controlOutput);
        QFETCH(int, held);
        QFETCH(QList<int>, lit);
        QFETCH(QByteArray, slot);

        QVERIFY(openPort());
        showTab(TestTab);
        QVERIFY(choose(dataOutput ? "radioButton_2" : "radioButton"));
        QVERIFY(choose(controlOutput ? "radioButton_4" : "radioButton_3"));
        markConsole();
        QVERIFY(click("Run_pushButton"));
        QCOMPARE(newConsole(), QStringLiteral("The Test is running\n"));

        // The pins the program shows from the device: status always, a port's own when input.
        QList<int> shown = kStatusPins;
        if (!dataOutput)
            shown += kDataPins;
        if (!controlOutput)
            shown += kControlPins;
        // Released: no pin bits, only the direction flags (data 0x20, control 0x10).
        const QByteArray idleSlot =
            QByteArray(1, '\0') + char((dataOutput ? 0x20 : 0) | (controlOutput ? 0x10 : 0));

        QVERIFY(pin(held)->isEnabled());
        QTest::mousePress(pin(held), Qt::LeftButton);
        QVERIFY(pin(held)->isDown());
        QTRY_COMPARE_WITH_TIMEOUT(device().lastTestFrame().mid(1, 200), slot.repeated(100),
                                  kWaitMs);
        QCOMPARE(device().lastTestFrame().at(202), char(0x64));
        for (int number : lit)
            QTRY_VERIFY2_WITH_TIMEOUT(pin(number)->isDown(), qPrintable(QString::number(number)),
                                      kWaitMs);
        for (int number : shown) {
            if (!lit.contains(number))
                QVERIFY2(!pin(number)->isDown(), qPrintable(QString::number(number)));
        }
        QVERIFY(pin(held)->isDown()); // an output port is never overwritten

        QTest::mouseRelease(pin(held), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(device().lastTestFrame().mid(1, 200), idleSlot.repeated(100),
                                  kWaitMs);
        for (int number : lit)
            QTRY_VERIFY2_WITH_TIMEOUT(!pin(number)->isDown(), qPrintable(QString::number(number)),
                                      kWaitMs);

        markConsole();
        QVERIFY(click("Sto_pushButton"));
        QCOMPARE(newConsole(), QStringLiteral("The Test is stopped!\n"));
        // Let the device take whatever was on the line when the test stopped, then see that
        // nothing more comes while it sends many more status frames.
        int statusFrames = device().statusFrames();
        QTRY_VERIFY_WITH_TIMEOUT(device().statusFrames() > statusFrames + 20, kWaitMs);
        const int framesAfterStop = device().testFrames();
        statusFrames = device().statusFrames();
        QTRY_VERIFY_WITH_TIMEOUT(device().statusFrames() > statusFrames + 60, kWaitMs);
        QCOMPARE(device().testFrames(), framesAfterStop);
    }

    void defaultsComeBackAfterStoreAndRead()
    {
        QVERIFY(openPort());
        showTab(DefaultsTab);
        const char *const stored[] = {"data_default_output_radioButton",
                                      "default_D0",
                                      "default_D7",
                                      "control_default_output_radioButton",
                                      "default_C1",
                                      "default_C3",
                                      "default_S3",
                                      "default_S7"};
        for (const char *name : stored)
            QVERIFY2(choose(name), name);
        markConsole();
        QVERIFY(click("Defaults_set"));
        QCOMPARE(newConsole(), QStringLiteral("Default states is set\n"));
        QTRY_COMPARE_WITH_TIMEOUT(device().commands(), 5, kWaitMs);
        QCOMPARE(device().storedValue(4), 1u);
        QCOMPARE(device().storedValue(8), 0x81u);
        QCOMPARE(device().storedValue(12), 1u);
        QCOMPARE(device().storedValue(16), 0x0Au);
        QCOMPARE(device().storedValue(20), 0x88u);

        // The operator clears the tab; reading brings the stored values back.
        QVERIFY(choose("data_default_input_radioButton"));
        QVERIFY(choose("control_default_input_radioButton"));
        for (const char *name : stored) {
            if (QByteArray(name).startsWith("default_"))
                QVERIFY2(choose(name, false), name);
        }
        markConsole();
        QVERIFY(click("Defaults_read"));
        QTRY_COMPARE_WITH_TIMEOUT(newConsole(),
                                  QStringLiteral("The default states have been read\n"
                                                 "READ_DEFAULT_DATA_PORT_TYPE\n"
                                                 "READ_DEFAULT_DATA_PORT_STATE\n"
                                                 "READ_DEFAULT_CONTROL_PORT_TYPE\n"
                                                 "READ_DEFAULT_CONTROL_PORT_STATE\n"
                                                 "READ_DEFAULT_STATUS_PORT_STATE\n"),
                                  kWaitMs);
        for (const char *name : stored)
            QVERIFY2(widget<QAbstractButton>(name)->isChecked(), name);
        const char *const clear[] = {"default_D1", "default_D2", "default_D3", "default_D4",
                                     "default_D5", "default_D6", "default_C0", "default_C2",
                                     "default_S4", "default_S5", "default_S6"};
        for (const char *name : clear)
            QVERIFY2(!widget<QCheckBox>(name)->isChecked(), name);
    }

    void addressChangeRenamesTheDevice()
    {
        QVERIFY(openPort());
        QSignalSpy addressChanges(&endpoint(), &SimulatedDeviceEndpoint::addressChanged);
        moveDeviceTo(QStringLiteral("0xC200"));
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(addressChanges.count(), 1);
        QCOMPARE(addressChanges.at(0).at(0).value<quint32>(), 0xC200u);
        QCOMPARE(QFileInfo(endpoint().linkPath()).fileName(), QStringLiteral("KALDORIUM_LPT_C200"));
        QVERIFY(!QFileInfo::exists(plugged->nodes.filePath(QStringLiteral("KALDORIUM_LPT_C100"))));

        // The port opened through the new node is the device: a test reaches it.
        const int frames = device().testFrames();
        showTab(TestTab);
        QVERIFY(click("Run_pushButton"));
        QTRY_VERIFY_WITH_TIMEOUT(device().testFrames() > frames + 3, kWaitMs);
        QVERIFY(click("Sto_pushButton"));
    }

    void deviceErrorsNameTheOpenNode()
    {
        QVERIFY(openPort());
        const QString reportAtC100 = errorReportLines(QStringLiteral("KALDORIUM_LPT_C100"));
        markConsole();
        endpoint().injectErrors(0x40 | 0x10 | 0x20);
        QTRY_COMPARE_WITH_TIMEOUT(newConsole(), reportAtC100, kWaitMs);

        moveDeviceTo(QStringLiteral("0xC200"));
        if (QTest::currentTestFailed())
            return;
        const QString reportAtC200 = errorReportLines(QStringLiteral("KALDORIUM_LPT_C200"));
        markConsole();
        endpoint().injectErrors(0x40 | 0x10 | 0x20);
        QTRY_COMPARE_WITH_TIMEOUT(newConsole(), reportAtC200, kWaitMs);
    }

    void firmwareUpgradeSurvivesTheDeviceLeavingTheLine()
    {
        StandInDfuUtil dfuUtil;
        const QString image = dfuUtil.directory() + QStringLiteral("/HC_KLPTV1 image.bin");
        {
            QFile file(image);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(1024, '\x5a'));
        }
        firmware::set_file_chooser([image](QWidget *) { return image; });
        auto restoreChooser = qScopeGuard([] { firmware::set_file_chooser({}); });

        QVERIFY(openPort());
        QSignalSpy commands(&endpoint(), &SimulatedDeviceEndpoint::commandReceived);
        QSignalSpy drops(&endpoint(), &SimulatedDeviceEndpoint::dropped);
        showTab(UpgradeTab);
        markConsole();
        QVERIFY(click("OpenFirmware"));
        const qint64 bytesBefore = endpoint().traffic().bytesFromHost;
        QVERIFY(click("UploadFirmware")); // returns when dfu-util has ended

        const QString expected = QStringLiteral("The file has been loaded\n"
                                                "Path: ") +
                                 image +
                                 QStringLiteral("\n"
                                                "Switch to bootloader mode\n"
                                                "Waiting for restart\n"
                                                "Run Command: \n"
                                                "dfu-util -d 1209:db42 -D ") +
                                 image +
                                 QStringLiteral("\n"
                                                "Uploading. Please wait...\n"
                                                "The device has been updated\n"
                                                "Close port\n");
        QCOMPARE(newConsole(), expected);
        // FF FF 7F 00 00 00, and nothing else
        QCOMPARE(endpoint().traffic().bytesFromHost - bytesBefore, qint64(6));
        QCOMPARE(commands.count(), 1);
        QCOMPARE(commands.at(0).at(0).value<quint8>(), quint8(0x7F));
        QCOMPARE(commands.at(0).at(1).value<quint32>(), 0u);
        QVERIFY(device().inBootloader());
        QCOMPARE(drops.count(), 1); // it left the line while the program waited
        QCOMPARE(dfuUtil.arguments(),
                 QStringList({QStringLiteral("-d"), QStringLiteral("1209:db42"),
                              QStringLiteral("-D"), image}));
        QCOMPARE(widget<QTabWidget>("tabWidget")->currentIndex(), int(DeviceTab));
        QVERIFY(portClosedState());

        // The flashed device comes back; the operator refreshes and opens it.
        endpoint().reconnect();
        QVERIFY(!device().inBootloader());
        QVERIFY(refreshFinds(QStringLiteral("C100")));
        QVERIFY(openPort());
        QVERIFY(!consoleText(*window).contains(QStringLiteral("ERROR: ")));
    }

    void unplugDuringTestStopsAndClosesOnce()
    {
        QVERIFY(openPort());
        showTab(TestTab);
        QVERIFY(choose("radioButton_2"));
        QVERIFY(click("Run_pushButton"));
        int frames = device().testFrames();
        QTRY_VERIFY_WITH_TIMEOUT(device().testFrames() > frames + 3, kWaitMs);

        markConsole();
        endpoint().drop();
        const QString lossLines = QStringLiteral("ERROR: Connection to the device lost\n"
                                                 "The Test is stopped!\n"
                                                 "Close port\n");
        QTRY_COMPARE_WITH_TIMEOUT(newConsole(), lossLines, kWaitMs);
        // The hung-up line may keep raising errors until the port closes; give them time to
        // show up, if they were to be reported twice.
        QTest::qWait(300);
        QCOMPARE(newConsole(), lossLines);
        QVERIFY(portClosedState());
        for (int number = 1; number <= 25; ++number)
            QVERIFY2(!pin(number)->isEnabled(), qPrintable(QString::number(number)));

        endpoint().reconnect();
        QVERIFY(refreshFinds(QStringLiteral("C100")));
        QVERIFY(openPort());
        showTab(TestTab);
        markConsole();
        QVERIFY(click("Run_pushButton"));
        QCOMPARE(newConsole(), QStringLiteral("The Test is running\n"));
        frames = device().testFrames();
        QTRY_VERIFY_WITH_TIMEOUT(device().testFrames() > frames + 3, kWaitMs);
        QVERIFY(click("Sto_pushButton"));
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
