// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// kaldorium-lpt-sim: the simulated KALDORIUM-LPT (the demo's device, loopback plug included)
// behind a pseudo-terminal, for trying the command line without hardware. It prints the node
// to open, keeps an optional symlink to it, and runs until SIGINT or SIGTERM.

#include "device_link/port_list_file.h"
#include "sim_options.h"
#include "simulated_device_endpoint.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kReplugAfterBootloaderMs = 3000;

int signal_pipe[2] = {-1, -1};

void on_stop_signal(int)
{
    const char byte = 1;
    (void)!::write(signal_pipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop through a pipe; the handler does nothing else.
bool quit_on_stop_signals(QCoreApplication &application)
{
    if (::pipe(signal_pipe) != 0)
        return false;
    auto *notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    return true;
}

// Points the user's symlink at the current node; an existing symlink there is replaced.
bool update_link(const QString &link, const QString &node)
{
    const QFileInfo existing(link);
    if (existing.isSymLink())
        QFile::remove(link);
    return QFile::link(node, link);
}

// Lists the device in the stand-in port list while it is attached, as the host's
// enumeration would, with its node in the list's node directory.
void announce(const SimulatedDeviceEndpoint &device, const QString &port_list,
              const QString &node_directory)
{
    host::PortList list;
    list.nodeDirectory = node_directory;
    if (device.isAttached()) {
        // Named as the host names its ports: the node's path below /dev ("pts/3").
        QString port = device.slavePath();
        if (port.startsWith(QLatin1String("/dev/")))
            port.remove(0, 5);
        list.ports.append({device.manufacturer(), device.description(), port});
    }
    QString error;
    if (!host::write_port_list(port_list, list, &error))
        std::fprintf(stderr, "kaldorium-lpt-sim: %s\n", qPrintable(error));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kaldorium-lpt-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KALDORIUM_VERSION));

    sim::Options options;
    const sim::ParseResult parsed = sim::parse_options(application.arguments(), options);
    if (parsed.exit_code >= 0) {
        std::fputs(qPrintable(parsed.message), parsed.exit_code == 0 ? stdout : stderr);
        return parsed.exit_code;
    }
    if (!quit_on_stop_signals(application)) {
        std::fprintf(stderr, "kaldorium-lpt-sim: cannot set up signal handling\n");
        return 71; // EX_OSERR
    }

    SimulatedDeviceEndpoint device;
    device.setStatusInterval(options.status_interval_ms);
    device.setFloodRate(options.flood_rate);
    // A port list needs the device's node in a directory; a private one unless --node-dir.
    QTemporaryDir private_nodes;
    if (!options.port_list.isEmpty() && options.node_directory.isEmpty())
        options.node_directory = private_nodes.path();
    if (!options.node_directory.isEmpty())
        device.setLinkDirectory(options.node_directory);
    if (!options.port_list.isEmpty()) {
        const auto update = [&] { announce(device, options.port_list, options.node_directory); };
        QObject::connect(&device, &SimulatedDeviceEndpoint::attached, &application, update);
        QObject::connect(&device, &SimulatedDeviceEndpoint::addressChanged, &application, update);
        QObject::connect(&device, &SimulatedDeviceEndpoint::dropped, &application, update);
    }

    bool link_failed = false;
    QObject::connect(&device, &SimulatedDeviceEndpoint::attached, &application,
                     [&](const QString &node) {
                         QString shown = node;
                         if (!options.link.isEmpty()) {
                             if (!update_link(options.link, node)) {
                                 std::fprintf(stderr,
                                              "kaldorium-lpt-sim: cannot make the link %s "
                                              "(is the directory writable, is a file there?)\n",
                                              qPrintable(options.link));
                                 link_failed = true;
                                 application.exit(73); // EX_CANTCREAT
                                 return;
                             }
                             shown = options.link;
                         } else if (!device.linkPath().isEmpty()) {
                             shown = device.linkPath();
                         }
                         std::printf("%s\n", qPrintable(shown));
                         std::fflush(stdout);
                     });
    // After the bootloader command the device drops off the line and comes back a little
    // later, as a real one does once flashed.
    QObject::connect(&device, &SimulatedDeviceEndpoint::bootloaderEntered, &device, [&device] {
        QTimer::singleShot(kReplugAfterBootloaderMs, &device, &SimulatedDeviceEndpoint::reconnect);
    });

    QRandomGenerator random(options.seed);
    QTimer input_changes;
    if (options.random_inputs_ms > 0) {
        // One net (and so every pin on it) flips at a time, as a switch on the machine would.
        QObject::connect(&input_changes, &QTimer::timeout, &device, [&] {
            const auto nets = quint8(device.snapshot().externalNets() ^ (1u << random.bounded(8)));
            device.setExternalNets(nets);
        });
        input_changes.start(options.random_inputs_ms);
    }
    QTimer error_reports;
    if (options.error_interval_ms > 0) {
        QObject::connect(&error_reports, &QTimer::timeout, &device,
                         [&] { device.injectErrors(options.error_bits); });
        error_reports.start(options.error_interval_ms);
    }

    device.start();
    if (!device.isAttached()) {
        std::fprintf(stderr, "kaldorium-lpt-sim: cannot open a pseudo-terminal\n");
        return 71;
    }
    const int code = link_failed ? 73 : application.exec();
    device.drop();
    if (!options.link.isEmpty() && QFileInfo(options.link).isSymLink())
        QFile::remove(options.link);
    if (!options.port_list.isEmpty())
        QFile::remove(options.port_list);
    return code;
}
