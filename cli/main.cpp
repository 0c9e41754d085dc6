// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// kaldorium-lpt: every device function of the KALDORIUM-LPT on the command line.

#include "command_line.h"
#include "exit_codes.h"
#include "output.h"
#include "raw_text.h"
#include "signal_guard.h"

#include "device_link/port_list_file.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The arguments as their bytes: a file name that is not valid UTF-8 still names its file.
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments.append(raw_text::decode(QByteArray(argv[index])));
    QCoreApplication::setApplicationName(QStringLiteral("kaldorium-lpt"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KALDORIUM_VERSION));
    // A reader that has gone and a file-size limit show as failed writes, which are handled
    // (exit 141 and 74), not as signals that kill the program with its port open.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    const SignalGuard &guard = SignalGuard::install();

    QString error;
    if (!host::apply_port_list_from_environment(&error)) {
        return output::fail(exit_code::kNoInput,
                            QStringLiteral("stand-in port list %1: %2; unset %1 to use the "
                                           "system's ports")
                                .arg(QString::fromLatin1(host::kPortListVariable), error));
    }

    const int code = run_command_line(arguments);
    // A signal that came while the command was busy ends it as a signal does, port closed;
    // so do a reader of the output that has gone (141) and a failed write of results (74).
    if (guard.exitCode())
        return guard.exitCode();
    return code;
}
