"""Store lines the program does not understand (free text, a setup key it
does not know) are kept as they are by every run, never taken for a user who
is gone; check names them, and damaged amounts, each with its line."""

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

TRIALS = lines('tamsin=1::3::Couriers', 'setup_format=2', 'a note the operator wrote',
               'wren=abc::3::Couriers')
PERIOD = lines('setup_quota_starts=11-01-2026', 'setup_quota_ends=12-01-2026',
               'setup_quota_started=1', 'setup_format=2', 'brisk=5::0::Couriers',
               'this line is free text', 'tamsin=0::2::Couriers', 'pike=0::9::NoGroup',
               'oleander=0::3::Friends', 'Marlow=0::3::SiteOps')


def _conf(quarvel, port):
    conf = dict(quarvel.ioftpd())
    conf.update({'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(port), 'FTP_USER': 'siteop',
                 'FTP_PASS': 'x', 'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '7',
                 'TRIAL_PUNISHMENT': '0', 'QUOTA_UPLOAD': '1000', 'QUOTA_TYPE': '1',
                 'QUOTA_PUNISHMENT': '0', 'QUOTA_DISABLE_FLAG': '6', 'TRIAL_DISABLE_FLAG': '7',
                 'Quota_Groups': 'SiteOps'})
    quarvel.write_conf(conf)


def test_lines_not_understood_are_kept_and_named(quarvel, unreachable_port):
    _conf(quarvel, unreachable_port)
    quarvel.write_store(TRIAL_STORE, TRIALS)
    quarvel.write_store(QUOTA_STORE, PERIOD)

    check = quarvel.run('check').expect(stdout=None, returncode=1)
    for problem in (
            'PROBLEM Quarvel.dat line 2: "setup_format=2" is not a line Quarvel understands; '
            'it is kept as it is',
            'PROBLEM Quarvel.dat line 3: "a note the operator wrote" is not a line Quarvel '
            'understands; it is kept as it is',
            'PROBLEM Quarvel.dat line 4: wren: the amount "abc" is not a number',
            'PROBLEM Velkrin.dat line 4: "setup_format=2" is not a line Quarvel understands; '
            'it is kept as it is',
            'PROBLEM Velkrin.dat line 6: "this line is free text" is not a line Quarvel '
            'understands; it is kept as it is',
            'PROBLEM Velkrin.dat line 8: pike: the status "9" is none of 0, 1, 2 and 3'):
        assert problem.encode() + b'\r\n' in check.stdout

    quarvel.run('checkup', date='2026-11-11').expect(stdout=b'')
    assert quarvel.read_store(TRIAL_STORE) == TRIALS
    assert quarvel.read_store(QUOTA_STORE) == PERIOD
    # A counted day rewrites the trials; the lines not understood stay.
    quarvel.run('newday', date='2026-11-12').expect(stdout=b'')
    assert quarvel.read_store(TRIAL_STORE) == lines(
        'setup_format=2', 'a note the operator wrote', 'tamsin=1::2::Couriers',
        'wren=abc::2::Couriers', 'setup_trial_counted=11-12-2026')


def test_lines_not_understood_outlive_a_period_turn(quarvel, unreachable_port):
    _conf(quarvel, unreachable_port)
    quarvel.write_store(QUOTA_STORE, PERIOD)
    # QUOTA_PUNISHMENT=0: the members short of the target only leave.
    quarvel.run('newday', date='2026-12-01').expect(
        stdout=lines('Processing brisk', 'Processing pike'))
    after = quarvel.read_store(QUOTA_STORE)
    assert after.startswith(lines('setup_format=2', 'this line is free text'))
    assert b'setup_quota_starts=12-01-2026\r\n' in after
    assert b'brisk=' in after and b'5::0' not in after
    for command in ('qstart force', 'qnow force'):
        quarvel.run(command, date='2026-12-05')
        assert quarvel.read_store(QUOTA_STORE).startswith(
            lines('setup_format=2', 'this line is free text')), command
