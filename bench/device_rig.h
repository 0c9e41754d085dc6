// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_BENCH_DEVICE_RIG_H
#define KALDORIUM_BENCH_DEVICE_RIG_H

// The program's main window, shown, with a simulated KALDORIUM-LPT plugged in (in a thread
// of its own). The window finds the device through the same port enumeration and
// device-node lookup as a real one, and is driven by clicking its buttons.

#include "device_thread.h"

#include <QTemporaryDir>

#include <memory>

class MainWindow;
class SimulatedDeviceEndpoint;

namespace bench {

class DeviceRig {
public:
    DeviceRig();
    ~DeviceRig();
    DeviceRig(const DeviceRig &) = delete;
    DeviceRig &operator=(const DeviceRig &) = delete;

    MainWindow &window() { return *window_; }
    SimulatedDeviceEndpoint &device() { return device_->device(); }

    // Clicks "Open"; true when the console reports the port open.
    bool openPort();
    // Clicks "Close".
    void closePort();
    // Chooses "Output" for the data port and clicks "Run test".
    void runTest();
    // Clicks "Stop test".
    void stopTest();

private:
    QTemporaryDir node_directory_;
    std::unique_ptr<DeviceThread> device_;
    std::unique_ptr<MainWindow> window_;
};

// Clicks the push button of the window with this object name.
void click(MainWindow &window, const char *button);
QString console_text(MainWindow &window);

} // namespace bench

#endif
