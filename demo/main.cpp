// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// kaldorium-lpt-demo: the program's own main window with a simulated KALDORIUM-LPT plugged
// in. The simulated device sits behind a pseudo-terminal and is found through the same port
// enumeration and device-node lookup as a real one, so every function of the window works
// against it. dfu-util is replaced by a stand-in that says so.

#include "demo_tour.h"
#include "device_link/host_ports.h"
#include "high_dpi_scaling.h"
#include "mainwindow.h"
#include "simulated_device_endpoint.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

namespace {

constexpr int kReplugAfterBootloaderMs = 4000;

// The stand-in dfu-util lives next to the demo; only this process finds it first.
void put_standin_dfu_util_on_path()
{
    const QString standin = QCoreApplication::applicationDirPath() + QStringLiteral("/standin-bin");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(standin) + (path.isEmpty() ? QByteArray() : ":" + path));
}

} // namespace

int main(int argc, char *argv[])
{
    enable_high_dpi_scaling();
    QApplication application(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("The KALDORIUM-LPT tester / configurator with a simulated device."));
    options.addHelpOption();
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Run a live test with held pins, save a screenshot of it to <file>, quit."),
        QStringLiteral("file"));
    options.addOption(screenshot);
    options.process(application);

    QTemporaryDir node_directory;
    if (!node_directory.isValid())
        qFatal("cannot make a directory for the device node");

    SimulatedDeviceEndpoint device;
    device.setLinkDirectory(node_directory.path());
    device.start();
    host::set_device_node_directory(node_directory.path());
    host::set_port_enumerator([&device] {
        QList<host::SerialPortEntry> ports;
        if (device.isAttached())
            ports.append({device.manufacturer(), device.description()});
        return ports;
    });
    // After the bootloader command the device drops off the line; it comes back a little
    // later, as a real one does once flashed, ready for Refresh and Open.
    QObject::connect(&device, &SimulatedDeviceEndpoint::bootloaderEntered, &device, [&device] {
        QTimer::singleShot(kReplugAfterBootloaderMs, &device, &SimulatedDeviceEndpoint::reconnect);
    });
    put_standin_dfu_util_on_path();

    MainWindow window;
    window.show();
    if (options.isSet(screenshot))
        demo::run_screenshot_tour(window, options.value(screenshot));
    return application.exec();
}
