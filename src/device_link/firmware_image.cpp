// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "firmware_image.h"

#include "device_contract.h"

namespace firmware {

bool has_image_suffix(const QString &path)
{
    return path.contains(QLatin1String(".bin"), Qt::CaseSensitive);
}

bool has_firmware_marker(const QString &path)
{
    return path.contains(QLatin1String("HC_KLPTV1"), Qt::CaseSensitive);
}

QStringList dfu_arguments(const QString &path)
{
    return {QStringLiteral("-d"), QString::fromLatin1(contract::kDfuDeviceId), QStringLiteral("-D"),
            path};
}

QString command_text(const QString &path)
{
    return QString::fromLatin1(contract::kDfuUtil) + QLatin1Char(' ') +
           dfu_arguments(path).join(QLatin1Char(' '));
}

} // namespace firmware
