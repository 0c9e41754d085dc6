// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_PIN_BUTTONS_H
#define KALDORIUM_PIN_BUTTONS_H

// The 25 pin buttons of the DB-25 picture and the register bits they stand for (the pin
// table of device_link/db25_pins.h).

#include "device_link/db25_pins.h"

#include <array>

class QPushButton;
class Ui_MainWindow;

namespace pins {

constexpr int kCount = db25::kPinCount;
constexpr int kFirstGround = db25::kFirstGround;

// Pin numbers in register bit order.
inline constexpr const std::array<int, 8> &kData = db25::kDataPins;       // D0..D7
inline constexpr const std::array<int, 4> &kControl = db25::kControlPins; // C0..C3
inline constexpr const std::array<int, 5> &kStatus = db25::kStatusPins;   // S3..S7
constexpr int kFirstStatusBit = db25::kFirstStatusBit;

// The button of a pin, 1..25.
QPushButton *button(const Ui_MainWindow &ui, int pin);

} // namespace pins

#endif
