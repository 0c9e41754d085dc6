// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow.h"

#include "console.h"
#include "control_states.h"
#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "device_link/serial_line.h"
#include "pin_buttons.h"
#include "program_state.h"
#include "timer_wakeup.h"
#include "ui_mainwindow.h"

#include <QFileInfo>

namespace {

const QString kWhitePin = QStringLiteral("background-color: rgb(255,255,255);");
const QString kBlackPin = QStringLiteral("background-color: rgb(0,0,0);");
constexpr int kTickMs = frames::kFramePeriodMs;

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    ui = new Ui_MainWindow;
    ui->setupUi(this);
    limit_console_lines(ui->console);
    setWindowTitle(QStringLiteral("Holmcraft KALDORIUM-LPT tester / configurator"));

    if (!scan_devices())
        control_state::no_device(*ui);

    serialPort = new QSerialPort(this);

    for (int pin = 1; pin <= pins::kCount; ++pin)
        pins::button(*ui, pin)->setStyleSheet(pin < pins::kFirstGround ? kWhitePin : kBlackPin);
    control_state::startup(*ui);

    frames::TestFrameBuilder(*serial_output).set_header();

    tickWakeup = new TimerWakeup(this);
    timerId = startTimer(kTickMs, Qt::CoarseTimer);
    tickWakeup->follow(kTickMs);
    connect(serialPort, &QSerialPort::readyRead, this, &MainWindow::readData);
    serial_line::watch_for_loss(*serialPort, nullptr, [this] { device_lost(); });
}

MainWindow::~MainWindow()
{
    serialPort->close();
    delete ui;
}

void MainWindow::append(const QString &message)
{
    append_to_console(ui->console, message);
}

void MainWindow::send_frame(const QByteArray &frame, bool wait_first)
{
    // Writing to a closed port would fail anyway; skip it rather than have Qt warn.
    if (!serialPort->isOpen())
        return;
    if (wait_first)
        serialPort->waitForBytesWritten(1);
    serialPort->write(frame);
    serialPort->flush();
}

QString MainWindow::device_error_prefix() const
{
    QString node = QFileInfo(serialPort->portName()).fileName();
    if (node.isEmpty())
        node = QString::fromLatin1(contract::kDefaultNode);
    return QStringLiteral("ERROR: ") + node + QStringLiteral(" - ");
}
