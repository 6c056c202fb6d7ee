"""Starting the program the way the test tools and the demo do: the Windows
build under Wine (the loader, the prefix that scripts/wine_env.sh prepares,
with the registry's system PATH kept empty, and the Windows form of paths),
any build at a date set by libfaketime (the library, its variables and the
shared state it leaves behind), and telling a run that never started from
one that failed. Every problem with the set-up is raised as SetupError,
whose text is one line meant for the user."""

import glob
import os
import shutil
import subprocess
import tempfile
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
WINE_ENV_SCRIPT = REPO / 'scripts' / 'wine_env.sh'


class SetupError(Exception):
    """Wine or libfaketime cannot be used here; said in one line."""


# -- Wine ---------------------------------------------------------------------

def wine_loader():
    """The 64-bit Wine loader (Debian installs it outside PATH)."""
    for candidate in (os.environ.get('QUARVEL_WINE'), shutil.which('wine64'),
                      '/usr/lib/wine/wine64', '/usr/lib/x86_64-linux-gnu/wine/wine64',
                      shutil.which('wine')):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    raise SetupError('wine64 is not installed (apt-get install wine wine64)')


def windows_path(path):
    """The path as a Windows program under Wine sees it (drive Z: is /)."""
    return 'Z:' + str(path).replace('/', '\\')


def _run_quietly(argv, env, timeout, what):
    """(exit code, stdout, stderr) of a helper. Files, not pipes: a Wine
    service process started on the way inherits them and may never close
    them."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        try:
            code = subprocess.run(argv, env=env, timeout=timeout, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err).returncode
        except subprocess.TimeoutExpired:
            raise SetupError('%s did not finish within %d s' % (what, timeout))
        except OSError as e:
            raise SetupError('cannot start %s: %s' % (what, e.strerror or e))
        out.seek(0)
        err.seek(0)
        return code, out.read(), err.read()


class Wine:
    """The loader and the Unix environment for running Windows programs: the
    prefix of scripts/wine_env.sh (or of the script QUARVEL_WINE_ENV names)."""

    # TMPDIR too: Wine keeps the socket of a prefix's wineserver below it,
    # so the programs reach the persistent wineserver that wine_env.sh
    # started instead of each starting one of their own. (A fresh wineserver
    # boots the prefix again, and under libfaketime, which fakes file times
    # as well, that boot takes the prefix for outdated and says so on
    # standard error.)
    NAMES = ['WINEPREFIX', 'QUARVEL_WINE', 'WINEDEBUG', 'WINEARCH', 'WINEDLLOVERRIDES', 'TMPDIR']

    def __init__(self):
        script = Path(os.environ.get('QUARVEL_WINE_ENV') or WINE_ENV_SCRIPT)
        if not script.is_file():
            raise SetupError('%s is missing: the Windows build runs under Wine with it '
                             '(or set QUARVEL_WINE_ENV)' % script)
        shell = ('. "$1" >/dev/null 2>&1 </dev/null; printf "%s\\0" '
                 + ' '.join('"$%s"' % n for n in self.NAMES))
        _, printed, complaint = _run_quietly(['bash', '-c', shell, 'wine_env', str(script)],
                                             None, 600, str(script))
        found = dict(zip(self.NAMES, printed.decode('latin-1').split('\0')))
        if not found.get('WINEPREFIX'):
            raise SetupError('%s set no WINEPREFIX: %s' % (script, _one_line(complaint)))
        self.loader = found.get('QUARVEL_WINE') or wine_loader()
        if not os.access(self.loader, os.X_OK):
            raise SetupError('wine64 is not installed (apt-get install wine wine64)')
        self.env = {'HOME': os.environ.get('HOME', '/root'),
                    'PATH': '/usr/bin:/bin:' + os.path.dirname(self.loader)}
        for name in self.NAMES:
            if name != 'QUARVEL_WINE' and found.get(name):
                self.env[name] = found[name]
        self._clear_system_path()

    def _clear_system_path(self):
        # Windows names ignore case, so a caller's variable `path` is the
        # process PATH, and Wine appends the registry's system PATH to it.
        # ioFTPD hands a program only the variables of ioftpd.env, so that
        # value stays empty here (runs start programs by full path).
        key = r'HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
        _, shown, _ = _run_quietly([self.loader, 'reg', 'query', key, '/v', 'PATH'],
                                   self.env, 300, 'wine reg query')
        for line in shown.decode('latin-1').splitlines():
            words = line.split()
            if words[:1] == ['PATH'] and len(words) == 2 and words[1].startswith('REG_'):
                return  # empty already
        code, _, err = _run_quietly([self.loader, 'reg', 'add', key, '/v', 'PATH', '/t',
                                     'REG_EXPAND_SZ', '/d', '', '/f'],
                                    self.env, 300, 'wine reg add')
        if code != 0:
            raise SetupError('cannot empty the system PATH of the Wine prefix: %s'
                             % _one_line(err))


_WINE = None
_WINE_LOCK = threading.Lock()


def shared_wine():
    """The Wine set-up of this process, made once (a failure is kept and
    raised again)."""
    global _WINE
    with _WINE_LOCK:
        if _WINE is None:
            try:
                _WINE = Wine()
            except SetupError as e:
                _WINE = e
    if isinstance(_WINE, SetupError):
        raise _WINE
    return _WINE


# -- libfaketime ----------------------------------------------------------------

# The dynamic loader takes the copy of each process's kind: an x86 program
# runs in Wine's 32-bit loader (libfaketime:i386), which starts 64-bit helpers.
BOTH_FAKETIME = '/usr/$LIB/faketime/libfaketime.so.1'

_FAKETIME_LIBRARIES = None


def _faketime_libraries():
    """The installed copies of libfaketime, the machine's own kind first."""
    global _FAKETIME_LIBRARIES
    if _FAKETIME_LIBRARIES is None:
        found = []
        try:
            listing = subprocess.run(['dpkg', '-L', 'libfaketime'], capture_output=True,
                                     text=True, timeout=30).stdout
            found = [p for p in listing.split() if p.endswith('/libfaketime.so.1')]
        except (OSError, subprocess.SubprocessError):
            pass
        found += glob.glob('/usr/lib/*/faketime/libfaketime.so.1')
        own = '/%s-' % os.uname().machine
        found = sorted({p for p in found if os.path.exists(p)},
                       key=lambda p: (own not in p, '/i386-' in p, p))
        _FAKETIME_LIBRARIES = found
    return _FAKETIME_LIBRARIES


def faketime_library(x86=False):
    """The library of Debian's faketime package to preload. (Its faketime
    command is not used: it leaves a semaphore behind whenever it is killed.)
    For an x86 Windows program both copies are needed."""
    found = _faketime_libraries()
    if not found:
        raise SetupError('libfaketime is not installed (apt-get install faketime)')
    if x86:
        if len(found) < 2:
            raise SetupError('the x86 build needs the 32-bit faketime too '
                             '(apt-get install libfaketime:i386)')
        return BOTH_FAKETIME
    return found[0]


def faketime_env(moment, x86=False):
    """Variables that make a program (and, under Wine, every process that
    wine64 starts) see `moment` ('YYYY-MM-DD HH:MM:SS') as now. Only the wall
    clock is faked: time-outs go by the real monotonic clock."""
    return {'LD_PRELOAD': faketime_library(x86), 'FAKETIME': '@' + moment,
            'FAKETIME_DONT_FAKE_MONOTONIC': '1'}


def remove_faketime_leftovers(pid):
    """Removes the shared state that libfaketime made for the process `pid`
    once that process is gone. It names a semaphore and a shared memory
    object after the first process it is loaded into and removes them only
    when that process ends normally: a killed run, and every Wine run (wine64
    ends by exec), leave them behind, and a later process with the same id
    then dies in libfaketime before its own code starts."""
    if os.path.exists('/proc/%d' % pid):
        return  # the id is in use again: the names may be another process's
    for name in ('/dev/shm/faketime_shm_%d' % pid, '/dev/shm/sem.faketime_sem_%d' % pid):
        try:
            os.unlink(name)
        except FileNotFoundError:
            pass


# -- runs that never started ----------------------------------------------------------

# rawrun's exit code and first words when Wine could not start the program.
RAWRUN_NOT_STARTED = 125
RAWRUN_COMPLAINT = b'rawrun: cannot start the program'
# What libfaketime writes before it ends a process that it could not set up
# (in its constructor, before the program's own code).
FAKETIME_COMPLAINT = b'libfaketime: '


def never_ran(returncode, stdout, stderr):
    """Why the program never ran (so its run says nothing about it), or None
    when it did. With standard output and error in one pipe, pass b'' as
    stdout and the whole output as stderr."""
    if returncode == RAWRUN_NOT_STARTED and stderr.startswith(RAWRUN_COMPLAINT):
        return 'Wine could not start it: %r' % stderr
    if returncode not in (0, None) and stdout == b'' and FAKETIME_COMPLAINT in stderr:
        return 'libfaketime failed before it: %r' % stderr
    return None


def run_until_it_starts(run_once, why_not_started, attempts=3, pause=0.5, report=None):
    """Runs `run_once()` again while `why_not_started(result)` names a reason
    (Wine now and then fails a process creation on a busy machine, and a
    preloaded library may fail before the program starts: the program never
    ran, so starting it again changes nothing). Gives the last result."""
    for attempt in range(attempts):
        result = run_once()
        reason = why_not_started(result)
        if not reason:
            break
        if report:
            report(result, reason)
        if attempt + 1 < attempts:
            time.sleep(pause)
    return result


def _one_line(text):
    if isinstance(text, bytes):
        text = text.decode('latin-1')
    return ' '.join(str(text).split())
