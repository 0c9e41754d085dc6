// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli_runner.h"

#include "device_link/port_list_file.h"
#include "simulated_device_endpoint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtTest>

#include <utility>

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
    for (const QMetaObject::Connection &connection : std::as_const(connections_))
        QObject::disconnect(connection);
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

void CliRunner::follow(SimulatedDeviceEndpoint &endpoint, const QString &portName,
                       const QString &serial)
{
    followed_.append({&endpoint, portName, serial});
    endpoint.setLinkDirectory(nodeDirectory());
    const auto list = [this] { listFollowed(); };
    connections_ << QObject::connect(&endpoint, &SimulatedDeviceEndpoint::attached, list)
                 << QObject::connect(&endpoint, &SimulatedDeviceEndpoint::dropped, list)
                 << QObject::connect(&endpoint, &SimulatedDeviceEndpoint::addressChanged, list)
                 << QObject::connect(&endpoint, &QObject::destroyed, [this, &endpoint] {
                        for (int i = followed_.size() - 1; i >= 0; --i) {
                            if (followed_[i].endpoint == &endpoint)
                                followed_.removeAt(i);
                        }
                    });
    if (!endpoint.isAttached())
        endpoint.start();
    listFollowed();
}

void CliRunner::listFollowed()
{
    QList<host::SerialPortEntry> ports;
    for (const Followed &device : std::as_const(followed_)) {
        if (!device.endpoint->isAttached())
            continue;
        // Without a name of its own: named as the host names the pty ("pts/3").
        QString name = device.portName;
        if (name.isEmpty())
            name =
                device.endpoint->slavePath().remove(QRegularExpression(QStringLiteral("^/dev/")));
        ports.append(
            {device.endpoint->manufacturer(), device.endpoint->description(), name, device.serial});
    }
    setPorts(ports);
}

QProcess &CliRunner::start(const QStringList &arguments, const QString &standardError)
{
    return startProgram(QStringLiteral(KALDORIUM_CLI_PATH), arguments, standardError);
}

QProcess &CliRunner::startProgram(const QString &program, const QStringList &arguments,
                                  const QString &standardError,
                                  const QProcessEnvironment &variables)
{
    process_ = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (hostPorts_)
        environment.remove(QString::fromLatin1(host::kPortListVariable));
    else
        environment.insert(QString::fromLatin1(host::kPortListVariable), port_list_file(dir_));
    environment.insert(QStringLiteral("KLPT"), QStringLiteral(KALDORIUM_CLI_PATH));
    environment.insert(variables);
    process_->setProcessEnvironment(environment);
    process_->setWorkingDirectory(dir_.path());
    if (!standardError.isEmpty())
        process_->setStandardErrorFile(standardError, QIODevice::Append);
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

CliResult CliRunner::runProgram(const QString &program, const QStringList &arguments,
                                const QProcessEnvironment &variables, int timeoutMs)
{
    QProcessEnvironment added = variables;
    const QString path = QProcessEnvironment::systemEnvironment().value(QStringLiteral("PATH"));
    added.insert(QStringLiteral("PATH"),
                 QFileInfo(QStringLiteral(KALDORIUM_CLI_PATH)).path() +
                     (path.isEmpty() ? QString() : QLatin1Char(':') + path));
    QProcess &process = startProgram(program, arguments, QString(), added);
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
