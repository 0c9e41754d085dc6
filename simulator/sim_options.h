// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_SIM_OPTIONS_H
#define KALDORIUM_SIM_OPTIONS_H

// The command line of kaldorium-lpt-sim.

#include "simulated_device.h"

#include "device_link/loopback_plugs.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace sim {

struct Options {
    QString link;           // symlink to keep pointing at the node; empty: none
    QString node_directory; // directory for the device's own node name (KALDORIUM_LPT_C100)
    QString port_list;      // stand-in port list announcing the device to kaldorium-lpt
    int status_interval_ms = 5;
    int flood_rate = 0;       // status frames at this many bytes/s; 0: paced
    int random_inputs_ms = 0; // one input net flips every this many ms; 0: never
    uint32_t seed = 1;
    int error_interval_ms = 0; // an error report every this many ms; 0: never
    uint8_t error_bits = 0x40; // FIFO error
    const loopback::Plug *plug = &loopback::kFull;
    SimulatedDevice::Faults faults;
    QString serial;           // the USB serial number announced in the port list; empty: none
    bool no_return = false;   // never back after the bootloader command
    int replug_after_ms = -1; // after an address set: away this long, then back; -1: no replug
};

struct ParseResult {
    int exit_code = -1; // -1: run; 0: --help or --version shown; 64: usage error
    QString message;    // what to print (standard output for 0, standard error for 64)
};

ParseResult parse_options(const QStringList &arguments, Options &options);

} // namespace sim

#endif
