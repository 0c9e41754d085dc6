// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "simulated_device_rig.h"

#include "mainwindow.h"
#include "program_state.h"
#include "window_access.h"

#include <QSerialPort>
#include <QSignalSpy>

namespace testsupport {

SimulatedDeviceRig::SimulatedDeviceRig()
{
    endpoint_.setLinkDirectory(host_.nodeDirectory());
    endpoint_.start();
    host::set_port_enumerator([this] {
        QList<host::SerialPortEntry> ports;
        if (endpoint_.isAttached())
            ports.append({endpoint_.manufacturer(), endpoint_.description()});
        return ports;
    });
    reset_program_state();
    window_ = std::make_unique<MainWindow>();
}

SimulatedDeviceRig::~SimulatedDeviceRig()
{
    window_.reset(); // closes the port before its line goes
    endpoint_.drop();
}

QSerialPort &SimulatedDeviceRig::port()
{
    return *window_->findChild<QSerialPort *>();
}

void SimulatedDeviceRig::click(const char *button)
{
    testsupport::click(*window_, button);
}

QString SimulatedDeviceRig::console() const
{
    return consoleText(*window_);
}

bool SimulatedDeviceRig::open()
{
    return openPort(*window_);
}

bool SimulatedDeviceRig::openAndRunTest()
{
    if (!open())
        return false;
    QSignalSpy frames(&endpoint_, &SimulatedDeviceEndpoint::testFrameReceived);
    click("Run_pushButton");
    return frames.count() > 0 || frames.wait(5000);
}

bool SimulatedDeviceRig::replugAndOpen()
{
    plugBack();
    click("refresh_pushButton");
    return open();
}

} // namespace testsupport
