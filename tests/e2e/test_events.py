"""Transfer and nuke events and the stats command, run as the FTP server
runs them: the exact output and the exact store files after each run."""

import pytest

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

TODAY = '2026-12-15'
CONF = {
    'TRIAL_UPLOAD': '500',
    'TRIAL_DAYS': '14',
    'QUOTA_UPLOAD': '1000',
    'QUOTA_TYPE': '1',
    'QUOTA_DISABLE_FLAG': '6',
    'TRIAL_DISABLE_FLAG': '5',
    'FTP_STATS': '%USER% %UPLOADED%MB %MBLEFT%MB left, %DAYSLEFT% days (%TYPE%)',
}
PERIOD = b'setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\nsetup_quota_started=1\r\n'
MB = 1024 * 1024


def site(quarvel, where='data', **extra):
    conf = dict(CONF)
    conf.update(quarvel.ioftpd())
    conf.update(extra)
    quarvel.write_conf(conf, where=where)


def upload_line(quarvel, folder, name, style):
    """UD with the file's path as the server writes it, with a doubled
    separator before the file name."""
    if not quarvel.target.windows:
        path = str(folder) + '//' + name
    elif style == 'slashes':
        path = 'Z:' + str(folder) + '//' + name
    else:
        path = quarvel.path(folder) + '\\\\' + name
    return 'UD "%s" 1 0' % path


@pytest.mark.parametrize('style', ['slashes', 'backslashes'])
def test_upload_credits_both_stores_and_takes_the_event_group(quarvel, style):
    site(quarvel)
    incoming = quarvel.data / 'site' / 'incoming'
    quarvel.write_file('site/incoming/x.rar', b'x' * (10 * MB))
    quarvel.write_store(TRIAL_STORE, b'\r\nbob=100::5::Couriers\r\nann=1::1::X\r\n')
    quarvel.write_store(QUOTA_STORE, PERIOD + b'bob=20.3::0::Couriers\r\n')
    quarvel.run(upload_line(quarvel, incoming, 'x.rar', style),
                env={'user': 'bob', 'group': 'Friends'}, date=TODAY).expect(b'')
    assert quarvel.read_store(TRIAL_STORE) == b'ann=1::1::X\r\nbob=110::5::Friends\r\n'
    assert quarvel.read_store(QUOTA_STORE) == PERIOD + b'bob=30.3::0::Friends\r\n'


def test_upload_sizes_round_to_the_even_neighbour(quarvel):
    site(quarvel)
    quarvel.write_store(TRIAL_STORE, b'\r\nbob=0::5::Couriers\r\n')
    for name, size, total in [('a.rar', 262144, '0.2'),    # 0.25 MB
                              ('b.rar', 786432, '1'),      # 0.75 MB -> 0.8
                              ('c.rar', 1153434, '2.1')]:  # 1.1000003 MB -> 1.1
        quarvel.write_file(name, b'\0' * size)
        quarvel.run(upload_line(quarvel, quarvel.data, name, 'backslashes'),
                    env={'user': 'bob', 'group': 'Couriers'}).expect(b'')
        assert quarvel.read_store(TRIAL_STORE) == (
            b'\r\nbob=%s::5::Couriers\r\n' % total.encode()), name


def test_upload_of_a_user_in_no_store_changes_nothing(quarvel):
    site(quarvel)
    quarvel.write_file('x.rar', b'x' * MB)
    trial = b'\r\nann=1::1::X\r\n'
    quota = PERIOD + b'ann=1::0::X\r\n'
    quarvel.write_store(TRIAL_STORE, trial)
    quarvel.write_store(QUOTA_STORE, quota)
    quarvel.run(upload_line(quarvel, quarvel.data, 'x.rar', 'slashes'),
                env={'user': 'bob', 'group': 'Couriers'}).expect(b'')
    assert quarvel.read_store(TRIAL_STORE) == trial
    assert quarvel.read_store(QUOTA_STORE) == quota


def test_upload_that_reaches_both_goals_passes_trial_then_quota(quarvel):
    site(quarvel)
    quarvel.write_file('big.rar', b'x' * (60 * MB))
    quarvel.write_store(TRIAL_STORE, b'\r\nbrisk=450::3::Couriers\r\n')
    quarvel.write_store(QUOTA_STORE, PERIOD + b'brisk=980::2::Couriers\r\n')
    quarvel.run(upload_line(quarvel, quarvel.data, 'big.rar', 'slashes'),
                env={'user': 'brisk', 'group': 'Couriers'}, date=TODAY).expect(lines(
                    '!putlog PassedTrial: "brisk"',
                    '!putlog QUOTAPASSED: "brisk"'))
    assert quarvel.read_store(TRIAL_STORE) == b'\r\n'
    assert quarvel.read_store(QUOTA_STORE) == PERIOD + b'brisk=1040::1::Couriers\r\n'


def test_nuke_and_unnuke_work_on_the_stores_beside_the_program(quarvel):
    site(quarvel, where='prog')
    quarvel.write_store(TRIAL_STORE, b'\r\nbob=10::3::Couriers\r\nann=1::1::X\r\n', where='prog')
    quarvel.write_store(QUOTA_STORE, PERIOD + b'bob=1000.5::1::Couriers\r\n', where='prog')
    quarvel.write_store(TRIAL_STORE, b'\r\nbob=77::3::Couriers\r\n')  # not the one used

    quarvel.run('NUKE bob 1536').expect(b'')
    assert quarvel.read_store(TRIAL_STORE, 'prog') == b'ann=1::1::X\r\nbob=8.5::3::Couriers\r\n'
    # No pass check on a nuke: the passed status stays.
    assert quarvel.read_store(QUOTA_STORE, 'prog') == PERIOD + b'bob=999::1::Couriers\r\n'

    quarvel.run('UNNUKE bob 1536').expect(b'')
    assert quarvel.read_store(TRIAL_STORE, 'prog') == b'ann=1::1::X\r\nbob=10::3::Couriers\r\n'
    assert quarvel.read_store(QUOTA_STORE, 'prog') == PERIOD + b'bob=1000.5::1::Couriers\r\n'

    quarvel.run('nuke BOB 20480').expect(b'')
    assert quarvel.read_store(TRIAL_STORE, 'prog') == b'ann=1::1::X\r\nBOB=-10::3::Couriers\r\n'
    quarvel.run('NUKE  bob 1536').expect(b'')  # word 2 empty: nothing
    assert quarvel.read_store(TRIAL_STORE, 'prog') == b'ann=1::1::X\r\nBOB=-10::3::Couriers\r\n'
    assert quarvel.read_store(TRIAL_STORE) == b'\r\nbob=77::3::Couriers\r\n'


def delete_env(quarvel, folder):
    return {'user': 'bob', 'group': 'Friends', 'path': quarvel.path(folder)}


def test_deleted_file_is_taken_off_and_the_quota_pass_revoked(quarvel):
    site(quarvel)
    folder = quarvel.data / 'site' / 'incoming'
    zipped = quarvel.write_file('site/incoming/a.zip', b'x' * (3 * MB + MB // 2))
    quarvel.write_store(TRIAL_STORE, b'\r\nbob=110.3::5::Couriers\r\n')
    quarvel.write_store(QUOTA_STORE, PERIOD + b'bob=1002::1::Couriers\r\n')

    quarvel.run('PREDL DELE a.zip', env=delete_env(quarvel, folder)).expect(b'')
    assert quarvel.read_store(TRIAL_STORE) == (
        b'bob=110.3::5::Couriers\r\nbob_PREDEL_SIZE_a.zip=3.5\r\n')
    assert quarvel.read_store(QUOTA_STORE) == (
        PERIOD + b'bob=1002::1::Couriers\r\nbob_PREDEL_SIZE_a.zip=3.5\r\n')

    zipped.unlink()
    quarvel.run('POSDL DELE a.zip', env=delete_env(quarvel, folder)).expect(b'')
    assert quarvel.read_store(TRIAL_STORE) == b'bob=106.8::5::Friends\r\n'
    assert quarvel.read_store(QUOTA_STORE) == PERIOD + b'bob=998.5::0::Friends\r\n'


def test_failed_deletion_only_removes_the_memo(quarvel):
    site(quarvel)
    folder = quarvel.data / 'site' / 'incoming'
    quarvel.write_file('site/incoming/a.zip', b'x' * (3 * MB + MB // 2))
    quarvel.write_store(TRIAL_STORE, b'\r\nbob=110::5::Couriers\r\n')
    quarvel.write_store(QUOTA_STORE, PERIOD + b'bob=1002::1::Couriers\r\n')
    quarvel.run('PREDL DELE a.zip', env=delete_env(quarvel, folder)).expect(b'')
    quarvel.run('POSDL DELE a.zip', env=delete_env(quarvel, folder)).expect(b'')
    assert quarvel.read_store(TRIAL_STORE) == b'bob=110::5::Couriers\r\n'
    assert quarvel.read_store(QUOTA_STORE) == PERIOD + b'bob=1002::1::Couriers\r\n'


def test_stats_for_trial_and_quota_users(quarvel):
    site(quarvel)
    quarvel.write_store(TRIAL_STORE, b'\r\nbob=120.5::4::x\r\n')
    quarvel.write_store(QUOTA_STORE, PERIOD + b'bob=250.5::0::Couriers\r\n'
                        b'ann=1200::0::Couriers\r\ncid=5::1::Couriers\r\n')
    quarvel.run('stats', env={'user': 'bob', 'group': 'Couriers'}, date=TODAY).expect(lines(
        '226-bob 120.5MB 379.5MB left, 4 days (TRiAL)',
        '226-bob 250.5MB 749.5MB left, 17 days (QUOTA)'))
    quarvel.run('STATS', env={'user': 'ann', 'group': 'Couriers'}, date=TODAY).expect(
        lines('226-ann 1200MB 0MB left, 17 days (QUOTA)'))
    quarvel.run('stats', env={'user': 'cid', 'group': 'Couriers'}, date=TODAY).expect(b'')
    quarvel.run('stats', env={'user': 'zed', 'group': 'Couriers'}, date=TODAY).expect(b'')
