// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_BENCH_SCENARIOS_H
#define KALDORIUM_BENCH_SCENARIOS_H

// The measurements. Each runs in a fresh child process of the benchmark, with the
// application object made (offscreen platform), and returns its figures; the process
// prints them as one JSON line.

#include <QJsonObject>
#include <QtGlobal>

namespace bench {

// Live test streaming with the device sending its status frames; flood_rate 0 paces them
// at the device's usual interval, otherwise the device sends that many bytes a second.
// Without exact_wakeup the window's tick keeps to the event loop's millisecond sleeps.
QJsonObject run_streaming(int flood_rate, bool exact_wakeup, double seconds);

// The window with no test running, its port closed or open (the device reporting).
QJsonObject run_idle(bool port_open, double seconds);

// The floor under the two above: the same timer, serial port and device without the
// window, streaming or not, the device reporting at its pace or flooding.
QJsonObject run_reference(bool streaming, int flood_rate, double seconds);

// The live test on a desktop session while a drag runs and while the firmware file dialog
// is open; prints its figures and ends the process from inside the dialog.
void run_desktop(double seconds);

// Receive throughput: valid status frames written into the line as fast as it takes them,
// consumed by the window's own receive path.
QJsonObject run_receive(double seconds);

// The firmware upload with a stand-in dfu-util: its two pauses, their length and CPU.
QJsonObject run_upload();

// The device reporting all three errors in every status frame during a live test: the
// console's CPU and the program's memory over time.
QJsonObject run_error_flood(double seconds);

// Start-up: from the spawn of the process to the window shown.
struct StartupMarks {
    qint64 spawned_ns = 0; // set by the parent just before it started this process
    qint64 main_entered_ns = 0;
    qint64 application_made_ns = 0;
};
QJsonObject run_startup(const StartupMarks &marks);

// The command line kaldorium-lpt, process start to exit, `list`, `defaults read` and a
// `defaults write` that finds the profile held, against the simulated device, each run times:
// arrays of milliseconds and peak resident memory (KiB).
QJsonObject run_cli(int runs);

// The Ansible collection's example playbook on localhost against 8 simulated devices: the
// first run (stores), `runs` runs that find every device at the profile, and a --check --diff
// run with one device drifted; seconds each, and the "changed" of each recap.
QJsonObject run_playbook(int runs);

// kaldorium-lpt pins: drive and pulse frame gaps at the device (quiet, and with two busy
// processes), record at the full line rate (frames lost, CPU); each streaming run `seconds`.
QJsonObject run_pins(double seconds);

// kaldorium-lpt on a production bench, against kaldorium-lpt-sim processes: selftest with
// each built-in plug, `runs` times each (spawn to exit); provision of `devices` simulated
// devices plugged in one after another (seconds per device); wait idle for `seconds` on the
// host's ports and on the stand-in port list (CPU), and how soon it notices a device.
QJsonObject run_selftest(int runs);
QJsonObject run_provision(int devices);
QJsonObject run_wait_idle(double seconds);

} // namespace bench

#endif
