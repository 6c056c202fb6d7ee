"""Fixtures of the end-to-end tests (see README.md beside this file).

The programs under test come from --quarvel-program (repeatable), else from
QUARVEL_PROGRAM (one path, or several separated by ':'), else from
QUARVEL_TARGETS ('native', 'windows' or both, comma-separated: build/quarvel
and build-win/quarvel.exe of this checkout; 'windows32' is the x86 build,
build-win32/quarvel.exe). Every test that uses `target`
(directly or through `quarvel`) runs once per program; test ids end in
[native], [windows] (x64) or [windows-x86]. With no program named,
or a program that is missing, the tests fail; they are never skipped.
"""

import os
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent))
from quarvel_harness import REPO, TOOLS, HarnessError, Sandbox, Target  # noqa: E402

sys.path.insert(0, str(TOOLS))
from ftp_standin import FtpStandin, UnreachablePort  # noqa: E402
from pe_machine import pe_machine  # noqa: E402

DEFAULT_PROGRAMS = {'native': REPO / 'build' / 'quarvel',
                    'windows': REPO / 'build-win' / 'quarvel.exe',
                    'windows32': REPO / 'build-win32' / 'quarvel.exe'}


def pytest_addoption(parser):
    parser.addoption('--quarvel-program', action='append', default=[],
                     help='program under test (build/quarvel or build-win/quarvel.exe); '
                          'may be given twice')


def _programs(config):
    programs = list(config.getoption('--quarvel-program'))
    if not programs and os.environ.get('QUARVEL_PROGRAM'):
        programs = [p for p in os.environ['QUARVEL_PROGRAM'].split(':') if p]
    if not programs and os.environ.get('QUARVEL_TARGETS'):
        for name in os.environ['QUARVEL_TARGETS'].replace(',', ' ').split():
            if name not in DEFAULT_PROGRAMS:
                raise pytest.UsageError('QUARVEL_TARGETS: unknown target %r' % name)
            programs.append(str(DEFAULT_PROGRAMS[name]))
    return programs


def _program_kind(program):
    if not program.lower().endswith('.exe'):
        return 'native'
    return 'windows-x86' if pe_machine(program) == 'x86' else 'windows'


def _program_id(program, programs):
    name = _program_kind(program)
    same = [p for p in programs if _program_kind(p) == name]
    return name if len(same) == 1 else '%s-%d' % (name, same.index(program))


def pytest_generate_tests(metafunc):
    if 'target' in metafunc.fixturenames:
        programs = _programs(metafunc.config)
        ids = [_program_id(p, programs) for p in programs] if programs else ['no-program']
        metafunc.parametrize('target', programs or [None], ids=ids, indirect=True,
                             scope='session')


@pytest.fixture(scope='session')
def target(request, tmp_path_factory):
    """The program under test: .windows, .path(p), .hold_lock(folder), .timeout."""
    if request.param is None:
        pytest.fail('no program to test: set QUARVEL_PROGRAM=build/quarvel (or '
                    'build-win/quarvel.exe), or QUARVEL_TARGETS=native,windows',
                    pytrace=False)
    try:
        return Target(request.param, tmp_path_factory.mktemp('harness'))
    except HarnessError as e:
        pytest.fail(str(e), pytrace=False)


@pytest.fixture
def quarvel(target, tmp_path):
    """This test's sandbox: own data folder (the working folder of its runs)
    and own program folder; .run(command_line, env=..., date=...)."""
    return Sandbox(target, tmp_path)


@pytest.fixture
def ftp_server():
    """Starts FtpStandin servers: ftp_server(script) -> started server; all
    are stopped when the test ends."""
    servers = []

    def start(script=None, **options):
        server = FtpStandin(script, **options).start()
        servers.append(server)
        return server

    yield start
    for server in servers:
        server.stop()


@pytest.fixture
def unreachable_port():
    """A loopback port on which nothing listens (for the whole test)."""
    with UnreachablePort() as port:
        yield port.port
