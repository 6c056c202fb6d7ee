"""The release packages that scripts/package.sh writes into dist/: their
names carry the version of entry/version.h, they hold exactly the files an
operator needs, each built for its platform, and the Windows program taken
out of a package plays the demo month under Wine.

  QUARVEL_DIST          folder of the packages (default dist/)
  QUARVEL_RELEASE_DEMO  the Windows packages whose quarvel.exe plays the demo
                        (comma-separated, default win64,win32)
"""

import io
import os
import re
import stat
import subprocess
import sys
import tarfile
import zipfile
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / 'tests' / 'tools'))
from pe_machine import pe_machine  # noqa: E402

DIST = Path(os.environ.get('QUARVEL_DIST') or REPO / 'dist')
WINDOWS_FILES = {'quarvel.exe', 'quarvelftp.dll', 'libquarvelftp.dll.a', 'ftp_api.h',
                 'quarvel.conf.sample', 'INSTALL-WINDOWS.md', 'LICENSE',
                 'sitebot/quarvel.tcl', 'sitebot/SITEBOT.md'}
LINUX_FILES = {'quarvel', 'libquarvelftp.so', 'ftp_api.h', 'quarvel.conf.sample',
               'README.md', 'LICENSE', 'sitebot/quarvel.tcl', 'sitebot/SITEBOT.md'}
# package platform: (files, processor of the programs, build folder)
PACKAGES = {'win64': (WINDOWS_FILES, 'x64', 'build-win'),
            'win32': (WINDOWS_FILES, 'x86', 'build-win32'),
            'linux-x86_64': (LINUX_FILES, None, 'build')}
# Files copied unchanged from the sources.
FROM_SOURCES = {'quarvel.conf.sample': 'quarvel.conf.sample', 'ftp_api.h': 'ftp/ftp_api.h',
                'LICENSE': 'LICENSE', 'INSTALL-WINDOWS.md': 'docs/INSTALL-WINDOWS.md',
                'README.md': 'README.md', 'sitebot/quarvel.tcl': 'sitebot/quarvel.tcl',
                'sitebot/SITEBOT.md': 'docs/SITEBOT.md'}


def version():
    text = (REPO / 'entry' / 'version.h').read_text()
    found = re.search(r'kVersion\[\] = "(\d+\.\d+\.\d+)";', text)
    assert found, 'entry/version.h holds no version'
    return found.group(1)


def package_path(platform):
    suffix = '.tar.gz' if platform.startswith('linux') else '.zip'
    path = DIST / ('quarvel-%s-%s%s' % (version(), platform, suffix))
    assert path.is_file(), '%s is missing: run scripts/package.sh' % path
    return path


def members(path):
    """{name inside the package: (bytes, unix mode or None)}."""
    if path.suffix == '.zip':
        with zipfile.ZipFile(path) as z:
            return {i.filename: (z.read(i), i.external_attr >> 16 or None)
                    for i in z.infolist() if not i.is_dir()}
    with tarfile.open(path) as t:
        return {m.name: (t.extractfile(m).read(), m.mode) for m in t.getmembers() if m.isfile()}


@pytest.mark.parametrize('platform', sorted(PACKAGES))
def test_package_holds_exactly_the_release_files(platform):
    files, processor, _ = PACKAGES[platform]
    path = package_path(platform)
    folder = 'quarvel-%s-%s/' % (version(), platform)
    content = members(path)
    assert all(n.startswith(folder) for n in content), sorted(content)
    content = {n[len(folder):]: v for n, v in content.items()}
    assert set(content) == files
    for name, source in FROM_SOURCES.items():
        if name in content:
            assert content[name][0] == (REPO / source).read_bytes(), name
    if processor:
        for name in ('quarvel.exe', 'quarvelftp.dll'):
            assert pe_machine(io.BytesIO(content[name][0])) == processor, name
    else:
        for name in ('quarvel', 'libquarvelftp.so'):
            data, mode = content[name]
            assert data[:5] == b'\x7fELF\x02', name
        assert content['quarvel'][1] & stat.S_IXUSR


def _demo_platforms():
    value = os.environ.get('QUARVEL_RELEASE_DEMO', 'win64,win32')
    return [p.strip() for p in value.split(',') if p.strip()]


@pytest.mark.parametrize('platform', _demo_platforms())
def test_program_from_the_package_plays_the_demo_month(platform, tmp_path):
    assert platform in ('win64', 'win32'), 'QUARVEL_RELEASE_DEMO: unknown package %r' % platform
    with zipfile.ZipFile(package_path(platform)) as z:
        z.extractall(tmp_path)
    program = tmp_path / ('quarvel-%s-%s' % (version(), platform)) / 'quarvel.exe'
    # The build's own launcher stands in for ioFTPD's way of starting it.
    rawrun = REPO / PACKAGES[platform][2] / 'rawrun.exe'
    env = dict(os.environ, QUARVEL_RAWRUN=str(rawrun))
    done = subprocess.run([str(REPO / 'demo' / 'run_demo.sh'), '--program', str(program)],
                          env=env, capture_output=True, timeout=1500, stdin=subprocess.DEVNULL)
    assert done.returncode == 0, done.stdout.decode(errors='replace')[-3000:] + \
        done.stderr.decode(errors='replace')[-2000:]
