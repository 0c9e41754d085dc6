// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// A device that stops taking data for several seconds in the middle of a live test, its port
// staying open. The line's own buffers fill first; from then on the program has to hold
// back itself: a tick whose earlier output has not drained drops its frame (the counter
// still advances), so no more than a frame or two ever waits. Once the device reads again,
// streaming goes on with current frames, each whole and none twice.

#include "mainwindow.h"
#include "program_state.h"
#include "simulated_device_rig.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>

using testsupport::SimulatedDeviceRig;

namespace {

constexpr int kFrameSize = 203;
constexpr int kTicksHeldBack = 300; // ticks watched after the program had to hold back (3 s)

// Counts the window's timer events: each is one tick of the program.
class TickCounter : public QObject {
public:
    explicit TickCounter(QObject *window) { window->installEventFilter(this); }
    int ticks = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        ticks += event->type() == QEvent::Timer;
        return false;
    }
};

} // namespace

class StalledDeviceTest : public QObject {
    Q_OBJECT

private slots:
    void outputStaysBoundedAndStreamingResumes();
    void commandsToStalledDeviceAreNoLoss();
};

void StalledDeviceTest::outputStaysBoundedAndStreamingResumes()
{
    SimulatedDeviceRig rig;
    QVERIFY(rig.openAndRunTest());
    QSerialPort &port = rig.port();
    QSignalSpy frames(&rig.endpoint(), &SimulatedDeviceEndpoint::testFrameReceived);
    const QString consoleBefore = rig.console();

    TickCounter ticker(&rig.window());
    const uint8_t counterAtStall = serial_output->counter;
    const int framesAtStall = frames.count();
    rig.stall(true);

    // The line's buffers take a while of frames before the program notices anything.
    qint64 mostQueued = 0;
    const bool heldBack = QTest::qWaitFor(
        [&] {
            mostQueued = qMax(mostQueued, port.bytesToWrite());
            return port.bytesToWrite() > 0;
        },
        30000);
    QVERIFY2(heldBack, "the line never filled up");
    for (const int until = ticker.ticks + kTicksHeldBack; ticker.ticks < until;) {
        QTest::qWait(1);
        mostQueued = qMax(mostQueued, port.bytesToWrite());
    }
    QVERIFY2(mostQueued <= 2 * kFrameSize, qPrintable(QString::number(mostQueued)));
    QCOMPARE(frames.count(), framesAtStall); // the device took nothing meanwhile
    QVERIFY(port.isOpen());
    QCOMPARE(rig.console(), consoleBefore); // a stall is no loss

    // Reading again, the device first takes what the line held, then current frames.
    rig.stall(false);
    const int ticks = ticker.ticks;
    const int framesAfterBacklog = frames.count();
    QVERIFY(framesAfterBacklog > framesAtStall);
    // Every tick advanced the counter, but the ticks that found output waiting sent nothing.
    QCOMPARE((serial_output->counter - counterAtStall + 128) % 128, ticks % 128);
    QVERIFY2(framesAfterBacklog - framesAtStall < ticks - kTicksHeldBack / 2,
             qPrintable(QStringLiteral("%1 frames for %2 ticks")
                            .arg(framesAfterBacklog - framesAtStall)
                            .arg(ticks)));

    QVERIFY(QTest::qWaitFor([&] { return frames.count() >= framesAfterBacklog + 20; }, 10000));
    QTRY_VERIFY((serial_output->counter - rig.device().lastCounter() + 128) % 128 <= 2);
    QVERIFY(port.bytesToWrite() <= kFrameSize);
    QCOMPARE(rig.console(), consoleBefore);

    // What waited in the line came whole, and no frame came twice.
    QCOMPARE(rig.device().brokenFrames(), 0);
    QCOMPARE(rig.device().strayBytes(), 0);
    for (int n = 1; n < frames.count(); ++n)
        QVERIFY2(frames.at(n).at(0) != frames.at(n - 1).at(0), qPrintable(QString::number(n)));
}

void StalledDeviceTest::commandsToStalledDeviceAreNoLoss()
{
    SimulatedDeviceRig rig;
    QVERIFY(rig.openAndRunTest());
    QSerialPort &port = rig.port();
    rig.stall(true);
    QVERIFY2(QTest::qWaitFor([&port] { return port.bytesToWrite() > 0; }, 30000),
             "the line never filled up");
    rig.click("Sto_pushButton");

    // Writing to the full line would block: no loss, the frames wait for the device.
    QSignalSpy commands(&rig.endpoint(), &SimulatedDeviceEndpoint::commandReceived);
    const QString before = rig.console();
    rig.click("Defaults_set");
    QTest::qWait(100);
    QCOMPARE(rig.console(), before + QStringLiteral("Default states is set\n"));
    QVERIFY(port.isOpen());

    rig.stall(false);
    QTRY_COMPARE(commands.count(), 5);
    for (int n = 0; n < 5; ++n)
        QCOMPARE(commands.at(n).at(0).value<quint8>(), quint8(4 + 4 * n));
    QCOMPARE(rig.console(), before + QStringLiteral("Default states is set\n"));
}

QTEST_MAIN(StalledDeviceTest)
#include "tst_stalled_device.moc"
