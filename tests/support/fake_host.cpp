// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "fake_host.h"

#include "device_link/device_contract.h"

#include <QFile>

namespace testsupport {

FakeHost::FakeHost()
{
    host::set_device_node_directory(dir_.path());
    host::set_port_enumerator([this] { return ports_; });
}

FakeHost::~FakeHost()
{
    host::set_port_enumerator({});
    host::set_device_node_directory(QString());
}

void FakeHost::setPorts(const QList<host::SerialPortEntry> &ports)
{
    ports_ = ports;
}

void FakeHost::linkNode(const QString &node, const QString &target)
{
    QFile::remove(dir_.filePath(node));
    QFile::link(target, dir_.filePath(node));
}

host::SerialPortEntry devicePort(const QString &description)
{
    return {QString::fromLatin1(contract::kManufacturer), description};
}

} // namespace testsupport
