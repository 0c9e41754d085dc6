// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_DB25_PINS_H
#define KALDORIUM_TEST_DB25_PINS_H

// The DB-25 pins of each port in register bit order, written out here rather than taken
// from the program.

#include <QList>

namespace testsupport {

inline const QList<int> kDataPins = {2, 3, 4, 5, 6, 7, 8, 9}; // D0..D7
inline const QList<int> kControlPins = {1, 14, 16, 17};       // C0..C3
inline const QList<int> kStatusPins = {15, 13, 12, 10, 11};   // S3..S7
inline const QList<int> kGroundPins = {18, 19, 20, 21, 22, 23, 24, 25};

} // namespace testsupport

#endif
