// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_CONSOLE_LINES_H
#define KALDORIUM_TEST_CONSOLE_LINES_H

// Console lines of the program that several suites expect, spelled out once, byte for byte.

#include <QString>

namespace testsupport {

// "KALDORIUM-LPT device found with address 0x<address>"
QString foundLine(const QString &address);

// One line of a device error report, for the open node: "ERROR: <node> - <what>"
QString errorLine(const QString &node, const QString &what);
// The three lines of an error report that carries every error bit, in the order shown.
QString allErrorLines(const QString &node);

// An accepted upload from the click on: the switch to the bootloader, the command, the line
// that reports dfu-util's outcome, and the port closed.
QString uploadLines(const QString &image, const QString &outcome);
inline const QString kDeviceUpdated = QStringLiteral("The device has been updated\n");

// The line of each configuration reply read back from the device.
inline const QString kDataTypeLine = QStringLiteral("READ_DEFAULT_DATA_PORT_TYPE\n");
inline const QString kDataLevelsLine = QStringLiteral("READ_DEFAULT_DATA_PORT_STATE\n");
inline const QString kControlTypeLine = QStringLiteral("READ_DEFAULT_CONTROL_PORT_TYPE\n");
inline const QString kControlLevelsLine = QStringLiteral("READ_DEFAULT_CONTROL_PORT_STATE\n");
inline const QString kStatusLevelsLine = QStringLiteral("READ_DEFAULT_STATUS_PORT_STATE\n");

} // namespace testsupport

#endif
