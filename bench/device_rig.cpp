// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device_rig.h"

#include "device_link/host_ports.h"
#include "mainwindow.h"
#include "measure.h"
#include "simulated_device_endpoint.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

namespace bench {

DeviceRig::DeviceRig()
{
    if (!node_directory_.isValid())
        qFatal("no directory for the device node");
    device_ = std::make_unique<DeviceThread>(node_directory_.path());

    host::set_device_node_directory(node_directory_.path());
    SimulatedDeviceEndpoint *device = &device_->device();
    host::set_port_enumerator([device] {
        QList<host::SerialPortEntry> ports;
        if (device->isAttached())
            ports.append({device->manufacturer(), device->description()});
        return ports;
    });

    window_ = std::make_unique<MainWindow>();
    window_->show();
    run_event_loop_for(50);
}

DeviceRig::~DeviceRig()
{
    window_.reset(); // closes the port first, as when the operator closes the window
    device_.reset();
    host::set_port_enumerator({});
    host::set_device_node_directory({});
}

bool DeviceRig::openPort()
{
    click(*window_, "Open_pushButton");
    return console_text(*window_).contains(QLatin1String("Opening port - success!\n"));
}

void DeviceRig::closePort()
{
    click(*window_, "Close_pushButton");
}

void DeviceRig::runTest()
{
    window_->findChild<QRadioButton *>(QStringLiteral("radioButton_2"))->setChecked(true);
    click(*window_, "Run_pushButton");
}

void DeviceRig::stopTest()
{
    click(*window_, "Sto_pushButton");
}

void click(MainWindow &window, const char *button)
{
    auto *target = window.findChild<QPushButton *>(QString::fromLatin1(button));
    if (!target)
        qFatal("no button %s", button);
    target->click();
}

QString console_text(MainWindow &window)
{
    return window.findChild<QPlainTextEdit *>(QStringLiteral("console"))->toPlainText();
}

} // namespace bench
