"""The operators' ST and SQ commands: the exact lines printed and the exact
store files after each run, on the sample server database (users Marlow in
the exempt group SiteOps, brisk and wren in Couriers, oleander disabled with
flag 6), with two accounts added for these tests: Bob (Couriers) and nogrp
(no group)."""

import pytest

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

TODAY = '2026-12-15'
PERIOD = b'setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\nsetup_quota_started=1\r\n'


@pytest.fixture
def site(quarvel):
    conf = {
        'TRIAL_UPLOAD': '500',
        'TRIAL_DAYS': '14',
        'QUOTA_UPLOAD': '1000',
        'QUOTA_TYPE': '1',
        'QUOTA_DISABLE_FLAG': '6',
        'TRIAL_DISABLE_FLAG': '5',
        'Quota_Groups': 'SiteOps',
        'EXEMPT_IN_GROUP': 'in the $GROUP group',
    }
    conf.update(quarvel.ioftpd())
    quarvel.write_conf(conf)
    server = quarvel.root / 'ioftpd-site'
    with open(server / 'etc' / 'UserIdTable', 'ab') as table:
        table.write(b'Bob:7:STANDARD\r\nnogrp:8:STANDARD\r\n')
    (server / 'users' / '7').write_bytes(b'groups 3\r\nflags 3\r\n')
    (server / 'users' / '8').write_bytes(b'flags 3\r\n')
    return quarvel


def run(site, command_line):
    return site.run(command_line, date=TODAY)


def stores(site):
    return site.read_store(TRIAL_STORE), site.read_store(QUOTA_STORE)


# -- ST ----------------------------------------------------------------------

def test_trial_add_stores_the_database_spelling_and_suspends_the_quota(site):
    site.write_store(QUOTA_STORE, PERIOD + b'BOB=1200::1::Couriers\r\nwren=3::0::Couriers\r\n')
    run(site, 'ST add BOB').expect(lines(
        '!putlog UserADDED: "Bob"',
        ' Bob from Couriers was added to trial.'))
    assert stores(site) == (
        b'\r\nBob=0::14::Couriers\r\n',
        PERIOD + b'wren=3::0::Couriers\r\nBOB=1200::2::Couriers\r\n')
    run(site, 'st ADD bob').expect(lines(' bob already exists in trial.'))
    assert site.read_store(TRIAL_STORE) == b'\r\nBob=0::14::Couriers\r\n'


@pytest.mark.parametrize('command_line, output', [
    ('ST add zed', ' User: zed doesnt exist on FTP User Database.'),
    ('ST add NOGRP', ' User: nogrp doesnt have a group.'),
])
def test_refused_trial_add_writes_nothing(site, command_line, output):
    quota = PERIOD + b'zed=1::0::X\r\nNOGRP=2::1::\r\n'
    site.write_store(QUOTA_STORE, quota)
    run(site, command_line).expect(lines(output))
    assert stores(site) == (None, quota)


def test_trial_del_gives_the_quota_back_counting_or_excluded(site):
    site.write_store(TRIAL_STORE, b'\r\nBob=40::9::Couriers\r\noleander=2::9::Friends\r\n'
                     b'gone=1::1::X\r\n')
    site.write_store(QUOTA_STORE, PERIOD + b'Bob=40::2::Couriers\r\noleander=2::2::Friends\r\n'
                     b'gone=1::2::X\r\n')
    run(site, 'ST del bob').expect(lines(
        '!putlog UserDEL: "bob"',
        ' bob was deleted from trial.'))
    run(site, 'ST del oleander').expect(lines(
        '!putlog UserDEL: "oleander"',
        ' oleander was deleted from trial.'))
    run(site, 'ST del gone').expect(lines(
        '!putlog UserDEL: "gone"',
        ' gone was deleted from trial.'))
    assert stores(site) == (
        b'\r\n',
        PERIOD + b'bob=40::0::Couriers\r\noleander=2::3::Friends\r\n')
    run(site, 'ST del bob').expect(lines(" bob doesn't exists in trial."))


def test_trial_give_with_and_without_amounts(site):
    site.write_store(TRIAL_STORE, b'\r\nbob=100::3::Couriers\r\nwren=1::1::Couriers\r\n')
    run(site, 'ST give bob 25.5').expect(lines(' gave bob 25.5mB'))
    assert site.read_store(TRIAL_STORE) == b'wren=1::1::Couriers\r\nbob=125.5::3::Couriers\r\n'
    run(site, 'ST give bob').expect(TRIAL_GIVE_USAGE)
    assert site.read_store(TRIAL_STORE) == b'wren=1::1::Couriers\r\nbob=125.5::3::Couriers\r\n'
    run(site, 'ST GIVE wren -30.75').expect(lines(' gave wren -30.75mB'))
    assert site.read_store(TRIAL_STORE) == b'bob=125.5::3::Couriers\r\nwren=-29.75::1::Couriers\r\n'
    run(site, 'ST give zed 5').expect(lines(" zed doesn't exists in trial."))
    run(site, 'ST list').expect(TRIAL_USAGE)


def test_trial_give_that_reaches_the_goal_passes(site):
    site.write_store(TRIAL_STORE, b'\r\nbrisk=450::3::Couriers\r\n')
    site.write_store(QUOTA_STORE, PERIOD + b'brisk=0::2::Couriers\r\n')
    run(site, 'ST give brisk 50').expect(lines(
        ' gave brisk 50mB',
        '!putlog PassedTrial: "brisk"'))
    assert stores(site) == (b'\r\n', PERIOD + b'brisk=0::0::Couriers\r\n')


TRIAL_GIVE_USAGE = lines(' SITE TRIAL give <user> <megabytes>: credits an upload made elsewhere '
                         '(a negative amount takes it back)')
TRIAL_USAGE = lines(' SITE TRIAL add <user>: puts the user on trial',
                    ' SITE TRIAL del <user>: takes the user off trial') + TRIAL_GIVE_USAGE
QUOTA_GIVE_USAGE = lines(' SITE QUOTA give <user> <megabytes>: credits an upload made elsewhere '
                         '(a negative amount takes it back)')
QUOTA_USAGE = lines(' SITE QUOTA add <user>: adds the user to the running quota period',
                    ' SITE QUOTA del <user>: takes the user out of the quota period') + \
    QUOTA_GIVE_USAGE


@pytest.mark.parametrize('command_line, expected', [
    ('ST', TRIAL_USAGE), ('st help', TRIAL_USAGE), ('ST frobnicate', TRIAL_USAGE),
    ('ST add', lines(' SITE TRIAL add <user>: puts the user on trial')),
    ('ST give fennel abc', TRIAL_GIVE_USAGE), ('ST give', TRIAL_GIVE_USAGE),
    ('SQ', QUOTA_USAGE), ('SQ HELP', QUOTA_USAGE),
    ('SQ add', lines(' SITE QUOTA add <user>: adds the user to the running quota period')),
    ('SQ give brisk abc', QUOTA_GIVE_USAGE),
])
def test_incomplete_site_commands_show_their_usage(site, command_line, expected):
    # A trial user and a running quota, so that nothing else would answer.
    site.write_store(TRIAL_STORE, b'fennel=1::3::Couriers\r\n')
    site.write_store(QUOTA_STORE, PERIOD + b'brisk=0::0::Couriers\r\n')
    run(site, command_line).expect(expected)
    assert stores(site) == (b'fennel=1::3::Couriers\r\n', PERIOD + b'brisk=0::0::Couriers\r\n')


# -- SQ ----------------------------------------------------------------------

@pytest.mark.parametrize('command_line', ['SQ add brisk', 'sq del brisk', 'SQ give brisk 5',
                                          'SQ list'])
def test_quota_commands_refuse_until_the_quota_started(site, command_line):
    run(site, command_line).expect(lines(' ERROR: Quota hasnt been started.'))
    assert stores(site) == (None, None)
    scheduled = b'setup_quota_starts=01-01-2027\r\nsetup_quota_ends=02-01-2027\r\n'
    site.write_store(QUOTA_STORE, scheduled)
    run(site, command_line).expect(lines(' ERROR: Quota hasnt been started.'))
    assert stores(site) == (None, scheduled)


def test_quota_add_and_its_refusals(site):
    site.write_store(TRIAL_STORE, b'\r\nwren=1::1::Couriers\r\n')
    site.write_store(QUOTA_STORE, PERIOD)
    run(site, 'SQ add BOB').expect(lines(' Bob from Couriers was added to quota.'))
    assert site.read_store(QUOTA_STORE) == PERIOD + b'Bob=0::0::Couriers\r\n'
    for command_line, output in [
            ('SQ add bob', ' bob appears to be in quota, cant add user to quota.'),
            ('SQ add wren', ' Cant add wren because (s)he is in trial!'),
            ('SQ add zed', ' User: zed doesnt exist on FTP User Database.'),
            ('SQ add nogrp', ' User: nogrp doesnt have a group.'),
            ('SQ add marlow', ' User: Marlow is excluded from quota because [in the SiteOps group]'),
            ('SQ add oleander', ' User: oleander is excluded from quota because []')]:
        run(site, command_line).expect(lines(output))
    assert stores(site) == (b'\r\nwren=1::1::Couriers\r\n', PERIOD + b'Bob=0::0::Couriers\r\n')


def test_quota_del(site):
    site.write_store(QUOTA_STORE, PERIOD + b'Bob=5::1::Couriers\r\nwren=1::0::Couriers\r\n')
    run(site, 'SQ del BOB').expect(lines(' BOB was deleted from quota.'))
    run(site, 'SQ del bob').expect(lines(" bob doesn't exists in quota."))
    run(site, 'SQ del setup_quota_started').expect(
        lines(" setup_quota_started doesn't exists in quota."))
    assert site.read_store(QUOTA_STORE) == PERIOD + b'wren=1::0::Couriers\r\n'


def test_quota_give_passes_and_a_negative_give_revokes_the_pass(site):
    site.write_store(QUOTA_STORE, PERIOD + b'brisk=990::0::Couriers\r\nwren=990::2::Couriers\r\n')
    run(site, 'SQ give brisk 10').expect(lines(
        ' gave brisk 10mB',
        '!putlog QUOTAPASSED: "brisk"'))
    assert site.read_store(QUOTA_STORE) == (
        PERIOD + b'wren=990::2::Couriers\r\nbrisk=1000::1::Couriers\r\n')
    run(site, 'SQ give brisk -0.5').expect(lines(' gave brisk -0.5mB'))
    assert site.read_store(QUOTA_STORE) == (
        PERIOD + b'wren=990::2::Couriers\r\nbrisk=999.5::0::Couriers\r\n')
    # A suspended member is credited but stays suspended.
    run(site, 'SQ give wren 50').expect(lines(' gave wren 50mB'))
    assert site.read_store(QUOTA_STORE) == (
        PERIOD + b'brisk=999.5::0::Couriers\r\nwren=1040::2::Couriers\r\n')
    run(site, 'SQ give zed 5').expect(lines(" zed doesn't exists in quota."))


def test_trial_give_pass_sends_the_onpass_command_to_the_server(site, ftp_server):
    server = ftp_server()
    conf = site.read_file('quarvel.conf') + b'TRIAL_ONPASS=SITE CHANGE $USER ratio 3\r\n'
    for key, value in site.ftp_conf(server).items():
        conf += ('%s=%s\r\n' % (key, value)).encode()
    site.write_file('quarvel.conf', conf)
    site.write_store(TRIAL_STORE, b'\r\nbrisk=499.9::3::Couriers\r\n')
    run(site, 'ST give brisk 0.1').expect(lines(
        ' gave brisk 0.1mB',
        '!putlog PassedTrial: "brisk"'))
    assert site.read_store(TRIAL_STORE) == b'\r\n'
    server.wait_idle()
    assert server.received == [[b'USER siteop\r\n', b'PASS s3cret\r\n',
                                b'SITE CHANGE brisk ratio 3\r\n', b'QUIT\r\n']]
