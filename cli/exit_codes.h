// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_EXIT_CODES_H
#define KALDORIUM_CLI_EXIT_CODES_H

// The program's exit codes, after sysexits.h.
namespace exit_code {

constexpr int kOk = 0;
constexpr int kDiffers = 1;       // defaults diff: the device differs from the profile
constexpr int kUsage = 64;        // bad command line
constexpr int kDataError = 65;    // bad profile, value or firmware file name
constexpr int kNoInput = 66;      // a file missing or unreadable
constexpr int kUnavailable = 69;  // no device, cannot open it, a tool missing
constexpr int kCannotCreate = 73; // an output file that cannot be made
constexpr int kIoError = 74;      // device lost, read-back mismatch, dfu-util failed, write failed
constexpr int kTempFail = 75;     // no reply in time
constexpr int kSignalBase = 128;  // 130 after SIGINT, 143 after SIGTERM, 141 reader gone

} // namespace exit_code

#endif
