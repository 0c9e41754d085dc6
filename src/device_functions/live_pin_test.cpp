// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The live pin test: while a test runs, every 10 ms tick streams the held output pins to
// the device; every 21st tick, test or not, the reported input levels are shown.

#include "mainwindow.h"

#include "console.h"
#include "control_states.h"
#include "device_link/frames.h"
#include "pin_buttons.h"
#include "program_state.h"
#include "timer_wakeup.h"
#include "ui_mainwindow.h"

namespace {

constexpr uint16_t kShowReadEvery = 20; // the display follows on the tick after the 20th

// The held pins of the given pin list as register bits (bit n = list[n] held).
template <size_t N> uint8_t held_bits(const Ui_MainWindow &ui, const std::array<int, N> &list)
{
    uint8_t bits = 0;
    for (size_t n = 0; n < N; ++n) {
        if (pins::button(ui, list[n])->isDown())
            bits |= uint8_t(1u << n);
    }
    return bits;
}

template <size_t N>
void show_bits(const Ui_MainWindow &ui, const std::array<int, N> &list, uint8_t bits, int first)
{
    for (size_t n = 0; n < N; ++n)
        pins::button(ui, list[n])->setDown((bits >> (first + int(n))) & 1);
}

void release_signal_pins(const Ui_MainWindow &ui)
{
    for (int pin = 1; pin < pins::kFirstGround; ++pin)
        pins::button(ui, pin)->setDown(false);
}

} // namespace

void MainWindow::timerEvent(QTimerEvent *)
{
    tickWakeup->ticked();
    if (test_run == kTestRunning) {
        // The buttons cannot change within one tick, so all 100 slots carry one sample.
        const uint8_t data = ui->radioButton_2->isChecked() ? held_bits(*ui, pins::kData) : 0;
        const uint8_t control = ui->radioButton_4->isChecked() ? held_bits(*ui, pins::kControl) : 0;
        serial_output_buff_index = 0;
        for (powt = 0; powt < frames::kTestFrameSlots; ++powt) {
            outdata = data;
            outctrl = control;
            serial_output->out[serial_output_buff_index] =
                frames::pack_slot(outdata, outctrl, data_port_type == 1, control_port_type == 1);
            ++serial_output_buff_index;
        }
        frames::TestFrameBuilder(*serial_output).finish(); // counter and slot period

        // A frame the port cannot take now is lost; the next tick sends a fresh one. So is
        // a frame of a test that runs on after an upload closed the port.
        if (serialPort->isOpen()) {
            serialPort->waitForBytesWritten(1);
            if (serialPort->bytesToWrite() == 0) {
                serialPort->write(reinterpret_cast<const char *>(serial_output_buff),
                                  qint64(sizeof serial_output_buff));
                serialPort->flush();
            }
        }
    }

    if (show_read_divider < kShowReadEvery) {
        ++show_read_divider;
    } else {
        show_read_pins();
        show_read_divider = 0;
    }
}

void MainWindow::show_read_pins()
{
    // A port driven as output keeps what the operator holds.
    if (data_port_type == 0)
        show_bits(*ui, pins::kData, input_data, 0);
    if (control_port_type == 0)
        show_bits(*ui, pins::kControl, input_control, 0);
    show_bits(*ui, pins::kStatus, input_status, pins::kFirstStatusBit);
}

void MainWindow::on_Run_pushButton_clicked()
{
    control_state::test_started(*ui);
    append(QStringLiteral("The Test is running\n"));
    data_port_type = ui->radioButton_2->isChecked() ? 1 : 0;
    control_port_type = ui->radioButton_4->isChecked() ? 1 : 0;
    control_state::test_started_output_pins(*ui);
    release_signal_pins(*ui);
    test_run = kTestRunning;
}

void MainWindow::on_Sto_pushButton_clicked()
{
    test_run = 0;
    append(QStringLiteral("The Test is stopped!\n"));
    control_state::test_stopped(*ui);
    release_signal_pins(*ui);
    control_state::test_stopped_defaults(*ui);
}
