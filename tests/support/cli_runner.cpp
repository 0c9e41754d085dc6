// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli_runner.h"

#include "device_link/port_list_file.h"
#include "simulated_device_endpoint.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace testsupport {

namespace {

QString port_list_file(const QTemporaryDir &dir)
{
    return dir.filePath(QStringLiteral("ports"));
}

} // namespace

CliRunner::CliRunner()
{
    QDir(dir_.path()).mkpath(QStringLiteral("dev"));
    setPorts({});
}

CliRunner::~CliRunner()
{
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

void CliRunner::setPorts(const QList<host::SerialPortEntry> &ports)
{
    QString error;
    if (!host::write_port_list(port_list_file(dir_), {nodeDirectory(), ports}, &error))
        qFatal("%s", qPrintable(error));
}

void CliRunner::plugIn(SimulatedDeviceEndpoint &endpoint)
{
    endpoint.setLinkDirectory(nodeDirectory());
    endpoint.start();
    host::SerialPortEntry port;
    port.manufacturer = endpoint.manufacturer();
    port.description = endpoint.description();
    port.portName = QStringLiteral("ttyACM0");
    setPorts({port});
}

QProcess &CliRunner::start(const QStringList &arguments)
{
    return startProgram(QStringLiteral(KALDORIUM_CLI_PATH), arguments);
}

QProcess &CliRunner::startProgram(const QString &program, const QStringList &arguments)
{
    process_ = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(host::kPortListVariable), port_list_file(dir_));
    environment.insert(QStringLiteral("KLPT"), QStringLiteral(KALDORIUM_CLI_PATH));
    process_->setProcessEnvironment(environment);
    process_->setWorkingDirectory(dir_.path());
    process_->start(program, arguments);
    if (!process_->waitForStarted(10000))
        qFatal("kaldorium-lpt did not start: %s", qPrintable(process_->errorString()));
    return *process_;
}

CliResult CliRunner::finish(int timeoutMs)
{
    CliResult result;
    QProcess &process = *process_;
    result.finished =
        QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

CliResult CliRunner::runShell(const QString &script, int timeoutMs)
{
    QProcess &process = startProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script});
    process.closeWriteChannel();
    return finish(timeoutMs);
}

CliResult CliRunner::run(const QStringList &arguments, const QByteArray &input, int timeoutMs)
{
    QProcess &process = start(arguments);
    process.write(input);
    process.closeWriteChannel();
    return finish(timeoutMs);
}

} // namespace testsupport
