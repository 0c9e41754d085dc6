// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Finding the devices among the host's serial ports, opening the chosen one, closing it, and
// noticing when the device behind an open port is gone.

#include "mainwindow.h"

#include "control_states.h"
#include "discovery.h"
#include "host_ports.h"
#include "program_state.h"
#include "serial_line.h"
#include "ui_mainwindow.h"

namespace {

// " (PID 4711, kaldorium-lpt)", " (PID 4711)", or nothing when the system did not tell.
QString holder_details(const node_lock::Holder &holder)
{
    if (holder.pid <= 0)
        return QString();
    QString details = QStringLiteral(" (PID %1").arg(holder.pid);
    if (!holder.name.isEmpty())
        details += QStringLiteral(", ") + holder.name;
    return details + QLatin1Char(')');
}

} // namespace

bool MainWindow::scan_devices()
{
    const QList<host::SerialPortEntry> ports = host::available_ports();
    for (const host::SerialPortEntry &port : ports) {
        if (!discovery::is_device_port(port))
            continue;
        ui->port_list_comboBox->addItem(port.description);
        append(QStringLiteral("KALDORIUM-LPT device found with address 0x") + port.description +
               QLatin1Char('\n'));
    }
    if (ui->port_list_comboBox->count() > 0)
        return true;
    append(QStringLiteral("KALDORIUM-LPT not found\n"));
    return false;
}

void MainWindow::on_refresh_pushButton_clicked()
{
    ui->port_list_comboBox->clear();
    append(QStringLiteral("Refresh ports list\n"));
    if (scan_devices())
        control_state::device_listed(*ui);
    else
        control_state::no_device(*ui);
}

void MainWindow::on_Open_pushButton_clicked()
{
    // The item text names the device by its address; a text without any address key
    // leaves the port name as the last open set it.
    const QString node = host::node_for_item_text(ui->port_list_comboBox->currentText());
    if (!node.isEmpty())
        serialPort->setPortName(host::device_node_path(node));

    serial_line::apply_settings(*serialPort);
    const serial_line::Opening opening = serial_line::open_exclusive(*serialPort);
    if (opening.result != serial_line::Opening::Result::Opened) {
        append(QStringLiteral("Opening port - failed!\n"));
        if (opening.result == serial_line::Opening::Result::InUse)
            append(device_error_prefix() +
                   QStringLiteral("The device is in use by another program%1\n")
                       .arg(holder_details(opening.holder)));
        return;
    }
    serial_line::apply_baud_rate(*serialPort);
    append(QStringLiteral("Opening port - success!\n"));
    control_state::port_opened(*ui);
}

void MainWindow::on_Close_pushButton_clicked()
{
    serialPort->close();
    control_state::port_closed(*ui);
    append(QStringLiteral("Close port\n"));
}

void MainWindow::device_lost()
{
    if (expect_device_loss) {
        // The device reboots into its bootloader: expected, and the upload closes up.
        serialPort->close();
        return;
    }
    append(QStringLiteral("ERROR: Connection to the device lost\n"));
    if (test_run == kTestRunning)
        on_Sto_pushButton_clicked();
    on_Close_pushButton_clicked();
}
