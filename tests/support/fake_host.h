// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_FAKE_HOST_H
#define KALDORIUM_TEST_FAKE_HOST_H

// A stand-in host: the serial ports it reports and the directory of device nodes, linked to
// pseudo-terminals.

#include "device_link/host_ports.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// While alive, the program sees the ports given to setPorts() and finds its device nodes
// in a temporary directory. Restores the host's own on destruction.
class FakeHost {
public:
    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost &) = delete;
    FakeHost &operator=(const FakeHost &) = delete;

    void setPorts(const QList<host::SerialPortEntry> &ports);
    // Makes <dir>/<node> a link to target (a pty slave path); replaces an older link.
    void linkNode(const QString &node, const QString &target);
    QString nodeDirectory() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QList<host::SerialPortEntry> ports_;
};

// A port entry as the device reports it.
host::SerialPortEntry devicePort(const QString &description);

} // namespace testsupport

#endif
