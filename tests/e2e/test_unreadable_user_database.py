"""A run that cannot read the server's user database must not take that for
"nobody exists": every record stays as it is, and one line on standard error
says why. The quota period's turn waits for a run that can read it."""

import os
import shutil

import pytest

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

# With punishments left due by an earlier night and the date last counted:
# neither is touched while the user database cannot be read.
TRIALS = lines('wren=600::3::Couriers', 'tamsin=1::3::Couriers', 'ghost=0::3::G',
               'rook=0::0::Couriers', 'setup_trial_counted=11-10-2026', 'setup_trial_due=rook')
PERIOD = lines('setup_quota_starts=11-01-2026', 'setup_quota_ends=12-01-2026',
               'setup_quota_started=1', 'brisk=1000::0::Couriers', 'pike=5::3::NoGroup',
               'wren=0::2::Couriers', 'tamsin=0::2::Couriers', 'ghost=1::0::X',
               'setup_quota_pending=oleander')


def _lose_user_table(site):
    os.rename(site / 'etc' / 'UserIdTable', site / 'etc' / 'UserIdTable.away')


def _unreadable_user_table(site):
    # The runs are started as root, who may read any file whatever its mode:
    # a folder in the table's place cannot be opened as a file either.
    os.remove(site / 'etc' / 'UserIdTable')
    os.mkdir(site / 'etc' / 'UserIdTable')


def _lose_server_folder(site):
    shutil.rmtree(site)


@pytest.mark.parametrize('damage, why', [
    (_lose_user_table, b'(no user id table "'),
    (_unreadable_user_table, b'(the user id table "'),
    (_lose_server_folder, b'(no server folder "'),
], ids=['table-missing', 'table-unreadable', 'server-folder-missing'])
@pytest.mark.parametrize('command_line, date', [
    ('checkup', '2026-11-11'),
    ('qnow', '2026-11-11'),
    ('newday', '2026-12-01'),   # the period's end
])
def test_stores_stay_and_one_line_says_why(quarvel, unreachable_port, damage, why,
                                           command_line, date):
    conf = dict(quarvel.ioftpd())
    conf.update({'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(unreachable_port),
                 'TRIAL_UPLOAD': '500', 'QUOTA_UPLOAD': '1000', 'QUOTA_TYPE': '1',
                 'QUOTA_PUNISHMENT': '1', 'AddLate': '1', 'ToGive': '10'})
    quarvel.write_conf(conf)
    quarvel.write_store(TRIAL_STORE, TRIALS)
    quarvel.write_store(QUOTA_STORE, PERIOD)
    damage(quarvel.root / 'ioftpd-site')
    result = quarvel.run(command_line, date=date).expect(stdout=b'', stderr=None)
    assert result.stderr.startswith(b'Quarvel: the user database cannot be read ' + why)
    assert result.stderr.endswith(b'; no record was changed.\r\n')
    assert result.stderr.count(b'\n') == 1
    assert quarvel.read_store(QUOTA_STORE) == PERIOD
    assert quarvel.read_store(TRIAL_STORE) == TRIALS
    # The audit log holds the same line, and nothing else.
    log = quarvel.read_file('Quarvel.log').split(b' | ')
    assert log[1:] == [command_line.encode(), b'-', b'-', b'-', result.stderr]
