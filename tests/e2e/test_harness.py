"""Checks of the harness itself: what a started program really receives
(raw command line, variables, faked date) on each target."""

import os
import shutil
import subprocess
import time

import pytest

from quarvel_harness import TOOLS, lines, windows_path

COMMAND_LINES = ['UD "C:/x//y.rar" 00000000 "/y.rar"', '', 'NUKE  bob 1536', 'trailing  ',
                 ' leading', 'IRC info "quoted  text"']


@pytest.fixture(scope='session')
def probe(target, tmp_path_factory):
    """The Windows probe tool, built once per session."""
    if not target.windows:
        return None
    compiler = shutil.which('x86_64-w64-mingw32-gcc')
    if compiler is None:
        pytest.fail('x86_64-w64-mingw32-gcc is missing (apt-get install '
                    'g++-mingw-w64-x86-64-posix)', pytrace=False)
    exe = tmp_path_factory.mktemp('probe') / 'probe.exe'
    subprocess.run([compiler, '-static', '-O1', '-o', str(exe), str(TOOLS / 'probe.c')],
                   check=True, timeout=120)
    return exe


def _probe(quarvel, probe, command_line='', env=None, date=None):
    if quarvel.target.windows:
        return quarvel.run(command_line, env=env, date=date, program=probe)
    # Natively the program's command line is its arguments joined by blanks,
    # which the harness passes as one argument: echo shows it unchanged.
    return quarvel.run(command_line, env=env, date=date, program='/bin/echo')


def test_raw_command_line_arrives_unchanged(quarvel, probe):
    for command_line in COMMAND_LINES:
        out = _probe(quarvel, probe, command_line).expect(stdout=None).stdout
        if quarvel.target.windows:
            raw = '"%s"' % windows_path(probe) + (' ' + command_line if command_line else '')
            assert out.split(b'\r\n')[0] == b'line=' + raw.encode()
        else:
            assert out == command_line.encode() + b'\n'


def test_only_the_callers_variables_are_passed(quarvel, probe):
    env = {'user': 'bob', 'group': 'Couriers', 'path': quarvel.path(quarvel.root),
           'pwd': '/incoming/x'}
    if quarvel.target.windows:
        result = _probe(quarvel, probe, env=env)
        assert result.lines[2:] == [b'user=bob', b'group=Couriers',
                                    b'path=' + quarvel.path(quarvel.root).encode(),
                                    b'pwd=/incoming/x']
        result = _probe(quarvel, probe)
        assert result.lines[2:] == [b'user unset', b'group unset', b'path unset',
                                    b'pwd unset']
    else:
        result = quarvel.run('', env=env, program='/usr/bin/env').expect(stdout=None)
        names = sorted(line.split(b'=')[0] for line in result.stdout.splitlines())
        assert names == [b'TMPDIR', b'TZ', b'group', b'path', b'pwd', b'user']


@pytest.mark.parametrize('date, shown', [('2026-12-15', '12-15-2026'),
                                         ('2027-03-01 00:00:01', '03-01-2027'),
                                         ('2028-02-29 23:59:00', '02-29-2028')])
def test_faked_date(quarvel, probe, date, shown):
    if quarvel.target.windows:
        assert _probe(quarvel, probe, date=date).lines[1] == b'date=' + shown.encode()
    else:
        quarvel.run('+%m-%d-%Y', date=date, program='/bin/date').expect(
            stdout=shown.encode() + b'\n')


def test_hang_is_a_failure(quarvel):
    # A run kept waiting (here: for the instance lock) past its time limit
    # fails the test, and none of its processes is left behind.
    with quarvel.hold_lock():
        running = quarvel.start('')
        with pytest.raises(AssertionError, match='a hang'):
            running.wait(timeout=3 if quarvel.target.windows else 0.5)
    assert running.finished
    assert running.tree() == {}


def test_output_is_compared_as_exact_bytes():
    from quarvel_harness import assert_bytes
    with pytest.raises(AssertionError) as failure:
        assert_bytes(b'a\r\nb\n', lines('a', 'b'), 'stdout')
    assert "first difference at byte 4" in str(failure.value)
    assert "b'b\\n'" in str(failure.value) and "b'b\\r\\n'" in str(failure.value)


def _faketime_names(pid):
    """The shared-memory names libfaketime gives a process's shared state."""
    names = ['/dev/shm/faketime_shm_%d' % pid, '/dev/shm/sem.faketime_sem_%d' % pid]
    return [n for n in names if os.path.exists(n)]


def test_dated_runs_leave_no_shared_memory_behind(quarvel):
    # A pair left behind makes a later run whose process id matches die in
    # libfaketime before the program starts. Wine runs end by exec'ing, and
    # killed runs end without clean-up: both must leave nothing.
    ended = quarvel.start('', date='2026-12-15')
    ended.wait().expect(stdout=lines(*['53 - LOADCFG'] * 10))
    with quarvel.hold_lock():
        killed = quarvel.start('', date='2026-12-15')
        if quarvel.target.windows:
            killed.wait_for_program(quarvel.program.name)
        time.sleep(0.5)
        killed.kill()
    assert _faketime_names(ended.pid) == []
    assert _faketime_names(killed.pid) == []


@pytest.mark.parametrize('stderr, never_ran', [
    (b'libfaketime: In ft_shm_create(), shm_open failed: File exists\n', True),
    (b'rawrun: cannot start the program (error 1359)\n', True),
    (b'boom\n', False),
])
def test_a_program_that_never_ran_is_not_a_program_failure(stderr, never_ran):
    from quarvel_harness import HarnessError, Result
    returncode = 125 if stderr.startswith(b'rawrun') else 1
    result = Result('run 1', returncode, b'', stderr, 0.1)
    expected = HarnessError if never_ran else AssertionError
    with pytest.raises(expected, match='never ran' if never_ran else 'exit code'):
        result.expect(stdout=b'')
