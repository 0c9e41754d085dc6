// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_PIN_BUTTONS_H
#define KALDORIUM_PIN_BUTTONS_H

// The 25 pin buttons of the DB-25 picture and the register bits they stand for.
//   pins 2..9  data D0..D7        pins 1, 14, 16, 17  control C0..C3
//   pins 15, 13, 12, 10, 11  status S3..S7        pins 18..25  ground

#include <array>

class QPushButton;
class Ui_MainWindow;

namespace pins {

constexpr int kCount = 25;
constexpr int kFirstGround = 18;

// Pin numbers in register bit order.
constexpr std::array<int, 8> kData = {2, 3, 4, 5, 6, 7, 8, 9}; // D0..D7
constexpr std::array<int, 4> kControl = {1, 14, 16, 17};       // C0..C3
constexpr std::array<int, 5> kStatus = {15, 13, 12, 10, 11};   // S3..S7
constexpr int kFirstStatusBit = 3;

// The button of a pin, 1..25.
QPushButton *button(const Ui_MainWindow &ui, int pin);

} // namespace pins

#endif
