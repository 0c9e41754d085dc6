// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_SIMULATED_DEVICE_RIG_H
#define KALDORIUM_TEST_SIMULATED_DEVICE_RIG_H

// A freshly started program (state reset, window built) with the simulated KALDORIUM-LPT
// plugged in: the program finds it at C100 through the host's port list and opens it through
// its device node link, as it would a real one. The port list follows the device: it is
// listed while plugged in. The device can be unplugged, stalled and plugged in again.

#include "fake_host.h"
#include "simulated_device_endpoint.h"

#include <QString>

#include <memory>

class MainWindow;
class QSerialPort;

namespace testsupport {

class SimulatedDeviceRig {
public:
    SimulatedDeviceRig();
    ~SimulatedDeviceRig();
    SimulatedDeviceRig(const SimulatedDeviceRig &) = delete;
    SimulatedDeviceRig &operator=(const SimulatedDeviceRig &) = delete;

    MainWindow &window() { return *window_; }
    SimulatedDeviceEndpoint &endpoint() { return endpoint_; }
    // The device behind the line; the endpoint runs on the test's own thread.
    SimulatedDevice &device() { return endpoint_.device(); }
    QSerialPort &port(); // the window's serial port
    QString nodeDirectory() const { return host_.nodeDirectory(); }

    void unplug() { endpoint_.drop(); }        // the line hangs up, the node goes
    void plugBack() { endpoint_.reconnect(); } // a new line and node; the device powers on
    void stall(bool stalled) { endpoint_.setStalled(stalled); }

    void click(const char *button);
    QString console() const;
    // Clicks Open; true when the console reports the port open.
    bool open();
    // Opens the port and clicks "Run test"; true once the device has taken test frames.
    bool openAndRunTest();
    // Plugs the device in again, clicks Refresh and Open; true when the port is open again.
    bool replugAndOpen();

private:
    FakeHost host_;
    SimulatedDeviceEndpoint endpoint_;
    std::unique_ptr<MainWindow> window_;
};

} // namespace testsupport

#endif
