// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_UMOCKDEV_TESTBED_H
#define KALDORIUM_TEST_UMOCKDEV_TESTBED_H

// Synthetic USB devices on the program's real device path: a umockdev testbed holding the
// descriptions of tests/devices/. In a process that runs with umockdev's preload library
// (the suites run under umockdev-wrapper) libudev, Qt's port list, /sys and /dev show the
// testbed, and so they do in every program the test starts. Without the preload the testbed
// is only a directory tree (the udev rules test hands its sysfs to udevadm).

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

struct _UMockdevTestbed;

namespace testsupport {

// The text of tests/devices/<name>.umockdev as umockdev reads it: the comment lines, which
// its format does not know, dropped; each text of `renamed` replaced.
QByteArray device_description(const QString &name, const QMap<QString, QString> &renamed = {});

// The sysfs device paths ("/devices/...") a description holds, in its order.
QList<QString> device_paths(const QString &name, const QMap<QString, QString> &renamed = {});

// A description of a device in port 2 of bus 1 (the KALDORIUM-LPT and its bootloader) moved
// to another port, with a tty, usbfs node and device numbers of its own (ttyACM<port>), so
// that it can be plugged in beside the others; other texts of `renamed` replaced as well.
QMap<QString, QString> moved_to(int port, QMap<QString, QString> renamed = {});

class UmockdevTestbed {
public:
    // An empty testbed. The device nodes /dev/KALDORIUM_LPT_C100 ... are hidden, whatever
    // the host has: a test sees only the nodes it links.
    UmockdevTestbed();
    ~UmockdevTestbed();
    UmockdevTestbed(const UmockdevTestbed &) = delete;
    UmockdevTestbed &operator=(const UmockdevTestbed &) = delete;

    // True when this process runs with umockdev's preload library.
    static bool preloaded();
    // True when udev runs on the host: the program then leaves the USB strings of a port to
    // it, so a device without udev's properties is not seen.
    static bool udevRuns();

    // Plugs in the devices of a description (the USB host controller first, once), each
    // text of `renamed` replaced: umockdev keeps the name of a tty that was unplugged, so a
    // device plugged in again needs another ({{"ttyACM0", "ttyACM4"}}).
    void add(const QString &name, const QMap<QString, QString> &renamed = {});
    // Unplugs the devices of a description, added with the same names.
    void remove(const QString &name, const QMap<QString, QString> &renamed = {});

    // /dev/<node> as a link to /dev/<target>, as the udev rules make it; an empty target
    // hides the node again.
    void linkNode(const QString &node, const QString &target);

    // The test's end of a synthetic tty ("/dev/ttyACM0"): the program's reads and writes on
    // the node arrive and leave here. Owned by the testbed.
    int deviceEnd(const QString &node) const;

    QString root() const; // the testbed's directory: sys/, dev/
    QString sysDirectory() const;

private:
    void hideNodes();

    _UMockdevTestbed *testbed_ = nullptr;
    bool hostAdded_ = false;
};

} // namespace testsupport

#endif
