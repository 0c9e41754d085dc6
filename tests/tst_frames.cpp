// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device_link/device_contract.h"
#include "device_link/frames.h"

#include <QtTest>

#include <cstddef>

static_assert(offsetof(HC_LCNC_2_SERIAL_OUT_DATA, out) == 1);
static_assert(offsetof(HC_LCNC_2_SERIAL_OUT_DATA, counter) == 201);
static_assert(offsetof(HC_LCNC_2_SERIAL_OUT_DATA, us_peroid) == 202);
static_assert(offsetof(HC_LCNC_2_SERIAL_IN_DATA, counter) == 4);

class FramesTest : public QObject {
    Q_OBJECT

private slots:
    void commandFrame_data();
    void commandFrame();
    void sharedBufferKeepsMarkers();
    void slot_data();
    void slot();
    void counterRunsTo127AndWraps();
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

QTEST_GUILESS_MAIN(FramesTest)
#include "tst_frames.moc"
