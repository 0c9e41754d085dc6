// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_DEFAULTS_TAB_H
#define KALDORIUM_DEFAULTS_TAB_H

// The DEFAULTS tab as values: each port's power-on direction (0 input, 1 output) and levels
// (one check box per pin, in the bit positions of the port's register: D0..D7 bits 0..7,
// C0..C3 bits 0..3, S3..S7 bits 3..7). Set defaults reads them; the configuration replies
// write them back.

#include <cstdint>

class Ui_MainWindow;

namespace defaults_tab {

enum class Port { Data, Control, Status };

// 0 when the port's "INPUT" button is checked, otherwise 1 (data and control ports).
uint32_t direction(const Ui_MainWindow &ui, Port port);
// Checks "INPUT" for 0 and "OUTPUT" for 1; any other value touches neither.
void show_direction(const Ui_MainWindow &ui, Port port, uint32_t value);

uint32_t levels(const Ui_MainWindow &ui, Port port);
// Checks or clears every level box of the port from its bit of the value.
void show_levels(const Ui_MainWindow &ui, Port port, uint32_t value);

} // namespace defaults_tab

#endif
