// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_BENCH_DEVICE_THREAD_H
#define KALDORIUM_BENCH_DEVICE_THREAD_H

// A simulated KALDORIUM-LPT plugged in and running in a thread of its own, so that its
// timing does not hang on the event loop of whatever talks to it.

#include <QString>
#include <QThread>

#include <cstdint>

class SimulatedDeviceEndpoint;

namespace bench {

class DeviceThread {
public:
    // Keeps the device node link in link_directory (empty: no link); the device holds this
    // port address (C100 unless given).
    explicit DeviceThread(const QString &link_directory = QString(), uint32_t address = 0xC100);
    ~DeviceThread();
    DeviceThread(const DeviceThread &) = delete;
    DeviceThread &operator=(const DeviceThread &) = delete;

    SimulatedDeviceEndpoint &device() { return *device_; }

private:
    QThread thread_;
    SimulatedDeviceEndpoint *device_ = nullptr;
};

} // namespace bench

#endif
