// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_CLI_RUNNER_H
#define KALDORIUM_TEST_CLI_RUNNER_H

// The command line kaldorium-lpt as a black box: the real executable run with QProcess,
// seeing the ports this runner lists (through its port-list file, never the host's own) and
// finding device nodes in the runner's directory. While a command runs, the test's event loop
// turns, so a simulated device living on the test's thread answers it.

#include "device_link/host_ports.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class SimulatedDeviceEndpoint;

namespace testsupport {

struct CliResult {
    bool finished = false; // false: still running at the time-out (then killed)
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

class CliRunner {
public:
    CliRunner(); // no ports listed
    ~CliRunner();
    CliRunner(const CliRunner &) = delete;
    CliRunner &operator=(const CliRunner &) = delete;

    // Lists these ports (in this order).
    void setPorts(const QList<host::SerialPortEntry> &ports);
    // From now on the program sees the host's own ports and /dev (a umockdev testbed's,
    // where the test runs with its preload) instead of the port list.
    void useHostPorts() { hostPorts_ = true; }
    // Lists the simulated device and links its node into the node directory.
    void plugIn(SimulatedDeviceEndpoint &endpoint);
    // Lists the simulated device for as long as it is attached, as the host would (through
    // drops, replugs and address changes), beside the other devices it follows; its node is
    // linked into the node directory. Starts the endpoint if it is not attached. An empty
    // port name lists it as the host would name its pseudo-terminal ("pts/3"), through
    // replugs too.
    void follow(SimulatedDeviceEndpoint &endpoint, const QString &portName,
                const QString &serial = QString());
    QString nodeDirectory() const { return dir_.filePath(QStringLiteral("dev")); }
    QString filePath(const QString &name) const { return dir_.filePath(name); }

    // Runs kaldorium-lpt with the arguments (and the bytes on its standard input) to its end.
    CliResult run(const QStringList &arguments, const QByteArray &input = QByteArray(),
                  int timeoutMs = 30000);

    // Runs a POSIX sh script in the runner's directory, where "$KLPT" names kaldorium-lpt
    // (seeing the runner's ports as run() does): for what a shell does around a command,
    // such as redirections, pipes, a file-size limit or a file name in raw bytes.
    CliResult runShell(const QString &script, int timeoutMs = 30000);

    // Starts it and returns at once; finish() waits for its end. Its standard error goes to
    // standardError when given (a terminal's node, say), else to CliResult::err.
    QProcess &start(const QStringList &arguments, const QString &standardError = QString());
    CliResult finish(int timeoutMs = 30000);

    // Runs another program that runs kaldorium-lpt (ansible-playbook) to its end, in the
    // runner's directory, with these variables added: it sees the runner's ports as run()
    // does, and finds this kaldorium-lpt first on PATH.
    CliResult runProgram(const QString &program, const QStringList &arguments,
                         const QProcessEnvironment &variables, int timeoutMs);

private:
    QProcess &startProgram(const QString &program, const QStringList &arguments,
                           const QString &standardError = QString(),
                           const QProcessEnvironment &variables = QProcessEnvironment());
    void listFollowed();

    struct Followed {
        SimulatedDeviceEndpoint *endpoint;
        QString portName;
        QString serial;
    };
    QTemporaryDir dir_;
    std::unique_ptr<QProcess> process_;
    QList<Followed> followed_;
    QList<QMetaObject::Connection> connections_;
    bool hostPorts_ = false;
};

} // namespace testsupport

#endif
