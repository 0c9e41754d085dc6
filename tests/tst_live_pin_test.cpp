// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The live pin test through the real window: Run and Stop, the test output frames that
// reach the device's end of the line while pins are held, and the input levels the device
// reports shown on the pin buttons.

#include "db25_pins.h"
#include "mainwindow.h"
#include "program_state.h"
#include "pseudo_terminal.h"
#include "pty_device_bench.h"
#include "window_access.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

#include <memory>

using namespace testsupport;

namespace {

constexpr int kFrameSize = 203;

// Register bits of the listed pins that appear in `held` (bit n = pins[n]).
uint8_t bitsOf(const QList<int> &pins, const QList<int> &held)
{
    uint8_t bits = 0;
    for (int n = 0; n < pins.size(); ++n) {
        if (held.contains(pins[n]))
            bits |= uint8_t(1u << n);
    }
    return bits;
}

// An input status frame as the device sends it, from the levels it reports.
QByteArray inputFrame(uint8_t data, uint8_t status, uint8_t control)
{
    QByteArray frame(5, '\0');
    frame[0] = char(0xFF);
    frame[1] = char((data >> 1) & 0x7F);
    frame[2] = char(((data & 1) << 6) | ((status >> 3) & 0x1F));
    frame[3] = char(control & 0x0F);
    frame[4] = char(1);
    return frame;
}

// Cuts the byte stream at every 0xFF: no other byte of a test output frame has bit 7 set.
// A piece that is not 203 bytes long stays visible to the checks, except a trailing one
// that is still arriving.
QList<QByteArray> splitFrames(const QByteArray &stream)
{
    QList<QByteArray> frames;
    int start = stream.indexOf(char(0xFF));
    while (start >= 0) {
        const int next = stream.indexOf(char(0xFF), start + 1);
        if (next < 0) {
            if (stream.size() - start >= kFrameSize)
                frames << stream.mid(start);
            break;
        }
        frames << stream.mid(start, next - start);
        start = next;
    }
    return frames;
}

uint8_t counterOf(const QByteArray &frame)
{
    return frame.size() == kFrameSize ? uint8_t(frame.at(201)) : 0xFF;
}

// The frame expected with every slot `slot`; the counter is taken from the frame itself.
QByteArray expectedFrame(const QByteArray &slot, const QByteArray &actual)
{
    QByteArray frame(1, char(0xFF));
    frame += slot.repeated(100);
    frame += actual.size() == kFrameSize ? actual.at(201) : '\0';
    frame += char(0x64);
    return frame;
}

} // namespace

class TestLivePinTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DeviceBench> bench;

    MainWindow &window() { return bench->window(); }
    PseudoTerminal &device() { return bench->device(); }
    QPushButton *pin(int number) { return pinButton(window(), number); }
    QPushButton *button(const char *name) { return child<QPushButton>(window(), name); }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    void chooseDirections(bool dataOutput, bool controlOutput)
    {
        child<QRadioButton>(window(), dataOutput ? "radioButton_2" : "radioButton")
            ->setChecked(true);
        child<QRadioButton>(window(), controlOutput ? "radioButton_4" : "radioButton_3")
            ->setChecked(true);
    }

    // The pins of the list shown pressed, as register bits.
    uint8_t shownBits(const QList<int> &pins, int firstBit = 0)
    {
        uint8_t bits = 0;
        for (int n = 0; n < pins.size(); ++n) {
            if (pin(pins[n])->isDown())
                bits |= uint8_t(1u << (n + firstBit));
        }
        return bits;
    }

    // Holds the pins down. A mouse holds one button at a time (pressing a second one takes
    // the focus, and losing the focus releases the first), so the first operable pin is
    // pressed with the mouse and the others are put down directly.
    void hold(const QList<int> &pins)
    {
        bool mouseUsed = false;
        for (int number : pins) {
            if (!mouseUsed && pin(number)->isEnabled()) {
                QTest::mousePress(pin(number), Qt::LeftButton);
                mouseUsed = true;
            } else {
                pin(number)->setDown(true);
            }
        }
    }

    // The next `count` frames built from now on. Frames built earlier may still be on their
    // way through the line; they are passed over by their counter.
    QList<QByteArray> nextFrames(int count)
    {
        const uint8_t first = uint8_t((serial_output->counter + 1) % 128);
        QByteArray stream;
        QList<QByteArray> frames;
        QElapsedTimer clock;
        clock.start();
        do {
            QTest::qWait(5);
            stream += device().readAvailable();
            frames = splitFrames(stream);
            while (!frames.isEmpty() && counterOf(frames.first()) != first)
                frames.removeFirst();
        } while (frames.size() < count && clock.elapsed() < 5000);
        return frames.mid(0, count);
    }

private slots:
    void init()
    {
        bench = std::make_unique<DeviceBench>();
        QVERIFY(showWindow(window()));
        child<QTabWidget>(window(), "tabWidget")->setCurrentIndex(1);
        QVERIFY(bench->openPort());
    }

    void cleanup() { bench.reset(); }

    void runAndStopReportAndSwitchControls()
    {
        QString console = consoleText(window());
        click("Run_pushButton");
        console += QStringLiteral("The Test is running\n");
        QCOMPARE(consoleText(window()), console);
        QVERIFY(!button("Run_pushButton")->isEnabled());
        QVERIFY(button("Sto_pushButton")->isEnabled());
        QVERIFY(!button("Close_pushButton")->isEnabled());
        QVERIFY(!button("set_pushButton")->isEnabled());
        QVERIFY(!button("OpenFirmware")->isEnabled());
        QVERIFY(!child<QWidget>(window(), "frame_5")->isEnabled());
        QVERIFY(child<QWidget>(window(), "frame")->isEnabled());

        click("Sto_pushButton");
        console += QStringLiteral("The Test is stopped!\n");
        QCOMPARE(consoleText(window()), console);
        QVERIFY(button("Run_pushButton")->isEnabled());
        QVERIFY(!button("Sto_pushButton")->isEnabled());
        QVERIFY(button("Close_pushButton")->isEnabled());
        QVERIFY(button("set_pushButton")->isEnabled());
        QVERIFY(child<QWidget>(window(), "frame_5")->isEnabled());
        for (int number = 1; number <= 25; ++number)
            QVERIFY2(!pin(number)->isEnabled(), qPrintable(QString::number(number)));
    }

    void runEnablesOnlyOutputPins_data()
    {
        QTest::addColumn<bool>("dataOutput");
        QTest::addColumn<bool>("controlOutput");
        QTest::addColumn<QList<int>>("enabled");
        QTest::newRow("both input") << false << false << QList<int>{};
        QTest::newRow("data output") << true << false << kDataPins;
        QTest::newRow("control output") << false << true << kControlPins;
        QTest::newRow("both output") << true << true << kDataPins + kControlPins;
    }

    void runEnablesOnlyOutputPins()
    {
        QFETCH(bool, dataOutput);
        QFETCH(bool, controlOutput);
        QFETCH(QList<int>, enabled);
        chooseDirections(dataOutput, controlOutput);
        click("Run_pushButton");
        for (int number = 1; number <= 25; ++number)
            QCOMPARE(pin(number)->isEnabled(), enabled.contains(number));
    }

    void slotsCarryHeldOutputPins_data()
    {
        QTest::addColumn<bool>("dataOutput");
        QTest::addColumn<bool>("controlOutput");
        QTest::addColumn<QList<int>>("held");
        QTest::addColumn<QByteArray>("slot");
        const auto row = [](const char *name, bool data, bool control, QList<int> held,
                            const char *slot) {
            QTest::newRow(name) << data << control << held << QByteArray::fromHex(slot);
        };
        row("data output, nothing held", true, false, {}, "0020");
        row("data output, D0 held", true, false, {2}, "0060");
        row("data output, D7 held", true, false, {9}, "4020");
        row("data output, D0 and D7 held, control input", true, false, {2, 9}, "4060");
        row("control output, C3 held", false, true, {17}, "0018");
        row("control output, C0 to C3 held", false, true, kControlPins, "001f");
        row("both output, every output pin held", true, true, kDataPins + kControlPins, "7f7f");
        row("both input, every pin shown pressed", false, false, kDataPins + kControlPins, "0000");
    }

    void slotsCarryHeldOutputPins()
    {
        QFETCH(bool, dataOutput);
        QFETCH(bool, controlOutput);
        QFETCH(QList<int>, held);
        QFETCH(QByteArray, slot);
        chooseDirections(dataOutput, controlOutput);
        click("Run_pushButton");

        // The device reports the held pins high, so that the pins of an input port are
        // shown pressed too; the pins of an output port are held with the mouse.
        QVERIFY(device().write(inputFrame(bitsOf(kDataPins, held), 0, bitsOf(kControlPins, held))));
        hold(held);
        for (int number : held)
            QTRY_VERIFY2(pin(number)->isDown(), qPrintable(QString::number(number)));

        const QList<QByteArray> frames = nextFrames(3);
        QCOMPARE(frames.size(), 3);
        for (const QByteArray &frame : frames)
            QCOMPARE(frame.toHex(), expectedFrame(slot, frame).toHex());
    }

    void countersRunFromOneAndWrapAfter127()
    {
        click("Run_pushButton");
        const QList<QByteArray> frames =
            splitFrames(readFromProgram(device(), 130 * kFrameSize, 20000));
        QVERIFY(frames.size() >= 130);
        QCOMPARE(counterOf(frames.first()), uint8_t(1));
        for (int n = 1; n < 130; ++n) {
            QCOMPARE(frames[n].size(), kFrameSize);
            QCOMPARE(counterOf(frames[n]), uint8_t((counterOf(frames[n - 1]) + 1) % 128));
        }
        QCOMPARE(counterOf(frames[127]), uint8_t(0));
    }

    void nothingIsSentAfterStopAndRestartCountsOn()
    {
        click("Run_pushButton");
        const QList<QByteArray> running = nextFrames(2);
        QCOMPARE(running.size(), 2);
        click("Sto_pushButton");
        const uint8_t last = serial_output->counter; // of the last frame built

        // Frames built before the stop may still be on their way; the last of them comes,
        // then nothing more.
        QByteArray tail;
        const auto lastArrived = [&] {
            tail += device().readAvailable();
            const QList<QByteArray> frames = splitFrames(tail);
            return counterOf(frames.isEmpty() ? running.last() : frames.last()) == last;
        };
        QTRY_VERIFY(lastArrived());
        QCOMPARE(readFromProgram(device(), 1, 300), QByteArray());

        click("Run_pushButton");
        const QList<QByteArray> restarted = splitFrames(readFromProgram(device(), kFrameSize));
        QVERIFY(!restarted.isEmpty());
        QCOMPARE(counterOf(restarted.first()), uint8_t((last + 1) % 128));
    }

    void directionChangedDuringTestKeepsStartFlag_data()
    {
        QTest::addColumn<bool>("startWithOutput");
        QTest::addColumn<QByteArray>("slot");
        // D0 and D7 shown pressed in both cases.
        QTest::newRow("Output chosen during an Input test") << false << QByteArray::fromHex("4040");
        QTest::newRow("Input chosen during an Output test") << true << QByteArray::fromHex("0020");
    }

    void directionChangedDuringTestKeepsStartFlag()
    {
        QFETCH(bool, startWithOutput);
        QFETCH(QByteArray, slot);
        chooseDirections(startWithOutput, false);
        click("Run_pushButton");

        auto *other =
            child<QRadioButton>(window(), startWithOutput ? "radioButton" : "radioButton_2");
        QTest::mouseClick(other, Qt::LeftButton, {}, QPoint(6, other->height() / 2));
        QVERIFY(other->isChecked());
        // Which pins are operable is fixed at the start of the test.
        QCOMPARE(pin(2)->isEnabled(), startWithOutput);
        QCOMPARE(pin(9)->isEnabled(), startWithOutput);
        hold({2, 9});
        // The first frame is built before the input display can release the pins again.
        const QList<QByteArray> frames = nextFrames(1);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.first().toHex(), expectedFrame(slot, frames.first()).toHex());
    }

    void inputDisplayFollowsDevice_data()
    {
        QTest::addColumn<int>("testRun"); // 0 none, 1 running, 2 run and stopped
        QTest::addColumn<bool>("dataOutput");
        QTest::addColumn<bool>("controlOutput");
        QTest::addColumn<bool>("dataShown");
        QTest::addColumn<bool>("controlShown");
        QTest::newRow("no test yet") << 0 << false << false << true << true;
        QTest::newRow("test with both input") << 1 << false << false << true << true;
        QTest::newRow("test with data output") << 1 << true << false << false << true;
        QTest::newRow("test with control output") << 1 << false << true << true << false;
        QTest::newRow("stopped data output test") << 2 << true << false << false << true;
        QTest::newRow("stopped control output test") << 2 << false << true << true << false;
    }

    void inputDisplayFollowsDevice()
    {
        QFETCH(int, testRun);
        QFETCH(bool, dataOutput);
        QFETCH(bool, controlOutput);
        QFETCH(bool, dataShown);
        QFETCH(bool, controlShown);
        chooseDirections(dataOutput, controlOutput);
        if (testRun >= 1)
            click("Run_pushButton");
        if (testRun == 2)
            click("Sto_pushButton");

        // D0 D2 D5 D7, S3 S5 S7, C1 C3.
        QVERIFY(device().write(QByteArray::fromHex("ff52550a01")));
        QTRY_COMPARE(shownBits(kStatusPins, 3), uint8_t(0xA8));
        QCOMPARE(shownBits(kDataPins), uint8_t(dataShown ? 0xA5 : 0x00));
        QCOMPARE(shownBits(kControlPins), uint8_t(controlShown ? 0x0A : 0x00));
        for (int ground : kGroundPins)
            QVERIFY(!pin(ground)->isDown());

        // A later report replaces the shown levels.
        QVERIFY(device().write(QByteArray::fromHex("ff01000402")));
        QTRY_COMPARE(shownBits(kStatusPins, 3), uint8_t(0x00));
        QCOMPARE(shownBits(kDataPins), uint8_t(dataShown ? 0x02 : 0x00));
        QCOMPARE(shownBits(kControlPins), uint8_t(controlShown ? 0x04 : 0x00));
    }

    void inputDisplayGoesOnWithPortClosed()
    {
        click("Close_pushButton");
        // Nothing can arrive now; the input state is what the display keeps showing.
        input_status = 0x50; // S4, S6
        input_data = 0x81;   // D0, D7
        input_control = 0x01;
        QTRY_COMPARE(shownBits(kStatusPins, 3), uint8_t(0x50));
        QCOMPARE(shownBits(kDataPins), uint8_t(0x81));
        QCOMPARE(shownBits(kControlPins), uint8_t(0x01));
    }
};

QTEST_MAIN(TestLivePinTest)
#include "tst_live_pin_test.moc"
