// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "driver.h"

#include "measure.h"
#include "report.h"
#include "targets.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>

namespace bench {

namespace {

// Where the window's per-byte debug messages go in a run.
enum class DebugOutput {
    Program,  // as the program leaves it: Qt's own rules, stderr inherited
    NullFile, // enabled, stderr to /dev/null
    Filtered, // turned off by QT_LOGGING_RULES
};

struct Run {
    QString id;
    QString scenario;
    DebugOutput debug;
    double seconds;
};

QTextStream &console()
{
    static QTextStream out(stdout);
    return out;
}

QString cpu_model()
{
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (!cpuinfo.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    // /proc files report no size, so read them whole rather than by atEnd().
    for (const QByteArray &line : cpuinfo.readAll().split('\n')) {
        if (line.startsWith("model name"))
            return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
    }
    return QStringLiteral("unknown");
}

QMap<QString, QString> host_facts()
{
    QMap<QString, QString> facts;
    facts[QStringLiteral("01 Cores")] = QString::number(QThread::idealThreadCount());
    facts[QStringLiteral("02 CPU model")] = cpu_model();
    facts[QStringLiteral("03 Kernel")] = QSysInfo::kernelVersion();
    facts[QStringLiteral("04 System")] = QSysInfo::prettyProductName();
    facts[QStringLiteral("05 Qt")] = QString::fromLatin1(qVersion());
    facts[QStringLiteral("06 Compiler")] = QStringLiteral(__VERSION__);
    facts[QStringLiteral("07 Build type")] = QStringLiteral(KALDORIUM_BENCH_BUILD_TYPE);
    facts[QStringLiteral("08 Load average at start")] = QString::number(load_average(), 'f', 2);
    return facts;
}

// Busy cores of the whole machine over a short sample.
double busy_cores(int sample_ms)
{
    const MachineCpu before = machine_cpu();
    QThread::msleep(quint32(sample_ms));
    const MachineCpu after = machine_cpu();
    return double(after.busy - before.busy) / ticks_per_second() / (sample_ms / 1000.0);
}

void wait_for_quiet_machine(double max_seconds)
{
    constexpr double kQuietCores = 0.25;
    constexpr int kSampleMs = 2000;
    for (double waited = 0; waited < max_seconds; waited += kSampleMs / 1000.0) {
        const double busy = busy_cores(kSampleMs);
        if (busy < kQuietCores)
            return;
        console() << "  machine busy (" << QString::number(busy, 'f', 2) << " cores), waiting\n";
        console().flush();
    }
}

double other_cores(const QJsonObject &result)
{
    return result.value(QLatin1String("other_cores")).toDouble();
}

QJsonObject run_child(const Run &run)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    switch (run.debug) {
    case DebugOutput::Program:
        environment.remove(QStringLiteral("QT_LOGGING_RULES"));
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        break;
    case DebugOutput::NullFile:
        environment.insert(QStringLiteral("QT_LOGGING_RULES"),
                           QStringLiteral("default.debug=true"));
        child.setStandardErrorFile(QProcess::nullDevice());
        break;
    case DebugOutput::Filtered:
        environment.insert(QStringLiteral("QT_LOGGING_RULES"),
                           QStringLiteral("default.debug=false"));
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        break;
    }
    const QStringList arguments = {QStringLiteral("--scenario"), run.scenario,
                                   QStringLiteral("--seconds"), QString::number(run.seconds)};

    const MachineCpu machine_before = machine_cpu();
    const double load_before = load_average();
    environment.insert(QStringLiteral("KALDORIUM_BENCH_SPAWNED_NS"),
                       QString::number(monotonic_ns()));
    child.setProcessEnvironment(environment);
    const qint64 started = monotonic_ns();
    child.start(QCoreApplication::applicationFilePath(), arguments);
    const bool finished = child.waitForFinished(int(run.seconds * 1000) + 180000);
    const double wall = double(monotonic_ns() - started) / 1e9;
    const MachineCpu machine_after = machine_cpu();

    if (!finished) {
        child.kill();
        child.waitForFinished();
        return {{QStringLiteral("error"), QStringLiteral("timed out")}};
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return {{QStringLiteral("error"),
                 QStringLiteral("failed (exit code %1)").arg(child.exitCode())}};
    const QList<QByteArray> lines = child.readAllStandardOutput().trimmed().split('\n');
    QJsonObject result = QJsonDocument::fromJson(lines.last()).object();
    if (result.isEmpty())
        return {{QStringLiteral("error"), QStringLiteral("no figures")}};

    const double machine_busy_s =
        double(machine_after.busy - machine_before.busy) / ticks_per_second();
    const double others =
        machine_busy_s - result.value(QLatin1String("process_cpu_total_s")).toDouble();
    result[QStringLiteral("other_cores")] = qMax(0.0, others / wall);
    result[QStringLiteral("load_before")] = load_before;
    return result;
}

// Runs one child after waiting for a quiet machine, reporting on the console.
QJsonObject run_reported(const Run &run, const QString &label, double wait_quiet_s)
{
    wait_for_quiet_machine(wait_quiet_s);
    console() << "run " << label << "\n";
    console().flush();
    const QJsonObject result = run_child(run);
    if (result.contains(QLatin1String("error")))
        console() << "  " << result.value(QLatin1String("error")).toString() << "\n";
    else
        console() << "  done (other load " << QString::number(other_cores(result), 'f', 2)
                  << " cores)\n";
    console().flush();
    return result;
}

// Runs a child until other processes used no more than kBusyCores meanwhile, at most
// 1 + retries times; keeps the quietest run and notes how many it took.
QJsonObject run_quietest(const Run &run, double wait_quiet_s, int retries)
{
    constexpr double kBusyCores = 0.25;
    QJsonObject best;
    for (int attempt = 1; attempt <= 1 + retries; ++attempt) {
        QJsonObject result = run_reported(
            run, run.id + (attempt > 1 ? QStringLiteral(" (attempt %1)").arg(attempt) : QString()),
            wait_quiet_s);
        result[QStringLiteral("attempts")] = attempt;
        if (result.contains(QLatin1String("error")))
            return result;
        if (best.isEmpty() || other_cores(result) < other_cores(best))
            best = result;
        if (other_cores(result) <= kBusyCores)
            break;
    }
    best[QStringLiteral("attempts")] = qMax(1, best.value(QLatin1String("attempts")).toInt());
    return best;
}

} // namespace

int run_driver(const QStringList &arguments)
{
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "Benchmarks the KALDORIUM-LPT tester's main window against the simulated device: "
        "live test streaming, input flood, receive throughput, idle load, start-up, the "
        "firmware upload's pauses and a device that reports errors without end."));
    options.addHelpOption();
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("Write the results into <file> (Markdown)."),
                                    QStringLiteral("file"));
    const QCommandLineOption stream_seconds(
        QStringLiteral("stream-seconds"),
        QStringLiteral("Measured time of each streaming run (default 30)."), QStringLiteral("s"),
        QStringLiteral("30"));
    const QCommandLineOption idle_seconds(
        QStringLiteral("idle-seconds"),
        QStringLiteral("Measured time of each idle run (default 20)."), QStringLiteral("s"),
        QStringLiteral("20"));
    const QCommandLineOption receive_seconds(
        QStringLiteral("receive-seconds"),
        QStringLiteral("Writing time of each receive run (default 5)."), QStringLiteral("s"),
        QStringLiteral("5"));
    const QCommandLineOption flood_seconds(
        QStringLiteral("flood-seconds"),
        QStringLiteral("Measured time of the device error flood (default 60, at least 40)."),
        QStringLiteral("s"), QStringLiteral("60"));
    const QCommandLineOption startup_runs(QStringLiteral("startup-runs"),
                                          QStringLiteral("Fresh processes timed (default 9)."),
                                          QStringLiteral("n"), QStringLiteral("9"));
    const QCommandLineOption only(QStringLiteral("only"),
                                  QStringLiteral("Run only these runs (comma-separated ids)."),
                                  QStringLiteral("ids"));
    const QCommandLineOption wait_quiet(
        QStringLiteral("wait-quiet"),
        QStringLiteral("Before each run, wait up to <s> seconds for the machine to go quiet."),
        QStringLiteral("s"), QStringLiteral("0"));
    const QCommandLineOption retry_busy(
        QStringLiteral("retry-busy"),
        QStringLiteral("Run a measurement again, up to <n> times, when other processes used more "
                       "than a quarter of a core meanwhile; the quietest run is kept."),
        QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption command(QStringLiteral("command"),
                                     QStringLiteral("The command to name in the report."),
                                     QStringLiteral("text"));
    const QCommandLineOption cli_runs(
        QStringLiteral("cli-runs"),
        QStringLiteral("Processes of kaldorium-lpt timed per command (default 21)."),
        QStringLiteral("n"), QStringLiteral("21"));
    const QCommandLineOption playbook_runs(
        QStringLiteral("playbook-runs"),
        QStringLiteral("Runs of the Ansible playbook that find every device at the profile "
                       "(default 3)."),
        QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption selftest_runs(
        QStringLiteral("selftest-runs"),
        QStringLiteral("Processes of kaldorium-lpt selftest timed per plug (default 11)."),
        QStringLiteral("n"), QStringLiteral("11"));
    const QCommandLineOption provision_devices(
        QStringLiteral("provision-devices"),
        QStringLiteral("Simulated devices provisioned in a row (default 20)."), QStringLiteral("n"),
        QStringLiteral("20"));
    const QCommandLineOption wait_seconds(
        QStringLiteral("wait-seconds"),
        QStringLiteral("Measured time of kaldorium-lpt wait while idle (default 60)."),
        QStringLiteral("s"), QStringLiteral("60"));
    options.addOptions({output, stream_seconds, idle_seconds, receive_seconds, flood_seconds,
                        startup_runs, only, wait_quiet, retry_busy, command, cli_runs,
                        playbook_runs, selftest_runs, provision_devices, wait_seconds});
    options.process(arguments);

    const double stream_s = options.value(stream_seconds).toDouble();
    const double idle_s = options.value(idle_seconds).toDouble();
    const double receive_s = options.value(receive_seconds).toDouble();
    const double flood_s = options.value(flood_seconds).toDouble();
    const QList<Run> runs = {
        {QStringLiteral("startup"), QStringLiteral("startup"), DebugOutput::Program, 0},
        {QStringLiteral("idle-closed"), QStringLiteral("idle-closed"), DebugOutput::NullFile,
         idle_s},
        {QStringLiteral("idle-open"), QStringLiteral("idle-open"), DebugOutput::NullFile, idle_s},
        {QStringLiteral("idle-open-filtered"), QStringLiteral("idle-open"), DebugOutput::Filtered,
         idle_s},
        {QStringLiteral("stream-ms-sleep"), QStringLiteral("stream-ms-sleep"),
         DebugOutput::NullFile, stream_s},
        {QStringLiteral("stream"), QStringLiteral("stream"), DebugOutput::NullFile, stream_s},
        {QStringLiteral("stream-flood-null-ms-sleep"), QStringLiteral("stream-flood-ms-sleep"),
         DebugOutput::NullFile, stream_s},
        {QStringLiteral("stream-flood-null"), QStringLiteral("stream-flood"), DebugOutput::NullFile,
         stream_s},
        {QStringLiteral("stream-flood-filtered-ms-sleep"), QStringLiteral("stream-flood-ms-sleep"),
         DebugOutput::Filtered, stream_s},
        {QStringLiteral("stream-flood-filtered"), QStringLiteral("stream-flood"),
         DebugOutput::Filtered, stream_s},
        {QStringLiteral("reference-stream"), QStringLiteral("reference-stream"),
         DebugOutput::NullFile, stream_s},
        {QStringLiteral("reference-stream-flood"), QStringLiteral("reference-stream-flood"),
         DebugOutput::NullFile, stream_s},
        {QStringLiteral("reference-idle"), QStringLiteral("reference-idle"), DebugOutput::NullFile,
         idle_s},
        {QStringLiteral("receive-null"), QStringLiteral("receive"), DebugOutput::NullFile,
         receive_s},
        {QStringLiteral("receive-filtered"), QStringLiteral("receive"), DebugOutput::Filtered,
         receive_s},
        // "seconds" carries the number of runs for this one.
        {QStringLiteral("cli"), QStringLiteral("cli"), DebugOutput::Filtered,
         options.value(cli_runs).toDouble()},
        {QStringLiteral("pins"), QStringLiteral("pins"), DebugOutput::Filtered, stream_s},
        // "seconds" carries the number of runs per plug, and of devices.
        {QStringLiteral("selftest"), QStringLiteral("selftest"), DebugOutput::Filtered,
         options.value(selftest_runs).toDouble()},
        {QStringLiteral("provision"), QStringLiteral("provision"), DebugOutput::Filtered,
         options.value(provision_devices).toDouble()},
        {QStringLiteral("wait-idle"), QStringLiteral("wait-idle"), DebugOutput::Filtered,
         options.value(wait_seconds).toDouble()},
        // "seconds" carries the number of unchanged runs.
        {QStringLiteral("playbook"), QStringLiteral("playbook"), DebugOutput::Filtered,
         options.value(playbook_runs).toDouble()},
        {QStringLiteral("upload"), QStringLiteral("upload"), DebugOutput::NullFile, 0},
        {QStringLiteral("error-flood"), QStringLiteral("error-flood"), DebugOutput::NullFile,
         flood_s},
    };
    const QStringList chosen = options.value(only).split(QLatin1Char(','), Qt::SkipEmptyParts);

    Figures figures;
    figures.date =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
    figures.command =
        options.isSet(command) ? options.value(command) : arguments.join(QLatin1Char(' '));
    figures.host = host_facts();

    const double wait_quiet_s = options.value(wait_quiet).toDouble();
    for (const Run &run : runs) {
        if (!chosen.isEmpty() && !chosen.contains(run.id))
            continue;
        if (run.id == QLatin1String("startup")) {
            const int count = options.value(startup_runs).toInt();
            for (int n = 1; n <= count; ++n)
                figures.startup_runs
                    << run_reported(run, QStringLiteral("startup #%1").arg(n), wait_quiet_s);
        } else {
            figures.runs[run.id] =
                run_quietest(run, wait_quiet_s, options.value(retry_busy).toInt());
        }
    }
    figures.host[QStringLiteral("09 Load average at end")] =
        QString::number(load_average(), 'f', 2);

    console() << "\n" << targets_summary(figures);
    if (options.isSet(output)) {
        if (!write_into(options.value(output), results_section(figures))) {
            console() << "cannot write " << options.value(output) << "\n";
            return 1;
        }
        console() << "results written to " << options.value(output) << "\n";
    } else {
        console() << "\n" << results_section(figures);
    }
    return 0;
}

} // namespace bench
