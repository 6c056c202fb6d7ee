"""The audit log answers why: each change to a member's record is a line
naming the user, who changed it and the record before and after; each
punishment names its reason with figures; a run that changed no record
logs nothing; `quarvel log <user>` prints one user's entries."""

import pytest

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

TODAY = '2026-12-15'
PERIOD = b'setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\nsetup_quota_started=1\r\n'
MB = 1024 * 1024
LOG = 'Quarvel.log'


@pytest.fixture
def site(quarvel):
    conf = {'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '14', 'QUOTA_UPLOAD': '1000',
            'QUOTA_TYPE': '1', 'QUOTA_DISABLE_FLAG': '6', 'TRIAL_DISABLE_FLAG': '5',
            'Quota_Groups': 'SiteOps'}
    conf.update(quarvel.ioftpd())
    quarvel.write_conf(conf)
    return quarvel


def log_entries(quarvel, where='data'):
    """The log's lines without their time stamp, each split into fields."""
    folder = quarvel.data if where == 'data' else quarvel.prog
    path = folder / LOG
    text = path.read_bytes().decode('latin-1') if path.exists() else ''
    assert text == '' or text.endswith('\r\n')
    return [line.split(' | ')[1:] for line in text.split('\r\n') if line]


def change(command, user, outcome):
    return [command, user, '-', '-', outcome]


def sop(store, what):
    return '%s record by sop: %s' % (store, what)


def delete_env(quarvel, folder):
    return {'user': 'brisk', 'group': 'Couriers', 'path': quarvel.path(folder)}


def upload_line(quarvel, folder, name):
    path = quarvel.path(folder) + ('\\' if quarvel.target.windows else '/') + name
    return 'UD "%s" 1 0' % path


# One site, one command after another: each row is a command and the lines
# it adds to the log.
def test_each_change_names_the_user_the_operator_and_the_amounts(site):
    site.write_store(TRIAL_STORE, b'\r\nwren=10::3::Couriers\r\n')
    site.write_store(QUOTA_STORE, PERIOD + b'brisk=990::0::Couriers\r\n')
    incoming = site.data / 'site' / 'incoming'
    site.write_file('site/incoming/a.rar', b'x' * (12 * MB))
    steps = [
        ('ST add brisk', {'user': 'sop'}, [
            change('ST', 'brisk', sop('quota', '990 MB uploaded, counting, group Couriers -> '
                                               '990 MB uploaded, on trial, group Couriers')),
            change('ST', 'brisk', sop('trial', 'none -> 0 MB uploaded, 14 days left, '
                                               'group Couriers')),
            change('ST', '-', 'stores changed: Quarvel.dat, Velkrin.dat')]),
        ('ST give wren 5.5', {'user': 'sop'}, [
            change('ST', 'wren', sop('trial', '10 MB uploaded, 3 days left, group Couriers -> '
                                              '15.5 MB uploaded, 3 days left, group Couriers')),
            change('ST', '-', 'stores changed: Quarvel.dat')]),
        # Without the server's user (a run from a prompt) the command word
        # stands for the operator.
        ('SQ give brisk 3', {}, [
            change('SQ', 'brisk', 'quota record by SQ: 990 MB uploaded, on trial, group Couriers'
                                  ' -> 993 MB uploaded, on trial, group Couriers'),
            change('SQ', '-', 'stores changed: Velkrin.dat')]),
        (upload_line(site, incoming, 'a.rar'), {'user': 'brisk', 'group': 'Couriers'}, [
            change('UD', 'brisk', 'trial record by UD: 0 MB uploaded, 14 days left, group '
                                  'Couriers -> 12 MB uploaded, 14 days left, group Couriers'),
            change('UD', 'brisk', 'quota record by UD: 993 MB uploaded, on trial, group Couriers'
                                  ' -> 1005 MB uploaded, on trial, group Couriers'),
            change('UD', '-', 'stores changed: Quarvel.dat, Velkrin.dat, Credits')]),
        # The size noted before a deletion is no member's record.
        ('PREDL DELE a.rar', delete_env(site, incoming), [
            change('PREDL', '-', 'stores changed: Quarvel.dat, Velkrin.dat')]),
        ('POSDL DELE a.rar', delete_env(site, incoming), [
            change('POSDL', 'brisk', 'trial record by POSDL: 12 MB uploaded, 14 days left, '
                                     'group Couriers -> 0 MB uploaded, 14 days left, group '
                                     'Couriers'),
            change('POSDL', 'brisk', 'quota record by POSDL: 1005 MB uploaded, on trial, group '
                                     'Couriers -> 993 MB uploaded, on trial, group Couriers'),
            change('POSDL', '-', 'stores changed: Quarvel.dat, Velkrin.dat, Credits')]),
        ('ST del brisk', {'user': 'Sop'}, [
            change('ST', 'brisk', 'trial record by Sop: 0 MB uploaded, 14 days left, group '
                                  'Couriers -> none'),
            change('ST', 'brisk', 'quota record by Sop: 993 MB uploaded, on trial, group '
                                  'Couriers -> 993 MB uploaded, counting, group Couriers'),
            change('ST', '-', 'stores changed: Quarvel.dat, Velkrin.dat')]),
        ('SQ del brisk', {'user': 'sop'}, [
            change('SQ', 'brisk', sop('quota', '993 MB uploaded, counting, group Couriers -> '
                                               'none')),
            change('SQ', '-', 'stores changed: Velkrin.dat')]),
        # A SITE command that changes nothing logs nothing.
        ('SQ del brisk', {'user': 'sop'}, []),
    ]
    for command_line, env, expected in steps:
        before = len(log_entries(site))
        result = site.run(command_line, env=env, date=TODAY)
        assert result.stderr == b'', command_line
        if command_line.startswith('PREDL'):
            (incoming / 'a.rar').unlink()  # the server deletes it between the two
        assert log_entries(site)[before:] == expected, command_line


def test_nuke_and_unnuke_are_logged_beside_the_program(quarvel):
    quarvel.write_conf(dict(quarvel.ioftpd(), TRIAL_UPLOAD='500'), where='prog')
    quarvel.write_store(TRIAL_STORE, b'\r\nbob=10::3::Couriers\r\n', where='prog')
    quarvel.run('NUKE bob 1536').expect(b'')
    quarvel.run('UNNUKE bob 1536').expect(b'')
    assert log_entries(quarvel, 'prog') == [
        change('NUKE', 'bob', 'trial record by NUKE: 10 MB uploaded, 3 days left, group '
                              'Couriers -> 8.5 MB uploaded, 3 days left, group Couriers'),
        change('NUKE', '-', 'stores changed: Quarvel.dat'),
        change('UNNUKE', 'bob', 'trial record by UNNUKE: 8.5 MB uploaded, 3 days left, group '
                                'Couriers -> 10 MB uploaded, 3 days left, group Couriers'),
        change('UNNUKE', '-', 'stores changed: Quarvel.dat')]


def test_a_checkup_that_changes_no_record_logs_nothing(site):
    # Marlow is exempt and stays so: the checkup writes his record again at
    # the end of the store, which moves lines and changes nothing.
    site.write_store(QUOTA_STORE, PERIOD + b'Marlow=0::3::SiteOps\r\nwren=3::0::Couriers\r\n')
    site.write_store(TRIAL_STORE, b'\r\nbrisk=10::5::Couriers\r\n')
    for hour in ['10:00:00', '11:00:00']:
        site.run('checkup', date=TODAY + ' ' + hour).expect(b'')
    assert site.read_store(QUOTA_STORE) == PERIOD + b'wren=3::0::Couriers\r\nMarlow=0::3::SiteOps\r\n'
    assert log_entries(site) == []


def test_checkup_passes_and_removals_are_logged(site):
    site.write_store(TRIAL_STORE, b'\r\nbrisk=600::5::Couriers\r\ngone=1::5::X\r\n')
    site.write_store(QUOTA_STORE, PERIOD + b'wren=3::3::Couriers\r\n')
    site.run('checkup', date=TODAY)
    entries = log_entries(site)
    assert change('checkup', 'brisk', 'trial record by checkup: 600 MB uploaded, 5 days left, '
                                      'group Couriers -> none') in entries
    assert change('checkup', 'gone', 'trial record by checkup: 1 MB uploaded, 5 days left, '
                                     'group X -> none') in entries
    assert change('checkup', 'wren', 'quota record by checkup: 3 MB uploaded, exempt, group '
                                     'Couriers -> 3 MB uploaded, counting, group Couriers') in entries


def test_newday_punishments_give_their_reason_with_figures(quarvel, ftp_server):
    server = ftp_server()
    conf = dict(quarvel.ioftpd(), FTP_HOST='127.0.0.1', FTP_PORT=str(server.port),
                FTP_USER='siteop', FTP_PASS='pa55', TRIAL_UPLOAD='500', TRIAL_DAYS='7',
                TRIAL_PUNISHMENT='1', QUOTA_PUNISHMENT='2', QUOTA_DISABLE_FLAG='6', TRIAL_DISABLE_FLAG='7',
                QUOTA_UPLOAD='1000', QUOTA_TYPE='1', Quota_Groups='SiteOps')
    quarvel.write_conf(conf)
    quarvel.write_store(TRIAL_STORE, b'\r\nwren=2::1::Couriers\r\nbob=40::6::Couriers\r\n')
    quarvel.write_store(QUOTA_STORE, b'setup_quota_starts=11-01-2026\r\n'
                        b'setup_quota_ends=12-01-2026\r\nsetup_quota_started=1\r\n'
                        b'brisk=3::0::Couriers\r\n')
    quarvel.run('newday', date='2026-12-01')
    entries = log_entries(quarvel)
    trial = 'the trial ended with 2 of 500 MB uploaded in 7 days'
    quota = '3 of 1000 MB uploaded in the period 11-01-2026 to 11-30-2026'
    for entry in [
            ['newday', 'wren', 'SITE DELUSER wren', '200 Command okay', 'done; reason: ' + trial],
            ['newday', 'brisk', 'SITE kick brisk', '200 Command okay', 'done; reason: ' + quota],
            ['newday', 'brisk', 'SITE CHANGE brisk FLAGS +6', '200 Command okay',
             'done; reason: ' + quota],
            change('newday', 'bob', 'trial record by newday: 40 MB uploaded, 6 days left, group '
                                    'Couriers -> 40 MB uploaded, 5 days left, group Couriers'),
            change('newday', 'wren', 'trial record by newday: 2 MB uploaded, 1 day left, group '
                                     'Couriers -> 2 MB uploaded, 0 days left, group Couriers'),
            change('newday', 'wren', 'trial record by newday: 2 MB uploaded, 0 days left, group '
                                     'Couriers -> none')]:
        assert entry in entries
    # The period end and the next enrolment: one line for each member whose
    # record changed (brisk's stand-in server did not disable him).
    assert change('newday', 'brisk', 'quota record by newday: 3 MB uploaded, counting, group '
                                     'Couriers -> 0 MB uploaded, counting, group Couriers') in entries
    assert change('newday', 'tamsin', 'quota record by newday: none -> 0 MB uploaded, counting, '
                                      'group Couriers') in entries


def odd_account(site, name):
    server = site.root / 'ioftpd-site'
    with open(server / 'etc' / 'UserIdTable', 'ab') as table:
        table.write(name + b':9:STANDARD\r\n')
    (server / 'users' / '9').write_bytes(b'groups 3\r\nflags 3\r\n')


def test_log_prints_one_users_entries_oldest_first(site):
    site.write_file('Quarvel.log.1', b'2026-11-02 00:00:00 UTC | newday | WREN | - | - | older\r\n'
                    b'2026-11-02 00:00:00 UTC | newday | wrenfield | - | - | not wren\r\n')
    site.write_store(TRIAL_STORE, b'\r\nwren=10::3::Couriers\r\n')
    site.run('ST give wren 5', env={'user': 'sop'}, date=TODAY)
    result = site.run('log Wren')
    assert result.stderr == b''
    assert result.stdout == lines(
        '2026-11-02 00:00:00 UTC | newday | WREN | - | - | older',
        '2026-12-15 12:00:00 UTC | ST | wren | - | - | trial record by sop: 10 MB uploaded, 3 '
        'days left, group Couriers -> 15 MB uploaded, 3 days left, group Couriers')
    site.run('log nobody').expect(lines('log: nothing about nobody in Quarvel.log'))
    # Reading the log stores nothing and takes no lock.
    assert sorted(site.files()) == ['Quarvel.dat', 'Quarvel.log', 'Quarvel.log.1', 'quarvel.conf']


@pytest.mark.parametrize('command_line', ['log', 'LOG a b'])
def test_log_without_one_name_says_how(quarvel, command_line):
    result = quarvel.run(command_line)
    assert result.stdout == b''
    assert result.stderr == lines('log: give one user name, for example: quarvel log bob')


def test_log_that_cannot_be_read_is_an_error(quarvel):
    (quarvel.data / LOG).mkdir()
    result = quarvel.run('log bob')
    assert result.stdout == b''
    assert result.stderr.startswith(b'log: the audit log in ')
    assert b'could not be read (error ' in result.stderr


def test_odd_names_cannot_forge_a_field(site):
    odd_account(site, b'ev|il')
    site.run('ST add ev|il', env={'user': 'a | b'}, date=TODAY)
    entries = log_entries(site)
    assert entries[0] == change('ST', 'ev%7Cil', 'trial record by a %7C b: none -> 0 MB '
                                                 'uploaded, 14 days left, group Couriers')
    assert site.run('log EV|IL').stdout.count(b'\r\n') == 1
    site.run('log ev').expect(lines('log: nothing about ev in Quarvel.log'))
