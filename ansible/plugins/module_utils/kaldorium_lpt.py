# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

"""Runs the command line kaldorium-lpt for the collection's modules.

The program is run with an argument list, never through a shell, always with --json; its
error line (standard error) and exit code become the task's failure message.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

# The power-on items in the order the device stores them, and which of them are directions.
KEYS = ('data.direction', 'data.levels', 'control.direction', 'control.levels', 'status.levels')
DIRECTIONS = ('data.direction', 'control.direction')

# Options every module takes.
COMMON_OPTIONS = dict(
    timeout=dict(type='int', default=1000),
    executable=dict(type='path'),
)


class KaldoriumLpt:
    """kaldorium-lpt on the managed machine."""

    def __init__(self, module):
        self.module = module
        self.program = module.params.get('executable') or module.get_bin_path(
            'kaldorium-lpt', required=True)
        # A UTF-8 locale, so that file and node names reach the program as they are.
        module.run_command_environ_update = dict(LANG='C.UTF-8', LC_ALL='C.UTF-8',
                                                 LC_MESSAGES='C.UTF-8')

    def run(self, arguments, selection=(), ok_codes=(0,), fail=True):
        """Runs `kaldorium-lpt [selection] --json --timeout MS arguments...`.

        Returns (exit code, the JSON document printed or None, standard error). An exit code
        outside ok_codes fails the task with the program's error line and exit code in msg,
        unless fail is false.
        """
        command = [self.program] + list(selection) + ['--json']
        if self.module.params.get('timeout') is not None:
            command.append('--timeout=%d' % self.module.params['timeout'])
        command += list(arguments)
        rc, out, err = self.module.run_command(command)
        if rc not in ok_codes:
            if fail:
                self.module.fail_json(msg=failure_message(rc, err), rc=rc, cmd=command,
                                      stdout=out, stderr=err)
            return rc, None, err
        try:
            return rc, json.loads(out), err
        except ValueError:
            self.module.fail_json(msg='kaldorium-lpt printed no JSON document (exit code %d); '
                                      'is %s the KALDORIUM-LPT command line?'
                                      % (rc, self.program),
                                  rc=rc, cmd=command, stdout=out, stderr=err)


def failure_message(rc, stderr):
    """The program's error line (the last line on its standard error) and its exit code."""
    return '%s (exit code %d)' % (error_line(stderr), rc)


def error_line(stderr):
    """The last line the program wrote to standard error."""
    lines = [line for line in stderr.splitlines() if line.strip()]
    if lines:
        return lines[-1]
    return 'kaldorium-lpt ended without a message'


def selection(params):
    """--device ADDR or --port NODE from the module's options; none: the one attached device."""
    if params.get('device'):
        return ['--device=' + params['device']]
    if params.get('port'):
        return ['--port=' + params['port']]
    return []


def flat(profile_json):
    """{"data": {"direction": "output", "levels": 129}, ...} as {"data.direction": 1, ...}."""
    values = {}
    for port, items in (profile_json or {}).items():
        for name, value in items.items():
            key = '%s.%s' % (port, name)
            if key in DIRECTIONS and value in ('input', 'output'):
                value = 1 if value == 'output' else 0
            values[key] = value
    return values


def in_device_order(values):
    """The dictionary with its profile keys in the device's order."""
    return dict((key, values[key]) for key in KEYS if key in values)


def format_value(key, value):
    """A value as a profile writes it: input or output, or 0x and two hex digits."""
    if value is None:
        return 'unknown'
    if key in DIRECTIONS:
        return {0: 'input', 1: 'output'}.get(value, str(value))
    return '0x%02X' % value


def profile_text(values):
    """key=value lines in the device's order, as a profile file holds them."""
    return ''.join('%s=%s\n' % (key, format_value(key, values[key]))
                   for key in KEYS if key in values)
