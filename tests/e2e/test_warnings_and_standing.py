"""Warnings before a trial or a quota period ends (newday, the stats line,
check) and SITE PASSED, a user's own standing, run as the server runs them."""

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

TODAY = '2026-12-15'
PERIOD = b'setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\nsetup_quota_started=1\r\n'
TEMPLATES = {
    'Irc_SiteName': 'Site',
    'Irc_Trial_Uinfo': '$BOLD$SITENAME$BOLD trial: $USER@$GROUP $UPLOADED of $SHOWL MB, '
                       '$MBLEFT to go in $DAYSLEFT days',
    'Irc_Quota_Uinfo': '$BOLD$SITENAME$BOLD quota: $USER@$GROUP $UPLOADED of $SHOWL MB, '
                       '$MBLEFT to go in $DAYSLEFT days',
    'Irc_Quota_EXEMPTED_Uinfo': '$SITENAME: $USER is exempt ($EXCUSE)',
    'Irc_No_User': '$SITENAME: there is no user $USER',
    'FTP_STATS': '[%TYPE%] %USER%: %MBLEFT% MB to go, %DAYSLEFT% days left',
    'EXEMPT_USER_EXEMPT': 'staff',
}


def configure(quarvel, port, where='data', **values):
    conf = dict(quarvel.ioftpd(), FTP_HOST='127.0.0.1', FTP_PORT=str(port), FTP_USER='siteop',
                FTP_PASS='s3cret')
    conf.update({'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '14', 'QUOTA_UPLOAD': '1000',
                 'QUOTA_TYPE': '1', 'QUOTA_DISABLE_FLAG': '6', 'TRIAL_DISABLE_FLAG': '5',
                 'EXEMPT_FLAGS': '1M'})
    conf.update(TEMPLATES)
    conf.update(values)
    quarvel.write_conf(conf, where)


def stores(quarvel, where='data'):
    quarvel.write_store(TRIAL_STORE, b'brisk=100::4::Couriers\r\nsetup_trial_counted=12-14-2026\r\n',
                        where)
    quarvel.write_store(QUOTA_STORE, PERIOD + b'tamsin=10::0::Couriers\r\nMarlow=0::3::SiteOps\r\n',
                        where)


def test_newday_warns_once_a_day(quarvel, ftp_server):
    server = ftp_server()
    configure(quarvel, server.port, TRIAL_WARN_DAYS='3', QUOTA_WARN_DAYS='17')
    stores(quarvel)
    quarvel.run('newday', date=TODAY).expect(lines('!putlog TrialWARN: "brisk" "3" "400.0"',
                                                   '!putlog QuotaWARN: "tamsin" "17" "990.0"'))
    warned = b'trial:brisk=12-15-2026\r\nquota:tamsin=12-15-2026\r\n'
    assert quarvel.read_file('Warned.dat') == warned
    log = quarvel.read_file('Quarvel.log')
    assert b'| newday | brisk | - | - | warned: trial ends in 3 days, 400.0 MB to go\r\n' in log
    # Again the same day: nothing more.
    quarvel.run('newday', date=TODAY).expect(b'')
    assert quarvel.read_file('Warned.dat') == warned
    # The stats line carries the mark inside the window.
    quarvel.run('stats', env={'user': 'tamsin'}, date=TODAY).expect(
        lines('226-[QUOTA] tamsin: 990 MB to go, 17 days left (last 17 days)'))


def test_without_the_keys_newday_and_stats_are_as_before(quarvel, ftp_server):
    server = ftp_server()
    configure(quarvel, server.port)
    stores(quarvel)
    quarvel.run('newday', date=TODAY).expect(b'')
    assert quarvel.read_file('Warned.dat') is None
    assert quarvel.read_store(TRIAL_STORE) == (b'brisk=100::3::Couriers\r\n'
                                               b'setup_trial_counted=12-15-2026\r\n')
    quarvel.run('stats', env={'user': 'tamsin'}, date=TODAY).expect(
        lines('226-[QUOTA] tamsin: 990 MB to go, 17 days left'))


def test_check_names_a_bad_warning_key(quarvel, ftp_server):
    configure(quarvel, ftp_server().port, TRIAL_WARN_DAYS='soon')
    result = quarvel.run('check').expect(stdout=None, stderr=None, returncode=None)
    assert b'TRIAL_WARN_DAYS=soon is not a number; it reads as 0' in result.stdout


def test_site_passed(quarvel, ftp_server):
    # The IRC bot's files are in the program folder; SITE PASSED runs there
    # too, so both read the same site.
    configure(quarvel, 21, where='prog', TRIAL_WARN_DAYS='4')
    stores(quarvel, 'prog')
    before = {name: quarvel.read_file(name, 'prog') for name in quarvel.files('prog')}

    def passed(command_line, **env):
        return quarvel.run(command_line, env=env, date=TODAY, cwd=quarvel.prog)

    passed('PASSED', user='brisk', flags='3').expect(lines(
        'Site trial: brisk@Couriers 100 of 500 MB, 400.0 to go in 4 days',
        'brisk: 400.0 MB to go in the last 4 days of your trial'))
    # Staff ask for others, in the IRC report's words less its bold.
    for name in ('tamsin', 'Marlow', 'nobody', 't/a{m}sin'):
        irc = quarvel.run('IRC PASSED %s' % name, date=TODAY).expect(stdout=None).stdout
        passed('PASSED %s' % name, user='Marlow', flags='1M').expect(irc.replace(b'\x02', b''))
    passed('PASSED tamsin', user='brisk', flags='3').expect(lines(
        "PASSED: only users with one of the flags 1M may ask for another user's standing"))
    passed('PASSED').expect(lines(
        'PASSED: the server gave no user name: ioftpd.env needs the line USER=%[$user]'))
    # It reads only, and needs no lock: it answers while another run holds it.
    with quarvel.hold_lock():
        passed('PASSED', user='tamsin', flags='3').expect(lines(
            'Site quota: tamsin@Couriers 10.0 of 1000 MB, 990 to go in 17 days'))
    after = {name: quarvel.read_file(name, 'prog') for name in quarvel.files('prog')}
    after.pop('QuarvelInstance.lock')  # the holder's
    assert after == before
