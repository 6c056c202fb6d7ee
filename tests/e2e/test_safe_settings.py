"""A setting that is not valid never decides who passes, who is punished or
who is spared: the runs that would decide on it leave that decision undone,
do the rest, and say so once on standard error and in the audit log, naming
the key and its line. The sample site's Marlow (flags 1M) is in SiteOps,
oleander carries the quota's disable flag 6, brisk and tamsin carry 3."""

import pytest

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

PASSWORD = 'Adm1n-Pa55!word'
# tamsin is on trial with 1 MB of 500; the day is counted already, so that
# newday only has the period's end to do.
TRIALS = lines('tamsin=1::3::Couriers', 'setup_trial_counted=12-01-2026')
PERIOD = lines('setup_quota_starts=11-01-2026', 'setup_quota_ends=12-01-2026',
               'setup_quota_started=1', 'brisk=5::0::Couriers', 'tamsin=0::2::Couriers',
               'oleander=0::3::Friends', 'Marlow=0::3::SiteOps')


def _conf(quarvel, port, change):
    conf = dict(quarvel.ioftpd())
    conf.update({'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(port), 'FTP_USER': 'siteop',
                 'FTP_PASS': PASSWORD, 'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '7',
                 'TRIAL_PUNISHMENT': '1', 'QUOTA_UPLOAD': '1000', 'QUOTA_TYPE': '1',
                 'QUOTA_PUNISHMENT': '1', 'QUOTA_DISABLE_FLAG': '6', 'TRIAL_DISABLE_FLAG': '7',
                 'Quota_Groups': 'SiteOps'})
    conf.update(change)
    conf = {key: value for key, value in conf.items() if value is not None}
    quarvel.write_conf(conf)
    return list(conf)  # the keys, in line order


def _told(key, keys, rest):
    return 'Quarvel: %s%s on line %d of quarvel.conf %s; nothing that rests on it was decided.' % (
        key, rest[0], keys.index(key) + 1, rest[1])


# Each mistake: the settings changed, what check names, the line the runs
# that would decide on it print (as a function of the keys' order), and
# whether the quota's period end rests on it.
MISTAKES = [
    ({'TRIAL_UPLOAD': 'ten'}, 'TRIAL_UPLOAD=ten is not a number; it reads as 0',
     lambda keys: _told('TRIAL_UPLOAD', keys, ('=ten', 'is not a number')), False),
    ({'TRIAL_UPLOAD': None, 'TRIAL_UPLAOD': '500'},
     'TRIAL_UPLAOD is not a key Quarvel reads; did you mean TRIAL_UPLOAD?',
     lambda keys: 'Quarvel: TRIAL_UPLOAD is not set in quarvel.conf; nothing that rests on it '
                  'was decided.', False),
    ({'QUOTA_DISABLE_FLAG': ''}, 'QUOTA_DISABLE_FLAG is empty',
     lambda keys: _told('QUOTA_DISABLE_FLAG', keys, ('', 'is empty')), True),
    ({'QUOTA_DISABLE_FLAG': '6 # disabled'}, 'QUOTA_DISABLE_FLAG: "# disabled" is not a remark',
     lambda keys: _told('QUOTA_DISABLE_FLAG', keys,
                        ('=6 # disabled', 'has a remark after its value')), True),
    ({'Quota_Groups': 'SiteOps  ; exempt staff'}, 'Quota_Groups: "; exempt staff" is not a remark',
     lambda keys: _told('Quota_Groups', keys,
                        ('=SiteOps  ; exempt staff', 'has a remark after its value')), True),
]
IDS = ['upload-not-a-number', 'upload-misspelt', 'disable-flag-empty', 'disable-flag-remark',
       'group-remark']


@pytest.mark.parametrize('change, check_says, told, period_rests_on_it', MISTAKES, ids=IDS)
def test_checkup_decides_nothing_on_a_mistake(quarvel, unreachable_port, change, check_says,
                                              told, period_rests_on_it):
    keys = _conf(quarvel, unreachable_port, change)
    quarvel.write_store(TRIAL_STORE, TRIALS)
    quarvel.write_store(QUOTA_STORE, PERIOD)

    check = quarvel.run('check').expect(stdout=None, returncode=None)
    assert check_says.encode() in check.stdout

    line = told(keys)
    quarvel.run('checkup', date='2026-11-11').expect(stdout=b'', stderr=lines(line))
    assert quarvel.read_store(TRIAL_STORE) == TRIALS
    assert quarvel.read_store(QUOTA_STORE) == PERIOD
    assert quarvel.read_file('Quarvel.log').count(line.encode()) == 1


@pytest.mark.parametrize('change, check_says, told, period_rests_on_it',
                         [m for m in MISTAKES if m[3]], ids=[i for i, m in zip(IDS, MISTAKES)
                                                             if m[3]])
def test_period_end_waits_for_sound_settings(quarvel, ftp_server, change, check_says, told,
                                             period_rests_on_it):
    server = ftp_server()
    keys = _conf(quarvel, server.port, change)
    quarvel.write_store(TRIAL_STORE, TRIALS)
    quarvel.write_store(QUOTA_STORE, PERIOD)
    line = told(keys)

    preview = quarvel.run('preview', date='2026-12-01').expect(stdout=None, stderr=lines(line))
    assert b'SITE' not in preview.stdout and b'enrolled' not in preview.stdout

    quarvel.run('newday', date='2026-12-01').expect(stdout=b'', stderr=lines(line))
    assert quarvel.read_store(QUOTA_STORE) == PERIOD
    assert not any(text.startswith('SITE') for i in range(server.connection_count)
                   for text in server.received_text(i))


def test_sound_settings_still_decide(quarvel, ftp_server):
    """The same site with every setting sound: the period ends with brisk
    punished, and nothing is told."""
    server = ftp_server()
    _conf(quarvel, server.port, {})
    quarvel.write_store(TRIAL_STORE, TRIALS)
    quarvel.write_store(QUOTA_STORE, PERIOD)
    quarvel.run('checkup', date='2026-11-11').expect(stdout=b'')
    assert quarvel.read_store(QUOTA_STORE) == PERIOD
    quarvel.run('newday', date='2026-12-01').expect(stdout=lines('Processing brisk'))
    assert server.received_text(0)[2:] == ['SITE kick brisk', 'SITE DELUSER brisk']


def test_missing_user_folder_changes_no_record(quarvel, unreachable_port):
    """A slip in UserFOLDER (users -> user): the user database cannot be
    read, so no record changes and the preview shows no punishment."""
    _conf(quarvel, unreachable_port, {'UserFOLDER': quarvel.ioftpd()['UserFOLDER'][:-1]})
    quarvel.write_store(TRIAL_STORE, TRIALS)
    quarvel.write_store(QUOTA_STORE, PERIOD)
    result = quarvel.run('checkup', date='2026-11-11').expect(stdout=b'', stderr=None)
    assert result.stderr.startswith(b'Quarvel: the user database cannot be read (no user folder')
    assert quarvel.read_store(QUOTA_STORE) == PERIOD
    preview = quarvel.run('preview', date='2026-12-01').expect(stdout=None, stderr=None)
    assert b'SITE' not in preview.stdout


def test_leaving_an_exemption_during_a_trial_suspends(quarvel, unreachable_port):
    """wren is on trial and was exempt; once nothing exempts her, her quota
    record waits for the trial (status 2), it does not count (0); brisk, not on trial, counts."""
    _conf(quarvel, unreachable_port, {})
    quarvel.write_store(TRIAL_STORE, lines('wren=1::3::Couriers'))
    quarvel.write_store(QUOTA_STORE, lines('setup_quota_starts=11-01-2026',
                                           'setup_quota_ends=12-01-2026', 'setup_quota_started=1',
                                           'wren=0::3::Couriers', 'brisk=0::3::Couriers'))
    quarvel.run('checkup', date='2026-11-11').expect(stdout=b'')
    assert quarvel.read_store(QUOTA_STORE) == lines(
        'setup_quota_starts=11-01-2026', 'setup_quota_ends=12-01-2026', 'setup_quota_started=1',
        'wren=0::2::Couriers', 'brisk=0::0::Couriers')


@pytest.mark.parametrize('command', ['qstart', 'qnow'])
def test_a_running_period_is_erased_only_with_the_force_word(quarvel, unreachable_port, command):
    _conf(quarvel, unreachable_port, {})
    quarvel.write_store(QUOTA_STORE, PERIOD)
    quarvel.run(command, date='2026-11-20').expect(stdout=b'', stderr=lines(
        '%s: the quota period 11-01-2026 to 12-01-2026 runs with 4 members and their uploads; '
        'nothing was changed. "%s force" erases it.' % (command, command)))
    assert quarvel.read_store(QUOTA_STORE) == PERIOD
    assert quarvel.read_store('Velkrin.dat.bak') is None

    done = quarvel.run(command + ' force', date='2026-11-20').expect(stdout=None)
    assert done.lines[0].startswith(command.encode() + b': the quota period ')
    assert done.lines[0].endswith(b'; the old Velkrin.dat is kept as Velkrin.dat.bak.')
    assert len(done.lines) == 1
    assert quarvel.read_store('Velkrin.dat.bak') == PERIOD
    assert quarvel.read_store(QUOTA_STORE) != PERIOD


def test_preview_shows_what_newday_then_does(quarvel, ftp_server):
    """A period end whose punishments change the next period: brisk is
    disabled (flag 6), so the new period enrols him exempt; the preview must
    say the same commands and the same enrolment as the newday that follows."""
    user_file = quarvel.root / 'ioftpd-site' / 'users' / '2'  # brisk's

    def as_the_server_does(number, line):
        if line.strip() == b'SITE CHANGE brisk FLAGS +6':
            user_file.write_bytes(user_file.read_bytes().replace(b'flags 3', b'flags 36'))

    server = ftp_server(on_line=as_the_server_does)
    _conf(quarvel, server.port, {'QUOTA_PUNISHMENT': '2'})
    quarvel.write_store(TRIAL_STORE, TRIALS)
    quarvel.write_store(QUOTA_STORE, PERIOD)
    preview = quarvel.run('preview', date='2026-12-01').expect(stdout=None)
    shown = preview.stdout.decode('latin-1').split('\r\n')
    planned = [line.strip() for line in shown if line.startswith('    SITE ')]
    enrolled = shown[shown.index('enrolled in the new period:') + 1:-1]
    assert planned == ['SITE kick brisk', 'SITE CHANGE brisk FLAGS +6']
    assert '    brisk exempt' in enrolled

    quarvel.run('newday', date='2026-12-01').expect(stdout=lines('Processing brisk'))
    sent = [text for i in range(server.connection_count) for text in server.received_text(i)
            if text.startswith('SITE ')]
    assert sent == planned
    names = {'0': 'counting', '2': 'on trial', '3': 'exempt'}
    stored = quarvel.read_store(QUOTA_STORE).decode('latin-1').split('\r\n')
    members = ['    %s %s' % (line.split('=')[0], names[line.split('::')[1]])
               for line in stored if '::' in line]
    assert members == enrolled


def test_no_trial_starts_on_days_that_are_no_number(quarvel, unreachable_port):
    keys = _conf(quarvel, unreachable_port, {'TRIAL_DAYS': 'seven'})
    quarvel.run('ST add wren', date='2026-11-11').expect(stdout=b'', stderr=lines(
        _told('TRIAL_DAYS', keys, ('=seven', 'is not a number'))))
    assert quarvel.read_store(TRIAL_STORE) is None
