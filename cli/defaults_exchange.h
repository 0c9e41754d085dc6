// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_DEFAULTS_EXCHANGE_H
#define KALDORIUM_CLI_DEFAULTS_EXCHANGE_H

// Storing power-on items in the device and reading them back, with the window's frames.

#include "device_session.h"
#include "profile.h"

namespace defaults_exchange {

// Sends one store frame per given item, in the window's order.
int store(DeviceSession &session, const profile::Values &values);

// Requests the wanted items (in the window's order) and waits up to --timeout for every reply,
// in any order; the values go into *values. Missing replies: exit 75 naming their keys.
int read(DeviceSession &session, const Invocation &invocation,
         const std::array<bool, profile::kItemCount> &wanted, profile::Values *values);

// All five items.
constexpr std::array<bool, profile::kItemCount> kAllItems = {true, true, true, true, true};

// Reads the whole profile from the selected device: open, read, close.
int read_all(const Invocation &invocation, profile::Values *values, QString *node);

} // namespace defaults_exchange

#endif
