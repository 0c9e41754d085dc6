// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The Ansible collection's example playbook (ansible/examples/line3-defaults.yml) as a user
// runs it, on localhost against 8 simulated devices at C100 ... C800, each in a thread of its
// own and listed in the stand-in port list. Wall time of each ansible-playbook run from its
// spawn to its exit: the first (it stores the profile in all 8), the next ones (nothing to
// store), and a --check --diff run after one device has drifted.

#include "device_thread.h"
#include "measure.h"
#include "scenarios.h"

#include "device_link/port_list_file.h"
#include "simulated_device_endpoint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace bench {

namespace {

constexpr int kDevices = 8;

struct PlaybookRun {
    double seconds = 0;
    int changed = -1; // from the recap; -1: no recap without failures
    QByteArray out;
};

PlaybookRun run_playbook_once(const QString &program, const QStringList &arguments,
                              const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    PlaybookRun run;
    const qint64 started = monotonic_ns();
    process.start(program, arguments);
    if (!process.waitForFinished(600000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.seconds = double(monotonic_ns() - started) / 1e9;
    run.out = process.readAll();
    static const QRegularExpression recap(
        QStringLiteral(R"(localhost\s+: ok=\d+\s+changed=(\d+)\s+unreachable=0\s+failed=0)"));
    const QRegularExpressionMatch match = recap.match(QString::fromUtf8(run.out));
    if (process.exitCode() == 0 && match.hasMatch())
        run.changed = match.captured(1).toInt();
    return run;
}

} // namespace

QJsonObject run_playbook(int runs)
{
    QJsonObject result;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ansible-playbook"));
    if (program.isEmpty()) {
        result[QStringLiteral("skipped")] =
            QStringLiteral("no ansible-playbook (Debian package ansible-core)");
        return result;
    }

    QTemporaryDir dir;
    const QString nodes = dir.filePath(QStringLiteral("dev"));
    QDir().mkpath(nodes);
    std::vector<std::unique_ptr<DeviceThread>> devices;
    QList<host::SerialPortEntry> ports;
    for (int index = 0; index < kDevices; ++index) {
        devices.push_back(std::make_unique<DeviceThread>(nodes, 0xC100 + 0x100 * index));
        host::SerialPortEntry port;
        port.manufacturer = devices.back()->device().manufacturer();
        port.description = devices.back()->device().description();
        port.portName = QStringLiteral("ttyACM%1").arg(index);
        ports.append(port);
    }
    const QString list_file = dir.filePath(QStringLiteral("ports"));
    QString error;
    if (!host::write_port_list(list_file, {nodes, ports}, &error))
        qFatal("%s", qPrintable(error));

    // The collection from this checkout where ansible-core looks; localhost in the example's
    // group; kaldorium-lpt from this build first on PATH.
    QDir(dir.path()).mkpath(QStringLiteral("collections/ansible_collections/holmcraft"));
    QDir(dir.path()).mkpath(QStringLiteral("home"));
    QFile::link(QStringLiteral(KALDORIUM_ANSIBLE_DIR),
                dir.filePath(QStringLiteral("collections/ansible_collections/holmcraft/"
                                            "kaldorium_lpt")));
    const QString inventory = dir.filePath(QStringLiteral("inventory.ini"));
    QFile inventory_file(inventory);
    if (!inventory_file.open(QIODevice::WriteOnly) ||
        inventory_file.write("[machine_controllers]\nlocalhost ansible_connection=local\n") < 0)
        qFatal("cannot write %s", qPrintable(inventory));
    inventory_file.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(host::kPortListVariable), list_file);
    environment.insert(QStringLiteral("PATH"),
                       QFileInfo(QStringLiteral(KALDORIUM_CLI_PATH)).path() + QLatin1Char(':') +
                           environment.value(QStringLiteral("PATH")));
    environment.insert(QStringLiteral("ANSIBLE_COLLECTIONS_PATH"),
                       dir.filePath(QStringLiteral("collections")));
    environment.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("ANSIBLE_NOCOLOR"), QStringLiteral("1"));
    environment.insert(QStringLiteral("ANSIBLE_PYTHON_INTERPRETER"), QStringLiteral("auto_silent"));
    environment.insert(QStringLiteral("ANSIBLE_RETRY_FILES_ENABLED"), QStringLiteral("0"));
    const QStringList playbook = {
        QStringLiteral("-i"), inventory, QStringLiteral("-c"), QStringLiteral("local"),
        QStringLiteral(KALDORIUM_ANSIBLE_DIR) + QStringLiteral("/examples/line3-defaults.yml")};

    const PlaybookRun first = run_playbook_once(program, playbook, environment);
    result[QStringLiteral("first_run_s")] = first.seconds;
    result[QStringLiteral("first_run_changed")] = first.changed;
    QJsonArray unchanged_s;
    QJsonArray unchanged_changed;
    for (int n = 0; n < runs; ++n) {
        const PlaybookRun run = run_playbook_once(program, playbook, environment);
        unchanged_s.append(run.seconds);
        unchanged_changed.append(run.changed);
    }
    result[QStringLiteral("unchanged_runs_s")] = unchanged_s;
    result[QStringLiteral("unchanged_runs_changed")] = unchanged_changed;

    // One device drifts; the check run shows it and writes nothing.
    const QString drifted = nodes + QStringLiteral("/KALDORIUM_LPT_C400");
    QProcess::execute(QStringLiteral(KALDORIUM_CLI_PATH),
                      {QStringLiteral("--port"), drifted, QStringLiteral("defaults"),
                       QStringLiteral("write"), QStringLiteral("data.levels=0x3C")});
    const PlaybookRun check = run_playbook_once(
        program, QStringList{QStringLiteral("--check"), QStringLiteral("--diff")} + playbook,
        environment);
    result[QStringLiteral("check_run_s")] = check.seconds;
    result[QStringLiteral("check_run_changed")] = check.changed;
    result[QStringLiteral("check_run_shows_drift")] =
        check.out.contains("C400 on localhost had drifted: data.levels") &&
        check.out.contains("\n-data.levels=0x3C\n");
    result[QStringLiteral("devices")] = kDevices;
    return result;
}

} // namespace bench
