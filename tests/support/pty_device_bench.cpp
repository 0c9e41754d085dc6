// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pty_device_bench.h"

#include "mainwindow.h"
#include "program_state.h"
#include "pseudo_terminal.h"
#include "window_access.h"

#include <QElapsedTimer>
#include <QTest>

namespace testsupport {

DeviceBench::DeviceBench(const QStringList &addresses) : pty_(std::make_unique<PseudoTerminal>())
{
    QList<host::SerialPortEntry> ports;
    for (const QString &address : addresses) {
        ports << devicePort(address);
        host_.linkNode(QStringLiteral("KALDORIUM_LPT_") + address.toUpper(), pty_->slavePath());
    }
    host_.setPorts(ports);
    reset_program_state();
    window_ = std::make_unique<MainWindow>();
}

DeviceBench::~DeviceBench()
{
    window_.reset(); // closes the port while the node and the host seams still stand
    pty_.reset();
}

bool DeviceBench::openPort()
{
    return testsupport::openPort(*window_);
}

QByteArray readFromProgram(PseudoTerminal &device, int count, int timeoutMs)
{
    QByteArray bytes = device.readAvailable();
    QElapsedTimer clock;
    clock.start();
    while (bytes.size() < count && clock.elapsed() < timeoutMs) {
        QTest::qWait(5);
        bytes += device.readAvailable();
    }
    return bytes;
}

} // namespace testsupport
