"""Telling a run that never started from one that failed, and starting it
again, as the end-to-end harness and the demo do."""

import pytest

from wine_faketime import never_ran, run_until_it_starts

FAKETIME_FAILED = b'libfaketime: In ft_shm_create(), shm_open failed: File exists\n'
WINE_FAILED = b'rawrun: cannot start the program (error 1359)\n'


@pytest.mark.parametrize('returncode, stdout, stderr, started', [
    (125, b'', WINE_FAILED, False),
    (1, b'', FAKETIME_FAILED, False),
    # Output and errors in one pipe (the demo): the errors hold it all.
    (134, b'', b'some noise\n' + FAKETIME_FAILED, False),
    # The program's own failures and results.
    (125, b'', b'boom\n', True),
    (1, b'', b'boom\n', True),
    (0, b'', FAKETIME_FAILED, True),
    (1, b'226- partial\r\n', FAKETIME_FAILED, True),
    # Stopped after its time limit: it did run.
    (None, b'', FAKETIME_FAILED, True),
])
def test_never_ran(returncode, stdout, stderr, started):
    assert (never_ran(returncode, stdout, stderr) is None) == started


def test_a_run_is_started_again_until_it_starts_or_the_attempts_run_out():
    for outcomes, runs, last in [(['no', 'no', 'ok'], 3, 'ok'), (['ok'], 1, 'ok'),
                                 (['no'] * 5, 3, 'no')]:
        pending, reports = list(outcomes), []
        result = run_until_it_starts(lambda: pending.pop(0),
                                     lambda r: 'failed' if r == 'no' else None, pause=0,
                                     report=lambda r, why: reports.append(why))
        assert (result, len(outcomes) - len(pending)) == (last, runs)
        assert reports == ['failed'] * (runs if last == 'no' else runs - 1)
