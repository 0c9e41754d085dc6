// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_FIRMWARE_IMAGE_H
#define KALDORIUM_FIRMWARE_IMAGE_H

// What a firmware image path must hold, and how dfu-util is called on it, once the device sits
// in its USB DFU bootloader. Shared by the window and the command line.

#include <QString>
#include <QStringList>

namespace firmware {

// An image is accepted by its path alone: it must contain ".bin" and the firmware marker
// "HC_KLPTV1", both case-sensitive, anywhere in the path.
bool has_image_suffix(const QString &path);
bool has_firmware_marker(const QString &path);

// The command as shown to the operator: "dfu-util -d 1209:db42 -D <path>".
QString command_text(const QString &path);

// The argument list dfu-util gets: the path travels as one argument, never through a shell.
QStringList dfu_arguments(const QString &path);

} // namespace firmware

#endif
