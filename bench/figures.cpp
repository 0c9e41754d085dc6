// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "figures.h"

#include <QJsonArray>

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace bench {

std::vector<double> array_values(const QJsonObject &run, const char *key)
{
    std::vector<double> values;
    const QJsonArray array = run.value(QLatin1String(key)).toArray();
    for (const QJsonValue &value : array)
        values.push_back(value.toDouble());
    return values;
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString grouped(double value)
{
    return QLocale(QLocale::English).toString(qint64(std::llround(value)));
}

double number(const QJsonObject &run, const char *key)
{
    return run.value(QLatin1String(key)).toDouble();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::vector<double> startup_values(const Figures &figures, const char *key)
{
    std::vector<double> values;
    for (const QJsonObject &run : figures.startup_runs) {
        if (!run.contains(QLatin1String("error")))
            values.push_back(number(run, key));
    }
    return values;
}

bool ran(const Figures &figures, const QString &id)
{
    return figures.runs.contains(id) && !figures.runs[id].contains(QLatin1String("error"));
}

double upload_pauses_cpu_percent(const QJsonObject &run)
{
    const double restart_ms = number(run, "restart_pause_ms");
    const double tool_ms = number(run, "tool_pause_ms");
    if (restart_ms + tool_ms <= 0)
        return 0;
    return (number(run, "restart_pause_cpu_percent") * restart_ms +
            number(run, "tool_pause_cpu_percent") * tool_ms) /
           (restart_ms + tool_ms);
}

} // namespace bench
