// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_DEVICE_SELECTION_H
#define KALDORIUM_CLI_DEVICE_SELECTION_H

// Which serial node a device command opens: the node named by --port (a bare name that is no
// file in the working directory meaning /dev/NAME); the device with the --device address,
// found as the window finds devices; or else the one device attached.

#include "command.h"

#include "device_link/discovery.h"

#include <QString>

struct SelectedNode {
    int exitCode = 0; // 0, or the code after the error line has been written
    QString path;     // the node to open
};

SelectedNode select_node(const Invocation &invocation);

// The node that reaches a recognised device: the rules' /dev/KALDORIUM_LPT_<ADDRESS>, or where
// udev has not made it (a container, a system where it never ran) the tty's own node
// (/dev/ttyACM0), then *ownNode is set. Empty when the description names no address.
QString device_node(const discovery::Device &device, bool *ownNode = nullptr);

#endif
