// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The receive path through the window and a real serial port on a pseudo-terminal: bytes
// written to the line come back as input state, device error lines and the read-back
// defaults on the DEFAULTS tab, with one debug message per byte.
//
// The debug messages of readData() are recorded for the whole suite; their count tells
// when every byte written has been parsed.
#include "console_lines.h"
#include "device_link/frames.h"
#include "mainwindow.h"
#include "message_recorder.h"
#include "program_state.h"
#include "pseudo_terminal.h"
#include "pty_device_bench.h"
#include "window_access.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLoggingCategory>
#include <QSerialPort>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace testsupport;

namespace {

std::unique_ptr<MessageRecorder> messages;

const QString kFifo = errorLine("KALDORIUM_LPT_C100", "Fifo error!");
const QString kBroken = errorLine("KALDORIUM_LPT_C100", "Frame broken!");
const QString kLost = errorLine("KALDORIUM_LPT_C100", "Input frame lose!");

// A window whose port is open on a pseudo-terminal, and what has been written to it.
struct Bench : DeviceBench {
    QString consoleAtOpen;
    int bytesWritten = 0;

    explicit Bench(const QStringList &addresses = {"C100"}) : DeviceBench(addresses) {}

    bool open()
    {
        click(window(), "Open_pushButton");
        consoleAtOpen = consoleText(window());
        return window().findChild<QSerialPort *>()->isOpen();
    }

    // Writes each chunk and waits until readData() has taken all of it, so that every chunk
    // is a notification of its own.
    bool send(const QList<QByteArray> &chunks)
    {
        for (const QByteArray &chunk : chunks) {
            if (!device().write(chunk))
                return false;
            bytesWritten += chunk.size();
            if (!waitParsed())
                return false;
        }
        return true;
    }

    // Every byte written has come as one debug message of readData(), and no other came.
    bool waitParsed() const
    {
        // Once a wait has run out, the debug messages are missing altogether: fail the
        // remaining tests quickly instead of letting the run time out.
        static bool messagesMissing = false;
        messagesMissing =
            !messages->waitForReceivedBytes(bytesWritten, messagesMissing ? 200 : 5000);
        return messages->receivedBytes().size() == bytesWritten &&
               messages->otherDebugMessages().isEmpty();
    }

    QString newConsole() { return consoleText(window()).mid(consoleAtOpen.size()); }
};

QList<QByteArray> hexChunks(const QString &hex)
{
    QList<QByteArray> chunks;
    for (const QString &chunk : hex.split(QLatin1Char('|')))
        chunks << QByteArray::fromHex(chunk.toLatin1());
    return chunks;
}

QStringList bits(const char *prefix, std::initializer_list<int> numbers)
{
    QStringList names;
    for (int number : numbers)
        names << QLatin1String(prefix) + QString::number(number);
    return names;
}

// The widgets that configuration replies set.
const QStringList kReplyWidgets =
    QStringList{"data_default_input_radioButton", "data_default_output_radioButton",
                "control_default_input_radioButton", "control_default_output_radioButton"} +
    kDefaultLevelBoxes;

QStringList checkedReplyWidgets(const QWidget &window)
{
    QStringList checked;
    for (const QString &name : kReplyWidgets) {
        if (child<QAbstractButton>(window, qPrintable(name))->isChecked())
            checked << name;
    }
    return checked;
}

// Unchecks every check box, then checks the named widgets (one radio button of each pair).
void presetReplyWidgets(const QWidget &window, const QStringList &checked)
{
    for (const QString &name : kReplyWidgets) {
        auto *button = child<QAbstractButton>(window, qPrintable(name));
        if (!name.endsWith(QLatin1String("radioButton")))
            button->setChecked(false);
    }
    for (const QString &name : checked)
        child<QAbstractButton>(window, qPrintable(name))->setChecked(true);
}

} // namespace

class ReadDataTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void inputFrames_data();
    void inputFrames();
    void errorLinesNameTheOpenNode_data();
    void errorLinesNameTheOpenNode();
    void errorLinesFollowAReopen();
    void configurationReplies_data();
    void configurationReplies();
    void backlogLargerThanTheStagingBuffer();
    void oneDebugMessagePerByte_data();
    void oneDebugMessagePerByte();
};

void ReadDataTest::initTestCase()
{
    messages = std::make_unique<MessageRecorder>(MessageRecorder::Debug::On);
    QVERIFY(QLoggingCategory::defaultCategory()->isDebugEnabled());
}

void ReadDataTest::cleanupTestCase()
{
    messages.reset();
}

void ReadDataTest::init()
{
    messages->clear();
}

void ReadDataTest::inputFrames_data()
{
    // Chunks separated by '|' arrive in notifications of their own. Before the bytes the
    // input state is data 0x5A, status 0xA8, control 0x05, counter 127.
    QTest::addColumn<QString>("bytes");
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("control");
    QTest::addColumn<int>("counter");
    QTest::addColumn<QString>("lines");

    QTest::newRow("levels") << "ff01020304" << 0x02 << 0x10 << 0x03 << 4 << "";
    QTest::newRow("levels in two parts") << "ff01|020304" << 0x02 << 0x10 << 0x03 << 4 << "";
    QTest::newRow("levels byte by byte") << "ff|01|02|03|04" << 0x02 << 0x10 << 0x03 << 4 << "";
    QTest::newRow("all data pins") << "ff7f400005" << 0xFF << 0x00 << 0x00 << 5 << "";
    QTest::newRow("all status and control") << "ff001f0f10" << 0x00 << 0xF8 << 0x0F << 0x10 << "";
    QTest::newRow("bytes before the marker") << "0102ff01020304" << 0x02 << 0x10 << 0x03 << 4 << "";
    QTest::newRow("three errors, in order")
        << "ff00207000" << 0x5A << 0xA8 << 0x05 << 0 << kFifo + kBroken + kLost;
    QTest::newRow("fifo error") << "ff00204001" << 0x5A << 0xA8 << 0x05 << 1 << kFifo;
    QTest::newRow("frame broken") << "ff00201002" << 0x5A << 0xA8 << 0x05 << 2 << kBroken;
    QTest::newRow("input frame lost") << "ff00202003" << 0x5A << 0xA8 << 0x05 << 3 << kLost;
    QTest::newRow("error in two parts")
        << "ff0020|7000" << 0x5A << 0xA8 << 0x05 << 0 << kFifo + kBroken + kLost;
    QTest::newRow("error flag without error bits")
        << "ff00200009" << 0x5A << 0xA8 << 0x05 << 9 << "";
    QTest::newRow("marker inside a frame") << "ff05ff01020304" << 0x5A << 0xA8 << 0x05 << 127 << "";
    QTest::newRow("three markers") << "ffffff" << 0x5A << 0xA8 << 0x05 << 127 << "";
    QTest::newRow("levels, then an error")
        << "ff01020304ff00204011" << 0x02 << 0x10 << 0x03 << 0x11 << kFifo;
    QTest::newRow("reply, then levels")
        << "ffff1c0101ff01020304" << 0x02 << 0x10 << 0x03 << 4 << kDataLevelsLine;
}

void ReadDataTest::inputFrames()
{
    QFETCH(QString, bytes);
    QFETCH(int, data);
    QFETCH(int, status);
    QFETCH(int, control);
    QFETCH(int, counter);
    QFETCH(QString, lines);

    Bench bench;
    QVERIFY(bench.open());
    input_data = 0x5A;
    input_status = 0xA8;
    input_control = 0x05;

    QVERIFY(bench.send(hexChunks(bytes)));
    QCOMPARE(int(input_data), data);
    QCOMPARE(int(input_status), status);
    QCOMPARE(int(input_control), control);
    QCOMPARE(int(prev_read_counter), counter);
    QCOMPARE(bench.newConsole(), lines);
}

void ReadDataTest::errorLinesNameTheOpenNode_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("node");

    for (const char *address : {"C100", "C200", "c800"})
        QTest::newRow(address) << QString(address) << "KALDORIUM_LPT_" + QString(address).toUpper();
}

void ReadDataTest::errorLinesNameTheOpenNode()
{
    QFETCH(QString, description);
    QFETCH(QString, node);

    Bench bench({description});
    QVERIFY(bench.open());
    QVERIFY(bench.send({QByteArray::fromHex("ff00207000")}));
    QCOMPARE(bench.newConsole(), allErrorLines(node));
}

void ReadDataTest::errorLinesFollowAReopen()
{
    Bench bench({"C200", "C100"});
    QVERIFY(bench.open());
    QVERIFY(bench.send({QByteArray::fromHex("ff00204000")}));
    QCOMPARE(bench.newConsole(), errorLine("KALDORIUM_LPT_C200", "Fifo error!"));

    click(bench.window(), "Close_pushButton");
    child<QComboBox>(bench.window(), "port_list_comboBox")->setCurrentIndex(1);
    QVERIFY(bench.open());
    QVERIFY(bench.send({QByteArray::fromHex("ff00204000")}));
    QCOMPARE(bench.newConsole(), kFifo);
}

void ReadDataTest::configurationReplies_data()
{
    QTest::addColumn<QString>("bytes");
    QTest::addColumn<QStringList>("preset");  // checked before the reply
    QTest::addColumn<QStringList>("checked"); // checked after it
    QTest::addColumn<QString>("lines");

    const QString dataIn = "data_default_input_radioButton";
    const QString dataOut = "data_default_output_radioButton";
    const QString controlIn = "control_default_input_radioButton";
    const QString controlOut = "control_default_output_radioButton";
    using L = QStringList;

    QTest::newRow("24: input") << "ffff180000" << L{dataOut, controlOut} << L{dataIn, controlOut}
                               << kDataTypeLine;
    QTest::newRow("24: output") << "ffff180001" << L{dataIn, controlIn} << L{dataOut, controlIn}
                                << kDataTypeLine;
    QTest::newRow("24: 2 keeps input")
        << "ffff180002" << L{dataIn, controlOut} << L{dataIn, controlOut} << kDataTypeLine;
    QTest::newRow("24: 2 keeps output")
        << "ffff180002" << L{dataOut, controlIn} << L{dataOut, controlIn} << kDataTypeLine;
    QTest::newRow("24: 128 keeps input")
        << "ffff180100" << L{dataIn, controlIn} << L{dataIn, controlIn} << kDataTypeLine;
    QTest::newRow("28: D0 and D7")
        << "ffff1c0101" << L{dataIn, controlIn} + bits("default_D", {1, 2, 3, 4, 5, 6})
        << L{dataIn, "default_D0", "default_D7", controlIn} << kDataLevelsLine;
    QTest::newRow("28: D1 to D6") << "ffff1c007e"
                                  << L{dataOut, "default_D0", "default_D7", controlIn, "default_C0"}
                                  << L{dataOut} + bits("default_D", {1, 2, 3, 4, 5, 6}) +
                                         L{controlIn, "default_C0"}
                                  << kDataLevelsLine;
    QTest::newRow("32: input") << "ffff200000" << L{dataOut, controlOut} << L{dataOut, controlIn}
                               << kControlTypeLine;
    QTest::newRow("32: output") << "ffff200001" << L{dataIn, controlIn} << L{dataIn, controlOut}
                                << kControlTypeLine;
    QTest::newRow("32: 2 keeps input")
        << "ffff200002" << L{dataOut, controlIn} << L{dataOut, controlIn} << kControlTypeLine;
    QTest::newRow("32: 2 keeps output")
        << "ffff200002" << L{dataIn, controlOut} << L{dataIn, controlOut} << kControlTypeLine;
    QTest::newRow("36: C1 and C3")
        << "ffff24000a" << L{dataIn, "default_D4", controlIn, "default_C0", "default_C2"}
        << L{dataIn, "default_D4", controlIn, "default_C1", "default_C3"} << kControlLevelsLine;
    QTest::newRow("36: higher bits touch nothing else")
        << "ffff24007f" << L{dataIn, controlIn}
        << L{dataIn, controlIn} + bits("default_C", {0, 1, 2, 3}) << kControlLevelsLine;
    QTest::newRow("40: S3 and S7")
        << "ffff280108" << L{dataIn, controlIn} + bits("default_S", {4, 5, 6})
        << L{dataIn, controlIn, "default_S3", "default_S7"} << kStatusLevelsLine;
    QTest::newRow("40: bits 0 to 2 are not status")
        << "ffff280007"
        << L{dataIn, "default_D0", controlIn, "default_C0"} + bits("default_S", {3, 4, 5, 6, 7})
        << L{dataIn, "default_D0", controlIn, "default_C0"} << kStatusLevelsLine;
    QTest::newRow("25 is ignored")
        << "ffff190000" << L{dataOut, "default_D1", controlOut, "default_S3"}
        << L{dataOut, "default_D1", controlOut, "default_S3"} << "";
    QTest::newRow("reply in two parts")
        << "ffff1c|0101" << L{dataIn, controlIn} << L{dataIn, "default_D0", "default_D7", controlIn}
        << kDataLevelsLine;
    QTest::newRow("two replies back to back")
        << "ffff180001ffff240003" << L{dataIn, controlIn}
        << L{dataOut, controlIn, "default_C0", "default_C1"} << kDataTypeLine + kControlLevelsLine;
}

void ReadDataTest::configurationReplies()
{
    QFETCH(QString, bytes);
    QFETCH(QStringList, preset);
    QFETCH(QStringList, checked);
    QFETCH(QString, lines);

    Bench bench;
    QVERIFY(bench.open());
    presetReplyWidgets(bench.window(), preset);
    preset.sort();
    QStringList before = checkedReplyWidgets(bench.window());
    before.sort();
    QCOMPARE(before, preset);

    QVERIFY(bench.send(hexChunks(bytes)));
    QStringList after = checkedReplyWidgets(bench.window());
    after.sort();
    checked.sort();
    QCOMPARE(after, checked);
    QCOMPARE(bench.newConsole(), lines);
}

void ReadDataTest::backlogLargerThanTheStagingBuffer()
{
    Bench bench;
    QVERIFY(bench.open());

    // A few idle bytes first, so that frames straddle every 500-byte boundary.
    QByteArray backlog(3, char(0x11));
    int fifoReports = 0;
    for (int i = 0; i < 400; ++i) {
        const uint8_t counter = uint8_t(i % 127);
        if (i % 50 == 25) {
            backlog += frames::to_bytes(frames::pack_error_report(frames::kErrorFifo, counter));
            ++fifoReports;
        } else {
            const frames::InputLevels levels{uint8_t(i), uint8_t(0xF8 & (i << 3)),
                                             uint8_t(i & 0x0F)};
            backlog += frames::to_bytes(frames::pack_input(levels, counter));
        }
    }
    QCOMPARE(backlog.size(), 2003);

    // The whole backlog sits in the line before the event loop gets to the port.
    QSignalSpy notifications(bench.window().findChild<QSerialPort *>(), &QIODevice::readyRead);
    QVERIFY(bench.device().write(backlog));
    for (int tries = 0; tries < 1000 && bench.device().unreadBySlave() < backlog.size(); ++tries)
        QThread::msleep(2);
    QCOMPARE(bench.device().unreadBySlave(), backlog.size());

    bench.bytesWritten = backlog.size();
    QVERIFY(bench.waitParsed());
    QCOMPARE(notifications.count(), 1);

    QCOMPARE(messages->receivedBytes(), backlog);

    QCOMPARE(int(prev_read_counter), 399 % 127);
    QCOMPARE(int(input_data), 399 & 0xFF);
    QCOMPARE(int(input_control), 399 & 0x0F);
    QCOMPARE(bench.newConsole(), kFifo.repeated(fifoReports));
}

void ReadDataTest::oneDebugMessagePerByte_data()
{
    QTest::addColumn<QString>("bytes");
    QTest::newRow("input frame") << "ff01020304";
    QTest::newRow("markers only") << "ffffff";
    QTest::newRow("ignored bytes") << "00117f80fe";
    QTest::newRow("reply in parts") << "ffff|1c01|01";
    QTest::newRow("error report") << "ff00207000";
}

void ReadDataTest::oneDebugMessagePerByte()
{
    QFETCH(QString, bytes);

    Bench bench;
    QVERIFY(bench.open());
    const QList<QByteArray> chunks = hexChunks(bytes);
    QVERIFY(bench.send(chunks));

    // send() has checked that no other debug message came.
    QCOMPARE(messages->receivedBytes(), chunks.join());
}

QTEST_MAIN(ReadDataTest)
#include "tst_read_data.moc"
