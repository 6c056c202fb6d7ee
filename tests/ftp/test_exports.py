"""The seventeen operations of the FTP client are exported by name, letter
case included: from libquarvelftp.so, from quarvelftp.dll and from
quarvel.exe itself.

Files under test (paths separated by ':'), default the three below:
  QUARVEL_FTP_BINARIES  build/libquarvelftp.so:build-win/quarvelftp.dll:build-win/quarvel.exe
"""

import os
import re
import subprocess
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
DEFAULT = 'build/libquarvelftp.so:build-win/quarvelftp.dll:build-win/quarvel.exe'

OPERATIONS = {
    'ftpConnect', 'ftpQuit', 'FTPGETLASTSTATUSCODE', 'FTPGETLASTSTATUSMSG',
    'FTPMAKEDIR', 'FTPMOVEORRENAME', 'FTPREMOVEDIR', 'ftpChangeDir', 'ftpCurDir',
    'ftpDeleteFile', 'ftpGetDirList', 'ftpGetFile', 'ftpGetFileList', 'ftpGetList',
    'ftpPutFile', 'ftpSetAscii', 'ftpSetBinary',
}


def _binaries():
    return [REPO / p if not os.path.isabs(p) else Path(p)
            for p in os.environ.get('QUARVEL_FTP_BINARIES', DEFAULT).split(':') if p]


def _exported_names(binary):
    if binary.suffix in ('.exe', '.dll'):
        dump = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', str(binary)],
                              capture_output=True, text=True, check=True).stdout
        table = dump.split('[Ordinal/Name Pointer] Table', 1)
        assert len(table) == 2, '%s has no export table' % binary
        return set(re.findall(r'^\s*\[\s*\d+\]\s+(\S+)\s*$', table[1], re.M))
    dump = subprocess.run(['nm', '-D', '--defined-only', str(binary)],
                          capture_output=True, text=True, check=True).stdout
    return {line.split()[-1] for line in dump.splitlines()
            if len(line.split()) >= 3 and line.split()[1] == 'T'}


@pytest.mark.parametrize('binary', _binaries(), ids=lambda p: p.name)
def test_every_operation_is_exported_by_its_name(binary):
    assert binary.exists(), '%s is missing: build it first' % binary
    names = _exported_names(binary)
    missing = OPERATIONS - names
    assert not missing, '%s does not export %s' % (binary.name, sorted(missing))
    if binary.suffix == '.so':
        # Nothing of the C++ inside leaks into the library's interface.
        assert not [n for n in names if n.startswith('_Z')], sorted(names)
