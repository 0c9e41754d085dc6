#include "mainwindow.h"

#include "console.h"
#include "control_states.h"
#include "device_link/device_contract.h"
#include "pin_buttons.h"
#include "program_state.h"
#include "ui_mainwindow.h"

#include <QFileInfo>

namespace {

const QString kWhitePin = QStringLiteral("background-color: rgb(255,255,255);");
const QString kBlackPin = QStringLiteral("background-color: rgb(0,0,0);");
constexpr int kTickMs = 10;

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    ui = new Ui_MainWindow;
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Holmcraft KALDORIUM-LPT tester / configurator"));

    if (!scan_devices())
        control_state::no_device(*ui);

    serialPort = new QSerialPort(this);

    for (int pin = 1; pin <= pins::kCount; ++pin)
        pins::button(*ui, pin)->setStyleSheet(pin < pins::kFirstGround ? kWhitePin : kBlackPin);
    control_state::startup(*ui);

    serial_output->header = frames::kMarker;

    timerId = startTimer(kTickMs, Qt::CoarseTimer);
    connect(serialPort, &QSerialPort::readyRead, this, &MainWindow::readData);
    connect(serialPort, &QSerialPort::errorOccurred, this, &MainWindow::port_error);
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

void MainWindow::port_error(QSerialPort::SerialPortError error)
{
    // An unplugged device raises a resource error; a hung-up line raises read errors in a
    // tight loop until the port is closed. Handle the loss once, outside Qt's own
    // notification handler, where the port may be closed safely.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (device_loss_pending || !serialPort->isOpen())
        return;
    device_loss_pending = true;
    QMetaObject::invokeMethod(this, &MainWindow::device_lost, Qt::QueuedConnection);
}

void MainWindow::device_lost()
{
    device_loss_pending = false;
    if (!serialPort->isOpen())
        return;
    if (upload_running) {
        // The device reboots into its bootloader: expected, and the upload closes up.
        serialPort->close();
        return;
    }
    append(QStringLiteral("ERROR: Connection to the device lost\n"));
    if (test_run == kTestRunning)
        on_Sto_pushButton_clicked();
    on_Close_pushButton_clicked();
}
