// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "command.h"
#include "commands.h"

const QList<Command> &command_table()
{
    // One line per command (kept so by hand: a new command is one added line).
    // clang-format off
    static const QList<Command> table = {
        list_command(),
        address_set_command(),
        defaults_read_command(),
        defaults_write_command(),
        defaults_save_command(),
        defaults_diff_command(),
        flash_command(),
        pins_watch_command(),
        pins_record_command(),
        pins_drive_command(),
        pins_pulse_command(),
        selftest_command(),
        wait_command(),
        provision_command(),
    };
    // clang-format on
    return table;
}
