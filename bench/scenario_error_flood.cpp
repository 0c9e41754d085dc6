// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// A device that reports all three errors in every status frame, 200 frames a second (one
// whose FIFO keeps overrunning), during a live test: the console takes 600 lines a second.
// What that costs the program's thread, and whether its memory stays flat.

#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "device_link/host_ports.h"
#include "device_rig.h"
#include "mainwindow.h"
#include "measure.h"
#include "pseudo_terminal.h"
#include "scenarios.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <thread>

namespace bench {

namespace {

constexpr int kFrameIntervalMs = 5;
constexpr int kLinesPerFrame = 3;
// Memory is sampled at 10 s, and at 20 s, when the console holds more than 10,000 lines.
constexpr int kFirstSampleMs = 10000;
constexpr int kFullConsoleMs = 20000;

struct Sample {
    qint64 ns = 0;
    CpuTime cpu;
    long rss_kib = 0;
};

Sample sample_now()
{
    return {monotonic_ns(), cpu_time(), current_rss_kib()};
}

double cpu_percent(const Sample &from, const Sample &to)
{
    return 100.0 * double(to.cpu.thread_ns - from.cpu.thread_ns) / double(to.ns - from.ns);
}

} // namespace

QJsonObject run_error_flood(double seconds)
{
    seconds = qMax(seconds, 2.0 * kFullConsoleMs / 1000);
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
    window.findChild<QRadioButton *>(QStringLiteral("radioButton_2"))->setChecked(true);
    click(window, "Run_pushButton");

    // The device: an error report every 5 ms, and it takes the test frames.
    std::atomic<bool> stop{false};
    std::atomic<qint64> reports{0};
    std::thread device([&] {
        const QByteArray report = QByteArray::fromHex("ff00207000");
        auto next = std::chrono::steady_clock::now();
        while (!stop) {
            if (line.write(report))
                ++reports;
            line.readAvailable();
            next += std::chrono::milliseconds(kFrameIntervalMs);
            std::this_thread::sleep_until(next);
        }
    });

    const Sample start = sample_now();
    run_event_loop_for(kFirstSampleMs);
    const Sample first = sample_now();
    run_event_loop_for(kFullConsoleMs - kFirstSampleMs);
    const Sample full = sample_now();
    run_event_loop_for(int(seconds * 1000) - kFullConsoleMs);
    const Sample end = sample_now();
    stop = true;
    device.join();

    auto *console = window.findChild<QPlainTextEdit *>(QStringLiteral("console"));
    QJsonObject result;
    result[QStringLiteral("seconds")] = double(end.ns - start.ns) / 1e9;
    result[QStringLiteral("lines_per_second")] =
        double(reports * kLinesPerFrame) / (double(end.ns - start.ns) / 1e9);
    result[QStringLiteral("console_lines")] = console->toPlainText().count(QLatin1Char('\n'));
    result[QStringLiteral("rss_start_kib")] = double(start.rss_kib);
    result[QStringLiteral("rss_10s_kib")] = double(first.rss_kib);
    result[QStringLiteral("rss_20s_kib")] = double(full.rss_kib);
    result[QStringLiteral("rss_end_kib")] = double(end.rss_kib);
    result[QStringLiteral("gui_thread_cpu_percent")] = cpu_percent(start, end);
    result[QStringLiteral("gui_thread_cpu_full_console_percent")] = cpu_percent(full, end);

    click(window, "Sto_pushButton");
    click(window, "Close_pushButton");
    host::set_port_enumerator({});
    host::set_device_node_directory({});
    return result;
}

} // namespace bench
