// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "targets.h"

#include "driver.h"

#include "device_link/frames.h"

#include <algorithm>
#include <cmath>

namespace bench {

namespace {

constexpr double kTickMs = frames::kFramePeriodMs;
constexpr double kFramesPerSecond = 1000 / kTickMs;
constexpr double kReceiveFilteredFactor = 50;

void stream_checks(QList<Check> &checks, const Figures &figures, const QString &id,
                   const QString &label)
{
    if (!ran(figures, id))
        return;
    const QJsonObject &run = figures.runs[id];
    const double fps = number(run, "frames_per_second");
    const double p99 = number(run, "gap_p99_ms");
    const double longest = number(run, "gap_max_ms");
    const double on_time = number(run, "gap_within_half_ms_percent");
    const double lost = number(run, "frames_lost") + number(run, "frames_malformed");
    // 100.00 frames/s as far as a run of whole frames can show it: within one frame.
    const double seconds = number(run, "seconds");
    checks << Check{label + QStringLiteral(": frames/s"), QStringLiteral("100.00 (± 1 frame)"),
                    fixed(fps), std::fabs(fps - kFramesPerSecond) * seconds <= 1}
           << Check{label + QStringLiteral(": gap p99; max"), QStringLiteral("≤ 10.6 ms; ≤ 12 ms"),
                    fixed(p99) + QStringLiteral(" ms; ") + fixed(longest) + QStringLiteral(" ms"),
                    p99 <= kTickMs + 0.6 && longest <= kTickMs + 2}
           << Check{label + QStringLiteral(": gaps within 0.5 ms of 10 ms"),
                    QStringLiteral("≥ 90 %"), fixed(on_time, 1) + QStringLiteral(" %"),
                    on_time >= 90}
           << Check{label + QStringLiteral(": frames lost or malformed"), QStringLiteral("0"),
                    fixed(lost, 0), lost == 0};
}

} // namespace

QList<Check> checks_of(const Figures &figures)
{
    QList<Check> checks;
    stream_checks(checks, figures, QStringLiteral("stream"), QStringLiteral("Live test"));
    stream_checks(checks, figures, QStringLiteral("stream-flood-null"),
                  QStringLiteral("Live test + input flood, debug to /dev/null"));
    stream_checks(checks, figures, QStringLiteral("stream-flood-filtered"),
                  QStringLiteral("Live test + input flood, debug filtered"));

    const QString line_rate = grouped(kLineBytesPerSecond) + QStringLiteral(" B/s");
    for (const char *id : {"stream-flood-null", "stream-flood-filtered"}) {
        if (!ran(figures, QLatin1String(id)))
            continue;
        const double taken = number(figures.runs[QLatin1String(id)], "bytes_to_host_per_second");
        checks << Check{
            QStringLiteral("Input flood taken while streaming, debug ") +
                (QLatin1String(id).endsWith(QLatin1String("null")) ? QStringLiteral("to /dev/null")
                                                                   : QStringLiteral("filtered")),
            QStringLiteral("≥ 99 % of ") + line_rate, grouped(taken) + QStringLiteral(" B/s"),
            taken >= 0.99 * kLineBytesPerSecond};
    }
    if (ran(figures, QStringLiteral("receive-null"))) {
        const double rate =
            number(figures.runs[QStringLiteral("receive-null")], "bytes_per_second");
        checks << Check{QStringLiteral("Receive path, debug to /dev/null"),
                        QStringLiteral("≥ ") + line_rate, grouped(rate) + QStringLiteral(" B/s"),
                        rate >= kLineBytesPerSecond};
    }
    if (ran(figures, QStringLiteral("receive-filtered"))) {
        const double rate =
            number(figures.runs[QStringLiteral("receive-filtered")], "bytes_per_second");
        checks << Check{QStringLiteral("Receive path, debug filtered"),
                        QStringLiteral("≥ ") +
                            grouped(kReceiveFilteredFactor * kLineBytesPerSecond) +
                            QStringLiteral(" B/s (50 × line rate)"),
                        grouped(rate) + QStringLiteral(" B/s"),
                        rate >= kReceiveFilteredFactor * kLineBytesPerSecond};
    }
    if (ran(figures, QStringLiteral("stream"))) {
        const double cpu = number(figures.runs[QStringLiteral("stream")], "gui_thread_cpu_percent");
        checks << Check{QStringLiteral("CPU while streaming (program's thread)"),
                        QStringLiteral("< 3 % of one core"), fixed(cpu) + QStringLiteral(" %"),
                        cpu < 3};
    }
    const std::pair<const char *, const char *> idle_runs[] = {
        {"idle-closed", "CPU idle, port closed"},
        {"idle-open", "CPU idle, port open, device reporting, debug to /dev/null"},
        {"idle-open-filtered", "CPU idle, port open, device reporting, debug filtered"},
    };
    for (const auto &idle : idle_runs) {
        const QString id = QLatin1String(idle.first);
        if (!ran(figures, id))
            continue;
        const double cpu = number(figures.runs[id], "gui_thread_cpu_percent");
        checks << Check{QString::fromLatin1(idle.second), QStringLiteral("< 1 % of one core"),
                        fixed(cpu) + QStringLiteral(" %"), cpu < 1};
    }
    if (ran(figures, QStringLiteral("upload"))) {
        const QJsonObject &run = figures.runs[QStringLiteral("upload")];
        const double cpu = upload_pauses_cpu_percent(run);
        const double restart = number(run, "restart_pause_ms");
        const double tool = number(run, "tool_pause_ms");
        checks << Check{QStringLiteral("Upload pauses, CPU (program's thread)"),
                        QStringLiteral("< 5 % of one core"), fixed(cpu) + QStringLiteral(" %"),
                        cpu < 5}
               << Check{QStringLiteral("Upload pauses, length"),
                        QStringLiteral("≥ 2000 ms; ≥ 1000 ms"),
                        fixed(restart, 0) + QStringLiteral(" ms; ") + fixed(tool, 0) +
                            QStringLiteral(" ms"),
                        restart >= 2000 && tool >= 1000};
    }
    if (ran(figures, QStringLiteral("error-flood"))) {
        const QJsonObject &run = figures.runs[QStringLiteral("error-flood")];
        const double growth = number(run, "rss_end_kib") - number(run, "rss_20s_kib");
        const double cpu = number(run, "gui_thread_cpu_full_console_percent");
        checks << Check{QStringLiteral(
                            "Device error flood: memory growth once the console is full"),
                        QStringLiteral("< 5 MB"), grouped(growth) + QStringLiteral(" KiB"),
                        growth < 5 * 1024}
               << Check{QStringLiteral("Device error flood: CPU at ") +
                            fixed(number(run, "lines_per_second"), 0) +
                            QStringLiteral(" lines/s (program's thread)"),
                        QStringLiteral("< 10 % of one core"), fixed(cpu) + QStringLiteral(" %"),
                        cpu < 10};
    }
    const std::vector<double> shown = startup_values(figures, "to_shown_ms");
    if (!shown.empty()) {
        const double typical = median(shown);
        const double worst = *std::max_element(shown.begin(), shown.end());
        checks << Check{
            QStringLiteral("Start to window shown (median; max)"), QStringLiteral("≤ 300 ms"),
            fixed(typical, 1) + QStringLiteral(" ms; ") + fixed(worst, 1) + QStringLiteral(" ms"),
            typical <= 300};
    }
    if (ran(figures, QStringLiteral("selftest"))) {
        const std::vector<double> wall =
            array_values(figures.runs[QStringLiteral("selftest")], "passmark_ms");
        if (!wall.empty()) {
            const double worst = *std::max_element(wall.begin(), wall.end());
            checks << Check{QStringLiteral("kaldorium-lpt selftest (passmark), start to exit "
                                           "(median; max)"),
                            QStringLiteral("< 1 s"),
                            fixed(median(wall), 1) + QStringLiteral(" ms; ") + fixed(worst, 1) +
                                QStringLiteral(" ms"),
                            worst < 1000};
        }
    }
    if (ran(figures, QStringLiteral("provision"))) {
        const QJsonObject &run = figures.runs[QStringLiteral("provision")];
        const std::vector<double> each = array_values(run, "seconds_without_replug");
        if (!each.empty()) {
            const double worst = *std::max_element(each.begin(), each.end());
            checks << Check{QStringLiteral("kaldorium-lpt provision, self-test, defaults and "
                                           "address, per device less the replug (median; max)"),
                            QStringLiteral("< 2 s"),
                            fixed(median(each)) + QStringLiteral(" s; ") + fixed(worst) +
                                QStringLiteral(" s"),
                            worst < 2 && int(each.size()) == int(number(run, "devices"))};
        }
    }
    if (ran(figures, QStringLiteral("wait-idle"))) {
        const QJsonObject &run = figures.runs[QStringLiteral("wait-idle")];
        const double host = number(run, "host_cpu_percent");
        const double list = number(run, "list_cpu_percent");
        checks << Check{QStringLiteral("kaldorium-lpt wait, idle CPU (host's ports; stand-in "
                                       "list)"),
                        QStringLiteral("< 0.5 % of a core"),
                        fixed(host, 3) + QStringLiteral(" %; ") + fixed(list, 3) +
                            QStringLiteral(" %"),
                        host < 0.5 && list < 0.5};
        const std::vector<double> notice = array_values(run, "notice_ms");
        if (!notice.empty()) {
            const double worst = *std::max_element(notice.begin(), notice.end());
            checks << Check{QStringLiteral("kaldorium-lpt wait notices a device (max)"),
                            QStringLiteral("< 500 ms"), fixed(worst, 1) + QStringLiteral(" ms"),
                            worst < 500};
        }
    }
    if (ran(figures, QStringLiteral("cli"))) {
        const QJsonObject &run = figures.runs[QStringLiteral("cli")];
        const std::pair<const char *, const char *> commands[] = {
            {"list_ms", "kaldorium-lpt list, start to exit (median; max)"},
            {"defaults_read_ms", "kaldorium-lpt defaults read, start to exit (median; max)"},
            {"defaults_write_unchanged_ms",
             "kaldorium-lpt defaults write of a profile the device holds, start to exit (median; "
             "max)"},
        };
        for (const auto &command : commands) {
            const std::vector<double> wall = array_values(run, command.first);
            if (wall.empty())
                continue;
            const double typical = median(wall);
            const double target = qstrcmp(command.first, "defaults_write_unchanged_ms") ? 100 : 60;
            checks << Check{
                QString::fromLatin1(command.second), QStringLiteral("< %1 ms").arg(target),
                fixed(typical, 1) + QStringLiteral(" ms; ") +
                    fixed(*std::max_element(wall.begin(), wall.end()), 1) + QStringLiteral(" ms"),
                typical < target};
        }
        std::vector<double> rss = array_values(run, "list_rss_kib");
        for (const char *key : {"defaults_read_rss_kib", "defaults_write_unchanged_rss_kib"}) {
            const std::vector<double> more = array_values(run, key);
            rss.insert(rss.end(), more.begin(), more.end());
        }
        if (!rss.empty()) {
            const double peak = *std::max_element(rss.begin(), rss.end());
            checks << Check{QStringLiteral("kaldorium-lpt peak resident memory (largest run)"),
                            QStringLiteral("< 15 MB (14,648 KiB)"),
                            grouped(peak) + QStringLiteral(" KiB"), peak * 1024 < 15e6};
        }
    }
    return checks;
}

QString targets_summary(const Figures &figures)
{
    QString text;
    for (const Check &check : checks_of(figures))
        text += QStringLiteral("%1 %2: %3 (target %4)\n")
                    .arg(check.met ? QStringLiteral("[met]   ") : QStringLiteral("[MISSED]"),
                         check.what, check.measured, check.target);
    return text;
}

} // namespace bench
