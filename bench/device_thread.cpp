// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device_thread.h"

#include "simulated_device_endpoint.h"

#include "device_link/device_contract.h"
#include "device_link/frames.h"

namespace bench {

DeviceThread::DeviceThread(const QString &link_directory, uint32_t address)
{
    device_ = new SimulatedDeviceEndpoint;
    // Set as the host would, before any other thread sees the device.
    device_->device().takeHostBytes(frames::command_frame(contract::SetAddress, address));
    device_->moveToThread(&thread_);
    thread_.setObjectName(QStringLiteral("simulated device"));
    thread_.start();
    if (!link_directory.isEmpty())
        device_->setLinkDirectory(link_directory);
    device_->start();
    if (!device_->isAttached())
        qFatal("the simulated device did not attach");
}

DeviceThread::~DeviceThread()
{
    device_->drop();
    thread_.quit();
    thread_.wait();
    delete device_;
}

} // namespace bench
