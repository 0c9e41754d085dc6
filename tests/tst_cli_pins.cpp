// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// kaldorium-lpt pins watch|record|drive|pulse as a user runs them: the real executable against
// the simulated device, or against a pseudo-terminal whose device end the test reads byte for
// byte. A recording is read back with sigrok-cli.

#include "cli_runner.h"
#include "device_link/db25_pins.h"
#include "device_link/frames.h"
#include "pseudo_terminal.h"
#include "simulated_device_endpoint.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <poll.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// Slot levels written as runs: "5h 5l" is five high slots, then five low ones.
QString runs(const char *text)
{
    QString levels;
    for (const QString &run : QString::fromLatin1(text).split(' ', Qt::SkipEmptyParts))
        levels += QString(run.chopped(1).toInt(), run.endsWith('h') ? '1' : '0');
    return levels;
}

// The 17 signal pins as the device reports them, pin 1 first: "10100...".
QString pin_text(const SimulatedDevice::Levels &levels)
{
    const uint32_t word =
        db25::signal_levels(frames::InputLevels{levels.data, levels.status, levels.control});
    QString text;
    for (int n = 1; n <= db25::kSignalPins; ++n)
        text += (word >> (n - 1)) & 1 ? '1' : '0';
    return text;
}

// A device that has stopped reading, its line full: whatever the program writes next waits.
// Fills the host-to-device direction of the pseudo-terminal from the slave side.
void fill_line_to_device(const QString &slavePath)
{
    const int fd = ::open(QFile::encodeName(slavePath).constData(),
                          O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    // The kernel moves bytes on between its buffers for a while: full is when it takes
    // nothing for 100 ms.
    const QByteArray zeros(4096, '\0');
    pollfd room{fd, POLLOUT, 0};
    do {
        while (::write(fd, zeros.constData(), size_t(zeros.size())) > 0) {
        }
    } while (::poll(&room, 1, 100) > 0);
    ::close(fd);
}

// The device end of a pseudo-terminal that sends a status frame every 5 ms: levels (every pin
// low), error reports only, or nothing at all; or that falls silent for a while.
class StatusSender : public QObject {
public:
    enum class Sends { Nothing, Levels, Errors };

    explicit StatusSender(Sends sends) : sends_(sends)
    {
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (sends_ == Sends::Nothing || (quiet_.isValid() && !quiet_.hasExpired(quiet_ms_)))
                return;
            const HC_LCNC_2_SERIAL_IN_DATA frame =
                sends_ == Sends::Levels ? frames::pack_input({}, counter_)
                                        : frames::pack_error_report(frames::kErrorFifo, counter_);
            counter_ = frames::next_counter(counter_);
            pty_.writeSome(QByteArray(reinterpret_cast<const char *>(&frame), sizeof frame));
        });
        timer_.start(5);
    }
    QString node() const { return pty_.slavePath(); }
    // Sends nothing for ms milliseconds from now (negative: from now on).
    void fallSilent(int ms)
    {
        quiet_.start();
        quiet_ms_ = ms < 0 ? std::numeric_limits<qint64>::max() : ms;
    }

private:
    Sends sends_;
    PseudoTerminal pty_;
    QTimer timer_;
    QElapsedTimer quiet_;
    qint64 quiet_ms_ = 0;
    uint8_t counter_ = 0;
};

} // namespace

Q_DECLARE_METATYPE(StatusSender::Sends)

class TestCliPins : public QObject {
    Q_OBJECT

private slots:
    void watch_data();
    void watch();
    void verdicts_data();
    void verdicts();
    void statusLineOnlyOnATerminal_data();
    void statusLineOnlyOnATerminal();
    void recordReadBySigrok();
    void driveStreamsTheWindowsFrames_data();
    void driveStreamsTheWindowsFrames();
    void driveConfirmsTheLevels_data();
    void driveConfirmsTheLevels();
    void pulseSlotsOnTheWire_data();
    void pulseSlotsOnTheWire();
    void pulseStoppedEndsLow_data();
    void pulseStoppedEndsLow();
    void refused_data();
    void refused();
    void simAnnouncesItselfInAPortList();
};

void TestCliPins::watch_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("event"); // what the test does while the command runs
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QString>("err");
    const QStringList watch{"pins", "watch", "--for", "700ms"};
    QTest::newRow("text") << watch << "switch" << 0 << "pin 1 C0 0"
                          << "";
    QTest::newRow("json") << (QStringList{"--json"} + watch) << "switch" << 0
                          << R"("pin":1,"bit":"C0","level":0})"
                          << "";
    QTest::newRow("error report") << watch << "error" << 0 << "pin 1 C0 0"
                                  << "device error: FIFO error, input frame lost";
    QTest::newRow("SIGINT ends it") << QStringList{"pins", "watch"} << "SIGINT" << 0 << "pin 1 C0 0"
                                    << "";
    QTest::newRow("device lost") << QStringList{"pins", "watch"} << "drop" << 74 << "pin 1 C0 0"
                                 << "connection to the device lost";
}

void TestCliPins::watch()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, event);
    QFETCH(int, exitCode);
    QFETCH(QString, firstLine);
    QFETCH(QString, err);
    SimulatedDeviceEndpoint device;
    CliRunner cli;
    cli.plugIn(device);
    QProcess &process = cli.start(arguments);
    // Once the initial levels are out: a switch on net B (pins 3 and 13), or the event.
    QVERIFY(QTest::qWaitFor([&] { return process.bytesAvailable() > 0; }, 10000));
    QTest::qWait(100);
    if (event == "switch")
        device.setExternalNets(0x02);
    else if (event == "error")
        device.injectErrors(frames::kErrorFifo | frames::kErrorInputFrameLost);
    else if (event == "SIGINT")
        ::kill(pid_t(process.processId()), SIGINT);
    else if (event == "drop")
        device.drop();
    const CliResult result = cli.finish();
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(err.toUtf8()), result.err);

    const QList<QByteArray> lines = result.out.split('\n');
    QVERIFY2(lines.size() >= 18, result.out);
    QVERIFY2(lines.first().endsWith(firstLine.toUtf8()), lines.first());
    // The 17 signal pins in order, then the changes.
    const QRegularExpression text(R"(^\d+\.\d{3} pin (\d+) ([DSC]\d) ([01])$)");
    const QRegularExpression json(QStringLiteral(
        "^\\{\"t\":\\d+\\.\\d{3},\"pin\":(\\d+),\"bit\":\"([DSC]\\d)\",\"level\":([01])\\}$"));
    const QRegularExpression &form = arguments.contains("--json") ? json : text;
    for (int n = 1; n <= db25::kSignalPins; ++n) {
        const QRegularExpressionMatch match = form.match(QString::fromUtf8(lines[n - 1]));
        QVERIFY2(match.hasMatch(), lines[n - 1]);
        QCOMPARE(match.captured(1).toInt(), n);
        QCOMPARE(match.captured(2), QString::fromLatin1(db25::pin(n).name));
    }
    if (event == "switch") {
        QCOMPARE(lines.size(), 17 + 2 + 1);
        QVERIFY2(form.match(QString::fromUtf8(lines[17])).captured(1) == "3", lines[17]);
        QVERIFY2(form.match(QString::fromUtf8(lines[18])).captured(1) == "13", lines[18]);
        QCOMPARE(form.match(QString::fromUtf8(lines[18])).captured(3), QString("1"));
    }
}

void TestCliPins::verdicts_data()
{
    QTest::addColumn<QStringList>("arguments"); // after "pins"; @vcd is a recording file
    QTest::addColumn<StatusSender::Sends>("sends");
    QTest::addColumn<QString>("event"); // SIGINT, or the device falls silent ("silent MS")
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("out");
    using S = StatusSender::Sends;
    const QString none = "no status frame from the device in the ";
    const QString errors = "the device only reported errors (";
    const QStringList watch{"watch", "--timeout", "300"};
    const QStringList record{"record", "--vcd", "@vcd", "--timeout", "300"};
    // No status frame with levels: never a success, whatever ends the wait; a recording
    // leaves the file that was there untouched.
    QTest::newRow("watch: silent, --timeout")
        << watch << S::Nothing << "" << 75 << "no status frame from the device within 300 ms"
        << "";
    QTest::newRow("watch: silent, --for first")
        << QStringList{"watch", "--for", "300ms"} << S::Nothing << "" << 75 << none << "";
    QTest::newRow("watch: silent, Ctrl-C first")
        << QStringList{"watch", "--timeout", "60000"} << S::Nothing << "SIGINT" << 75 << none << "";
    QTest::newRow("record: silent, --for first")
        << QStringList{"record", "--vcd", "@vcd", "--for", "300ms"} << S::Nothing << "" << 75
        << none << "";
    QTest::newRow("record: silent, --vcd a link")
        << QStringList{"record", "--vcd", "@link", "--for", "300ms"} << S::Nothing << "" << 75
        << none << "";
    QTest::newRow("record: silent, Ctrl-C first")
        << QStringList{"record", "--vcd", "@vcd", "--timeout", "60000"} << S::Nothing << "SIGINT"
        << 75 << none << "";
    // Error reports show the device alive: watched to the end, noted once a second each.
    QTest::newRow("watch: only errors")
        << (watch + QStringList{"--for", "1200ms"}) << S::Errors << "" << 75 << errors << "";
    QTest::newRow("record: only errors")
        << (record + QStringList{"--for", "1200ms"}) << S::Errors << "" << 75 << errors << "";
    QTest::newRow("watch: levels")
        << (watch + QStringList{"--for", "300ms"}) << S::Levels << "" << 0 << ""
        << "pin 17 C3 0";
    // A device that stops sending: each silence noted, counted in the summary.
    QTest::newRow("record: a silence")
        << (record + QStringList{"--for", "2500ms"}) << S::Levels << "silent 400" << 0
        << "no status frame from the device from "
        << "0 frames lost, 1 silence\n";
    QTest::newRow("record: silent to the end") << (record + QStringList{"--for", "2s"}) << S::Levels
                                               << "silent -1" << 0 << "s to the end at "
                                               << "0 frames lost, 1 silence\n";
}

void TestCliPins::verdicts()
{
    QFETCH(QStringList, arguments);
    QFETCH(StatusSender::Sends, sends);
    QFETCH(QString, event);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(QString, out);
    StatusSender device(sends);
    CliRunner cli;
    const QString vcd = cli.filePath("axis x.vcd");
    const QByteArray before = "an earlier recording\n";
    {
        QFile file(vcd);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
    }
    const QString link = cli.filePath("latest.vcd");
    QVERIFY(QFile::link(vcd, link));
    arguments.replaceInStrings("@vcd", vcd);
    arguments.replaceInStrings("@link", link);
    QProcess &process = cli.start(QStringList{"--port", device.node(), "pins"} + arguments);
    if (event == "SIGINT") {
        QTest::qWait(500);
        ::kill(pid_t(process.processId()), SIGINT);
    } else if (event.startsWith("silent")) {
        QTest::qWait(1500); // the command has seen the device's levels
        device.fallSilent(event.section(' ', 1).toInt());
    }
    const CliResult result = cli.finish();
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(err.toUtf8()), result.err);
    QVERIFY2(result.out.contains(out.toUtf8()), result.out);
    QCOMPARE(QFileInfo(link).symLinkTarget(), vcd);
    QFile file(vcd);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray recorded = file.readAll();
    if (arguments.first() == "record" && exitCode == 0)
        QVERIFY2(recorded.startsWith("$comment kaldorium-lpt "), recorded.left(100));
    else
        QCOMPARE(recorded, before);
    // One line per kind of error and second, not one per report.
    if (sends == StatusSender::Sends::Errors) {
        QVERIFY2(result.err.count("device error: FIFO error") <= 4, result.err);
        QVERIFY2(result.err.contains("device error: FIFO error, "), result.err);
        QVERIFY2(result.err.contains(" times in the last "), result.err);
    }
}

void TestCliPins::statusLineOnlyOnATerminal_data()
{
    QTest::addColumn<bool>("terminal"); // standard error a terminal, or a pipe
    QTest::newRow("terminal") << true;
    QTest::newRow("pipe") << false;
}

void TestCliPins::statusLineOnlyOnATerminal()
{
    QFETCH(bool, terminal);
    SimulatedDeviceEndpoint device;
    CliRunner cli;
    cli.plugIn(device);
    PseudoTerminal console; // the user's terminal
    QProcess &process =
        cli.start({"pins", "record", "--vcd", cli.filePath("r.vcd"), "--for", "1200ms"},
                  terminal ? console.slavePath() : QString());
    const CliResult result = cli.finish();
    QCOMPARE(result.exitCode, 0);
    Q_UNUSED(process);
    const QByteArray shown = terminal ? console.readAtLeast(1, 1000) : result.err;
    // Rewritten in place, and gone at the end.
    QCOMPARE(shown.contains("\rrecording: "), terminal);
    QCOMPARE(shown.contains(" frames, "), terminal);
    if (terminal)
        QVERIFY2(shown.endsWith("\r\x1b[K"), shown.right(80).toHex(' '));
    QVERIFY2(result.out.startsWith("recorded "), result.out);
}

void TestCliPins::recordReadBySigrok()
{
    const QString sigrok = QStandardPaths::findExecutable("sigrok-cli");
    if (sigrok.isEmpty())
        QSKIP("sigrok-cli is not installed (scripts/install-deps.sh test installs it)");
    SimulatedDeviceEndpoint device;
    device.setStatusInterval(1);
    CliRunner cli;
    cli.plugIn(device);
    const QString vcd = cli.filePath("limit-switch.vcd");

    // A switch bouncing over the nets, one state every 60 ms; the device's report of each
    // state is what the recording must hold, in order.
    const QList<int> nets{0x00, 0x01, 0x03, 0x02, 0x12, 0x92, 0xF0, 0x0F, 0xFF, 0x00};
    QStringList reported;
    int next = 0;
    QTimer bounce;
    connect(&bounce, &QTimer::timeout, &device, [&] {
        if (next == nets.size())
            return bounce.stop();
        device.setExternalNets(quint8(nets[next++]));
        reported << pin_text(device.snapshot().levels());
    });
    QProcess &process = cli.start({"--json", "pins", "record", "--vcd", vcd, "--for", "2500ms"});
    QTest::qWait(1000); // the recorder has started, also under a sanitizer
    bounce.start(60);
    const CliResult result = cli.finish();
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    const QJsonObject summary = QJsonDocument::fromJson(result.out).object();
    QCOMPARE(summary.value("lost_frames").toInt(), 0);
    QCOMPARE(summary.value("changes").toInt(), nets.size() - 1);
    Q_UNUSED(process);

    QProcess reader;
    reader.start(sigrok, {"-I", "vcd:downsample=100", "-i", vcd, "-O", "csv"});
    QVERIFY(reader.waitForFinished(30000));
    QCOMPARE(reader.exitCode(), 0);
    QStringList seen; // the samples, equal neighbours folded
    for (const QByteArray &line : reader.readAllStandardOutput().split('\n')) {
        if (line.isEmpty() || !QChar(line[0]).isDigit())
            continue;
        const QString sample = QString::fromLatin1(line).remove(',');
        QCOMPARE(sample.size(), db25::kSignalPins);
        if (seen.isEmpty() || seen.last() != sample)
            seen << sample;
    }
    QCOMPARE(seen, reported);
}

void TestCliPins::driveStreamsTheWindowsFrames_data()
{
    QTest::addColumn<QStringList>("levels");
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("loopback"); // pins 1..17 as the device then reports them
    QTest::newRow("data") << QStringList{"--data", "0x81"} << QByteArray::fromHex("4060")
                          << "01000000100000101";
    QTest::newRow("control") << QStringList{"--control", "0b0101"} << QByteArray::fromHex("0015")
                             << "10000101001000010";
    QTest::newRow("both") << QStringList{"--data", "2", "--control", "0x8"}
                          << QByteArray::fromHex("0138") << "00100000100010001";
}

void TestCliPins::driveStreamsTheWindowsFrames()
{
    QFETCH(QStringList, levels);
    QFETCH(QByteArray, slot);
    QFETCH(QString, loopback);
    SimulatedDeviceEndpoint device;
    CliRunner cli;
    cli.plugIn(device);
    const CliResult result = cli.run(QStringList{"pins", "drive", "--for", "300ms"} + levels);
    QCOMPARE(result.exitCode, 0);
    const SimulatedDevice seen = device.snapshot();
    QVERIFY2(seen.testFrames() >= 20 && seen.testFrames() <= 40,
             qPrintable(QString::number(seen.testFrames())));
    QCOMPARE(seen.counterGaps(), 0);
    QCOMPARE(int(seen.lastCounter()), seen.testFrames()); // the first frame carried 1
    QCOMPARE(seen.lastTestFrame().mid(1, 200).toHex(), slot.repeated(100).toHex());
    QCOMPARE(seen.lastTestFrame().right(1).toHex(), QByteArray("64"));
    QCOMPARE(pin_text(seen.levels()), loopback);
}

void TestCliPins::driveConfirmsTheLevels_data()
{
    QTest::addColumn<QString>("device"); // the simulated one, or a sender of status frames
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("event");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("out");
    const QStringList drive{"pins", "drive", "--timeout", "300", "--for", "100ms"};
    const QString holds = "; the device holds these levels\n";
    QTest::newRow("every pin reads low")
        << "levels" << (drive + QStringList{"--data", "0x81"}) << "" << 74
        << "pins 2 (D0) and 9 (D7) driven high read low on "
        << "";
    QTest::newRow("a control pin reads low")
        << "levels" << (drive + QStringList{"--control", "0b1010"}) << "" << 74
        << "pins 14 (C1) and 17 (C3) driven high read low on "
        << "";
    QTest::newRow("silent device") << "nothing" << (drive + QStringList{"--data", "1"}) << "" << 75
                                   << "no status frame from the device within 300 ms after the "
                                      "last frame; the levels are not confirmed"
                                   << "";
    QTest::newRow("only errors") << "errors" << (drive + QStringList{"--data", "1"}) << "" << 75
                                 << "the device only reported errors ("
                                 << "";
    // A pin driven low that something outside pulls high is no fault of the device.
    QTest::newRow("driven low, pulled high")
        << "sim" << (drive + QStringList{"--data", "0"}) << "nets A" << 0 << "" << holds;
    QTest::newRow("Ctrl-C ends it") << "sim" << QStringList{"pins", "drive", "--data", "0x81"}
                                    << "SIGINT" << 130 << "" << holds;
}

void TestCliPins::driveConfirmsTheLevels()
{
    QFETCH(QString, device);
    QFETCH(QStringList, arguments);
    QFETCH(QString, event);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(QString, out);
    SimulatedDeviceEndpoint simulated;
    std::unique_ptr<StatusSender> sender;
    CliRunner cli;
    if (device == "sim") {
        cli.plugIn(simulated);
        if (event == "nets A")
            simulated.setExternalNets(0x01);
    } else {
        sender =
            std::make_unique<StatusSender>(device == "levels"   ? StatusSender::Sends::Levels
                                           : device == "errors" ? StatusSender::Sends::Errors
                                                                : StatusSender::Sends::Nothing);
        arguments = QStringList{"--port", sender->node()} + arguments;
    }
    QProcess &process = cli.start(arguments);
    if (event == "SIGINT") {
        QVERIFY(QTest::qWaitFor([&] { return simulated.snapshot().testFrames() >= 10; }, 10000));
        ::kill(pid_t(process.processId()), SIGINT);
    }
    const CliResult result = cli.finish();
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(err.toUtf8()), result.err);
    QVERIFY2(result.out.endsWith(out.toUtf8()), result.out);
}

void TestCliPins::pulseSlotsOnTheWire_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("high");
    QTest::addColumn<QByteArray>("low");
    QTest::addColumn<QStringList>("frames"); // slot levels of each frame sent
    QTest::addColumn<QString>("duty");       // as printed: the share of high slots on the wire
    QTest::newRow("pin 2, 1000 Hz x 3")
        << QStringList{"--pin", "2", "--hz", "1000", "--count", "3"} << QByteArray::fromHex("0060")
        << QByteArray::fromHex("0020") << QStringList{runs("5h 5l 5h 5l 5h 75l")} << "50";
    // The second pulse rises in the second frame and falls in the third.
    QTest::newRow("pin 17, 70 Hz x 2")
        << QStringList{"--pin", "17", "--hz", "70", "--count", "2"} << QByteArray::fromHex("0018")
        << QByteArray::fromHex("0010")
        << QStringList{runs("72h 28l"), runs("43l 57h"), runs("15h 85l")} << "50";
    QTest::newRow("pin 9, 300 Hz 25 % x 4")
        << QStringList{"--pin", "9", "--hz", "300", "--duty", "25", "--count", "4"}
        << QByteArray::fromHex("4020") << QByteArray::fromHex("0020")
        << QStringList{runs("9h 25l 8h 25l 8h 25l"), runs("9h 91l")} << "25";
    // Periods of 2.5 and 4 slots: 3 of every 5 slots high, and 2 of every 4.
    QTest::newRow("pin 2, 4000 Hz 50 % x 2")
        << QStringList{"--pin", "2", "--hz", "4000", "--count", "2"} << QByteArray::fromHex("0060")
        << QByteArray::fromHex("0020") << QStringList{runs("2h 1l 1h 96l")} << "60";
    QTest::newRow("pin 2, 2500 Hz 30 % x 2")
        << QStringList{"--pin", "2", "--hz", "2500", "--duty", "30", "--count", "2"}
        << QByteArray::fromHex("0060") << QByteArray::fromHex("0020")
        << QStringList{runs("2h 2l 2h 94l")} << "50";
}

void TestCliPins::pulseSlotsOnTheWire()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, high);
    QFETCH(QByteArray, low);
    QFETCH(QStringList, frames);
    QFETCH(QString, duty);
    PseudoTerminal device;
    CliRunner cli;
    const CliResult result =
        cli.run(QStringList{"--port", device.slavePath(), "pins", "pulse"} + arguments);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.contains(QString(", %1 % high,").arg(duty).toUtf8()), result.out);
    const QString sent =
        frames.size() == 1 ? "in 1 frame of" : QString("in %1 frames of").arg(frames.size());
    QVERIFY2(result.out.contains(sent.toUtf8()), result.out);
    QByteArray expected;
    for (int f = 0; f < frames.size(); ++f) {
        expected += char(0xFF);
        for (QChar level : frames[f])
            expected += level == '1' ? high : low;
        expected += char(f + 1); // the counter, 1 first
        expected += char(100);
    }
    QCOMPARE(device.readAtLeast(expected.size() + 1, 200).toHex(), expected.toHex());
}

void TestCliPins::pulseStoppedEndsLow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("event"); // what ends it, once the pin is high
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err"); // empty: the device took the last frame, the pin is low
    // At 1 Hz the pin is high for the first half second: every stop comes in the middle.
    const QStringList pulse{"pins", "pulse", "--pin", "14", "--hz", "1", "--timeout", "300"};
    QTest::newRow("--for") << (pulse + QStringList{"--for", "300ms"}) << "" << 0 << "";
    QTest::newRow("SIGINT") << pulse << "SIGINT" << 130 << "";
    QTest::newRow("SIGTERM") << pulse << "SIGTERM" << 143 << "";
    // Unplugged while streaming: the streaming thread's write fails, no busy loop.
    QTest::newRow("device lost") << pulse << "drop" << 74
                                 << "connection to the device lost; pin 14 (C1) may still be high";
    // The device stops reading: no frame, the low one included, goes out whole.
    const QString stalled = "took no data within 300 ms; pin 14 (C1) may still be high";
    QTest::newRow("device stops reading") << pulse << "stall" << 75 << stalled;
    QTest::newRow("device stops reading, SIGINT") << pulse << "stall SIGINT" << 75 << stalled;
    QTest::newRow("device stops reading, --for")
        << (pulse + QStringList{"--for", "30s"}) << "stall" << 75 << stalled;
}

void TestCliPins::pulseStoppedEndsLow()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, event);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    SimulatedDeviceEndpoint device;
    CliRunner cli;
    cli.plugIn(device);
    QProcess &process = cli.start(arguments);
    QVERIFY(QTest::qWaitFor([&] { return device.snapshot().testFrames() >= 10; }, 10000));
    QCOMPARE(pin_text(device.snapshot().levels()).at(13), QChar('1')); // pin 14, C1
    if (event.startsWith("stall")) {
        device.setStalled(true);
        fill_line_to_device(device.slavePath());
    }
    if (event.endsWith("SIGINT"))
        ::kill(pid_t(process.processId()), SIGINT);
    if (event == "SIGTERM")
        ::kill(pid_t(process.processId()), SIGTERM);
    if (event == "drop")
        device.drop();
    const CliResult result = cli.finish();
    QCOMPARE(result.exitCode, exitCode);
    if (!err.isEmpty()) {
        QVERIFY2(result.err.contains(err.toUtf8()), result.err);
        QVERIFY2(!result.out.contains("the pin is low"), result.out);
        return;
    }
    QVERIFY2(result.out.contains("the pin is low"), result.out);
    QTest::qWait(50); // the endpoint takes the last frame
    const SimulatedDevice seen = device.snapshot();
    QCOMPARE(seen.lastSlot(99).out_1, uint8_t(0x10)); // control driven, every pin low
    QCOMPARE(pin_text(seen.levels()), QString(db25::kSignalPins, '0'));
}

void TestCliPins::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("err");
    QTest::newRow("drive nothing") << QStringList{"drive"} << "--data VALUE, --control VALUE";
    QTest::newRow("control too big") << QStringList{"drive", "--control", "0x10"} << "0x00 to 0x0f";
    QTest::newRow("data not a number") << QStringList{"drive", "--data", "high"} << "0x00 to 0xff";
    QTest::newRow("status pin") << QStringList{"pulse", "--pin", "13", "--hz", "10"}
                                << "pin 13 is a status input (S4)";
    QTest::newRow("ground pin") << QStringList{"pulse", "--pin", "20", "--hz", "10"}
                                << "pin 20 is a ground pin";
    QTest::newRow("too fast") << QStringList{"pulse", "--pin", "2", "--hz", "5001"}
                              << "from 1 to 5000";
    QTest::newRow("duty 100") << QStringList{"pulse", "--pin", "2", "--hz", "1", "--duty", "100"}
                              << "from 1 to 99";
    QTest::newRow("no unit") << QStringList{"watch", "--for", "10"}
                             << "like 500ms, 10s, 2m or 8760h";
    QTest::newRow("record without file") << QStringList{"record"} << "needs --vcd FILE";
    QTest::newRow("drive under a frame")
        << QStringList{"drive", "--data", "1", "--for", "1ms"} << "shorter than one frame (10 ms)";
    QTest::newRow("pulse under a frame")
        << QStringList{"pulse", "--pin", "2", "--hz", "1", "--for", "9ms"}
        << "--for 9ms is shorter";
}

void TestCliPins::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, err);
    PseudoTerminal device;
    CliRunner cli;
    const CliResult result = cli.run(QStringList{"--port", device.slavePath(), "pins"} + arguments);
    QCOMPARE(result.exitCode, 64);
    QVERIFY2(result.err.contains(err.toUtf8()), result.err);
    QCOMPARE(device.readAtLeast(1, 50), QByteArray()); // nothing sent
}

void TestCliPins::simAnnouncesItselfInAPortList()
{
    // kaldorium-lpt-sim as its README shows it: found without --port, then gone when stopped.
    QTemporaryDir dir;
    const QString ports = dir.filePath("ports");
    QProcess sim;
    sim.start(QStringLiteral(KALDORIUM_SIM_PATH), {"--port-list", ports, "--random-inputs", "20"});
    QVERIFY(sim.waitForReadyRead(5000));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KALDORIUM_LPT_PORT_LIST", ports);
    const auto run = [&](const QStringList &arguments) {
        QProcess cli;
        cli.setProcessEnvironment(environment);
        cli.start(QStringLiteral(KALDORIUM_CLI_PATH), arguments);
        cli.waitForFinished(10000);
        return std::make_pair(cli.exitCode(), cli.readAllStandardOutput());
    };
    const auto listed = run({"list"});
    QCOMPARE(listed.first, 0);
    QVERIFY2(listed.second.startsWith("C100"), listed.second);
    QVERIFY2(listed.second.contains("  pts/"), listed.second); // its port, named as the host would
    const auto watched = run({"pins", "watch", "--for", "300ms"});
    QCOMPARE(watched.first, 0);
    QVERIFY2(watched.second.count('\n') > db25::kSignalPins, watched.second); // it moves
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFile::exists(ports));
}

QTEST_MAIN(TestCliPins)
#include "tst_cli_pins.moc"
