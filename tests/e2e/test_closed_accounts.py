"""Accounts the server has closed, and a server without etc\\passwd, end to end.

ioFTPD 7's SITE DELUSER only marks an account (DeletedOn in its user file);
it stays in UserIdTable until SITE PURGE. ExpiresAt ends an account at a set
time. Such accounts are not enrolled, not evaluated, never punished, and the
reports say what they are; their records stay until the account is gone from
the tables. The sample site here is a stock one: no etc\\passwd, so the user
id table is the account list."""

import os

import pytest

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

PASSWORD = 'Adm1n-Pa55!word'
LOGIN = ['USER siteop', 'PASS ' + PASSWORD]
BOLD = '\x02'
DELETED_ON = b'DeletedOn 1795000000'   # 11-18-2026
EXPIRES_AT = b'ExpiresAt 1795132800'   # 11-20-2026 00:00 UTC


def store(*text_lines):
    return lines(*text_lines)


def _site(quarvel, port, **extra):
    """The sample site without etc\\passwd; pike deleted, wren expired."""
    conf = dict(quarvel.ioftpd())
    site = quarvel.root / 'ioftpd-site'
    if (site / 'etc' / 'passwd').exists():
        os.remove(site / 'etc' / 'passwd')
        _mark(site / 'users' / '5', b'DeletedOn 0', b'DeletedMsg no uploads\r\n' + DELETED_ON)
        _mark(site / 'users' / '6', b'ExpiresAt 0', EXPIRES_AT)
    conf.update({'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(port), 'FTP_USER': 'siteop',
                 'FTP_PASS': PASSWORD, 'Quota_Groups': 'SiteOps', 'QUOTA_DISABLE_FLAG': '6',
                 'TRIAL_DISABLE_FLAG': '7', 'EXEMPT_IN_GROUP': 'group $GROUP',
                 'EXEMPT_USER_DISABLE': 'disabled', 'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '7',
                 'TRIAL_PUNISHMENT': '1', 'QUOTA_PUNISHMENT': '1', 'QUOTA_UPLOAD': '1000',
                 'QUOTA_TYPE': '1', 'Irc_SiteName': 'S'})
    conf.update(extra)
    quarvel.write_conf(conf)
    quarvel.write_conf(conf, where='prog')
    return conf


def _mark(user_file, old, new):
    text = user_file.read_bytes()
    assert old + b'\r\n' in text
    user_file.write_bytes(text.replace(old + b'\r\n', new + b'\r\n'))


def _records(data):
    return sorted(line for line in data.split(b'\r\n') if line)


def _run(quarvel, command_line, date, stdout):
    return quarvel.run(command_line, date=date).expect(stdout=stdout)


def _sent(server):
    return [server.received_text(i) for i in range(server.connection_count)]


# The accounts of the user id table in its order, as a new period enrols
# them: pike (deleted) and wren (expired) are left out.
NEW_PERIOD = store('setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027',
                   'brisk=0::0::Couriers', 'Marlow=0::3::SiteOps',
                   'oleander=0::3::Friends', 'tamsin=0::0::Couriers',
                   'setup_quota_started=1')


def test_a_stock_site_enrols_from_the_user_id_table_without_closed_accounts(quarvel,
                                                                          unreachable_port):
    _site(quarvel, unreachable_port)
    _run(quarvel, 'qnow', '2026-12-01',
         lines('qnow: the quota period 12-01-2026 to 01-01-2027 runs with 4 members.'))
    assert quarvel.read_store(QUOTA_STORE) == NEW_PERIOD
    # On its expiry day wren may still log in: she is enrolled.
    _run(quarvel, 'qnow force', '2026-11-20',
         lines('qnow: the quota period 11-20-2026 to 12-01-2026 runs with 5 members; the old '
               'Velkrin.dat is kept as Velkrin.dat.bak.'))
    assert b'wren=0::0::Couriers\r\n' in quarvel.read_store(QUOTA_STORE)
    assert b'pike=' not in quarvel.read_store(QUOTA_STORE)


def test_checkup_leaves_the_records_of_closed_accounts_alone(quarvel, unreachable_port):
    _site(quarvel, unreachable_port, AddLate='1', ToGive='0')
    # pike reached the trial goal and wren left her trial: an open account
    # would lose the trial record and count again; ghost is gone for good.
    trials = store('pike=600::3::NoGroup', 'wren=0::3::Couriers')
    quarvel.write_store(TRIAL_STORE, trials + store('ghost=0::3::G'))
    period = store('setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027',
                   'setup_quota_started=1', 'pike=5::2::NoGroup', 'wren=1200::3::Couriers',
                   'brisk=0::0::Couriers', 'Marlow=0::3::SiteOps',
                   'oleander=0::3::Friends', 'tamsin=0::0::Couriers')
    quarvel.write_store(QUOTA_STORE, period + store('ghost=0::0::G'))
    _run(quarvel, 'checkup', '2026-12-11', b'')
    assert quarvel.read_store(TRIAL_STORE) == trials
    # Nobody is enrolled late: the closed accounts have records already.
    # (Exempt members are rewritten in place, which may move their lines.)
    assert _records(quarvel.read_store(QUOTA_STORE)) == _records(period)


def test_newday_neither_counts_down_nor_punishes_closed_accounts(quarvel, ftp_server):
    server = ftp_server()
    _site(quarvel, server.port)
    quarvel.write_store(TRIAL_STORE, store('pike=0::1::NoGroup', 'tamsin=0::1::Couriers'))
    quarvel.write_store(QUOTA_STORE, store(
        'setup_quota_starts=11-01-2026', 'setup_quota_ends=12-01-2026',
        'setup_quota_started=1', 'brisk=5::0::Couriers', 'pike=5::0::NoGroup',
        'wren=0::0::Couriers'))
    # tamsin's trial runs out; pike's is held while the account is deleted.
    # At the period's end only brisk is punished; the new period leaves the
    # closed accounts out.
    _run(quarvel, 'newday', '2026-12-01',
         lines('!putlog UDelSite: "tamsin"', 'Processing brisk'))
    assert _sent(server) == [LOGIN + ['SITE DELUSER tamsin', 'SITE kick brisk',
                                      'SITE DELUSER brisk']]
    assert quarvel.read_store(TRIAL_STORE) == store('pike=0::1::NoGroup',
                                                    'setup_trial_counted=12-01-2026')
    assert quarvel.read_store(QUOTA_STORE) == NEW_PERIOD


def test_punishments_left_due_are_dropped_once_the_account_is_closed(quarvel, ftp_server):
    # Due from an earlier night: pike's expired trial and wren's and brisk's
    # quota punishments. The server has since closed pike (deleted) and wren
    # (expired): nothing is sent about them, their entries go, and the log
    # says why; brisk, still open, is punished.
    server = ftp_server()
    _site(quarvel, server.port)
    quarvel.write_store(TRIAL_STORE, store('pike=0::0::NoGroup', 'tamsin=0::5::Couriers',
                                           'setup_trial_counted=12-10-2026',
                                           'setup_trial_due=pike'))
    period = store('setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027',
                   'setup_quota_started=1', 'brisk=0::0::Couriers', 'tamsin=0::2::Couriers')
    quarvel.write_store(QUOTA_STORE, period + store('setup_quota_pending=wren::brisk'))
    _run(quarvel, 'newday', '2026-12-11', b'')
    assert _sent(server) == [LOGIN + ['SITE kick brisk', 'SITE DELUSER brisk']]
    assert quarvel.read_store(TRIAL_STORE) == store('tamsin=0::4::Couriers',
                                                    'setup_trial_counted=12-11-2026')
    assert quarvel.read_store(QUOTA_STORE) == period
    log = (quarvel.read_file('Quarvel.log') or b'').decode()
    for user, state in [('pike', 'deleted'), ('wren', 'expired')]:
        assert ' | newday | %s | - | - | not punished: the account is %s on the server\r\n' % (
            user, state) in log, log


REPORTS = {
    'Irc_No_User': 'no $USER',
    'Irc_Trial_Uinfo': 'T $USER@$GROUP $UPLOADED of $SHOWL',
    'Irc_Quota_Uinfo': 'Q $USER@$GROUP $UPLOADED of $SHOWL',
    'Irc_Quota_Next': 'next $USER@$GROUP',
    'Trials_Header': 'trials',
    'Trials_Body': '$USER@$GROUP $UPLOADED of $SHOWL, $DAYSLEFT days',
    'QUOTAs_EXEMPTED_HEADER': '$EXEMPT exempt',
    'QUOTAs_EXEMPTED': '$USER@$GROUP: $EXCUSE',
    'EXEMPT_IN_TRIAL': 'in trial',
    'QUOTAs_PASSED_HEADER': '$PASSED passed',
    'QUOTAs_PASSED': '$USER@$GROUP passed',
}


@pytest.mark.parametrize('closed_templates, user_form, listing_form', [
    # Without templates of their own the lines read like the others.
    ({}, BOLD + 'S' + BOLD + ': %s@%s is %s', BOLD + '%s' + BOLD + '@%s: %s'),
    ({'Irc_Account_Closed': '$SITENAME $USER@$GROUP $STATE',
      'Listing_Account_Closed': '- $USER@$GROUP $STATE'}, 'S %s@%s %s', '- %s@%s %s'),
], ids=['default', 'configured'])
def test_reports_say_deleted_and_expired(quarvel, unreachable_port, closed_templates,
                                         user_form, listing_form):
    conf = dict(REPORTS)
    conf.update(closed_templates)
    _site(quarvel, unreachable_port, **conf)
    quarvel.write_store(TRIAL_STORE, store('pike=6::3::NoGroup', 'tamsin=2::3::Couriers'),
                        where='prog')
    quarvel.write_store(QUOTA_STORE, store(
        'setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027',
        'setup_quota_started=1', 'wren=1200::1::Couriers', 'brisk=1000::1::Couriers',
        'pike=0::2::NoGroup', 'oleander=0::3::Friends'), where='prog')

    def irc(command_line, *expected):
        _run(quarvel, command_line, '2026-12-11', lines(*expected))

    pike = ('pike', 'NoGroup', 'deleted')
    wren = ('wren', 'Couriers', 'expired')
    irc('IRC PASSED pike', user_form % pike)
    irc('IRC PASSED WREN', user_form % wren)
    irc('IRC PASSED tamsin', 'T tamsin@Couriers 2 of 500')
    irc('IRC info trial all', 'trials', listing_form % pike, 'tamsin@Couriers 2 of 500, 3 days')
    irc('IRC info quota passed', '2 passed', listing_form % wren, 'brisk@Couriers passed')
    irc('IRC info quota exempt', '2 exempt', listing_form % pike, 'oleander@Friends: disabled')


def test_closed_accounts_cannot_be_added(quarvel, unreachable_port):
    _site(quarvel, unreachable_port)
    quarvel.write_store(QUOTA_STORE, store('setup_quota_starts=12-01-2026',
                                           'setup_quota_ends=01-01-2027',
                                           'setup_quota_started=1'))
    cases = [
        ('ST add PIKE', ' User: pike is deleted on the FTP server, cant add user to trial.'),
        ('ST add wren', ' User: wren is expired on the FTP server, cant add user to trial.'),
        ('SQ add pike', ' User: pike is deleted on the FTP server, cant add user to quota.'),
        ('SQ add Wren', ' User: wren is expired on the FTP server, cant add user to quota.'),
    ]
    for command_line, answer in cases:
        _run(quarvel, command_line, '2026-12-11', lines(answer))
    assert quarvel.read_store(TRIAL_STORE) is None
    assert quarvel.read_store(QUOTA_STORE) == store('setup_quota_starts=12-01-2026',
                                                    'setup_quota_ends=01-01-2027',
                                                    'setup_quota_started=1')
