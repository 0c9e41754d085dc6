// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "console_lines.h"

namespace testsupport {

QString foundLine(const QString &address)
{
    return QStringLiteral("KALDORIUM-LPT device found with address 0x") + address +
           QLatin1Char('\n');
}

QString errorLine(const QString &node, const QString &what)
{
    return QStringLiteral("ERROR: ") + node + QStringLiteral(" - ") + what + QLatin1Char('\n');
}

QString allErrorLines(const QString &node)
{
    return errorLine(node, QStringLiteral("Fifo error!")) +
           errorLine(node, QStringLiteral("Frame broken!")) +
           errorLine(node, QStringLiteral("Input frame lose!"));
}

QString uploadLines(const QString &image, const QString &outcome)
{
    return QStringLiteral("Switch to bootloader mode\n"
                          "Waiting for restart\n"
                          "Run Command: \n"
                          "dfu-util -d 1209:db42 -D ") +
           image + QStringLiteral("\nUploading. Please wait...\n") + outcome +
           QStringLiteral("Close port\n");
}

} // namespace testsupport
