// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_BENCH_FIGURES_H
#define KALDORIUM_BENCH_FIGURES_H

// The figures of a whole benchmark run, as the children reported them, and the small
// helpers that read and format them.

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <vector>

namespace bench {

struct Figures {
    QString command;                 // how the run was started
    QString date;                    // when
    QMap<QString, QString> host;     // machine facts, in display order by key
    QMap<QString, QJsonObject> runs; // by run id
    QList<QJsonObject> startup_runs; // one per fresh process
};

// A figure of a run (0 when absent).
double number(const QJsonObject &run, const char *key);
// True when the run was made and reported no error.
bool ran(const Figures &figures, const QString &id);
// One figure of every start-up run that succeeded.
std::vector<double> startup_values(const Figures &figures, const char *key);
double median(std::vector<double> values);
// The numbers of an array figure of a run (empty when absent).
std::vector<double> array_values(const QJsonObject &run, const char *key);
// CPU of the upload's two pauses together, weighted by their lengths.
double upload_pauses_cpu_percent(const QJsonObject &run);

QString fixed(double value, int decimals = 2);
QString grouped(double value); // 1,234,567

} // namespace bench

#endif
