#!/usr/bin/python
# -*- coding: utf-8 -*-

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: defaults
short_description: Bring a KALDORIUM-LPT's power-on defaults to a profile
description:
  - Brings the power-on directions and levels stored in a Holmcraft KALDORIUM-LPT (a USB
    device that emulates a PC parallel port) to the values of a profile, with the command line
    C(kaldorium-lpt) on the managed machine.
  - The device is read first and only the items that differ are stored, then read back
    (C(kaldorium-lpt defaults write)). A device that already holds the profile gets nothing
    written and the task reports no change.
  - In check mode the device is only compared with the profile (C(kaldorium-lpt defaults
    diff)); nothing is written.
  - The program is run with an argument list, never through a shell. When it fails, the task
    fails with the program's error line and exit code in C(msg).
options:
  device:
    description:
      - The address of the device to configure, as C(kaldorium-lpt list) shows it (C(C100)
        ... C(C800)).
      - Without I(device) and I(port), the one device attached to the machine.
    type: str
  port:
    description:
      - The serial node of the device, for example C(/dev/KALDORIUM_LPT_C100) or the I(node)
        that M(holmcraft.kaldorium_lpt.info) reports.
    type: str
  profile:
    description:
      - A profile file on the managed machine, as C(kaldorium-lpt defaults save) writes it
        (one C(key=value) a line).
    type: path
  values:
    description:
      - The profile's items as a dictionary, with the keys C(data.direction), C(data.levels),
        C(control.direction), C(control.levels) and C(status.levels). Only the items given are
        compared and stored.
      - Directions are C(input) or C(output) (or 0 and 1); levels are numbers (C(0x81), C(129),
        C(0b10000001)).
      - "The nested form that M(holmcraft.kaldorium_lpt.info) reports as I(defaults)
        (C({data: {direction: output, levels: 129}})) is taken as well."
    type: dict
  verify:
    description:
      - Read the stored items back and fail when the device did not keep them.
    type: bool
    default: true
  timeout:
    description:
      - How long to wait for each of the device's replies, in milliseconds.
    type: int
    default: 1000
  executable:
    description:
      - The command line to run; by default C(kaldorium-lpt) on the search path.
    type: path
notes:
  - Exactly one of I(profile) and I(values) is required.
  - A device that does not answer fails the task, and nothing is stored in it.
requirements:
  - kaldorium-lpt (the command line, Debian package C(kaldorium-lpt)) on the managed machine
attributes:
  check_mode:
    description: Compares the device with the profile and writes nothing.
    support: full
  diff_mode:
    description: Shows the differing items, as the device holds them and as the profile has
      them.
    support: full
seealso:
  - module: holmcraft.kaldorium_lpt.info
author:
  - Holmcraft (support@holmcraft.example)
'''

EXAMPLES = r'''
- name: Bring the device at C100 to line 3's profile
  holmcraft.kaldorium_lpt.defaults:
    device: C100
    profile: /etc/kaldorium-lpt/line3.profile

- name: Drive the data port high at power-on on the one attached device
  holmcraft.kaldorium_lpt.defaults:
    values:
      data.direction: output
      data.levels: 0xFF

- name: Give every attached device the profile of a reference device
  holmcraft.kaldorium_lpt.defaults:
    port: "{{ item.node }}"
    values: "{{ reference.devices[0].defaults }}"
  loop: "{{ attached.devices }}"

- name: See the drift only (as with --check)
  holmcraft.kaldorium_lpt.defaults:
    device: C200
    profile: /etc/kaldorium-lpt/line3.profile
  check_mode: true
  register: drift
'''

RETURN = r'''
node:
  description: The serial node the device was reached on.
  returned: success
  type: str
  sample: /dev/KALDORIUM_LPT_C100
before:
  description:
    - The given items as the device held them before, as numbers (directions 0 input,
      1 output).
  returned: success
  type: dict
  sample: {"data.direction": 1, "data.levels": 129}
after:
  description:
    - The given items as the device holds them after the task (in check mode, as it would).
  returned: success
  type: dict
  sample: {"data.direction": 1, "data.levels": 60}
differences:
  description:
    - The items that differed from the profile, with the device's and the profile's value.
      Empty when the device already held the profile.
  returned: success
  type: dict
  sample: {"data.levels": {"device": 129, "profile": 60}}
verified:
  description: Whether the stored items were read back and found kept.
  returned: success, not in check mode
  type: bool
  sample: true
rc:
  description: The exit code of kaldorium-lpt.
  returned: failure
  type: int
  sample: 69
stderr:
  description: What kaldorium-lpt wrote to standard error.
  returned: failure
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.holmcraft.kaldorium_lpt.plugins.module_utils.kaldorium_lpt import (
    COMMON_OPTIONS, DIRECTIONS, KEYS, KaldoriumLpt, flat, in_device_order, profile_text,
    selection)


def assignments(values):
    """KEY=VALUE arguments from the values option; the program checks keys and values."""
    arguments = []
    for key, value in values.items():
        if isinstance(value, dict):
            arguments += assignments(dict(('%s.%s' % (key, name), item)
                                          for name, item in value.items()))
            continue
        if isinstance(value, bool):
            value = str(value).lower()
        elif isinstance(value, int) and key in DIRECTIONS and value in (0, 1):
            value = 'output' if value else 'input'
        arguments.append('%s=%s' % (key, value))
    return arguments


def profile_keys(path):
    """The keys a profile file gives (the program has already read it and found it good)."""
    keys = []
    try:
        with open(path, 'rb') as profile:
            for line in profile.read().decode('utf-8', 'replace').splitlines():
                key = line.split('=', 1)[0].strip()
                if key in KEYS:
                    keys.append(key)
    except (IOError, OSError):
        return list(KEYS)
    return keys


def main():
    module = AnsibleModule(
        argument_spec=dict(
            device=dict(type='str'),
            port=dict(type='str'),
            profile=dict(type='path'),
            values=dict(type='dict'),
            verify=dict(type='bool', default=True),
            **COMMON_OPTIONS
        ),
        mutually_exclusive=[('device', 'port'), ('profile', 'values')],
        required_one_of=[('profile', 'values')],
        supports_check_mode=True,
    )
    params = module.params
    cli = KaldoriumLpt(module)
    device = selection(params)
    if params['profile'] == '-':
        module.fail_json(msg='profile names a file on the managed machine; - (standard input) '
                             'is none: give the file, or the values')
    if params['values'] is not None and not params['values']:
        module.fail_json(msg='values gives no key; give at least one of %s' % ', '.join(KEYS))
    if params['profile'] is not None:
        source = ['--from=' + params['profile']]
    else:
        # After --, so that no key can be taken for an option.
        source = ['--'] + assignments(params['values'])

    if module.check_mode:
        rc, compared, err = cli.run(['defaults', 'diff'] + source, device, ok_codes=(0, 1))
        rc, held, err = cli.run(['defaults', 'read'], device)
        held = flat(held)
        if params['profile'] is not None:
            keys = profile_keys(params['profile'])
        else:
            keys = [argument.split('=', 1)[0] for argument in source[1:]]
        differences = compared['differences']
        before = dict((key, held.get(key)) for key in keys)
        after = dict(before)
        after.update((key, difference['profile']) for key, difference in differences.items())
        result = dict(changed=not compared['equal'], node=compared['node'])
    else:
        command = ['defaults', 'write'] + ([] if params['verify'] else ['--no-verify'])
        rc, written, err = cli.run(command + source, device)
        items = written['items']
        before = dict((key, item['before']) for key, item in items.items())
        after = dict((key, item['after']) for key, item in items.items())
        differences = dict((key, dict(device=item['before'], profile=item['after']))
                           for key, item in items.items() if item['changed'])
        result = dict(changed=written['changed'], node=written['node'],
                      verified=written['verified'])

    result.update(before=in_device_order(before), after=in_device_order(after),
                  differences=in_device_order(differences))
    if module._diff:
        result['diff'] = dict(before=profile_text(before), after=profile_text(after),
                              before_header='%s: power-on defaults before' % result['node'],
                              after_header='%s: power-on defaults after' % result['node'])
    module.exit_json(**result)


if __name__ == '__main__':
    main()
