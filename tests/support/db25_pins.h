// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_DB25_PINS_H
#define KALDORIUM_TEST_DB25_PINS_H

// The DB-25 pins of each port in register bit order, as lists for the tests, from the one
// pin table of device_link/db25_pins.h (tst_frames checks that table against the connector).

#include "device_link/db25_pins.h"

#include <QList>

namespace testsupport {

inline const QList<int> kDataPins(db25::kDataPins.begin(), db25::kDataPins.end());
inline const QList<int> kControlPins(db25::kControlPins.begin(), db25::kControlPins.end());
inline const QList<int> kStatusPins(db25::kStatusPins.begin(), db25::kStatusPins.end());
inline const QList<int> kGroundPins(db25::kGroundPins.begin(), db25::kGroundPins.end());

} // namespace testsupport

#endif
