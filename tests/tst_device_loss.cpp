// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// A device that goes away while its port is open: unplugged in the middle of a live test,
// of a defaults read, or with nothing going on; and a firmware upgrade, where the device is
// meant to go away. The simulated KALDORIUM-LPT is dropped (its line hangs up, so the port
// raises resource and read errors until it is closed) and plugged in again.

#include "console_lines.h"
#include "device_link/serial_line.h"
#include "firmware_file_choice.h"
#include "mainwindow.h"
#include "message_recorder.h"
#include "program_state.h"
#include "pseudo_terminal.h"
#include "simulated_device_rig.h"
#include "standin_dfu_util.h"
#include "window_access.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

#include <functional>

using namespace testsupport;

namespace {

const QString kLost = QStringLiteral("ERROR: Connection to the device lost\n");
const QString kStopped = QStringLiteral("The Test is stopped!\n");
const QString kClosed = QStringLiteral("Close port\n");
const QString kReadRequested = QStringLiteral("The default states have been read\n");
const QString kToolStarts = QStringLiteral("Uploading. Please wait...\n");
const QString kFoundAgain = QStringLiteral("Refresh ports list\n") + foundLine("C100") +
                            QStringLiteral("Opening port - success!\n");

// Errors a port may raise between the hang-up and the close that answers it; a hung-up line
// that stays open raises hundreds of thousands a second.
constexpr int kErrorsAtMost = 50;

// The control state that the operator's own clicks leave behind, on a fresh program.
QMap<QString, bool> flagsAfter(const std::function<void(SimulatedDeviceRig &)> &actions)
{
    SimulatedDeviceRig rig;
    actions(rig);
    return enabledFlags(rig.window());
}

// Unplugs the device; true once the program has closed its port.
bool unplugAndWaitForClose(SimulatedDeviceRig &rig)
{
    rig.unplug();
    return QTest::qWaitFor([&rig] { return !rig.port().isOpen(); }, 5000);
}

// What the window looks like at the moment dfu-util is about to run.
struct AtToolStart {
    bool seen = false;
    bool portOpen = true;
    QMap<QString, bool> flags;
};

void watchToolStart(SimulatedDeviceRig &rig, AtToolStart &at)
{
    auto *console = child<QPlainTextEdit>(rig.window(), "console");
    QObject::connect(console, &QPlainTextEdit::textChanged, console, [&rig, &at, console] {
        if (!at.seen && console->toPlainText().endsWith(kToolStarts)) {
            at.seen = true;
            at.portOpen = rig.port().isOpen();
            at.flags = enabledFlags(rig.window());
        }
    });
}

} // namespace

class DeviceLossTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QSerialPort::SerialPortError>(); }
    void lossDuringTestStopsItAndClosesThePort();
    void lossWithThePortOpen();
    void everyLossIsReportedOnce();
    void lossDuringDefaultsRead();
    void upgradeReadsAsPlannedWhileTheDeviceGoes();
    void upgradeDuringRunningTestKeepsTheTestQuietly();
    void upgradeWithoutPortReportsALossDuringIt();
    void hangUpWatchAloneNoticesAnIdleLine();
    void lossActedOnOnceAndAfterTheErrors();
};

// A test with the data port as output, so that pins are operable when the device goes.
void DeviceLossTest::lossDuringTestStopsItAndClosesThePort()
{
    const QMap<QString, bool> stoppedAndClosed = flagsAfter([](SimulatedDeviceRig &rig) {
        child<QRadioButton>(rig.window(), "radioButton_2")->setChecked(true);
        QVERIFY(rig.openAndRunTest());
        rig.click("Sto_pushButton");
        rig.click("Close_pushButton");
    });

    SimulatedDeviceRig rig;
    child<QRadioButton>(rig.window(), "radioButton_2")->setChecked(true);
    QVERIFY(rig.openAndRunTest());
    QVERIFY(pinButton(rig.window(), 2)->isEnabled());
    QSignalSpy errors(&rig.port(), &QSerialPort::errorOccurred);
    const QString before = rig.console();

    QVERIFY(unplugAndWaitForClose(rig));
    const QString afterLoss = before + kLost + kStopped + kClosed;
    QCOMPARE(rig.console(), afterLoss);
    QCOMPARE(int(test_run), 0);
    QCOMPARE(enabledFlags(rig.window()), stoppedAndClosed);
    QCOMPARE(unlikePortClosed(rig.window()), QStringList());

    // Quiet afterwards: the closed port raises nothing more and nothing more is written.
    const int errorsAtClose = errors.count();
    QVERIFY2(errorsAtClose >= 1 && errorsAtClose <= kErrorsAtMost,
             qPrintable(QString::number(errorsAtClose)));
    QTest::qWait(300);
    QCOMPARE(errors.count(), errorsAtClose);
    QCOMPARE(rig.console(), afterLoss);

    // Plugged in again: Refresh lists it, Open opens it, and a new test streams to it.
    QVERIFY(rig.replugAndOpen());
    QCOMPARE(rig.console(), afterLoss + kFoundAgain);
    QCOMPARE(child<QComboBox>(rig.window(), "port_list_comboBox")->currentText(),
             QStringLiteral("C100"));
    QSignalSpy frames(&rig.endpoint(), &SimulatedDeviceEndpoint::testFrameReceived);
    rig.click("Run_pushButton");
    QCOMPARE(rig.console(), afterLoss + kFoundAgain + QStringLiteral("The Test is running\n"));
    QVERIFY(frames.wait(5000));
}

void DeviceLossTest::lossWithThePortOpen()
{
    const QMap<QString, bool> closed = flagsAfter([](SimulatedDeviceRig &rig) {
        QVERIFY(rig.open());
        rig.click("Close_pushButton");
    });

    SimulatedDeviceRig rig;
    QVERIFY(rig.open());
    const QString before = rig.console();
    QVERIFY(unplugAndWaitForClose(rig));
    QCOMPARE(rig.console(), before + kLost + kClosed);
    QCOMPARE(enabledFlags(rig.window()), closed);
}

void DeviceLossTest::everyLossIsReportedOnce()
{
    SimulatedDeviceRig rig;
    QVERIFY(rig.openAndRunTest());
    for (int loss = 1; loss <= 3; ++loss) {
        QSignalSpy errors(&rig.port(), &QSerialPort::errorOccurred);
        QVERIFY(unplugAndWaitForClose(rig));
        QTest::qWait(100);
        QCOMPARE(rig.console().count(kLost), loss);
        QVERIFY2(errors.count() <= kErrorsAtMost, qPrintable(QString::number(errors.count())));
        QVERIFY(rig.replugAndOpen());
    }
    QCOMPARE(rig.console().count(kStopped), 1); // only the first loss found a test running
}

void DeviceLossTest::lossDuringDefaultsRead()
{
    const QMap<QString, bool> closed = flagsAfter([](SimulatedDeviceRig &rig) {
        QVERIFY(rig.open());
        rig.click("Close_pushButton");
    });

    SimulatedDeviceRig rig;
    QVERIFY(rig.open());
    const QWidget &window = rig.window();
    const QStringList stored = {"default_D0", "default_D7", "default_C2", "default_S5"};
    const QStringList &levels = kDefaultLevelBoxes;
    const auto check = [&window](const QString &name, bool on) {
        child<QCheckBox>(window, qPrintable(name))->setChecked(on);
    };
    const auto checked = [&window](const QString &name) {
        return child<QAbstractButton>(window, qPrintable(name))->isChecked();
    };

    // Stored in the device: both ports output, D0, D7, C2 and S5 high. Then the tab cleared.
    child<QRadioButton>(window, "data_default_output_radioButton")->setChecked(true);
    child<QRadioButton>(window, "control_default_output_radioButton")->setChecked(true);
    for (const QString &name : stored)
        check(name, true);
    rig.click("Defaults_set");
    QTRY_COMPARE(rig.device().storedValue(20), 0x20u);
    child<QRadioButton>(window, "data_default_input_radioButton")->setChecked(true);
    child<QRadioButton>(window, "control_default_input_radioButton")->setChecked(true);
    for (const QString &name : levels)
        check(name, false);

    // The device stops taking the requests, then goes: no reply ever comes.
    rig.stall(true);
    const QString before = rig.console();
    rig.click("Defaults_read");
    QVERIFY(unplugAndWaitForClose(rig));
    QTest::qWait(1200); // past the wait for the replies, which the loss ended silently
    QCOMPARE(rig.console(), before + kReadRequested + kLost + kClosed);
    QCOMPARE(enabledFlags(window), closed);
    QVERIFY(checked("data_default_input_radioButton"));
    QVERIFY(checked("control_default_input_radioButton"));
    for (const QString &name : levels)
        QVERIFY2(!checked(name), qPrintable(name));

    // Back again, the read-back fills the tab.
    QVERIFY(rig.replugAndOpen());
    rig.click("Defaults_read");
    QTRY_VERIFY(rig.console().endsWith(kStatusLevelsLine));
    QVERIFY(checked("data_default_output_radioButton"));
    QVERIFY(checked("control_default_output_radioButton"));
    for (const QString &name : levels)
        QVERIFY2(checked(name) == stored.contains(name), qPrintable(name));
}

// The upgrade from the choice of the image to the flashed device back on the line.
void DeviceLossTest::upgradeReadsAsPlannedWhileTheDeviceGoes()
{
    StandInDfuUtil dfuUtil;
    const QString image = dfuUtil.scratchDirectory() + QStringLiteral("/HC_KLPTV1 image.bin");
    FirmwareFileChoice choice(image);

    // The same upload with a device that stays on the line to its end.
    const QMap<QString, bool> afterUpload = flagsAfter([](SimulatedDeviceRig &rig) {
        rig.endpoint().setBootloaderDropDelay(24 * 3600 * 1000);
        QVERIFY(rig.open());
        rig.click("OpenFirmware");
        rig.click("UploadFirmware");
    });

    SimulatedDeviceRig rig;
    QVERIFY(rig.open());
    child<QTabWidget>(rig.window(), "tabWidget")->setCurrentIndex(4); // the upgrade's own tab
    const QString before = rig.console();
    rig.click("OpenFirmware");
    const QString chosen = QStringLiteral("The file has been loaded\nPath: ") + image + '\n';
    QCOMPARE(rig.console(), before + chosen);
    QSignalSpy errors(&rig.port(), &QSerialPort::errorOccurred);
    QSignalSpy commands(&rig.endpoint(), &SimulatedDeviceEndpoint::commandReceived);
    QSignalSpy dropped(&rig.endpoint(), &SimulatedDeviceEndpoint::dropped);
    AtToolStart atToolStart;
    watchToolStart(rig, atToolStart);
    const QMap<QString, bool> flagsBefore = enabledFlags(rig.window());
    const qint64 bytesBefore = rig.endpoint().traffic().bytesFromHost;

    rig.click("UploadFirmware"); // returns when the upload has ended

    QCOMPARE(dropped.count(), 1);
    QCOMPARE(rig.console(), before + chosen + uploadLines(image, kDeviceUpdated));
    // FF FF 7F 00 00 00, and nothing else
    QCOMPARE(rig.endpoint().traffic().bytesFromHost - bytesBefore, qint64(6));
    QCOMPARE(commands.count(), 1);
    QCOMPARE(commands.at(0).at(0).value<quint8>(), quint8(0x7F));
    QCOMPARE(commands.at(0).at(1).value<quint32>(), 0u);
    QVERIFY(rig.device().inBootloader());
    // The port was let go when the device went, not only at the end.
    QVERIFY(atToolStart.seen);
    QVERIFY(!atToolStart.portOpen);
    QVERIFY2(errors.count() <= kErrorsAtMost, qPrintable(QString::number(errors.count())));
    // The loss itself changed no flag; the end of the upload did what it always does.
    QMap<QString, bool> uploadStarted = flagsBefore;
    uploadStarted[QStringLiteral("UploadFirmware")] = false;
    uploadStarted[QStringLiteral("OpenFirmware")] = false;
    QCOMPARE(atToolStart.flags, uploadStarted);
    QCOMPARE(enabledFlags(rig.window()), afterUpload);
    QCOMPARE(unlikePortClosed(rig.window()), QStringList());
    QCOMPARE(child<QTabWidget>(rig.window(), "tabWidget")->currentIndex(), 0);
    QCOMPARE(dfuUtil.runs().size(), 2); // the reference upload, then this one
    QCOMPARE(dfuUtil.runs().last(), (QByteArrayList{"-d", "1209:db42", "-D", image.toUtf8()}));

    // The flashed device comes back; the operator refreshes and opens it.
    const QString afterUpgrade = rig.console();
    QVERIFY(rig.replugAndOpen());
    QVERIFY(!rig.device().inBootloader());
    QCOMPARE(rig.console(), afterUpgrade + kFoundAgain);
    QVERIFY(!rig.console().contains(QStringLiteral("ERROR: ")));
}

void DeviceLossTest::upgradeDuringRunningTestKeepsTheTestQuietly()
{
    StandInDfuUtil dfuUtil;
    const QString image = dfuUtil.scratchDirectory() + QStringLiteral("/HC_KLPTV1.bin");
    FirmwareFileChoice choice(image);

    SimulatedDeviceRig rig;
    QVERIFY(rig.open());
    rig.click("OpenFirmware");
    QSignalSpy frames(&rig.endpoint(), &SimulatedDeviceEndpoint::testFrameReceived);
    rig.click("Run_pushButton");
    QVERIFY(frames.wait(5000));
    QSignalSpy errors(&rig.port(), &QSerialPort::errorOccurred);
    AtToolStart atToolStart;
    watchToolStart(rig, atToolStart);
    QMap<QString, bool> uploadStarted = enabledFlags(rig.window());
    uploadStarted[QStringLiteral("UploadFirmware")] = false;
    const QString before = rig.console();

    MessageRecorder messages;
    rig.click("UploadFirmware");

    QCOMPARE(rig.console(), before + uploadLines(image, kDeviceUpdated));
    QVERIFY(atToolStart.seen);
    QVERIFY(!atToolStart.portOpen);
    QCOMPARE(atToolStart.flags, uploadStarted); // the loss stopped nothing
    QVERIFY2(errors.count() <= kErrorsAtMost, qPrintable(QString::number(errors.count())));
    QCOMPARE(int(test_run), int(kTestRunning));

    // The test runs on with the port closed: each tick advances the counter and drops its
    // frame without troubling the closed port.
    const uint8_t counter = serial_output->counter;
    QTRY_VERIFY(serial_output->counter != counter);
    QTest::qWait(300);
    QCOMPARE(messages.complaints(), QStringList());

    QVERIFY(child<QAbstractButton>(rig.window(), "Sto_pushButton")->isEnabled());
    rig.click("Sto_pushButton");
    QCOMPARE(rig.console(), before + uploadLines(image, kDeviceUpdated) + kStopped);
}

// No port carried the bootloader command, so the device has no reason to go: a port opened
// during the pause and lost is a loss like any other.
void DeviceLossTest::upgradeWithoutPortReportsALossDuringIt()
{
    StandInDfuUtil dfuUtil;
    const QString image = dfuUtil.scratchDirectory() + QStringLiteral("/HC_KLPTV1.bin");
    FirmwareFileChoice choice(image);
    SimulatedDeviceRig rig;
    QVERIFY(rig.open());
    rig.click("OpenFirmware");
    rig.click("Close_pushButton");

    auto *console = child<QPlainTextEdit>(rig.window(), "console");
    bool paused = false;
    connect(console, &QPlainTextEdit::textChanged, this, [&] {
        if (paused || !console->toPlainText().endsWith(QLatin1String("Waiting for restart\n")))
            return;
        paused = true;
        QTimer::singleShot(0, this, [&] {
            rig.click("Open_pushButton");
            rig.unplug();
        });
    });
    rig.click("UploadFirmware");

    QVERIFY(paused);
    QVERIFY(
        rig.console().contains(QStringLiteral("Waiting for restart\nOpening port - success!\n") +
                               kLost + kClosed + QStringLiteral("Run Command: \n")));
    QCOMPARE(rig.console().count(kLost), 1);
}

// Qt 6.8 reads a hung-up line as empty and raises no error, so the watch must notice the loss
// by itself; Qt's own errors are not listened to here.
void DeviceLossTest::hangUpWatchAloneNoticesAnIdleLine()
{
    PseudoTerminal device;
    QSerialPort port(device.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    int hangUps = 0;
    serial_line::watch_for_hang_up(port, [&hangUps] { ++hangUps; });
    QTest::qWait(300);
    QCOMPARE(hangUps, 0); // a live, quiet line is no loss

    device.close();
    QTRY_VERIFY_WITH_TIMEOUT(hangUps > 0, 2000);
}

// Both programs' policy: a hung-up line raises errors until it is closed; the loss is noticed
// once, and acted on once, later, where the port may be closed.
void DeviceLossTest::lossActedOnOnceAndAfterTheErrors()
{
    PseudoTerminal device;
    QSerialPort port(device.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    int noticed = 0;
    int lost = 0;
    serial_line::watch_for_loss(
        port, [&] { ++noticed; },
        [&] {
            ++lost;
            port.close();
        });
    device.close();
    QTRY_COMPARE_WITH_TIMEOUT(lost, 1, 2000);
    QTest::qWait(300);
    QCOMPARE(noticed, 1);
    QCOMPARE(lost, 1);
    QVERIFY(!port.isOpen());
}

QTEST_MAIN(DeviceLossTest)
#include "tst_device_loss.moc"
