// Finding the devices among the host's serial ports, opening the chosen one and closing it.

#include "mainwindow.h"

#include "control_states.h"
#include "device_contract.h"
#include "host_ports.h"
#include "ui_mainwindow.h"

bool MainWindow::scan_devices()
{
    const QList<host::SerialPortEntry> ports = host::available_ports();
    for (const host::SerialPortEntry &port : ports) {
        if (port.manufacturer != QLatin1String(contract::kManufacturer))
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

    serialPort->setDataBits(contract::kDataBits);
    serialPort->setParity(contract::kParity);
    serialPort->setStopBits(contract::kStopBits);
    serialPort->setFlowControl(contract::kFlowControl);
    if (!serialPort->open(QIODevice::ReadWrite)) {
        append(QStringLiteral("Opening port - failed!\n"));
        return;
    }
    serialPort->setBaudRate(contract::kBaudRate, QSerialPort::AllDirections);
    append(QStringLiteral("Opening port - success!\n"));
    control_state::port_opened(*ui);
}

void MainWindow::on_Close_pushButton_clicked()
{
    serialPort->close();
    control_state::port_closed(*ui);
    append(QStringLiteral("Close port\n"));
}
