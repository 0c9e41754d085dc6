// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Input nobody meant to send: a cable that turns the line into megabytes of noise while a
// test runs, markers where payload bytes belong, and firmware paths that a shell would take
// apart. The program must take every byte once, believe only well-formed frames, keep its
// window ticking, and hand a firmware path to dfu-util as the one argument it is.

#include "../fuzz/receive_model.h"
#include "console_lines.h"
#include "device_functions/firmware_tool.h"
#include "mainwindow.h"
#include "message_recorder.h"
#include "program_state.h"
#include "pseudo_terminal.h"
#include "pty_device_bench.h"
#include "standin_dfu_util.h"
#include "window_access.h"

#include <QCheckBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>

using namespace testsupport;

namespace {

constexpr int kFloodBytes = 4 * 1024 * 1024;
constexpr int kFloodSlice = 16 * 1024;
constexpr int kTestFrameSize = 203;

const QString kFifo = errorLine("KALDORIUM_LPT_C100", "Fifo error!");
const QString kBroken = errorLine("KALDORIUM_LPT_C100", "Frame broken!");
const QString kLose = errorLine("KALDORIUM_LPT_C100", "Input frame lose!");

// The console line of each reply type the program knows.
const QMap<int, QString> kReplyLines = {
    {24, kDataTypeLine},      {28, kDataLevelsLine},   {32, kControlTypeLine},
    {36, kControlLevelsLine}, {40, kStatusLevelsLine},
};

// What a stream should leave on the console and the DEFAULTS tab, by the model's account.
struct Expected {
    model::ReceiveModel parser;
    QMap<QString, int> lines;         // console line -> how often
    QMap<QString, bool> defaultBoxes; // check box / radio button -> checked, where touched
};

void setFromBits(QMap<QString, bool> &boxes, const QStringList &names, uint32_t value, int first)
{
    for (int n = 0; n < names.size(); ++n)
        boxes[names[n]] = (value >> (first + n)) & 1;
}

Expected expectedFrom(const QByteArray &stream)
{
    Expected expected;
    for (const char c : stream) {
        const model::Outcome outcome = expected.parser.take(uint8_t(c));
        if (outcome.kind == model::Outcome::ErrorReport) {
            if (outcome.errorLines & 0x40)
                ++expected.lines[kFifo];
            if (outcome.errorLines & 0x10)
                ++expected.lines[kBroken];
            if (outcome.errorLines & 0x20)
                ++expected.lines[kLose];
        } else if (outcome.kind == model::Outcome::Reply) {
            const int type = expected.parser.replyType;
            const uint32_t value = expected.parser.replyValue;
            if (!kReplyLines.contains(type))
                continue;
            ++expected.lines[kReplyLines[type]];
            const auto direction = [&](const QString &input, const QString &output) {
                if (value <= 1) {
                    expected.defaultBoxes[input] = value == 0;
                    expected.defaultBoxes[output] = value == 1;
                }
            };
            if (type == 24)
                direction("data_default_input_radioButton", "data_default_output_radioButton");
            else if (type == 32)
                direction("control_default_input_radioButton",
                          "control_default_output_radioButton");
            else if (type == 28)
                setFromBits(expected.defaultBoxes, kDefaultLevelBoxes.mid(0, 8), value, 0);
            else if (type == 36)
                setFromBits(expected.defaultBoxes, kDefaultLevelBoxes.mid(8, 4), value, 0);
            else
                setFromBits(expected.defaultBoxes, kDefaultLevelBoxes.mid(12, 5), value, 3);
        }
    }
    return expected;
}

// Complete test output frames in what the program sent.
int wholeTestFrames(const QByteArray &stream)
{
    int frames = 0;
    int start = stream.indexOf(char(0xFF));
    while (start >= 0) {
        const int next = stream.indexOf(char(0xFF), start + 1);
        if (next < 0)
            break;
        frames += next - start == kTestFrameSize;
        start = next;
    }
    return frames;
}

// A path as it must reach dfu-util: the bytes that name the file on this system.
QByteArrayList dfuArguments(const QString &path)
{
    return {"-d", "1209:db42", "-D", QFile::encodeName(path)};
}

} // namespace

class HostileInputTest : public QObject {
    Q_OBJECT

private slots:
    void floodOfNoiseDuringTest();
    void markerInsidePayload_data();
    void markerInsidePayload();
    void firmwarePathIsOneArgument_data();
    void firmwarePathIsOneArgument();
};

void HostileInputTest::floodOfNoiseDuringTest()
{
    DeviceBench bench;
    MainWindow &window = bench.window();
    PseudoTerminal &device = bench.device();
    QVERIFY(bench.openPort());
    click(window, "Run_pushButton");

    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("noise seed %u", seed);
    QRandomGenerator random(seed);
    QByteArray noise(kFloodBytes, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), kFloodBytes / 4);

    // The flood makes more lines than the console keeps; every one of them is counted here.
    child<QPlainTextEdit>(window, "console")->setMaximumBlockCount(0);
    MessageRecorder received(MessageRecorder::Debug::On);
    const QString consoleBefore = consoleText(window);
    QByteArray sent;
    for (int offset = 0; offset < noise.size();) {
        const int written = device.writeSome(noise.mid(offset, kFloodSlice));
        QVERIFY(written >= 0);
        offset += written;
        QTest::qWait(1);
        sent += device.readAvailable();
    }
    QVERIFY2(received.waitForReceivedBytes(noise.size(), 120000),
             qPrintable(QStringLiteral("%1 of %2 bytes taken")
                            .arg(received.receivedBytes().size())
                            .arg(kFloodBytes)));
    sent += device.readAvailable();
    const int framesDuringFlood = wholeTestFrames(sent);

    // Every byte once, in order.
    QCOMPARE(received.receivedBytes().size(), noise.size());
    QVERIFY(received.receivedBytes() == noise);

    // Nothing believed but well-formed frames.
    const Expected expected = expectedFrom(noise);
    QCOMPARE(int(read_index), expected.parser.stateNumber());
    QCOMPARE(int(input_data), int(expected.parser.data));
    QCOMPARE(int(input_status), int(expected.parser.status));
    QCOMPARE(int(input_control), int(expected.parser.control));
    QCOMPARE(int(prev_read_counter), int(expected.parser.previousCounter));
    QCOMPARE(int(config_type), int(expected.parser.replyType));
    QCOMPARE(input_config_data, expected.parser.replyValue);
    const QString added = consoleText(window).mid(consoleBefore.size());
    int lines = 0;
    for (auto line = expected.lines.begin(); line != expected.lines.end(); ++line) {
        QCOMPARE(added.count(line.key()), line.value());
        lines += line.value();
    }
    QCOMPARE(added.count(QLatin1Char('\n')), lines);
    for (auto box = expected.defaultBoxes.begin(); box != expected.defaultBoxes.end(); ++box)
        QVERIFY2(child<QAbstractButton>(window, qPrintable(box.key()))->isChecked() == box.value(),
                 qPrintable(box.key()));

    // The window kept ticking: test frames went out while the noise came in, and once the
    // line is clean again the pins show what the device reports.
    QVERIFY2(framesDuringFlood >= 10, qPrintable(QString::number(framesDuringFlood)));
    // Four bytes bring the parser back to idle from wherever the noise left it.
    QVERIFY(device.write(QByteArray::fromHex("00000000 ff2a550503")));
    QTRY_COMPARE(int(input_data), 0x55);
    const auto down = [&window](const char *pin) {
        return child<QPushButton>(window, pin)->isDown();
    };
    // D0 and S3 down, D1 and S4 up, C0 down.
    QTRY_VERIFY(down("pushButton_2") && !down("pushButton_3") && down("pushButton_15") &&
                !down("pushButton_13") && down("pushButton_1"));
    const QByteArray after = readFromProgram(device, 3 * kTestFrameSize);
    QVERIFY(wholeTestFrames(after) >= 1);
}

void HostileInputTest::markerInsidePayload_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("console");
    QTest::addColumn<int>("data");
    QTest::addColumn<bool>("d0AndD7Checked");

    // Frames are separated by blanks for reading; fromHex skips them.
    QTest::newRow("marker as counter, then a whole frame")
        << QByteArray::fromHex("ff010203ff ff7f400005") << QString() << 0xFF << false;
    QTest::newRow("third marker abandons the reply and the bytes after it")
        << QByteArray::fromHex("ffffff 7f400005") << QString() << 0 << false;
    QTest::newRow("error report cut by a marker, then a whole one")
        << QByteArray::fromHex("ff0020ff ff00207000") << kFifo + kBroken + kLose << 0 << false;
    QTest::newRow("marker as high group")
        << QByteArray::fromHex("ffff1cff01") << QString() << 0 << false;
    QTest::newRow("marker as low group, then a whole reply")
        << QByteArray::fromHex("ffff1c01ff ffff1c0101") << kDataLevelsLine << 0 << true;
    QTest::newRow("reply cut short costs the reply after it")
        << QByteArray::fromHex("ffff1c01 ffff1c0101") << QString() << 0 << false;
}

void HostileInputTest::markerInsidePayload()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, console);
    QFETCH(int, data);
    QFETCH(bool, d0AndD7Checked);

    DeviceBench bench;
    QVERIFY(bench.openPort());
    const QString before = consoleText(bench.window());
    MessageRecorder received(MessageRecorder::Debug::On);
    QVERIFY(bench.device().write(stream));
    QVERIFY(received.waitForReceivedBytes(stream.size(), 5000));

    QCOMPARE(consoleText(bench.window()), before + console);
    QCOMPARE(int(input_data), data);
    QCOMPARE(child<QCheckBox>(bench.window(), "default_D0")->isChecked(), d0AndD7Checked);
    QCOMPARE(child<QCheckBox>(bench.window(), "default_D7")->isChecked(), d0AndD7Checked);
    QCOMPARE(child<QCheckBox>(bench.window(), "default_D1")->isChecked(), false);
}

void HostileInputTest::firmwarePathIsOneArgument_data()
{
    QTest::addColumn<QString>("path");
    // CANARY stands for a file that a shell would make if it ran any part of the path.
    QTest::newRow("blanks") << QStringLiteral("/opt/new firmware/HC_KLPTV1 v2  .bin");
    QTest::newRow("quotes") << QStringLiteral("/opt/it's \"HC_KLPTV1\".bin");
    QTest::newRow("semicolon") << QStringLiteral("/opt/HC_KLPTV1.bin; touch CANARY");
    QTest::newRow("command substitution") << QStringLiteral("/opt/$(touch CANARY)HC_KLPTV1.bin");
    QTest::newRow("backquotes") << QStringLiteral("/opt/`touch CANARY`HC_KLPTV1.bin");
    QTest::newRow("newlines") << QStringLiteral("/opt/HC_KLPTV1\ntouch CANARY\n.bin");
    QTest::newRow("pipe and redirection")
        << QStringLiteral("/opt/HC_KLPTV1.bin | touch CANARY > CANARY & touch CANARY");
    QTest::newRow("non-ASCII letters")
        << QStringLiteral("/opt/Прошивка_ÄÖÜ_ß_µ_日本/HC_KLPTV1_é.bin");
    QTest::newRow("several kilobytes") << QStringLiteral("/opt/") +
                                              QStringLiteral("long directory name/").repeated(300) +
                                              QStringLiteral("HC_KLPTV1.bin");
}

void HostileInputTest::firmwarePathIsOneArgument()
{
    QFETCH(QString, path);
    StandInDfuUtil dfuUtil;
    const QString canary = dfuUtil.scratchDirectory() + QStringLiteral("/canary");
    path.replace(QStringLiteral("CANARY"), canary);
    if (QFile::decodeName(QFile::encodeName(path)) != path)
        QSKIP("the system's locale cannot name this file");

    const firmware::ToolResult result = firmware::run_dfu_util(path);
    QVERIFY(result.started);
    QCOMPARE(result.exit_code, 0);
    QCOMPARE(dfuUtil.runs().size(), 1);
    QCOMPARE(dfuUtil.runs().first(), dfuArguments(path));
    QVERIFY(!QFile::exists(canary));
    QCOMPARE(firmware::command_text(path), QStringLiteral("dfu-util -d 1209:db42 -D ") + path);
}

QTEST_MAIN(HostileInputTest)
#include "tst_hostile_input.moc"
