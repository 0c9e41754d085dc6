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
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kAwayAfterBootloaderMs = 3000;
constexpr int kLeaveAfterAddressMs = 50; // the operator pulls the plug after the address set
constexpr int kExitCantCreate = 73;      // EX_CANTCREAT

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

// What stands at the user's --link path.
enum class LinkState {
    Free,    // nothing
    Ours,    // our own link, to the node we linked last
    Stale,   // a symlink to a node that is gone (a simulated device that ended)
    InUse,   // a symlink to a node that is there: another running simulated device
    NotALink // a file, a directory, ...: not ours to replace
};

LinkState link_state(const QString &link, const QString &own_node)
{
    const QFileInfo info(link);
    if (!info.isSymLink())
        return info.exists() ? LinkState::NotALink : LinkState::Free;
    const QString target = info.symLinkTarget();
    if (!own_node.isEmpty() && target == own_node)
        return LinkState::Ours;
    return QFileInfo::exists(target) ? LinkState::InUse : LinkState::Stale;
}

QString link_refusal(const QString &link)
{
    const QFileInfo info(link);
    if (info.isSymLink()) {
        return QStringLiteral("%1 already links to %2, a node that is in use (another "
                              "kaldorium-lpt-sim?); stop it, or choose another --link")
            .arg(link, info.symLinkTarget());
    }
    return QStringLiteral("%1 exists and is no symlink; remove it, or choose another --link")
        .arg(link);
}

// Lists the device in the stand-in port list while it is attached, as the host's
// enumeration would, with its node in the list's node directory. Other simulated devices in
// the same list keep their entries.
class Announcer {
public:
    Announcer(QString path, QString node_directory, QString serial)
        : path_(std::move(path)), node_directory_(std::move(node_directory)),
          serial_(std::move(serial))
    {
    }

    void update(const SimulatedDeviceEndpoint &device)
    {
        QString port;
        if (device.isAttached()) {
            // Named as the host names its ports: the node's path below /dev ("pts/3").
            port = device.slavePath();
            if (port.startsWith(QLatin1String("/dev/")))
                port.remove(0, 5);
        }
        QString error;
        const bool done = host::update_port_list(
            path_,
            [&](host::PortList &list) {
                for (int i = list.ports.size() - 1; i >= 0; --i) {
                    if (list.ports[i].portName == announced_ || list.ports[i].portName == port)
                        list.ports.removeAt(i);
                }
                if (list.nodeDirectory.isEmpty())
                    list.nodeDirectory = node_directory_;
                if (!port.isEmpty())
                    list.ports.append({device.manufacturer(), device.description(), port, serial_});
            },
            &error);
        if (!done)
            std::fprintf(stderr, "kaldorium-lpt-sim: %s\n", qPrintable(error));
        announced_ = port;
    }

private:
    QString path_;
    QString node_directory_;
    QString serial_;
    QString announced_; // our port in the list, or empty
};

// The node directory for a port list: the one the list already names for the simulated
// devices in it, or else --node-dir, or else PATH.nodes beside the list. Empty with a reason
// when --node-dir disagrees with the list's.
QString node_directory_for(const sim::Options &options, QString *error)
{
    host::PortList list;
    QString ignored;
    const bool shared = QFile::exists(options.port_list) &&
                        host::read_port_list(options.port_list, &list, &ignored) &&
                        !list.ports.isEmpty() && !list.nodeDirectory.isEmpty();
    if (shared && !options.node_directory.isEmpty() &&
        QFileInfo(options.node_directory).absoluteFilePath() !=
            QFileInfo(list.nodeDirectory).absoluteFilePath()) {
        *error = QStringLiteral("%1 lists devices with their nodes in %2; give --node-dir %2, "
                                "or another --port-list")
                     .arg(options.port_list, list.nodeDirectory);
        return QString();
    }
    if (shared)
        return list.nodeDirectory;
    if (!options.node_directory.isEmpty())
        return QFileInfo(options.node_directory).absoluteFilePath();
    return QFileInfo(options.port_list).absoluteFilePath() + QStringLiteral(".nodes");
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

    if (!options.link.isEmpty()) {
        const LinkState state = link_state(options.link, QString());
        if (state == LinkState::InUse || state == LinkState::NotALink) {
            std::fprintf(stderr, "kaldorium-lpt-sim: %s\n", qPrintable(link_refusal(options.link)));
            return kExitCantCreate;
        }
    }
    QString default_node_directory; // PATH.nodes: removed by whoever leaves the list empty
    if (!options.port_list.isEmpty()) {
        QString error;
        const QString directory = node_directory_for(options, &error);
        if (directory.isEmpty()) {
            std::fprintf(stderr, "kaldorium-lpt-sim: %s\n", qPrintable(error));
            return 64; // EX_USAGE
        }
        if (directory == QFileInfo(options.port_list).absoluteFilePath() + QStringLiteral(".nodes"))
            default_node_directory = directory;
        options.node_directory = directory;
    }

    SimulatedDeviceEndpoint device;
    device.setStatusInterval(options.status_interval_ms);
    device.setFloodRate(options.flood_rate);
    device.setPlug(*options.plug);
    device.setFaults(options.faults);
    device.setAddressShownAfterReplug(options.replug_after_ms >= 0);
    if (!options.node_directory.isEmpty())
        device.setLinkDirectory(options.node_directory);
    Announcer announcer(options.port_list, options.node_directory, options.serial);
    if (!options.port_list.isEmpty()) {
        const auto update = [&] { announcer.update(device); };
        QObject::connect(&device, &SimulatedDeviceEndpoint::attached, &application, update);
        QObject::connect(&device, &SimulatedDeviceEndpoint::dropped, &application, update);
        if (options.replug_after_ms < 0)
            QObject::connect(&device, &SimulatedDeviceEndpoint::addressChanged, &application,
                             update);
    }

    bool link_failed = false;
    QString linked_node; // where our --link points
    QObject::connect(&device, &SimulatedDeviceEndpoint::attached, &application,
                     [&](const QString &node) {
                         QString shown = node;
                         if (!options.link.isEmpty()) {
                             const LinkState state = link_state(options.link, linked_node);
                             if (state == LinkState::InUse || state == LinkState::NotALink) {
                                 // Taken by another simulated device while this one was away.
                                 std::fprintf(stderr, "kaldorium-lpt-sim: %s\n",
                                              qPrintable(link_refusal(options.link)));
                             } else if (state != LinkState::Free && !QFile::remove(options.link)) {
                                 link_failed = true;
                             } else if (!QFile::link(node, options.link)) {
                                 link_failed = true;
                             } else {
                                 linked_node = node;
                                 shown = options.link;
                             }
                             if (link_failed) {
                                 std::fprintf(stderr,
                                              "kaldorium-lpt-sim: cannot make the link %s "
                                              "(is the directory writable, is a file there?)\n",
                                              qPrintable(options.link));
                                 application.exit(kExitCantCreate);
                                 return;
                             }
                         } else if (!device.linkPath().isEmpty()) {
                             shown = device.linkPath();
                         }
                         std::printf("%s\n", qPrintable(shown));
                         std::fflush(stdout);
                     });
    // After the bootloader command the device drops off the line and comes back a little
    // later, as a real one does once flashed (unless it is to stay away).
    QObject::connect(&device, &SimulatedDeviceEndpoint::bootloaderEntered, &device, [&] {
        if (options.no_return)
            return;
        const int away =
            options.replug_after_ms >= 0 ? options.replug_after_ms : kAwayAfterBootloaderMs;
        QTimer::singleShot(away, &device, &SimulatedDeviceEndpoint::reconnect);
    });
    // After an address set the operator unplugs the device and plugs it in again; it comes
    // back at its new address.
    if (options.replug_after_ms >= 0) {
        QObject::connect(&device, &SimulatedDeviceEndpoint::addressChanged, &device, [&] {
            QTimer::singleShot(kLeaveAfterAddressMs, &device, &SimulatedDeviceEndpoint::drop);
            QTimer::singleShot(kLeaveAfterAddressMs + options.replug_after_ms, &device, [&] {
                if (!device.isAttached())
                    device.reconnect();
            });
        });
    }

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
    const int code = link_failed ? kExitCantCreate : application.exec();
    device.drop(); // leaves the port list (which goes when no device is left in it)
    // Only a link this run made, still pointing where it put it: another simulated device
    // may have taken the path meanwhile.
    if (!options.link.isEmpty() && link_state(options.link, linked_node) == LinkState::Ours)
        QFile::remove(options.link);
    if (!default_node_directory.isEmpty() && !QFile::exists(options.port_list))
        QDir().rmdir(default_node_directory); // only when empty

    return code;
}
