// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pin_buttons.h"

#include "ui_mainwindow.h"

namespace pins {

namespace {

using PinMember = QPushButton *Ui_MainWindow::*;
constexpr PinMember kButtons[kCount] = {
    &Ui_MainWindow::pushButton_1,  &Ui_MainWindow::pushButton_2,  &Ui_MainWindow::pushButton_3,
    &Ui_MainWindow::pushButton_4,  &Ui_MainWindow::pushButton_5,  &Ui_MainWindow::pushButton_6,
    &Ui_MainWindow::pushButton_7,  &Ui_MainWindow::pushButton_8,  &Ui_MainWindow::pushButton_9,
    &Ui_MainWindow::pushButton_10, &Ui_MainWindow::pushButton_11, &Ui_MainWindow::pushButton_12,
    &Ui_MainWindow::pushButton_13, &Ui_MainWindow::pushButton_14, &Ui_MainWindow::pushButton_15,
    &Ui_MainWindow::pushButton_16, &Ui_MainWindow::pushButton_17, &Ui_MainWindow::pushButton_18,
    &Ui_MainWindow::pushButton_19, &Ui_MainWindow::pushButton_20, &Ui_MainWindow::pushButton_21,
    &Ui_MainWindow::pushButton_22, &Ui_MainWindow::pushButton_23, &Ui_MainWindow::pushButton_24,
    &Ui_MainWindow::pushButton_25,
};

} // namespace

QPushButton *button(const Ui_MainWindow &ui, int pin)
{
    return ui.*kButtons[pin - 1];
}

} // namespace pins
