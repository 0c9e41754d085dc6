// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The operator's roads from start to end: the real window, driven by clicks on its buttons,
// against the simulated KALDORIUM-LPT behind a pseudo-terminal. The device is found through
// the host's port list and opened through its device node link, exactly as a real one is;
// the loopback plug on its connector brings held output pins back on the input pins.

#include "console_lines.h"
#include "db25_pins.h"
#include "mainwindow.h"
#include "simulated_device_rig.h"
#include "window_access.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

#include <memory>

using namespace testsupport;

namespace {

// The roads take well under a second each; the margin is for a machine busy with builds.
constexpr int kWaitMs = 20000;

enum Tab { DeviceTab = 0, TestTab = 1, AddressTab = 2, DefaultsTab = 3 };

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

    std::unique_ptr<SimulatedDeviceRig> rig;
    int consoleMark = 0;

    MainWindow &window() { return rig->window(); }
    SimulatedDeviceEndpoint &endpoint() { return rig->endpoint(); }
    SimulatedDevice &device() { return rig->device(); }

    template <class T> T *widget(const char *name) { return child<T>(window(), name); }
    QPushButton *pin(int number) { return pinButton(window(), number); }
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
    void markConsole() { consoleMark = consoleText(window()).size(); }
    QString newConsole() { return consoleText(window()).mid(consoleMark); }
    // True when the console shows exactly this beyond the mark; says what it shows if not.
    bool consoleShows(const QString &expected)
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

private slots:
    void init()
    {
        rig = std::make_unique<SimulatedDeviceRig>();
        QVERIFY(endpoint().isAttached());
        QVERIFY(showWindow(window()));
    }

    void cleanup() { rig.reset(); }

    void discoveryFindsTheDeviceAndOpensIt()
    {
        QCOMPARE(consoleText(window()), foundLine(QStringLiteral("C100")));
        QCOMPARE(widget<QComboBox>("port_list_comboBox")->count(), 1);
        QVERIFY(openPort());
        QVERIFY(widget<QPushButton>("Close_pushButton")->isEnabled());
        QVERIFY(!widget<QPushButton>("Open_pushButton")->isEnabled());

        markConsole();
        QVERIFY(click("Close_pushButton"));
        QCOMPARE(newConsole(), QStringLiteral("Close port\n"));
        QCOMPARE(unlikePortClosed(window()), QStringList());

        // Unplugged, the list empties and Open is withheld; plugged back, it is found again.
        rig->unplug();
        markConsole();
        QVERIFY(click("refresh_pushButton"));
        QCOMPARE(newConsole(), QStringLiteral("Refresh ports list\nKALDORIUM-LPT not found\n"));
        QVERIFY(!widget<QPushButton>("Open_pushButton")->isEnabled());

        rig->plugBack();
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

        QTest::newRow("D0 lights S3")
            << true << false << 2 << QList<int>{15} << QByteArray::fromHex("0060");
        QTest::newRow("D3 lights S6")
            << true << false << 5 << QList<int>{10} << QByteArray::fromHex("0420");
        QTest::newRow("D4 lights S7 and C0")
            << true << false << 6 << QList<int>{11, 1} << QByteArray::fromHex("0820");
        QTest::newRow("D7 lights C3")
            << true << false << 9 << QList<int>{17} << QByteArray::fromHex("4020");
        QTest::newRow("C0 lights D4 and S7")
            << false << true << 1 << QList<int>{6, 11} << QByteArray::fromHex("0011");
        QTest::newRow("C2 lights D6")
            << false << true << 16 << QList<int>{8} << QByteArray::fromHex("0014");
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
                                  QStringLiteral("The default states have been read\n") +
                                      kDataTypeLine + kDataLevelsLine + kControlTypeLine +
                                      kControlLevelsLine + kStatusLevelsLine,
                                  kWaitMs);
        for (const char *name : stored)
            QVERIFY2(widget<QAbstractButton>(name)->isChecked(), name);
        const char *const clear[] = {"default_D1", "default_D2", "default_D3", "default_D4",
                                     "default_D5", "default_D6", "default_C0", "default_C2",
                                     "default_S4", "default_S5", "default_S6"};
        for (const char *name : clear)
            QVERIFY2(!widget<QCheckBox>(name)->isChecked(), name);
    }

    // Error reports name the open node; after the move, the new one.
    void addressChangeRenamesTheDevice()
    {
        QVERIFY(openPort());
        markConsole();
        endpoint().injectErrors(0x40 | 0x10 | 0x20);
        QTRY_COMPARE_WITH_TIMEOUT(newConsole(), allErrorLines("KALDORIUM_LPT_C100"), kWaitMs);

        QSignalSpy addressChanges(&endpoint(), &SimulatedDeviceEndpoint::addressChanged);
        moveDeviceTo(QStringLiteral("0xC200"));
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(addressChanges.count(), 1);
        QCOMPARE(addressChanges.at(0).at(0).value<quint32>(), 0xC200u);
        QCOMPARE(QFileInfo(endpoint().linkPath()).fileName(), QStringLiteral("KALDORIUM_LPT_C200"));
        QVERIFY(!QFileInfo::exists(rig->nodeDirectory() + QStringLiteral("/KALDORIUM_LPT_C100")));
        markConsole();
        endpoint().injectErrors(0x40 | 0x10 | 0x20);
        QTRY_COMPARE_WITH_TIMEOUT(newConsole(), allErrorLines("KALDORIUM_LPT_C200"), kWaitMs);

        // The port opened through the new node is the device: a test reaches it.
        const int frames = device().testFrames();
        showTab(TestTab);
        QVERIFY(click("Run_pushButton"));
        QTRY_VERIFY_WITH_TIMEOUT(device().testFrames() > frames + 3, kWaitMs);
        QVERIFY(click("Sto_pushButton"));
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
