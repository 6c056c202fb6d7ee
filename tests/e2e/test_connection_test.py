"""The connection test command: the admin login against the scripted FTP
stand-in, the exact lines it prints, and its listing of the sample site."""

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
CONNECTED = lines('', '', '######## Quarvel FTP TEST DONE #######', '', 'Connected to FTP !', ' ')
FAILED = lines('Cant Connect to FTP !',
               'Please check your ioFTPD error.log / quarvel.conf settings.', ' ')


def _configure(quarvel, port, **extra):
    conf = dict(quarvel.ioftpd())
    conf.update(EXEMPTIONS)
    conf.update({'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(port), 'FTP_USER': 'siteop',
                 'FTP_PASS': PASSWORD})
    conf.update(extra)
    quarvel.write_conf(conf)


def _no_password(result):
    assert PASSWORD.encode() not in result.stdout + result.stderr


@pytest.mark.command('test')
def test_reachable_server(quarvel, ftp_server):
    server = ftp_server()
    _configure(quarvel, server.port)
    result = quarvel.run('test').expect(stdout=CONNECTED + LISTING)
    _no_password(result)
    # Logged in with the configured account, then dropped without a QUIT.
    assert server.received == [[b'USER siteop\r\n', b'PASS ' + PASSWORD.encode() + b'\r\n']]


@pytest.mark.command('test')
def test_text_the_server_sends_after_the_login_comes_first(quarvel, ftp_server):
    # One piece, so that it has all arrived when the login reply is read.
    server = ftp_server({'replies': {'PASS': [
        b'230 Logged in\r\n230 Mind the rules\r\nSecond note\r\n']}})
    _configure(quarvel, server.port)
    quarvel.run('test').expect(stdout=lines('230 Mind the rules', 'Second note') + CONNECTED[2:]
                               + LISTING)


@pytest.mark.command('test')
def test_unreachable_port(quarvel, unreachable_port):
    _configure(quarvel, unreachable_port)
    _no_password(quarvel.run('test').expect(stdout=FAILED + LISTING))


@pytest.mark.command('test')
@pytest.mark.parametrize('script', [
    {'replies': {'PASS': ['530 Login incorrect: ' + PASSWORD]}},
    {'replies': {'USER': ['530 Not you', CLOSE]}},
    {'greeting': ['421 Too many users']},
], ids=['password-refused', 'user-refused', 'busy'])
def test_refused_login(quarvel, ftp_server, script):
    server = ftp_server(script)
    _configure(quarvel, server.port)
    _no_password(quarvel.run('test').expect(stdout=FAILED + LISTING))


@pytest.mark.command('test')
def test_listing_without_a_user_table(quarvel, unreachable_port):
    _configure(quarvel, unreachable_port, UserTABLE='')
    quarvel.run('test').expect(stdout=FAILED)
    _configure(quarvel, unreachable_port, UserTABLE=quarvel.path(quarvel.root / 'missing'))
    quarvel.run('test').expect(stdout=FAILED)


@pytest.mark.command('test')
def test_only_the_whole_line_test_runs_it(quarvel, unreachable_port):
    _configure(quarvel, unreachable_port)
    quarvel.run('TEST').expect(stdout=FAILED + LISTING)
    quarvel.run('test ').expect(stdout=b'')


@pytest.mark.command('test')
def test_a_server_that_echoes_the_password_does_not_show_it(quarvel, ftp_server):
    server = ftp_server({'replies': {'PASS': [
        b'230 Logged in\r\n230-Welcome back, ' + PASSWORD.encode() + b'\r\n230 ' +
        PASSWORD.encode() + b' is your password\r\n']}})
    _configure(quarvel, server.port)
    result = quarvel.run('test').expect(stdout=lines(
        '230-Welcome back, ********', '230 ******** is your password') + CONNECTED[2:] + LISTING)
    _no_password(result)
