// A device that goes away while its port is open: unplugged in the middle of a live test,
// of a defaults read, or with nothing going on; and a firmware upgrade, where the device is
// meant to go away. The simulated KALDORIUM-LPT is dropped (its line hangs up, so the port
// raises resource and read errors until it is closed) and plugged in again.

#include "device_functions/firmware_tool.h"
#include "mainwindow.h"
#include "program_state.h"
#include "reliability_support.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

#include <functional>

using reliability::enabledFlags;
using reliability::SimulatedBench;
using testsupport::child;

namespace {

const QString kLost = QStringLiteral("ERROR: Connection to the device lost\n");
const QString kStopped = QStringLiteral("The Test is stopped!\n");
const QString kClosed = QStringLiteral("Close port\n");
const QString kReadRequested = QStringLiteral("The default states have been read\n");
const QString kToolStarts = QStringLiteral("Uploading. Please wait...\n");

// Errors a port may raise between the hang-up and the close that answers it; a hung-up line
// that stays open raises hundreds of thousands a second.
constexpr int kErrorsAtMost = 50;

// The control state that the operator's own clicks leave behind, on a fresh program.
QMap<QString, bool> flagsAfter(const std::function<void(SimulatedBench &)> &actions)
{
    SimulatedBench bench;
    actions(bench);
    return enabledFlags(bench.window());
}

// Unplugs the device; true once the program has closed its port.
bool dropAndWaitForClose(SimulatedBench &bench)
{
    bench.device().drop();
    return QTest::qWaitFor([&bench] { return !bench.port().isOpen(); }, 5000);
}

// The console of an accepted upload from the click on, as the operator reads it.
QString uploadLines(const QString &image)
{
    return QStringLiteral("Switch to bootloader mode\n"
                          "Waiting for restart\n"
                          "Run Command: \n"
                          "dfu-util -d 1209:db42 -D ") +
           image + QStringLiteral("\n") + kToolStarts +
           QStringLiteral("The device has been updated\n") + kClosed;
}

// Chooses the firmware image in the file dialog's place while alive.
class ChosenImage {
public:
    explicit ChosenImage(const QString &path)
    {
        firmware::set_file_chooser([path](QWidget *) { return path; });
    }
    ~ChosenImage() { firmware::set_file_chooser({}); }
    ChosenImage(const ChosenImage &) = delete;
    ChosenImage &operator=(const ChosenImage &) = delete;
};

// What the window looks like at the moment dfu-util is about to run.
struct AtToolStart {
    bool seen = false;
    bool portOpen = true;
    QMap<QString, bool> flags;
};

void watchToolStart(SimulatedBench &bench, AtToolStart &at)
{
    auto *console = child<QPlainTextEdit>(bench.window(), "console");
    QObject::connect(console, &QPlainTextEdit::textChanged, console, [&bench, &at, console] {
        if (!at.seen && console->toPlainText().endsWith(kToolStarts)) {
            at.seen = true;
            at.portOpen = bench.port().isOpen();
            at.flags = enabledFlags(bench.window());
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
};

void DeviceLossTest::lossDuringTestStopsItAndClosesThePort()
{
    const QMap<QString, bool> stoppedAndClosed = flagsAfter([](SimulatedBench &bench) {
        QVERIFY(bench.openAndRunTest());
        bench.click("Sto_pushButton");
        bench.click("Close_pushButton");
    });

    SimulatedBench bench;
    QVERIFY(bench.openAndRunTest());
    QSignalSpy errors(&bench.port(), &QSerialPort::errorOccurred);
    const QString before = bench.console();

    QVERIFY(dropAndWaitForClose(bench));
    const QString afterLoss = before + kLost + kStopped + kClosed;
    QCOMPARE(bench.console(), afterLoss);
    QCOMPARE(int(test_run), 0);
    QCOMPARE(enabledFlags(bench.window()), stoppedAndClosed);

    // Quiet afterwards: the closed port raises nothing more and nothing more is written.
    const int errorsAtClose = errors.count();
    QVERIFY2(errorsAtClose >= 1 && errorsAtClose <= kErrorsAtMost,
             qPrintable(QString::number(errorsAtClose)));
    QTest::qWait(300);
    QCOMPARE(errors.count(), errorsAtClose);
    QCOMPARE(bench.console(), afterLoss);

    // Plugged in again: Refresh lists it, Open opens it, and a new test streams to it.
    QVERIFY(bench.replugAndOpen());
    QCOMPARE(bench.console(),
             afterLoss + QStringLiteral("Refresh ports list\n"
                                        "KALDORIUM-LPT device found with address 0xC100\n"
                                        "Opening port - success!\n"));
    QSignalSpy frames(&bench.device(), &SimulatedDeviceEndpoint::testFrameReceived);
    bench.click("Run_pushButton");
    QVERIFY(frames.wait(5000));
}

void DeviceLossTest::lossWithThePortOpen()
{
    const QMap<QString, bool> closed = flagsAfter([](SimulatedBench &bench) {
        QVERIFY(bench.open());
        bench.click("Close_pushButton");
    });

    SimulatedBench bench;
    QVERIFY(bench.open());
    const QString before = bench.console();
    QVERIFY(dropAndWaitForClose(bench));
    QCOMPARE(bench.console(), before + kLost + kClosed);
    QCOMPARE(enabledFlags(bench.window()), closed);
}

void DeviceLossTest::everyLossIsReportedOnce()
{
    SimulatedBench bench;
    QVERIFY(bench.openAndRunTest());
    for (int loss = 1; loss <= 3; ++loss) {
        QSignalSpy errors(&bench.port(), &QSerialPort::errorOccurred);
        QVERIFY(dropAndWaitForClose(bench));
        QTest::qWait(100);
        QCOMPARE(bench.console().count(kLost), loss);
        QVERIFY2(errors.count() <= kErrorsAtMost, qPrintable(QString::number(errors.count())));
        QVERIFY(bench.replugAndOpen());
    }
    QCOMPARE(bench.console().count(kStopped), 1); // only the first loss found a test running
}

void DeviceLossTest::lossDuringDefaultsRead()
{
    const QMap<QString, bool> closed = flagsAfter([](SimulatedBench &bench) {
        QVERIFY(bench.open());
        bench.click("Close_pushButton");
    });

    SimulatedBench bench;
    QVERIFY(bench.open());
    const QWidget &window = bench.window();
    const QStringList stored = {"default_D0", "default_D7", "default_C2", "default_S5"};
    const QStringList levels = {
        "default_D0", "default_D1", "default_D2", "default_D3", "default_D4", "default_D5",
        "default_D6", "default_D7", "default_C0", "default_C1", "default_C2", "default_C3",
        "default_S3", "default_S4", "default_S5", "default_S6", "default_S7"};
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
    bench.click("Defaults_set");
    QTRY_COMPARE(bench.device().snapshot().storedValue(20), 0x20u);
    child<QRadioButton>(window, "data_default_input_radioButton")->setChecked(true);
    child<QRadioButton>(window, "control_default_input_radioButton")->setChecked(true);
    for (const QString &name : levels)
        check(name, false);

    // The device stops taking the requests, then goes: no reply ever comes.
    bench.device().setStalled(true);
    const QString before = bench.console();
    bench.click("Defaults_read");
    QVERIFY(dropAndWaitForClose(bench));
    QTest::qWait(100);
    QCOMPARE(bench.console(), before + kReadRequested + kLost + kClosed);
    QCOMPARE(enabledFlags(window), closed);
    QVERIFY(checked("data_default_input_radioButton"));
    QVERIFY(checked("control_default_input_radioButton"));
    for (const QString &name : levels)
        QVERIFY2(!checked(name), qPrintable(name));

    // Back again, the read-back fills the tab.
    QVERIFY(bench.replugAndOpen());
    bench.click("Defaults_read");
    QTRY_VERIFY(bench.console().endsWith(QStringLiteral("READ_DEFAULT_STATUS_PORT_STATE\n")));
    QVERIFY(checked("data_default_output_radioButton"));
    QVERIFY(checked("control_default_output_radioButton"));
    for (const QString &name : levels)
        QVERIFY2(checked(name) == stored.contains(name), qPrintable(name));
}

void DeviceLossTest::upgradeReadsAsPlannedWhileTheDeviceGoes()
{
    reliability::StandInDfuUtil dfuUtil;
    const QString image = dfuUtil.scratchDirectory() + QStringLiteral("/HC_KLPTV1_2.bin");
    ChosenImage chosen(image);

    // The same upload with a device that stays on the line to its end.
    const QMap<QString, bool> afterUpload = flagsAfter([](SimulatedBench &bench) {
        bench.device().setBootloaderDropDelay(24 * 3600 * 1000);
        QVERIFY(bench.open());
        bench.click("OpenFirmware");
        bench.click("UploadFirmware");
    });

    SimulatedBench bench;
    QVERIFY(bench.open());
    bench.click("OpenFirmware");
    QSignalSpy errors(&bench.port(), &QSerialPort::errorOccurred);
    QSignalSpy dropped(&bench.device(), &SimulatedDeviceEndpoint::dropped);
    AtToolStart atToolStart;
    watchToolStart(bench, atToolStart);
    const QMap<QString, bool> flagsBefore = enabledFlags(bench.window());
    const QString before = bench.console();

    bench.click("UploadFirmware"); // returns when the upload has ended

    QCOMPARE(dropped.count(), 1);
    QCOMPARE(bench.console(), before + uploadLines(image));
    QVERIFY(!bench.console().contains(QStringLiteral("ERROR: ")));
    // The port was let go when the device went, not only at the end.
    QVERIFY(atToolStart.seen);
    QVERIFY(!atToolStart.portOpen);
    QVERIFY2(errors.count() <= kErrorsAtMost, qPrintable(QString::number(errors.count())));
    // The loss itself changed no flag; the end of the upload did what it always does.
    QMap<QString, bool> uploadStarted = flagsBefore;
    uploadStarted[QStringLiteral("UploadFirmware")] = false;
    QCOMPARE(atToolStart.flags, uploadStarted);
    QCOMPARE(enabledFlags(bench.window()), afterUpload);
    QCOMPARE(child<QTabWidget>(bench.window(), "tabWidget")->currentIndex(), 0);
    QCOMPARE(dfuUtil.runs().size(), 2); // the reference upload, then this one
    QCOMPARE(dfuUtil.runs().last(), (QByteArrayList{"-d", "1209:db42", "-D", image.toUtf8()}));

    QVERIFY(bench.replugAndOpen());
}

void DeviceLossTest::upgradeDuringRunningTestKeepsTheTestQuietly()
{
    reliability::StandInDfuUtil dfuUtil;
    const QString image = dfuUtil.scratchDirectory() + QStringLiteral("/HC_KLPTV1.bin");
    ChosenImage chosen(image);

    SimulatedBench bench;
    QVERIFY(bench.open());
    bench.click("OpenFirmware");
    QSignalSpy frames(&bench.device(), &SimulatedDeviceEndpoint::testFrameReceived);
    bench.click("Run_pushButton");
    QVERIFY(frames.wait(5000));
    QSignalSpy errors(&bench.port(), &QSerialPort::errorOccurred);
    AtToolStart atToolStart;
    watchToolStart(bench, atToolStart);
    QMap<QString, bool> uploadStarted = enabledFlags(bench.window());
    uploadStarted[QStringLiteral("UploadFirmware")] = false;
    const QString before = bench.console();

    reliability::WarningRecorder warnings;
    bench.click("UploadFirmware");

    QCOMPARE(bench.console(), before + uploadLines(image));
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
    QCOMPARE(warnings.messages(), QStringList());

    QVERIFY(child<QAbstractButton>(bench.window(), "Sto_pushButton")->isEnabled());
    bench.click("Sto_pushButton");
    QCOMPARE(bench.console(), before + uploadLines(image) + kStopped);
}

QTEST_MAIN(DeviceLossTest)
#include "tst_device_loss.moc"
