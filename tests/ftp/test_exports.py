"""The seventeen operations of the FTP client are exported by name, letter
case included: from libquarvelftp.so, from quarvelftp.dll and from
quarvel.exe itself, of both Windows builds. A Windows file is also of the
kind its build folder was configured for: PE32 (x86) with the i686
toolchain, PE32+ (x64) with the x86-64 one, and binds at start only the
system libraries every run needs (the TLS and window libraries are loaded
when a run uses them: each library bound at start is loaded, with those it
needs in turn, by every run).

Files under test (paths separated by ':'), default the five below:
  QUARVEL_FTP_BINARIES  build/libquarvelftp.so:build-win/quarvelftp.dll:build-win/quarvel.exe:
                        build-win32/quarvelftp.dll:build-win32/quarvel.exe
"""

import os
import re
import subprocess
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
DEFAULT = ('build/libquarvelftp.so:build-win/quarvelftp.dll:build-win/quarvel.exe:'
           'build-win32/quarvelftp.dll:build-win32/quarvel.exe')

# objdump's name for each format, by the toolchain file of the build folder.
PE_FORMATS = {'mingw-w64-i686.cmake': ('pei-i386', '(PE32)'),
              'mingw-w64-x86_64.cmake': ('pei-x86-64', '(PE32+)')}

# What a Windows file may bind at start: the system, the C runtime, Winsock.
START_UP_LIBRARIES = {'KERNEL32.dll', 'msvcrt.dll', 'WS2_32.dll'}

OPERATIONS = {
    'ftpConnect', 'ftpQuit', 'FTPGETLASTSTATUSCODE', 'FTPGETLASTSTATUSMSG',
    'FTPMAKEDIR', 'FTPMOVEORRENAME', 'FTPREMOVEDIR', 'ftpChangeDir', 'ftpCurDir',
    'ftpDeleteFile', 'ftpGetDirList', 'ftpGetFile', 'ftpGetFileList', 'ftpGetList',
    'ftpPutFile', 'ftpSetAscii', 'ftpSetBinary',
}


def _binaries():
    return [REPO / p if not os.path.isabs(p) else Path(p)
            for p in os.environ.get('QUARVEL_FTP_BINARIES', DEFAULT).split(':') if p]


def _pe_dump(binary):
    return subprocess.run(['x86_64-w64-mingw32-objdump', '-p', str(binary)],
                          capture_output=True, text=True, check=True).stdout


def _configured_format(binary):
    """objdump's (file format, magic) for the toolchain of the build folder."""
    cache = binary.parent / 'CMakeCache.txt'
    assert cache.exists(), 'no CMakeCache.txt beside %s' % binary
    toolchain = re.search(r'^CMAKE_TOOLCHAIN_FILE:\w+=(.*)$', cache.read_text(), re.M)
    assert toolchain, 'no toolchain file in %s' % cache
    form = PE_FORMATS.get(Path(toolchain.group(1)).name)
    assert form, '%s: not a MinGW-w64 build (%s)' % (cache, toolchain.group(1))
    return form


def _exported_names(binary):
    if binary.suffix in ('.exe', '.dll'):
        dump = _pe_dump(binary)
        table = dump.split('[Ordinal/Name Pointer] Table', 1)
        assert len(table) == 2, '%s has no export table' % binary
        return set(re.findall(r'^\s*\[\s*\d+\]\s+(\S+)\s*$', table[1], re.M))
    dump = subprocess.run(['nm', '-D', '--defined-only', str(binary)],
                          capture_output=True, text=True, check=True).stdout
    return {line.split()[-1] for line in dump.splitlines()
            if len(line.split()) >= 3 and line.split()[1] == 'T'}


@pytest.mark.parametrize('binary', _binaries(), ids=lambda p: '%s/%s' % (p.parent.name, p.name))
def test_every_operation_is_exported_by_its_name(binary):
    assert binary.exists(), '%s is missing: build it first' % binary
    names = _exported_names(binary)
    missing = OPERATIONS - names
    assert not missing, '%s does not export %s' % (binary.name, sorted(missing))
    if binary.suffix == '.so':
        # Nothing of the C++ inside leaks into the library's interface.
        assert not [n for n in names if n.startswith('_Z')], sorted(names)


@pytest.mark.parametrize('binary', [b for b in _binaries() if b.suffix in ('.exe', '.dll')],
                         ids=lambda p: '%s/%s' % (p.parent.name, p.name))
def test_windows_file_is_built_for_its_processor(binary):
    assert binary.exists(), '%s is missing: build it first' % binary
    file_format, magic = _configured_format(binary)
    dump = _pe_dump(binary)
    assert 'file format %s' % file_format in dump.splitlines()[1], dump.splitlines()[:2]
    assert re.search(r'^Magic\s+\S+\s+%s$' % re.escape(magic), dump, re.M), \
        '%s is not %s' % (binary, magic)


@pytest.mark.parametrize('binary', [b for b in _binaries() if b.suffix in ('.exe', '.dll')],
                         ids=lambda p: '%s/%s' % (p.parent.name, p.name))
def test_windows_file_binds_only_what_every_run_needs(binary):
    assert binary.exists(), '%s is missing: build it first' % binary
    bound = set(re.findall(r'^\s*DLL Name: (\S+)$', _pe_dump(binary), re.M))
    assert bound and bound <= START_UP_LIBRARIES, sorted(bound - START_UP_LIBRARIES)
