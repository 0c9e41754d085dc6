// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The receive path: every byte the device sends goes through the state machine; what it
// completes is shown here, on the console and on the DEFAULTS tab.

#include "mainwindow.h"

#include "defaults_tab.h"
#include "device_contract.h"
#include "frames.h"
#include "program_state.h"
#include "receive_parser.h"
#include "ui_mainwindow.h"

#include <QLoggingCategory>

#include <array>

namespace {

// The text of each byte's debug message, made once: the receive path can carry hundreds
// of thousands of bytes a second.
const std::array<QString, 256> kByteTexts = [] {
    std::array<QString, 256> texts;
    for (int value = 0; value < 256; ++value)
        texts[size_t(value)] = QString::number(value);
    return texts;
}();

// Writes a configuration reply into the DEFAULTS tab; returns its console line, or
// nothing for a type the program does not know.
QString show_config_reply(const Ui_MainWindow &ui, uint8_t type, uint32_t value)
{
    using defaults_tab::Port;
    switch (type) {
    case contract::ReadDataDirection:
        defaults_tab::show_direction(ui, Port::Data, value);
        break;
    case contract::ReadDataLevels:
        defaults_tab::show_levels(ui, Port::Data, value);
        break;
    case contract::ReadControlDirection:
        defaults_tab::show_direction(ui, Port::Control, value);
        break;
    case contract::ReadControlLevels:
        defaults_tab::show_levels(ui, Port::Control, value);
        break;
    case contract::ReadStatusLevels:
        defaults_tab::show_levels(ui, Port::Status, value);
        break;
    default:
        return QString();
    }
    return QString::fromLatin1(contract::read_name(type)) + QLatin1Char('\n');
}

} // namespace

void MainWindow::readData()
{
    const QByteArray data = serialPort->readAll();

    // One debug message per byte; when the debug channel is filtered out, none is made.
    const bool log_bytes = QLoggingCategory::defaultCategory()->isDebugEnabled();
    const QMessageLogContext log_context(__FILE__, __LINE__, Q_FUNC_INFO, "default");

    receive::take_notification(
        window_receive, data.constData(), data.size(),
        [&](uint8_t byte) {
            if (log_bytes)
                qt_message_output(QtDebugMsg, log_context, kByteTexts[byte]);
        },
        [&](const receive::Event &event) {
            switch (event.what) {
            case receive::Completed::Nothing:
            case receive::Completed::InputLevels:
                break;
            case receive::Completed::ErrorReport:
                show_error_report(event.error_bits);
                break;
            case receive::Completed::ConfigReply: {
                note_default_reply(config_type);
                const QString line = show_config_reply(*ui, config_type, input_config_data);
                if (!line.isEmpty())
                    append(line);
                break;
            }
            }
        });
}

void MainWindow::show_error_report(uint8_t error_bits)
{
    for (const frames::DeviceError &error : frames::kDeviceErrors) {
        if (error_bits & error.bit)
            append(device_error_prefix() + QLatin1String(error.console_text) + QLatin1Char('\n'));
    }
}
