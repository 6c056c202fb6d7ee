"""Punishments that the operator can trust, from outside: a punishment counts
only when the server accepted its commands; what could not be done stays due
and is done by the next run that can log in; exemption is checked again just
before sending and the admin account is never a target; newday counts each
calendar day once; the preview shows what newday will send; the audit log
keeps what was done. The scripted stand-in records what it received."""

import hashlib
import re

import pytest

from ftp_standin import CLOSE, SILENT, InTurn
from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

PASSWORD = 'Adm1n-Pa55!word'
LOG = 'Quarvel.log'

EXEMPTIONS = {
    'Quota_Groups': 'SiteOps',
    'QUOTA_DISABLE_FLAG': '6',
    'TRIAL_DISABLE_FLAG': '7',
    'EXEMPT_IN_GROUP': 'Exempt group $BOLD$GROUP$BOLD',
    'EXEMPT_USER_DISABLE': 'Disabled',
    'EXEMPT_USER_EXEMPT': 'Exempt user',
}


def configure(quarvel, port, where='data', **extra):
    conf = dict(quarvel.ioftpd())
    conf.update(EXEMPTIONS)
    conf.update({'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(port), 'FTP_USER': 'siteop',
                 'FTP_PASS': PASSWORD, 'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '7',
                 'TRIAL_PUNISHMENT': '1', 'QUOTA_PUNISHMENT': '1', 'QUOTA_UPLOAD': '1000',
                 'QUOTA_TYPE': '1'})
    conf.update({k: v for k, v in extra.items() if v is not None})
    for key in [k for k, v in extra.items() if v is None]:
        conf.pop(key, None)
    quarvel.write_conf(conf, where)


def store(*text_lines, empty_first=False):
    return (b'\r\n' if empty_first else b'') + lines(*text_lines)


def site_commands(server):
    return [line for c in range(server.connection_count)
            for line in server.received_text(c) if line.startswith('SITE ')]


def newday(quarvel, date, stdout=None):
    result = quarvel.run('newday', date=date)
    assert result.returncode == 0
    if stdout is not None:
        result.expect(stdout=stdout, stderr=result.stderr)
    assert PASSWORD.encode() not in result.stdout + result.stderr
    return result


def error_lines(result):
    return result.stderr.decode('latin-1').splitlines()


def log_lines(quarvel):
    text = (quarvel.read_file(LOG) or b'').decode('latin-1')
    assert '\n' not in text.replace('\r\n', '')
    return [line.split(' | ')[1:] for line in text.splitlines()]


def data_hash(quarvel):
    digest = hashlib.sha256()
    for name in quarvel.files():
        digest.update(name.encode() + b'\0' + (quarvel.read_file(name) or b'') + b'\0')
    return digest.hexdigest()


RUNNING_PERIOD = store(
    'setup_quota_starts=11-01-2026',
    'setup_quota_ends=12-01-2026',
    'setup_quota_started=1',
    'brisk=5::0::Couriers',
    'tamsin=1200::1::Couriers',
    'oleander=0::3::Friends',
    'pike=5::0::NoGroup',
    'Marlow=0::0::SiteOps',
    empty_first=True)
TRIALS = store('wren=10::1::Couriers', 'tamsin=0::5::Couriers')
PROCESSING = lines('Processing brisk', 'Processing pike', 'Processing Marlow')
ALL_SENT = ['SITE kick brisk', 'SITE DELUSER brisk', 'SITE kick pike', 'SITE DELUSER pike']


def _stores(quarvel):
    return quarvel.read_store(TRIAL_STORE), quarvel.read_store(QUOTA_STORE)


def _records(quarvel):
    """The lines of both stores, blank ones left out (a store rewritten from
    a single record begins with an empty line, which no reader sees)."""
    return [[line for line in (data or b'').split(b'\r\n') if line]
            for data in _stores(quarvel)]


@pytest.mark.parametrize('refusal', [
    {'replies': {'PASS': ['530 Login incorrect']}},
    {'greeting': ['421 Service not available', CLOSE]},
], ids=['login-refused', 'server-busy'])
def test_refused_login_leaves_everyone_due_until_a_run_can_log_in(quarvel, ftp_server, refusal,
                                                                 tmp_path_factory):
    # What a site whose login always worked holds after the same two nights.
    reference = ftp_server()
    configure(quarvel, reference.port)
    quarvel.write_store(TRIAL_STORE, TRIALS)
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    newday(quarvel, '2026-12-01', lines('!putlog UDelSite: "wren"') + PROCESSING)
    newday(quarvel, '2026-12-02', b'')
    expected_stores = _records(quarvel)
    assert site_commands(reference) == ['SITE DELUSER wren'] + ALL_SENT

    # The same nights with the login refused on the first.
    quarvel.write_file(LOG, b'')
    quarvel.write_store(TRIAL_STORE, TRIALS)
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    refused = ftp_server(refusal)
    configure(quarvel, refused.port)
    first = newday(quarvel, '2026-12-01', PROCESSING)
    assert site_commands(refused) == []
    errors = error_lines(first)
    for user, command in [('wren', 'SITE DELUSER wren'), ('brisk', 'SITE kick brisk'),
                          ('pike', 'SITE kick pike')]:
        assert any(line.startswith('%s stays due: %s: no admin login on 127.0.0.1:%d ('
                                   % (user, command, refused.port)) for line in errors), errors
    assert not any('Marlow' in line for line in errors)
    # Nothing lost: wren stays expired, brisk and pike wait for their punishment,
    # and the next period started on time.
    trial, quota = _stores(quarvel)
    assert b'wren=10::0::Couriers\r\n' in trial
    assert quota.startswith(store('setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027'))

    working = ftp_server()
    configure(quarvel, working.port)
    newday(quarvel, '2026-12-02', lines('!putlog UDelSite: "wren"'))
    assert site_commands(working) == ALL_SENT + ['SITE DELUSER wren']
    assert _records(quarvel) == expected_stores
    # Done once: a third night sends nothing more.
    newday(quarvel, '2026-12-03', b'')
    assert site_commands(working) == ALL_SENT + ['SITE DELUSER wren']


def test_refused_deletion_is_not_announced_and_stays_due(quarvel, ftp_server):
    server = ftp_server({'replies': {'SITE DELUSER': ['550 Permission denied']}})
    configure(quarvel, server.port)
    quarvel.write_store(TRIAL_STORE, store('brisk=10::1::Couriers', 'tamsin=0::5::Couriers'))
    result = newday(quarvel, '2026-12-10', b'')
    assert error_lines(result) == ['brisk stays due: SITE DELUSER brisk: 550 Permission denied']
    assert b'brisk=10::0::Couriers\r\n' in quarvel.read_store(TRIAL_STORE)
    assert ['newday', 'brisk', 'SITE DELUSER brisk', '550 Permission denied',
            'failed, stays due; reason: the trial ended with 10 of 500 MB uploaded in 7 days'
            ] in log_lines(quarvel)
    # The next night it is tried again (and not counted below 0).
    result = newday(quarvel, '2026-12-11', b'')
    assert site_commands(server) == ['SITE DELUSER brisk'] * 2
    assert b'brisk=10::0::Couriers\r\n' in quarvel.read_store(TRIAL_STORE)


def test_connection_dropped_after_the_kick(quarvel, ftp_server):
    server = ftp_server([{'replies': {'SITE DELUSER': [CLOSE]}}, {}])
    configure(quarvel, server.port)
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    result = newday(quarvel, '2026-12-01', PROCESSING)
    assert site_commands(server) == ['SITE kick brisk', 'SITE DELUSER brisk']
    errors = error_lines(result)
    assert errors[0].startswith('brisk stays due: SITE DELUSER brisk: the connection to '
                                '127.0.0.1:%d closed' % server.port), errors
    assert errors[1].startswith('pike stays due: SITE kick pike: not sent: '), errors
    # The next run (a new connection, working) catches up before anything else.
    newday(quarvel, '2026-12-02', b'')
    assert site_commands(server)[2:] == ALL_SENT
    log = log_lines(quarvel)
    missed = 'done; reason: 5 of 1000 MB uploaded in the period 11-01-2026 to 11-30-2026'
    assert ['newday', 'brisk', 'SITE kick brisk', '200 Command okay', missed] in log
    retried = 'done; reason: the quota was missed in a period before, and the punishment left due'
    assert ['newday', 'pike', 'SITE DELUSER pike', '200 Command okay', retried] in log


def test_exemption_is_checked_again_and_the_admin_account_is_never_a_target(quarvel,
                                                                          ftp_server):
    # A wrong configuration (no exempt group) and a refused login: Marlow the
    # siteop is left due along with the others.
    refused = ftp_server({'replies': {'PASS': ['530 Login incorrect']}})
    configure(quarvel, refused.port, Quota_Groups=None)
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    quarvel.write_store(TRIAL_STORE, store('Marlow=0::1::SiteOps'))
    newday(quarvel, '2026-12-01', PROCESSING)

    # Fixed before the next run, which logs in as pike: Marlow is exempt by
    # now and pike is the login's own account; neither gets a command.
    working = ftp_server()
    configure(quarvel, working.port, FTP_USER='pike', Quota_Groups='SiteOps')
    result = newday(quarvel, '2026-12-02', b'')
    assert site_commands(working) == ['SITE kick brisk', 'SITE DELUSER brisk']
    assert error_lines(result) == []
    notes = [entry for entry in log_lines(quarvel) if entry[1] in ('Marlow', 'pike')]
    assert ['newday', 'Marlow', '-', '-', 'not punished: exempt now'] in notes
    assert ['newday', 'pike', '-', '-', "not punished: the admin login's own account"] in notes
    # Nothing is left due: the next night sends nothing.
    newday(quarvel, '2026-12-03', b'')
    assert len(site_commands(working)) == 2
    assert b'Marlow' not in quarvel.read_store(TRIAL_STORE)


def test_newday_counts_each_calendar_day_once(quarvel, ftp_server):
    server = ftp_server()
    configure(quarvel, server.port)
    quarvel.write_store(TRIAL_STORE, store('a=0::7::G', 'wren=0::2::Couriers', 'c=0::-1::G'))
    for _ in range(3):
        newday(quarvel, '2026-12-10', b'')
    assert quarvel.read_store(TRIAL_STORE) == store('a=0::6::G', 'wren=0::1::Couriers',
                                                    'c=0::-2::G', 'setup_trial_counted=12-10-2026')
    # Three days later (two runs missed): three days pass; wren's trial ran
    # out in between and is punished now.
    newday(quarvel, '2026-12-13', lines('!putlog UDelSite: "wren"'))
    assert quarvel.read_store(TRIAL_STORE) == store('a=0::3::G', 'c=0::-5::G',
                                                    'setup_trial_counted=12-13-2026')
    assert site_commands(server) == ['SITE DELUSER wren']


def preview_commands(stdout):
    return [line.strip() for line in stdout.decode('latin-1').splitlines()
            if line.strip().startswith('SITE ')]


def test_preview_shows_what_newday_then_sends(quarvel, ftp_server):
    server = ftp_server()
    configure(quarvel, server.port, TRIAL_DELETE_REASON='Trial failed',
              QUOTA_DELETE_REASON='Quota missed')
    quarvel.write_store(TRIAL_STORE, TRIALS)
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    before = data_hash(quarvel)
    preview = quarvel.run('preview 12-01-2026', date='2026-11-30')
    preview.expect(stdout=preview.stdout, stderr=b'')
    assert data_hash(quarvel) == before
    assert server.connection_count == 0
    text = preview.stdout.decode('latin-1')
    assert 'wren' in text and 'brisk' in text and '12-01-2026' in text

    # Today's date when none is given; a bad date is refused and changes nothing.
    bad = quarvel.run('preview 13-45-2026', date='2026-11-30')
    assert bad.stdout == b'' and bad.stderr != b''
    assert data_hash(quarvel) == before

    newday(quarvel, '2026-12-01')
    sent = site_commands(server)
    assert sent == ['SITE DELUSER wren Trial failed', 'SITE kick brisk',
                    'SITE DELUSER brisk Quota missed', 'SITE kick pike',
                    'SITE DELUSER pike Quota missed']
    assert preview_commands(preview.stdout) == sent


def _folder_state(folder):
    """Every entry of the folder with its bytes and time of change, and the
    folder's own time of change, which moves when an entry is made or
    removed, however briefly it lived."""
    entries = sorted((p.name, p.read_bytes() if p.is_file() else None, p.stat().st_mtime_ns)
                     for p in folder.iterdir())
    return folder.stat().st_mtime_ns, entries


def test_preview_leaves_the_data_folder_as_it_found_it(quarvel, ftp_server):
    # Installed as on the server: the program, its configuration, its stores
    # and its lock file in one folder, which is also the working folder.
    server = ftp_server()
    configure(quarvel, server.port, where='prog')
    quarvel.write_store(TRIAL_STORE, TRIALS, where='prog')
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD, where='prog')
    lock_file = quarvel.target.lock_file(quarvel.prog)
    for lock_there in (False, True):
        if lock_there:
            lock_file.write_bytes(b'')
        before = _folder_state(quarvel.prog)
        preview = quarvel.run('preview 12-01-2026', date='2026-11-30', cwd=quarvel.prog)
        assert preview_commands(preview.stdout) == ['SITE DELUSER wren'] + ALL_SENT, \
            preview.stdout
        assert preview.stderr == b''
        assert _folder_state(quarvel.prog) == before, lock_there
    assert server.connection_count == 0


def test_preview_without_a_date_is_today(quarvel, ftp_server):
    server = ftp_server()
    configure(quarvel, server.port)
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    today = quarvel.run('preview', date='2026-12-01')
    assert preview_commands(today.stdout) == ALL_SENT
    before = quarvel.run('preview', date='2026-11-30')
    assert preview_commands(before.stdout) == []
    assert server.connection_count == 0


def test_silent_server_costs_one_time_out(quarvel, ftp_server):
    # The login works, then the server says nothing more: the run gives the
    # login up after the first wait instead of waiting once per user.
    server = ftp_server({'replies': {'SITE': [SILENT]}}, idle_timeout=150)
    configure(quarvel, server.port)
    quarvel.write_store(QUOTA_STORE, RUNNING_PERIOD)
    quarvel.write_store(TRIAL_STORE, store('wren=10::1::Couriers', 'tamsin=0::1::Couriers'))
    result = quarvel.run('newday', date='2026-12-01', timeout=150)
    assert result.returncode == 0
    assert site_commands(server) == ['SITE DELUSER wren']
    errors = error_lines(result)
    assert errors[0].startswith('wren stays due: SITE DELUSER wren: no reply from 127.0.0.1:%d '
                                'to "SITE DELUSER wren" within 60 s' % server.port), errors
    assert len(errors) == 4  # wren, tamsin, brisk, pike


def test_a_trial_record_whose_key_holds_a_nul_is_handled_once(quarvel, ftp_server):
    # A line written by hand with a NUL in its key: its first change puts it
    # under its safe name, so it is counted down, punished once and gone,
    # instead of being read again, unchanged, by every run.
    server = ftp_server()
    configure(quarvel, server.port)
    quarvel.write_store(TRIAL_STORE, b'x\0y=0::1::G\r\n' + store('a=0::7::G'))
    runs = [newday(quarvel, day) for day in ('2026-12-10', '2026-12-11', '2026-12-12')]
    assert [r.stdout for r in runs] == [lines('!putlog UDelSite: "x_y"'), b'', b'']
    assert site_commands(server) == ['SITE DELUSER x_y']
    assert quarvel.read_store(TRIAL_STORE) == store('a=0::4::G',
                                                    'setup_trial_counted=12-12-2026')
