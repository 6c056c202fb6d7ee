"""Runs the real program the way its callers do, for the end-to-end tests.

A Target is one program under test: the native build (build/quarvel) or the
Windows build (build-win/quarvel.exe, run under Wine through rawrun.exe so
that it gets an exact raw command line). A Sandbox is one test's own world: a
data folder that is the run's working folder, a program folder holding a
private copy of the program (IRC, NUKE and UNNUKE keep their data there), and
helpers to write and read the files the program uses. conftest.py turns both
into fixtures; README.md beside this file gives the overview. Runs, results
and byte comparison live in quarvel_runs.py; Wine and libfaketime in
tests/tools/wine_faketime.py.
"""

import select
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from quarvel_runs import (CRLF, HarnessError, Result,  # noqa: F401
                          Running, assert_bytes, bytes_diff, kill_session, lines,
                          process_tree)

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / 'tools'))
from pe_machine import pe_machine  # noqa: E402
from wine_faketime import (RAWRUN_NOT_STARTED, SetupError, run_until_it_starts,  # noqa: E402,F401
                           shared_wine, windows_path)
import wine_faketime  # noqa: E402

REPO = Path(__file__).resolve().parents[2]
FIXTURES = REPO / 'tests' / 'fixtures'
TOOLS = REPO / 'tests' / 'tools'

CONF_FILE = 'quarvel.conf'
# Natively, the instance lock is a flock on this file in the program's folder.
LOCK_FILE_NAME = 'QuarvelInstance.lock'
TRIAL_STORE = 'Quarvel.dat'
QUOTA_STORE = 'Velkrin.dat'

NATIVE_TIMEOUT = 60.0
WINE_TIMEOUT = 120.0


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


def faketime_env(date, x86=False):
    """Variables that make the program (and, under Wine, every process that
    wine64 starts) see `date`, 'YYYY-MM-DD' (noon) or 'YYYY-MM-DD HH:MM:SS',
    as now."""
    try:
        return wine_faketime.faketime_env(date if ' ' in date else date + ' 12:00:00', x86)
    except SetupError as e:
        raise HarnessError(str(e))


# -- targets -----------------------------------------------------------------

class Target:
    """One program under test and how to start it."""

    def __init__(self, program, scratch):
        self.program = Path(program).resolve()
        self.windows = self.program.suffix.lower() == '.exe'
        self.x86 = self.windows and pe_machine(self.program) == 'x86'
        self.name = 'windows' if self.windows else 'native'
        self.build_dir = self.program.parent
        self.timeout = WINE_TIMEOUT if self.windows else NATIVE_TIMEOUT
        if not self.program.is_file():
            raise HarnessError('the program %s does not exist: build it first (see '
                               'tests/e2e/README.md)' % self.program)
        # Runs get a temp folder of this session's own, so that nothing of
        # theirs lands in the machine's shared one. (The instance lock is in
        # the program's folder: every sandbox has its own copy of the program,
        # so tests and sessions side by side never wait for each other.)
        self.tmpdir = Path(scratch) / 'tmp'
        self.tmpdir.mkdir(parents=True, exist_ok=True)
        if self.windows:
            for tool in ('rawrun.exe', 'lockhold.exe'):
                if not (self.build_dir / tool).is_file():
                    raise HarnessError('%s is missing beside %s: build the Windows '
                                       'test tools too' % (tool, self.program))
            try:
                self.wine = shared_wine()
            except SetupError as e:
                raise HarnessError(str(e))

    def __repr__(self):
        return '<Target %s %s>' % (self.name, self.program)

    def path(self, path):
        """A path written the way the program under test expects it."""
        return windows_path(path) if self.windows else str(path)

    @staticmethod
    def lock_file(program_folder):
        """Natively: the file whose flock is the instance lock of the program
        copy in `program_folder`."""
        return Path(program_folder) / LOCK_FILE_NAME

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

    def hold_lock(self, program_folder, mutex_name=None):
        """Another process holding the lock of the program copy in
        `program_folder`; under Wine the machine-wide mutex, or the mutex
        `mutex_name`."""
        return LockHolder(self, program_folder, mutex_name)


class LockHolder:
    """Another process that holds the instance lock until release() or kill().
    Natively a Python process with flock on the lock file; under Wine the
    build's lockhold.exe, which holds the named mutex."""

    HOLDER = ('import fcntl, sys\n'
              'f = open(sys.argv[1], "a")\n'
              'fcntl.flock(f, fcntl.LOCK_EX)\n'
              'sys.stdout.write("held\\r\\n"); sys.stdout.flush()\n'
              'sys.stdin.readline()\n')

    def __init__(self, target, program_folder, mutex_name=None, timeout=None):
        env = target.base_env()
        if target.windows:
            argv = [target.wine.loader, str(target.build_dir / 'lockhold.exe')]
            argv += [mutex_name] if mutex_name else []
        else:
            argv = ['/usr/bin/python3', '-c', self.HOLDER,
                    str(target.lock_file(program_folder))]
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
        kill_session(self.popen)
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

    def hold_lock(self, mutex_name=None):
        """Another process holding the instance lock of this sandbox's program
        (see LockHolder): .release(), .kill()."""
        return self.target.hold_lock(self.prog, mutex_name)

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
            full_env.update(faketime_env(date, self.target.x86))
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
        return run_until_it_starts(
            lambda: self.start(command_line, env, date, cwd, preexec_fn, program).wait(timeout),
            lambda result: result.never_ran,
            report=lambda result, why: print('%s: the program never ran (%s); again'
                                             % (result.description, why)))
