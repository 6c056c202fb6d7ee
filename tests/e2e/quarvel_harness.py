"""Runs the real program the way its callers do, for the end-to-end tests.

A Target is one program under test: the native build (build/quarvel) or the
Windows build (build-win/quarvel.exe, run under Wine through rawrun.exe so
that it gets an exact raw command line). A Sandbox is one test's own world: a
data folder that is the run's working folder, a program folder holding a
private copy of the program (IRC, NUKE and UNNUKE keep their data there), and
helpers to write and read the files the program uses. conftest.py turns both
into fixtures; README.md beside this file gives the overview.
"""

import difflib
import glob
import os
import select
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
FIXTURES = REPO / 'tests' / 'fixtures'
TOOLS = REPO / 'tests' / 'tools'

CONF_FILE = 'quarvel.conf'
TRIAL_STORE = 'Quarvel.dat'
QUOTA_STORE = 'Velkrin.dat'

NATIVE_TIMEOUT = 60.0
WINE_TIMEOUT = 120.0
# The program's own line ends.
CRLF = b'\r\n'


class HarnessError(Exception):
    """The test set-up itself is broken (missing program, Wine unusable...)."""


# -- comparing bytes ---------------------------------------------------------

def _lines_for_diff(data):
    return [repr(line) for line in data.splitlines(keepends=True)] or ["b''"]


def bytes_diff(actual, expected):
    """A readable diff of two byte strings: one repr per line, CR LF shown."""
    first = next((i for i, (a, b) in enumerate(zip(actual, expected)) if a != b),
                 min(len(actual), len(expected)))
    diff = difflib.unified_diff(_lines_for_diff(expected), _lines_for_diff(actual),
                                'expected', 'actual', lineterm='', n=2)
    return ('first difference at byte %d (expected %d bytes, got %d)\n%s'
            % (first, len(expected), len(actual), '\n'.join(diff)))


def assert_bytes(actual, expected, what='bytes'):
    """Fails unless the two byte strings are equal, showing a repr diff."""
    if isinstance(expected, str):
        expected = expected.encode('latin-1')
    if actual != expected:
        raise AssertionError('%s differ: %s' % (what, bytes_diff(actual, expected)))


def lines(*texts):
    """The program's output for these lines: each text followed by CR LF."""
    return b''.join((t.encode('latin-1') if isinstance(t, str) else t) + CRLF
                    for t in texts)


# -- files ---------------------------------------------------------------------

def format_conf(entries, line_end='\r\n'):
    """Configuration text as bytes. `entries` is a dict (key=value lines in
    order), a list of lines, a text (split into lines) or bytes (as they
    are). Every line, the last one too, ends with `line_end`."""
    if isinstance(entries, bytes):
        return entries
    if isinstance(entries, dict):
        text_lines = ['%s=%s' % (k, v) for k, v in entries.items()]
    elif isinstance(entries, str):
        text_lines = entries.splitlines()
    else:
        text_lines = list(entries)
    return ''.join(line + line_end for line in text_lines).encode('latin-1')


def faketime_value(date):
    """FAKETIME for a date 'YYYY-MM-DD' (noon) or 'YYYY-MM-DD HH:MM:SS'."""
    return '@' + (date if ' ' in date else date + ' 12:00:00')


_FAKETIME_LIB = None


def faketime_library():
    global _FAKETIME_LIB
    if _FAKETIME_LIB is None:
        found = []
        try:
            listing = subprocess.run(['dpkg', '-L', 'libfaketime'], capture_output=True,
                                     text=True, timeout=30).stdout
            found = [p for p in listing.split() if p.endswith('/libfaketime.so.1')]
        except (OSError, subprocess.SubprocessError):
            pass
        found += glob.glob('/usr/lib/*/faketime/libfaketime.so.1')
        found = [p for p in found if os.path.exists(p)]
        if not found:
            raise HarnessError('libfaketime is not installed (apt-get install faketime)')
        _FAKETIME_LIB = found[0]
    return _FAKETIME_LIB


def faketime_env(date):
    """Variables that make the program (and, under Wine, every process that
    wine64 starts) see `date` as now. Only the wall clock is faked: time-outs
    go by the real monotonic clock."""
    return {'LD_PRELOAD': faketime_library(), 'FAKETIME': faketime_value(date),
            'FAKETIME_DONT_FAKE_MONOTONIC': '1'}


# -- processes ---------------------------------------------------------------

_CLOCK_TICKS = os.sysconf('SC_CLK_TCK')


def _read_stat(pid):
    """(session id, cpu seconds) of a process, or None when it is gone (or a
    zombie, which only waits to be reaped)."""
    try:
        with open('/proc/%d/stat' % pid, 'rb') as f:
            data = f.read()
    except OSError:
        return None
    fields = data[data.rindex(b')') + 2:].split()
    if fields[0] in (b'Z', b'X'):
        return None
    return int(fields[3]), (int(fields[11]) + int(fields[12])) / _CLOCK_TICKS


def process_tree(session):
    """{pid: (cpu seconds, command line)} of the live processes of a session.
    Every run starts a session of its own, and the processes that Wine starts
    for it stay in that session (Wine makes init their parent)."""
    tree = {}
    for name in os.listdir('/proc'):
        if not name.isdigit():
            continue
        st = _read_stat(int(name))
        if not st or st[0] != session:
            continue
        try:
            with open('/proc/%s/cmdline' % name, 'rb') as f:
                cmdline = f.read().replace(b'\0', b' ').decode('latin-1').strip()
        except OSError:
            cmdline = ''
        tree[int(name)] = (st[1], cmdline)
    return tree


def _kill_group(popen):
    """Kills every process of the run's session (Wine's children included) and
    waits, bounded, until they are gone."""
    deadline = time.monotonic() + 10
    while True:
        for pid in [popen.pid] + list(process_tree(popen.pid)):
            try:
                os.kill(pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass
        popen.poll()
        if not process_tree(popen.pid) or time.monotonic() > deadline:
            return
        time.sleep(0.05)


class Result:
    def __init__(self, description, returncode, stdout, stderr, duration):
        self.description = description
        self.returncode = returncode
        self.stdout = stdout
        self.stderr = stderr
        self.duration = duration

    @property
    def lines(self):
        """stdout cut after every CR LF (each line without it)."""
        parts = self.stdout.split(CRLF)
        return parts[:-1] if parts[-1] == b'' else parts

    def expect(self, stdout=None, stderr=b'', returncode=0):
        """Exact checks; None skips a part. The exit code is 0 by default."""
        if returncode is not None and self.returncode != returncode:
            raise AssertionError('%s: exit code %r, expected %r\nstdout=%r\nstderr=%r' % (
                self.description, self.returncode, returncode, self.stdout, self.stderr))
        if stdout is not None:
            assert_bytes(self.stdout, stdout, '%s: stdout' % self.description)
        if stderr is not None:
            assert_bytes(self.stderr, stderr, '%s: stderr' % self.description)
        return self

    def __repr__(self):
        return '<Result %s rc=%r stdout=%r stderr=%r>' % (
            self.description, self.returncode, self.stdout, self.stderr)


class Running:
    """A started run; wait() turns it into a Result. Output goes to files, not
    pipes: a helper process that Wine may leave behind cannot hold a run open."""

    def __init__(self, popen, description, timeout, out_path, err_path):
        self.popen = popen
        self.pid = popen.pid
        self.description = description
        self.timeout = timeout
        self.out_path = out_path
        self.err_path = err_path
        self.started = time.monotonic()

    @property
    def finished(self):
        return self.popen.poll() is not None

    def output_so_far(self):
        return self.out_path.read_bytes(), self.err_path.read_bytes()

    def tree(self):
        return process_tree(self.pid)

    def cpu_seconds(self):
        """Processor time used so far by the run's live processes."""
        return sum(cpu for cpu, _ in self.tree().values())

    def wait_for_program(self, name, timeout=60.0):
        """Waits (bounded) until a process of the run's tree has `name` in its
        command line (under Wine the program is a child of rawrun)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if any(name in cmd for _, cmd in self.tree().values()):
                return
            if self.finished:
                raise AssertionError('%s ended early: %r' % (self.description,
                                                             self.output_so_far()))
            time.sleep(0.05)
        raise AssertionError('%s: no process %r after %.0f s' % (self.description, name, timeout))

    def wait(self, timeout=None):
        """Waits for the end (bounded: a hang fails the test)."""
        limit = self.timeout if timeout is None else timeout
        remaining = max(0.1, self.started + limit - time.monotonic())
        try:
            self.popen.wait(remaining)
        except subprocess.TimeoutExpired:
            _kill_group(self.popen)
            self.popen.wait()
            out, err = self.output_so_far()
            raise AssertionError('%s: still running after %.0f s (a hang); killed.\n'
                                 'stdout so far=%r\nstderr so far=%r'
                                 % (self.description, limit, out, err))
        out, err = self.output_so_far()
        return Result(self.description, self.popen.returncode, out, err,
                      time.monotonic() - self.started)

    def kill(self):
        _kill_group(self.popen)
        self.popen.wait()


# -- targets -----------------------------------------------------------------

def _wine_loader():
    for candidate in (shutil.which('wine64'), '/usr/lib/wine/wine64',
                      '/usr/lib/x86_64-linux-gnu/wine/wine64', shutil.which('wine')):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    raise HarnessError('no wine64 found (apt-get install wine wine64)')


class Wine:
    """The Wine set-up shared by all runs of a session: the prefix that
    scripts/wine_env.sh prepares (or, without that script, WINEPREFIX or
    ~/.cache/quarvel-e2e/wine, made here), with its wineserver kept running."""

    def __init__(self):
        script = REPO / 'scripts' / 'wine_env.sh'
        self.env = {'HOME': os.environ.get('HOME', '/root'), 'PATH': '/usr/bin:/bin',
                    'WINEDEBUG': '-all', 'WINEARCH': 'win64',
                    'WINEDLLOVERRIDES': 'mscoree,mshtml=;winemenubuilder.exe=d'}
        if script.exists():
            self._from_script(script)
        else:
            self._own_prefix()
        self._clear_system_path()

    def _from_script(self, script):
        names = ['WINEPREFIX', 'QUARVEL_WINE', 'WINEDLLOVERRIDES', 'WINEDEBUG', 'WINEARCH']
        shell = '. "$1" >/dev/null 2>&1 </dev/null; printf "%s\\0" ' + ' '.join(
            '"$%s"' % n for n in names)
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            try:
                subprocess.run(['bash', '-c', shell, 'wine_env', str(script)], stdout=out,
                               stderr=err, timeout=600, stdin=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                raise HarnessError('scripts/wine_env.sh did not finish within 600 s')
            out.seek(0)
            err.seek(0)
            printed, complaint = out.read(), err.read()
        found = dict(zip(names, printed.decode().split('\0')))
        if not found.get('WINEPREFIX'):
            raise HarnessError('scripts/wine_env.sh set no WINEPREFIX: %r' % complaint)
        self.loader = found.get('QUARVEL_WINE') or _wine_loader()
        for n in ('WINEPREFIX', 'WINEDLLOVERRIDES', 'WINEDEBUG', 'WINEARCH'):
            if found.get(n):
                self.env[n] = found[n]

    def _own_prefix(self):
        self.loader = _wine_loader()
        prefix = os.environ.get('WINEPREFIX') or os.path.join(
            self.env['HOME'], '.cache', 'quarvel-e2e', 'wine')
        self.env['WINEPREFIX'] = prefix
        if not os.path.exists(os.path.join(prefix, 'system.reg')):
            os.makedirs(os.path.dirname(prefix), exist_ok=True)
            self._wine(['wineboot', '-i'], 600)
        server = os.path.join(os.path.dirname(self.loader), 'wineserver')
        if os.access(server, os.X_OK):
            subprocess.run([server, '-p'], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def _wine(self, args, timeout):
        """Runs a Wine command; (exit code, what it printed on stderr). No
        pipes: Wine's service processes would inherit them and never close."""
        with tempfile.TemporaryFile() as err:
            try:
                code = subprocess.run([self.loader] + args, env=self.env, timeout=timeout,
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=err).returncode
            except subprocess.TimeoutExpired:
                raise HarnessError('wine %s did not finish within %d s' % (args, timeout))
            err.seek(0)
            return code, err.read()

    def _clear_system_path(self):
        # Windows names ignore case, so the caller's variable `path` is the
        # process PATH, and Wine appends the registry's system PATH to it. The
        # server starts the program with `path` alone, so the test prefix keeps
        # that registry value empty (runs start programs by full path).
        key = r'HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
        code, err = self._wine(['reg', 'add', key, '/v', 'PATH', '/t', 'REG_EXPAND_SZ',
                                '/d', '', '/f'], 300)
        if code != 0:
            raise HarnessError('cannot clear the system PATH of the Wine prefix: %r' % err)


_WINE = None


def shared_wine():
    """The session's Wine set-up, made once (a failure is kept and repeated)."""
    global _WINE
    if _WINE is None:
        try:
            _WINE = Wine()
        except HarnessError as e:
            _WINE = e
    if isinstance(_WINE, HarnessError):
        raise _WINE
    return _WINE


def windows_path(path):
    """The path as the Windows program sees it (Wine's Z: drive is /)."""
    return 'Z:' + str(path).replace('/', '\\')


class Target:
    """One program under test and how to start it."""

    def __init__(self, program, scratch):
        self.program = Path(program).resolve()
        self.windows = self.program.suffix.lower() == '.exe'
        self.name = 'windows' if self.windows else 'native'
        self.build_dir = self.program.parent
        self.timeout = WINE_TIMEOUT if self.windows else NATIVE_TIMEOUT
        if not self.program.is_file():
            raise HarnessError('the program %s does not exist: build it first (see '
                               'tests/e2e/README.md)' % self.program)
        # Native runs take their instance lock in this session's own temp
        # folder, so that test sessions running side by side on one machine
        # never wait for each other.
        self.tmpdir = Path(scratch) / 'tmp'
        self.tmpdir.mkdir(parents=True, exist_ok=True)
        if self.windows:
            for tool in ('rawrun.exe', 'lockhold.exe'):
                if not (self.build_dir / tool).is_file():
                    raise HarnessError('%s is missing beside %s: build the Windows '
                                       'test tools too' % (tool, self.program))
            self.wine = shared_wine()

    def __repr__(self):
        return '<Target %s %s>' % (self.name, self.program)

    def path(self, path):
        """A path written the way the program under test expects it."""
        return windows_path(path) if self.windows else str(path)

    @property
    def lock_file(self):
        """Natively: the file whose flock is the instance lock."""
        return self.tmpdir / 'QuarvelInstance'

    def base_env(self):
        env = {'TZ': 'UTC'}
        if self.windows:
            env.update(self.wine.env)
        else:
            env['TMPDIR'] = str(self.tmpdir)
        return env

    def argv(self, program_copy, command_line, env):
        """The process to start for a raw command line (env is completed)."""
        if not self.windows:
            return [str(program_copy)] + ([command_line] if command_line != '' else [])
        raw = '"%s"' % windows_path(program_copy)
        if command_line != '':
            raw += ' ' + command_line
        env['QUARVEL_RAW_COMMAND_LINE'] = raw
        return [self.wine.loader, str(self.build_dir / 'rawrun.exe')]

    def hold_lock(self):
        return LockHolder(self)


class LockHolder:
    """Another process that holds the instance lock until release() or kill().
    Natively a Python process with flock on the lock file; under Wine the
    build's lockhold.exe, which holds the named mutex."""

    HOLDER = ('import fcntl, sys\n'
              'f = open(sys.argv[1], "a")\n'
              'fcntl.flock(f, fcntl.LOCK_EX)\n'
              'sys.stdout.write("held\\r\\n"); sys.stdout.flush()\n'
              'sys.stdin.readline()\n')

    def __init__(self, target, timeout=None):
        env = target.base_env()
        if target.windows:
            argv = [target.wine.loader, str(target.build_dir / 'lockhold.exe')]
        else:
            argv = ['/usr/bin/python3', '-c', self.HOLDER, str(target.lock_file)]
        self.err = tempfile.TemporaryFile()
        self.popen = subprocess.Popen(argv, env=env, stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, stderr=self.err,
                                      start_new_session=True)
        limit = timeout or (60 if target.windows else 10)
        ready, _, _ = select.select([self.popen.stdout], [], [], limit)
        line = self.popen.stdout.readline() if ready else b''
        if line != b'held\r\n':
            self.kill()
            self.err.seek(0)
            raise HarnessError('the lock holder did not take the lock within %d s: %r %r'
                               % (limit, line, self.err.read()))

    def release(self, timeout=30):
        self.popen.stdin.close()
        try:
            self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError('the lock holder did not end after its release')

    def kill(self):
        """Ends the holder abruptly (SIGKILL), as a crash would."""
        try:
            self.popen.kill()
        except ProcessLookupError:
            pass
        _kill_group(self.popen)
        self.popen.wait(30)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.popen.poll() is None:
            self.kill()
        for f in (self.popen.stdin, self.popen.stdout, self.err):
            if not f.closed:
                f.close()


# -- one test's world --------------------------------------------------------

class Sandbox:
    """One test's folders and runs.

    data: the working folder of every run (the data folder of most commands).
    prog: the folder holding the program copy that runs (the data folder of
          IRC, NUKE and UNNUKE).
    `where` arguments name a folder: 'data' (default), 'prog' or a Path."""

    def __init__(self, target, root):
        self.target = target
        self.root = Path(root)
        self.data = self.root / 'data'
        self.prog = self.root / 'prog'
        self.runs = self.root / 'runs'  # what each run printed
        for folder in (self.data, self.prog, self.runs):
            folder.mkdir(parents=True, exist_ok=True)
        self.program = self.prog / target.program.name
        shutil.copy2(target.program, self.program)
        self._runs = 0

    # folders and files

    def folder(self, where='data'):
        if where == 'data':
            return self.data
        if where == 'prog':
            return self.prog
        return Path(where)

    def path(self, path):
        """A path in the target's form (for configuration values)."""
        return self.target.path(path)

    def write_file(self, name, data, where='data'):
        if isinstance(data, str):
            data = data.encode('latin-1')
        path = self.folder(where) / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        return path

    def read_file(self, name, where='data'):
        """The file's exact bytes, or None when it does not exist."""
        path = self.folder(where) / name
        return path.read_bytes() if path.exists() else None

    def files(self, where='data'):
        return sorted(p.name for p in self.folder(where).iterdir())

    def write_conf(self, entries, where='data', line_end='\r\n'):
        """Writes quarvel.conf (see format_conf); CR LF unless told otherwise."""
        return self.write_file(CONF_FILE, format_conf(entries, line_end), where)

    def write_store(self, name, data, where='data'):
        """A store file (TRIAL_STORE or QUOTA_STORE) with exactly these bytes."""
        return self.write_file(name, data, where)

    def read_store(self, name, where='data'):
        return self.read_file(name, where)

    def ioftpd(self):
        """Copies the sample ioFTPD site into the sandbox (once) and gives the
        configuration entries that point at it."""
        site = self.root / 'ioftpd-site'
        if not site.exists():
            shutil.copytree(FIXTURES / 'ioftpd-site', site)
        return {'ioFTPD': self.path(site),
                'UserTABLE': self.path(site / 'etc' / 'UserIdTable'),
                'UserFOLDER': self.path(site / 'users'),
                'GroupTABLE': self.path(site / 'etc' / 'GroupIdTable')}

    @staticmethod
    def ftp_conf(server, user='siteop', password='s3cret'):
        """Admin connection entries for an FtpStandin (or anything with .port)."""
        return {'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(server.port),
                'FTP_USER': user, 'FTP_PASS': password}

    # runs

    def start(self, command_line='', env=None, date=None, cwd=None, preexec_fn=None,
              program=None):
        """Starts the program with this raw command line (text after the
        program's name). `env` holds the caller's variables (`user`, `group`,
        `path`, `pwd`); nothing else of the test's environment is passed.
        `date` ('YYYY-MM-DD' or 'YYYY-MM-DD HH:MM:SS') sets today's date.
        `program` runs another program of the target's kind the same way."""
        full_env = self.target.base_env()
        full_env.update(env or {})
        if date:
            full_env.update(faketime_env(date))
        argv = self.target.argv(program or self.program, command_line, full_env)
        self._runs += 1
        description = 'run %d %r (%s)' % (self._runs, command_line, self.target.name)
        out_path = self.runs / ('%d.out' % self._runs)
        err_path = self.runs / ('%d.err' % self._runs)
        with open(out_path, 'wb') as out, open(err_path, 'wb') as err:
            popen = subprocess.Popen(argv, cwd=str(cwd or self.data), env=full_env,
                                     stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                     start_new_session=True, preexec_fn=preexec_fn)
        return Running(popen, description, self.target.timeout, out_path, err_path)

    def run(self, command_line='', env=None, date=None, cwd=None, preexec_fn=None,
            program=None, timeout=None):
        """Runs to the end (bounded) and gives the Result."""
        return self.start(command_line, env, date, cwd, preexec_fn, program).wait(timeout)
