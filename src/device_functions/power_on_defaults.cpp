// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Storing the power-on directions and levels in the device, and reading them back. The
// replies arrive later through the receive path, which fills the same widgets.

#include "mainwindow.h"

#include "defaults_tab.h"
#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "ui_mainwindow.h"

void MainWindow::on_Defaults_set_clicked()
{
    // One frame buffer for all five: the markers once, code and value rewritten each time.
    // Each value is read from the widgets just before its frame goes out.
    QByteArray serial_send_buff = frames::command_frame(0, 0);
    const auto store = [&](contract::Command code, uint32_t value_to_set) {
        frames::write_command(serial_send_buff, code, value_to_set);
        send_frame(serial_send_buff, true);
    };
    using defaults_tab::Port;
    store(contract::StoreDataDirection, defaults_tab::direction(*ui, Port::Data));
    store(contract::StoreDataLevels, defaults_tab::levels(*ui, Port::Data));
    store(contract::StoreControlDirection, defaults_tab::direction(*ui, Port::Control));
    store(contract::StoreControlLevels, defaults_tab::levels(*ui, Port::Control));
    store(contract::StoreStatusLevels, defaults_tab::levels(*ui, Port::Status));
    append(QStringLiteral("Default states is set\n"));
}

void MainWindow::on_Defaults_read_clicked()
{
    append(QStringLiteral("The default states have been read\n"));
    QByteArray serial_send_buff = frames::command_frame(0, 0);
    for (const contract::Command code : contract::kReadCommands) {
        frames::write_command(serial_send_buff, code, 0);
        send_frame(serial_send_buff, true);
    }
}
