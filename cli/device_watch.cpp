// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device_watch.h"

#include "device_selection.h"

#include "device_link/discovery.h"
#include "device_link/host_ports.h"
#include "device_link/port_list_file.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>
#include <utility>

namespace {

constexpr int kSoonMs = 30;             // lets a burst of changes settle
constexpr int kLaterMs = 400;           // udev's properties may follow the node
constexpr int kRegularMs = 10000;       // the host's ports, in case a change went unnoticed
constexpr int kPortListRegularMs = 250; // the stand-in port list: a small file

} // namespace

QString AttachedDevice::attachment() const
{
    return port + QLatin1Char('\t') + serial + QLatin1Char('\t') + QString::number(since);
}

QList<AttachedDevice> list_devices()
{
    QList<AttachedDevice> attached;
    const QList<host::SerialPortEntry> ports = host::available_ports();
    for (const discovery::Device &device : discovery::find_devices(ports)) {
        AttachedDevice entry;
        entry.address = device.address;
        entry.node = device_node(device); // the tty's own node where udev made none
        entry.port = device.port;
        entry.serial = device.serial;
        struct stat node = {};
        if (!entry.port.isEmpty() &&
            ::stat(QFile::encodeName(QStringLiteral("/dev/") + entry.port).constData(), &node) == 0)
            entry.since = qint64(node.st_ctim.tv_sec) * 1000000000 + node.st_ctim.tv_nsec;
        entry.nodePresent = !entry.node.isEmpty() && QFileInfo::exists(entry.node);
        attached.append(entry);
    }
    // Two devices at one address: their node leads to one of them, which is then the only
    // one that counts as attached with its node (its link resolves to the port's own node).
    for (AttachedDevice &entry : attached) {
        const auto same_node = [&entry](const AttachedDevice &other) {
            return other.node == entry.node;
        };
        if (!entry.nodePresent || std::count_if(attached.begin(), attached.end(), same_node) < 2)
            continue;
        entry.nodePresent = QFileInfo(entry.node).canonicalFilePath() ==
                            QFileInfo(QStringLiteral("/dev/") + entry.port).canonicalFilePath();
    }
    return attached;
}

DeviceWatch::DeviceWatch()
{
    soon_.setSingleShot(true);
    soon_.setInterval(kSoonMs);
    later_.setSingleShot(true);
    later_.setInterval(kLaterMs);
    const bool stand_in = !host::port_list_from_environment().isEmpty();
    regular_.setInterval(stand_in ? kPortListRegularMs : kRegularMs);
    // Coarse, not very coarse: that one rounds to whole seconds, and 250 ms to a busy 0.
    regular_.setTimerType(Qt::CoarseTimer);
    connect(&soon_, &QTimer::timeout, this, &DeviceWatch::look);
    connect(&later_, &QTimer::timeout, this, &DeviceWatch::look);
    connect(&regular_, &QTimer::timeout, this, &DeviceWatch::look);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &DeviceWatch::changed);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &DeviceWatch::changed);
    look();
}

void DeviceWatch::watchPathOf(const QString &path)
{
    extra_paths_.append(path);
    watchDirectories();
}

void DeviceWatch::watchDirectories()
{
    QStringList directories{host::device_node_directory()};
    const QString list = host::port_list_from_environment();
    if (!list.isEmpty())
        directories.append(QFileInfo(list).absolutePath());
    for (const QString &path : std::as_const(extra_paths_))
        directories.append(QFileInfo(path).absolutePath());
    const QStringList watched = watcher_.directories();
    for (const QString &directory : directories) {
        // A directory that is not there yet (the stand-in's nodes) is added when it is.
        if (!watched.contains(directory) && QFileInfo(directory).isDir())
            watcher_.addPath(directory);
    }
}

void DeviceWatch::changed()
{
    if (!soon_.isActive())
        soon_.start();
    later_.start(); // restarted: once more after the last change
}

void DeviceWatch::look()
{
    devices_ = list_devices();
    watchDirectories();
    if (onLook)
        onLook(devices_);
    regular_.start(); // the next regular look counts from this one
    wait_.wake();
}

EventWait::End DeviceWatch::waitUntil(const Condition &condition, qint64 timeoutMs)
{
    look();
    return wait_.run([&] { return condition(devices_); }, timeoutMs);
}

QString duration_text(qint64 ms)
{
    if (ms < 1000 || ms % 1000)
        return QStringLiteral("%1 ms").arg(ms);
    qint64 s = ms / 1000;
    if (s < 60 || s % 60)
        return QStringLiteral("%1 s").arg(s);
    const qint64 min = s / 60;
    if (min < 60)
        return QStringLiteral("%1 min").arg(min);
    return min % 60 ? QStringLiteral("%1 h %2 min").arg(min / 60).arg(min % 60)
                    : QStringLiteral("%1 h").arg(min / 60);
}
