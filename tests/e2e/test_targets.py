"""One trial target for every decision: TRIAL_UPLOAD is compared as set,
fraction and all, whether an upload, ST give or checkup finds a user at it,
and a target lowered under users who already meet it passes them. Every
pass is the same: announced, TRIAL_ONPASS sent, the suspended quota record
counting again."""

import re

import pytest

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

TODAY = '2026-12-15'
PERIOD = b'setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\nsetup_quota_started=1\r\n'
MB = 1024 * 1024
PASSED = lines('!putlog PassedTrial: "brisk"')


def configure(quarvel, port, target):
    conf = dict(quarvel.ioftpd())
    conf.update({'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(port), 'FTP_USER': 'siteop',
                 'FTP_PASS': 's3cret', 'TRIAL_UPLOAD': target, 'TRIAL_DAYS': '14',
                 'TRIAL_ONPASS': 'SITE CHANGE $USER ratio 3', 'QUOTA_UPLOAD': '1000',
                 'QUOTA_TYPE': '1', 'QUOTA_DISABLE_FLAG': '6', 'TRIAL_DISABLE_FLAG': '5'})
    quarvel.write_conf(conf)


def upload(quarvel, megabytes):
    quarvel.write_file('part.rar', b'x' * int(megabytes * MB))
    path = quarvel.data / 'part.rar'
    shown = quarvel.path(path) if quarvel.target.windows else str(path)
    return quarvel.run('UD "%s" 1 0' % shown, env={'user': 'brisk', 'group': 'Couriers'},
                       date=TODAY)


def give(quarvel, megabytes):
    return quarvel.run('ST give brisk %s' % megabytes, date=TODAY)


def checkup(quarvel, megabytes):
    return quarvel.run('checkup', date=TODAY)


# (how the amount is reached, TRIAL_UPLOAD, stored amount, amount added, passes,
#  what the command itself prints before the pass)
CASES = [
    ('upload', '500.6', '500', 0.7, True, b''),
    ('upload', '500.6', '500', 0.5, False, b''),
    ('give', '500.6', '500', '0.6', True, lines(' gave brisk 0.6mB')),
    ('give', '500.6', '500', '0.5', False, lines(' gave brisk 0.5mB')),
    # An amount beyond any whole number saturates, and passes as any other.
    ('give', '500.6', '500', '99999999999999999999', True,
     lines(' gave brisk 99999999999999999999mB')),
    ('checkup', '500.6', '500.7', None, True, b''),
    ('checkup', '500.6', '500.5', None, False, b''),
    ('checkup', '100', '250', None, True, b''),  # the target lowered under the user
]


@pytest.mark.parametrize('how, trial_upload, stored, added, passes, said', CASES,
                         ids=['-'.join(str(v) for v in c[:4]) for c in CASES])
def test_the_target_as_set_decides_every_pass(quarvel, ftp_server, how, trial_upload, stored,
                                             added, passes, said):
    server = ftp_server()
    configure(quarvel, server.port, trial_upload)
    quarvel.write_store(TRIAL_STORE, b'\r\nbrisk=%s::9::Couriers\r\n' % stored.encode())
    quarvel.write_store(QUOTA_STORE, PERIOD + b'brisk=0::2::Couriers\r\n')
    result = {'upload': upload, 'give': give, 'checkup': checkup}[how](quarvel, added)
    result.expect(said + (PASSED if passes else b''))
    sent = [line for c in range(server.connection_count)
            for line in server.received_text(c) if line.startswith('SITE ')]
    if passes:
        assert sent == ['SITE CHANGE brisk ratio 3']
        assert quarvel.read_store(TRIAL_STORE) == b'\r\n'
        # Counting again (an upload credits the quota as well).
        assert re.search(rb'\r\nbrisk=[0-9.]+::0::Couriers\r\n', quarvel.read_store(QUOTA_STORE))
    else:
        assert sent == []
        assert b'brisk=' in quarvel.read_store(TRIAL_STORE)
