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
//   port<TAB>NAME<TAB>MANUFACTURER<TAB>DESCRIPTION[<TAB>SERIAL]
//                                                    one serial port, in enumeration order,
//                                                    with its USB serial number if it has one
//
// The program reads the file again each time it looks at the ports, so a simulated device
// can come and go while a command waits for it; a missing file lists no ports. Several
// simulated devices may share one file: each changes only its own entries, under a lock.

#include "host_ports.h"

#include <QList>
#include <QString>

#include <functional>

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

// Reads the list (a missing file is an empty list), lets change() edit it and writes it back
// whole, all under an exclusive lock on PATH.lock, so that several writers may share the
// file. A list left without ports is removed with its lock file.
bool update_port_list(const QString &path, const std::function<void(PortList &)> &change,
                      QString *error);

// The file the variable names, or an empty string.
QString port_list_from_environment();

// When the variable names a file, replaces the host's ports and node directory with it, read
// again at every enumeration (a file that turns malformed meanwhile leaves the ports as they
// were last read). True when nothing is to be replaced or the file was taken; false with a
// reason when it is malformed now.
bool apply_port_list_from_environment(QString *error);

} // namespace host

#endif
