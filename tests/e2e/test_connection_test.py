"""The connection test command: the admin login against the scripted FTP
stand-in, the exact lines it prints, its listing of the sample site and the
account list it names."""

import os

import pytest

from ftp_standin import CLOSE
from quarvel_harness import lines

PASSWORD = 'Adm1n-Pa55!word'

# How the program sees the sample site with these exemption rules: SiteOps is
# an exempt group, flag 6 disables (oleander carries it).
EXEMPTIONS = {
    'Quota_Groups': 'SiteOps',
    'QUOTA_DISABLE_FLAG': '6',
    'TRIAL_DISABLE_FLAG': '7',
    'EXEMPT_IN_GROUP': 'Exempt group $BOLD$GROUP$BOLD',
    'EXEMPT_USER_DISABLE': '$BOLDDisabled$BOLD account',
    'EXEMPT_USER_EXEMPT': 'Exempt user',
}
LISTING = lines(
    'brisk@Couriers FLAGS:3',
    'Marlow@SiteOps FLAGS:1M Exempt group SiteOps',
    'oleander@Friends FLAGS:36 Disabled account',
    'pike@NoGroup FLAGS:3',
    'tamsin@Couriers FLAGS:3',
    'wren@Couriers FLAGS:3',
)
# The sample site keeps an etc\passwd beside its user id table.
ACCOUNTS = 'Account list: %s\\etc\\passwd (6 accounts)'
CONNECTED = lines('', '', '######## Quarvel FTP TEST DONE #######', '', 'Connected to FTP !', ' ')
FAILED = lines('Cant Connect to FTP !',
               'Please check your ioFTPD error.log / quarvel.conf settings.', ' ')


def _configure(quarvel, port, **extra):
    """Writes the configuration; gives the listing's closing account line."""
    conf = dict(quarvel.ioftpd())
    conf.update(EXEMPTIONS)
    conf.update({'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(port), 'FTP_USER': 'siteop',
                 'FTP_PASS': PASSWORD})
    conf.update(extra)
    quarvel.write_conf(conf)
    return lines(ACCOUNTS % conf['ioFTPD'])


def _no_password(result):
    assert PASSWORD.encode() not in result.stdout + result.stderr


def test_reachable_server(quarvel, ftp_server):
    server = ftp_server()
    accounts = _configure(quarvel, server.port)
    result = quarvel.run('test').expect(stdout=CONNECTED + LISTING + accounts)
    _no_password(result)
    # Logged in with the configured account, then dropped without a QUIT.
    assert server.received == [[b'USER siteop\r\n', b'PASS ' + PASSWORD.encode() + b'\r\n']]


def test_text_the_server_sends_after_the_login_comes_first(quarvel, ftp_server):
    # One piece, so that it has all arrived when the login reply is read.
    server = ftp_server({'replies': {'PASS': [
        b'230 Logged in\r\n230 Mind the rules\r\nSecond note\r\n']}})
    accounts = _configure(quarvel, server.port)
    quarvel.run('test').expect(stdout=lines('230 Mind the rules', 'Second note') + CONNECTED[2:]
                               + LISTING + accounts)


def test_unreachable_port(quarvel, unreachable_port):
    accounts = _configure(quarvel, unreachable_port)
    _no_password(quarvel.run('test').expect(stdout=FAILED + LISTING + accounts))


@pytest.mark.parametrize('script', [
    {'replies': {'PASS': ['530 Login incorrect: ' + PASSWORD]}},
    {'replies': {'USER': ['530 Not you', CLOSE]}},
    {'greeting': ['421 Too many users']},
], ids=['password-refused', 'user-refused', 'busy'])
def test_refused_login(quarvel, ftp_server, script):
    server = ftp_server(script)
    accounts = _configure(quarvel, server.port)
    _no_password(quarvel.run('test').expect(stdout=FAILED + LISTING + accounts))


def test_listing_without_a_user_table(quarvel, unreachable_port):
    # The account list is still etc\passwd; the database cannot be read
    # without its user id table, which is said once on standard error.
    accounts = _configure(quarvel, unreachable_port, UserTABLE='')
    result = quarvel.run('test').expect(stdout=FAILED + accounts, stderr=None)
    assert result.stderr.startswith(b'Quarvel: the user database cannot be read (no user id table')
    assert result.stderr.count(b'\r\n') == 1 and result.stderr.endswith(b'\r\n')
    accounts = _configure(quarvel, unreachable_port,
                          UserTABLE=quarvel.path(quarvel.root / 'missing'))
    quarvel.run('test').expect(stdout=FAILED + accounts, stderr=None)


def test_stock_site_without_passwd_marks_deleted_and_expired_accounts(quarvel, unreachable_port):
    """ioFTPD 7 keeps no etc\\passwd: the user id table is the account list.
    SITE DELUSER only marks an account, and ExpiresAt ends one; both stay in
    the table and are marked in the listing."""
    conf = quarvel.ioftpd()
    site = quarvel.root / 'ioftpd-site'
    os.remove(site / 'etc' / 'passwd')
    _mark(site / 'users' / '5', b'DeletedOn 0', b'DeletedMsg no uploads\r\nDeletedOn 1751328300')
    _mark(site / 'users' / '6', b'ExpiresAt 0', b'ExpiresAt 1751328000')  # 07-01-2025
    _configure(quarvel, unreachable_port)
    listing = LISTING.replace(b'pike@NoGroup FLAGS:3', b'pike@NoGroup FLAGS:3 (deleted)')
    quarvel.run('test', date='2025-07-01').expect(
        stdout=FAILED + listing + lines('Account list: %s (6 accounts)' % conf['UserTABLE']))
    listing = listing.replace(b'wren@Couriers FLAGS:3', b'wren@Couriers FLAGS:3 (expired)')
    quarvel.run('test', date='2025-07-02').expect(
        stdout=FAILED + listing + lines('Account list: %s (6 accounts)' % conf['UserTABLE']))


def _mark(user_file, old, new):
    text = user_file.read_bytes()
    assert old + b'\r\n' in text
    user_file.write_bytes(text.replace(old + b'\r\n', new + b'\r\n'))


def test_only_the_whole_line_test_runs_it(quarvel, unreachable_port):
    accounts = _configure(quarvel, unreachable_port)
    quarvel.run('TEST').expect(stdout=FAILED + LISTING + accounts)
    quarvel.run('test ').expect(stdout=b'')


def test_a_server_that_echoes_the_password_does_not_show_it(quarvel, ftp_server):
    server = ftp_server({'replies': {'PASS': [
        b'230 Logged in\r\n230-Welcome back, ' + PASSWORD.encode() + b'\r\n230 ' +
        PASSWORD.encode() + b' is your password\r\n']}})
    accounts = _configure(quarvel, server.port)
    result = quarvel.run('test').expect(stdout=lines(
        '230-Welcome back, ********', '230 ******** is your password') + CONNECTED[2:] + LISTING
        + accounts)
    _no_password(result)
