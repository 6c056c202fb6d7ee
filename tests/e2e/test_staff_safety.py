"""Staff accounts and quota punishments from outside: EXEMPT_FLAGS spares
accounts with the server's staff flags, check and test name staff that
nothing exempts, ST add / SQ add warn about accounts no punishment reaches,
and QUOTA_ANNOUNCE announces the quota punishments done. The sample site's
Marlow carries flags 1M; the other accounts carry 3 (oleander 36)."""

import pytest

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

PASSWORD = 'Adm1n-Pa55!word'
LOGIN = ['USER siteop', 'PASS ' + PASSWORD]
PERIOD = ['setup_quota_starts=11-01-2026', 'setup_quota_ends=12-01-2026',
          'setup_quota_started=1']


def _configure(quarvel, port, **extra):
    conf = dict(quarvel.ioftpd())
    conf.update({'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(port), 'FTP_USER': 'siteop',
                 'FTP_PASS': PASSWORD, 'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '7',
                 'QUOTA_UPLOAD': '1000', 'QUOTA_TYPE': '1', 'QUOTA_PUNISHMENT': '1',
                 'QUOTA_DISABLE_FLAG': '6', 'TRIAL_DISABLE_FLAG': '7',
                 'EXEMPT_USER_EXEMPT': 'staff', 'EXEMPT_USER_DISABLE': 'disabled',
                 'EXEMPT_IN_GROUP': 'group $GROUP'})
    conf.update(extra)
    quarvel.write_conf({key: value for key, value in conf.items() if value is not None})


def _sent(server):
    return [server.received_text(i) for i in range(server.connection_count)]


# -- the period end: who is punished, and what is announced ---------------------

@pytest.mark.parametrize('extra, sent, announced', [
    # Without the new keys, as ever: Marlow (no exempt group) is punished,
    # silently.
    ({}, ['SITE kick brisk', 'SITE DELUSER brisk', 'SITE kick Marlow', 'SITE DELUSER Marlow'],
     []),
    ({'EXEMPT_FLAGS': '1M'}, ['SITE kick brisk', 'SITE DELUSER brisk'], []),
    ({'EXEMPT_FLAGS': 'M', 'QUOTA_ANNOUNCE': '1'}, ['SITE kick brisk', 'SITE DELUSER brisk'],
     ['!putlog QuotaDEL: "brisk"']),
    ({'EXEMPT_FLAGS': '1M', 'QUOTA_ANNOUNCE': '1', 'QUOTA_PUNISHMENT': '2'},
     ['SITE kick brisk', 'SITE CHANGE brisk FLAGS +6'], ['!putlog QuotaDIS: "brisk"']),
    ({'EXEMPT_FLAGS': '1M', 'QUOTA_ANNOUNCE': '0'}, ['SITE kick brisk', 'SITE DELUSER brisk'],
     []),
    ({'EXEMPT_FLAGS': '', 'QUOTA_ANNOUNCE': ''},
     ['SITE kick brisk', 'SITE DELUSER brisk', 'SITE kick Marlow', 'SITE DELUSER Marlow'], []),
], ids=['keys-absent', 'staff-spared', 'delete-announced', 'disable-announced',
        'announce-off', 'keys-empty'])
def test_period_end_spares_staff_and_announces(quarvel, ftp_server, extra, sent, announced):
    server = ftp_server()
    _configure(quarvel, server.port, **extra)
    quarvel.write_store(QUOTA_STORE, lines(*PERIOD, 'brisk=5::0::Couriers',
                                           'Marlow=0::0::SiteOps', 'tamsin=1200::1::Couriers'))
    expected = ['Processing brisk'] + announced + ['Processing Marlow']
    if len(sent) > 2 and announced:
        expected.append(announced[0].replace('brisk', 'Marlow'))
    quarvel.run('newday', date='2026-12-01').expect(stdout=lines(*expected))
    assert _sent(server) == [LOGIN + sent]


def test_refused_punishment_is_not_announced(quarvel, ftp_server):
    server = ftp_server({'replies': {'SITE DELUSER': ['550 Permission denied']}})
    _configure(quarvel, server.port, QUOTA_ANNOUNCE='1', EXEMPT_FLAGS='1M')
    quarvel.write_store(QUOTA_STORE, lines(*PERIOD, 'brisk=5::0::Couriers'))
    result = quarvel.run('newday', date='2026-12-01').expect(stdout=lines('Processing brisk'),
                                                            stderr=None)
    assert b'brisk stays due' in result.stderr


# -- check and test name staff that nothing exempts -----------------------------

def _check_lines(quarvel):
    result = quarvel.run('check').expect(stdout=None, returncode=None)
    return result.returncode, result.stdout.decode('latin-1').split('\r\n')


STAFF_PROBLEM = ('PROBLEM account Marlow has staff flags 1M and nothing exempts it: the trial '
                 'and quota rules punish it (EXEMPT_FLAGS=1M spares staff)')


def test_check_names_staff_nothing_exempts(quarvel, ftp_server):
    server = ftp_server()
    _configure(quarvel, server.port)
    returncode, found = _check_lines(quarvel)
    assert STAFF_PROBLEM in found
    assert returncode == 1

    _configure(quarvel, server.port, EXEMPT_FLAGS='1M')
    returncode, found = _check_lines(quarvel)
    assert STAFF_PROBLEM not in found
    line = quarvel.read_file('quarvel.conf').split(b'\r\n').index(b'EXEMPT_FLAGS=1M') + 1
    assert ('  exempt: Marlow, flags 1M hold a flag of EXEMPT_FLAGS (line %d); shown as: staff'
            % line) in found


def test_check_does_not_say_the_admin_account_is_punished(quarvel, ftp_server):
    # Marlow is the admin login here: counted, but never punished.
    server = ftp_server()
    _configure(quarvel, server.port, FTP_USER='Marlow')
    returncode, found = _check_lines(quarvel)
    assert STAFF_PROBLEM not in found
    assert not [text for text in found if 'punishes the admin' in text]
    line = quarvel.read_file('quarvel.conf').split(b'\r\n').index(b'FTP_USER=Marlow') + 1
    assert ('WARNING FTP_USER (line %d): Marlow is not exempt from the quota: it is enrolled and '
            'its uploads are counted, but as the admin login it is never punished' % line) in found


@pytest.mark.parametrize('admin, extra, tail', [
    ('siteop', {}, ['Staff not exempt: Marlow FLAGS:1M (EXEMPT_FLAGS=1M spares staff)']),
    ('Marlow', {}, ['Staff not exempt: Marlow FLAGS:1M (the admin login: counted, never '
                    'punished)']),
    ('siteop', {'EXEMPT_FLAGS': '1M'}, []),
    ('siteop', {'Quota_Groups': 'SiteOps'}, []),
], ids=['named', 'admin', 'exempt-by-flags', 'exempt-by-group'])
def test_connection_test_names_staff_nothing_exempts(quarvel, ftp_server, admin, extra, tail):
    server = ftp_server()
    _configure(quarvel, server.port, FTP_USER=admin, **extra)
    result = quarvel.run('test').expect(stdout=None)
    found = result.stdout.decode('latin-1').split('\r\n')
    account_list = [i for i, text in enumerate(found) if text.startswith('Account list: ')]
    assert found[account_list[0] + 1:-1] == tail


# -- ST add / SQ add of an account no punishment reaches -------------------------

@pytest.mark.parametrize('admin, extra, command_line, output', [
    ('siteop', {'Quota_Groups': 'SiteOps'}, 'ST add marlow',
     ['!putlog UserADDED: "Marlow"', ' Marlow from SiteOps was added to trial.',
      ' Warning: Marlow is exempt [group SiteOps]; the trial never punishes it.']),
    ('siteop', {'EXEMPT_FLAGS': '1M'}, 'ST add Marlow',
     ['!putlog UserADDED: "Marlow"', ' Marlow from SiteOps was added to trial.',
      ' Warning: Marlow is exempt [staff]; the trial never punishes it.']),
    ('MARLOW', {}, 'ST add marlow',
     ['!putlog UserADDED: "Marlow"', ' Marlow from SiteOps was added to trial.',
      ' Warning: Marlow is the admin login (FTP_USER); the trial never punishes it.']),
    ('Marlow', {}, 'SQ add marlow',
     [' Marlow from SiteOps was added to quota.',
      ' Warning: Marlow is the admin login (FTP_USER); the quota never punishes it.']),
    ('siteop', {}, 'ST add brisk',
     ['!putlog UserADDED: "brisk"', ' brisk from Couriers was added to trial.']),
    ('siteop', {}, 'SQ add marlow', [' Marlow from SiteOps was added to quota.']),
    ('siteop', {'EXEMPT_FLAGS': '1M'}, 'SQ add marlow',
     [' User: Marlow is excluded from quota because [staff]']),
], ids=['exempt-group', 'exempt-flags', 'admin-trial', 'admin-quota', 'plain-trial',
        'plain-quota', 'exempt-quota-refused'])
def test_add_warns_of_accounts_never_punished(quarvel, unreachable_port, admin, extra,
                                              command_line, output):
    _configure(quarvel, unreachable_port, FTP_USER=admin, **extra)
    quarvel.write_store(QUOTA_STORE, lines('setup_quota_starts=12-01-2026',
                                           'setup_quota_ends=01-01-2027', 'setup_quota_started=1'))
    quarvel.run(command_line, date='2026-12-15').expect(stdout=lines(*output))
    # A second add changes nothing and warns no more.
    second = quarvel.run(command_line, date='2026-12-15').expect(stdout=None)
    assert b'Warning' not in second.stdout
    if command_line.startswith('ST'):
        assert quarvel.read_store(TRIAL_STORE).count(b'=0::7::') == 1
