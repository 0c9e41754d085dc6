// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "defaults_tab.h"

#include "device_link/db25_pins.h"
#include "ui_mainwindow.h"

#include <array>

namespace defaults_tab {

namespace {

using CheckBox = QCheckBox *Ui_MainWindow::*;
using RadioButton = QRadioButton *Ui_MainWindow::*;

struct LevelBoxes {
    const CheckBox *boxes;
    int count;
    int first_bit;
};

constexpr CheckBox kDataBoxes[] = {&Ui_MainWindow::default_D0, &Ui_MainWindow::default_D1,
                                   &Ui_MainWindow::default_D2, &Ui_MainWindow::default_D3,
                                   &Ui_MainWindow::default_D4, &Ui_MainWindow::default_D5,
                                   &Ui_MainWindow::default_D6, &Ui_MainWindow::default_D7};
constexpr CheckBox kControlBoxes[] = {&Ui_MainWindow::default_C0, &Ui_MainWindow::default_C1,
                                      &Ui_MainWindow::default_C2, &Ui_MainWindow::default_C3};
constexpr CheckBox kStatusBoxes[] = {&Ui_MainWindow::default_S3, &Ui_MainWindow::default_S4,
                                     &Ui_MainWindow::default_S5, &Ui_MainWindow::default_S6,
                                     &Ui_MainWindow::default_S7};

static_assert(std::size(kDataBoxes) == db25::kDataPins.size(), "a box per data pin");
static_assert(std::size(kControlBoxes) == db25::kControlPins.size(), "a box per control pin");
static_assert(std::size(kStatusBoxes) == db25::kStatusPins.size(), "a box per status pin");

LevelBoxes level_boxes(Port port)
{
    switch (port) {
    case Port::Data:
        return {kDataBoxes, int(std::size(kDataBoxes)), 0};
    case Port::Control:
        return {kControlBoxes, int(std::size(kControlBoxes)), 0};
    case Port::Status:
        break;
    }
    return {kStatusBoxes, int(std::size(kStatusBoxes)), db25::kFirstStatusBit};
}

// The "INPUT" and "OUTPUT" buttons of the data or the control port.
std::array<RadioButton, 2> direction_buttons(Port port)
{
    if (port == Port::Data)
        return {&Ui_MainWindow::data_default_input_radioButton,
                &Ui_MainWindow::data_default_output_radioButton};
    return {&Ui_MainWindow::control_default_input_radioButton,
            &Ui_MainWindow::control_default_output_radioButton};
}

} // namespace

uint32_t direction(const Ui_MainWindow &ui, Port port)
{
    return (ui.*direction_buttons(port)[0])->isChecked() ? 0 : 1;
}

void show_direction(const Ui_MainWindow &ui, Port port, uint32_t value)
{
    if (value <= 1)
        (ui.*direction_buttons(port)[value])->setChecked(true);
}

uint32_t levels(const Ui_MainWindow &ui, Port port)
{
    const LevelBoxes port_boxes = level_boxes(port);
    uint32_t value = 0;
    for (int n = 0; n < port_boxes.count; ++n) {
        if ((ui.*port_boxes.boxes[n])->isChecked())
            value |= 1u << (port_boxes.first_bit + n);
    }
    return value;
}

void show_levels(const Ui_MainWindow &ui, Port port, uint32_t value)
{
    const LevelBoxes port_boxes = level_boxes(port);
    for (int n = 0; n < port_boxes.count; ++n)
        (ui.*port_boxes.boxes[n])->setChecked((value >> (port_boxes.first_bit + n)) & 1);
}

} // namespace defaults_tab
