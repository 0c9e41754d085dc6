// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "control_states.h"

#include "pin_buttons.h"
#include "ui_mainwindow.h"

namespace control_state {

namespace {

void set_all_pins(Ui_MainWindow &ui, bool enabled)
{
    for (int pin = 1; pin <= pins::kCount; ++pin)
        pins::button(ui, pin)->setEnabled(enabled);
}

} // namespace

void startup(Ui_MainWindow &ui)
{
    set_all_pins(ui, false);
    ui.Defaults_set->setEnabled(false);
    ui.Defaults_read->setEnabled(false);
}

void no_device(Ui_MainWindow &ui)
{
    ui.Open_pushButton->setEnabled(false);
}

void device_listed(Ui_MainWindow &ui)
{
    ui.Open_pushButton->setEnabled(true);
}

void port_opened(Ui_MainWindow &ui)
{
    ui.Close_pushButton->setEnabled(true);
    ui.Run_pushButton->setEnabled(true);
    ui.set_pushButton->setEnabled(true);
    ui.Open_pushButton->setEnabled(false);
    ui.groupBox_2->setEnabled(true);
    ui.groupBox_3->setEnabled(true);
    ui.groupBox_6->setEnabled(true);
    ui.frame_5->setEnabled(true);
    ui.refresh_pushButton->setEnabled(false);
    ui.Defaults_set->setEnabled(true);
    ui.Defaults_read->setEnabled(true);
    ui.OpenFirmware->setEnabled(true);
}

void port_closed(Ui_MainWindow &ui)
{
    ui.Close_pushButton->setEnabled(false);
    ui.Run_pushButton->setEnabled(false);
    ui.set_pushButton->setEnabled(false);
    ui.Open_pushButton->setEnabled(true);
    ui.refresh_pushButton->setEnabled(true);
    ui.Defaults_set->setEnabled(false);
    ui.Defaults_read->setEnabled(false);
    ui.OpenFirmware->setEnabled(false);
}

void test_started(Ui_MainWindow &ui)
{
    ui.frame->setEnabled(true);
    ui.frame_2->setEnabled(true);
    ui.Run_pushButton->setEnabled(false);
    ui.Sto_pushButton->setEnabled(true);
    ui.Close_pushButton->setEnabled(false);
    ui.set_pushButton->setEnabled(false);
    ui.groupBox_2->setEnabled(false);
    ui.groupBox_3->setEnabled(false);
    ui.groupBox_6->setEnabled(false);
    ui.frame_5->setEnabled(false);
    ui.Defaults_set->setEnabled(false);
    ui.Defaults_read->setEnabled(false);
    ui.OpenFirmware->setEnabled(false);
}

void test_started_output_pins(Ui_MainWindow &ui)
{
    if (ui.radioButton_2->isChecked()) {
        for (int pin : pins::kData)
            pins::button(ui, pin)->setEnabled(true);
    }
    if (ui.radioButton_4->isChecked()) {
        for (int pin : pins::kControl)
            pins::button(ui, pin)->setEnabled(true);
    }
}

void test_stopped(Ui_MainWindow &ui)
{
    ui.frame->setEnabled(false);
    ui.frame_2->setEnabled(false);
    ui.Run_pushButton->setEnabled(true);
    ui.Sto_pushButton->setEnabled(false);
    ui.Close_pushButton->setEnabled(true);
    ui.set_pushButton->setEnabled(true);
    ui.Defaults_set->setEnabled(true);
    ui.Defaults_read->setEnabled(true);
    ui.OpenFirmware->setEnabled(true);
    set_all_pins(ui, false);
}

void test_stopped_defaults(Ui_MainWindow &ui)
{
    ui.groupBox_2->setEnabled(true);
    ui.groupBox_3->setEnabled(true);
    ui.groupBox_6->setEnabled(true);
    ui.frame_5->setEnabled(true);
}

void firmware_file_chosen(Ui_MainWindow &ui)
{
    ui.UploadFirmware->setEnabled(true);
}

void upload_started(Ui_MainWindow &ui)
{
    ui.UploadFirmware->setEnabled(false);
    ui.OpenFirmware->setEnabled(false);
}

} // namespace control_state
