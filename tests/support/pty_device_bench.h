// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_PTY_DEVICE_BENCH_H
#define KALDORIUM_TEST_PTY_DEVICE_BENCH_H

// A freshly started program whose port list shows devices whose device nodes all lead to one
// pseudo-terminal: the test plays the device on its master side, byte for byte.

#include "fake_host.h"

#include <QByteArray>
#include <QStringList>

#include <memory>

class MainWindow;
class PseudoTerminal;

namespace testsupport {

class DeviceBench {
public:
    // One listed device per address ("C100" by default), each with its node
    // KALDORIUM_LPT_<ADDRESS>. The program state is reset before the window is built.
    explicit DeviceBench(const QStringList &addresses = {QStringLiteral("C100")});
    ~DeviceBench();
    DeviceBench(const DeviceBench &) = delete;
    DeviceBench &operator=(const DeviceBench &) = delete;

    MainWindow &window() { return *window_; }
    PseudoTerminal &device() { return *pty_; }

    // Clicks Open; true when the console reports the port open.
    bool openPort();

private:
    FakeHost host_;
    std::unique_ptr<PseudoTerminal> pty_;
    std::unique_ptr<MainWindow> window_;
};

// Reads what the program writes to the device until at least `count` bytes have come or
// `timeoutMs` has passed, keeping the event loop (and with it the program's timer) turning.
QByteArray readFromProgram(PseudoTerminal &device, int count, int timeoutMs = 5000);

} // namespace testsupport

#endif
