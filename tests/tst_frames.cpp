// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device_link/db25_pins.h"
#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "device_link/pulse_slots.h"

#include <QtTest>

#include <algorithm>
#include <cstddef>

static_assert(offsetof(HC_LCNC_2_SERIAL_OUT_DATA, out) == 1);
static_assert(offsetof(HC_LCNC_2_SERIAL_OUT_DATA, counter) == 201);
static_assert(offsetof(HC_LCNC_2_SERIAL_OUT_DATA, us_peroid) == 202);
static_assert(offsetof(HC_LCNC_2_SERIAL_IN_DATA, counter) == 4);

namespace {

// Slot levels written as runs: "5h 5l" is five high slots, then five low ones.
QString runs(const char *text)
{
    QString levels;
    for (const QString &run : QString::fromLatin1(text).split(' ', Qt::SkipEmptyParts))
        levels += QString(run.chopped(1).toInt(), run.endsWith('h') ? '1' : '0');
    return levels;
}

QString levels_text(const pulse::FrameLevels &levels)
{
    QString text;
    for (bool level : levels)
        text += level ? '1' : '0';
    return text;
}

} // namespace

Q_DECLARE_METATYPE(db25::Port)

class FramesTest : public QObject {
    Q_OBJECT

private slots:
    void pinTable_data();
    void pinTable();
    void portBits_data();
    void portBits();
    void pulseSlotsContinueAcrossFrames_data();
    void pulseSlotsContinueAcrossFrames();
    void pulseAverageFrequencyIsExact_data();
    void pulseAverageFrequencyIsExact();
    void pulseCountEndsLow_data();
    void pulseCountEndsLow();
    void pinSlotBytes_data();
    void pinSlotBytes();
    void streamedFramesCarryCounter();
    void commandFrame_data();
    void commandFrame();
    void sharedBufferKeepsMarkers();
    void slot_data();
    void slot();
    void counterRunsTo127AndWraps();
    void counterGap_data();
    void counterGap();
    void builderInTheCallersRecord();
    void replyValue_data();
    void replyValue();
    void inputLevelsSurviveTheWire();
    void errorReport();
};

void FramesTest::commandFrame_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<uint>("value");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("address 0xC100") << 0u << 0xC100u << QByteArray::fromHex("ffff00030200");
    QTest::newRow("address 0xC200") << 0u << 0xC200u << QByteArray::fromHex("ffff00030400");
    QTest::newRow("data levels D0 and D7") << 8u << 0x81u << QByteArray::fromHex("ffff08000101");
    QTest::newRow("data levels D7 alone") << 8u << 0x80u << QByteArray::fromHex("ffff08000100");
    QTest::newRow("all data levels") << 8u << 0xFFu << QByteArray::fromHex("ffff0800017f");
    QTest::newRow("status levels S3..S7") << 20u << 0xF8u << QByteArray::fromHex("ffff14000178");
    QTest::newRow("read data direction") << 24u << 0u << QByteArray::fromHex("ffff18000000");
    QTest::newRow("bootloader") << 127u << 0u << QByteArray::fromHex("ffff7f000000");
    QTest::newRow("bits 21 and 0: 21 is lost")
        << 4u << ((1u << 21) | 1u) << QByteArray::fromHex("ffff04000001");
    QTest::newRow("21 bits all set") << 4u << 0x1FFFFFu << QByteArray::fromHex("ffff047f7f7f");
    QTest::newRow("32 bits all set") << 4u << 0xFFFFFFFFu << QByteArray::fromHex("ffff047f7f7f");
}

void FramesTest::commandFrame()
{
    QFETCH(uint, code);
    QFETCH(uint, value);
    QFETCH(QByteArray, frame);
    QCOMPARE(frames::command_frame(uint8_t(code), value).toHex(), frame.toHex());
}

void FramesTest::sharedBufferKeepsMarkers()
{
    QByteArray buffer = frames::command_frame(contract::StoreDataLevels, 0x7F);
    frames::write_command(buffer, contract::StoreStatusLevels, 0x08);
    QCOMPARE(buffer.toHex(), QByteArray("ffff14000008"));
    frames::write_command(buffer, contract::ReadStatusLevels, 0);
    QCOMPARE(buffer.toHex(), QByteArray("ffff28000000"));
}

void FramesTest::slot_data()
{
    QTest::addColumn<uint>("data");
    QTest::addColumn<uint>("control");
    QTest::addColumn<bool>("dataOutput");
    QTest::addColumn<bool>("controlOutput");
    QTest::addColumn<QByteArray>("slot");

    QTest::newRow("both input, nothing")
        << 0u << 0u << false << false << QByteArray::fromHex("0000");
    QTest::newRow("data output, nothing held")
        << 0u << 0u << true << false << QByteArray::fromHex("0020");
    QTest::newRow("data output, D0") << 0x01u << 0u << true << false << QByteArray::fromHex("0060");
    QTest::newRow("data output, D7") << 0x80u << 0u << true << false << QByteArray::fromHex("4020");
    QTest::newRow("data output, D0 and D7")
        << 0x81u << 0u << true << false << QByteArray::fromHex("4060");
    QTest::newRow("data output, all")
        << 0xFFu << 0u << true << false << QByteArray::fromHex("7f60");
    QTest::newRow("control output, C3")
        << 0u << 0x8u << false << true << QByteArray::fromHex("0018");
    QTest::newRow("control output, C0..C3")
        << 0u << 0xFu << false << true << QByteArray::fromHex("001f");
    QTest::newRow("control bits above C3 are dropped")
        << 0u << 0xF1u << false << true << QByteArray::fromHex("0011");
    QTest::newRow("both output") << 0xFFu << 0xFu << true << true << QByteArray::fromHex("7f7f");
}

void FramesTest::slot()
{
    QFETCH(uint, data);
    QFETCH(uint, control);
    QFETCH(bool, dataOutput);
    QFETCH(bool, controlOutput);
    QFETCH(QByteArray, slot);
    const d_byte packed =
        frames::pack_slot(uint8_t(data), uint8_t(control), dataOutput, controlOutput);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&packed), 2).toHex(), slot.toHex());
    QVERIFY(!(packed.out_0 & 0x80) && !(packed.out_1 & 0x80)); // never a marker
}

void FramesTest::counterRunsTo127AndWraps()
{
    uint8_t counter = 0; // the value at program start: the first frame carries 1
    QList<int> sequence;
    for (int frame = 0; frame < 130; ++frame) {
        counter = frames::next_counter(counter);
        sequence.append(counter);
    }
    QCOMPARE(sequence.first(), 1);
    QCOMPARE(sequence.at(126), 127);
    QCOMPARE(sequence.at(127), 0);
    QCOMPARE(sequence.at(128), 1);
    QCOMPARE(int(frames::next_counter(200)), 0); // anything above 126 wraps
}

void FramesTest::counterGap_data()
{
    QTest::addColumn<int>("previous");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("lost");
    QTest::newRow("next") << 4 << 5 << 0;
    QTest::newRow("127 then 0") << 127 << 0 << 0;
    QTest::newRow("two skipped") << 4 << 7 << 2;
    QTest::newRow("skipped across the wrap") << 126 << 1 << 2;
    QTest::newRow("repeated") << 9 << 9 << 127;
    QTest::newRow("one step back") << 9 << 8 << 126;
}

void FramesTest::counterGap()
{
    QFETCH(int, previous);
    QFETCH(int, current);
    QFETCH(int, lost);
    QCOMPARE(frames::counter_gap(uint8_t(previous), uint8_t(current)), lost);
}

void FramesTest::builderInTheCallersRecord()
{
    // The window fills the slots of its own record and has the builder end the frame; the
    // bytes are those of a builder that keeps its own record.
    HC_LCNC_2_SERIAL_OUT_DATA record{};
    frames::TestFrameBuilder window(record);
    window.set_header();
    frames::TestFrameBuilder own;
    const d_byte slot = frames::pack_slot(0x02, 0x08, true, true);
    for (int frame = 0; frame < 130; ++frame) {
        std::fill_n(window.out(), frames::kTestFrameSlots, slot);
        window.finish();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&record), frames::kTestFrameSize),
                 own.steady(slot));
    }
    QCOMPARE(int(record.counter), 130 % 128);
}

void FramesTest::replyValue_data()
{
    QTest::addColumn<uint>("high");
    QTest::addColumn<uint>("low");
    QTest::addColumn<uint>("value");
    QTest::newRow("D0 and D7") << 1u << 1u << 0x81u;
    QTest::newRow("largest 7-bit groups") << 0x7Fu << 0x7Fu << 0x3FFFu;
    QTest::newRow("no masking of the low byte") << 0u << 0x90u << 0x90u;
}

void FramesTest::replyValue()
{
    QFETCH(uint, high);
    QFETCH(uint, low);
    QFETCH(uint, value);
    QCOMPARE(frames::join_reply_value(uint8_t(high), uint8_t(low)), uint32_t(value));
    if (high < 0x80 && low < 0x80) {
        const QByteArray reply = frames::reply_frame(28, value);
        QCOMPARE(uint8_t(reply.at(3)), uint8_t(high));
        QCOMPARE(uint8_t(reply.at(4)), uint8_t(low));
    }
}

void FramesTest::inputLevelsSurviveTheWire()
{
    // Whatever the device packs, the host unpacks the same pin levels.
    for (int data = 0; data < 256; ++data) {
        for (int status = 0; status < 32; ++status) {
            const frames::InputLevels sent{uint8_t(data), uint8_t(status << 3),
                                           uint8_t(status & 0xF)};
            const HC_LCNC_2_SERIAL_IN_DATA frame = frames::pack_input(sent, 5);
            QVERIFY(!(frame.in_1 & frames::kInputErrorFlag));
            const frames::InputLevels got =
                frames::unpack_input(frame.in_0, frame.in_1, frame.in_2);
            QCOMPARE(got.data, sent.data);
            QCOMPARE(got.status, sent.status);
            QCOMPARE(got.control, sent.control);
        }
    }
    const HC_LCNC_2_SERIAL_IN_DATA frame = frames::pack_input({0x02, 0x10, 0x03}, 4);
    QCOMPARE(frames::to_bytes(frame).toHex(), QByteArray("ff01020304"));
}

void FramesTest::errorReport()
{
    const HC_LCNC_2_SERIAL_IN_DATA frame = frames::pack_error_report(
        frames::kErrorFifo | frames::kErrorFrameBroken | frames::kErrorInputFrameLost, 0);
    QCOMPARE(frames::to_bytes(frame).toHex(), QByteArray("ff00207000"));
}

void FramesTest::pinTable_data()
{
    // The connector as the device's register bits put it, and an input status frame that
    // reports that one pin high.
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("1") << 1 << "C0" << QByteArray::fromHex("ff00000100");
    QTest::newRow("2") << 2 << "D0" << QByteArray::fromHex("ff00400000");
    QTest::newRow("3") << 3 << "D1" << QByteArray::fromHex("ff01000000");
    QTest::newRow("4") << 4 << "D2" << QByteArray::fromHex("ff02000000");
    QTest::newRow("5") << 5 << "D3" << QByteArray::fromHex("ff04000000");
    QTest::newRow("6") << 6 << "D4" << QByteArray::fromHex("ff08000000");
    QTest::newRow("7") << 7 << "D5" << QByteArray::fromHex("ff10000000");
    QTest::newRow("8") << 8 << "D6" << QByteArray::fromHex("ff20000000");
    QTest::newRow("9") << 9 << "D7" << QByteArray::fromHex("ff40000000");
    QTest::newRow("10") << 10 << "S6" << QByteArray::fromHex("ff00080000");
    QTest::newRow("11") << 11 << "S7" << QByteArray::fromHex("ff00100000");
    QTest::newRow("12") << 12 << "S5" << QByteArray::fromHex("ff00040000");
    QTest::newRow("13") << 13 << "S4" << QByteArray::fromHex("ff00020000");
    QTest::newRow("14") << 14 << "C1" << QByteArray::fromHex("ff00000200");
    QTest::newRow("15") << 15 << "S3" << QByteArray::fromHex("ff00010000");
    QTest::newRow("16") << 16 << "C2" << QByteArray::fromHex("ff00000400");
    QTest::newRow("17") << 17 << "C3" << QByteArray::fromHex("ff00000800");
    QTest::newRow("18 ground") << 18 << "GND" << QByteArray::fromHex("ff7f5f0f00");
    QTest::newRow("25 ground") << 25 << "GND" << QByteArray::fromHex("ff7f5f0f00");
}

void FramesTest::pinTable()
{
    QFETCH(int, number);
    QFETCH(QString, name);
    QFETCH(QByteArray, frame);
    const db25::Pin &pin = db25::pin(number);
    QCOMPARE(pin.number, number);
    QCOMPARE(QString::fromLatin1(pin.name), name);
    const frames::InputLevels levels =
        frames::unpack_input(uint8_t(frame[1]), uint8_t(frame[2]), uint8_t(frame[3]));
    const uint32_t expected = number <= db25::kSignalPins ? 1u << (number - 1) : 0x1FFFFu;
    QCOMPARE(db25::signal_levels(levels), expected);
    QCOMPARE(db25::level(pin, levels), number <= db25::kSignalPins);
}

void FramesTest::portBits_data()
{
    QTest::addColumn<db25::Port>("port");
    QTest::addColumn<int>("bits");
    QTest::newRow("data D0..D7") << db25::Port::Data << 0xFF;
    QTest::newRow("control C0..C3") << db25::Port::Control << 0x0F;
    QTest::newRow("status S3..S7") << db25::Port::Status << 0xF8;
    QTest::newRow("ground") << db25::Port::Ground << 0x00;
}

void FramesTest::portBits()
{
    QFETCH(db25::Port, port);
    QFETCH(int, bits);
    QCOMPARE(int(db25::port_bits(port)), bits);
}

void FramesTest::pulseSlotsContinueAcrossFrames_data()
{
    QTest::addColumn<int>("hz");
    QTest::addColumn<int>("duty");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("1000 Hz 50 %")
        << 1000 << 50 << runs("5h 5l 5h 5l 5h 5l 5h 5l 5h 5l 5h 5l 5h 5l 5h 5l 5h 5l 5h 5l")
        << runs("5h 5l 5h 5l 5h 5l 5h 5l 5h 5l 5h 5l 5h 5l 5h 5l 5h 5l 5h 5l");
    QTest::newRow("5000 Hz 50 %") << 5000 << 50 << QString("10").repeated(50)
                                  << QString("10").repeated(50);
    // Too short a period for 1 %: one slot high, one low.
    QTest::newRow("5000 Hz 1 %") << 5000 << 1 << QString("10").repeated(50)
                                 << QString("10").repeated(50);
    // Periods of 34, 33 and 33 slots; the high parts 9, 8 and 8 slots: 25 % on average.
    QTest::newRow("300 Hz 25 %") << 300 << 25 << runs("9h 25l 8h 25l 8h 25l")
                                 << runs("9h 25l 8h 25l 8h 25l");
    // A period of 142.86 slots runs over the frame's end; the next pulse rises at slot 143.
    QTest::newRow("70 Hz 50 %") << 70 << 50 << runs("72h 28l") << runs("43l 57h");
    QTest::newRow("10 Hz 90 %") << 10 << 90 << runs("100h") << runs("100h");
}

void FramesTest::pulseSlotsContinueAcrossFrames()
{
    QFETCH(int, hz);
    QFETCH(int, duty);
    QFETCH(QString, first);
    QFETCH(QString, second);
    pulse::SlotWave wave(hz, duty);
    QCOMPARE(levels_text(wave.next_frame()), first);
    QCOMPARE(levels_text(wave.next_frame()), second);
}

void FramesTest::pulseAverageFrequencyIsExact_data()
{
    QTest::addColumn<int>("hz");
    QTest::addColumn<int>("duty");
    QTest::addColumn<int>("highSlots"); // in one second
    QTest::newRow("1 Hz") << 1 << 50 << 5000;
    QTest::newRow("7 Hz") << 7 << 30 << 3000;
    QTest::newRow("333 Hz") << 333 << 50 << 5000;
    QTest::newRow("3333 Hz") << 3333 << 50 << 5000;
    QTest::newRow("4000 Hz 10 %") << 4000 << 10 << 4000; // at least one slot of each 2.5
    QTest::newRow("4999 Hz") << 4999 << 99 << 5001;
    QTest::newRow("5000 Hz") << 5000 << 50 << 5000;
    // Periods of 2.5 and 4 slots: the duty asked for cannot be cut, the wire carries another.
    QTest::newRow("4000 Hz 50 %") << 4000 << 50 << 6000;
    QTest::newRow("2500 Hz 30 %") << 2500 << 30 << 5000;
}

void FramesTest::pulseAverageFrequencyIsExact()
{
    QFETCH(int, hz);
    QFETCH(int, duty);
    QFETCH(int, highSlots);
    pulse::SlotWave wave(hz, duty);
    int rising = 0;
    int high = 0;
    bool previous = false;
    for (int frame = 0; frame < 100; ++frame) { // one second
        for (bool level : wave.next_frame()) {
            rising += level && !previous;
            high += level;
            previous = level;
        }
    }
    QCOMPARE(rising, hz);
    QCOMPARE(high, highSlots);
    QCOMPARE(wave.wire_high_share(), highSlots); // one second is a whole phase cycle
}

void FramesTest::pulseCountEndsLow_data()
{
    QTest::addColumn<int>("hz");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("frames"); // frames until the last pulse has ended
    QTest::newRow("1000 Hz x 3") << 1000 << 3 << 1;
    QTest::newRow("1000 Hz x 10") << 1000 << 10 << 1; // the tenth falls at slot 95
    QTest::newRow("1000 Hz x 11") << 1000 << 11 << 2;
    QTest::newRow("70 Hz x 2") << 70 << 2 << 3;
    QTest::newRow("1 Hz x 1") << 1 << 1 << 51;
}

void FramesTest::pulseCountEndsLow()
{
    QFETCH(int, hz);
    QFETCH(int, count);
    QFETCH(int, frames);
    pulse::SlotWave wave(hz, 50, count);
    int sent = 0;
    int rising = 0;
    bool previous = false;
    while (!wave.finished() && sent < 1000) {
        const pulse::FrameLevels levels = wave.next_frame();
        ++sent;
        for (bool level : levels) {
            rising += level && !previous;
            previous = level;
        }
    }
    QCOMPARE(sent, frames);
    QCOMPARE(rising, count);
    QVERIFY(!previous); // the pin stays low
    QCOMPARE(levels_text(wave.next_frame()), QString(100, '0'));
}

void FramesTest::pinSlotBytes_data()
{
    QTest::addColumn<int>("pin");
    QTest::addColumn<bool>("level");
    QTest::addColumn<QByteArray>("slot");
    QTest::newRow("2 high") << 2 << true << QByteArray::fromHex("0060");
    QTest::newRow("2 low") << 2 << false << QByteArray::fromHex("0020");
    QTest::newRow("3 high") << 3 << true << QByteArray::fromHex("0120");
    QTest::newRow("9 high") << 9 << true << QByteArray::fromHex("4020");
    QTest::newRow("1 high") << 1 << true << QByteArray::fromHex("0011");
    QTest::newRow("17 high") << 17 << true << QByteArray::fromHex("0018");
    QTest::newRow("17 low") << 17 << false << QByteArray::fromHex("0010");
}

void FramesTest::pinSlotBytes()
{
    QFETCH(int, pin);
    QFETCH(bool, level);
    QFETCH(QByteArray, slot);
    QVERIFY(pulse::is_output_pin(pin));
    const d_byte made = pulse::pin_slot(db25::pin(pin), level);
    const QByteArray bytes = QByteArray(1, char(made.out_0)) + char(made.out_1);
    QCOMPARE(bytes.toHex(), slot.toHex());
}

void FramesTest::streamedFramesCarryCounter()
{
    for (int pin : {10, 11, 12, 13, 15, 18, 25, 0, 26})
        QVERIFY2(!pulse::is_output_pin(pin), qPrintable(QString::number(pin)));
    frames::TestFrameBuilder builder;
    const QByteArray first = builder.steady(frames::pack_slot(0x81, 0, true, false));
    QCOMPARE(first.size(), frames::kTestFrameSize);
    QCOMPARE(first.left(5).toHex(), QByteArray("ff40604060"));
    QCOMPARE(first.right(3).toHex(), QByteArray("600164")); // counter 1 first, then 100 us
    for (int n = 2; n <= 128; ++n)
        builder.steady(d_byte{0, 0});
    QCOMPARE(builder.counter(), uint8_t(0)); // 127 is followed by 0
}

QTEST_GUILESS_MAIN(FramesTest)
#include "tst_frames.moc"
