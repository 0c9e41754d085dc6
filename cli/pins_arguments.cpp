// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pins_arguments.h"

#include <QRegularExpression>

qint64 parse_duration(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,9})(ms|s|m|h)$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return -1;
    const qint64 number = match.captured(1).toLongLong();
    const QString unit = match.captured(2);
    const qint64 scale = unit == QLatin1String("ms")  ? 1
                         : unit == QLatin1String("s") ? 1000
                         : unit == QLatin1String("m") ? 60 * 1000
                                                      : 3600 * 1000;
    return number > 0 ? number * scale : -1;
}

std::optional<uint32_t> parse_number(const QString &text)
{
    bool ok = false;
    uint32_t value = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = text.mid(2).toUInt(&ok, 16);
    else if (text.startsWith(QLatin1String("0b"), Qt::CaseInsensitive))
        value = text.mid(2).toUInt(&ok, 2);
    else
        value = text.toUInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}
