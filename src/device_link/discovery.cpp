// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "discovery.h"

#include "device_contract.h"

namespace discovery {

bool is_device_port(const host::SerialPortEntry &port)
{
    return port.manufacturer == QLatin1String(contract::kManufacturer);
}

QString node_for_text(const QString &text)
{
    for (const contract::AddressKey &key : contract::kAddressKeys) {
        if (text.contains(QLatin1String(key.key), Qt::CaseInsensitive))
            return QString::fromLatin1(key.node);
    }
    return QString();
}

QList<Device> find_devices(const QList<host::SerialPortEntry> &ports)
{
    QList<Device> devices;
    for (const host::SerialPortEntry &port : ports) {
        if (is_device_port(port))
            devices.append({port.description, node_for_text(port.description), port.portName,
                            port.serialNumber});
    }
    return devices;
}

QString address_key(const QString &text)
{
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    for (const contract::AddressKey &key : contract::kAddressKeys) {
        if (digits.compare(QLatin1String(key.key), Qt::CaseInsensitive) == 0)
            return digits.toUpper();
    }
    return QString();
}

bool is_settable_address(const QString &key)
{
    for (const char *settable : contract::kSettableAddresses) {
        if (key == QLatin1String(settable))
            return true;
    }
    return false;
}

} // namespace discovery
