#!/usr/bin/python3
"""Generates a synthetic ioFTPD site of any size, deterministically from a seed.

The site is written in the server's own formats (CR LF everywhere):

    <out>/ioftpd/etc/UserIdTable    name:uid:STANDARD, sorted by name (case-insensitive first)
    <out>/ioftpd/etc/GroupIdTable   the same for groups
    <out>/ioftpd/etc/passwd         the account list the quota enrols, in uid order
    <out>/ioftpd/users/<uid>        full 7.x user files (75-value stats lines)
    <out>/ioftpd/groups/<gid>       slots, users, description
    <out>/system/quarvel.conf       settings pointing at the site (see conf_entries)
    <out>/system/Quarvel.dat        trial users, padded with size memos to --trial-lines
    <out>/system/Velkrin.dat        a running quota period with every account enrolled
                                    (counting, passed, on trial, exempt) and size memos
    <out>/system/Credits/xxx.dat    the credit ledger (write_ledger: files kept on the
                                    site, in release folders, in the program's shards)

The accounts mix what real sites hold: a few operators in the exempt group
SiteOps, accounts disabled with the flag 6, users in two groups, users in
ioFTPD's NoGroup, and a few accounts without any group. As a module,
generate() returns a Site that names who is what, for tests that play a
story on it.

    /usr/bin/python3 tests/bench/gen_site.py OUT --accounts 10000 --seed 7
"""

import argparse
import random
import sys
from dataclasses import dataclass, field
from pathlib import Path

CRLF = '\r\n'
STATS_VALUES = 75
SECTIONS = 25

# The quota period a generated quota store is in (and the dates the
# benchmark runs on): December 2026, today the 15th.
PERIOD_START = '12-01-2026'
PERIOD_END = '01-01-2027'

SETTINGS = {
    'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '14', 'TRIAL_PUNISHMENT': '1',
    'TRIAL_DISABLE_FLAG': '6', 'TRIAL_ONPASS': 'SITE CHANGE $USER ratio 3',
    'QUOTA_TYPE': '1', 'QUOTA_UPLOAD': '1000', 'QUOTA_PUNISHMENT': '2',
    'QUOTA_DISABLE_FLAG': '6', 'AddLate': '1', 'ToGive': '30',
    'Quota_Users': 'warden', 'Quota_Groups': 'SiteOps', 'EXCLUDED_DIRS': '/private/',
}

# Report templates as a site would write them (every token in use).
TEMPLATES = {
    'FTP_STATS': '[%TYPE%] %USER%@%GROUP%: %UPLOADED% MB up, %MBLEFT% MB to go, %DAYSLEFT% days',
    'Irc_SiteName': 'BenchSite',
    'Irc_Info': '$BOLD$SITENAME$BOLD: $TRIALUSERS in trial, $QUOTAUSERS quota members done',
    'Irc_No_User': '$SITENAME: there is no user $USER',
    'Irc_Trial_Uinfo': '$SITENAME trial: $USER@$GROUP $UPLOADED/$SHOWL MB, $MBLEFT left, '
                       '$DAYSLEFT days, $PERDAY a day',
    'Irc_Quota_Uinfo': '$SITENAME quota: $USER@$GROUP $UPLOADED/$SHOWL MB, $MBLEFT left, '
                       '$DAYSLEFT days, $PERDAY a day',
    'Irc_Quota_EXEMPTED_Uinfo': '$SITENAME quota: $USER@$GROUP exempt, $EXCUSE',
    'Irc_Quota_Next': '$SITENAME: $USER@$GROUP joins next period',
    'Irc_Quota_Not_Started': '$SITENAME: no quota period',
    'Irc_Quota_Yet': '$SITENAME: $USER@$GROUP joins at the next checkup',
    'Trials_Header': '$BOLD$SITENAME$BOLD users in trial:',
    'Trials_Body': '$BOLD$USER$BOLD@$GROUP: $UPLOADED of $SHOWL MB, $DAYSLEFT days left',
    'Trials_Total': '$SITENAME: $TOTAL users in trial',
    'QUOTAs_Total': '$SITENAME: $TOTAL quota members',
    'QUOTAs_EXEMPTED_HEADER': '$SITENAME: $EXEMPT quota members exempt',
    'QUOTAs_EXEMPTED': '$BOLD$USER$BOLD@$GROUP: $EXCUSE',
    'EXEMPT_IN_TRIAL': 'in trial',
    'QUOTAs_PASSED_HEADER': '$SITENAME: $PASSED quota members passed',
    'QUOTAs_PASSED': '$BOLD$USER$BOLD@$GROUP passed',
    'EXEMPT_USER_EXEMPT': 'exempt by name',
    'EXEMPT_IN_GROUP': 'member of $BOLD$GROUP$BOLD',
    'EXEMPT_USER_DISABLE': 'disabled account',
}

SYLLABLES = ['ka', 'ro', 'vi', 'len', 'mar', 'to', 'zu', 'bel', 'qui', 'dra',
             'sen', 'ol', 'ny', 'fa', 'gor', 'ix', 'pe', 'tal', 'wen', 'yo']
FIXED_GROUPS = ['NoGroup', 'SiteOps', 'Couriers', 'Friends']


@dataclass
class Account:
    name: str
    uid: int
    groups: list          # gids, the first one primary; empty: no group at all
    flags: str

    @property
    def disabled(self):
        return '6' in self.flags


@dataclass
class Site:
    root: Path
    accounts: list
    group_names: dict                              # gid -> name
    trials: list = field(default_factory=list)     # names on trial, store order
    settings: dict = field(default_factory=dict)

    @property
    def server(self):
        return self.root / 'ioftpd'

    @property
    def system(self):
        return self.root / 'system'

    def primary_group(self, account):
        return self.group_names[account.groups[0]] if account.groups else ''

    def exempt(self, account):
        in_siteops = 2 in account.groups
        return in_siteops or account.disabled or account.name == 'warden'

    def named(self, pred):
        return [a.name for a in self.accounts if pred(a)]


def _write(path, lines):
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, 'w', encoding='latin-1', newline='') as f:
        f.write(''.join(line + CRLF for line in lines))


def _stats(rng, files, kb):
    values = [files, kb, rng.randrange(1, 50000) if files else 0]
    return ' '.join(str(v) for v in values + [0] * (STATS_VALUES - 3))


def _user_file(rng, account, creator):
    up_files = rng.randrange(0, 3000)
    up_kb = up_files * rng.randrange(1000, 60000)
    down_files = rng.randrange(0, 3000)
    down_kb = down_files * rng.randrange(1000, 60000)
    month = rng.randrange(0, 200)
    lines = [
        'wkup ' + _stats(rng, month // 4, month // 4 * 15000),
        'wkdn ' + _stats(rng, 0, 0),
        'theme 0',
    ]
    if rng.random() < 0.3:
        lines.append('tagline %s was here' % account.name)
    lines += [
        'ratio ' + ' '.join([str(rng.choice((0, 3, 3, 3)))] + ['0'] * (SECTIONS - 1)),
        'password %040x' % rng.getrandbits(160),
        'monthup ' + _stats(rng, month, month * 15000),
        'monthdn ' + _stats(rng, month // 2, month * 9000),
        'MaxDownloads -1', 'MaxUploads -1',
        'LogonLast %d' % (1760000000 + rng.randrange(0, 5000000)),
        'LogonCount %d' % rng.randrange(0, 5000),
        'LimitPerIP 0',
        'limits 0 0 3 -1 -1',
        'ips *@198.51.100.%d' % rng.randrange(1, 255),
        'groups' + ''.join(' %d' % g for g in account.groups),
    ]
    if account.flags:
        lines.append('flags ' + account.flags)
    lines += [
        'ExpiresAt 0', 'DeletedBy 0', 'DeletedOn 0',
        'dayup ' + _stats(rng, 0, 0),
        'daydn ' + _stats(rng, 0, 0),
        'credits ' + ' '.join([str(up_kb * 3)] + ['0'] * (SECTIONS - 1)),
        'CreatorUid %d' % creator.uid,
        'CreatorName ' + creator.name,
        'CreatedOn %d' % (1700000000 + account.uid * 600),
        'allup ' + _stats(rng, up_files, up_kb),
        'alldn ' + _stats(rng, down_files, down_kb),
        'admingroups',
    ]
    return lines


def _accounts(rng, count, extra_groups):
    gids = list(range(3, 5 + extra_groups))
    accounts = []
    used = set()
    for uid in range(1, count + 1):
        if uid == 1:
            name = 'warden'
        else:
            while True:
                name = ''.join(rng.choice(SYLLABLES) for _ in range(rng.randrange(2, 4)))
                name += str(rng.randrange(0, 100)) if rng.random() < 0.5 else ''
                if rng.random() < 0.2:
                    name = name.capitalize()
                if name.lower() not in used:
                    break
        used.add(name.lower())
        roll = rng.random()
        if uid == 1 or roll < 0.02:
            groups, flags = [2], '1M'                       # operators: exempt group
        elif roll < 0.05:
            groups, flags = [rng.choice(gids)], '36'        # disabled: exempt flag
        elif roll < 0.06:
            groups, flags = [1], '3'                        # ioFTPD's NoGroup
        elif roll < 0.065:
            groups, flags = [], '3'                         # no group at all
        elif roll < 0.15:
            groups, flags = rng.sample(gids, 2), '3'        # two groups
        else:
            groups, flags = [rng.choice(gids)], rng.choice(('3', '3', '3', ''))
        accounts.append(Account(name, uid, groups, flags))
    return accounts


def _id_table(entries):
    ordered = sorted(entries, key=lambda e: (e[0].lower(), e[0]))
    return ['%s:%d:STANDARD' % e for e in ordered]


def _amount(rng, top):
    """An uploaded amount as the program stores it (plain form, one decimal)."""
    value = rng.randrange(0, top * 10) / 10
    return ('%d' % value) if value == int(value) else ('%.1f' % value)


def generate(root, accounts=2000, trials=None, trial_lines=None, quota=True,
             quota_lines=None, seed=1):
    """Writes the site under `root` and returns its Site. `trials` accounts
    (default a tenth) are on trial; the trial store is padded with size memos
    to `trial_lines` lines, the quota store (unless quota is False) to
    `quota_lines`."""
    rng = random.Random(seed)
    root = Path(root)
    extra_groups = max(2, accounts // 200)
    group_names = {1: 'NoGroup', 2: 'SiteOps', 3: 'Couriers', 4: 'Friends'}
    for gid in range(5, 5 + extra_groups):
        group_names[gid] = 'Crew%02d' % (gid - 4)
    site = Site(root, _accounts(rng, accounts, extra_groups), group_names,
                settings=dict(SETTINGS))
    server = site.server

    _write(server / 'etc' / 'UserIdTable', _id_table([(a.name, a.uid) for a in site.accounts]))
    _write(server / 'etc' / 'GroupIdTable', _id_table([(n, g) for g, n in group_names.items()]))
    _write(server / 'etc' / 'passwd', ['%s:%d:STANDARD' % (a.name, a.uid) for a in site.accounts])
    members = {gid: 0 for gid in group_names}
    for account in site.accounts:
        creator = site.accounts[0]
        _write(server / 'users' / str(account.uid), _user_file(rng, account, creator))
        for gid in account.groups:
            members[gid] += 1
    for gid, name in group_names.items():
        _write(server / 'groups' / str(gid),
               ['slots -1 -1', 'users %d' % members[gid], 'description %s' % name])

    # Trial users: ordinary accounts with a group, not exempt.
    candidates = [a for a in site.accounts if a.groups and not site.exempt(a)]
    count = accounts // 10 if trials is None else trials
    site.trials = [a.name for a in rng.sample(candidates, min(count, len(candidates)))]
    on_trial = set(site.trials)
    trial_upload = int(site.settings['TRIAL_UPLOAD'])
    by_name = {a.name: a for a in site.accounts}
    trial_store = ['%s=%s::%d::%s' % (n, _amount(rng, trial_upload), rng.randrange(1, 15),
                                      site.primary_group(by_name[n])) for n in site.trials]
    trial_store += _memos(rng, site, (trial_lines or 0) - len(trial_store))
    _write(site.system / 'Quarvel.dat', trial_store)

    if quota:
        quota_upload = int(site.settings['QUOTA_UPLOAD'])
        store = ['setup_quota_starts=' + PERIOD_START, 'setup_quota_ends=' + PERIOD_END]
        for a in site.accounts:
            if not a.groups:
                continue
            if site.exempt(a):
                status, uploaded = '3', '0'
            elif a.name in on_trial:
                status, uploaded = '2', '0'
            else:
                uploaded = _amount(rng, quota_upload * 3 // 2)
                status = '1' if float(uploaded) >= quota_upload else '0'
            store.append('%s=%s::%s::%s' % (a.name, uploaded, status, site.primary_group(a)))
        store.append('setup_quota_started=1')
        store += _memos(rng, site, (quota_lines or 0) - len(store))
        _write(site.system / 'Velkrin.dat', store)
    return site


def _memos(rng, site, count):
    """Size memos a PREDL left behind without its POSDL."""
    return ['%s_PREDEL_SIZE_rel%05d.rar=%s' % (rng.choice(site.accounts).name, i,
                                               _amount(rng, 50))
            for i in range(max(0, count))]


def ledger_shard(path, ignore_case):
    """The shard file name (without .dat) the program keeps a local path's
    entry in: FNV-1a of its folder, as written in the ledger."""
    folder = path[:path.rfind('\\')] if '\\' in path else ''
    if ignore_case:
        folder = folder.lower()
    value = 2166136261
    for byte in folder.encode('latin-1'):
        value = ((value ^ byte) * 16777619) & 0xFFFFFFFF
    return '%03x' % (value & 0xFFF)


def write_ledger(root, folder, names, files, local_path=str, ignore_case=False, per_release=20,
                 seed=1):
    """A credit ledger of `files` entries in `folder` (the system folder):
    release folders of `per_release` files below <root>/site, each file
    credited to one of `names` in the current period. `local_path` gives a
    path in the program's form (backslashes follow)."""
    rng = random.Random(seed)
    shards = {}
    base = local_path(Path(root) / 'site').replace('/', '\\')
    for number in range(max(0, files)):
        release, index = divmod(number, per_release)
        path = '%s\\rel%06d\\file%02d.rar' % (base, release, index)
        line = '%s=%s::%s::-::%s' % (path, rng.choice(names), _amount(rng, 50), PERIOD_START)
        shards.setdefault(ledger_shard(path, ignore_case), []).append(line)
    ledger = Path(folder) / 'Credits'
    ledger.mkdir(parents=True, exist_ok=True)
    for name, lines in shards.items():
        _write(ledger / (name + '.dat'), lines)


def windows_path(path):
    """A POSIX path as a Windows program under Wine sees it (drive Z:)."""
    return 'Z:' + str(Path(path).resolve()).replace('/', '\\')


def conf_entries(site, path=str, ftp_port=None, ftp_password='Bench-Adm1n'):
    """The settings of quarvel.conf for this site, in file order; `path`
    turns a POSIX path into the program's form."""
    entries = {
        'ioFTPD': path(site.server),
        'UserTABLE': path(site.server / 'etc' / 'UserIdTable'),
        'UserFOLDER': path(site.server / 'users'),
        'GroupTABLE': path(site.server / 'etc' / 'GroupIdTable'),
        'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(ftp_port or 1),
        'FTP_USER': 'warden', 'FTP_PASS': ftp_password,
    }
    entries.update(site.settings)
    entries.update(TEMPLATES)
    return entries


def write_conf(folder, entries):
    _write(Path(folder) / 'quarvel.conf', ['%s=%s' % kv for kv in entries.items()])


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('out', type=Path, help='folder to create (must not exist or be empty)')
    parser.add_argument('--accounts', type=int, default=1000)
    parser.add_argument('--trials', type=int, default=None,
                        help='accounts on trial (default: a tenth)')
    parser.add_argument('--trial-lines', type=int, default=0,
                        help='pad the trial store with size memos to this many lines')
    parser.add_argument('--quota-lines', type=int, default=0,
                        help='pad the quota store with size memos to this many lines')
    parser.add_argument('--no-quota', action='store_true', help='write no quota store')
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--windows', action='store_true',
                        help='write the paths of quarvel.conf as the Windows build sees them')
    parser.add_argument('--ftp-port', type=int, default=None)
    args = parser.parse_args(argv)
    if args.accounts < 1:
        parser.error('--accounts must be at least 1')
    if args.out.exists() and any(args.out.iterdir()):
        parser.error('%s exists and is not empty' % args.out)
    site = generate(args.out, args.accounts, args.trials, args.trial_lines,
                    not args.no_quota, args.quota_lines, args.seed)
    write_conf(site.system,
               conf_entries(site, windows_path if args.windows else str, args.ftp_port))
    print('%s: %d accounts, %d on trial' % (args.out, len(site.accounts), len(site.trials)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
