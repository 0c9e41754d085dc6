// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_MAINWINDOW_H
#define KALDORIUM_MAINWINDOW_H

#include <QMainWindow>
#include <QSerialPort>

#include <cstdint>

class QTimer;
class QTimerEvent;
class TimerWakeup;
class Ui_MainWindow;

// The program's one window. Its slots are the operator's actions; each is tied to its
// button by name (on_ + object name + _clicked), so renaming a button in the form silently
// disconnects its handler. The bodies of the device functions live in device_functions/,
// the port handling and the receive path in device_link/.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void on_Open_pushButton_clicked();
    void on_set_pushButton_clicked();
    void on_Close_pushButton_clicked();
    void on_Run_pushButton_clicked();
    void on_Sto_pushButton_clicked();
    void on_Defaults_set_clicked();
    void on_refresh_pushButton_clicked();
    void on_Defaults_read_clicked();
    void on_OpenFirmware_clicked();
    void on_UploadFirmware_clicked();

private:
    void timerEvent(QTimerEvent *event) override;
    void readData();
    void show_read_pins();

    // Appends a message to the console; the message carries its own line end.
    void append(const QString &message);
    // Fills the port list from the host's serial ports; true when a device was found.
    bool scan_devices();
    // Hands a whole frame to the open port. With wait_first, earlier output gets at most
    // 1 ms to drain first. A closed port takes nothing.
    void send_frame(const QByteArray &frame, bool wait_first);
    // The device behind the open port has gone (serial_line::watch_for_loss): report, close.
    void device_lost();
    // Console lines for the error bits of an input status frame.
    void show_error_report(uint8_t error_bits);
    // Prefix of device error lines: "ERROR: KALDORIUM_LPT_C100 - " for the open node.
    QString device_error_prefix() const;
    // Read defaults waits a while for the five replies and names those that never came.
    void wait_for_default_replies();
    void note_default_reply(uint8_t type);
    void report_missing_default_replies();

    QSerialPort *serialPort = nullptr;
    Ui_MainWindow *ui = nullptr;
    int timerId = 0;
    // Wakes the event loop when the 10 ms tick is due, to the microsecond.
    TimerWakeup *tickWakeup = nullptr;

    // From the click on Upload to the upload's end state.
    bool upload_under_way = false;
    // Set from the bootloader command, when a port was open to carry it, until the upload
    // ends: the device is expected to vanish then, and its disappearance is no error.
    bool expect_device_loss = false;
    // Waits for the replies to Read defaults; the bits of the requests not yet answered,
    // in request order.
    QTimer *default_replies_wait = nullptr;
    unsigned default_replies_missing = 0;
};

#endif
