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

#include <QStringList>
#include <QTimer>

namespace {

// How long Read defaults waits for the replies before it names the missing ones.
constexpr int kDefaultReplyWaitMs = 1000;

unsigned request_bit(uint8_t code)
{
    unsigned bit = 1;
    for (const contract::Command read : contract::kReadCommands) {
        if (read == code)
            return bit;
        bit <<= 1;
    }
    return 0;
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
    // Armed before the first request goes out: a quick device answers the first requests
    // while the others are still being written, and the port reads those replies meanwhile.
    default_replies_missing = 0;
    for (const contract::Command code : contract::kReadCommands)
        default_replies_missing |= request_bit(code);
    QByteArray serial_send_buff = frames::command_frame(0, 0);
    for (const contract::Command code : contract::kReadCommands) {
        frames::write_command(serial_send_buff, code, 0);
        send_frame(serial_send_buff, true);
    }
    wait_for_default_replies();
}

void MainWindow::wait_for_default_replies()
{
    if (!serialPort->isOpen())
        return; // no request went out, or the port closed meanwhile
    if (!default_replies_wait) {
        default_replies_wait = new QTimer(this);
        default_replies_wait->setSingleShot(true);
        default_replies_wait->setInterval(kDefaultReplyWaitMs);
        connect(default_replies_wait, &QTimer::timeout, this,
                &MainWindow::report_missing_default_replies);
        // A port closed or lost meanwhile ends the wait: its replies cannot come any more.
        connect(serialPort, &QIODevice::aboutToClose, default_replies_wait, &QTimer::stop);
    }
    default_replies_wait->start(); // a later Read defaults starts the wait afresh
}

void MainWindow::note_default_reply(uint8_t type)
{
    default_replies_missing &= ~request_bit(type);
}

void MainWindow::report_missing_default_replies()
{
    QStringList missing;
    for (const contract::Command code : contract::kReadCommands) {
        if (default_replies_missing & request_bit(code))
            missing << QLatin1String(contract::read_name(code));
    }
    if (!missing.isEmpty())
        append(device_error_prefix() + QStringLiteral("No reply for ") +
               missing.join(QStringLiteral(", ")) + QLatin1Char('\n'));
}
