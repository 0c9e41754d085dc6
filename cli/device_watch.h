// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_DEVICE_WATCH_H
#define KALDORIUM_CLI_DEVICE_WATCH_H

// Waiting for devices to arrive and leave, as a bench does: wait, provision and flash stand
// on it. A device counts as attached when the host lists it (manufacturer string, address in
// the description) and its device node is there.
//
// Looking at the host's ports is not cheap (QSerialPortInfo asks udev about every tty, a
// dozen milliseconds of CPU), so the watch does not poll it quickly: it watches the node
// directory (/dev) and, with the stand-in port list, the list's directory for changes, and
// looks a moment after each change and once more a little later (a device's udev properties
// may come after its node). Between changes it looks every 10 s in case a change went
// unnoticed; the stand-in port list, a small file, is read every 250 ms as well.

#include "event_wait.h"

#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

struct AttachedDevice {
    QString address;  // as the port describes it: "C100"
    QString node;     // the device node's path; empty when the address names no node
    QString port;     // the system's name for the port: "ttyACM0"
    QString serial;   // USB serial number; empty where the host reports none
    qint64 since = 0; // when the port's own node (/dev/PORT) was made, ns; 0 when unknown
    // The node is there (and, where two devices share an address and so a node, leads to
    // this one).
    bool nodePresent = false;

    bool ready() const { return nodePresent; } // attached and its node there
    // This attachment of the device: a port name that comes back at once (a device unplugged
    // and another plugged in between two looks) is another attachment when its node is new.
    QString attachment() const;
};

// The recognised devices the host lists now, in its order.
QList<AttachedDevice> list_devices();

class DeviceWatch : public QObject {
    Q_OBJECT
public:
    DeviceWatch();

    using Condition = std::function<bool(const QList<AttachedDevice> &devices)>;

    // Waits until condition() holds for the devices the host lists (checked at once and at
    // every look), the timeout (negative: none), a signal. Done, TimedOut or Interrupted.
    EventWait::End waitUntil(const Condition &condition, qint64 timeoutMs);

    // The devices of the latest look.
    const QList<AttachedDevice> &devices() const { return devices_; }
    // Also watch this path's directory (a node given with --port).
    void watchPathOf(const QString &path);
    // Called with the devices at every look, also outside waitUntil (flash notes the device
    // leaving while dfu-util runs).
    std::function<void(const QList<AttachedDevice> &devices)> onLook;

private:
    void look();
    void changed();
    void watchDirectories();

    QFileSystemWatcher watcher_;
    QTimer soon_;    // a moment after a change
    QTimer later_;   // once more a little later
    QTimer regular_; // in case a change went unnoticed
    QStringList extra_paths_;
    QList<AttachedDevice> devices_;
    EventWait wait_;
};

// "15 s", "500 ms", "2 min", "1 h 30 min": a duration for a message.
QString duration_text(qint64 ms);

#endif
