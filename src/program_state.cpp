// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "program_state.h"

#include <cstring>

uint8_t serial_output_buff[sizeof(HC_LCNC_2_SERIAL_OUT_DATA)] = {};
HC_LCNC_2_SERIAL_OUT_DATA *serial_output =
    reinterpret_cast<HC_LCNC_2_SERIAL_OUT_DATA *>(serial_output_buff);
uint16_t serial_output_buff_index = 0;

HC_LCNC_2_SERIAL_IN_DATA serial_input = {};
uint8_t *serial_input_pointer = reinterpret_cast<uint8_t *>(&serial_input);
uint8_t read_data[500] = {};
int8_t read_index = kReadIdle;
uint8_t prev_read_counter = 127;

uint8_t input_data = 0;
uint8_t input_status = 0;
uint8_t input_control = 0;

uint8_t config_type = 0;
uint32_t input_config_data = 0;

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
    serial_input = {};
    std::memset(read_data, 0, sizeof read_data);
    read_index = kReadIdle;
    prev_read_counter = 127;
    input_data = input_status = input_control = 0;
    config_type = 0;
    input_config_data = 0;
    outdata = outctrl = powt = 0;
    test_run = 0;
    show_read_divider = 0;
    data_port_type = control_port_type = 0;
    filename = QString();
}
