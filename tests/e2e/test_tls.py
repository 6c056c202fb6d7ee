"""The admin login over TLS (FTP_TLS=1): the connection test, a punishment
at newday and a TRIAL_ONPASS command against pyftpdlib and vsftpd with
explicit TLS and a self-signed certificate pinned by FTP_TLS_FINGERPRINT;
a certificate that is not the pinned one, and a server without TLS, get no
USER or PASS."""

import re
import shutil

import pytest

import real_ftp_servers
from quarvel_harness import TRIAL_STORE, lines
from test_connection_test import ACCOUNTS, CONNECTED, EXEMPTIONS, FAILED, LISTING

PASSWORD = real_ftp_servers.PASSWORD
STOPPED = b'FTP TLS login stopped: '


@pytest.fixture(params=['pyftpdlib', 'vsftpd'])
def tls_server(request, tmp_path):
    """A server that takes logins only over TLS: (server, certificate)."""
    work = tmp_path / 'server'
    work.mkdir()
    try:
        certificate = real_ftp_servers.make_certificate(work)
        if request.param == 'pyftpdlib':
            root = work / 'root'
            root.mkdir()
            process, server = real_ftp_servers.start_pyftpdlib(root, user='siteop',
                                                                tls=certificate)
        else:
            process, server = real_ftp_servers.start_vsftpd(work, tls=certificate)
    except real_ftp_servers.ServerError as e:
        pytest.fail(str(e), pytrace=False)
    yield server, certificate
    real_ftp_servers.stop(process)
    if server.name == 'vsftpd':
        shutil.rmtree(server.root, ignore_errors=True)


def _configure(quarvel, server, **extra):
    conf = dict(quarvel.ioftpd())
    conf.update(EXEMPTIONS)
    conf.update({'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(server.port),
                 'FTP_USER': server.user, 'FTP_PASS': server.password, 'FTP_TLS': '1',
                 'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '7', 'TRIAL_PUNISHMENT': '1',
                 'QUOTA_PUNISHMENT': '1', 'QUOTA_UPLOAD': '1000', 'QUOTA_TYPE': '1'})
    conf.update(extra)
    quarvel.write_conf(conf)
    return lines(ACCOUNTS % conf['ioFTPD'])


def _fingerprint_line(certificate):
    return lines('TLS certificate SHA-256: %s (not trusted by this system; '
                 'FTP_TLS_FINGERPRINT pins it)' % certificate.fingerprint)


def _no_password(result, server):
    assert getattr(server, 'password', PASSWORD).encode() not in result.stdout + result.stderr


def _sent(server):
    """The command lines the server received, with the password hidden as
    vsftpd's log hides it."""
    return ['PASS <password>' if c.startswith('PASS ') else c for c in server.commands()]


LOGGED_IN = ['AUTH TLS', 'USER {user}', 'PASS <password>', 'PBSZ 0', 'PROT P']


def _logged_in(server):
    return [c.format(user=server.user) for c in LOGGED_IN]


@pytest.mark.parametrize('pin', ['as printed', 'lower case without colons'])
def test_connection_test_with_the_pinned_certificate(quarvel, tls_server, pin):
    server, certificate = tls_server
    pinned = certificate.fingerprint
    if pin != 'as printed':
        pinned = pinned.replace(':', '').lower()
    accounts = _configure(quarvel, server, FTP_TLS_FINGERPRINT=pinned)
    result = quarvel.run('test').expect(
        stdout=_fingerprint_line(certificate) + CONNECTED + LISTING + accounts)
    _no_password(result, server)
    assert _sent(server) == _logged_in(server)


def test_another_certificate_gets_no_login(quarvel, tls_server):
    server, certificate = tls_server
    other = '00:' * 31 + 'FF'
    accounts = _configure(quarvel, server, FTP_TLS_FINGERPRINT=other)
    result = quarvel.run('test').expect(
        stdout=_fingerprint_line(certificate) + FAILED + LISTING + accounts,
        stderr=STOPPED + ("the FTP server's TLS certificate (SHA-256 %s) is not trusted by "
                          "this system and does not match the pinned fingerprint "
                          "(FTP_TLS_FINGERPRINT)\r\n" % certificate.fingerprint).encode())
    _no_password(result, server)
    assert _sent(server) == ['AUTH TLS']


def test_newday_punishes_an_expired_trial_over_tls(quarvel, tls_server):
    server, certificate = tls_server
    _configure(quarvel, server, FTP_TLS_FINGERPRINT=certificate.fingerprint)
    quarvel.write_store(TRIAL_STORE, b'\r\nbob=10::1::G\r\nann=0::3::G\r\n')
    # These servers know no SITE DELUSER: their refusal comes back over TLS
    # and is read, so bob is not announced and stays due.
    result = quarvel.run('newday', date='2026-12-10').expect(stdout=b'', stderr=None)
    _no_password(result, server)
    assert re.fullmatch(rb'bob stays due: SITE DELUSER bob: 5\d\d [^\r\n]*\r\n', result.stderr)
    assert quarvel.read_store(TRIAL_STORE) == lines(
        'bob=10::0::G', 'ann=0::2::G', 'setup_trial_counted=12-10-2026', 'setup_trial_due=bob')
    assert _sent(server) == _logged_in(server) + ['SITE DELUSER bob']


def test_trial_pass_sends_the_onpass_command_over_tls(quarvel, tls_server):
    server, certificate = tls_server
    _configure(quarvel, server, FTP_TLS_FINGERPRINT=certificate.fingerprint,
               TRIAL_ONPASS='SITE CHANGE $USER ratio 3')
    quarvel.write_store(TRIAL_STORE, b'\r\nbrisk=499.9::3::Couriers\r\n')
    result = quarvel.run('ST give brisk 0.1', date='2026-12-15').expect(
        stdout=lines(' gave brisk 0.1mB', '!putlog PassedTrial: "brisk"'), stderr=None)
    _no_password(result, server)
    # The pass stands; that the server refused the command is said.
    assert re.fullmatch(rb'brisk passed the trial, but TRIAL_ONPASS was not done: '
                        rb'SITE CHANGE brisk ratio 3: 5\d\d [^\r\n]*\r\n', result.stderr)
    assert quarvel.read_store(TRIAL_STORE) == b'\r\n'
    assert _sent(server) == _logged_in(server) + ['SITE CHANGE brisk ratio 3', 'QUIT']


@pytest.mark.parametrize('value', ['1', 'yes'])
def test_a_server_without_tls_never_gets_the_password(quarvel, ftp_server, value):
    server = ftp_server()
    conf = dict(quarvel.ioftpd())
    conf.update(EXEMPTIONS)
    conf.update(quarvel.ftp_conf(server, password=PASSWORD))
    conf['FTP_TLS'] = value
    quarvel.write_conf(conf)
    result = quarvel.run('test').expect(
        stdout=FAILED + LISTING + lines(ACCOUNTS % conf['ioFTPD']),
        stderr=STOPPED + b'the FTP server refused AUTH TLS: "502 Command not implemented"\r\n')
    _no_password(result, server)
    assert server.received == [[b'AUTH TLS\r\n']]


def test_ftp_tls_0_is_the_plain_login(quarvel, ftp_server):
    server = ftp_server()
    conf = dict(quarvel.ioftpd())
    conf.update(EXEMPTIONS)
    conf.update(quarvel.ftp_conf(server, password=PASSWORD))
    conf.update({'FTP_TLS': '0', 'FTP_TLS_FINGERPRINT': '00:11'})
    quarvel.write_conf(conf)
    quarvel.run('test').expect(stdout=CONNECTED + LISTING + lines(ACCOUNTS % conf['ioFTPD']))
    assert server.received == [[b'USER siteop\r\n', b'PASS ' + PASSWORD.encode() + b'\r\n']]
