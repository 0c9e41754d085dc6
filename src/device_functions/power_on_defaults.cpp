// Storing the power-on directions and levels in the device, and reading them back. The
// replies arrive later through the receive path, which fills the same widgets.

#include "mainwindow.h"

#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "ui_mainwindow.h"

namespace {

uint32_t levels(std::initializer_list<std::pair<const QCheckBox *, uint32_t>> boxes)
{
    uint32_t value = 0;
    for (const auto &[box, bit] : boxes) {
        if (box->isChecked())
            value |= bit;
    }
    return value;
}

} // namespace

void MainWindow::on_Defaults_set_clicked()
{
    // One frame buffer for all five: the markers once, code and value rewritten each time.
    // Each value is read from the widgets just before its frame goes out.
    QByteArray serial_send_buff = frames::command_frame(0, 0);
    const auto store = [&](contract::Command code, uint32_t value_to_set) {
        frames::write_command(serial_send_buff, code, value_to_set);
        send_frame(serial_send_buff, true);
    };
    store(contract::StoreDataDirection, ui->data_default_input_radioButton->isChecked() ? 0 : 1);
    store(contract::StoreDataLevels, levels({{ui->default_D0, 0x01},
                                             {ui->default_D1, 0x02},
                                             {ui->default_D2, 0x04},
                                             {ui->default_D3, 0x08},
                                             {ui->default_D4, 0x10},
                                             {ui->default_D5, 0x20},
                                             {ui->default_D6, 0x40},
                                             {ui->default_D7, 0x80}}));
    store(contract::StoreControlDirection,
          ui->control_default_input_radioButton->isChecked() ? 0 : 1);
    store(contract::StoreControlLevels, levels({{ui->default_C0, 0x01},
                                                {ui->default_C1, 0x02},
                                                {ui->default_C2, 0x04},
                                                {ui->default_C3, 0x08}}));
    store(contract::StoreStatusLevels, levels({{ui->default_S3, 0x08},
                                               {ui->default_S4, 0x10},
                                               {ui->default_S5, 0x20},
                                               {ui->default_S6, 0x40},
                                               {ui->default_S7, 0x80}}));
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
