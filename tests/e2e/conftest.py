"""Fixtures of the end-to-end tests (see README.md beside this file).

The programs under test come from --quarvel-program (repeatable), else from
QUARVEL_PROGRAM (one path, or several separated by ':'), else from
QUARVEL_TARGETS ('native', 'windows' or both, comma-separated: build/quarvel
and build-win/quarvel.exe of this checkout). Every test that uses `target`
(directly or through `quarvel`) runs once per program. With no program named,
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

# Commands whose handlers are still stubs in this checkout. A test marked
# @pytest.mark.command('NAME', ...) with any of these is expected to fail,
# strictly: once the handler works the test passes and so fails the run,
# which says that the name is to be taken out of this set. The variable
# QUARVEL_PENDING_COMMANDS (names separated by commas, possibly none)
# replaces the set for one run.
PENDING_COMMANDS = set()

DEFAULT_PROGRAMS = {'native': REPO / 'build' / 'quarvel',
                    'windows': REPO / 'build-win' / 'quarvel.exe'}


def pytest_addoption(parser):
    parser.addoption('--quarvel-program', action='append', default=[],
                     help='program under test (build/quarvel or build-win/quarvel.exe); '
                          'may be given twice')


def pytest_configure(config):
    config.addinivalue_line('markers', 'command(*names): the test needs the handlers '
                            'of these commands (see PENDING_COMMANDS)')


def _pending_commands():
    names = os.environ.get('QUARVEL_PENDING_COMMANDS')
    if names is None:
        return PENDING_COMMANDS
    return {n.strip() for n in names.split(',') if n.strip()}


def pytest_collection_modifyitems(config, items):
    pending = _pending_commands()
    for item in items:
        for mark in item.iter_markers('command'):
            waiting = [n for n in mark.args if n in pending]
            if waiting:
                item.add_marker(pytest.mark.xfail(
                    strict=True, reason='handler not built yet: %s' % ', '.join(waiting)))


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


def _program_id(program, programs):
    name = 'windows' if program.lower().endswith('.exe') else 'native'
    same = [p for p in programs if p.lower().endswith('.exe') == program.lower().endswith('.exe')]
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
