// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_PORT_LIST_FILE_H
#define KALDORIUM_PORT_LIST_FILE_H

// A stand-in for the host's serial ports, read from a file, so that the command line can be
// tried, tested and measured against simulated devices. Never set in production: with the
// variable unset the host's own ports and /dev are used.
//
// The file is UTF-8 text, one entry a line, fields separated by a tab; '#' lines and blank
// lines are skipped:
//   nodes<TAB>DIRECTORY                              the directory of the device nodes
//   port<TAB>NAME<TAB>MANUFACTURER<TAB>DESCRIPTION   one serial port, in enumeration order

#include "host_ports.h"

#include <QList>
#include <QString>

namespace host {

// The environment variable that names the file.
inline constexpr char kPortListVariable[] = "KALDORIUM_LPT_PORT_LIST";

struct PortList {
    QString nodeDirectory; // empty: /dev
    QList<SerialPortEntry> ports;
};

// False with a reason ("FILE:LINE: ...") when the file cannot be read or a line is malformed.
bool read_port_list(const QString &path, PortList *list, QString *error);
bool write_port_list(const QString &path, const PortList &list, QString *error);

// When the variable names a file, replaces the host's ports and node directory with it.
// True when nothing is to be replaced or the file was taken; false with a reason otherwise.
bool apply_port_list_from_environment(QString *error);

} // namespace host

#endif
