// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Setting the device's emulated port address.

#include "mainwindow.h"

#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "ui_mainwindow.h"

void MainWindow::on_set_pushButton_clicked()
{
    // The list entries are the addresses themselves: "0xC100" parses as 0xC100.
    const uint32_t adres_to_set = uint32_t(ui->address_comboBox->currentText().toInt(nullptr, 16));
    send_frame(frames::command_frame(contract::SetAddress, adres_to_set), false);
    append(QStringLiteral("New address is set\n"));
}
