#!/usr/bin/python3
"""Refuses an include against the layer order of the program's folders.

Each folder is one layer and may include only its own headers and those of
the layers below it (this list, lowest first). server/contract.h, the fixed
forms at the meeting points with the FTP server, holds nothing but
constants and is the ground floor every layer may include. Test files
(*_test.cc, *_test_util.*) are left out: a test may use any layer.

    scripts/check_layers.py [repository root]

Prints each wrong include as "file:line: includes header (layer above)" and
exits with 1 when it found one, 0 otherwise.
"""

import re
import sys
from pathlib import Path

LAYERS = ['platform', 'config', 'dates', 'ftp', 'server', 'stores', 'userdb', 'evaluation',
          'membership', 'reports', 'entry']
GROUND = {'server/contract.h'}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def is_test_file(path):
    return path.name.endswith('_test.cc') or '_test_util' in path.name


def wrong_includes(root):
    found = []
    for ground in sorted(GROUND):
        text = (root / ground).read_text(encoding='utf-8', errors='replace')
        for number, line in enumerate(text.splitlines(), 1):
            match = INCLUDE.match(line)
            if match:
                found.append('%s:%d: includes %s (the ground floor includes nothing of ours)'
                             % (ground, number, match.group(1)))
    for rank, layer in enumerate(LAYERS):
        for path in sorted((root / layer).glob('*')):
            if path.suffix not in ('.h', '.cc') or is_test_file(path):
                continue
            text = path.read_text(encoding='utf-8', errors='replace')
            for number, line in enumerate(text.splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                header = match.group(1)
                folder = header.split('/')[0]
                if header in GROUND or folder not in LAYERS:
                    continue
                if LAYERS.index(folder) > rank:
                    found.append('%s:%d: includes %s (layer %s is above %s)'
                                 % (path.relative_to(root), number, header, folder, layer))
    return found


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[1])
    missing = [layer for layer in LAYERS if not (root / layer).is_dir()]
    if missing:
        print('check_layers: no folder %s in %s' % (', '.join(missing), root), file=sys.stderr)
        return 2
    found = wrong_includes(root)
    for line in found:
        print(line)
    if found:
        print('check_layers: %d include(s) against the layer order %s'
              % (len(found), ' < '.join(LAYERS)))
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
