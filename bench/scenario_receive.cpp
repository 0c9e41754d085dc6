// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Receive throughput through the window's own receive path: the port's notification,
// readData, the per-byte debug message and the state machine.

#include "device_link/db25_pins.h"
#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "device_link/host_ports.h"
#include "device_rig.h"
#include "mainwindow.h"
#include "measure.h"
#include "program_state.h"
#include "pseudo_terminal.h"
#include "scenarios.h"

#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

namespace bench {

namespace {

constexpr uint8_t kDataBits = db25::port_bits(db25::Port::Data);
constexpr uint8_t kStatusBits = db25::port_bits(db25::Port::Status);
constexpr uint8_t kControlBits = db25::port_bits(db25::Port::Control);

// Whole input status frames (13107 of them, 65535 bytes) with changing levels and
// counters; the data levels stay below 0x7F.
QByteArray status_stream()
{
    QByteArray bytes;
    for (int n = 0; n < 13107; ++n) {
        const frames::InputLevels levels{uint8_t(n % 0x7F), uint8_t((n * 8) & kStatusBits),
                                         uint8_t(n & kControlBits)};
        bytes += frames::to_bytes(frames::pack_input(levels, uint8_t(n & 0x7F)));
    }
    return bytes;
}

// The last frame of a run: the only one that sets every data pin.
constexpr frames::InputLevels kFinalLevels{kDataBits, kStatusBits, kControlBits};

bool final_frame_taken()
{
    return input_data == kFinalLevels.data && input_control == kFinalLevels.control;
}

} // namespace

QJsonObject run_receive(double seconds)
{
    PseudoTerminal line;
    QTemporaryDir node_directory;
    if (!line.isOpen() || !node_directory.isValid())
        qFatal("no pseudo-terminal");
    QFile::link(line.slavePath(), node_directory.filePath(QLatin1String(contract::kDefaultNode)));
    host::set_device_node_directory(node_directory.path());
    host::set_port_enumerator([] {
        return QList<host::SerialPortEntry>{
            {QString::fromLatin1(contract::kManufacturer), QStringLiteral("C100")}};
    });

    MainWindow window;
    window.show();
    run_event_loop_for(50);
    click(window, "Open_pushButton");
    if (!console_text(window).contains(QLatin1String("Opening port - success!\n")))
        qFatal("the window could not open the line");

    // Connected after the window's own readData, so it sees what that call has parsed.
    auto *port = window.findChild<QSerialPort *>();
    qint64 notifications = 0;
    qint64 done_ns = 0;
    const QMetaObject::Connection watching =
        QObject::connect(port, &QSerialPort::readyRead, &window, [&] {
            ++notifications;
            if (!done_ns && final_frame_taken())
                done_ns = monotonic_ns();
        });

    const QByteArray stream = status_stream();
    const QByteArray final_frame = frames::to_bytes(frames::pack_input(kFinalLevels, 0));
    std::atomic<qint64> started_ns{0};
    std::atomic<qint64> written{0};
    std::thread writer([&] {
        const qint64 start = monotonic_ns();
        const qint64 stop = start + qint64(seconds * 1e9);
        started_ns = start;
        qint64 total = 0;
        while (monotonic_ns() < stop && line.write(stream))
            total += stream.size();
        if (line.write(final_frame))
            total += final_frame.size();
        written = total;
    });
    const bool finished =
        run_event_loop_until([&] { return done_ns != 0; }, int(seconds * 1000) + 120000);
    writer.join();
    QObject::disconnect(watching);
    if (!finished)
        qFatal("the receive path did not take the whole stream");

    const double elapsed = double(done_ns - started_ns) / 1e9;
    QJsonObject result;
    result[QStringLiteral("seconds")] = elapsed;
    result[QStringLiteral("bytes")] = double(written);
    result[QStringLiteral("bytes_per_second")] = double(written) / elapsed;
    result[QStringLiteral("bytes_per_notification")] = double(written) / double(notifications);

    click(window, "Close_pushButton");
    host::set_port_enumerator({});
    host::set_device_node_directory({});
    return result;
}

} // namespace bench
