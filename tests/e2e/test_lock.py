"""The instance lock: a run waits, without using the processor, for as long as
another run holds the lock, and goes on as soon as the holder lets go or dies."""

import fcntl
import os
import stat
import time

import pytest

from quarvel_harness import LOCK_FILE_NAME, assert_bytes, lines

LOADCFG_53 = lines('53 - LOADCFG')


def _settle(quarvel, running):
    """Waits (bounded) until the run's start-up work is over: under Wine that
    is loading the program, which takes processor time of its own."""
    if quarvel.target.windows:
        running.wait_for_program(quarvel.program.name)
    last = running.cpu_seconds()
    for _ in range(40):
        time.sleep(0.25)
        now = running.cpu_seconds()
        if now - last < 0.01:
            return
        last = now


def _assert_waiting_idle(quarvel, running):
    _settle(quarvel, running)
    before, start = running.cpu_seconds(), time.monotonic()
    time.sleep(1.0)
    used, elapsed = running.cpu_seconds() - before, time.monotonic() - start
    assert not running.finished, 'the run did not wait for the lock'
    assert used < 0.15 * elapsed, 'the waiting run used %.2f s of processor in %.2f s' % (
        used, elapsed)
    assert running.output_so_far() == (b'', b''), 'a waiting run prints nothing'


@pytest.mark.parametrize('let_go', ['release', 'kill'])
def test_waiting_run_sleeps_then_proceeds(quarvel, let_go):
    with quarvel.hold_lock() as holder:
        running = quarvel.start('')
        _assert_waiting_idle(quarvel, running)
        if let_go == 'release':
            holder.release()
        else:
            holder.kill()  # a holder that crashes frees the lock too
        result = running.wait(timeout=30 if quarvel.target.windows else 10)
    result.expect(stdout=LOADCFG_53 * 10)


def test_runs_follow_one_another(quarvel):
    # Two runs queued behind a holder both go on after it.
    with quarvel.hold_lock() as holder:
        first = quarvel.start('')
        second = quarvel.start('no such command')
        _assert_waiting_idle(quarvel, second)
        assert not first.finished
        holder.release()
        for running in (first, second):
            running.wait(timeout=30 if quarvel.target.windows else 10).expect(
                stdout=LOADCFG_53 * 10)


@pytest.mark.parametrize('tmpdir', ['missing', 'other'])
def test_the_callers_environment_does_not_move_the_lock(quarvel, tmpdir):
    # One installation, one lock: a caller whose temp folder is missing, or
    # another than the holder's, still waits.
    folder = quarvel.root / 'other-tmp'
    if tmpdir == 'other':
        folder.mkdir()
    if quarvel.target.windows:
        # (Under Wine, TMPDIR would pick another Wine server, a world apart.)
        env = {'TMP': quarvel.path(folder), 'TEMP': quarvel.path(folder)}
    else:
        env = {'TMPDIR': str(folder)}
    with quarvel.hold_lock() as holder:
        running = quarvel.start('', env=env)
        _assert_waiting_idle(quarvel, running)
        holder.release()
        running.wait(timeout=30 if quarvel.target.windows else 10).expect(
            stdout=LOADCFG_53 * 10)


def test_lock_file_is_open_to_every_account(quarvel):
    # Natively: the file beside the program, readable and writable by all
    # whatever the creator's umask, so that runs under other accounts can
    # take it too. (Windows: a named mutex, and a lock on the same file.)
    lock_file = quarvel.prog / LOCK_FILE_NAME
    quarvel.run('', preexec_fn=lambda: os.umask(0o077)).expect(stdout=LOADCFG_53 * 10)
    if quarvel.target.windows:
        assert lock_file.is_file()
    else:
        assert stat.S_IMODE(lock_file.stat().st_mode) == 0o666


def test_a_lock_on_the_lock_file_holds_runs_of_any_wine_server(quarvel):
    # Windows: beside the mutex, which a run of another Wine server (a caller
    # with another TMPDIR) does not see, the run locks the lock file, as the
    # native build does. A record lock on it from outside Wine holds the run.
    if not quarvel.target.windows:
        pytest.skip('natively the lock is the flock of test_waiting_run_sleeps_then_proceeds')
    lock_file = quarvel.prog / LOCK_FILE_NAME
    with open(lock_file, 'a+b') as held:
        fcntl.lockf(held, fcntl.LOCK_EX)
        running = quarvel.start('')
        _assert_waiting_idle(quarvel, running)
        fcntl.lockf(held, fcntl.LOCK_UN)
        running.wait(timeout=30).expect(stdout=LOADCFG_53 * 10)


def test_a_lock_that_cannot_be_taken_stops_the_run(quarvel):
    # Natively: something that is not a file where the lock file belongs.
    # The run says so in one line and does nothing at all (exit code 0: the
    # server deletes an upload whose event fails).
    if quarvel.target.windows:
        pytest.skip('a mutex that cannot be made is shown by platform/instance_lock_test.cc')
    lock_file = quarvel.prog / LOCK_FILE_NAME
    lock_file.mkdir()
    quarvel.write_conf({'QUOTA_TYPE': '1'})
    result = quarvel.run('qnow').expect(stdout=b'', stderr=None)
    assert_bytes(result.stderr, lines('Quarvel: cannot take the instance lock %s (Is a directory); '
                                      'the run did nothing' % lock_file))
    assert quarvel.files() == ['quarvel.conf']


def test_the_mutex_is_the_machine_wide_one(quarvel):
    # Windows: a holder of the session-local name does not stop a run; the
    # machine-wide name does (test_waiting_run_sleeps_then_proceeds).
    if not quarvel.target.windows:
        pytest.skip('natively the lock is a file (test_lock_file_is_open_to_every_account)')
    with quarvel.hold_lock('QuarvelInstance'):
        quarvel.run('', timeout=60).expect(stdout=LOADCFG_53 * 10)
