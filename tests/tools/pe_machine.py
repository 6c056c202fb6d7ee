"""The processor a Windows program is built for, read from its PE header:
'x86' (PE32, i386) or 'x64' (PE32+, x86-64); None for anything else."""

import struct

MACHINES = {0x014c: 'x86', 0x8664: 'x64'}


def pe_machine(file):
    """`file` is a path or an open binary file."""
    try:
        if hasattr(file, 'read'):
            head = file.read(4096)
        else:
            with open(file, 'rb') as f:
                head = f.read(4096)
    except OSError:
        return None
    if head[:2] != b'MZ' or len(head) < 0x40:
        return None
    offset = struct.unpack_from('<I', head, 0x3c)[0]
    if offset + 6 > len(head) or head[offset:offset + 4] != b'PE\0\0':
        return None
    return MACHINES.get(struct.unpack_from('<H', head, offset + 4)[0])
