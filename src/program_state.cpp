// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "program_state.h"

#include <cstring>

uint8_t serial_output_buff[sizeof(HC_LCNC_2_SERIAL_OUT_DATA)] = {};
HC_LCNC_2_SERIAL_OUT_DATA *serial_output =
    reinterpret_cast<HC_LCNC_2_SERIAL_OUT_DATA *>(serial_output_buff);
uint16_t serial_output_buff_index = 0;

receive::State window_receive;

HC_LCNC_2_SERIAL_IN_DATA &serial_input = window_receive.serial_input;
uint8_t *serial_input_pointer = reinterpret_cast<uint8_t *>(&window_receive.serial_input);
uint8_t (&read_data)[500] = window_receive.read_data;
int8_t &read_index = window_receive.read_index;
uint8_t &prev_read_counter = window_receive.prev_read_counter;

uint8_t &input_data = window_receive.input_data;
uint8_t &input_status = window_receive.input_status;
uint8_t &input_control = window_receive.input_control;

uint8_t &config_type = window_receive.config_type;
uint32_t &input_config_data = window_receive.input_config_data;

uint8_t outdata = 0;
uint8_t outctrl = 0;
uint8_t powt = 0;

volatile uint8_t test_run = 0;
uint16_t show_read_divider = 0;
uint8_t data_port_type = 0;
uint8_t control_port_type = 0;

QString filename;

void reset_program_state()
{
    std::memset(serial_output_buff, 0, sizeof serial_output_buff);
    serial_output_buff_index = 0;
    window_receive = receive::State();
    outdata = outctrl = powt = 0;
    test_run = 0;
    show_read_divider = 0;
    data_port_type = control_port_type = 0;
    filename = QString();
}
