"""`quarvel check` on a copy of the sample configuration (quarvel.conf.sample)
pointed at the sample server database and the scripted FTP stand-in: each
mistake an operator makes gives its finding with the key and the line, the
exit code says whether anything is wrong, and nothing is written."""

import re

import pytest

from ftp_standin import CLOSE
from quarvel_harness import REPO, lines

PASSWORD = 'Adm1n-Pa55!word'
SAMPLE = (REPO / 'quarvel.conf.sample').read_text('latin-1').splitlines()


def line_of(key):
    """The number of the sample's line that sets `key`."""
    for number, text in enumerate(SAMPLE, 1):
        if text.startswith(key + '='):
            return number
    raise KeyError(key)


def sample_conf(quarvel, port, admin='Marlow', **values):
    """The sample file, line for line, with the site's paths, the stand-in's
    login and `values` put in place of the values it holds."""
    values = dict(quarvel.ioftpd(), FTP_HOST='127.0.0.1', FTP_PORT=str(port), FTP_USER=admin,
                  FTP_PASS=PASSWORD, **values)
    out = []
    for text in SAMPLE:
        key = text.split('=', 1)[0]
        out.append('%s=%s' % (key, values[key]) if '=' in text and key in values else text)
    return out


def check(quarvel, conf):
    quarvel.write_conf(conf)
    before = {name: quarvel.read_file(name) for name in quarvel.files()}
    result = quarvel.run('check').expect(stdout=None, returncode=None)
    # Nothing is written, nothing is left behind; the password never shows.
    assert {name: quarvel.read_file(name) for name in quarvel.files()} == before
    assert PASSWORD.encode() not in result.stdout + result.stderr
    return result


def mistake(key, wrong_line):
    """The sample with the line of `key` replaced."""
    return key, wrong_line


MISTAKES = {
    'key-typo-trial': (mistake('TRIAL_UPLOAD', 'TRIAL_UPLAOD=5000'), [
        'PROBLEM line {line}: TRIAL_UPLAOD is not a key Quarvel reads; did you mean TRIAL_UPLOAD?',
        'PROBLEM TRIAL_UPLOAD is not set: it reads as 0 and every trial user passes at the next '
        'checkup']),
    'key-typo-quota': (mistake('QUOTA_UPLOAD', 'QUOTA_UPLAOD=10000'), [
        'PROBLEM line {line}: QUOTA_UPLAOD is not a key Quarvel reads; did you mean QUOTA_UPLOAD?',
        'PROBLEM QUOTA_UPLOAD is not set: it reads as 0 and every quota member passes']),
    'tab-after-key': (mistake('TRIAL_DAYS', 'TRIAL_DAYS\t=7'), [
        'PROBLEM line {line}: TRIAL_DAYS has a tab beside its name, so the line is never read',
        'PROBLEM TRIAL_DAYS is not set: it reads as 0 and new trials start with no days']),
    'not-a-number': (mistake('QUOTA_UPLOAD', 'QUOTA_UPLOAD=10,000'), [
        'PROBLEM line {line}: QUOTA_UPLOAD=10,000 is not a number; it reads as 10']),
    'empty-disable-flag': (mistake('QUOTA_DISABLE_FLAG', 'QUOTA_DISABLE_FLAG='), [
        'PROBLEM line {line}: QUOTA_DISABLE_FLAG is empty: every account with any flags counts '
        'as disabled and is exempt from the quota']),
    'wrong-group-table': (mistake('GroupTABLE', 'GroupTABLE={missing}'), [
        'PROBLEM GroupTABLE (line {line}): the file {missing} does not exist',
        'PROBLEM account Marlow belongs to no group (GroupTABLE (line {line})): trial and quota '
        'commands refuse it']),
    'wrong-user-table': (mistake('UserTABLE', 'UserTABLE={missing}'), [
        'PROBLEM UserTABLE (line {line}): the file {missing} does not exist']),
    'remark-after-flag': (mistake('QUOTA_DISABLE_FLAG', 'QUOTA_DISABLE_FLAG=6 # disabled'), [
        'PROBLEM line {line}: QUOTA_DISABLE_FLAG: "# disabled" is not a remark here: a value has '
        'no remarks after it, so it reads as "6 # disabled"']),
    'remark-after-group': (mistake('Quota_Groups', 'Quota_Groups=SiteOps  ; exempt staff'), [
        'PROBLEM line {line}: Quota_Groups: "; exempt staff" is not a remark here: a value has '
        'no remarks after it, so it reads as "SiteOps  ; exempt staff"',
        'PROBLEM Quota_Groups (line {line}): no group is called SiteOps  ; exempt staff (letter '
        'case counts)']),
    'unknown-group': (mistake('Quota_Groups', 'Quota_Groups=Site Ops|SiteOps'), [
        'PROBLEM Quota_Groups (line {line}): no group is called Site Ops (letter case counts)']),
    'unknown-user': (mistake('Quota_Users', 'Quota_Users=MARLOW|bobb'), [
        'PROBLEM Quota_Users (line {line}): no account is called bobb']),
    # A folder name that is the start of a real one ("user" of "users").
    'user-folder-typo': (mistake('UserFOLDER', 'UserFOLDER={users_typo}'), [
        'PROBLEM UserFOLDER (line {line}): the folder {users_typo} does not exist',
        '  accounts: not read until the server paths above are right']),
}

# Lines that only follow from another mistake, never to be printed.
CASCADE = re.compile(r'^(  exempt: |PROBLEM account |.* is empty$)')


@pytest.mark.parametrize('name', MISTAKES)
def test_each_mistake_is_named_with_its_key_and_line(quarvel, ftp_server, name):
    (key, wrong), expected = MISTAKES[name]
    missing = quarvel.path(quarvel.root / 'no-such-file')
    conf = sample_conf(quarvel, ftp_server().port)
    line = line_of(key)
    users_typo = quarvel.ioftpd()['UserFOLDER'][:-1]
    conf[line - 1] = wrong.format(missing=missing, users_typo=users_typo)
    result = check(quarvel, conf)
    assert result.returncode != 0
    found = result.stdout.decode('latin-1').split('\r\n')
    for text in expected:
        assert text.format(line=line, missing=missing, users_typo=users_typo) in found, \
            result.stdout
    if name in ('user-folder-typo', 'wrong-user-table'):
        assert not [text for text in found if CASCADE.match(text)], result.stdout
    assert found[-2] != 'check: no problems found'


def test_clean_sample_passes_and_lists_the_exemptions(quarvel, ftp_server):
    server = ftp_server()
    result = check(quarvel, sample_conf(quarvel, server.port))
    site = quarvel.ioftpd()
    passwd = quarvel.path(quarvel.root / 'ioftpd-site' / 'etc' / 'passwd')
    assert result.stdout == lines(
        'Quarvel check of ' + quarvel.path(quarvel.data / 'quarvel.conf'),
        '  ioFTPD ' + site['ioFTPD'],
        '  UserTABLE %s: 6 accounts' % site['UserTABLE'],
        '  UserFOLDER ' + site['UserFOLDER'],
        '  GroupTABLE %s: 4 groups' % site['GroupTABLE'],
        '  account list %s: 6 accounts' % passwd,
        '  exempt: Marlow, in the group SiteOps of Quota_Groups (line %d); shown as: member of '
        'the exempt group SiteOps' % line_of('Quota_Groups'),
        '  exempt: oleander, flags 36 hold QUOTA_DISABLE_FLAG (line %d); shown as: disabled '
        'account' % line_of('QUOTA_DISABLE_FLAG'),
        '  admin login: 127.0.0.1 port %d as Marlow, password ********' % server.port,
        '  < 230 User logged in',
        '  > SITE kick quarvel-check-nobody',
        '  < 200 Command okay',
        '  admin Marlow has flags 1M: the server\'s default permissions let it kick, delete and '
        'change flags',
        'check: no problems found'), result.stdout
    assert result.returncode == 0
    assert server.received[0][-1] == b'QUIT\r\n'


@pytest.mark.parametrize('script, admin, expected', [
    ({'replies': {'PASS': ['530 Login incorrect: ' + PASSWORD]}}, 'Marlow', [
        '  < 530 Login incorrect: ********',
        'PROBLEM FTP_USER (line {user}), FTP_PASS (line {password}): the server refused the '
        'login of Marlow']),
    ({'replies': {'SITE KICK': ['500 SITE KICK: Permission denied']}}, 'Marlow', [
        '  < 500 SITE KICK: Permission denied',
        'PROBLEM FTP_USER (line {user}): the server does not let Marlow use SITE kick']),
    (None, 'brisk', [
        'PROBLEM FTP_USER (line {user}): brisk has flags 3; without flag 1 or M the server\'s '
        'default permissions refuse it SITE kick, SITE DELUSER and SITE CHANGE FLAGS',
        'WARNING FTP_USER (line {user}): brisk is not exempt from the quota: it is enrolled and '
        'its uploads are counted, but as the admin login it is never punished']),
    # A server that wants TLS answers USER and closes; its reply is shown
    # and FTP_TLS named, not the account.
    ({'replies': {'USER': ['550 SSL/TLS required', CLOSE]}}, 'Marlow', [
        '  < 550 SSL/TLS required',
        'PROBLEM FTP_TLS (line {tls}): the server wants TLS for the login of Marlow; '
        'set FTP_TLS=1']),
    ({'replies': {'PASS': ['534 Policy requires an encrypted session']}}, 'Marlow', [
        '  < 534 Policy requires an encrypted session',
        'PROBLEM FTP_TLS (line {tls}): the server wants TLS for the login of Marlow; '
        'set FTP_TLS=1']),
    ({'replies': {'USER': ['530 Not you', CLOSE]}}, 'Marlow', [
        '  < 530 Not you',
        'PROBLEM FTP_USER (line {user}), FTP_PASS (line {password}): the server refused the '
        'login of Marlow']),
], ids=['wrong-password', 'kick-refused', 'admin-without-rights', 'tls-wanted-at-user',
        'tls-wanted-534', 'user-refused'])
def test_admin_login_and_rights(quarvel, ftp_server, script, admin, expected):
    server = ftp_server(script)
    result = check(quarvel, sample_conf(quarvel, server.port, admin=admin))
    assert result.returncode == 1
    found = result.stdout.decode('latin-1').split('\r\n')
    for text in expected:
        assert text.format(user=line_of('FTP_USER'), password=line_of('FTP_PASS'),
                           tls=line_of('FTP_TLS')) in found, result.stdout
    assert not [text for text in found if 'punishes the admin' in text or '(no reply)' in text]


def test_unreachable_server_and_missing_file(quarvel, unreachable_port):
    result = check(quarvel, sample_conf(quarvel, unreachable_port))
    assert result.returncode == 1
    assert re.search(rb'\r\nPROBLEM FTP_HOST \(line \d+\), FTP_PORT \(line \d+\): no FTP server '
                     rb'answers at 127\.0\.0\.1 port \d+ \(\d{3} Unable to open socket\)\r\n'
                     rb'check: 1 problem\r\n$', result.stdout), result.stdout
    # Without a configuration file: which file was looked for, no LOADCFG lines.
    (quarvel.data / 'quarvel.conf').unlink()
    conf = quarvel.path(quarvel.data / 'quarvel.conf')
    quarvel.run('CHECK').expect(stdout=lines(
        'Quarvel check of ' + conf,
        'PROBLEM the configuration file %s cannot be read (error 53); check reads it from the '
        'working folder' % conf,
        'check: 1 problem'), returncode=1)
