// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The firmware upgrade through the real window: choosing the image, the checks on its name,
// and full uploads against a stand-in dfu-util that records the arguments it was given.
// An accepted upload pauses for some 3 s, so the full runs are kept few and each checks much.

#include "console_lines.h"
#include "firmware_file_choice.h"
#include "mainwindow.h"
#include "message_recorder.h"
#include "pseudo_terminal.h"
#include "pty_device_bench.h"
#include "standin_dfu_util.h"
#include "window_access.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QTabWidget>
#include <QtTest>

#include <memory>

using namespace testsupport;
using Tool = StandInDfuUtil::Kind;

Q_DECLARE_METATYPE(Tool)

namespace {

// The arguments dfu-util must get: the path as the bytes that name the file on this system.
QByteArrayList dfuArguments(const QString &path)
{
    return {"-d", "1209:db42", "-D", QFile::encodeName(path)};
}

} // namespace

class TestFirmwareUpgrade : public QObject {
    Q_OBJECT

    std::unique_ptr<DeviceBench> bench;
    FirmwareFileChoice fileChoice;

    MainWindow &window() { return bench->window(); }
    PseudoTerminal &device() { return bench->device(); }
    QPushButton *button(const char *name) { return child<QPushButton>(window(), name); }
    void click(const char *name) { testsupport::click(window(), name); }
    QTabWidget *tabs() { return child<QTabWidget>(window(), "tabWidget"); }

    void chooseFile(const QString &path)
    {
        fileChoice.set(path);
        click("OpenFirmware");
    }

    // Clicks Upload; returns what the device had received when the first console line came.
    QByteArray uploadProbingFirstLine(bool expectFrame)
    {
        QByteArray received;
        bool probed = false;
        const auto connection = connect(
            child<QPlainTextEdit>(window(), "console"), &QPlainTextEdit::textChanged, this, [&] {
                if (probed)
                    return;
                probed = true;
                received = device().readAtLeast(expectFrame ? 6 : 1, expectFrame ? 3000 : 100);
            });
        click("UploadFirmware");
        disconnect(connection);
        return received;
    }

private slots:
    void init()
    {
        bench = std::make_unique<DeviceBench>();
        QVERIFY(showWindow(window()));
        QVERIFY(bench->openPort());
        tabs()->setCurrentIndex(4);
    }

    void cleanup() { bench.reset(); }

    void chooseFileReportsChoice_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<bool>("uploadEnabled");
        QTest::newRow("cancelled") << QString() << "File not loaded\n" << false;
        QTest::newRow("chosen") << "/fw/HC_KLPTV1 v2.bin"
                                << "The file has been loaded\nPath: /fw/HC_KLPTV1 v2.bin\n"
                                << true;
    }

    void chooseFileReportsChoice()
    {
        QFETCH(QString, path);
        QFETCH(QString, lines);
        QFETCH(bool, uploadEnabled);
        const QString console = consoleText(window());
        chooseFile(path);
        QCOMPARE(consoleText(window()), console + lines);
        QCOMPARE(button("UploadFirmware")->isEnabled(), uploadEnabled);
    }

    void cancelAfterChoiceKeepsUploadButRefusesIt()
    {
        chooseFile(QStringLiteral("/fw/HC_KLPTV1.bin"));
        chooseFile(QString());
        QVERIFY(consoleText(window()).endsWith(QStringLiteral("File not loaded\n")));
        QVERIFY(button("UploadFirmware")->isEnabled());
        const QString console = consoleText(window());
        click("UploadFirmware");
        QCOMPARE(consoleText(window()), console + "Incorrect path to file\n");
        QVERIFY(readFromProgram(device(), 1, 100).isEmpty());
    }

    void refusedNameChangesNothing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("lines");
        const QString wrongName =
            QStringLiteral("Incorrect file name.\nCheck if this is the correct file!\n");
        QTest::newRow(".BIN only") << "/fw/HC_KLPTV1.BIN"
                                   << "Incorrect path to file\n";
        QTest::newRow("no .bin at all") << "/fw/image.hex"
                                        << "Incorrect path to file\n";
        QTest::newRow("marker in lower case") << "/fw/hc_klptv1.bin" << wrongName;
        QTest::newRow("marker in mixed case") << "/fw/Hc_KlptV1/image.bin" << wrongName;
        QTest::newRow("no marker") << "/fw/firmware.bin" << wrongName;
    }

    void refusedNameChangesNothing()
    {
        QFETCH(QString, path);
        QFETCH(QString, lines);
        StandInDfuUtil dfuUtil;
        chooseFile(path);
        const QString console = consoleText(window());
        click("UploadFirmware");
        QCOMPARE(consoleText(window()), console + lines);
        QVERIFY(button("UploadFirmware")->isEnabled());
        QVERIFY(button("Close_pushButton")->isEnabled());
        QVERIFY(button("OpenFirmware")->isEnabled());
        QCOMPARE(tabs()->currentIndex(), 4);
        QVERIFY(readFromProgram(device(), 1, 100).isEmpty());
        QCOMPARE(dfuUtil.runs(), QList<QByteArrayList>());
    }

    void acceptedUploadRunsToTheEnd_data()
    {
        QTest::addColumn<QString>("name"); // under the stand-in's scratch directory
        QTest::addColumn<bool>("portOpen");
        QTest::addColumn<Tool>("tool");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("outcome");
        const QString notStarted = QStringLiteral("ERROR: dfu-util could not be started\n");
        QTest::newRow("marker in a directory, long path, tool succeeds")
            << "HC_KLPTV1/" + QString(600, QLatin1Char('x')) + "/firmware.bin" << true
            << Tool::Recording << 0 << kDeviceUpdated;
        QTest::newRow("shell characters, newline, non-ASCII in the path, tool fails with 3")
            << "fw dir/it's \"HC_KLPTV1\"; $(touch %marker) `touch %marker` & x\ntouch "
               "%marker\n/Прошивка.bin"
            << true << Tool::Recording << 3 << "ERROR: dfu-util failed with exit code 3\n";
        QTest::newRow(".bin only in a directory, no port open, tool missing")
            << "a.bin.d/HC_KLPTV1.hex" << false << Tool::Missing << 0 << notStarted;
        QTest::newRow("tool not executable")
            << "HC_KLPTV1.bin" << true << Tool::NotExecutable << 0 << notStarted;
    }

    void acceptedUploadRunsToTheEnd()
    {
        QFETCH(QString, name);
        QFETCH(bool, portOpen);
        QFETCH(Tool, tool);
        QFETCH(int, exitStatus);
        QFETCH(QString, outcome);
        StandInDfuUtil dfuUtil(exitStatus, tool);
        const QString marker = dfuUtil.scratchDirectory() + QStringLiteral("/shell-ran");
        const QString path =
            dfuUtil.scratchDirectory() + '/' + name.replace(QStringLiteral("%marker"), marker);
        const QString chosen = consoleText(window());
        chooseFile(path);
        QCOMPARE(consoleText(window()),
                 chosen + QStringLiteral("The file has been loaded\nPath: ") + path + '\n');
        QVERIFY(button("UploadFirmware")->isEnabled());
        if (!portOpen)
            click("Close_pushButton");
        const QString console = consoleText(window());

        // The bootloader command is out before the first line reports it.
        const QByteArray received = uploadProbingFirstLine(portOpen);
        QCOMPARE(received.toHex(' '), QByteArray(portOpen ? "ff ff 7f 00 00 00" : ""));
        QVERIFY(device().readAvailable().isEmpty());

        QCOMPARE(consoleText(window()), console + uploadLines(path, outcome));
        const QList<QByteArrayList> runs = dfuUtil.runs();
        if (tool == Tool::Recording)
            QCOMPARE(runs, QList<QByteArrayList>{dfuArguments(path)});
        else
            QCOMPARE(runs, QList<QByteArrayList>());
        QVERIFY(!QFile::exists(marker));
        QCOMPARE(tabs()->currentIndex(), 0);
        QVERIFY(!button("UploadFirmware")->isEnabled());
        QCOMPARE(unlikePortClosed(window()), QStringList());
    }

    // During the restart pause the operator tries everything that could start a second
    // upload: the chooser as it is reached by reopening the port or stopping the test, or by
    // a click that got through to it, and then Upload.
    void noSecondUploadInsideTheFirst_data()
    {
        QTest::addColumn<bool>("testRunning");
        QTest::addColumn<QStringList>("clicks"); // "!slot" calls the slot whatever its button
        QTest::newRow("both slots reached")
            << false << QStringList{"!on_OpenFirmware_clicked", "!on_UploadFirmware_clicked"};
        QTest::newRow("port closed and opened again")
            << false
            << QStringList{"Close_pushButton", "Open_pushButton", "OpenFirmware", "UploadFirmware"};
        QTest::newRow("test stopped")
            << true << QStringList{"Sto_pushButton", "OpenFirmware", "UploadFirmware"};
    }

    void noSecondUploadInsideTheFirst()
    {
        QFETCH(bool, testRunning);
        QFETCH(QStringList, clicks);
        StandInDfuUtil dfuUtil;
        chooseFile(dfuUtil.scratchDirectory() + QStringLiteral("/HC_KLPTV1.bin"));
        if (testRunning)
            click("Run_pushButton");
        QByteArray stream;
        QSocketNotifier reader(device().masterFd(), QSocketNotifier::Read);
        connect(&reader, &QSocketNotifier::activated, this,
                [&] { stream += device().readAvailable(); });

        bool paused = false;
        QMap<QString, bool> duringPause;
        Qt::CursorShape cursor = Qt::ArrowCursor;
        auto *console = child<QPlainTextEdit>(window(), "console");
        connect(console, &QPlainTextEdit::textChanged, this, [&] {
            if (paused || !console->toPlainText().endsWith(QLatin1String("Waiting for restart\n")))
                return;
            paused = true;
            QTimer::singleShot(0, this, [&] {
                duringPause = enabledFlags(window());
                if (QApplication::overrideCursor())
                    cursor = QApplication::overrideCursor()->shape();
                for (const QString &name : clicks) {
                    if (name.startsWith('!'))
                        QVERIFY(QMetaObject::invokeMethod(&window(), qPrintable(name.mid(1))));
                    else
                        click(qPrintable(name));
                }
            });
        });
        click("UploadFirmware");
        reader.setEnabled(false);
        stream += device().readAvailable();

        QVERIFY(paused);
        QVERIFY(!duringPause.value("UploadFirmware"));
        QVERIFY(!duringPause.value("OpenFirmware"));
        QCOMPARE(cursor, Qt::BusyCursor);
        QVERIFY(!QApplication::overrideCursor());
        const QString text = consoleText(window());
        QVERIFY(text.contains("An upload is running; choose a file once it has ended\n"));
        QCOMPARE(text.count("Switch to bootloader mode\n"), 1);
        QCOMPARE(text.count(kDeviceUpdated), 1);
        QCOMPARE(dfuUtil.runs().size(), 1);
        QCOMPARE(stream.count(QByteArray::fromHex("ffff7f000000")), 1);
        QVERIFY(!button("UploadFirmware")->isEnabled());
        QVERIFY(!button("OpenFirmware")->isEnabled());
    }

    void uploadDuringTestLeavesTestRunningOnClosedPort()
    {
        StandInDfuUtil dfuUtil;
        const QString path = dfuUtil.scratchDirectory() + QStringLiteral("/HC_KLPTV1.bin");
        chooseFile(path);
        child<QRadioButton>(window(), "radioButton_2")->setChecked(true);
        click("Run_pushButton");
        QVERIFY(readFromProgram(device(), 203).size() >= 203);
        const QString console = consoleText(window());

        // Play a device that keeps reading while the upload waits, so that the port has
        // nothing left to write when it is closed.
        QByteArray stream;
        QSocketNotifier reader(device().masterFd(), QSocketNotifier::Read);
        connect(&reader, &QSocketNotifier::activated, this,
                [&] { stream += device().readAvailable(); });
        click("UploadFirmware");
        reader.setEnabled(false);
        stream += device().readAvailable();

        QCOMPARE(consoleText(window()), console + uploadLines(path, kDeviceUpdated));
        QCOMPARE(tabs()->currentIndex(), 0);
        QVERIFY(!button("UploadFirmware")->isEnabled());
        QVERIFY(!button("Close_pushButton")->isEnabled());
        QVERIFY(button("Open_pushButton")->isEnabled());
        // The test runs on: its stop button and its output pins stay operable.
        QVERIFY(button("Sto_pushButton")->isEnabled());
        QVERIFY(!button("Run_pushButton")->isEnabled());
        QVERIFY(button("pushButton_2")->isEnabled());
        // Test frames went on during the pauses, around the bootloader command (two markers
        // in a row begin a command frame, never a test frame).
        const int command = stream.indexOf(QByteArray::fromHex("ffff7f000000"));
        QVERIFY(command >= 0);
        QVERIFY(stream.indexOf(char(0xFF), command + 6) > 0);

        // Ticks against the closed port send nothing and raise no complaint.
        {
            MessageRecorder messages;
            QCOMPARE(readFromProgram(device(), 1, 300), QByteArray());
            QCOMPARE(messages.complaints(), QStringList());
        }

        click("Sto_pushButton");
        QVERIFY(
            consoleText(window()).endsWith(QStringLiteral("Close port\nThe Test is stopped!\n")));
        QVERIFY(button("Run_pushButton")->isEnabled());
        QVERIFY(!button("Sto_pushButton")->isEnabled());
        QVERIFY(!button("pushButton_2")->isEnabled());
    }
};

QTEST_MAIN(TestFirmwareUpgrade)
#include "tst_firmware_upgrade.moc"
