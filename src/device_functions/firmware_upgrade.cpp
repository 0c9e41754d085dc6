// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Upgrading the device firmware: choose an image, switch the device into its USB DFU
// bootloader, let dfu-util flash it, close the port.

#include "mainwindow.h"

#include "control_states.h"
#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "firmware_tool.h"
#include "program_state.h"
#include "ui_mainwindow.h"

#include <QApplication>

namespace {

constexpr int kRestartWaitMs = 2000;
constexpr int kBeforeToolWaitMs = 1000;

QString tool_outcome(const firmware::ToolResult &result)
{
    if (!result.started)
        return QStringLiteral("ERROR: dfu-util could not be started\n");
    if (result.crashed)
        return QStringLiteral("ERROR: dfu-util was killed by signal %1\n").arg(result.exit_code);
    if (result.exit_code != 0)
        return QStringLiteral("ERROR: dfu-util failed with exit code %1\n").arg(result.exit_code);
    return QStringLiteral("The device has been updated\n");
}

// Marks an upload as under way for as long as it lives: the flag that keeps a second one
// from starting, and the busy cursor that shows the operator one runs.
class UploadUnderWay {
public:
    explicit UploadUnderWay(bool &flag) : flag_(flag)
    {
        flag_ = true;
        QApplication::setOverrideCursor(Qt::BusyCursor);
    }
    ~UploadUnderWay()
    {
        QApplication::restoreOverrideCursor();
        flag_ = false;
    }
    UploadUnderWay(const UploadUnderWay &) = delete;
    UploadUnderWay &operator=(const UploadUnderWay &) = delete;

private:
    bool &flag_;
};

} // namespace

void MainWindow::on_OpenFirmware_clicked()
{
    // Reopening the port or stopping a test during the upload's pauses enables the chooser
    // again; a file chosen then would enable Upload inside the running upload.
    if (upload_under_way) {
        append(QStringLiteral("An upload is running; choose a file once it has ended\n"));
        return;
    }
    filename.clear();
    filename = firmware::choose_file(this);
    if (filename.isEmpty()) {
        append(QStringLiteral("File not loaded\n"));
        return;
    }
    control_state::firmware_file_chosen(*ui);
    append(QStringLiteral("The file has been loaded\n"));
    append(QStringLiteral("Path: ") + filename + QLatin1Char('\n'));
}

void MainWindow::on_UploadFirmware_clicked()
{
    if (upload_under_way)
        return; // its button is off meanwhile
    if (!firmware::has_image_suffix(filename)) {
        append(QStringLiteral("Incorrect path to file\n"));
        return;
    }
    if (!firmware::has_firmware_marker(filename)) {
        append(QStringLiteral("Incorrect file name.\n"));
        append(QStringLiteral("Check if this is the correct file!\n"));
        return;
    }
    const UploadUnderWay under_way(upload_under_way);
    control_state::upload_started(*ui);
    // The image flashed is the one checked here, even if another is chosen during the waits.
    const QString image = filename;

    send_frame(frames::command_frame(contract::EnterBootloader, 0), false);
    // From here the device is expected to drop off the line, if a port carried the command.
    expect_device_loss = serialPort->isOpen();
    append(QStringLiteral("Switch to bootloader mode\n"));
    append(QStringLiteral("Waiting for restart\n"));
    delay(kRestartWaitMs);

    append(QStringLiteral("Run Command: \n"));
    append(firmware::command_text(image));
    append(QStringLiteral("\n"));
    append(QStringLiteral("Uploading. Please wait...\n"));
    delay(kBeforeToolWaitMs);

    // The window does not take events while the tool runs, as the operator is told.
    append(tool_outcome(firmware::run_dfu_util(image)));
    expect_device_loss = false;
    on_Close_pushButton_clicked();
    ui->tabWidget->setCurrentIndex(0);
}
