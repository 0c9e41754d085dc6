// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "report.h"

#include "driver.h"
#include "targets.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <functional>

namespace bench {

namespace {

const QString kBegin = QStringLiteral("<!-- kaldorium-lpt-bench results: begin -->");
const QString kEnd = QStringLiteral("<!-- kaldorium-lpt-bench results: end -->");

QString row(const QStringList &cells)
{
    return QStringLiteral("| ") + cells.join(QStringLiteral(" | ")) + QStringLiteral(" |\n");
}

QString header(const QStringList &cells)
{
    QStringList rule;
    for (int n = 0; n < cells.size(); ++n)
        rule << QStringLiteral("---");
    return row(cells) + row(rule);
}

QString run_note(const QJsonObject &run)
{
    QStringList notes;
    if (run.contains(QLatin1String("streaming"))) {
        notes << QStringLiteral("no window: the timer, a serial port and the device only");
        if (number(run, "flood_rate") > 0)
            notes << QStringLiteral("input flood");
    } else {
        if (run.contains(QLatin1String("exact_wakeup")) &&
            !run.value(QLatin1String("exact_wakeup")).toBool())
            notes << QStringLiteral("as before: millisecond sleeps");
        notes << (run.value(QLatin1String("debug_enabled")).toBool()
                      ? QStringLiteral("debug on")
                      : QStringLiteral("debug filtered"));
        if (run.value(QLatin1String("stderr_null")).toBool())
            notes << QStringLiteral("stderr /dev/null");
    }
    if (number(run, "attempts") > 1)
        notes << QStringLiteral("quietest of %1 runs").arg(number(run, "attempts"));
    return notes.join(QStringLiteral(", "));
}

// The figures of a run that ran and measured; null for a run that is missing, or that
// failed, whose error then becomes the table's row.
const QJsonObject *measured_run(const Figures &figures, const QString &id, QString &text)
{
    const auto found = figures.runs.constFind(id);
    if (found == figures.runs.constEnd())
        return nullptr;
    if (found->contains(QLatin1String("error"))) {
        text += row({id, found->value(QLatin1String("error")).toString()});
        return nullptr;
    }
    return &*found;
}

QString stream_table(const Figures &figures)
{
    // One column per run, one row per figure.
    QStringList columns = {QStringLiteral("Figure")};
    QList<QJsonObject> runs;
    for (const QString &id :
         {QStringLiteral("stream-ms-sleep"), QStringLiteral("stream"),
          QStringLiteral("stream-flood-null-ms-sleep"), QStringLiteral("stream-flood-null"),
          QStringLiteral("stream-flood-filtered-ms-sleep"), QStringLiteral("stream-flood-filtered"),
          QStringLiteral("reference-stream"), QStringLiteral("reference-stream-flood")}) {
        if (!ran(figures, id))
            continue;
        columns << QStringLiteral("`") + id + QStringLiteral("` (") + run_note(figures.runs[id]) +
                       QStringLiteral(")");
        runs << figures.runs[id];
    }
    QString text = header(columns);
    const auto figure_row = [&](const QString &name,
                                const std::function<QString(const QJsonObject &)> &cell) {
        QStringList cells = {name};
        for (const QJsonObject &run : runs)
            cells << cell(run);
        text += row(cells);
    };
    const auto ms = [](const char *key) {
        return [key](const QJsonObject &run) {
            return fixed(number(run, key)) + QStringLiteral(" ms");
        };
    };
    figure_row(QStringLiteral("Measured time"), [](const QJsonObject &run) {
        return fixed(number(run, "seconds"), 1) + QStringLiteral(" s");
    });
    figure_row(QStringLiteral("Status input to host"), [](const QJsonObject &run) {
        return grouped(number(run, "bytes_to_host_per_second")) + QStringLiteral(" B/s");
    });
    figure_row(QStringLiteral("Status frames held back by the device"), [](const QJsonObject &run) {
        return grouped(number(run, "status_frames_held_back"));
    });
    figure_row(QStringLiteral("Frames/s at the device"),
               [](const QJsonObject &run) { return fixed(number(run, "frames_per_second")); });
    const auto percent = [](const char *key) {
        return [key](const QJsonObject &run) {
            return fixed(number(run, key), 1) + QStringLiteral(" %");
        };
    };
    figure_row(QStringLiteral("Gap p1"), ms("gap_p1_ms"));
    figure_row(QStringLiteral("Gap p50"), ms("gap_p50_ms"));
    figure_row(QStringLiteral("Gap p99"), ms("gap_p99_ms"));
    figure_row(QStringLiteral("Gap max"), ms("gap_max_ms"));
    figure_row(QStringLiteral("Gap min"), ms("gap_min_ms"));
    figure_row(QStringLiteral("Gaps within 0.5 ms of 10 ms"),
               percent("gap_within_half_ms_percent"));
    figure_row(QStringLiteral("Write gap p50"), ms("write_gap_p50_ms"));
    figure_row(QStringLiteral("Write gap p99"), ms("write_gap_p99_ms"));
    figure_row(QStringLiteral("Write gap max"), ms("write_gap_max_ms"));
    figure_row(QStringLiteral("Write gaps within 0.5 ms of 10 ms"),
               percent("write_gap_within_half_ms_percent"));
    figure_row(QStringLiteral("Frames lost"),
               [](const QJsonObject &run) { return fixed(number(run, "frames_lost"), 0); });
    figure_row(QStringLiteral("Frames malformed"),
               [](const QJsonObject &run) { return fixed(number(run, "frames_malformed"), 0); });
    figure_row(QStringLiteral("Program thread CPU"), [](const QJsonObject &run) {
        return fixed(number(run, "gui_thread_cpu_percent")) + QStringLiteral(" %");
    });
    figure_row(QStringLiteral("Program thread waiting for a CPU"), [](const QJsonObject &run) {
        return fixed(number(run, "gui_thread_cpu_wait_percent")) + QStringLiteral(" %");
    });
    figure_row(QStringLiteral("Process CPU"), [](const QJsonObject &run) {
        return fixed(number(run, "process_cpu_percent")) + QStringLiteral(" %");
    });
    figure_row(QStringLiteral("Peak RSS"), [](const QJsonObject &run) {
        return grouped(number(run, "peak_rss_kib")) + QStringLiteral(" KiB");
    });
    figure_row(QStringLiteral("Other load"), [](const QJsonObject &run) {
        return fixed(number(run, "other_cores")) + QStringLiteral(" cores");
    });
    return text;
}

QString receive_table(const Figures &figures)
{
    QString text = header({QStringLiteral("Run"), QStringLiteral("Bytes"), QStringLiteral("Time"),
                           QStringLiteral("Throughput"), QStringLiteral("× line rate"),
                           QStringLiteral("Bytes per notification"), QStringLiteral("Other load")});
    const QStringList ids = {QStringLiteral("receive-null"), QStringLiteral("receive-filtered")};
    for (const QString &id : ids) {
        const QJsonObject *measured = measured_run(figures, id, text);
        if (!measured)
            continue;
        const QJsonObject &run = *measured;
        const QString label =
            QStringLiteral("`") + id + QStringLiteral("` (") + run_note(run) + QStringLiteral(")");
        text += row({label, grouped(number(run, "bytes")),
                     fixed(number(run, "seconds")) + QStringLiteral(" s"),
                     grouped(number(run, "bytes_per_second")) + QStringLiteral(" B/s"),
                     fixed(number(run, "bytes_per_second") / kLineBytesPerSecond, 1),
                     fixed(number(run, "bytes_per_notification"), 0),
                     fixed(number(run, "other_cores")) + QStringLiteral(" cores")});
    }
    return text;
}

QString idle_table(const Figures &figures)
{
    QString text = header(
        {QStringLiteral("Run"), QStringLiteral("Status input to host"),
         QStringLiteral("Program thread CPU"), QStringLiteral("Program thread waiting for a CPU"),
         QStringLiteral("Process CPU"), QStringLiteral("Peak RSS"), QStringLiteral("Other load")});
    for (const QString &id :
         {QStringLiteral("idle-closed"), QStringLiteral("idle-open"),
          QStringLiteral("idle-open-filtered"), QStringLiteral("reference-idle")}) {
        const QJsonObject *measured = measured_run(figures, id, text);
        if (!measured)
            continue;
        const QJsonObject &run = *measured;
        text += row({QStringLiteral("`") + id + QStringLiteral("` (") + run_note(run) +
                         QStringLiteral(", ") + fixed(number(run, "seconds"), 1) +
                         QStringLiteral(" s)"),
                     grouped(number(run, "bytes_to_host_per_second")) + QStringLiteral(" B/s"),
                     fixed(number(run, "gui_thread_cpu_percent")) + QStringLiteral(" %"),
                     fixed(number(run, "gui_thread_cpu_wait_percent")) + QStringLiteral(" %"),
                     fixed(number(run, "process_cpu_percent")) + QStringLiteral(" %"),
                     grouped(number(run, "peak_rss_kib")) + QStringLiteral(" KiB"),
                     fixed(number(run, "other_cores")) + QStringLiteral(" cores")});
    }
    return text;
}

QString upload_table(const Figures &figures)
{
    QString text = header({QStringLiteral("Run"), QStringLiteral("Restart pause"),
                           QStringLiteral("Its CPU"), QStringLiteral("Pause before dfu-util"),
                           QStringLiteral("Its CPU"), QStringLiteral("Both pauses' CPU"),
                           QStringLiteral("Whole upload"), QStringLiteral("Other load")});
    const QJsonObject *measured = measured_run(figures, QStringLiteral("upload"), text);
    if (!measured)
        return text;
    const QJsonObject &run = *measured;
    const auto ms = [&run](const char *key) {
        return fixed(number(run, key), 0) + QStringLiteral(" ms");
    };
    const auto percent = [&run](const char *key) {
        return fixed(number(run, key)) + QStringLiteral(" %");
    };
    text += row({QStringLiteral("`upload` (") + run_note(run) + QStringLiteral(")"),
                 ms("restart_pause_ms"), percent("restart_pause_cpu_percent"), ms("tool_pause_ms"),
                 percent("tool_pause_cpu_percent"),
                 fixed(upload_pauses_cpu_percent(run)) + QStringLiteral(" %"), ms("upload_ms"),
                 fixed(number(run, "other_cores")) + QStringLiteral(" cores")});
    return text;
}

QString error_flood_table(const Figures &figures)
{
    QString text = header({QStringLiteral("Run"), QStringLiteral("Console lines/s"),
                           QStringLiteral("RSS at start"), QStringLiteral("at 10 s"),
                           QStringLiteral("at 20 s"), QStringLiteral("at the end"),
                           QStringLiteral("Growth 20 s to end"), QStringLiteral("CPU, whole run"),
                           QStringLiteral("CPU, 20 s to end"), QStringLiteral("Lines kept"),
                           QStringLiteral("Other load")});
    const QJsonObject *measured = measured_run(figures, QStringLiteral("error-flood"), text);
    if (!measured)
        return text;
    const QJsonObject &run = *measured;
    const auto kib = [&run](const char *key) {
        return grouped(number(run, key)) + QStringLiteral(" KiB");
    };
    text += row(
        {QStringLiteral("`error-flood` (") + run_note(run) + QStringLiteral(", ") +
             fixed(number(run, "seconds"), 1) + QStringLiteral(" s)"),
         fixed(number(run, "lines_per_second"), 0), kib("rss_start_kib"), kib("rss_10s_kib"),
         kib("rss_20s_kib"), kib("rss_end_kib"),
         grouped(number(run, "rss_end_kib") - number(run, "rss_20s_kib")) + QStringLiteral(" KiB"),
         fixed(number(run, "gui_thread_cpu_percent")) + QStringLiteral(" %"),
         fixed(number(run, "gui_thread_cpu_full_console_percent")) + QStringLiteral(" %"),
         grouped(number(run, "console_lines")),
         fixed(number(run, "other_cores")) + QStringLiteral(" cores")});
    return text;
}

QString startup_table(const Figures &figures)
{
    QString text = header({QStringLiteral("From spawn to"), QStringLiteral("Median"),
                           QStringLiteral("Max"), QStringLiteral("Each run")});
    const std::pair<const char *, const char *> marks[] = {
        {"to_main_ms", "`main` entered (exec, dynamic loading)"},
        {"to_application_ms", "`QApplication` made (platform plugin)"},
        {"to_window_made_ms", "`MainWindow` built (form, port scan)"},
        {"to_exposed_ms", "window exposed"},
        {"to_shown_ms", "window shown (expose handled, first paint done)"},
    };
    for (const auto &mark : marks) {
        const std::vector<double> values = startup_values(figures, mark.first);
        if (values.empty())
            continue;
        QStringList each;
        for (double value : values)
            each << fixed(value, 1);
        text +=
            row({QString::fromUtf8(mark.second), fixed(median(values), 1) + QStringLiteral(" ms"),
                 fixed(*std::max_element(values.begin(), values.end()), 1) + QStringLiteral(" ms"),
                 each.join(QStringLiteral(", "))});
    }
    const std::vector<double> rss = startup_values(figures, "peak_rss_kib");
    if (!rss.empty())
        text += QStringLiteral("\nPeak resident memory of the program alone (start-up process, "
                               "window shown): ") +
                grouped(median(rss)) + QStringLiteral(" KiB.\n");
    return text;
}

QString cli_table(const Figures &figures)
{
    if (!ran(figures, QStringLiteral("cli")))
        return QStringLiteral("Not run.\n");
    const QJsonObject &run = figures.runs[QStringLiteral("cli")];
    QString text = header({QStringLiteral("Command"), QStringLiteral("Runs"),
                           QStringLiteral("Median"), QStringLiteral("Min"), QStringLiteral("Max"),
                           QStringLiteral("Peak RSS (median; max)")});
    const std::pair<const char *, const char *> commands[] = {
        {"list", "`kaldorium-lpt list`"},
        {"defaults_read", "`kaldorium-lpt defaults read`"},
        {"defaults_write_unchanged",
         "`kaldorium-lpt defaults write --from line3.profile` (the device holds it)"},
    };
    for (const auto &command : commands) {
        const QByteArray key = command.first;
        const std::vector<double> wall = array_values(run, key + "_ms");
        const std::vector<double> rss = array_values(run, key + "_rss_kib");
        if (wall.empty())
            continue;
        text +=
            row({QString::fromLatin1(command.second), QString::number(wall.size()),
                 fixed(median(wall), 1) + QStringLiteral(" ms"),
                 fixed(*std::min_element(wall.begin(), wall.end()), 1) + QStringLiteral(" ms"),
                 fixed(*std::max_element(wall.begin(), wall.end()), 1) + QStringLiteral(" ms"),
                 grouped(median(rss)) + QStringLiteral(" KiB; ") +
                     grouped(*std::max_element(rss.begin(), rss.end())) + QStringLiteral(" KiB")});
    }
    text += QStringLiteral("\nFailed runs: %1. Other load meanwhile: %2 cores (the measured "
                           "processes' own CPU excluded).\n")
                .arg(number(run, "failures"))
                .arg(fixed(number(run, "other_cores")));
    return text;
}

QString playbook_table(const Figures &figures)
{
    if (!ran(figures, QStringLiteral("playbook")))
        return QStringLiteral("Not run.\n");
    const QJsonObject &run = figures.runs[QStringLiteral("playbook")];
    if (run.contains(QStringLiteral("skipped")))
        return QStringLiteral("Not run: ") + run.value(QStringLiteral("skipped")).toString() +
               QStringLiteral(".\n");
    const auto changed = [](double value) {
        return value < 0 ? QStringLiteral("failed") : QString::number(int(value));
    };
    QString text = header(
        {QStringLiteral("Run"), QStringLiteral("Seconds"), QStringLiteral("Recap \"changed\"")});
    text += row({QStringLiteral("first (stores the profile in 8 devices)"),
                 fixed(number(run, "first_run_s")), changed(number(run, "first_run_changed"))});
    const std::vector<double> unchanged = array_values(run, "unchanged_runs_s");
    QStringList recaps;
    for (double value : array_values(run, "unchanged_runs_changed"))
        recaps << changed(value);
    if (!unchanged.empty()) {
        text += row({QStringLiteral("every device at the profile (median of %1; max)")
                         .arg(unchanged.size()),
                     fixed(median(unchanged)) + QStringLiteral("; ") +
                         fixed(*std::max_element(unchanged.begin(), unchanged.end())),
                     recaps.join(QStringLiteral(", "))});
    }
    text += row({QStringLiteral("`--check --diff`, one device drifted"),
                 fixed(number(run, "check_run_s")),
                 changed(number(run, "check_run_changed")) +
                     (run.value(QStringLiteral("check_run_shows_drift")).toBool()
                          ? QStringLiteral(" (drift shown)")
                          : QStringLiteral(" (drift **not** shown)"))});
    text += QStringLiteral("\nOther load meanwhile: %1 cores (the measured processes' own CPU "
                           "excluded).\n")
                .arg(fixed(number(run, "other_cores")));
    return text;
}

QString pins_table(const Figures &figures)
{
    if (!ran(figures, QStringLiteral("pins")))
        return QStringLiteral("Not run.\n");
    const QJsonObject &run = figures.runs[QStringLiteral("pins")];
    QString text =
        header({QStringLiteral("Command"), QStringLiteral("Other load"), QStringLiteral("Frames/s"),
                QStringLiteral("Gap p1 / p50 / p99"), QStringLiteral("Max / min"),
                QStringLiteral("Within 0.5 ms"), QStringLiteral("Lost"),
                QStringLiteral("Sent late (>1 ms); latest"), QStringLiteral("CPU of a core")});
    const std::pair<const char *, const char *> streams[] = {
        {"drive", "`pins drive --data 0x81`"},
        {"drive_busy", "`pins drive --data 0x81`"},
        {"pulse", "`pins pulse --pin 2 --hz 333 --duty 30`"},
        {"pulse_busy", "`pins pulse --pin 2 --hz 333 --duty 30`"},
    };
    for (const auto &stream : streams) {
        const QJsonObject figures_of = run.value(QLatin1String(stream.first)).toObject();
        const QString load = figures_of.value(QStringLiteral("busy_processes")).toInt() > 0
                                 ? QStringLiteral("2 busy loops")
                                 : QStringLiteral("none");
        text +=
            row({QString::fromLatin1(stream.second), load,
                 fixed(number(figures_of, "frames_per_second")),
                 fixed(number(figures_of, "gap_p1_ms")) + QStringLiteral(" / ") +
                     fixed(number(figures_of, "gap_p50_ms")) + QStringLiteral(" / ") +
                     fixed(number(figures_of, "gap_p99_ms")) + QStringLiteral(" ms"),
                 fixed(number(figures_of, "gap_max_ms")) + QStringLiteral(" / ") +
                     fixed(number(figures_of, "gap_min_ms")) + QStringLiteral(" ms"),
                 fixed(number(figures_of, "gap_within_half_ms_percent"), 1) + QStringLiteral(" %"),
                 fixed(number(figures_of, "frames_lost"), 0),
                 fixed(number(figures_of, "late_frames"), 0) + QStringLiteral("; ") +
                     fixed(number(figures_of, "max_late_ms")) + QStringLiteral(" ms") +
                     (figures_of.value(QStringLiteral("realtime")).toBool()
                          ? QStringLiteral(" (SCHED_FIFO)")
                          : QStringLiteral(" (normal priority)")),
                 fixed(number(figures_of, "cpu_percent_of_core"), 1) + QStringLiteral(" %")});
    }
    const QJsonObject record = run.value(QStringLiteral("record_flood")).toObject();
    text += QStringLiteral("\n`pins record --vcd /dev/null` while the device floods status frames "
                           "at the line rate: %1 bytes/s taken, %2 frames in %3 s, %4 lost, "
                           "%5 held back by the device, %6 % of a core.\n")
                .arg(grouped(number(record, "bytes_per_second")))
                .arg(grouped(number(record, "frames")))
                .arg(fixed(number(record, "seconds"), 1))
                .arg(fixed(number(record, "frames_lost"), 0))
                .arg(grouped(number(record, "frames_held_back")))
                .arg(fixed(number(record, "cpu_percent_of_core"), 1));
    return text;
}

QString bench_line_table(const Figures &figures)
{
    QString text;
    const auto range = [](const std::vector<double> &values, double scale, int decimals,
                          const QString &unit) {
        if (values.empty())
            return QStringLiteral("-");
        return fixed(median(values) * scale, decimals) + unit + QStringLiteral(" (") +
               fixed(*std::min_element(values.begin(), values.end()) * scale, decimals) +
               QStringLiteral(" to ") +
               fixed(*std::max_element(values.begin(), values.end()) * scale, decimals) + unit +
               QLatin1Char(')');
    };
    if (ran(figures, QStringLiteral("selftest"))) {
        const QJsonObject &run = figures.runs[QStringLiteral("selftest")];
        text += header({QStringLiteral("selftest --plug"), QStringLiteral("Runs"),
                        QStringLiteral("Spawn to exit: median (min to max)"),
                        QStringLiteral("Its own \"seconds\": median (min to max)")});
        for (const char *plug : {"passmark", "checkit", "full"}) {
            const QByteArray key = plug;
            const std::vector<double> wall = array_values(run, key + "_ms");
            text += row({QString::fromLatin1(plug), QString::number(wall.size()),
                         range(wall, 1, 1, QStringLiteral(" ms")),
                         range(array_values(run, key + "_test_s"), 1, 2, QStringLiteral(" s"))});
        }
        text += QStringLiteral("\nFailed runs: %1. Other load meanwhile: %2 cores.\n\n")
                    .arg(number(run, "failures"))
                    .arg(fixed(number(run, "other_cores")));
    } else {
        text += QStringLiteral("selftest: not run.\n\n");
    }
    if (ran(figures, QStringLiteral("provision"))) {
        const QJsonObject &run = figures.runs[QStringLiteral("provision")];
        text += header({QStringLiteral("provision"), QStringLiteral("Value")});
        text += row({QStringLiteral("Devices; provisioned; log lines; exit status"),
                     QStringLiteral("%1; %2; %3; %4")
                         .arg(number(run, "devices"))
                         .arg(array_values(run, "log_seconds").size())
                         .arg(number(run, "log_lines"))
                         .arg(number(run, "exit_code"))});
        text += row({QStringLiteral("Seconds per device in its log line: median (min to max)"),
                     range(array_values(run, "log_seconds"), 1, 2, QStringLiteral(" s"))});
        text +=
            row({QStringLiteral("The same less the simulated replug (%1 s)")
                     .arg(fixed(number(run, "replug_s"))),
                 range(array_values(run, "seconds_without_replug"), 1, 2, QStringLiteral(" s"))});
        text += row({QStringLiteral("Simulated device started to its line on stdout"),
                     range(array_values(run, "plugged_to_line_s"), 1, 2, QStringLiteral(" s"))});
        text += row(
            {QStringLiteral("Whole run"), fixed(number(run, "total_s"), 1) + QStringLiteral(" s")});
        text += row({QStringLiteral("Other load meanwhile"),
                     fixed(number(run, "other_cores")) + QStringLiteral(" cores")});
        text += QLatin1Char('\n');
    } else {
        text += QStringLiteral("provision: not run.\n\n");
    }
    if (ran(figures, QStringLiteral("wait-idle"))) {
        const QJsonObject &run = figures.runs[QStringLiteral("wait-idle")];
        text += header({QStringLiteral("wait, idle"), QStringLiteral("Value")});
        text += row({QStringLiteral("Measured time"),
                     fixed(number(run, "seconds"), 1) + QStringLiteral(" s")});
        text += row({QStringLiteral("CPU, host's ports (/dev watched)"),
                     fixed(number(run, "host_cpu_percent"), 3) + QStringLiteral(" % of a core")});
        text += row({QStringLiteral("CPU, stand-in port list"),
                     fixed(number(run, "list_cpu_percent"), 3) + QStringLiteral(" % of a core")});
        text += row({QStringLiteral("Device in the stand-in list to wait's exit: median (min to "
                                    "max)"),
                     range(array_values(run, "notice_ms"), 1, 1, QStringLiteral(" ms"))});
        text += row({QStringLiteral("Other load meanwhile"),
                     fixed(number(run, "other_cores")) + QStringLiteral(" cores")});
    } else {
        text += QStringLiteral("wait: not run.\n");
    }
    return text;
}

} // namespace

QString results_section(const Figures &figures)
{
    QString text;
    QTextStream out(&text);
    out << kBegin << "\n\n";
    out << "## Results\n\n";
    out << "Generated by `kaldorium-lpt-bench` on " << figures.date << ", with:\n\n";
    out << "    " << figures.command << "\n\n";
    out << "### Machine\n\n" << header({QStringLiteral("Item"), QStringLiteral("Value")});
    for (auto it = figures.host.cbegin(); it != figures.host.cend(); ++it)
        out << row({it.key().mid(3), it.value()}); // keys carry a sort prefix "NN "

    out << "\n### Against the targets\n\n"
        << header({QStringLiteral("What"), QStringLiteral("Target"), QStringLiteral("Measured"),
                   QString()});
    for (const Check &check : checks_of(figures))
        out << row({check.what, check.target, check.measured,
                    check.met ? QStringLiteral("met") : QStringLiteral("**missed**")});

    out << "\n### Live test streaming\n\n"
        << "Test output frames as they reached the device's side of the line, timed by a "
           "thread that waits on the line in poll() and passes the bytes on to the simulated "
           "device. Gaps are between consecutive arrivals; write gaps are between the "
           "window's writes of the frames into the line, timed in the window's thread (the host "
           "side of the same stream). Lost frames are counter steps skipped; malformed frames "
           "are frames cut short and stray bytes, as the device counted them. \"Program thread "
           "CPU\" is the window's (GUI) thread, where the whole program runs, and the time it "
           "was ready to run but waited for a CPU is given beside it. \"Process CPU\" adds the "
           "simulated device's thread and the line's two relay threads. The `-ms-sleep` runs are "
           "the "
           "window with its exact tick wake-up switched off, as it ran before it had one. \"Other "
           "load\" is the CPU time that other processes on "
           "the machine used meanwhile, in cores.\n\n"
        << stream_table(figures);
    out << "\n### Receive path\n\n"
        << "Valid input status frames written into the pseudo-terminal as fast as it takes "
           "them, parsed by the window's `readData` until the final frame of the stream has "
           "been taken.\n\n"
        << receive_table(figures);
    out << "\n### Idle (no test running)\n\n" << idle_table(figures);
    out << "\n### Firmware upload\n\n"
        << "An accepted upload against the simulated device with a stand-in dfu-util that "
           "exits at once. The restart pause runs from \"Waiting for restart\" to \"Run "
           "Command: \"; the pause before dfu-util from \"Uploading. Please wait...\" to the "
           "outcome line, so dfu-util's start is in it. CPU is the program's thread.\n\n"
        << upload_table(figures);
    out << "\n### Device error flood\n\n"
        << "A live test while the device reports all three errors in every status frame, 200 "
           "frames a second (600 console lines a second). Resident memory (VmRSS) as the "
           "program's own thread sampled it; from 20 s on the console holds more than 10,000 "
           "lines. CPU is the program's thread.\n\n"
        << error_flood_table(figures);
    out << "\n### Start-up\n\n"
        << figures.startup_runs.size()
        << " fresh processes, each building the main window against the host's own serial "
           "ports and showing it on the offscreen platform; times from the parent's spawn of "
           "the process.\n\n"
        << startup_table(figures);
    out << "\n### Command line\n\n"
        << "`kaldorium-lpt` as a script runs it: each run a fresh process, from its spawn to its "
           "reaping (wall time, GNU time's start-up included) with its peak resident memory "
           "(`/usr/bin/time -f %M`, the program's `ru_maxrss`), against "
           "the simulated device in a thread of the benchmark, found through the stand-in port "
           "list (`KALDORIUM_LPT_PORT_LIST`). One unmeasured run of each command first warms the "
           "page cache.\n\n"
        << cli_table(figures);
    out << "\n### Ansible playbook, 8 devices\n\n"
        << "The Ansible collection's example playbook (`ansible/examples/line3-defaults.yml`) "
           "with Debian's `ansible-core` on localhost (local connection), its modules running "
           "`kaldorium-lpt` against 8 simulated devices at C100 ... C800 in threads of the "
           "benchmark. Wall time of each `ansible-playbook` run, spawn to exit.\n\n"
        << playbook_table(figures);
    out << "\n### Command line: pins drive, pulse and record\n\n"
        << "`kaldorium-lpt pins` against the simulated device in a thread of the benchmark. "
           "Frame gaps as the device's side of the line sees them (a thread blocked in `poll()` "
           "on a line of its own, as for the window's streaming), first and last frames left "
           "out; once with the machine as it is, once with two processes spinning on both cores "
           "for the whole run. The program's CPU is its user and system time over its wall "
           "time.\n\n"
        << pins_table(figures);
    out << "\n### Command line: a production bench\n\n"
        << "`kaldorium-lpt selftest`, `provision` and `wait` against `kaldorium-lpt-sim` "
           "processes, as a person runs them. selftest: the simulated device wears the plug "
           "tested; each run a fresh process timed from its spawn to its exit, after one "
           "unmeasured run. provision: `--selftest passmark --address C200` with a five-key "
           "profile and a log, the simulated devices plugged in (started) one after another into "
           "one shared stand-in port list and unplugged (stopped) once their line is out; each "
           "replugs itself after the address set (`--replug-after`), which the figure less the "
           "replug leaves out. wait: one `wait --device C800` on the host's own ports and one "
           "`wait` on an empty stand-in port list, CPU from /proc over the measured time after "
           "2 s of start-up; then, five times, a `wait` and a simulated device that appears in "
           "the list, timed from the moment the list holds it.\n\n"
        << bench_line_table(figures);
    out << "\n" << kEnd << "\n";
    return text;
}

bool write_into(const QString &path, const QString &section)
{
    QString content;
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly))
        content = QString::fromUtf8(existing.readAll());
    existing.close();

    const int begin = content.indexOf(kBegin);
    const int end = content.indexOf(kEnd);
    if (begin >= 0 && end > begin) {
        const int after = content.indexOf(QLatin1Char('\n'), end);
        content.replace(begin, (after < 0 ? content.size() : after + 1) - begin, section);
    } else {
        if (content.isEmpty())
            content = QStringLiteral("# Benchmarks\n\n");
        else if (!content.endsWith(QLatin1Char('\n')))
            content += QLatin1Char('\n');
        content += section;
    }

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(content.toUtf8());
    return file.flush();
}

} // namespace bench
