// The receive path: every byte the device sends goes through the state machine; what it
// completes is shown here, on the console and on the DEFAULTS tab.

#include "mainwindow.h"

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

using CheckBox = QCheckBox *Ui_MainWindow::*;
constexpr CheckBox kDataLevels[] = {&Ui_MainWindow::default_D0, &Ui_MainWindow::default_D1,
                                    &Ui_MainWindow::default_D2, &Ui_MainWindow::default_D3,
                                    &Ui_MainWindow::default_D4, &Ui_MainWindow::default_D5,
                                    &Ui_MainWindow::default_D6, &Ui_MainWindow::default_D7};
constexpr CheckBox kControlLevels[] = {&Ui_MainWindow::default_C0, &Ui_MainWindow::default_C1,
                                       &Ui_MainWindow::default_C2, &Ui_MainWindow::default_C3};
constexpr CheckBox kStatusLevels[] = {&Ui_MainWindow::default_S3, &Ui_MainWindow::default_S4,
                                      &Ui_MainWindow::default_S5, &Ui_MainWindow::default_S6,
                                      &Ui_MainWindow::default_S7};

// Sets the check boxes from consecutive bits of the value, starting at first_bit.
template <size_t N>
void set_levels(const Ui_MainWindow &ui, const CheckBox (&boxes)[N], uint32_t value, int first_bit)
{
    for (size_t n = 0; n < N; ++n)
        (ui.*boxes[n])->setChecked((value >> (first_bit + int(n))) & 1);
}

void set_direction(QRadioButton *input, QRadioButton *output, uint32_t value)
{
    if (value == 0)
        input->setChecked(true);
    else if (value == 1)
        output->setChecked(true);
}

// Writes a configuration reply into the DEFAULTS tab; returns its console line, or
// nothing for a type the program does not know.
QString show_config_reply(Ui_MainWindow &ui, uint8_t type, uint32_t value)
{
    switch (type) {
    case contract::ReadDataDirection:
        set_direction(ui.data_default_input_radioButton, ui.data_default_output_radioButton, value);
        return QStringLiteral("READ_DEFAULT_DATA_PORT_TYPE\n");
    case contract::ReadDataLevels:
        set_levels(ui, kDataLevels, value, 0);
        return QStringLiteral("READ_DEFAULT_DATA_PORT_STATE\n");
    case contract::ReadControlDirection:
        set_direction(ui.control_default_input_radioButton, ui.control_default_output_radioButton,
                      value);
        return QStringLiteral("READ_DEFAULT_CONTROL_PORT_TYPE\n");
    case contract::ReadControlLevels:
        set_levels(ui, kControlLevels, value, 0);
        return QStringLiteral("READ_DEFAULT_CONTROL_PORT_STATE\n");
    case contract::ReadStatusLevels:
        set_levels(ui, kStatusLevels, value, 3);
        return QStringLiteral("READ_DEFAULT_STATUS_PORT_STATE\n");
    default:
        return QString();
    }
}

} // namespace

void MainWindow::readData()
{
    const QByteArray data = serialPort->readAll();

    // One debug message per byte; when the debug channel is filtered out, none is made.
    const bool log_bytes = QLoggingCategory::defaultCategory()->isDebugEnabled();
    const QMessageLogContext log_context(__FILE__, __LINE__, Q_FUNC_INFO, "default");

    receive::take_notification(
        data.constData(), data.size(),
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
    if (error_bits & frames::kErrorFifo)
        append(device_error_prefix() + QStringLiteral("Fifo error!\n"));
    if (error_bits & frames::kErrorFrameBroken)
        append(device_error_prefix() + QStringLiteral("Frame broken!\n"));
    if (error_bits & frames::kErrorInputFrameLost)
        append(device_error_prefix() + QStringLiteral("Input frame lose!\n"));
}
