"""A whole quota month as the server, the scheduler and an operator live it,
in one scenario: qstart in November; two users put on trial; the first
newday of December enrolling everybody (users on trial, exempt users, an
account the user database does not know, ordinary users); uploads, a
deleted file and a nuke during the month; checkup with a late account; one
trial passed (TRIAL_ONPASS sent), one expired (its punishment sent); and
the newday on the end date punishing every member still counting and
starting the next period.

As on a real site, the program's folder is also the working folder of every
run (NUKE keeps its data in the program's folder, the other commands in the
working folder). Where the FTP server would act on a SITE command that the
stand-in only records, the test edits the server files itself."""

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

PASSWORD = 'M0nth-Adm1n!pw'
LOGIN = ['USER siteop', 'PASS ' + PASSWORD]
MB = 1024 * 1024


def store(*text_lines, empty_first=False):
    return (b'\r\n' if empty_first else b'') + lines(*text_lines)


class Site:
    def __init__(self, quarvel, server):
        self.quarvel = quarvel
        self.server = server
        conf = dict(quarvel.ioftpd())
        conf.update({
            'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(server.port), 'FTP_USER': 'siteop',
            'FTP_PASS': PASSWORD,
            'TRIAL_UPLOAD': '4', 'TRIAL_DAYS': '3', 'TRIAL_PUNISHMENT': '2',
            'TRIAL_DISABLE_FLAG': '7', 'TRIAL_ONPASS': 'SITE CHANGE $USER ratio 3',
            'QUOTA_TYPE': '1', 'QUOTA_UPLOAD': '8', 'QUOTA_PUNISHMENT': '1',
            'QUOTA_DISABLE_FLAG': '6', 'Quota_Groups': 'SiteOps',
            'AddLate': '1', 'ToGive': '1',
        })
        quarvel.write_conf(conf, where='prog')
        self.server_folder = quarvel.root / 'ioftpd-site'
        # An account of the server list that the user database does not know.
        self.append('etc/passwd', b'ghost:9:STANDARD\r\n')
        self.uploads = quarvel.prog / 'incoming'
        self.uploads.mkdir()

    def append(self, name, data):
        path = self.server_folder / name
        path.write_bytes(path.read_bytes() + data)

    def run(self, date, command_line, stdout=b'', env=None):
        result = self.quarvel.run(command_line, env=env, date=date, cwd=self.quarvel.prog)
        result.expect(stdout=stdout)
        assert PASSWORD.encode() not in result.stdout + result.stderr
        return result

    def path(self, name):
        return self.quarvel.path(self.uploads / name)

    def upload(self, date, user, group, megabytes, stdout=b'', name=None):
        name = name or '%s-%dmb.rar' % (user, megabytes)
        (self.uploads / name).write_bytes(b'\0' * (megabytes * MB))
        self.run(date, 'UD "%s" 00000000 "/incoming/%s"' % (self.path(name), name), stdout,
                 env={'user': user, 'group': group})

    def delete(self, date, user, group, name):
        env = {'user': user, 'group': group, 'path': self.quarvel.path(self.uploads)}
        self.run(date, 'PREDL DELE ' + name, env=env)
        (self.uploads / name).unlink()
        self.run(date, 'POSDL DELE ' + name, env=env)

    def trials(self):
        return self.quarvel.read_store(TRIAL_STORE, where='prog')

    def quota(self):
        return self.quarvel.read_store(QUOTA_STORE, where='prog')

    def sent(self):
        return [self.server.received_text(i) for i in range(self.server.connection_count)]


def test_a_quota_month(quarvel, ftp_server):
    site = Site(quarvel, ftp_server(idle_timeout=300, lifetime=900))

    # November: the next month's period is scheduled, two users go on trial.
    site.run('2026-11-20', 'qstart',
             lines('qstart: the quota period 12-01-2026 to 01-01-2027 is set up; newday starts it '
                   'on its first day.'))
    assert site.quota() == store('setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027')
    site.run('2026-11-28', 'ST add wren',
             lines('!putlog UserADDED: "wren"', ' wren from Couriers was added to trial.'))
    site.run('2026-11-28', 'ST add pike',
             lines('!putlog UserADDED: "pike"', ' pike from NoGroup was added to trial.'))
    site.run('2026-11-30', 'newday')
    assert site.trials() == store('wren=0::2::Couriers', 'pike=0::2::NoGroup',
                                  'setup_trial_counted=11-30-2026')
    assert site.quota() == store('setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027')

    # The first newday of December enrols every account the database knows:
    # trial users suspended, exempt users excluded, the unknown one skipped.
    site.run('2026-12-01', 'newday')
    assert site.trials() == store('wren=0::1::Couriers', 'pike=0::1::NoGroup',
                                  'setup_trial_counted=12-01-2026')
    assert site.quota() == store(
        'setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027',
        'Marlow=0::3::SiteOps', 'brisk=0::0::Couriers', 'tamsin=0::0::Couriers',
        'oleander=0::3::Friends', 'pike=0::2::NoGroup', 'wren=0::2::Couriers',
        'setup_quota_started=1')

    # wren passes her trial with her second upload: TRIAL_ONPASS goes out on
    # a login of its own, and her quota record counts from then on.
    site.upload('2026-12-01', 'wren', 'Couriers', 3)
    site.upload('2026-12-01', 'wren', 'Couriers', 2, lines('!putlog PassedTrial: "wren"'))
    assert site.trials() == store('pike=0::1::NoGroup', 'setup_trial_counted=12-01-2026')

    # pike's trial runs out: disabled on the server, removed from the trial.
    site.run('2026-12-02', 'newday',
             lines('wtf - SITE CHANGE pike FLAGS +7', '!putlog UDisSite: "pike"'))
    assert site.trials() == store('setup_trial_counted=12-02-2026')
    # What the server does on that command: pike now carries flag 7.
    users_5 = site.server_folder / 'users' / '5'
    users_5.write_bytes(users_5.read_bytes().replace(b'\r\nflags 3\r\n', b'\r\nflags 37\r\n'))

    # Uploads, a deleted file and a pass during the month.
    site.upload('2026-12-02', 'brisk', 'Couriers', 3)
    site.upload('2026-12-02', 'brisk', 'Couriers', 2, name='junk.rar')
    site.delete('2026-12-02', 'brisk', 'Couriers', 'junk.rar')
    site.upload('2026-12-02', 'tamsin', 'Couriers', 10, lines('!putlog QUOTAPASSED: "tamsin"'))
    assert site.quota() == store(
        'setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027',
        'Marlow=0::3::SiteOps', 'oleander=0::3::Friends', 'pike=0::2::NoGroup',
        'setup_quota_started=1', 'wren=5::0::Couriers', 'brisk=3::0::Couriers',
        'tamsin=10::1::Couriers')

    # A new account, Bob, appears on the server; checkup enrols him late
    # with ToGive for the two days gone, and excludes pike (disabled now).
    site.append('etc/UserIdTable', b'Bob:7:STANDARD\r\n')
    site.append('etc/passwd', b'Bob:7:STANDARD\r\n')
    (site.server_folder / 'users' / '7').write_bytes(b'groups 3\r\nflags 3\r\n')
    site.run('2026-12-03', 'checkup')
    period_after_checkup = store(
        'setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027',
        'setup_quota_started=1', 'wren=5::0::Couriers', 'brisk=3::0::Couriers',
        'tamsin=10::1::Couriers', 'Marlow=0::3::SiteOps', 'oleander=0::3::Friends',
        'pike=0::3::NoGroup', 'Bob=2::0::Couriers')
    assert site.quota() == period_after_checkup

    # A nuke takes tamsin below the quota; her next upload takes the pass
    # back. wren reaches the quota.
    site.run('2026-12-10', 'NUKE tamsin 4096')
    site.upload('2026-12-10', 'tamsin', 'Couriers', 1)
    site.upload('2026-12-15', 'wren', 'Couriers', 4, lines('!putlog QUOTAPASSED: "wren"'))
    mid_month = store(
        'setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027',
        'setup_quota_started=1', 'brisk=3::0::Couriers', 'Marlow=0::3::SiteOps',
        'oleander=0::3::Friends', 'pike=0::3::NoGroup', 'Bob=2::0::Couriers',
        'tamsin=7::0::Couriers', 'wren=9::1::Couriers')
    assert site.quota() == mid_month

    # checkup only rewrites the exempt members (moving them to the end); the
    # day before the end newday leaves the period alone.
    site.run('2026-12-20', 'checkup')
    end_of_month = store(
        'setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027',
        'setup_quota_started=1', 'brisk=3::0::Couriers', 'Bob=2::0::Couriers',
        'tamsin=7::0::Couriers', 'wren=9::1::Couriers', 'Marlow=0::3::SiteOps',
        'oleander=0::3::Friends', 'pike=0::3::NoGroup')
    assert site.quota() == end_of_month
    site.run('2026-12-31', 'newday')
    assert site.quota() == end_of_month

    # The end date: every member still counting is kicked and deleted, in
    # the store's order, and the next period starts with everybody again.
    site.run('2027-01-01', 'newday',
             lines('Processing brisk', 'Processing Bob', 'Processing tamsin'))
    assert site.quota() == store(
        'setup_quota_starts=01-01-2027', 'setup_quota_ends=02-01-2027',
        'Marlow=0::3::SiteOps', 'brisk=0::0::Couriers', 'tamsin=0::0::Couriers',
        'oleander=0::3::Friends', 'pike=0::3::NoGroup', 'wren=0::0::Couriers',
        'Bob=0::0::Couriers', 'setup_quota_started=1')
    # (A store rewritten with no other line left begins with an empty line.)
    assert site.trials() == b'\r\n' + store('setup_trial_counted=01-01-2027')

    # Everything the server was told, login by login.
    assert site.sent() == [
        LOGIN,                                                 # newday 11-30
        LOGIN,                                                 # newday 12-01
        LOGIN + ['SITE CHANGE wren ratio 3', 'QUIT'],          # wren's pass
        LOGIN + ['SITE CHANGE pike FLAGS +7'],                 # newday 12-02
        LOGIN,                                                 # newday 12-31
        LOGIN + ['SITE kick brisk', 'SITE DELUSER brisk',      # newday 01-01
                 'SITE kick Bob', 'SITE DELUSER Bob',
                 'SITE kick tamsin', 'SITE DELUSER tamsin'],
    ]
