"""The instance lock: a run waits, without using the processor, for as long as
another run holds the lock, and goes on as soon as the holder lets go or dies."""

import time

import pytest

from quarvel_harness import lines

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
    with quarvel.target.hold_lock() as holder:
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
    with quarvel.target.hold_lock() as holder:
        first = quarvel.start('')
        second = quarvel.start('no such command')
        _assert_waiting_idle(quarvel, second)
        assert not first.finished
        holder.release()
        for running in (first, second):
            running.wait(timeout=30 if quarvel.target.windows else 10).expect(
                stdout=LOADCFG_53 * 10)
