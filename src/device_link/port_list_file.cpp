// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "port_list_file.h"

#include <QFile>
#include <QSaveFile>

namespace host {

bool read_port_list(const QString &path, PortList *list, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    PortList read;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n'));
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() == 2 && fields[0] == QLatin1String("nodes")) {
            read.nodeDirectory = fields[1];
        } else if (fields.size() == 4 && fields[0] == QLatin1String("port")) {
            SerialPortEntry entry;
            entry.portName = fields[1];
            entry.manufacturer = fields[2];
            entry.description = fields[3];
            read.ports.append(entry);
        } else {
            *error = QStringLiteral("%1:%2: expected \"nodes<TAB>DIR\" or "
                                    "\"port<TAB>NAME<TAB>MANUFACTURER<TAB>DESCRIPTION\"")
                         .arg(path)
                         .arg(number);
            return false;
        }
    }
    *list = read;
    return true;
}

bool write_port_list(const QString &path, const PortList &list, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QString text;
    if (!list.nodeDirectory.isEmpty())
        text += QStringLiteral("nodes\t") + list.nodeDirectory + QLatin1Char('\n');
    for (const SerialPortEntry &port : list.ports) {
        text += QStringLiteral("port\t") + port.portName + QLatin1Char('\t') + port.manufacturer +
                QLatin1Char('\t') + port.description + QLatin1Char('\n');
    }
    file.write(text.toUtf8());
    if (!file.commit()) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

bool apply_port_list_from_environment(QString *error)
{
    const QString path = qEnvironmentVariable(kPortListVariable);
    if (path.isEmpty())
        return true;
    PortList list;
    if (!read_port_list(path, &list, error))
        return false;
    set_port_enumerator([ports = list.ports] { return ports; });
    set_device_node_directory(list.nodeDirectory);
    return true;
}

} // namespace host
