// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_PROGRAM_STATE_H
#define KALDORIUM_PROGRAM_STATE_H

// The protocol and test state shared by the main window and its device functions. Plain
// module-level variables that live for the whole run; their start values are the program's
// start state. The receive variables are the fields of the window's one receive record,
// `window_receive`, which the receive state machine works on.

#include "device_link/frames.h"
#include "device_link/receive_parser.h"

#include <QString>

#include <cstdint>

extern uint8_t serial_output_buff[sizeof(HC_LCNC_2_SERIAL_OUT_DATA)]; // the test output frame
extern HC_LCNC_2_SERIAL_OUT_DATA *serial_output;                      // -> serial_output_buff
extern uint16_t serial_output_buff_index;                             // slot being filled

extern receive::State window_receive; // the receive state of the window's device

extern HC_LCNC_2_SERIAL_IN_DATA &serial_input; // input status frame being received
extern uint8_t *serial_input_pointer;          // -> serial_input; frame byte n lands at [n]
extern uint8_t (&read_data)[500];              // staging copy of received bytes
extern int8_t &read_index;                     // receive state: 100 idle, 1..5, 10..12
extern uint8_t &prev_read_counter;             // counter of the last complete input frame

extern uint8_t &input_data;    // D0..D7 as last reported
extern uint8_t &input_status;  // S3..S7 in bits 3..7
extern uint8_t &input_control; // C0..C3 in bits 0..3

extern uint8_t &config_type;        // type of the configuration reply being received
extern uint32_t &input_config_data; // its value

extern uint8_t outdata; // data byte of the slot being filled
extern uint8_t outctrl; // control bits of the slot being filled
extern uint8_t powt;    // slot loop counter

extern volatile uint8_t test_run;  // 10 while a live test runs, 0 otherwise
extern uint16_t show_read_divider; // counts ticks between input display refreshes
extern uint8_t data_port_type;     // data direction captured at test start: 1 output
extern uint8_t control_port_type;  // control direction captured at test start: 1 output

extern QString filename; // firmware image chosen in the last file dialog

constexpr uint8_t kTestRunning = 10;

// Puts every variable above back to its start value (the header byte of the test output
// frame included, which the window sets once when it is built). For tests.
void reset_program_state();

#endif
