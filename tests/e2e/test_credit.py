"""What each file was credited, and to whom: appends count only what a file
grew by, and a deletion (by name, by path, by the uploader or by staff)
takes back exactly what the file's uploaders were credited. Also the
excluded folders judged by the file's own virtual path, and the prefix of
the stats lines. Exact store bytes after each run."""

import shutil

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, lines

LEDGER = 'Credits'
MB = 1024 * 1024
PERIOD = b'setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\nsetup_quota_started=1\r\n'
CONF = {'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '14', 'QUOTA_UPLOAD': '1000',
        'EXCLUDED_DIRS': '/groups|/private/'}
# The site's virtual root "/" is the local folder data/site.
FILE = 'site/incoming/x/a.rar'
VIRTUAL = '/incoming/x/a.rar'


def prepare(quarvel, trial=b'\r\nbob=100::5::Couriers\r\nann=0::5::Friends\r\n', quota=None,
          **conf):
    quarvel.write_conf(dict(CONF, **conf))
    quarvel.write_store(TRIAL_STORE, trial)
    if quota is not None:
        quarvel.write_store(QUOTA_STORE, quota)


def sized(quarvel, name, size):
    """The file at data/<name> with `size` bytes (sparse)."""
    path = quarvel.data / name
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, 'wb') as f:
        f.truncate(size)
    return path


def upload(quarvel, user, name=FILE, virtual=VIRTUAL, pwd=None, group='Couriers', stdout=b''):
    env = {'user': user, 'group': group}
    if pwd is not None:
        env['pwd'] = pwd
    line = 'UD "%s" 00000000 "%s"' % (quarvel.path(quarvel.data / name), virtual)
    quarvel.run(line, env=env).expect(stdout)


def delete(quarvel, user, name, pwd, folder, group='SiteOps', remove=FILE):
    """PREDL and POSDL of DELE <name> sent from the virtual folder `pwd`,
    whose local folder is data/<folder>; the server removes `remove`."""
    env = {'user': user, 'group': group, 'pwd': pwd,
           'path': quarvel.path(quarvel.data / folder)}
    quarvel.run('PREDL DELE ' + name, env=env).expect(b'')
    if remove and (quarvel.data / remove).exists():
        (quarvel.data / remove).unlink()
    quarvel.run('POSDL DELE ' + name, env=env).expect(b'')


def credited(quarvel, where='data'):
    """The credit ledger: local path (as bytes) -> [(user, MB)] of every
    entry in its shards, periods left out."""
    folder = quarvel.folder(where) / LEDGER
    entries = {}
    for shard in sorted(folder.glob('[0-9a-f][0-9a-f][0-9a-f].dat')) if folder.exists() else []:
        for line in shard.read_bytes().split(b'\r\n'):
            if line:
                key, _, value = line.partition(b'=')
                fields = value.decode('latin-1').split('::')
                entries[key] = [(fields[i], fields[i + 1]) for i in range(0, len(fields) - 1, 4)]
    return entries


def forget_credits(quarvel):
    shutil.rmtree(quarvel.data / LEDGER, ignore_errors=True)


def totals(quarvel, store=TRIAL_STORE, where='data'):
    """name -> uploaded, for the member lines of a store."""
    text = quarvel.read_store(store, where).decode('latin-1')
    return {k: v.split('::')[0] for k, v in
            (line.split('=', 1) for line in text.split('\r\n') if '=' in line)
            if not k.startswith('setup_quota') and '_PREDEL_SIZE_' not in k}


def test_appends_credit_only_what_the_file_grew_by(quarvel):
    prepare(quarvel)
    steps = [  # who uploads, the file's size afterwards, bob's and ann's totals
        ('first upload counts in full', 'bob', 10 * MB, '110', '0'),
        ('APPE of one byte', 'bob', 10 * MB + 1, '110', '0'),
        ('again', 'bob', 10 * MB + 2, '110', '0'),
        ('and again', 'bob', 10 * MB + 3, '110', '0'),
        ('APPE of 2 MB', 'bob', 12 * MB + 3, '112', '0'),
        ("another member's APPE: hers", 'ann', 15 * MB + 3, '112', '3'),
    ]
    for label, who, size, bob, ann in steps:
        sized(quarvel, FILE, size)
        upload(quarvel, who, group='Couriers' if who == 'bob' else 'Friends')
        assert totals(quarvel) == {'bob': bob, 'ann': ann}, label
    # (A store that gets its first line begins with an empty one.)
    assert credited(quarvel) == {
        quarvel.path(quarvel.data / FILE).replace('/', '\\').encode(): [('bob', '12'), ('ann', '3')]}

    # Staff deletes it: both get back to where they were.
    delete(quarvel, 'Marlow', 'a.rar', '/incoming/x/', 'site/incoming/x')
    assert quarvel.read_store(TRIAL_STORE) == b'bob=100::5::Couriers\r\nann=0::5::Friends\r\n'
    assert credited(quarvel) == {}


# pwd, its local folder, the name DELE gives: all name site/incoming/x/a.rar
DELETION_PATHS = [
    ('/incoming/x/', 'site/incoming/x', 'a.rar'),
    ('/incoming/x', 'site/incoming/x', './a.rar'),
    ('/', 'site', '/incoming/x/a.rar'),
    ('/incoming/y/', 'site/incoming/y', '/incoming/x/a.rar'),
    ('/incoming', 'site/incoming', 'x/a.rar'),
    ('/incoming/y', 'site/incoming/y', '../x/a.rar'),
    ('/incoming/y', 'site/incoming/y', '/../incoming//x/a.rar'),
]


def test_deletions_by_path_take_back_the_credit(quarvel):
    for pwd, folder, name in DELETION_PATHS:
        for credited in (True, False):  # False: uploaded before credits were noted
            label = '%s from %s (%s)' % (name, pwd, 'credited' if credited else 'memo')
            prepare(quarvel, quota=PERIOD + b'bob=20::0::Couriers\r\n')
            sized(quarvel, FILE, 10 * MB)
            if credited:
                upload(quarvel, 'bob')
            else:
                quarvel.write_store(TRIAL_STORE, b'\r\nbob=110::5::Couriers\r\n'
                                    b'ann=0::5::Friends\r\n')
                quarvel.write_store(QUOTA_STORE, PERIOD + b'bob=30::0::Couriers\r\n')
            assert totals(quarvel)['bob'] == '110', label
            delete(quarvel, 'bob', name, pwd, folder, group='Couriers')
            assert totals(quarvel) == {'bob': '100', 'ann': '0'}, label
            assert totals(quarvel, QUOTA_STORE) == {'bob': '20'}, label
            for store in (TRIAL_STORE, QUOTA_STORE):
                assert b'_PREDEL_SIZE_' not in quarvel.read_store(store), label
            forget_credits(quarvel)


def test_a_deletion_by_staff_is_taken_from_the_uploader(quarvel):
    deleters = [  # who deletes, and what that user's stores look like after it
        ('Marlow', 'in no store'),
        ('ann', 'a trial member: her total and group stay, her memo goes'),
        ('BOB', 'the uploader himself, in other letter case'),
    ]
    for deleter, label in deleters:
        prepare(quarvel, quota=PERIOD + b'bob=995::0::Couriers\r\n')
        sized(quarvel, FILE, 10 * MB)
        upload(quarvel, 'bob', stdout=lines('!putlog QUOTAPASSED: "bob"'))
        assert quarvel.read_store(QUOTA_STORE) == PERIOD + b'bob=1005::1::Couriers\r\n', label
        delete(quarvel, deleter, '/incoming/x/a.rar', '/', 'site', group='SiteOps')
        own = deleter.lower() == 'bob'
        assert quarvel.read_store(TRIAL_STORE) == (
            b'ann=0::5::Friends\r\n' + (b'BOB=100::5::SiteOps\r\n' if own
                                        else b'bob=100::5::Couriers\r\n')), label
        # Below the goal again: the pass is taken back, from the uploader.
        assert quarvel.read_store(QUOTA_STORE) == PERIOD + (
            b'BOB=995::0::SiteOps\r\n' if own else b'bob=995::0::Couriers\r\n'), label
        assert credited(quarvel) == {}, label


def test_nukes_change_the_named_user_only_and_leave_the_credits(quarvel):
    # Nukes work in the program's folder: every run here does.
    quarvel.write_conf(CONF, where='prog')
    quarvel.write_store(TRIAL_STORE, b'\r\nbob=100::5::Couriers\r\n', where='prog')
    upload_path = quarvel.prog / 'site' / 'incoming' / 'a.rar'
    upload_path.parent.mkdir(parents=True)
    upload_path.write_bytes(b'\0' * (10 * MB))
    line = 'UD "%s" 00000000 "/incoming/a.rar"' % quarvel.path(upload_path)
    key = quarvel.path(upload_path).replace('/', '\\').encode()
    folder = quarvel.path(upload_path.parent)
    steps = [  # command line, bob's total, the credit entry
        (line, '110', True),
        ('NUKE bob 10240', '100', True),
        ('UNNUKE bob 10240', '110', True),
        ('NUKE bob 10240', '100', True),
        # A deletion after a nuke that names no release takes the file's
        # credit back once more: the nuke named a user and an amount only.
        ('PREDL DELE a.rar', '100', True),
        ('POSDL DELE a.rar', '90', False),
    ]
    env = {'user': 'bob', 'group': 'Couriers', 'path': folder, 'pwd': '/incoming/'}
    for command_line, bob, entry in steps:
        if command_line.startswith('POSDL'):
            upload_path.unlink()
        quarvel.run(command_line, env=env, cwd=quarvel.prog).expect(b'')
        assert totals(quarvel, where='prog') == {'bob': bob}, command_line
        assert credited(quarvel, 'prog') == ({key: [('bob', '10')]} if entry else {}), command_line


EXCLUSIONS = [  # pwd (None: not set), virtual path ('': not given), credited
    ('/', '/groups/x/b.rar', False),
    (None, '/GROUPS/b.rar', False),
    ('/incoming/', '/private/b.rar', False),
    ('/groups/x/', '/incoming/b.rar', True),   # the file's folder decides
    ('/incoming/', '/incoming/b.rar', True),
    ('/groups/x/', '', False),                 # no virtual path: the current folder
]


def test_excluded_folders_are_judged_by_the_files_own_path(quarvel):
    sized(quarvel, 'b.rar', 10 * MB)
    for pwd, virtual, credited in EXCLUSIONS:
        prepare(quarvel, trial=b'\r\nbob=100::5::Couriers\r\n')
        env = {'user': 'bob', 'group': 'Couriers'}
        if pwd is not None:
            env['pwd'] = pwd
        local = quarvel.path(quarvel.data / 'b.rar')
        line = ('UD "%s" 0 "%s"' % (local, virtual)) if virtual else 'UD "%s" 1 0' % local
        quarvel.run(line, env=env).expect(b'')
        assert totals(quarvel) == {'bob': '110' if credited else '100'}, (pwd, virtual)
        forget_credits(quarvel)

    # A deletion is judged by the path it resolves to.
    prepare(quarvel, trial=b'\r\nbob=100::5::Couriers\r\n')
    sized(quarvel, 'site/groups/x/b.rar', MB)
    delete(quarvel, 'bob', '/groups/x/b.rar', '/', 'site', remove='site/groups/x/b.rar')
    assert quarvel.read_store(TRIAL_STORE) == b'\r\nbob=100::5::Couriers\r\n'


STATS_PREFIXES = [  # the configuration line (None: absent), the line printed
    (None, '226-[TRiAL] bob: 120.5 MB'),
    ('FTP_STATS_PREFIX=', '[TRiAL] bob: 120.5 MB'),
    ('FTP_STATS_PREFIX', '[TRiAL] bob: 120.5 MB'),
    ('FTP_STATS_PREFIX=  ', '[TRiAL] bob: 120.5 MB'),
    ('FTP_STATS_PREFIX=200-', '200-[TRiAL] bob: 120.5 MB'),
]


def test_stats_prefix(quarvel):
    quarvel.write_store(TRIAL_STORE, b'\r\nbob=120.5::4::x\r\n')
    for conf_line, printed in STATS_PREFIXES:
        conf = ['TRIAL_UPLOAD=500', 'FTP_STATS=[%TYPE%] %USER%: %UPLOADED% MB']
        if conf_line is not None:
            conf.append(conf_line)
        quarvel.write_conf(conf)
        quarvel.run('stats', env={'user': 'bob', 'group': 'x'}).expect(lines(printed))
