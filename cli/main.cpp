// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// kaldorium-lpt: every device function of the KALDORIUM-LPT on the command line.

#include "command_line.h"
#include "exit_codes.h"
#include "output.h"
#include "signal_guard.h"

#include "device_link/port_list_file.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kaldorium-lpt"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KALDORIUM_VERSION));
    std::signal(SIGPIPE, SIG_IGN);
    const SignalGuard &guard = SignalGuard::install();

    QString error;
    if (!host::apply_port_list_from_environment(&error)) {
        return output::fail(exit_code::kNoInput,
                            QStringLiteral("stand-in port list %1: %2; unset %1 to use the "
                                           "system's ports")
                                .arg(QString::fromLatin1(host::kPortListVariable), error));
    }

    const int code = run_command_line(QCoreApplication::arguments());
    // A signal that came while the command was busy ends it as a signal does, port closed.
    if (guard.signalNumber())
        return exit_code::kSignalBase + guard.signalNumber();
    return code;
}
