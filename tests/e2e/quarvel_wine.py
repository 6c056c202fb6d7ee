"""The Wine side of the end-to-end harness: the prefix, the loader and the
Windows form of paths."""

import os
import shutil
import subprocess
import tempfile
from pathlib import Path

from quarvel_runs import HarnessError

REPO = Path(__file__).resolve().parents[2]


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
