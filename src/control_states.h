// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CONTROL_STATES_H
#define KALDORIUM_CONTROL_STATES_H

// Which controls the operator may use is kept nowhere but in the widgets' enabled flags.
// Each function here is one event: it sets exactly its list of flags, in order, whatever
// the state before it. The order matters only for keyboard focus: a button that disables
// itself hands the focus to the next widget that is enabled at that moment.

class Ui_MainWindow;

namespace control_state {

void startup(Ui_MainWindow &ui);
void no_device(Ui_MainWindow &ui);
void device_listed(Ui_MainWindow &ui);
void port_opened(Ui_MainWindow &ui);
void port_closed(Ui_MainWindow &ui);

// Test start comes in two steps around the "The Test is running" line: first the test
// controls, then the output pins of the ports whose "Output" button is checked.
void test_started(Ui_MainWindow &ui);
void test_started_output_pins(Ui_MainWindow &ui);

// Test stop comes in two steps around releasing the pin buttons' pressed look: first the
// test controls and all pins, then the DEFAULTS tab containers.
void test_stopped(Ui_MainWindow &ui);
void test_stopped_defaults(Ui_MainWindow &ui);

void firmware_file_chosen(Ui_MainWindow &ui);
// Also takes the file chooser away: a file chosen meanwhile would enable Upload again.
void upload_started(Ui_MainWindow &ui);

} // namespace control_state

#endif
