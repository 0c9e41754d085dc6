// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device_link/receive_parser.h"

#include <QtTest>

// Feeds each chunk to the state machine and describes what completed, e.g.
// "levels", "error 70", "reply 28 129".
static QStringList feed(receive::State &state, const QList<QByteArray> &chunks)
{
    QStringList completed;
    for (const QByteArray &chunk : chunks) {
        for (const char c : chunk) {
            const receive::Event event = receive::take_byte(state, uint8_t(c));
            switch (event.what) {
            case receive::Completed::Nothing:
                break;
            case receive::Completed::InputLevels:
                completed << QStringLiteral("levels");
                break;
            case receive::Completed::ErrorReport:
                completed
                    << QStringLiteral("error %1").arg(event.error_bits, 2, 16, QLatin1Char('0'));
                break;
            case receive::Completed::ConfigReply:
                completed << QStringLiteral("reply %1 %2")
                                 .arg(state.config_type)
                                 .arg(state.input_config_data);
                break;
            }
        }
    }
    return completed;
}

static QList<QByteArray> hexChunks(const QString &text)
{
    QList<QByteArray> chunks;
    for (const QString &chunk : text.split(QLatin1Char('|')))
        chunks << QByteArray::fromHex(chunk.toLatin1());
    return chunks;
}

class ReceiveParserTest : public QObject {
    Q_OBJECT

private slots:
    void frames_data();
    void frames();
    void statesFollowTheTable_data();
    void statesFollowTheTable();
    void markerIsNeverStoredAsHeader();
    void eachRecordFollowsItsOwnStream();
};

void ReceiveParserTest::frames_data()
{
    // Chunks are separated by '|'. Start state of the input: data 0, status 0, control 0,
    // previous counter 127; a row that changes nothing expects those.
    QTest::addColumn<QString>("bytes");
    QTest::addColumn<QStringList>("completed");
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("control");
    QTest::addColumn<int>("counter");
    QTest::addColumn<int>("finalState");

    QTest::newRow("input frame") << "ff01020304" << QStringList{"levels"} << 0x02 << 0x10 << 0x03
                                 << 4 << 100;
    QTest::newRow("input frame in two notifications")
        << "ff01|020304" << QStringList{"levels"} << 0x02 << 0x10 << 0x03 << 4 << 100;
    QTest::newRow("input frame one byte at a time")
        << "ff|01|02|03|04" << QStringList{"levels"} << 0x02 << 0x10 << 0x03 << 4 << 100;
    QTest::newRow("all data pins, no status")
        << "ff7f400005" << QStringList{"levels"} << 0xFF << 0x00 << 0x00 << 5 << 100;
    QTest::newRow("control keeps the upper bits as received")
        << "ff00007f01" << QStringList{"levels"} << 0 << 0 << 0x7F << 1 << 100;
    QTest::newRow("error report with all three bits")
        << "ff00207000" << QStringList{"error 70"} << 0 << 0 << 0 << 0 << 100;
    QTest::newRow("error report without error bits")
        << "ff00200009" << QStringList{"error 00"} << 0 << 0 << 0 << 9 << 100;
    QTest::newRow("marker inside a frame drops it and the next one")
        << "ff05ff01020304" << QStringList{} << 0 << 0 << 0 << 127 << 100;
    QTest::newRow("resynchronised by the following marker")
        << "ff05ff01020304ff01020304" << QStringList{"levels"} << 0x02 << 0x10 << 0x03 << 4 << 100;
    QTest::newRow("bytes before the first marker are ignored")
        << "0102ff01020304" << QStringList{"levels"} << 0x02 << 0x10 << 0x03 << 4 << 100;
    QTest::newRow("reply D0 and D7")
        << "ffff1c0101" << QStringList{"reply 28 129"} << 0 << 0 << 0 << 127 << 100;
    QTest::newRow("reply split over three notifications")
        << "ffff|1c01|01" << QStringList{"reply 28 129"} << 0 << 0 << 0 << 127 << 100;
    QTest::newRow("reply with an unknown type still completes")
        << "ffff190000" << QStringList{"reply 25 0"} << 0 << 0 << 0 << 127 << 100;
    QTest::newRow("marker inside a reply drops it")
        << "ffff1cff0101" << QStringList{} << 0 << 0 << 0 << 127 << 100;
    QTest::newRow("three markers leave the parser idle")
        << "ffffff" << QStringList{} << 0 << 0 << 0 << 127 << 100;
    QTest::newRow("unfinished frame waits for the rest")
        << "ff0102" << QStringList{} << 0 << 0 << 0 << 127 << 3;
    QTest::newRow("input frame then reply back to back")
        << "ff01020304ffff180001" << QStringList{"levels", "reply 24 1"} << 0x02 << 0x10 << 0x03
        << 4 << 100;
}

void ReceiveParserTest::frames()
{
    QFETCH(QString, bytes);
    QFETCH(QStringList, completed);
    QFETCH(int, data);
    QFETCH(int, status);
    QFETCH(int, control);
    QFETCH(int, counter);
    QFETCH(int, finalState);

    receive::State state;
    QCOMPARE(feed(state, hexChunks(bytes)), completed);
    QCOMPARE(int(state.input_data), data);
    QCOMPARE(int(state.input_status), status);
    QCOMPARE(int(state.input_control), control);
    QCOMPARE(int(state.prev_read_counter), counter);
    QCOMPARE(int(state.read_index), finalState);
}

void ReceiveParserTest::statesFollowTheTable_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("afterMarker");
    QTest::addColumn<int>("afterOther");
    QTest::newRow("idle") << 100 << 1 << 100;
    QTest::newRow("one marker") << 1 << 10 << 2;
    QTest::newRow("in_1") << 2 << 100 << 3;
    QTest::newRow("in_2") << 3 << 100 << 4;
    QTest::newRow("counter") << 4 << 100 << 100;
    QTest::newRow("reply type") << 10 << 100 << 11;
    QTest::newRow("reply high") << 11 << 100 << 12;
    QTest::newRow("reply low") << 12 << 100 << 100;
}

void ReceiveParserTest::statesFollowTheTable()
{
    QFETCH(int, state);
    QFETCH(int, afterMarker);
    QFETCH(int, afterOther);
    receive::State record;
    record.read_index = int8_t(state);
    receive::take_byte(record, 0xFF);
    QCOMPARE(int(record.read_index), afterMarker);
    record.read_index = int8_t(state);
    receive::take_byte(record, 0x11);
    QCOMPARE(int(record.read_index), afterOther);
}

void ReceiveParserTest::markerIsNeverStoredAsHeader()
{
    receive::State state;
    feed(state, hexChunks(QStringLiteral("ff7f7f7f7f")));
    QCOMPARE(int(state.serial_input.header), 0);
    QCOMPARE(int(state.serial_input.in_0), 0x7F);
    QCOMPARE(int(state.serial_input.counter), 0x7F);
}

void ReceiveParserTest::eachRecordFollowsItsOwnStream()
{
    // Two devices whose frames arrive interleaved: each half-received frame is finished by
    // its own device's next bytes.
    receive::State first;
    receive::State second;
    QCOMPARE(feed(first, hexChunks(QStringLiteral("ff0102"))), QStringList{});
    QCOMPARE(feed(second, hexChunks(QStringLiteral("ffff1c01"))), QStringList{});
    QCOMPARE(feed(first, hexChunks(QStringLiteral("0304"))), QStringList{"levels"});
    QCOMPARE(feed(second, hexChunks(QStringLiteral("01"))), QStringList{"reply 28 129"});
    QCOMPARE(int(first.input_data), 0x02);
    QCOMPARE(int(first.prev_read_counter), 4);
    QCOMPARE(int(second.input_data), 0);
    QCOMPARE(int(second.prev_read_counter), 127);
    QCOMPARE(int(first.config_type), 0);
}

QTEST_GUILESS_MAIN(ReceiveParserTest)
#include "tst_receive_parser.moc"
