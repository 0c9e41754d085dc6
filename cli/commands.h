// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_COMMANDS_H
#define KALDORIUM_CLI_COMMANDS_H

// The commands, one function each that describes it; defined in the command's own file.

#include "command.h"

Command list_command();
Command address_set_command();
Command defaults_read_command();
Command defaults_write_command();
Command defaults_save_command();
Command defaults_diff_command();
Command flash_command();
Command pins_watch_command();
Command pins_record_command();
Command pins_drive_command();
Command pins_pulse_command();
Command wait_command();
Command selftest_command();
Command provision_command();

#endif
