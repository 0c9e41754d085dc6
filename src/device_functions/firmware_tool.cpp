// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "firmware_tool.h"

#include "device_link/device_contract.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QProcess>
#include <QTimer>

namespace {

firmware::FileChooser replaced_chooser; // set only by tests and demos

} // namespace

void delay(int millisecondsToWait)
{
    // The thread sleeps until an event comes; the single shot is the event that ends the
    // wait. Any event may wake it early, so the clock decides when the wait is over.
    QElapsedTimer clock;
    clock.start();
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    for (qint64 left = millisecondsToWait; left > 0; left = millisecondsToWait - clock.elapsed()) {
        if (!deadline.isActive())
            deadline.start(int(left));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

namespace firmware {

QString choose_file(QWidget *parent)
{
    if (replaced_chooser)
        return replaced_chooser(parent);
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open firmware file"),
                                        QStringLiteral("."), QStringLiteral("(*.bin)"));
}

void set_file_chooser(FileChooser chooser)
{
    replaced_chooser = std::move(chooser);
}

ToolResult run_dfu_util(const QString &path)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.setStandardInputFile(QProcess::nullDevice());
    tool.start(QString::fromLatin1(contract::kDfuUtil), dfu_arguments(path), QIODevice::ReadOnly);
    ToolResult result;
    if (!tool.waitForStarted(-1))
        return result;
    result.started = true;
    tool.waitForFinished(-1);
    result.crashed = tool.exitStatus() == QProcess::CrashExit;
    result.exit_code = tool.exitCode();
    return result;
}

} // namespace firmware
