#!/usr/bin/env python3
"""Checks the DLL's Launchpad texts and version as the simulator reads them, without running it.

The Launchpad loads each DLL of Modules/Plugin as a data file and takes LoadString 1000 (the
description) and 1001 (the category) into buffers of 1024 characters; the simulator's log names
the version resource's file version. Here the resources come from `llvm-readobj --coff-resources`
of the DLL installed from the package, and every file the description names must be in that
package.

Usage: check_launchpad_texts.py READOBJ ROOT VERSION
  ROOT     the simulator folder the package was unpacked into (Modules/Plugin/Kestrane.dll)
  VERSION  the project's version, major.minor
Prints "launchpad checks: N passed, M failed".
"""
import os
import re
import struct
import subprocess
import sys

LOADSTRING_BUFFER = 1024  # characters, the terminating zero included
STRINGTABLE, VERSIONINFO = 6, 16


def resources(readobj, dll):
    """{(type id, name id): bytes} of every resource, as llvm-readobj dumps them."""
    dump = subprocess.run([readobj, '--coff-resources', dll], check=True, capture_output=True, text=True).stdout
    found, kind, name, data = {}, None, None, None
    for line in dump.splitlines():
        if m := re.match(r'\s*Type: .*\(ID (\d+)\)', line):
            kind = int(m.group(1))
        elif m := re.match(r'\s*Name: .*\(ID (\d+)\)', line):
            name = int(m.group(1))
        elif re.match(r'\s*Data \($', line):
            data = bytearray()
        elif data is not None and (m := re.match(r'\s*[0-9A-F]{4}: ((?:[0-9A-F]{2,8} ?)+)\s*\|', line)):
            data += bytes.fromhex(m.group(1).replace(' ', ''))
        elif data is not None and re.match(r'\s*\)$', line):
            found[(kind, name)] = bytes(data)
            data = None
    return found


def load_string(found, number):
    """What LoadString gives: the string of that number, cut to the buffer; None when missing."""
    block = found.get((STRINGTABLE, number // 16 + 1))
    if block is None:
        return None
    at = 0
    for index in range(16):
        length = struct.unpack_from('<H', block, at)[0]
        text = block[at + 2:at + 2 + 2 * length].decode('utf-16-le')
        if index == number % 16:
            return text[:LOADSTRING_BUFFER - 1] if length else None
        at += 2 + 2 * length
    return None


def main():
    readobj, root, version = sys.argv[1:4]
    dll = os.path.join(root, 'Modules', 'Plugin', 'Kestrane.dll')
    passed, failed = 0, 0

    def check(ok, what):
        nonlocal passed, failed
        if ok:
            passed += 1
        else:
            failed += 1
            print('FAILED: ' + what)

    found = resources(readobj, dll)
    description, category = load_string(found, 1000), load_string(found, 1001)
    check(category == 'MFD modes', f'the category (string 1001) is {category!r}, not the one the manual names')
    check(description is not None, 'no description (string 1000): the Launchpad shows none')
    description = description or ''
    # Cut by the Launchpad's buffer, the end would be lost.
    check(len(description) < LOADSTRING_BUFFER - 1,
          f'the description has {len(description)} characters: the Launchpad shows {LOADSTRING_BUFFER - 1}')
    check(description.startswith('KESTRANE:\r\n\r\n') and '"Fuel Management"' in description,
          f'the description does not name the module and its mode: {description[:80]!r}')
    named = re.findall(r'(?:Doc|Scenarios)\\[^ ;)]*[^ ;).]', description)
    check(len(named) >= 2, f'the description names {len(named)} of the package\'s files and folders')
    for path in named:
        check(os.path.exists(os.path.join(root, *path.split('\\'))),
              f'the description names {path}, which the package does not hold')

    info = found.get((VERSIONINFO, 1), b'')
    at = info.find(struct.pack('<I', 0xFEEF04BD))
    check(at >= 0, 'no version resource with a fixed file information')
    if at >= 0:
        most, least = struct.unpack_from('<II', info, at + 8)
        shown = f'{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}'
        check(shown == version + '.0.0', f'the file version is {shown}, the project\'s {version}')
    print(f'{dll}: {category!r}, {len(description)} characters of description, {len(named)} files named')
    print(f'launchpad checks: {passed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
