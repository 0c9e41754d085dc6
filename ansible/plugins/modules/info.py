#!/usr/bin/python
# -*- coding: utf-8 -*-

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: info
short_description: The KALDORIUM-LPT devices attached to a machine and their power-on defaults
description:
  - Lists the Holmcraft KALDORIUM-LPT devices attached to the managed machine
    (C(kaldorium-lpt list)) and reads each one's power-on defaults (C(kaldorium-lpt defaults
    read)), for facts and reports.
  - Changes nothing on the machine or in the devices. A machine without a device gives an empty
    list; a device whose defaults cannot be read gets an I(error) and a warning, the others are
    still read.
options:
  defaults:
    description:
      - Read each device's power-on defaults. Without them only the list is made.
    type: bool
    default: true
  timeout:
    description:
      - How long to wait for each of a device's replies, in milliseconds.
    type: int
    default: 1000
  executable:
    description:
      - The command line to run; by default C(kaldorium-lpt) on the search path.
    type: path
requirements:
  - kaldorium-lpt (the command line, Debian package C(kaldorium-lpt)) on the managed machine
attributes:
  check_mode:
    description: Reads only, so it runs in check mode as it does otherwise.
    support: full
  diff_mode:
    description: Nothing to show.
    support: none
seealso:
  - module: holmcraft.kaldorium_lpt.defaults
author:
  - Holmcraft (support@holmcraft.example)
'''

EXAMPLES = r'''
- name: Find the attached devices
  holmcraft.kaldorium_lpt.info:
  register: attached

- name: Report each device's data levels
  ansible.builtin.debug:
    msg: "{{ item.address }} powers on with data levels {{ item.defaults.data.levels }}"
  loop: "{{ attached.devices }}"
  when: item.defaults is defined

- name: Keep them as facts of the machine
  ansible.builtin.set_fact:
    kaldorium_lpt_devices: "{{ attached.devices }}"
'''

RETURN = r'''
devices:
  description: The attached devices, in the order the machine lists its serial ports.
  returned: always
  type: list
  elements: dict
  contains:
    address:
      description: The address the device reports (C100 ... C800).
      type: str
      sample: C100
    node:
      description: Its serial node; give it to M(holmcraft.kaldorium_lpt.defaults) as I(port).
      type: str
      sample: /dev/KALDORIUM_LPT_C100
    port:
      description: The machine's name for the serial port.
      type: str
      sample: ttyACM0
    node_present:
      description: Whether the node exists (the udev rules of the package make it).
      type: bool
    defaults:
      description:
        - The device's power-on defaults, as C(kaldorium-lpt --json defaults read) gives them
          (directions C(input) or C(output), levels as numbers).
      returned: when I(defaults) is true and they could be read
      type: dict
      sample: {"data": {"direction": "output", "levels": 129},
               "control": {"direction": "input", "levels": 5}, "status": {"levels": 40}}
    error:
      description: Why the defaults could not be read (the program's error line and exit code).
      returned: when reading the defaults failed
      type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.holmcraft.kaldorium_lpt.plugins.module_utils.kaldorium_lpt import (
    COMMON_OPTIONS, KaldoriumLpt, failure_message)

NO_DEVICE = 69  # kaldorium-lpt list: nothing attached (the list it prints is empty)


def main():
    module = AnsibleModule(
        argument_spec=dict(defaults=dict(type='bool', default=True), **COMMON_OPTIONS),
        supports_check_mode=True,
    )
    cli = KaldoriumLpt(module)
    rc, devices, err = cli.run(['list'], ok_codes=(0, NO_DEVICE))
    for device in devices or []:
        if not module.params['defaults']:
            continue
        if not device.get('node_present'):
            device['error'] = 'no node %s for the device at %s; are the udev rules installed?' % (
                device.get('node') or '(none)', device.get('port'))
        else:
            rc, defaults, err = cli.run(['defaults', 'read'], ['--port=' + device['node']],
                                        fail=False)
            if rc == 0:
                device['defaults'] = defaults
            else:
                device['error'] = failure_message(rc, err)
        if 'error' in device:
            module.warn('%s: %s' % (device.get('address'), device['error']))
    module.exit_json(changed=False, devices=devices or [])


if __name__ == '__main__':
    main()
