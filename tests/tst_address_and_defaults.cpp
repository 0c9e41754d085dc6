// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Setting the device's port address and storing / reading back its power-on defaults,
// through the real window: the command frames that reach the device's end of the line, the
// console lines, and the device's replies landing on the DEFAULTS tab.

#include "console_lines.h"
#include "device_link/frames.h"
#include "mainwindow.h"
#include "pseudo_terminal.h"
#include "pty_device_bench.h"
#include "window_access.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace testsupport;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class TestAddressAndDefaults : public QObject {
    Q_OBJECT

    std::unique_ptr<DeviceBench> bench;

    MainWindow &window() { return bench->window(); }
    PseudoTerminal &device() { return bench->device(); }
    template <class T> T *widget(const QString &name)
    {
        return child<T>(window(), name.toLatin1().constData());
    }
    void click(const char *name) { testsupport::click(window(), name); }

    void setDefaultsTab(bool dataOutput, bool controlOutput, const QStringList &checked)
    {
        widget<QRadioButton>(dataOutput ? "data_default_output_radioButton"
                                        : "data_default_input_radioButton")
            ->setChecked(true);
        widget<QRadioButton>(controlOutput ? "control_default_output_radioButton"
                                           : "control_default_input_radioButton")
            ->setChecked(true);
        for (const QString &box : kDefaultLevelBoxes)
            widget<QCheckBox>(box)->setChecked(checked.contains(box));
    }

    // Clicks the button; returns what the device had received by the time the click put its
    // line on the console. The probe waits up to `expected` bytes (none: a short while).
    QByteArray receivedWhenConsoleChanges(const char *button, int expected)
    {
        QByteArray received;
        bool probed = false;
        const auto connection =
            connect(widget<QPlainTextEdit>("console"), &QPlainTextEdit::textChanged, this, [&] {
                if (probed)
                    return;
                probed = true;
                received = device().readAtLeast(qMax(expected, 1), expected > 0 ? 3000 : 100);
            });
        click(button);
        disconnect(connection);
        return received;
    }

    // A device that answers every read request the moment it arrives, from a thread of its
    // own, so its replies reach the window while the window is still writing the others.
    class QuickDevice {
    public:
        QuickDevice(PseudoTerminal &line, const QMap<uint8_t, uint32_t> &values)
            : thread_([this, &line, values] {
                  QByteArray pending;
                  while (!stop_) {
                      pending += line.readAtLeast(1, 20);
                      for (; pending.size() >= 6; pending.remove(0, 6)) {
                          const uint8_t code = uint8_t(pending.at(2));
                          if (values.contains(code))
                              line.write(frames::reply_frame(code, values.value(code)));
                      }
                  }
              })
        {
        }
        ~QuickDevice()
        {
            stop_ = true;
            thread_.join();
        }

    private:
        std::atomic<bool> stop_{false};
        std::thread thread_;
    };

    // Nothing more arrives after what a click sent.
    bool lineStaysQuiet() { return readFromProgram(device(), 1, 100).isEmpty(); }

private slots:
    void init()
    {
        bench = std::make_unique<DeviceBench>();
        QVERIFY(showWindow(window()));
        QVERIFY(bench->openPort());
    }

    void cleanup() { bench.reset(); }

    void setAddressSendsOneFramePerClick_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("0xC100") << "0xC100" << hex("ffff00030200");
        QTest::newRow("0xC200") << "0xC200" << hex("ffff00030400");
    }

    void setAddressSendsOneFramePerClick()
    {
        QFETCH(QString, address);
        QFETCH(QByteArray, frame);
        widget<QTabWidget>("tabWidget")->setCurrentIndex(2);
        auto *addresses = widget<QComboBox>("address_comboBox");
        addresses->setCurrentIndex(addresses->findText(address));
        QCOMPARE(addresses->currentText(), address);
        const QString console = consoleText(window());

        click("set_pushButton");
        QCOMPARE(device().readAtLeast(frame.size(), 3000).toHex(' '), frame.toHex(' '));
        QCOMPARE(consoleText(window()), console + "New address is set\n");

        click("set_pushButton");
        QCOMPARE(device().readAtLeast(frame.size(), 3000).toHex(' '), frame.toHex(' '));
        QCOMPARE(consoleText(window()), console + "New address is set\nNew address is set\n");
        QVERIFY(lineStaysQuiet());
    }

    void setDefaultsSendsFiveFrames_data()
    {
        QTest::addColumn<bool>("dataOutput");
        QTest::addColumn<bool>("controlOutput");
        QTest::addColumn<QStringList>("checked");
        QTest::addColumn<QByteArray>("frames");
        QTest::newRow("all clear, both input")
            << false << false << QStringList{}
            << hex("ffff04000000 ffff08000000 ffff0c000000 ffff10000000 ffff14000000");
        QTest::newRow("every data box")
            << false << false << QStringList(kDefaultLevelBoxes.mid(0, 8))
            << hex("ffff04000000 ffff0800017f ffff0c000000 ffff10000000 ffff14000000");
        QTest::newRow("D7 alone crosses into the middle group")
            << false << false << QStringList{"default_D7"}
            << hex("ffff04000000 ffff08000100 ffff0c000000 ffff10000000 ffff14000000");
        QTest::newRow("both output, D0 D7, C1 C3, S3 S7")
            << true << true << QStringList{"default_D0", "default_D7", "default_C1",
                                           "default_C3", "default_S3", "default_S7"}
            << hex("ffff04000001 ffff08000101 ffff0c000001 ffff1000000a ffff14000108");
        QTest::newRow("data output only, D6, every control and status box")
            << true << false << QStringList(QStringList{"default_D6"} + kDefaultLevelBoxes.mid(8))
            << hex("ffff04000001 ffff08000040 ffff0c000000 ffff1000000f ffff14000178");
        QTest::newRow("control output only, C0, S4 S6")
            << false << true << QStringList{"default_C0", "default_S4", "default_S6"}
            << hex("ffff04000000 ffff08000000 ffff0c000001 ffff10000001 ffff14000050");
    }

    void setDefaultsSendsFiveFrames()
    {
        QFETCH(bool, dataOutput);
        QFETCH(bool, controlOutput);
        QFETCH(QStringList, checked);
        QFETCH(QByteArray, frames);
        widget<QTabWidget>("tabWidget")->setCurrentIndex(3);
        setDefaultsTab(dataOutput, controlOutput, checked);
        const QString console = consoleText(window());

        // All five frames are out before the line that reports them.
        const QByteArray received = receivedWhenConsoleChanges("Defaults_set", frames.size());
        QCOMPARE(received.toHex(' '), frames.toHex(' '));
        QCOMPARE(consoleText(window()), console + "Default states is set\n");
        QVERIFY(lineStaysQuiet());
    }

    void readDefaultsReportsThenAsksForFiveItems()
    {
        widget<QTabWidget>("tabWidget")->setCurrentIndex(3);
        const QString console = consoleText(window());
        QCOMPARE(receivedWhenConsoleChanges("Defaults_read", 0), QByteArray());
        QCOMPARE(consoleText(window()), console + "The default states have been read\n");
        const QByteArray requests =
            hex("ffff18000000 ffff1c000000 ffff20000000 ffff24000000 ffff28000000");
        QCOMPARE(device().readAtLeast(requests.size(), 3000).toHex(' '), requests.toHex(' '));
        QVERIFY(lineStaysQuiet());
    }

    void repliesLandOnDefaultsTab_data()
    {
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<bool>("dataOutput");
        QTest::addColumn<bool>("controlOutput");
        QTest::addColumn<QStringList>("checked");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("all clear, in reverse order")
            << hex("ffff280000 ffff240000 ffff200000 ffff1c0000 ffff180000") << false << false
            << QStringList{}
            << QStringList{kStatusLevelsLine, kControlLevelsLine, kControlTypeLine, kDataLevelsLine,
                           kDataTypeLine};
        QTest::newRow("mixed, shuffled")
            << hex("ffff240006 ffff1c0101 ffff280050 ffff180001 ffff200000") << true << false
            << QStringList{"default_C1", "default_C2", "default_D0",
                           "default_D7", "default_S4", "default_S6"}
            << QStringList{kControlLevelsLine, kDataLevelsLine, kStatusLevelsLine, kDataTypeLine,
                           kControlTypeLine};
        QTest::newRow("everything set, in request order")
            << hex("ffff180001 ffff1c017f ffff200001 ffff24000f ffff280178") << true << true
            << kDefaultLevelBoxes
            << QStringList{kDataTypeLine, kDataLevelsLine, kControlTypeLine, kControlLevelsLine,
                           kStatusLevelsLine};
    }

    void repliesLandOnDefaultsTab()
    {
        QFETCH(QByteArray, replies);
        QFETCH(bool, dataOutput);
        QFETCH(bool, controlOutput);
        QFETCH(QStringList, checked);
        QFETCH(QStringList, lines);
        widget<QTabWidget>("tabWidget")->setCurrentIndex(3);
        // Start from the opposite of what the device will report.
        QStringList unchecked = kDefaultLevelBoxes;
        for (const QString &box : checked)
            unchecked.removeAll(box);
        setDefaultsTab(!dataOutput, !controlOutput, unchecked);

        click("Defaults_read");
        QCOMPARE(device().readAtLeast(30, 3000).size(), 30);
        const QString console = consoleText(window());
        QVERIFY(device().write(replies));
        QTRY_COMPARE(consoleText(window()), console + lines.join(QString()));

        QCOMPARE(widget<QRadioButton>("data_default_output_radioButton")->isChecked(), dataOutput);
        QCOMPARE(widget<QRadioButton>("data_default_input_radioButton")->isChecked(), !dataOutput);
        QCOMPARE(widget<QRadioButton>("control_default_output_radioButton")->isChecked(),
                 controlOutput);
        QCOMPARE(widget<QRadioButton>("control_default_input_radioButton")->isChecked(),
                 !controlOutput);
        for (const QString &box : kDefaultLevelBoxes)
            QVERIFY2(widget<QCheckBox>(box)->isChecked() == checked.contains(box), qPrintable(box));
    }

    void missingRepliesNamedAfterASecond_data()
    {
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("missing"); // empty: no line
        QTest::addColumn<QByteArray>("late"); // replies after the line, still applied
        QTest::addColumn<QStringList>("lateLines");
        const QString prefix = QStringLiteral("ERROR: KALDORIUM_LPT_C100 - No reply for ");
        QTest::newRow("all five") << hex("ffff180000 ffff1c0000 ffff200000 ffff240000 ffff280000")
                                  << QStringList{kDataTypeLine, kDataLevelsLine, kControlTypeLine,
                                                 kControlLevelsLine, kStatusLevelsLine}
                                  << QString() << QByteArray() << QStringList();
        QTest::newRow("two missing, one late")
            << hex("ffff240000 ffff180000 ffff200000")
            << QStringList{kControlLevelsLine, kDataTypeLine, kControlTypeLine}
            << prefix + "READ_DEFAULT_DATA_PORT_STATE, READ_DEFAULT_STATUS_PORT_STATE\n"
            << hex("ffff280008") << QStringList{kStatusLevelsLine};
        QTest::newRow("silent device")
            << QByteArray() << QStringList{}
            << prefix + "READ_DEFAULT_DATA_PORT_TYPE, READ_DEFAULT_DATA_PORT_STATE, "
                        "READ_DEFAULT_CONTROL_PORT_TYPE, READ_DEFAULT_CONTROL_PORT_STATE, "
                        "READ_DEFAULT_STATUS_PORT_STATE\n"
            << QByteArray() << QStringList();
        QTest::newRow("port closed") << QByteArray() << QStringList{"Close port\n"} << QString()
                                     << QByteArray() << QStringList();
    }

    void missingRepliesNamedAfterASecond()
    {
        QFETCH(QByteArray, replies);
        QFETCH(QStringList, lines);
        QFETCH(QString, missing);
        QFETCH(QByteArray, late);
        QFETCH(QStringList, lateLines);
        widget<QTabWidget>("tabWidget")->setCurrentIndex(3);
        const QString console = consoleText(window());
        click("Defaults_read");
        QCOMPARE(device().readAtLeast(30, 3000).size(), 30);
        QVERIFY(device().write(replies));
        if (lines.contains("Close port\n"))
            click("Close_pushButton");
        const QString answered =
            console + QStringLiteral("The default states have been read\n") + lines.join(QString());
        if (missing.isEmpty()) {
            QTest::qWait(1500);
            QCOMPARE(consoleText(window()), answered);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(consoleText(window()), answered + missing, 5000);
        QVERIFY(device().write(late));
        QTRY_COMPARE(consoleText(window()), answered + missing + lateLines.join(QString()));
        if (!late.isEmpty())
            QVERIFY(widget<QCheckBox>("default_S3")->isChecked());
    }

    void quickDeviceAnswersAreCounted()
    {
        // Data output with D0 and D7, control output with C0 and C2, status S3 and S5.
        const QMap<uint8_t, uint32_t> stored{{24, 1}, {28, 0x81}, {32, 1}, {36, 0x05}, {40, 0x28}};
        const QStringList checked{"default_D0", "default_D7", "default_C0",
                                  "default_C2", "default_S3", "default_S5"};
        const QString replyLines = QStringLiteral("The default states have been read\n") +
                                   kDataTypeLine + kDataLevelsLine + kControlTypeLine +
                                   kControlLevelsLine + kStatusLevelsLine;
        widget<QTabWidget>("tabWidget")->setCurrentIndex(3);
        QuickDevice quick(device(), stored);
        QString expected = consoleText(window());
        for (int read = 0; read < 5; ++read) {
            QStringList unchecked = kDefaultLevelBoxes;
            for (const QString &box : checked)
                unchecked.removeAll(box);
            setDefaultsTab(false, false, unchecked);
            click("Defaults_read");
            expected += replyLines;
            QTRY_COMPARE(consoleText(window()), expected);
            QVERIFY(widget<QRadioButton>("data_default_output_radioButton")->isChecked());
            QVERIFY(widget<QRadioButton>("control_default_output_radioButton")->isChecked());
            for (const QString &box : kDefaultLevelBoxes)
                QVERIFY2(widget<QCheckBox>(box)->isChecked() == checked.contains(box),
                         qPrintable(box));
        }
        QTest::qWait(1500); // past the last read's wait: no reply was missing
        QCOMPARE(consoleText(window()), expected);
    }

    void readAgainStartsAFreshWait()
    {
        const QByteArray all = hex("ffff180000 ffff1c0000 ffff200000 ffff240000 ffff280000");
        click("Defaults_read");
        QCOMPARE(device().readAtLeast(30, 3000).size(), 30);
        QTest::qWait(600);
        click("Defaults_read"); // the device answers only this one, before its second is up
        QCOMPARE(device().readAtLeast(30, 3000).size(), 30);
        QVERIFY(device().write(all));
        QTest::qWait(1500);
        QVERIFY(!consoleText(window()).contains(QLatin1String("No reply")));
    }
};

QTEST_MAIN(TestAddressAndDefaults)
#include "tst_address_and_defaults.moc"
