#!/usr/bin/python3
"""Times every command of the program on generated sites, side by side with
the least work the command could do, and prints the table with a PASS/FAIL
column against each goal.

Events (UD, NUKE, UNNUKE, PREDL, POSDL, stats, ST give, SQ give, IRC PASSED)
run --runs times each, alternating with their floor (wall-clock medians, and
beside them the medians of processor time, which depend less on the other
load of the machine): tests/bench/floor.c, which starts, reads the store
and, for an event that changes stores, commits each store the event
changed durably (temporary file, flush, rename; one untimed run of the
event tells which). Goal: median at most 1.5x the floor's median on stores
of 10,000 lines, peak memory at most 8 MB.

Whole-site commands (qnow, qstart, checkup, newday on a count-down day and
on the period's end, the IRC listings) run --scale-runs times each against
reading their input once (cat of the id tables, the account list, every
user file and both stores). Goals: at most 3x that at 100,000 accounts, and
the time at 100,000 at most 12x the time at 10,000.

Every run starts from the same stores (copied back, untimed, before each
run). A run that outlives --limit seconds is killed and shown as "> limit";
larger sizes of that command are then skipped.

    /usr/bin/python3 tests/bench/run_bench.py --sizes 1000 --runs 20          # a quick look
    /usr/bin/python3 tests/bench/run_bench.py --sizes 10000,100000 --limit 600  # the goals
    /usr/bin/python3 tests/bench/run_bench.py --windows-program build-win/quarvel.exe ...
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(REPO / 'tests' / 'e2e'))

import gen_site  # noqa: E402

# Every store a run may change; each run starts from the same copy of them.
STORES = ('Quarvel.dat', 'Velkrin.dat', 'Credits.dat')
# The credit ledger's folder, and its files per account on the event sites
# (a site keeps about a hundred files for each account).
LEDGER = 'Credits'
LEDGER_FILES_PER_ACCOUNT = 100
EVENT_RATIO, EVENT_RSS_MB = 1.5, 8.0
SCALE_RATIO, GROWTH = 3.0, 12.0
# Dates of the whole-site commands: inside the generated period, and its end.
MID_PERIOD, PERIOD_END = '2026-12-15', '2027-01-01'


class Limit(Exception):
    pass


# -- the site --------------------------------------------------------------

class Bench:
    """One generated site of `accounts` accounts and how to run things on it."""

    def __init__(self, work, accounts, seed, runner, ledger_files=0):
        self.root = work / ('site-%d-seed%d' % (accounts, seed))
        self.accounts = accounts
        self.runner = runner
        done = self.root / 'generated'
        if not done.exists():
            shutil.rmtree(self.root, ignore_errors=True)
            started = time.monotonic()
            print('generating %d accounts in %s ...' % (accounts, self.root), flush=True)
            gen_site.generate(self.root, accounts, trials=accounts // 10,
                              trial_lines=accounts, quota_lines=accounts, seed=seed)
            done.write_text('%.0f s\n' % (time.monotonic() - started))
        self.site_names()
        self.system = self.root / runner.name
        shutil.rmtree(self.system, ignore_errors=True)
        shutil.copytree(self.root / 'system', self.system)
        self.incoming = self.root / 'incoming'
        self.incoming.mkdir(exist_ok=True)
        for name, size in (('upload.rar', 5 * 1024 * 1024), ('gone.rar', 3 * 1024 * 1024),
                           ('kept.rar', 2 * 1024 * 1024)):
            with open(self.incoming / name, 'wb') as f:
                f.truncate(size)
        site = gen_site.Site(self.root, [], {}, settings=dict(gen_site.SETTINGS))
        site_entries = gen_site.conf_entries(site, runner.path)
        gen_site.write_conf(self.system, site_entries)
        self.program = runner.install(self.system)
        self.snapshot = {}
        self.ledger_snapshot = {}
        self.release = self.root / 'site' / 'rel000000'
        if ledger_files:
            self.add_ledger(ledger_files, seed)

    def add_ledger(self, files, seed):
        """The ledger of `files` entries, generated once for the runner's
        path form and case rule, plus an entry for gone.rar (which POSDL
        then takes back)."""
        windows = isinstance(self.runner, Windows)
        made = self.root / ('ledger-%s-%d' % (self.runner.name, files))
        if not (made / 'generated').exists():
            shutil.rmtree(made, ignore_errors=True)
            print('generating a ledger of %d files in %s ...' % (files, made), flush=True)
            names = [line.partition('=')[0] for line in
                     (self.root / 'system' / 'Velkrin.dat').read_text('latin-1').splitlines()
                     if line.count('::') == 2 and not line.startswith('setup_')]
            gen_site.write_ledger(self.root, made, names, files, self.runner.path,
                                  ignore_case=windows, seed=seed)
            (made / 'generated').write_text('%d\n' % files)
        shutil.rmtree(self.system / LEDGER, ignore_errors=True)
        shutil.copytree(made / LEDGER, self.system / LEDGER)
        gone = self.runner.path(self.incoming / 'gone.rar').replace('/', '\\')
        shard = self.system / LEDGER / (gen_site.ledger_shard(gone, windows) + '.dat')
        with open(shard, 'ab') as f:
            f.write(('%s=%s::3::-::%s\r\n' % (gone, self.member, gen_site.PERIOD_START))
                    .encode('latin-1'))

    def site_names(self):
        """A trial user and a counting quota member of the generated stores."""
        trial = (self.root / 'system' / 'Quarvel.dat').read_text('latin-1').splitlines()
        self.trial_user, _, rest = trial[0].partition('=')
        self.trial_group = rest.split('::')[2]
        for line in (self.root / 'system' / 'Velkrin.dat').read_text('latin-1').splitlines():
            key, _, value = line.partition('=')
            fields = value.split('::')
            if len(fields) == 3 and fields[1] == '0':
                self.member, self.member_group = key, fields[2]
                break

    def inputs(self):
        server = self.root / 'ioftpd'
        files = [server / 'etc' / n for n in ('UserIdTable', 'GroupIdTable', 'passwd')]
        files += sorted((server / 'users').iterdir())
        return files + [self.system / s for s in STORES if (self.system / s).exists()]

    def ledger_files(self):
        """{name in the ledger folder: its stat}."""
        folder = self.system / LEDGER
        return {e.name: e.stat() for e in os.scandir(folder)} if folder.is_dir() else {}

    def keep(self):
        self.snapshot = {s: (self.system / s).read_bytes() for s in STORES
                         if (self.system / s).exists()}
        self.ledger_snapshot = {name: ((st.st_size, st.st_mtime_ns),
                                       (self.system / LEDGER / name).read_bytes())
                                for name, st in self.ledger_files().items()}

    def changed_ledger(self):
        """The ledger files a run wrote, made or deleted."""
        now = self.ledger_files()
        names = set(now) | set(self.ledger_snapshot)
        return sorted(n for n in names if n not in now or n not in self.ledger_snapshot or
                      (now[n].st_size, now[n].st_mtime_ns) != self.ledger_snapshot[n][0])

    def changed(self):
        """The stores whose bytes differ from the snapshot, in STORES order,
        then the ledger files."""
        stores = [s for s in STORES if (self.system / s).exists() and
                  (self.system / s).read_bytes() != self.snapshot.get(s)]
        return stores + [LEDGER + '/' + n for n in self.changed_ledger()
                         if (self.system / LEDGER / n).exists() and
                         (self.system / LEDGER / n).read_bytes() !=
                         self.ledger_snapshot.get(n, (None, None))[1]]

    def restore(self):
        for s in STORES:
            if s in self.snapshot:
                (self.system / s).write_bytes(self.snapshot[s])
            elif (self.system / s).exists():
                (self.system / s).unlink()
        for name in self.changed_ledger():
            path = self.system / LEDGER / name
            if name in self.ledger_snapshot:
                path.write_bytes(self.ledger_snapshot[name][1])
                st = path.stat()
                self.ledger_snapshot[name] = ((st.st_size, st.st_mtime_ns),
                                              self.ledger_snapshot[name][1])
            elif path.exists():
                path.unlink()


# -- starting programs ---------------------------------------------------------

class Native:
    name = 'native'

    def __init__(self, program, scratch):
        self.source = Path(program).resolve()
        self.tmpdir = scratch / 'lock'
        self.tmpdir.mkdir(parents=True, exist_ok=True)
        self.rss_file = scratch / 'peak-rss'
        self.floor = scratch / 'floor'
        build(['cc', '-O2', '-o', str(self.floor), str(HERE / 'floor.c'),
               str(HERE / 'floor_replace_posix.c')])

    def path(self, p):
        return str(p)

    def install(self, folder):
        target = folder / self.source.name
        shutil.copy2(self.source, target)
        return target

    def start(self, program, command_line, cwd, env, date):
        full = {'TZ': 'UTC', 'TMPDIR': str(self.tmpdir), 'PATH': '/usr/bin:/bin'}
        full.update(env)
        if date:
            from quarvel_harness import faketime_env
            full.update(faketime_env(date))
        argv = self.measured([str(program)] + ([command_line] if command_line else []))
        return argv, full

    def measured(self, argv):
        # Through time(1): the peak memory the kernel reports for a child
        # counts what the child was before its exec, and a child forked from
        # Python starts as big as Python.
        return ['/usr/bin/time', '-f', '%M', '-o', str(self.rss_file)] + argv

    def floor_argv(self, stores, commit):
        return self.measured([str(self.floor)] + (['commit'] if commit else []) +
                             [str(s) for s in stores])


class Windows:
    name = 'windows'

    def __init__(self, program, scratch):
        from quarvel_harness import shared_wine
        self.source = Path(program).resolve()
        self.rawrun = self.source.parent / 'rawrun.exe'
        if not self.rawrun.exists():
            sys.exit('%s is missing: build the Windows test tools too' % self.rawrun)
        self.wine = shared_wine()
        self.floor = scratch / 'floor.exe'
        build(['x86_64-w64-mingw32-gcc', '-O2', '-static', '-o', str(self.floor),
               str(HERE / 'floor.c'), str(HERE / 'floor_replace_windows.c')])

    def path(self, p):
        return gen_site.windows_path(p)

    def install(self, folder):
        target = folder / self.source.name
        shutil.copy2(self.source, target)
        return target

    def start(self, program, command_line, cwd, env, date):
        full = {'TZ': 'UTC'}
        full.update(self.wine.env)
        full.update(env)
        if date:
            from quarvel_harness import faketime_env
            full.update(faketime_env(date))
        raw = '"%s"' % self.path(program) + (' ' + command_line if command_line else '')
        full['QUARVEL_RAW_COMMAND_LINE'] = raw
        return [self.wine.loader, str(self.rawrun)], full

    def floor_line(self, stores, commit):
        """The floor's raw command line: started through rawrun as well."""
        return ' '.join(['"%s"' % self.path(self.floor)] + (['commit'] if commit else []) +
                        [self.path(s) for s in stores])


def build(argv):
    result = subprocess.run(argv, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit('cannot build the floor: %s\n%s' % (' '.join(argv), result.stderr))


def timed(argv, env, cwd, limit, stdin=None, rss_file=None):
    """(wall seconds, peak RSS in MB or None, processor seconds) of one
    process; Limit when it outlives `limit` (the process and its session are
    killed). The peak memory comes from time(1)'s `rss_file`."""
    started = time.perf_counter()
    popen = subprocess.Popen(argv, env=env, cwd=str(cwd), stdin=stdin or subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             start_new_session=True)
    deadline = started + limit
    while True:
        pid, status, usage = os.wait4(popen.pid, os.WNOHANG)
        if pid:
            popen.returncode = status
            seconds = time.perf_counter() - started
            rss = int(rss_file.read_text().split()[-1]) / 1024.0 if rss_file else None
            return seconds, rss, usage.ru_utime + usage.ru_stime
        if time.perf_counter() > deadline:
            try:
                os.killpg(popen.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            popen.wait()
            raise Limit()
        time.sleep(0.0005 if time.perf_counter() - started < 0.05 else 0.01)


class Timer:
    def __init__(self, bench, limit):
        self.bench = bench
        self.runner = bench.runner
        self.limit = limit

    def program(self, command_line, env=None, date=None):
        self.bench.restore()
        argv, full = self.runner.start(self.bench.program, command_line, self.bench.system,
                                       env or {}, date)
        return timed(argv, full, self.bench.system, self.limit,
                     rss_file=getattr(self.runner, 'rss_file', None))

    def floor(self, stores, commit):
        """The floor reading `stores`, and committing each when `commit`."""
        self.bench.restore()
        paths = [self.bench.system / s for s in stores]
        if isinstance(self.runner, Windows):
            argv, full = self.runner.start(self.runner.floor, '', self.bench.system, {}, None)
            full['QUARVEL_RAW_COMMAND_LINE'] = self.runner.floor_line(paths, commit)
        else:
            argv, full = self.runner.floor_argv(paths, commit), {'PATH': '/usr/bin:/bin'}
        return timed(argv, full, self.bench.system, self.limit,
                     rss_file=getattr(self.runner, 'rss_file', None))

    def read_inputs(self):
        """Reading every input file once: xargs cat, output thrown away."""
        self.bench.restore()
        listing = tempfile.TemporaryFile()
        listing.write(b''.join(bytes(p) + b'\0' for p in self.bench.inputs()))
        listing.seek(0)
        return timed(['xargs', '-0', 'cat'], {'PATH': '/usr/bin:/bin'}, self.bench.system,
                     self.limit, stdin=listing)[0]


# -- the two tables --------------------------------------------------------------

def events(bench):
    """(name, command line, env, the store it reads)."""
    up = bench.runner.path(bench.incoming / 'upload.rar')
    folder = bench.runner.path(bench.incoming)
    member = {'user': bench.member, 'group': bench.member_group}
    trial = {'user': bench.trial_user, 'group': bench.trial_group}
    return [
        ('UD (trial user)', 'UD "%s" 00000000 "/incoming/upload.rar"' % up, trial,
         'Quarvel.dat'),
        ('UD (quota member)', 'UD "%s" 00000000 "/incoming/upload.rar"' % up, member,
         'Velkrin.dat'),
        # The nuke script names the release: its files are marked in the ledger.
        ('NUKE', 'NUKE %s 4096 "%s"' % (bench.member, bench.runner.path(bench.release)), {},
         'Velkrin.dat'),
        ('UNNUKE', 'UNNUKE %s 4096 "%s"' % (bench.member, bench.runner.path(bench.release)), {},
         'Velkrin.dat'),
        ('PREDL', 'PREDL DELE kept.rar', dict(member, path=folder), 'Velkrin.dat'),
        ('POSDL', 'POSDL DELE gone.rar', dict(member, path=folder), 'Velkrin.dat'),
        ('stats', 'stats', member, 'Velkrin.dat'),
        ('ST give', 'ST give %s 1' % bench.trial_user, {}, 'Quarvel.dat'),
        ('SQ give', 'SQ give %s 1' % bench.member, {}, 'Velkrin.dat'),
        ('IRC PASSED', 'IRC PASSED %s' % bench.member, {}, 'Velkrin.dat'),
    ]


def prepare_events(bench, timer):
    """The stores every event starts from: a memo for gone.rar, which the
    server has deleted since (so POSDL has something to take off)."""
    bench.snapshot = {}
    bench.keep()
    env = {'user': bench.member, 'group': bench.member_group,
           'path': bench.runner.path(bench.incoming)}
    timer.program('PREDL DELE gone.rar', env)
    bench.keep()
    (bench.incoming / 'gone.rar').unlink()


def fmt_ms(seconds):
    return '%.1f' % (seconds * 1000)


def run_events(bench, runs, limit, skip):
    timer = Timer(bench, limit)
    prepare_events(bench, timer)
    rows = []
    for name, line, env, store in events(bench):
        if name in skip:
            rows.append((name, '', 'skipped', '', '', '', '', '', '', 'FAIL'))
            continue
        # The floor commits each store the event commits (one run tells
        # which), or, for an event that changes nothing, reads its store.
        timer.program(line, env)
        changed = bench.changed()
        commit = bool(changed)
        floor_stores = changed or [store]
        mine, floor, mine_cpu, floor_cpu, rss = [], [], [], [], 0.0
        try:
            for _ in range(runs):
                seconds, peak, cpu = timer.program(line, env)
                mine.append(seconds)
                mine_cpu.append(cpu)
                rss = max(rss, peak or 0.0)
                seconds, _, cpu = timer.floor(floor_stores, commit)
                floor.append(seconds)
                floor_cpu.append(cpu)
        except Limit:
            skip.add(name)
            rows.append((name, '', '> %g s' % limit, '', '', '', '', '', '', 'FAIL'))
            continue
        m, f = statistics.median(mine), statistics.median(floor)
        windows = isinstance(bench.runner, Windows)
        ok = m <= EVENT_RATIO * f and (windows or rss <= EVENT_RSS_MB)
        rows.append((name, ', '.join(changed) or '-', fmt_ms(m), fmt_ms(f), '%.2f' % (m / f),
                     fmt_ms(statistics.median(mine_cpu)), fmt_ms(statistics.median(floor_cpu)),
                     '-' if windows else '%.1f' % rss, 'PASS' if ok else 'FAIL'))
    return rows


SCALE = [('qnow', 'qnow force', MID_PERIOD), ('qstart', 'qstart force', MID_PERIOD),
         ('checkup', 'checkup', MID_PERIOD), ('newday (count-down day)', 'newday', MID_PERIOD),
         ('newday (period end)', 'newday', PERIOD_END),
         ('IRC info trial', 'IRC info trial', MID_PERIOD),
         ('IRC info trial all', 'IRC info trial all', MID_PERIOD),
         ('IRC info quota total', 'IRC info quota total', MID_PERIOD),
         ('IRC info quota exempt', 'IRC info quota exempt', MID_PERIOD),
         ('IRC info quota passed', 'IRC info quota passed', MID_PERIOD)]


def run_scale(bench, runs, limit, skip):
    """{name: (median seconds or None when over the limit, cat seconds,
    median processor seconds)}."""
    timer = Timer(bench, limit)
    bench.snapshot = {}
    bench.keep()
    timer.read_inputs()                        # the page cache is warm for both sides
    cat = statistics.median(timer.read_inputs() for _ in range(max(1, runs)))
    found = {}
    for name, line, date in SCALE:
        if name in skip:
            found[name] = ('skipped', cat, None)
            continue
        try:
            measured = [timer.program(line, date=date) for _ in range(runs)]
            found[name] = (statistics.median(m[0] for m in measured), cat,
                           statistics.median(m[2] for m in measured))
        except Limit:
            skip.add(name)
            found[name] = (None, cat, None)
    return found


def print_table(title, header, rows):
    widths = [max(len(str(r[i])) for r in [header] + rows) for i in range(len(header))]
    print('\n' + title)
    line = lambda r: '| ' + ' | '.join(str(c).ljust(w) for c, w in zip(r, widths)) + ' |'
    print(line(header))
    print('|' + '|'.join('-' * (w + 2) for w in widths) + '|')
    for r in rows:
        print(line(r))
    sys.stdout.flush()


def scale_rows(results, sizes, limit):
    rows = []
    for name, _, _ in SCALE:
        for size in sizes:
            time_s, cat, cpu = results[size].get(name, (None, None, None))
            shown = ('> %g s' % limit if time_s is None else
                     time_s if isinstance(time_s, str) else '%.2f' % time_s)
            measured = isinstance(time_s, float)
            ratio = '%.1f' % (time_s / cat) if measured else ''
            goal = 'PASS' if measured and time_s <= SCALE_RATIO * cat else 'FAIL'
            growth = ''
            smaller = [s for s in sizes if s * 10 == size]
            if smaller:
                before = results[smaller[0]].get(name, (None,))[0]
                if isinstance(before, float) and measured:
                    g = time_s / before
                    growth = '%.1fx %s' % (g, 'PASS' if g <= GROWTH else 'FAIL')
                else:
                    growth = 'FAIL'
            rows.append((name, size, shown, '%.2f' % cpu if cpu is not None else '',
                         '%.2f' % cat if cat else '', ratio, goal, growth))
    return rows


def main(argv=None):
    parser = argparse.ArgumentParser(description='Times the program against its floor.',
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__.split('\n\n', 1)[1])
    parser.add_argument('--program', default=str(REPO / 'build' / 'quarvel'))
    parser.add_argument('--windows-program', default=None,
                        help='also time the events of this Windows build under Wine')
    parser.add_argument('--sizes', default='10000,100000',
                        help='account counts, comma-separated (default 10000,100000)')
    parser.add_argument('--runs', type=int, default=200, help='runs of each event and its floor')
    parser.add_argument('--scale-runs', type=int, default=1,
                        help='runs of each whole-site command (median)')
    parser.add_argument('--limit', type=float, default=120.0,
                        help='seconds one run may take before it counts as "> limit"')
    parser.add_argument('--only', choices=('events', 'scale'), default=None)
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--ledger-files', type=int, default=None,
                        help='entries of the credit ledger of the event sites (default: '
                             '%d per account)' % LEDGER_FILES_PER_ACCOUNT)
    parser.add_argument('--work', type=Path, default=None,
                        help='where the sites are generated and kept (default: '
                             '$TMPDIR/quarvel-bench)')
    args = parser.parse_args(argv)
    try:
        sizes = sorted({int(s) for s in args.sizes.split(',') if s.strip()})
    except ValueError:
        parser.error('--sizes takes whole numbers separated by commas')
    if not sizes or min(sizes) < 10 or args.runs < 1 or args.scale_runs < 1 or args.limit <= 0:
        parser.error('sizes of at least 10 accounts, at least one run and a positive limit')
    if not Path(args.program).is_file():
        parser.error('%s does not exist: build it first (scripts/build.sh)' % args.program)
    work = (args.work or Path(tempfile.gettempdir()) / 'quarvel-bench').resolve()
    scratch = work / 'tools'
    scratch.mkdir(parents=True, exist_ok=True)
    runners = [Native(args.program, scratch)]
    if args.windows_program:
        runners.append(Windows(args.windows_program, scratch))

    print('quarvel benchmark: %s, sizes %s, %d runs per event, limit %g s'
          % (', '.join(r.name for r in runners), ','.join(map(str, sizes)), args.runs, args.limit))
    for runner in runners:
        if args.only != 'scale':
            skip = set()
            rows = []
            for size in sizes:
                files = (LEDGER_FILES_PER_ACCOUNT * size if args.ledger_files is None
                         else args.ledger_files)
                bench = Bench(work, size, args.seed, runner, ledger_files=files)
                rows += [(r[0], size) + r[1:] for r in run_events(bench, args.runs, args.limit,
                                                                   skip)]
            print_table('Events, %s (goal: median <= %.1fx floor%s)' % (
                runner.name, EVENT_RATIO,
                ', peak RSS <= %g MB' % EVENT_RSS_MB if runner.name == 'native' else ''),
                ('event', 'store lines', 'stores committed', 'median ms', 'floor ms', 'ratio', 'cpu ms',
                 'floor cpu ms', 'peak RSS MB', 'goal'), rows)
        if args.only != 'events' and runner.name == 'native':
            skip = set()
            results = {}
            for size in sizes:
                bench = Bench(work, size, args.seed, runner)
                results[size] = run_scale(bench, args.scale_runs, args.limit, skip)
            print_table('Whole-site commands, native (goals: <= %gx reading the inputs; '
                        'time at 10x the accounts <= %gx)' % (SCALE_RATIO, GROWTH),
                        ('command', 'accounts', 'seconds', 'cpu s', 'cat s', 'ratio', 'goal',
                         'growth'), scale_rows(results, sizes, args.limit))
    return 0


if __name__ == '__main__':
    sys.exit(main())
