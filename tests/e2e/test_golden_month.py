"""A recorded month on a generated 2,000-account site, replayed byte for byte.

The story (below, in play_month) runs about 150 commands as the server, the
scheduler, the operators and the IRC bot would: a quota period started now
and one scheduled for the next month, trial users added, deleted, credited,
passed (TRIAL_ONPASS) and expired under both trial punishments, quota members
added, deleted, credited, enrolled late by checkup and punished at the end of
the period, uploads of files of many sizes, nukes, deletions, stats lines and
every IRC report. For every run the transcript holds what it printed, every
line the stand-in FTP server received on each login, and each store after the
run whenever it changed. The test plays the story again and wants exactly
the same bytes: any change in behaviour, however small, shows as the first
run and field that differ.

The transcript lives in golden/month_2000.json.xz. After a deliberate change
of behaviour, record it again with the native build and check the diff of
the decompressed JSON before committing it:

    /usr/bin/python3 tests/e2e/test_golden_month.py --regenerate build/quarvel
"""

import argparse
import json
import lzma
import shutil
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / 'bench'))
sys.path.insert(0, str(HERE.parent / 'tools'))

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, Sandbox, Target, bytes_diff  # noqa: E402
import gen_site  # noqa: E402

GOLDEN = HERE / 'golden' / 'month_2000.json.xz'
ACCOUNTS = 2000
SEED = 2026
PASSWORD = 'G0lden-Month!pw'
MB = 1024 * 1024
# Enrolling 2,000 accounts takes today's program seconds of processor time,
# and much longer on a busy machine; a hang still ends the test.
RUN_LIMIT = 600.0
# Shown in the transcript in place of the sandbox's upload folder.
INCOMING = '<incoming>'

# Settings of the month on top of the generated site's: short trials, so
# that trials added during the month run out within it.
SETTINGS = {'TRIAL_DAYS': '3', 'TRIAL_UPLOAD': '500', 'TRIAL_PUNISHMENT': '1',
            'QUOTA_UPLOAD': '1000', 'QUOTA_PUNISHMENT': '2', 'ToGive': '30'}


class Month:
    """The site, the runs and what each of them left behind."""

    def __init__(self, quarvel, server):
        self.quarvel = quarvel
        self.server = server
        self.site = gen_site.generate(quarvel.root / 'site', ACCOUNTS, trials=30, quota=False,
                                      seed=SEED)
        self.settings = dict(SETTINGS)
        self.write_conf()
        shutil.copy(self.site.system / TRIAL_STORE, quarvel.prog / TRIAL_STORE)
        self.incoming = quarvel.prog / 'incoming'
        self.incoming.mkdir()
        self.transcript = []
        self.seen_connections = 0
        self.stores = {TRIAL_STORE: None, QUOTA_STORE: None}
        self.files = 0

    def write_conf(self, **changes):
        self.settings.update(changes)
        entries = gen_site.conf_entries(self.site, self.quarvel.path, self.server.port,
                                        PASSWORD)
        entries.update(self.settings)
        self.quarvel.write_conf(entries, where='prog')

    # runs

    def run(self, date, command_line, env=None, label=None):
        result = self.quarvel.run(command_line, env=env, date=date, cwd=self.quarvel.prog,
                                  timeout=RUN_LIMIT)
        shown_env = {k: v.replace(self.quarvel.path(self.incoming), INCOMING)
                     for k, v in (env or {}).items()}
        entry = {'date': date, 'run': label or command_line, 'env': shown_env,
                 'exit': result.returncode, 'stdout': result.stdout.decode('latin-1'),
                 'stderr': result.stderr.decode('latin-1')}
        received = self.server.received
        entry['sent'] = [[line.decode('latin-1') for line in connection]
                         for connection in received[self.seen_connections:]]
        self.seen_connections = len(received)
        for name in self.stores:
            now = self.quarvel.read_store(name, where='prog')
            if now != self.stores[name]:
                entry[name] = None if now is None else now.decode('latin-1')
                self.stores[name] = now
        self.transcript.append(entry)
        return result

    def upload(self, date, user, size, group=None):
        """An upload of `size` bytes (a sparse file) by `user`."""
        self.files += 1
        name = 'rel%03d-%s.rar' % (self.files, user)
        with open(self.incoming / name, 'wb') as f:
            f.truncate(size)
        line = 'UD "%s" 00000000 "/incoming/%s"'
        self.run(date, line % (self.quarvel.path(self.incoming / name), name),
                 env={'user': user, 'group': group or self.group(user)},
                 label=line % (INCOMING + '/' + name, name))
        return name

    def delete(self, date, user, name, done=True):
        """PREDL and POSDL around the server's deletion of `name` (which
        fails when done is False)."""
        env = {'user': user, 'group': self.group(user),
               'path': self.quarvel.path(self.incoming)}
        self.run(date, 'PREDL DELE ' + name, env=env)
        if done:
            (self.incoming / name).unlink()
        self.run(date, 'POSDL DELE ' + name, env=env)

    def stats(self, date, user):
        self.run(date, 'stats', env={'user': user, 'group': self.group(user)})

    def irc(self, date, *questions):
        for question in questions:
            self.run(date, 'IRC ' + question)

    def group(self, user):
        account = self.account(user)
        return self.site.primary_group(account) if account else ''

    def account(self, user):
        return next((a for a in self.site.accounts if a.name == user), None)

    def add_account(self, name, gid):
        """A new account appears on the server (what SITE ADDUSER does)."""
        uid = len(self.site.accounts) + 1
        account = gen_site.Account(name, uid, [gid], '3')
        self.site.accounts.append(account)
        server = self.site.server
        for table in ('UserIdTable', 'passwd'):
            path = server / 'etc' / table
            path.write_bytes(path.read_bytes() + b'%s:%d:STANDARD\r\n' % (name.encode(), uid))
        (server / 'users' / str(uid)).write_bytes(b'groups %d\r\nflags 3\r\n' % gid)


def pick(site):
    """The accounts the story uses, chosen from the generated site."""
    on_trial = set(site.trials)
    ordinary = [a.name for a in site.accounts
                if a.groups and not site.exempt(a) and a.name not in on_trial]
    # Trials with ten days or more left come first: they are still running
    # in December, the others run out on the way.
    days = {}
    for line in (site.system / TRIAL_STORE).read_text('latin-1').splitlines():
        name, _, value = line.partition('=')
        days[name] = int(value.split('::')[1])
    return {
        'trials': sorted(site.trials, key=lambda n: days[n] < 10),
        'ordinary': ordinary,
        'operator': site.named(lambda a: 2 in a.groups and a.name != 'warden')[0],
        'disabled': site.named(lambda a: a.disabled)[0],
        'groupless': site.named(lambda a: not a.groups)[0],
        'two_groups': site.named(lambda a: len(a.groups) == 2 and not site.exempt(a)
                                 and a.name not in on_trial)[0],
    }


def play_month(quarvel, server):
    """Plays the month and returns its transcript (a list of runs)."""
    m = Month(quarvel, server)
    who = pick(m.site)
    trials, ordinary = who['trials'], who['ordinary']
    newcomers = ordinary[:6]          # put on trial during the month; all run out
    members = ordinary[6:40]          # ordinary quota members who upload

    # November: a period started now, with some traffic, then the next
    # month's period scheduled instead.
    d = '2026-11-20'
    m.run(d, 'qnow')
    m.irc(d, 'info quota total', 'info quota exempt', 'info quota passed', 'PASSED')
    m.upload(d, members[0], 300 * MB)
    m.upload(d, members[0], 800 * MB)                     # passes
    m.upload(d, trials[0], 5 * MB + 123)
    m.stats(d, members[0])
    m.stats(d, members[1])
    m.stats(d, trials[0])
    m.irc(d, 'PASSED ' + members[0], 'PASSED ' + who['operator'], 'PASSED ' + who['disabled'],
          'PASSED nobody-here')
    d = '2026-11-28'
    m.run(d, 'qstart force')
    m.irc(d, 'PASSED ' + members[1], 'info quota total')
    m.run(d, 'SQ add ' + members[2])                      # no period yet
    for name in newcomers[:4]:
        m.run(d, 'ST add ' + name)
    m.run(d, 'ST ADD ' + newcomers[4].upper())             # database spelling is kept
    m.run(d, 'ST add nobody-here')
    m.run(d, 'ST add ' + who['groupless'])
    m.run(d, 'ST add ' + trials[1])                        # already on trial
    m.run(d, 'ST del ' + trials[2])
    m.run(d, 'ST del nobody-here')
    m.run(d, 'ST give %s 25.5' % trials[3])
    m.run(d, 'ST give %s' % trials[4])
    m.run(d, 'ST give nobody-here 5')
    m.run(d, 'ST list')
    m.irc(d, 'info trial', 'info trial all', 'PASSED ' + trials[3])
    m.run('2026-11-29', 'newday')                          # expiries deleted (punishment 1)
    m.run('2026-11-30', 'newday')

    # December: the period starts with every account; a busy first week.
    d = '2026-12-01'
    m.run(d, 'newday')
    m.irc(d, 'info quota total', 'info quota exempt', 'info quota passed', 'PASSED')
    sizes = [262144, 786432, 1153434, 10 * MB, 150 * MB, 999 * MB, 1000 * MB, 3 * MB + 7]
    for i, name in enumerate(members[:16]):
        m.upload(d, name, sizes[i % len(sizes)])
    m.upload(d, who['two_groups'], 40 * MB)
    m.upload(d, trials[6], 2 * MB)
    m.upload(d, trials[6], 501 * MB)                       # passes the trial: TRIAL_ONPASS
    m.upload(d, who['operator'], 50 * MB)                  # exempt: counted, never passes
    m.upload(d, 'nobody-here', 5 * MB, group='Couriers')
    m.stats(d, trials[6])
    m.stats(d, trials[7])
    m.stats(d, who['operator'])
    m.run(d, 'SQ add ' + members[2])                       # already a member
    m.run(d, 'SQ del ' + members[3])
    m.run(d, 'SQ add ' + members[3])
    m.run(d, 'SQ add ' + trials[7])                        # on trial
    m.run(d, 'SQ add ' + who['operator'])                  # exempt, already enrolled
    m.run(d, 'SQ add nobody-here')
    m.run(d, 'SQ give %s 1000' % members[4])               # passes
    m.run(d, 'SQ give %s -2.5' % members[4])               # pass taken back
    m.run(d, 'SQ give nobody-here 5')
    m.run(d, 'SQ del ' + members[5])
    m.run(d, 'SQ del ' + members[5])                       # not a member any more

    d = '2026-12-02'
    m.run(d, 'newday')
    big = m.upload(d, members[6], 1200 * MB)               # passes
    m.delete(d, members[6], big)                           # and loses it again
    small = m.upload(d, members[7], 20 * MB)
    m.delete(d, members[7], small, done=False)             # the deletion failed
    m.upload(d, trials[5], 30 * MB)
    m.delete(d, trials[5], m.upload(d, trials[5], 9 * MB))
    m.run(d, 'NUKE %s 4096' % members[8])
    m.run(d, 'NUKE %s 2048000' % members[0])
    m.run(d, 'UNNUKE %s 1024000' % members[0])
    m.run(d, 'NUKE %s 1536' % trials[5])
    m.run(d, 'UNNUKE %s 1536' % trials[5])
    m.run(d, 'NUKE nobody-here 100')
    m.run(d, 'ST del ' + trials[8])                        # back to counting
    m.run(d, 'ST add ' + members[9])                       # a member goes on trial
    m.irc(d, 'PASSED ' + members[9], 'PASSED ' + trials[6], 'PASSED ' + newcomers[0],
          'info quota exempt')

    # Trial punishment 2 from here on: expired trials are disabled.
    d = '2026-12-03'
    m.write_conf(TRIAL_PUNISHMENT='2')
    m.run(d, 'newday')
    m.add_account('Latecomer', 3)
    m.add_account('lateop', 2)
    m.irc(d, 'PASSED Latecomer')
    m.run(d, 'checkup')                                    # late members with ToGive
    m.irc(d, 'PASSED Latecomer', 'info quota total')
    m.run(d, 'ST give %s 600' % trials[9])                 # passes through a credit
    m.stats(d, members[9])
    m.run('2026-12-04', 'newday')
    m.run('2026-12-05', 'newday')
    m.upload('2026-12-05', 'Latecomer', 975 * MB)          # 60 given + 975 uploaded
    for name in members[16:34]:
        m.upload('2026-12-05', name, 1000 * MB)
    m.irc('2026-12-05', 'info trial all', 'info quota passed', 'PASSED')
    d = '2026-12-20'
    m.run(d, 'checkup')
    m.stats(d, members[10])
    m.run('2026-12-31', 'newday')

    # January: the members still counting are punished (quota punishment
    # 2: kicked and disabled) and the next period starts.
    d = '2027-01-01'
    m.run(d, 'newday')
    m.irc(d, 'info quota total', 'info quota passed', 'PASSED', 'info trial all')
    m.stats(d, members[0])
    return m.transcript


def save(transcript, path=GOLDEN):
    path.parent.mkdir(parents=True, exist_ok=True)
    text = json.dumps(transcript, indent=0, ensure_ascii=True, sort_keys=True)
    path.write_bytes(lzma.compress(text.encode('ascii'), preset=9 | lzma.PRESET_EXTREME))


def load(path=GOLDEN):
    return json.loads(lzma.decompress(path.read_bytes()).decode('ascii'))


def first_difference(actual, expected):
    """None, or a message naming the first run and field that differ."""
    for i, (got, want) in enumerate(zip(actual, expected)):
        if got == want:
            continue
        what = 'run %d (%s %r)' % (i + 1, want.get('date'), want.get('run'))
        for key in sorted(set(got) | set(want)):
            if got.get(key, '<unchanged>') == want.get(key, '<unchanged>'):
                continue
            g, w = got.get(key, '<unchanged>'), want.get(key, '<unchanged>')
            if isinstance(g, str) and isinstance(w, str):
                return '%s, %s: %s' % (what, key, bytes_diff(g.encode('latin-1'),
                                                             w.encode('latin-1')))
            return '%s, %s:\n got      %r\n expected %r' % (what, key, g, w)
    if len(actual) != len(expected):
        return 'the month has %d runs, the transcript %d' % (len(actual), len(expected))
    return None


def test_a_recorded_month_replays_byte_for_byte(quarvel, ftp_server):
    server = ftp_server(idle_timeout=600, lifetime=1800)
    transcript = play_month(quarvel, server)
    problem = first_difference(transcript, load())
    assert problem is None, problem


def main(argv=None):
    parser = argparse.ArgumentParser(description='Records the golden transcript again.')
    parser.add_argument('--regenerate', metavar='PROGRAM', required=True,
                        help='the program to record with (build/quarvel)')
    args = parser.parse_args(argv)
    from ftp_standin import FtpStandin
    scratch = Path(tempfile.mkdtemp(prefix='golden-month-'))
    try:
        quarvel = Sandbox(Target(args.regenerate, scratch / 'harness'), scratch / 'sandbox')
        with FtpStandin(idle_timeout=600, lifetime=1800) as server:
            transcript = play_month(quarvel, server)
        save(transcript)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print('%s: %d runs, %d bytes' % (GOLDEN, len(transcript), GOLDEN.stat().st_size))
    return 0


if __name__ == '__main__':
    sys.exit(main())
