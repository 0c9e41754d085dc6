// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_FIRMWARE_TOOL_H
#define KALDORIUM_FIRMWARE_TOOL_H

// What the firmware upgrade needs from outside the window: the file dialog, the name
// checks, and dfu-util, which flashes the device once it sits in its USB bootloader.

#include "device_link/firmware_image.h"

#include <QString>

#include <functional>

class QWidget;

// Keeps the event loop turning (timer, receive path, repaints, clicks) for at least the given
// time, the thread asleep between events.
void delay(int millisecondsToWait);

namespace firmware {

// The open-file dialog for the image ("Open firmware file", current directory, "(*.bin)").
// An empty result means the operator cancelled.
QString choose_file(QWidget *parent);

// Replaces the dialog, for tests and demos; an empty function restores it.
using FileChooser = std::function<QString(QWidget *parent)>;
void set_file_chooser(FileChooser chooser);

struct ToolResult {
    bool started = false;
    bool crashed = false;
    int exit_code = -1; // the signal number when crashed
};

// Runs dfu-util on the image and waits for its end. Its output goes to the program's own
// standard output and error.
ToolResult run_dfu_util(const QString &path);

} // namespace firmware

#endif
