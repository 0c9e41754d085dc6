// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The simulated KALDORIUM-LPT: the device's protocol side (SimulatedDevice) and its
// pseudo-terminal endpoint (SimulatedDeviceEndpoint), driven as the host would drive them.

#include "device_link/db25_pins.h"
#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "device_link/loopback_plugs.h"
#include "device_link/port_list_file.h"
#include "sim_options.h"
#include "simulated_device.h"
#include "simulated_device_endpoint.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A test output frame as the host builds it, every slot the same.
QByteArray testFrame(uint8_t counter, uint8_t data, uint8_t control, bool dataOut, bool controlOut)
{
    HC_LCNC_2_SERIAL_OUT_DATA frame{};
    frame.header = frames::kMarker;
    for (d_byte &slot : frame.out)
        slot = frames::pack_slot(data, control, dataOut, controlOut);
    frame.counter = counter;
    frame.us_peroid = frames::kSlotPeriodUs;
    return QByteArray(reinterpret_cast<const char *>(&frame), int(sizeof frame));
}

// The host's end of the line, with plain POSIX I/O: the slave side of the pty, raw.
class HostSide {
public:
    explicit HostSide(const QString &path)
    {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ >= 0) {
            termios tio{};
            ::tcgetattr(fd_, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~HostSide()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    // Non-blocking write; returns the bytes taken (-1 on error).
    int write(const QByteArray &bytes)
    {
        const ssize_t n = ::write(fd_, bytes.constData(), size_t(bytes.size()));
        return n < 0 ? (errno == EAGAIN ? 0 : -1) : int(n);
    }

    // Reads for up to `ms`, letting the event loop of this thread run (the endpoint may live
    // here), until `done` holds for what has been read. Sets hungUp when the line is gone.
    QByteArray readUntil(int ms, const std::function<bool(const QByteArray &)> &done)
    {
        QByteArray bytes;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            pollfd pfd{fd_, POLLIN, 0};
            ::poll(&pfd, 1, 2);
            char chunk[4096];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n > 0)
                bytes.append(chunk, int(n));
            else if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                hungUp = true;
            if (hungUp || done(bytes))
                break;
        }
        return bytes;
    }
    QByteArray readFor(int ms)
    {
        return readUntil(ms, [](const QByteArray &) { return false; });
    }

    bool hungUp = false;

private:
    int fd_ = -1;
};

// Keeps the event loop of this thread running until `done` holds or `ms` has passed.
bool waitFor(const std::function<bool()> &done, int ms = 2000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

} // namespace

class TstSimulatedDevice : public QObject {
    Q_OBJECT

private slots:
    // --- SimulatedDevice ----------------------------------------------------------------

    void identity()
    {
        SimulatedDevice device;
        QCOMPARE(SimulatedDevice::manufacturer(), QStringLiteral("Holmcraft KALDORIUM-LPT V1"));
        QCOMPARE(device.address(), 0xC100u);
        QCOMPARE(device.description(), QStringLiteral("C100"));
        QCOMPARE(device.nodeName(), QStringLiteral("KALDORIUM_LPT_C100"));
    }

    void readAnswersStoredValue_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<QByteArray>("read");
        QTest::addColumn<QByteArray>("reply");
        // Fresh device: every item reads 0.
        QTest::newRow("24 fresh") << QByteArray() << hex("ffff18000000") << hex("ffff180000");
        QTest::newRow("28 fresh") << QByteArray() << hex("ffff1c000000") << hex("ffff1c0000");
        QTest::newRow("32 fresh") << QByteArray() << hex("ffff20000000") << hex("ffff200000");
        QTest::newRow("36 fresh") << QByteArray() << hex("ffff24000000") << hex("ffff240000");
        QTest::newRow("40 fresh") << QByteArray() << hex("ffff28000000") << hex("ffff280000");
        // Stored, then read: the reply carries the stored value in two 7-bit groups.
        QTest::newRow("data output")
            << hex("ffff04000001") << hex("ffff18000000") << hex("ffff180001");
        QTest::newRow("D0 and D7")
            << hex("ffff08000101") << hex("ffff1c000000") << hex("ffff1c0101");
        QTest::newRow("all D") << hex("ffff0800017f") << hex("ffff1c000000") << hex("ffff1c017f");
        QTest::newRow("control output")
            << hex("ffff0c000001") << hex("ffff20000000") << hex("ffff200001");
        QTest::newRow("C0..C3") << hex("ffff1000000f") << hex("ffff24000000") << hex("ffff24000f");
        QTest::newRow("S3..S7") << hex("ffff14000178") << hex("ffff28000000") << hex("ffff280178");
        QTest::newRow("other item untouched")
            << hex("ffff08000101") << hex("ffff24000000") << hex("ffff240000");
    }
    void readAnswersStoredValue()
    {
        QFETCH(QByteArray, store);
        QFETCH(QByteArray, read);
        QFETCH(QByteArray, reply);
        SimulatedDevice device;
        QCOMPARE(device.takeHostBytes(store), QByteArray()); // nothing comes back for a store
        QCOMPARE(device.takeHostBytes(read).toHex(), reply.toHex());
    }

    void storeThenReadRoundTrip()
    {
        SimulatedDevice device;
        // Five stores and five reads back to back in one write, as Set/Read defaults do.
        QByteArray host;
        const uint32_t values[] = {1, 0x81, 1, 0x0A, 0xF8};
        for (int i = 0; i < 5; ++i)
            host += frames::command_frame(contract::kStoreCommands[i], values[i]);
        for (contract::Command code : contract::kReadCommands)
            host += frames::command_frame(code, 0);
        QByteArray expected;
        for (int i = 0; i < 5; ++i)
            expected += frames::reply_frame(contract::kReadCommands[i], values[i]);
        QCOMPARE(device.takeHostBytes(host).toHex(), expected.toHex());
        QCOMPARE(device.commands(), 10);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(device.storedValue(contract::kStoreCommands[i]), values[i]);
            QCOMPARE(device.storedValue(contract::kReadCommands[i]), values[i]);
        }
    }

    void testFrameSplitOverChunks_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::newRow("1 byte") << 1;
        QTest::newRow("7 bytes") << 7;
        QTest::newRow("100 bytes") << 100;
        QTest::newRow("whole") << 1000;
    }
    void testFrameSplitOverChunks()
    {
        QFETCH(int, chunk);
        SimulatedDevice device;
        QVector<int> counters;
        device.onTestFrame = [&counters](uint8_t c) { counters.append(c); };
        // Two test frames with a read command between them, fed in slices of `chunk` bytes.
        const QByteArray stream = testFrame(5, 0x81, 0, true, false) + hex("ffff18000000") +
                                  testFrame(6, 0x02, 0, true, false);
        QByteArray replies;
        for (int at = 0; at < stream.size(); at += chunk)
            replies += device.takeHostBytes(stream.mid(at, chunk));
        QCOMPARE(replies.toHex(), hex("ffff180000").toHex());
        QCOMPARE(device.testFrames(), 2);
        QCOMPARE(counters, QVector<int>({5, 6}));
        QCOMPARE(device.lastCounter(), uint8_t(6));
        QCOMPARE(device.brokenFrames(), 0);
        QCOMPARE(device.counterGaps(), 0);
        QCOMPARE(device.lastTestFrame().size(), frames::kTestFrameSize);
        QCOMPARE(device.lastSlot(0).out_0, uint8_t(0x01));
        QCOMPARE(device.lastSlot(99).out_1, uint8_t(0x20));
        QCOMPARE(device.recentTestFrames().size(), 2);
        QVERIFY(device.recentTestFrames()[1].arrivalNs >= device.recentTestFrames()[0].arrivalNs);
    }

    void counterGapsCounted()
    {
        SimulatedDevice device;
        device.takeHostBytes(testFrame(126, 0, 0, false, false) +
                             testFrame(127, 0, 0, false, false) + testFrame(0, 0, 0, false, false) +
                             testFrame(5, 0, 0, false, false));
        QCOMPARE(device.testFrames(), 4);
        QCOMPARE(device.counterGaps(), 1); // 127 -> 0 is no gap, 0 -> 5 is one
    }

    void directionFlagsHonoured_data()
    {
        QTest::addColumn<bool>("dataOut");
        QTest::addColumn<bool>("controlOut");
        QTest::addColumn<int>("data");
        QTest::addColumn<int>("control");
        QTest::newRow("both input") << false << false << 0x00 << 0x0;
        QTest::newRow("data output") << true << false << 0xA5 << 0x0;
        QTest::newRow("control output") << false << true << 0x00 << 0x9;
        QTest::newRow("both output") << true << true << 0x3C << 0xF;
    }
    void directionFlagsHonoured()
    {
        QFETCH(bool, dataOut);
        QFETCH(bool, controlOut);
        QFETCH(int, data);
        QFETCH(int, control);
        SimulatedDevice device;
        // The host packs the bits of a port even when its flag is off (a radio switched during
        // a test); the device drives only the ports whose flag is set.
        device.takeHostBytes(testFrame(1, 0xFF, 0xF, dataOut, controlOut));
        QCOMPARE(device.drive().dataOutput, dataOut);
        QCOMPARE(device.drive().controlOutput, controlOut);
        device.takeHostBytes(testFrame(2, uint8_t(data), uint8_t(control), dataOut, controlOut));
        const SimulatedDevice::Drive drive = device.drive();
        QCOMPARE(drive.dataOutput, dataOut);
        QCOMPARE(drive.controlOutput, controlOut);
        QCOMPARE(int(drive.data), data);
        QCOMPARE(int(drive.control), control);
        const SimulatedDevice::Levels levels = device.levels();
        if (!dataOut && !controlOut) {
            QCOMPARE(int(levels.data), 0);
            QCOMPARE(int(levels.status), 0);
            QCOMPARE(int(levels.control), 0);
        }
        if (dataOut)
            QCOMPARE(int(levels.data) & data, data); // own outputs read back
    }

    // The loopback plug of README.md, pin by pin.
    void loopbackWiring_data()
    {
        QTest::addColumn<bool>("dataOut");
        QTest::addColumn<bool>("controlOut");
        QTest::addColumn<int>("data");    // held data pins
        QTest::addColumn<int>("control"); // held control pins
        QTest::addColumn<int>("inData");
        QTest::addColumn<int>("inStatus");
        QTest::addColumn<int>("inControl");
        QTest::addColumn<int>("external"); // nets pulled high from outside the plug
        // Data output, control input: S3..S7 follow D0..D4, C0..C3 follow D4..D7.
        QTest::newRow("D0 -> S3") << true << false << 0x01 << 0 << 0x01 << 0x08 << 0x0 << 0;
        QTest::newRow("D1 -> S4") << true << false << 0x02 << 0 << 0x02 << 0x10 << 0x0 << 0;
        QTest::newRow("D2 -> S5") << true << false << 0x04 << 0 << 0x04 << 0x20 << 0x0 << 0;
        QTest::newRow("D3 -> S6") << true << false << 0x08 << 0 << 0x08 << 0x40 << 0x0 << 0;
        QTest::newRow("D4 -> S7 C0") << true << false << 0x10 << 0 << 0x10 << 0x80 << 0x1 << 0;
        QTest::newRow("D5 -> C1") << true << false << 0x20 << 0 << 0x20 << 0x00 << 0x2 << 0;
        QTest::newRow("D6 -> C2") << true << false << 0x40 << 0 << 0x40 << 0x00 << 0x4 << 0;
        QTest::newRow("D7 -> C3") << true << false << 0x80 << 0 << 0x80 << 0x00 << 0x8 << 0;
        QTest::newRow("all D") << true << false << 0xFF << 0 << 0xFF << 0xF8 << 0xF << 0;
        // Data input, control output: D4..D7 follow C0..C3, and S7 follows C0 through D4.
        QTest::newRow("C0 -> D4 S7") << false << true << 0 << 0x1 << 0x10 << 0x80 << 0x1 << 0;
        QTest::newRow("C1 -> D5") << false << true << 0 << 0x2 << 0x20 << 0x00 << 0x2 << 0;
        QTest::newRow("C2 -> D6") << false << true << 0 << 0x4 << 0x40 << 0x00 << 0x4 << 0;
        QTest::newRow("C3 -> D7") << false << true << 0 << 0x8 << 0x80 << 0x00 << 0x8 << 0;
        QTest::newRow("data bits ignored") << false << true << 0xFF << 0x0 << 0 << 0 << 0 << 0;
        // Both input: nothing drives the plug.
        QTest::newRow("both input") << false << false << 0xFF << 0xF << 0 << 0 << 0 << 0;
        // Both output: a shared net reads the OR of its two drivers.
        QTest::newRow("both out, D1 and C2")
            << true << true << 0x02 << 0x4 << 0x42 << 0x10 << 0x4 << 0;
        // A switch outside the plug reads on every input of its net, and ORs with an output.
        QTest::newRow("switch on net B") << false << false << 0 << 0 << 0x02 << 0x10 << 0x0 << 0x02;
        QTest::newRow("switch on net E") << false << false << 0 << 0 << 0x10 << 0x80 << 0x1 << 0x10;
        QTest::newRow("switch and D0") << true << false << 0x01 << 0 << 0x81 << 0x08 << 0x8 << 0x80;
    }
    void loopbackWiring()
    {
        QFETCH(bool, dataOut);
        QFETCH(bool, controlOut);
        QFETCH(int, data);
        QFETCH(int, control);
        QFETCH(int, inData);
        QFETCH(int, inStatus);
        QFETCH(int, inControl);
        QFETCH(int, external);
        SimulatedDevice device;
        device.setExternalNets(uint8_t(external));
        device.takeHostBytes(testFrame(1, uint8_t(data), uint8_t(control), dataOut, controlOut));
        const SimulatedDevice::Levels levels = device.levels();
        QCOMPARE(int(levels.data), inData);
        QCOMPARE(int(levels.status), inStatus);
        QCOMPARE(int(levels.control), inControl);
        // The status frame carries them as the host unpacks them.
        const QByteArray frame = device.statusFrame();
        QCOMPARE(frame.size(), frames::kInputFrameSize);
        const frames::InputLevels seen =
            frames::unpack_input(uint8_t(frame[1]), uint8_t(frame[2]), uint8_t(frame[3]));
        QCOMPARE(int(seen.data), inData);
        QCOMPARE(int(seen.status), inStatus);
        QCOMPARE(int(seen.control), inControl);
    }

    // Other plugs and broken pins: what every pin reads for a drive. Pins are DB-25 numbers;
    // "high" lists the signal pins that read high, all others read low.
    void plugsAndFaults_data()
    {
        QTest::addColumn<QString>("plug");
        QTest::addColumn<QString>("faults"); // kaldorium-lpt-sim's options
        QTest::addColumn<bool>("dataOut");
        QTest::addColumn<bool>("controlOut");
        QTest::addColumn<int>("data");
        QTest::addColumn<int>("control");
        QTest::addColumn<QList<int>>("high");
        using P = QList<int>;
        QTest::newRow("passmark D2 -> S5") << "passmark"
                                           << "" << true << false << 0x04 << 0 << P{4, 12};
        QTest::newRow("passmark D5 on no net") << "passmark"
                                               << "" << true << false << 0x20 << 0 << P{7};
        QTest::newRow("passmark control input") << "passmark"
                                                << "" << true << false << 0 << 0 << P{};
        QTest::newRow("checkit D0 -> S3") << "checkit"
                                          << "" << true << true << 0x01 << 0 << P{2, 15};
        QTest::newRow("checkit C0 -> S4") << "checkit"
                                          << "" << true << true << 0 << 0x1 << P{1, 13};
        QTest::newRow("checkit C3 -> S7") << "checkit"
                                          << "" << false << true << 0 << 0x8 << P{17, 11};
        QTest::newRow("none: outputs read themselves")
            << "none"
            << "" << true << true << 0x05 << 0x2 << P{2, 4, 14};
        QTest::newRow("stuck-low output holds its net")
            << "passmark"
            << "--stuck-low 4" << true << false << 0x1F << 0 << P{2, 3, 5, 6, 15, 13, 10, 11};
        QTest::newRow("stuck-high output holds its net")
            << "passmark"
            << "--stuck-high 4" << true << false << 0 << 0 << P{4, 12};
        QTest::newRow("stuck-high input reads alone")
            << "passmark"
            << "--stuck-high 12" << true << false << 0 << 0 << P{12};
        QTest::newRow("stuck-low input reads alone")
            << "passmark"
            << "--stuck-low 12" << true << false << 0x04 << 0 << P{4};
        QTest::newRow("stuck pin as an input does not hold its net")
            << "full"
            << "--stuck-low 1" << true << false << 0x10 << 0 << P{6, 11};
        QTest::newRow("open output reads itself only")
            << "passmark"
            << "--open 4" << true << false << 0x04 << 0 << P{4};
        QTest::newRow("open input reads nothing")
            << "passmark"
            << "--open 12" << true << false << 0x04 << 0 << P{4};
        QTest::newRow("short joins two nets")
            << "passmark"
            << "--short 2,3" << true << false << 0x01 << 0 << P{2, 3, 15, 13};
        QTest::newRow("short to ground holds the net low")
            << "passmark"
            << "--short 12,25" << true << false << 0x04 << 0 << P{};
        QTest::newRow("short within a net changes nothing")
            << "passmark"
            << "--short 4,12" << true << false << 0x04 << 0 << P{4, 12};
    }
    void plugsAndFaults()
    {
        QFETCH(QString, plug);
        QFETCH(QString, faults);
        QFETCH(bool, dataOut);
        QFETCH(bool, controlOut);
        QFETCH(int, data);
        QFETCH(int, control);
        QFETCH(QList<int>, high);
        sim::Options options;
        QVERIFY(
            sim::parse_options(QStringList{"sim"} + faults.split(' ', Qt::SkipEmptyParts), options)
                .exit_code < 0);
        SimulatedDevice device;
        device.setPlug(*loopback::find_plug(plug.toLatin1().constData()));
        device.setFaults(options.faults);
        device.takeHostBytes(testFrame(1, uint8_t(data), uint8_t(control), dataOut, controlOut));
        const SimulatedDevice::Levels now = device.levels();
        const frames::InputLevels levels{now.data, now.status, now.control};
        QList<int> reads_high;
        for (int n = 1; n <= db25::kSignalPins; ++n) {
            if (db25::level(db25::pin(n), levels))
                reads_high.append(n);
        }
        std::sort(high.begin(), high.end());
        QCOMPARE(reads_high, high);
    }

    // Numbers are decimal digits: "010" is ten, a sign, a space or a hex prefix refused.
    void optionNumbers_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("interval"); // -1: refused
        QTest::newRow("decimal") << QStringList{"--interval", "25"} << 25;
        QTest::newRow("leading zero is not octal") << QStringList{"--interval", "010"} << 10;
        QTest::newRow("sign") << QStringList{"--interval", "+5"} << -1;
        QTest::newRow("space") << QStringList{"--interval", " 5"} << -1;
        QTest::newRow("hex") << QStringList{"--interval", "0x10"} << -1;
        QTest::newRow("beyond int") << QStringList{"--interval", "4294967301"} << -1;
        QTest::newRow("hex seed") << QStringList{"--seed", "0x10"} << -1;
        QTest::newRow("pin with a sign") << QStringList{"--stuck-low", "+4"} << -1;
    }
    void optionNumbers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, interval);
        sim::Options options;
        const sim::ParseResult result = sim::parse_options(QStringList{"sim"} + arguments, options);
        QCOMPARE(result.exit_code < 0, interval >= 0);
        if (interval >= 0)
            QCOMPARE(options.status_interval_ms, interval);
    }

    void statusFrameBytesAndCounter()
    {
        SimulatedDevice device;
        QCOMPARE(device.statusFrame().toHex(), hex("ff00000000").toHex());
        device.takeHostBytes(testFrame(1, 0x01, 0, true, false)); // D0 -> S3
        QCOMPARE(device.statusFrame().toHex(), hex("ff00410001").toHex());
        for (int i = 2; i < 128; ++i)
            QCOMPARE(uint8_t(device.statusFrame()[4]), uint8_t(i));
        QCOMPARE(uint8_t(device.statusFrame()[4]), uint8_t(0)); // 127 wraps to 0
        QCOMPARE(device.statusFrames(), 129);
    }

    void brokenFrameOnMarker()
    {
        SimulatedDevice device;
        // A test frame cut after 100 bytes by a read command: the command still counts.
        const QByteArray cut = testFrame(3, 0x01, 0, true, false).left(100);
        QCOMPARE(device.takeHostBytes(cut + hex("ffff18000000")).toHex(),
                 hex("ffff180000").toHex());
        QCOMPARE(device.brokenFrames(), 1);
        QCOMPARE(device.testFrames(), 0);
        // A cut frame drives nothing, and the device reports it once.
        QCOMPARE(device.drive().dataOutput, false);
        QCOMPARE(device.statusFrame().toHex(), hex("ff00201000").toHex());
        QCOMPARE(device.statusFrame().toHex(), hex("ff00000001").toHex());
        // A test frame cut by the next test frame's marker: the second one counts.
        device.takeHostBytes(testFrame(4, 0, 0, false, false).left(50) +
                             testFrame(5, 0x01, 0, true, false));
        QCOMPARE(device.brokenFrames(), 2);
        QCOMPARE(device.testFrames(), 1);
        QCOMPARE(device.lastCounter(), uint8_t(5));
        QCOMPARE(device.drive().data, uint8_t(0x01));
        // A cut command frame: counted, no report, no reply.
        QCOMPARE(device.statusFrame().toHex(), hex("ff00201002").toHex());
        QCOMPARE(device.takeHostBytes(hex("ffff1800ffff1c000000")).toHex(),
                 hex("ffff1c0000").toHex());
        QCOMPARE(device.brokenFrames(), 3);
        QCOMPARE(device.statusFrame().toHex(), hex("ff00410003").toHex());
        // Reporting can be switched off.
        device.setReportBrokenFrames(false);
        device.takeHostBytes(testFrame(6, 0, 0, false, false).left(9) + hex("ff"));
        QCOMPARE(device.brokenFrames(), 4);
        QCOMPARE(device.pendingErrors(), uint8_t(0));
    }

    void strayBytesIgnored()
    {
        SimulatedDevice device;
        QCOMPARE(device.takeHostBytes(hex("000102037f")), QByteArray());
        QCOMPARE(device.strayBytes(), 5);
        QCOMPARE(device.takeHostBytes(hex("ffff18000000")).toHex(), hex("ffff180000").toHex());
    }

    void errorInjection_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("fifo") << 0x40 << hex("ff00204000");
        QTest::newRow("frame broken") << 0x10 << hex("ff00201000");
        QTest::newRow("input frame lost") << 0x20 << hex("ff00202000");
        QTest::newRow("all three") << 0x70 << hex("ff00207000");
        QTest::newRow("other bits dropped") << 0x8F << QByteArray();
    }
    void errorInjection()
    {
        QFETCH(int, bits);
        QFETCH(QByteArray, frame);
        SimulatedDevice device;
        device.takeHostBytes(testFrame(1, 0x01, 0, true, false)); // levels D0, S3
        device.injectErrors(uint8_t(bits));
        if (frame.isEmpty()) {
            QCOMPARE(device.statusFrame().toHex(), hex("ff00410000").toHex());
            return;
        }
        QCOMPARE(device.statusFrame().toHex(), frame.toHex());
        QCOMPARE(device.errorReports(), 1);
        // Reported once; the levels come back in the next frame.
        QCOMPARE(device.statusFrame().toHex(), hex("ff00410001").toHex());
    }

    void errorsAccumulateUntilReported()
    {
        SimulatedDevice device;
        device.injectErrors(frames::kErrorFifo);
        device.injectErrors(frames::kErrorInputFrameLost);
        QCOMPARE(device.statusFrame().toHex(), hex("ff00206000").toHex());
    }

    void setAddressChangesDescription_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("node");
        QTest::newRow("C200") << hex("ffff00030400") << "C200"
                              << "KALDORIUM_LPT_C200";
        QTest::newRow("C100") << hex("ffff00030200") << "C100"
                              << "KALDORIUM_LPT_C100";
        QTest::newRow("C800") << frames::command_frame(0, 0xC800) << "C800"
                              << "KALDORIUM_LPT_C800";
        QTest::newRow("any value") << frames::command_frame(0, 0x1234) << "1234"
                                   << "KALDORIUM_LPT_1234";
    }
    void setAddressChangesDescription()
    {
        QFETCH(QByteArray, command);
        QFETCH(QString, description);
        QFETCH(QString, node);
        SimulatedDevice device;
        QCOMPARE(device.takeHostBytes(command), QByteArray()); // no reply
        QCOMPARE(device.description(), description);
        QCOMPARE(device.nodeName(), node);
        QCOMPARE(SimulatedDevice::manufacturer(), QString::fromLatin1(contract::kManufacturer));
        device.powerOn(); // the address lives in flash
        QCOMPARE(device.description(), description);
    }

    void bootloaderStopsAnswering()
    {
        SimulatedDevice device;
        QVector<int> codes;
        device.onCommand = [&codes](uint8_t code, uint32_t) { codes.append(code); };
        device.takeHostBytes(hex("ffff08000005"));
        QVERIFY(!device.inBootloader());
        // The bootloader command and a read in the same write: the read goes unanswered.
        QCOMPARE(device.takeHostBytes(hex("ffff7f000000ffff1c000000")), QByteArray());
        QVERIFY(device.inBootloader());
        QCOMPARE(codes, QVector<int>({8, 127}));
        QCOMPARE(device.statusFrame(), QByteArray());
        QCOMPARE(device.takeHostBytes(testFrame(1, 0, 0, true, false)), QByteArray());
        QCOMPARE(device.testFrames(), 0);
        // Power-on (after the firmware update) brings it back with its flash intact.
        device.powerOn();
        QVERIFY(!device.inBootloader());
        QCOMPARE(device.takeHostBytes(hex("ffff1c000000")).toHex(), hex("ffff1c0005").toHex());
        QCOMPARE(device.statusFrame().size(), frames::kInputFrameSize);
    }

    void powerOnAppliesDefaults()
    {
        SimulatedDevice device;
        // Power-on defaults: data output with D0 and D4 high, control input.
        device.takeHostBytes(frames::command_frame(contract::StoreDataDirection, 1) +
                             frames::command_frame(contract::StoreDataLevels, 0x11));
        QCOMPARE(device.drive().dataOutput, false); // a store changes the pins only at power-on
        device.powerOn();
        QCOMPARE(device.drive().dataOutput, true);
        QCOMPARE(int(device.levels().status), 0x88); // S3, S7
        QCOMPARE(int(device.levels().control), 0x1); // C0 via D4
    }

    void garbageDoesNotCrash()
    {
        SimulatedDevice device;
        QRandomGenerator random(20240611);
        // Random bytes, rich in markers, in random chunks.
        for (int round = 0; round < 2000; ++round) {
            QByteArray chunk(int(random.bounded(1, 600)), Qt::Uninitialized);
            for (char &c : chunk)
                c = random.bounded(4) == 0 ? char(0xFF) : char(random.bounded(256));
            device.takeHostBytes(chunk);
            if (round % 7 == 0)
                QCOMPARE(device.statusFrame().size() % frames::kInputFrameSize, 0);
            if (device.inBootloader())
                device.powerOn();
        }
        // Hostile shapes: endless markers, endless payload, high bytes everywhere.
        device.takeHostBytes(QByteArray(100000, char(0xFF)));
        device.takeHostBytes(QByteArray(100000, char(0x80)));
        device.takeHostBytes(hex("ff") + QByteArray(100000, char(0x7E)));
        device.takeHostBytes(hex("ffff") + QByteArray(5, char(0xFE)));
        device.powerOn();
        // Still a working device afterwards.
        QCOMPARE(device.takeHostBytes(hex("ffff24000000")).size(), frames::kReplyFrameSize);
        device.takeHostBytes(testFrame(9, 0x01, 0, true, false));
        QCOMPARE(device.lastCounter(), uint8_t(9));
        QCOMPARE(int(device.levels().status), 0x08);
        QVERIFY(device.recentTestFrames().size() <= 256);
    }

    // --- SimulatedDeviceEndpoint over a real pty ------------------------------------------

    void endpointAnswersCommandOverPty()
    {
        SimulatedDeviceEndpoint endpoint;
        QSignalSpy commands(&endpoint, &SimulatedDeviceEndpoint::commandReceived);
        endpoint.start();
        QVERIFY(endpoint.isAttached());
        QCOMPARE(endpoint.description(), QStringLiteral("C100"));
        QCOMPARE(endpoint.manufacturer(), QStringLiteral("Holmcraft KALDORIUM-LPT V1"));
        HostSide host(endpoint.slavePath());
        QVERIFY(host.isOpen());
        QCOMPARE(host.write(hex("ffff08000105")), 6);
        QCOMPARE(host.write(hex("ffff1c000000")), 6);
        // Status frames never hold FF FF, so the reply stands out in the stream.
        const QByteArray reply = hex("ffff1c0105");
        const QByteArray got =
            host.readUntil(2000, [&](const QByteArray &b) { return b.contains(reply); });
        QVERIFY2(got.contains(reply), got.toHex().constData());
        QCOMPARE(commands.size(), 2);
        QCOMPARE(commands[0][0].value<quint8>(), quint8(8));
        QCOMPARE(commands[0][1].value<quint32>(), quint32(0x85));
    }

    void endpointPacesStatusFrames()
    {
        SimulatedDeviceEndpoint endpoint;
        endpoint.start();
        HostSide host(endpoint.slavePath());
        host.readFor(50); // what queued up before the host opened
        const QByteArray got = host.readFor(500);
        // About 100 frames at 5 ms; generous bounds for a busy machine.
        const int count = got.count(char(0xFF));
        QVERIFY2(count >= 30 && count <= 110, qPrintable(QString::number(count)));
        QCOMPARE(got.count(char(0xFF)) * frames::kInputFrameSize,
                 got.size() - got.size() % frames::kInputFrameSize);
        endpoint.setStatusInterval(50);
        host.readFor(60);
        const int slow = host.readFor(500).count(char(0xFF));
        QVERIFY2(slow >= 4 && slow <= 12, qPrintable(QString::number(slow)));
    }

    void endpointTestFramesAndLoopback()
    {
        SimulatedDeviceEndpoint endpoint;
        QSignalSpy frames_seen(&endpoint, &SimulatedDeviceEndpoint::testFrameReceived);
        endpoint.start();
        HostSide host(endpoint.slavePath());
        QCOMPARE(host.write(testFrame(42, 0x02, 0, true, false)), frames::kTestFrameSize);
        QVERIFY(waitFor([&] { return frames_seen.size() == 1; }));
        QCOMPARE(frames_seen[0][0].value<quint8>(), quint8(42));
        // D1 held -> S4: in_0 = 0x01, in_1 = 0x02 in the following status frames.
        const QByteArray got =
            host.readUntil(1000, [](const QByteArray &b) { return b.contains(hex("ff0102")); });
        QVERIFY2(got.contains(hex("ff0102")), got.toHex().constData());
        QCOMPARE(endpoint.snapshot().lastCounter(), uint8_t(42));
    }

    void endpointErrorInjection()
    {
        SimulatedDeviceEndpoint endpoint;
        endpoint.start();
        HostSide host(endpoint.slavePath());
        host.readFor(20);
        endpoint.injectErrors(frames::kErrorInputFrameLost | frames::kErrorFifo);
        const QByteArray got =
            host.readUntil(1000, [](const QByteArray &b) { return b.contains(hex("ff002060")); });
        QVERIFY2(got.contains(hex("ff002060")), got.toHex().constData());
        QCOMPARE(got.count(hex("ff002060")), 1);
    }

    void endpointLinkFollowsAddressAndBootloaderDrops()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SimulatedDeviceEndpoint endpoint;
        endpoint.setLinkDirectory(dir.path());
        endpoint.setBootloaderDropDelay(50);
        QSignalSpy addresses(&endpoint, &SimulatedDeviceEndpoint::addressChanged);
        QSignalSpy bootloader(&endpoint, &SimulatedDeviceEndpoint::bootloaderEntered);
        QSignalSpy dropped(&endpoint, &SimulatedDeviceEndpoint::dropped);
        QSignalSpy attached(&endpoint, &SimulatedDeviceEndpoint::attached);
        endpoint.start();
        QCOMPARE(attached.size(), 1);
        const QString c100 = dir.filePath("KALDORIUM_LPT_C100");
        const QString c200 = dir.filePath("KALDORIUM_LPT_C200");
        QCOMPARE(endpoint.linkPath(), c100);
        QCOMPARE(QFileInfo(c100).symLinkTarget(), endpoint.slavePath());

        // Open through the link, as the program opens /dev/KALDORIUM_LPT_C100.
        HostSide host(c100);
        QVERIFY(host.isOpen());
        QCOMPARE(host.write(hex("ffff00030400")), 6);
        QVERIFY(waitFor([&] { return addresses.size() == 1; }));
        QCOMPARE(addresses[0][0].value<quint32>(), quint32(0xC200));
        QCOMPARE(endpoint.description(), QStringLiteral("C200"));
        QVERIFY(!QFileInfo::exists(c100) && !QFileInfo(c100).isSymLink());
        QCOMPARE(QFileInfo(c200).symLinkTarget(), endpoint.slavePath());
        QCOMPARE(endpoint.linkPath(), c200);

        // Bootloader: the device falls silent, then the line hangs up and the link goes.
        QCOMPARE(host.write(hex("ffff7f000000ffff18000000")), 12);
        QVERIFY(waitFor([&] { return bootloader.size() == 1; }));
        QVERIFY(waitFor([&] { return dropped.size() == 1; }));
        QVERIFY(!endpoint.isAttached());
        QVERIFY(!QFileInfo(c200).isSymLink());
        QCOMPARE(endpoint.linkPath(), QString());
        QCOMPARE(endpoint.description(), QString());
        const QByteArray tail = host.readFor(300);
        QVERIFY(host.hungUp);
        QVERIFY(!tail.contains(hex("ffff18"))); // the read after 127 was not answered

        // Plugged back in: a fresh pty and link, the address kept.
        endpoint.reconnect();
        QCOMPARE(attached.size(), 2);
        QVERIFY(endpoint.isAttached());
        QCOMPARE(QFileInfo(c200).symLinkTarget(), endpoint.slavePath());
        HostSide again(c200);
        QCOMPARE(again.write(hex("ffff18000000")), 6);
        const QByteArray got = again.readUntil(
            1000, [](const QByteArray &b) { return b.contains(hex("ffff180000")); });
        QVERIFY2(got.contains(hex("ffff180000")), got.toHex().constData());
    }

    void endpointDropAndReconnect()
    {
        QTemporaryDir dir;
        SimulatedDeviceEndpoint endpoint;
        endpoint.setLinkDirectory(dir.path());
        QSignalSpy dropped(&endpoint, &SimulatedDeviceEndpoint::dropped);
        endpoint.start();
        const QString first = endpoint.slavePath();
        HostSide host(first);
        host.readFor(20);
        endpoint.drop();
        QCOMPARE(dropped.size(), 1);
        endpoint.drop(); // no-op
        QCOMPARE(dropped.size(), 1);
        QVERIFY(!QFileInfo(dir.filePath("KALDORIUM_LPT_C100")).isSymLink());
        host.readFor(200);
        QVERIFY(host.hungUp);
        endpoint.reconnect();
        QVERIFY(endpoint.isAttached());
        QCOMPARE(dropped.size(), 1);
        QCOMPARE(QFileInfo(dir.filePath("KALDORIUM_LPT_C100")).symLinkTarget(),
                 endpoint.slavePath());
        endpoint.reconnect(); // while attached: drop, then attach
        QCOMPARE(dropped.size(), 2);
        QVERIFY(endpoint.isAttached());
    }

    void endpointStallBacksUpHostWrites()
    {
        SimulatedDeviceEndpoint endpoint;
        QSignalSpy frames_seen(&endpoint, &SimulatedDeviceEndpoint::testFrameReceived);
        endpoint.start();
        HostSide host(endpoint.slavePath());
        endpoint.setStalled(true);
        QVERIFY(endpoint.isStalled());
        // Write test frames until the line refuses more (bounded).
        const QByteArray frame = testFrame(1, 0, 0, false, false);
        int written = 0;
        bool full = false;
        for (int i = 0; i < 20000 && !full; ++i) {
            QCoreApplication::processEvents();
            const int n = host.write(frame);
            QVERIFY(n >= 0);
            written += n;
            full = n < frame.size();
        }
        QVERIFY2(full, qPrintable(QString::number(written)));
        QCOMPARE(frames_seen.size(), 0);
        // Status frames keep coming while stalled.
        QVERIFY(host.readFor(100).count(char(0xFF)) > 3);
        // Unstalled, the device takes the backlog.
        endpoint.setStalled(false);
        QVERIFY(waitFor([&] { return endpoint.traffic().bytesFromHost == written; }, 3000));
        QVERIFY(frames_seen.size() >= written / frames::kTestFrameSize - 1);
    }

    void endpointFloodsAtByteRate()
    {
        SimulatedDeviceEndpoint endpoint;
        endpoint.setFloodRate(400000);
        endpoint.start();
        HostSide host(endpoint.slavePath());
        host.readFor(50);
        QElapsedTimer timer;
        timer.start();
        const QByteArray got = host.readFor(500);
        const double rate = got.size() * 1000.0 / double(timer.elapsed());
        // 400000 B/s; loose bounds for a loaded machine.
        QVERIFY2(rate > 150000 && rate < 500000, qPrintable(QString::number(rate)));
        QVERIFY(endpoint.traffic().statusFramesSent > 20000);
    }

    void endpointHoldsBackWhileHostDoesNotRead()
    {
        SimulatedDeviceEndpoint endpoint;
        endpoint.setStatusInterval(1);
        endpoint.setHostBacklogLimit(100);
        endpoint.start();
        // No host reading: soon the device holds frames back instead of piling them up.
        QVERIFY(waitFor([&] { return endpoint.traffic().statusFramesHeldBack > 0; }, 5000));
        waitFor([] { return false; }, 100);
        const SimulatedDeviceEndpoint::Traffic traffic = endpoint.traffic();
        QVERIFY2(traffic.bytesToHost < 1000, qPrintable(QString::number(traffic.bytesToHost)));
        // A host that opens the line then finds only a short backlog, and fresh frames after.
        HostSide host(endpoint.slavePath());
        const QByteArray stale = host.readFor(20);
        QVERIFY2(stale.size() < 1000, qPrintable(QString::number(stale.size())));
        QVERIFY(host.readFor(100).size() > 0);
    }

    void endpointInOwnThreadWithSerialPort()
    {
        QTemporaryDir dir;
        QThread thread;
        auto *endpoint = new SimulatedDeviceEndpoint;
        endpoint->moveToThread(&thread);
        thread.start();
        endpoint->setLinkDirectory(dir.path()); // from this thread: runs in the endpoint's
        endpoint->start();
        QVERIFY(endpoint->isAttached());
        // Queued to this thread (a QSignalSpy would record in the endpoint's thread).
        QObject receiver;
        QVector<int> counters;
        connect(endpoint, &SimulatedDeviceEndpoint::testFrameReceived, &receiver,
                [&counters](quint8 counter) { counters.append(counter); });

        // The program's way in: QSerialPort on the node link, at its line settings.
        QSerialPort port;
        port.setPortName(dir.filePath("KALDORIUM_LPT_C100"));
        port.setDataBits(contract::kDataBits);
        port.setParity(contract::kParity);
        port.setStopBits(contract::kStopBits);
        port.setFlowControl(contract::kFlowControl);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.setBaudRate(contract::kBaudRate); // a pty may refuse it; the program ignores that
        port.write(hex("ffff20000000"));
        port.write(testFrame(7, 0, 0, false, false));
        port.flush();
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        while (!got.contains(hex("ffff200000")) && timer.elapsed() < 2000) {
            port.waitForReadyRead(20);
            got += port.readAll();
        }
        QVERIFY2(got.contains(hex("ffff200000")), got.left(64).toHex().constData());
        QVERIFY(waitFor([&] { return counters.size() == 1; }));
        QCOMPARE(counters, QVector<int>({7}));

        endpoint->injectErrors(frames::kErrorFifo);
        endpoint->drop();
        QVERIFY(!endpoint->isAttached());
        port.close();
        thread.quit();
        thread.wait();
        delete endpoint;
    }

    // --- kaldorium-lpt-sim ----------------------------------------------------------------

    void simProgramServesUntilStopped_data()
    {
        QTest::addColumn<int>("stopSignal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
    }
    void simProgramServesUntilStopped()
    {
        QFETCH(int, stopSignal);
        QTemporaryDir dir;
        const QString link = dir.filePath("lpt");
        QProcess sim;
        sim.start(QStringLiteral(KALDORIUM_SIM),
                  {"--link", link, "--random-inputs", "5", "--errors", "50"});
        QVERIFY(sim.waitForReadyRead(5000));
        QCOMPARE(sim.readLine().trimmed(), QFile::encodeName(link));
        QVERIFY(QFileInfo(link).isSymLink());

        // Status frames with changing levels and error reports come at the default pace.
        HostSide host(link);
        QVERIFY(host.isOpen());
        const QByteArray bytes = host.readFor(300);
        QVERIFY2(bytes.size() >= 20 * frames::kInputFrameSize, qPrintable(bytes.toHex()));
        QSet<QByteArray> levels;
        for (int at = bytes.indexOf(char(0xFF)); at >= 0 && at + 4 < bytes.size();
             at = bytes.indexOf(char(0xFF), at + 1))
            levels.insert(bytes.mid(at + 1, 3));
        QVERIFY2(levels.size() > 3, "the random inputs change the levels");
        QVERIFY(bytes.contains(hex("ff002040")));

        ::kill(pid_t(sim.processId()), stopSignal);
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    // --link: a path that another running simulated device links to is refused, a stale link
    // is taken over, and at the end only a link this run made and still owns is removed.
    void simProgramKeepsToItsOwnLink()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("lpt");
        QProcess first;
        first.start(QStringLiteral(KALDORIUM_SIM), {"--link", link});
        QVERIFY(first.waitForReadyRead(5000));
        const QString node = QFileInfo(link).symLinkTarget();

        QProcess second;
        second.start(QStringLiteral(KALDORIUM_SIM), {"--link", link});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 73);
        QVERIFY2(second.readAllStandardError().contains("already links to " + node.toUtf8()),
                 "names the running device's node");
        QCOMPARE(QFileInfo(link).symLinkTarget(), node); // untouched

        // Someone else puts their link at the path: the first device leaves it at the end.
        QVERIFY(QFile::remove(link));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), link));
        first.terminate();
        QVERIFY(first.waitForFinished(5000));
        QCOMPARE(QFileInfo(link).symLinkTarget(), QStringLiteral("/dev/null"));

        // A link to a node that is gone is an old run's: taken over, and removed at the end.
        QVERIFY(QFile::remove(link));
        QVERIFY(QFile::link(node + QStringLiteral("-gone"), link));
        QProcess third;
        third.start(QStringLiteral(KALDORIUM_SIM), {"--link", link});
        QVERIFY(third.waitForReadyRead(5000));
        QVERIFY(QFileInfo::exists(QFileInfo(link).symLinkTarget()));
        third.terminate();
        QVERIFY(third.waitForFinished(5000));
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    // Several simulated devices announce themselves in one port list, each with its serial
    // number; the list and its node directory go with the last of them.
    void simProgramsShareAPortList()
    {
        QTemporaryDir dir;
        const QString ports = dir.filePath("ports");
        QList<QProcess *> sims;
        for (const char *serial : {"SN-1", "SN 2", "SN-3"}) {
            auto *sim = new QProcess(this);
            sim->start(QStringLiteral(KALDORIUM_SIM), {"--port-list", ports, "--serial", serial});
            sims.append(sim);
        }
        for (QProcess *sim : sims)
            QVERIFY(sim->waitForReadyRead(5000));
        host::PortList list;
        QString error;
        QVERIFY2(host::read_port_list(ports, &list, &error), qPrintable(error));
        QStringList serials;
        for (const host::SerialPortEntry &port : list.ports)
            serials.append(port.serialNumber);
        serials.sort();
        QCOMPARE(serials, (QStringList{"SN 2", "SN-1", "SN-3"}));
        QCOMPARE(QDir(list.nodeDirectory).entryList(QDir::System),
                 QStringList{"KALDORIUM_LPT_C100"});

        sims[1]->terminate();
        QVERIFY(sims[1]->waitForFinished(5000));
        QVERIFY(host::read_port_list(ports, &list, &error));
        QCOMPARE(list.ports.size(), 2);
        for (QProcess *sim : {sims[0], sims[2]}) {
            sim->terminate();
            QVERIFY(sim->waitForFinished(5000));
            QCOMPARE(sim->exitCode(), 0);
        }
        QVERIFY(!QFile::exists(ports));
        QVERIFY(!QFile::exists(list.nodeDirectory));
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
    }

    void simProgramRefusesBadOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unknown option") << QStringList{"--bogus"};
        QTest::newRow("interval 0") << QStringList{"--interval", "0"};
        QTest::newRow("flood text") << QStringList{"--flood", "fast"};
        QTest::newRow("stray argument") << QStringList{"extra"};
        QTest::newRow("unknown plug") << QStringList{"--plug", "loop"};
        QTest::newRow("stuck ground pin") << QStringList{"--stuck-low", "18"};
        QTest::newRow("stuck low and high") << QStringList{"--stuck-low", "4", "--stuck-high", "4"};
        QTest::newRow("short of one pin") << QStringList{"--short", "4"};
        QTest::newRow("short to itself") << QStringList{"--short", "4,4"};
        QTest::newRow("open pin 0") << QStringList{"--open", "0"};
        QTest::newRow("replug negative") << QStringList{"--replug-after", "-1"};
    }
    void simProgramRefusesBadOptions()
    {
        QFETCH(QStringList, arguments);
        QProcess sim;
        sim.start(QStringLiteral(KALDORIUM_SIM), arguments);
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 64);
        QVERIFY(sim.readAllStandardError().contains("--help"));
    }
};

QTEST_GUILESS_MAIN(TstSimulatedDevice)
#include "tst_simulated_device.moc"
