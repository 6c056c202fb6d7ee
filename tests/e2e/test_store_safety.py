"""A run killed at any moment while it rewrites a store leaves the old or the
new store on disk, never a missing, empty or partial one.

newday rewrites every trial record once, each rewrite replacing the whole
file; the runs below are killed at moments spread over that work, and the
file left behind must be exactly one of the states between two rewrites."""

import time

from quarvel_harness import TRIAL_STORE

USERS = 400
CONF = {'TRIAL_PUNISHMENT': '0'}


def _record(i, days):
    return 'user%03d=5::%d::Couriers' % (i, days)


def _state(rewritten):
    """The store after `rewritten` records were counted down: each rewrite
    moves its record to the end of the file."""
    lines = [_record(i, 10) for i in range(rewritten, USERS)]
    lines += [_record(i, 9) for i in range(rewritten)]
    return ('\r\n'.join(lines) + '\r\n').encode('latin-1')


STATES = {_state(k): k for k in range(USERS + 1)}


def test_a_killed_run_leaves_the_old_or_the_new_store(quarvel):
    quarvel.write_conf(CONF)
    quarvel.write_store(TRIAL_STORE, _state(0))
    started = time.monotonic()
    quarvel.run('newday').expect(stdout=b'')
    duration = time.monotonic() - started
    assert quarvel.read_store(TRIAL_STORE) == _state(USERS)

    seen = set()
    for step in range(1, 13):
        quarvel.write_store(TRIAL_STORE, _state(0))
        # newday counts a date once: without the date it last counted, every
        # run counts the day again.
        (quarvel.data / 'Quarvel.day').unlink(missing_ok=True)
        running = quarvel.start('newday')
        time.sleep(duration * step / 13)
        running.kill()
        left = quarvel.read_store(TRIAL_STORE)
        assert left is not None, 'the store is missing after a kill at step %d' % step
        assert left in STATES, 'a partial store after a kill at step %d: %r...' % (
            step, left[:80])
        seen.add(STATES[left])
    # The kills did land in the middle of the work, not only before or after.
    assert len(seen - {0, USERS}) >= 3, 'the kills missed the rewrites: %r' % sorted(seen)
