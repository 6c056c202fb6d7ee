"""A run killed at any moment leaves each store as it was before the run or
as the run finished it, never a part of one: a run changes its stores in
memory and writes each one once, atomically, at its commit points. From
what a killed run leaves, the next run ends exactly where an undisturbed
run ends.

Three runs on a large generated site are killed at moments spread over
their work: newday counting down 10,000 trial records, newday ending a
quota period (punishing every member on the FTP stand-in, then enrolling
the next period) and qnow enrolling every account."""

import time

import pytest

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

KILLS = 10


def _site(quarvel, accounts):
    """A server database with `accounts` users u00001... in group Couriers,
    and the configuration entries that point at it."""
    root = quarvel.root / 'big-site'
    table = ''.join('u%05d:%d:STANDARD\r\n' % (i, i) for i in range(1, accounts + 1))
    quarvel.write_file('etc/UserIdTable', table, where=root)
    quarvel.write_file('etc/passwd', table, where=root)
    quarvel.write_file('etc/GroupIdTable', 'Couriers:1:STANDARD\r\n', where=root)
    for i in range(1, accounts + 1):
        quarvel.write_file('users/%d' % i, 'groups 1\r\nflags 3\r\n', where=root)
    return {'ioFTPD': quarvel.path(root), 'UserTABLE': quarvel.path(root / 'etc' / 'UserIdTable'),
            'UserFOLDER': quarvel.path(root / 'users'),
            'GroupTABLE': quarvel.path(root / 'etc' / 'GroupIdTable')}


def _stores(quarvel):
    return quarvel.read_store(TRIAL_STORE), quarvel.read_store(QUOTA_STORE)


def _kill_and_finish(quarvel, command_line, date, before, setup):
    """Runs the command undisturbed, then kills it at moments spread over
    that run's length: each time the stores are as before or as after, and
    from 'before' the next run gets to 'after'."""
    setup()
    assert _stores(quarvel) == before
    started = time.monotonic()
    quarvel.run(command_line, date=date).expect(stderr=b'')
    duration = time.monotonic() - started
    after = _stores(quarvel)
    assert after != before

    outcomes = []
    for step in range(1, KILLS + 1):
        setup()
        running = quarvel.start(command_line, date=date)
        time.sleep(duration * step / (KILLS + 1))
        running.kill()
        left = _stores(quarvel)
        assert left in (before, after), 'a store part-way after a kill at step %d: %r' % (
            step, [s[:80] if s else s for s in left])
        outcomes.append('before' if left == before else 'after')
        if left == before:
            quarvel.run(command_line, date=date)
            assert _stores(quarvel) == after, 'the next run after a kill at step %d' % step
    # The kills did land while the run was at work.
    assert 'before' in outcomes, outcomes


def test_a_killed_newday_of_10000_trials(quarvel):
    # Trials are weighed against the user database (a closed account's trial
    # is held): without a readable one newday changes nothing at all.
    quarvel.write_conf(dict(quarvel.ioftpd(), TRIAL_PUNISHMENT='0'))
    # Every tenth record expires today.
    before = lines(*('user%05d=5::%d::Couriers' % (i, 1 if i % 10 == 0 else 10)
                     for i in range(10000))), None
    _kill_and_finish(quarvel, 'newday', '2026-12-10', before,
                     lambda: quarvel.write_store(TRIAL_STORE, before[0]))


ACCOUNTS = 600


def _period(members, status):
    return lines('setup_quota_starts=11-01-2026', 'setup_quota_ends=12-01-2026',
                 'setup_quota_started=1',
                 *('u%05d=5::%s::Couriers' % (i, status) for i in range(1, members + 1)))


def test_a_killed_period_end(quarvel, ftp_server):
    server = ftp_server()
    conf = _site(quarvel, ACCOUNTS)
    conf.update(quarvel.ftp_conf(server))
    # Every account is exempt (their group is), so that the period's end
    # sends nothing.
    conf.update({'QUOTA_PUNISHMENT': '2', 'QUOTA_DISABLE_FLAG': '6', 'TRIAL_DISABLE_FLAG': '7',
                 'Quota_Groups': 'Couriers', 'QUOTA_TYPE': '1'})
    quarvel.write_conf(conf)
    before = None, _period(ACCOUNTS, '0')
    _kill_and_finish(quarvel, 'newday', '2026-12-01', before,
                     lambda: quarvel.write_store(QUOTA_STORE, before[1]))


def test_a_killed_enrolment(quarvel):
    conf = _site(quarvel, ACCOUNTS)
    conf.update({'QUOTA_TYPE': '1', 'QUOTA_DISABLE_FLAG': '6', 'TRIAL_DISABLE_FLAG': '7',
                 'Quota_Groups': 'Couriers'})
    quarvel.write_conf(conf)
    before = None, _period(3, '1')
    _kill_and_finish(quarvel, 'qnow force', '2026-12-17', before,
                     lambda: quarvel.write_store(QUOTA_STORE, before[1]))
