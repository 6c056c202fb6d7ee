"""The scheduled runs from outside: newday (trial count-down, expiry and
punishment, quota period end and start), qstart, qnow and checkup, with the
sample site, the SITE commands recorded by the scripted FTP stand-in, and
today's date set with faketime."""

import pytest

from ftp_standin import CLOSE
from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

PASSWORD = 'Adm1n-Pa55!word'
LOGIN = ['USER siteop', 'PASS ' + PASSWORD]

EXEMPTIONS = {
    'Quota_Groups': 'SiteOps',
    'QUOTA_DISABLE_FLAG': '6',
    'TRIAL_DISABLE_FLAG': '7',
    'EXEMPT_IN_GROUP': 'Exempt group $BOLD$GROUP$BOLD',
    'EXEMPT_USER_DISABLE': 'Disabled',
    'EXEMPT_USER_EXEMPT': 'Exempt user',
}


def _configure(quarvel, port, **extra):
    conf = dict(quarvel.ioftpd())
    conf.update(EXEMPTIONS)
    conf.update({'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(port), 'FTP_USER': 'siteop',
                 'FTP_PASS': PASSWORD, 'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '7',
                 'TRIAL_PUNISHMENT': '1', 'QUOTA_PUNISHMENT': '1', 'QUOTA_UPLOAD': '1000',
                 'QUOTA_TYPE': '1'})
    conf.update(extra)
    quarvel.write_conf(conf)


def store(*text_lines, empty_first=False):
    """A store file's bytes: its lines, each ended by CR LF."""
    return (b'\r\n' if empty_first else b'') + lines(*text_lines)


def _run(quarvel, command_line, date, stdout):
    result = quarvel.run(command_line, date=date).expect(stdout=stdout)
    assert PASSWORD.encode() not in result.stdout + result.stderr
    return result


def _sent(server):
    """Every line the stand-in received, per connection, CR LF removed."""
    return [server.received_text(i) for i in range(server.connection_count)]


# -- newday: trials --------------------------------------------------------------

TRIALS = store('bob=10::1::G', 'ann=0::3::G', 'bob_PREDEL_SIZE_x.zip=4.5', empty_first=True)
TRIALS_AFTER = store('ann=0::2::G', 'bob_PREDEL_SIZE_x.zip=4.5::-1::',
                     'setup_trial_counted=12-10-2026')


@pytest.mark.parametrize('settings, sent, stdout', [
    ({'TRIAL_PUNISHMENT': '1'}, ['SITE DELUSER bob'], lines('!putlog UDelSite: "bob"')),
    ({'TRIAL_PUNISHMENT': '2', 'TRIAL_DISABLE_FLAG': '6'}, ['SITE CHANGE bob FLAGS +6'],
     lines('wtf - SITE CHANGE bob FLAGS +6', '!putlog UDisSite: "bob"')),
    ({'TRIAL_PUNISHMENT': '3'}, [], b''),
], ids=['delete', 'disable', 'none'])
def test_newday_counts_down_and_punishes_expired_trials(quarvel, ftp_server, settings, sent,
                                                        stdout):
    server = ftp_server()
    _configure(quarvel, server.port, **settings)
    quarvel.write_store(TRIAL_STORE, TRIALS)
    _run(quarvel, 'newday', '2026-12-10', stdout)
    assert quarvel.read_store(TRIAL_STORE) == TRIALS_AFTER
    assert quarvel.read_store(QUOTA_STORE) is None
    # One login for the run, dropped at its end without a QUIT.
    assert _sent(server) == [LOGIN + sent]


@pytest.mark.parametrize('script', [
    {'replies': {'PASS': ['530 Login incorrect']}},
    {'greeting': ['421 Service not available', CLOSE]},
    None,
], ids=['login-refused', 'server-busy', 'unreachable'])
def test_newday_without_the_admin_login(quarvel, ftp_server, unreachable_port, script):
    # Nothing is sent, announced or lost: the expired trial stays at 0 days
    # on the due list, the members still counting are carried into the next
    # period as pending, and standard error names each of them.
    server = ftp_server(script) if script else None
    _configure(quarvel, server.port if server else unreachable_port)
    quarvel.write_store(TRIAL_STORE, TRIALS)
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    result = quarvel.run('newday', date='2026-12-01')
    result.expect(stdout=PROCESSING, stderr=result.stderr)
    assert PASSWORD.encode() not in result.stdout + result.stderr
    assert [line.split(':')[0] for line in result.stderr.decode().splitlines()] == [
        'bob stays due', 'brisk stays due', 'pike stays due']
    assert quarvel.read_store(TRIAL_STORE) == store(
        'bob=10::0::G', 'ann=0::2::G', 'bob_PREDEL_SIZE_x.zip=4.5::-1::',
        'setup_trial_counted=12-01-2026', 'setup_trial_due=bob')
    assert quarvel.read_store(QUOTA_STORE) == NEW_PERIOD + lines('setup_quota_pending=brisk::pike')
    if server:
        assert all(not line.startswith('SITE') for c in _sent(server) for line in c)


def test_trials_lose_one_day_per_newday(quarvel, unreachable_port):
    _configure(quarvel, unreachable_port, TRIAL_PUNISHMENT='0')
    quarvel.write_store(TRIAL_STORE, store('c=0::2::G', 'a=5.5::-1::G', 'b=0::"1.5"::G'))
    _run(quarvel, 'newday', '2026-12-10', b'')
    # b's 0.5 days round to 0 (halves to even): it expires.
    assert quarvel.read_store(TRIAL_STORE) == store('c=0::1::G', 'a=5.5::-2::G',
                                                    'setup_trial_counted=12-10-2026')
    _run(quarvel, 'newday', '2026-12-11', b'')
    assert quarvel.read_store(TRIAL_STORE) == store('a=5.5::-3::G',
                                                    'setup_trial_counted=12-11-2026')
    _run(quarvel, 'newday', '2026-12-12', b'')
    assert quarvel.read_store(TRIAL_STORE) == store('a=5.5::-4::G',
                                                    'setup_trial_counted=12-12-2026')


# -- newday: quota periods -------------------------------------------------------

RUNNING_PERIOD = store(
    'setup_quota_starts=11-01-2026',
    'setup_quota_ends=12-01-2026',
    'setup_quota_started=1',
    'brisk=5::0::Couriers',
    'tamsin=1200::1::Couriers',
    'wren=0::2::Couriers',
    'oleander=0::3::Friends',
    'pike=5::0::NoGroup',
    'Marlow=0::0::SiteOps',
    empty_first=True)
# Members still counting at the end, in file order; Marlow is exempt now and
# is named but never punished.
PROCESSING = lines('Processing brisk', 'Processing pike', 'Processing Marlow')


def new_period(starts='12-01-2026', ends='01-01-2027', on_trial=()):
    """The quota store right after enrolling the sample site's accounts
    (in the server list's order); users on trial are suspended."""
    def member(name, group, exempt=False):
        status = '3' if exempt else '2' if name in on_trial else '0'
        return '%s=0::%s::%s' % (name, status, group)
    return store('setup_quota_starts=' + starts, 'setup_quota_ends=' + ends,
                 member('Marlow', 'SiteOps', exempt=True), member('brisk', 'Couriers'),
                 member('tamsin', 'Couriers'), member('oleander', 'Friends', exempt=True),
                 member('pike', 'NoGroup'), member('wren', 'Couriers'),
                 'setup_quota_started=1')


NEW_PERIOD = new_period()


@pytest.mark.parametrize('punishment, sent', [
    ('1', ['SITE kick brisk', 'SITE DELUSER brisk', 'SITE kick pike', 'SITE DELUSER pike']),
    ('2', ['SITE kick brisk', 'SITE CHANGE brisk FLAGS +6', 'SITE kick pike',
           'SITE CHANGE pike FLAGS +6']),
    ('3', []),
    ('', []),
], ids=['delete', 'disable', 'three', 'empty'])
def test_period_end_punishes_members_still_counting(quarvel, ftp_server, punishment, sent):
    server = ftp_server()
    _configure(quarvel, server.port, QUOTA_PUNISHMENT=punishment)
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    _run(quarvel, 'newday', '2026-12-01', PROCESSING)
    assert _sent(server) == [LOGIN + sent]
    assert quarvel.read_store(QUOTA_STORE) == NEW_PERIOD


def test_whole_newday_on_the_end_date(quarvel, ftp_server):
    # Trial expiry first (wren's trial runs out), then the period end: wren,
    # suspended while on trial, is not named, and the new period counts her.
    server = ftp_server({'replies': {'SITE': ['200-Done', '200 Command okay']}})
    _configure(quarvel, server.port, QUOTA_PUNISHMENT='2')
    quarvel.write_store(TRIAL_STORE, store('wren=10::1::Couriers', 'tamsin=0::5::Couriers'))
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    _run(quarvel, 'newday', '2026-12-03',
         lines('!putlog UDelSite: "wren"') + PROCESSING)
    assert _sent(server) == [LOGIN + ['SITE DELUSER wren', 'SITE kick brisk',
                                      'SITE CHANGE brisk FLAGS +6', 'SITE kick pike',
                                      'SITE CHANGE pike FLAGS +6']]
    assert quarvel.read_store(TRIAL_STORE) == store('tamsin=0::4::Couriers',
                                                    'setup_trial_counted=12-03-2026')
    assert quarvel.read_store(QUOTA_STORE) == new_period('12-03-2026', on_trial=['tamsin'])


def test_period_without_members(quarvel, ftp_server):
    server = ftp_server()
    _configure(quarvel, server.port)
    (quarvel.root / 'ioftpd-site' / 'etc' / 'passwd').write_bytes(b'')
    quarvel.write_store(QUOTA_STORE, store('setup_quota_ends=12-01-2026',
                                           'setup_quota_started=1'))
    _run(quarvel, 'newday', '2026-12-01', lines('Processing '))
    assert _sent(server) == [LOGIN]
    assert quarvel.read_store(QUOTA_STORE) == store(
        'setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027', 'setup_quota_started=1')


def test_running_period_before_its_end_is_left_alone(quarvel, unreachable_port):
    _configure(quarvel, unreachable_port)
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    _run(quarvel, 'newday', '2026-11-30', b'')
    assert quarvel.read_store(QUOTA_STORE) == RUNNING_PERIOD


# -- qstart and qnow -------------------------------------------------------------

@pytest.mark.parametrize('today, starts, ends, first_day', [
    ('2026-11-20', '12-01-2026', '01-01-2027', '2026-12-01'),
    ('2026-12-15', '01-01-2027', '02-01-2027', '2027-01-01'),
], ids=['november', 'december'])
def test_qstart_schedules_next_month_and_newday_starts_it(quarvel, unreachable_port, today,
                                                         starts, ends, first_day):
    _configure(quarvel, unreachable_port)
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    _run(quarvel, 'qstart force', today,
         lines('qstart: the quota period %s to %s is set up; newday starts it on its first '
               'day; the old Velkrin.dat is kept as Velkrin.dat.bak.' % (starts, ends)))
    waiting = store('setup_quota_starts=' + starts, 'setup_quota_ends=' + ends)
    assert quarvel.read_store(QUOTA_STORE) == waiting
    # The day before the start nothing happens; on the start date everybody
    # is enrolled.
    _run(quarvel, 'newday', today, b'')
    assert quarvel.read_store(QUOTA_STORE) == waiting
    _run(quarvel, 'newday', first_day, b'')
    assert quarvel.read_store(QUOTA_STORE) == new_period(starts, ends)


def test_qstart_with_another_quota_type_only_deletes_the_store(quarvel, unreachable_port):
    _configure(quarvel, unreachable_port, QUOTA_TYPE='2')
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    _run(quarvel, 'qstart force', '2026-12-15',
         lines('qstart: no quota period is set up (QUOTA_TYPE is not 1); the old Velkrin.dat '
               'is kept as Velkrin.dat.bak.'))
    assert quarvel.read_store(QUOTA_STORE) is None


def test_qnow_starts_a_period_today(quarvel, ftp_server):
    server = ftp_server()
    _configure(quarvel, server.port)
    quarvel.write_store(TRIAL_STORE, store('tamsin=0::5::Couriers'))
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    _run(quarvel, 'qnow force', '2026-12-17',
         lines('qnow: the quota period 12-17-2026 to 01-01-2027 runs with 6 members; the old '
               'Velkrin.dat is kept as Velkrin.dat.bak.'))
    assert quarvel.read_store(QUOTA_STORE) == new_period('12-17-2026', on_trial=['tamsin'])
    assert server.connection_count == 0


# -- checkup ---------------------------------------------------------------------

def test_checkup_tidies_trials_repairs_quota_and_enrols_late(quarvel, ftp_server):
    server = ftp_server()
    _configure(quarvel, server.port, AddLate='1', ToGive='10',
               TRIAL_ONPASS='SITE CHANGE $USER ratio 3')
    # An account of the server list that the user database does not know.
    passwd = quarvel.root / 'ioftpd-site' / 'etc' / 'passwd'
    passwd.write_bytes(passwd.read_bytes() + b'ghost:9:STANDARD\r\n')
    quarvel.write_store(TRIAL_STORE, store(
        'wren=600::3::Couriers',        # reached the goal: passed
        'ghost=0::3::G',                # gone from the server
        'tamsin=1::3::Couriers',
        'bob_PREDEL_SIZE_a.zip=4.5',    # no such user either
        empty_first=True))
    quarvel.write_store(QUOTA_STORE, store(
        'setup_quota_starts=12-01-2026',
        'setup_quota_ends=01-01-2027',
        'setup_quota_started=1',
        'brisk=1000::0::Couriers',      # reached the quota
        'Marlow=5::0::SiteOps',         # exempt group
        'pike=5::3::NoGroup',           # no longer exempt
        'wren=0::2::Couriers',          # left the trial
        'tamsin=0::2::Couriers',        # still on trial
        'ghost=1::0::X',                # gone from the server
        empty_first=True))
    _run(quarvel, 'checkup', '2026-12-11', lines('!putlog PassedTrial: "wren"',
                                                 '!putlog QUOTAPASSED: "brisk"'))
    assert quarvel.read_store(TRIAL_STORE) == store('tamsin=1::3::Couriers')
    # Ten days into the period, oleander (no record yet) gets 100 MB; the
    # unknown account no line at all.
    assert quarvel.read_store(QUOTA_STORE) == store(
        'setup_quota_starts=12-01-2026',
        'setup_quota_ends=01-01-2027',
        'setup_quota_started=1',
        'tamsin=0::2::Couriers',
        'wren=0::0::Couriers',
        'brisk=1000::1::Couriers',
        'Marlow=5::3::SiteOps',
        'pike=5::0::NoGroup',
        'oleander=100::3::Friends')
    # The pass is made as an upload makes it: TRIAL_ONPASS goes to the server.
    assert [line for line in server.received_text(0) if line.startswith('SITE ')] == [
        'SITE CHANGE wren ratio 3']


def test_checkup_enrols_nobody_late_without_add_late(quarvel, unreachable_port):
    _configure(quarvel, unreachable_port, AddLate='0', ToGive='10')
    period = store('setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027',
                   'setup_quota_started=1', empty_first=True)
    quarvel.write_store(QUOTA_STORE, period)
    _run(quarvel, 'checkup', '2026-12-11', b'')
    assert quarvel.read_store(QUOTA_STORE) == period
