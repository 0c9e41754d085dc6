// The firmware upgrade through the real window: choosing the image, the checks on its name,
// and full uploads against a stand-in dfu-util that records the arguments it was given.
// An accepted upload pauses for some 3 s, so the full runs are kept few and each checks much.

#include "device_functions/firmware_tool.h"
#include "mainwindow.h"
#include "pseudo_terminal.h"
#include "test_support.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using testsupport::child;
using testsupport::consoleText;

namespace {

enum class Tool { Recording, NotExecutable, Missing };

const char kArgsVariable[] = "KALDORIUM_TEST_DFU_ARGS";
const char kStatusVariable[] = "KALDORIUM_TEST_DFU_STATUS";

// Records its arguments one per line, each exactly as received, and exits with the status
// the test asks for.
const char kStandInScript[] = "#!/bin/sh\n"
                              "printf '%s\\n' \"$@\" > \"$KALDORIUM_TEST_DFU_ARGS\"\n"
                              "exit \"${KALDORIUM_TEST_DFU_STATUS:-0}\"\n";

QStringList messages; // warnings caught while a test runs on with the port closed

void catchMessage(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtDebugMsg)
        messages << text;
}

} // namespace

Q_DECLARE_METATYPE(Tool)

class TestFirmwareUpgrade : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::DeviceBench> bench;
    std::unique_ptr<QTemporaryDir> scratch;
    QByteArray savedPath;
    QString chosen; // what the file dialog returns

    MainWindow &window() { return bench->window(); }
    PseudoTerminal &device() { return bench->device(); }
    QPushButton *button(const char *name) { return child<QPushButton>(window(), name); }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    QTabWidget *tabs() { return child<QTabWidget>(window(), "tabWidget"); }
    QString argsFile() const { return scratch->filePath(QStringLiteral("dfu-util-args")); }
    QString markerFile() const { return scratch->filePath(QStringLiteral("shell-ran")); }

    void chooseFile(const QString &path)
    {
        chosen = path;
        click("OpenFirmware");
    }

    // Puts dfu-util on PATH as the test needs it. Only the recording stand-in is followed by
    // the rest of PATH: the others must not fall through to an installed dfu-util.
    bool installTool(Tool tool, int exitStatus)
    {
        const QString bin = scratch->filePath(QStringLiteral("bin"));
        if (!QDir().mkpath(bin))
            return false;
        if (tool != Tool::Missing) {
            QFile script(bin + QStringLiteral("/dfu-util"));
            if (!script.open(QIODevice::WriteOnly) || script.write(kStandInScript) < 0)
                return false;
            script.close();
            const QFile::Permissions readable = QFile::ReadOwner | QFile::WriteOwner;
            const QFile::Permissions runnable = readable | QFile::ExeOwner;
            script.setPermissions(tool == Tool::Recording ? runnable : readable);
        }
        qputenv("PATH", tool == Tool::Recording ? QFile::encodeName(bin) + ':' + savedPath
                                                : QFile::encodeName(bin));
        qputenv(kArgsVariable, QFile::encodeName(argsFile()));
        qputenv(kStatusVariable, QByteArray::number(exitStatus));
        return true;
    }

    QStringList recordedArguments()
    {
        QFile file(argsFile());
        if (!file.open(QIODevice::ReadOnly))
            return {QStringLiteral("<dfu-util did not run>")};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
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

    static QString uploadLines(const QString &path, const QString &outcome)
    {
        return QStringLiteral("Switch to bootloader mode\n"
                              "Waiting for restart\n"
                              "Run Command: \n"
                              "dfu-util -d 1209:db42 -D ") +
               path + QStringLiteral("\nUploading. Please wait...\n") + outcome +
               QStringLiteral("Close port\n");
    }

    void verifyPortClosedAfterUpload()
    {
        QCOMPARE(tabs()->currentIndex(), 0);
        QVERIFY(!button("UploadFirmware")->isEnabled());
        QVERIFY(!button("Close_pushButton")->isEnabled());
        QVERIFY(button("Open_pushButton")->isEnabled());
        QVERIFY(button("refresh_pushButton")->isEnabled());
        QVERIFY(!button("OpenFirmware")->isEnabled());
        QVERIFY(!button("set_pushButton")->isEnabled());
        QVERIFY(!button("Defaults_read")->isEnabled());
    }

private slots:
    void init()
    {
        savedPath = qgetenv("PATH");
        scratch = std::make_unique<QTemporaryDir>();
        QVERIFY(scratch->isValid());
        firmware::set_file_chooser([this](QWidget *) { return chosen; });
        bench = std::make_unique<testsupport::DeviceBench>();
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        QVERIFY(bench->openPort());
        tabs()->setCurrentIndex(4);
    }

    void cleanup()
    {
        bench.reset();
        firmware::set_file_chooser({});
        qputenv("PATH", savedPath);
        qunsetenv(kArgsVariable);
        qunsetenv(kStatusVariable);
        scratch.reset();
    }

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
        QVERIFY(testsupport::readFromProgram(device(), 1, 100).isEmpty());
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
        QVERIFY(installTool(Tool::Recording, 0));
        chooseFile(path);
        const QString console = consoleText(window());
        click("UploadFirmware");
        QCOMPARE(consoleText(window()), console + lines);
        QVERIFY(button("UploadFirmware")->isEnabled());
        QVERIFY(button("Close_pushButton")->isEnabled());
        QVERIFY(button("OpenFirmware")->isEnabled());
        QCOMPARE(tabs()->currentIndex(), 4);
        QVERIFY(testsupport::readFromProgram(device(), 1, 100).isEmpty());
        QVERIFY(!QFile::exists(argsFile()));
    }

    void acceptedUploadRunsToTheEnd_data()
    {
        QTest::addColumn<QString>("name"); // under the scratch directory
        QTest::addColumn<bool>("portOpen");
        QTest::addColumn<Tool>("tool");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("outcome");
        const QString updated = QStringLiteral("The device has been updated\n");
        const QString notStarted = QStringLiteral("ERROR: dfu-util could not be started\n");
        QTest::newRow("marker in a directory, long path, tool succeeds")
            << "HC_KLPTV1/" + QString(600, QLatin1Char('x')) + "/firmware.bin" << true
            << Tool::Recording << 0 << updated;
        QTest::newRow("shell characters in the path, tool fails with status 3")
            << "fw dir/it's \"HC_KLPTV1\"; $(touch %marker) `touch %marker` & x.bin" << true
            << Tool::Recording << 3 << "ERROR: dfu-util failed with exit code 3\n";
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
        const QString path = scratch->filePath(name).replace("%marker", markerFile());
        QVERIFY(installTool(tool, exitStatus));
        chooseFile(path);
        QVERIFY(button("UploadFirmware")->isEnabled());
        if (!portOpen)
            click("Close_pushButton");
        const QString console = consoleText(window());

        // The bootloader command is out before the first line reports it.
        const QByteArray received = uploadProbingFirstLine(portOpen);
        QCOMPARE(received.toHex(' '), QByteArray(portOpen ? "ff ff 7f 00 00 00" : ""));
        QVERIFY(device().readAvailable().isEmpty());

        QCOMPARE(consoleText(window()), console + uploadLines(path, outcome));
        if (tool == Tool::Recording) {
            const QStringList expected = {"-d", "1209:db42", "-D", path};
            QCOMPARE(recordedArguments(), expected);
        } else {
            QVERIFY(!QFile::exists(argsFile()));
        }
        QVERIFY(!QFile::exists(markerFile()));
        verifyPortClosedAfterUpload();
    }

    void uploadDuringTestLeavesTestRunningOnClosedPort()
    {
        QVERIFY(installTool(Tool::Recording, 0));
        const QString path = scratch->filePath(QStringLiteral("HC_KLPTV1.bin"));
        chooseFile(path);
        child<QRadioButton>(window(), "radioButton_2")->setChecked(true);
        click("Run_pushButton");
        QVERIFY(testsupport::readFromProgram(device(), 203).size() >= 203);
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

        QCOMPARE(consoleText(window()),
                 console + uploadLines(path, "The device has been updated\n"));
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
        messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(catchMessage);
        const QByteArray late = testsupport::readFromProgram(device(), 1, 300);
        qInstallMessageHandler(previous);
        QCOMPARE(late, QByteArray());
        QCOMPARE(messages, QStringList());

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
