#!/usr/bin/python3
# A umockdev testbed driven over standard input, one JSON command (or an
# array of them) a line; each line is answered "ok" or "error: …". Run it under umockdev-wrapper: only a
# preloaded process can send uevents to the preloaded programs' monitors.
# The first line printed is the testbed's folder, for their UMOCKDEV_DIR.
import json
import sys
import time

import gi

gi.require_version('UMockdev', '1.0')
from gi.repository import UMockdev  # noqa: E402

testbed = UMockdev.Testbed.new()
print(testbed.get_root_dir(), flush=True)
# Devices added so far by name, so that later commands can name them.
paths = {}


def pairs(mapping):
    return [str(x) for item in (mapping or {}).items() for x in item]


def run(command):
    what = command['do']
    if 'parent' in command:
        command['parent'] = paths.get(command['parent'], command['parent'])
    if 'path' in command:
        command['path'] = paths.get(command['path'], command['path'])
    if what == 'add':
        # A device; a power supply gets the kernel's "device" link to its
        # parent, which umockdev leaves out (its folder is right below it).
        path = testbed.add_device(command.get('subsystem', 'power_supply'), command['name'],
                                  command.get('parent'), pairs(command.get('attributes')),
                                  pairs(command.get('properties')))
        if not path:
            raise RuntimeError('add_device failed')
        paths[command['name']] = path
        if command.get('parent') and command.get('subsystem', 'power_supply') == 'power_supply':
            testbed.set_attribute_link(path, 'device', '..')
        for name, hexbytes in (command.get('binary') or {}).items():
            testbed.set_attribute_binary(path, name, bytes.fromhex(hexbytes))
        for name, target in (command.get('links') or {}).items():
            testbed.set_attribute_link(path, name, target)
        if command.get('announce'):
            testbed.uevent(path, 'add')
        return
    if what == 'set':
        for name, value in command['attributes'].items():
            testbed.set_attribute(command['path'], name, value)
        if command.get('announce', True):
            testbed.uevent(command['path'], 'change')
        return
    if what == 'burst':
        # COUNT change uevents spread over SECONDS.
        for _ in range(command['count']):
            testbed.uevent(command['path'], 'change')
            time.sleep(command['seconds'] / command['count'])
        return
    if what == 'remove':
        testbed.uevent(command['path'], 'remove')
        testbed.remove_device(command['path'])
        return
    raise RuntimeError('unknown command ' + what)


for line in sys.stdin:
    try:
        commands = json.loads(line)
        for command in commands if isinstance(commands, list) else [commands]:
            run(command)
        print('ok', flush=True)
    except Exception as error:  # the test reads the reason
        print('error: ' + str(error).replace('\n', ' '), flush=True)
