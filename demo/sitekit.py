"""The pieces of a sample ioFTPD site that the demo's site server and the demo
script share: the site's folders and user database in ioFTPD's own formats,
the demo's date, and starting the program the way ioFTPD's EXEC does (working
folder <site>/system, variables from etc/ioftpd.env, one raw command line,
standard output and error in one pipe, "!putlog" lines into logs/ioFTPD.log).

Every problem with the tools' input is raised as SiteError, whose text is one
line meant for the user.
"""

import argparse
import datetime
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import zlib
from pathlib import Path

DEMO = Path(__file__).resolve().parent
REPO = DEMO.parent
SAMPLE_SITE = DEMO / 'site'
SAMPLE_PASSWORDS = DEMO / 'passwords.txt'
SAMPLE_CONF = REPO / 'quarvel.conf.sample'

sys.path.insert(0, str(REPO / 'tests' / 'tools'))
from pe_machine import pe_machine  # noqa: E402  (which Windows build a program is)
import wine_faketime  # noqa: E402  (Wine, faketime, runs that never started)
from wine_faketime import windows_path  # noqa: E402

# The account the program logs in with (flags 1M, group SiteOps).
ADMIN = 'warden'

# The values the demo's story relies on (everything else comes from
# quarvel.conf.sample): small amounts, so that a few megabytes of uploads
# show every outcome, and punishments that show the admin commands at work.
DEMO_SETTINGS = {
    'TRIAL_UPLOAD': '10',
    'TRIAL_DAYS': '7',
    'TRIAL_PUNISHMENT': '2',
    'TRIAL_DISABLE_FLAG': '6',
    'TRIAL_ONPASS': 'SITE CHANGE $USER ratio 3',
    'QUOTA_TYPE': '1',
    'QUOTA_UPLOAD': '15',
    'QUOTA_PUNISHMENT': '1',
    'QUOTA_DISABLE_FLAG': '6',
    'AddLate': '1',
    'ToGive': '0',
    'Quota_Users': '',
    'Quota_Groups': 'SiteOps',
    'Irc_SiteName': 'DemoSite',
    'TRIAL_WARN_DAYS': '3',
    'QUOTA_WARN_DAYS': '2',
}

CRLF = '\r\n'
PROGRAM_TIMEOUT = 60.0


class SiteError(Exception):
    """A problem with the tools' input, said in one line."""


class ArgumentParser(argparse.ArgumentParser):
    """Command line errors in one line, not argparse's usage block."""

    def error(self, message):
        self.exit(2, '%s: %s (see --help)\n' % (self.prog.rsplit('.', 1)[0], message))


def _one_line(text):
    return ' '.join(str(text).split())


# -- files in ioFTPD's formats ----------------------------------------------------

def read_crlf_lines(path):
    """The lines of a text file (CR LF, CR or LF ends), as latin-1 text."""
    try:
        data = Path(path).read_bytes()
    except OSError as e:
        raise SiteError('cannot read %s: %s' % (path, e.strerror or e))
    text = data.decode('latin-1').replace('\r\n', '\n').replace('\r', '\n')
    lines = text.split('\n')
    if lines and lines[-1] == '':
        lines.pop()
    return lines


def write_crlf_lines(path, lines):
    """Replaces a file atomically (a .new file renamed over it), as ioFTPD
    rewrites its tables; every line ends with CR LF."""
    path = Path(path)
    temp = path.with_name(path.name + '.new')
    with open(temp, 'wb') as f:
        f.write(''.join(line + CRLF for line in lines).encode('latin-1'))
        f.flush()
        os.fsync(f.fileno())
    os.replace(temp, path)


class Account:
    def __init__(self, name, uid):
        self.name = name
        self.uid = uid


class Site:
    """An ioFTPD installation folder: system/ (the program and its data),
    etc/ (id tables, ioftpd.env; passwd on sites that keep one), users/,
    groups/, logs/, text/ftp/ (message files) and site/ (the files the FTP
    clients see)."""

    def __init__(self, root):
        self.root = Path(root).resolve()
        self.system = self.root / 'system'
        self.etc = self.root / 'etc'
        self.users = self.root / 'users'
        self.groups = self.root / 'groups'
        self.logs = self.root / 'logs'
        self.messages = self.root / 'text' / 'ftp'
        self.ftp_root = self.root / 'site'
        self.temp = self.root / 'tmp'
        self.user_table = self.etc / 'UserIdTable'
        self.group_table = self.etc / 'GroupIdTable'
        self.passwd = self.etc / 'passwd'
        self.env_file = self.etc / 'ioftpd.env'
        self.log_file = self.logs / 'ioFTPD.log'
        self.sysop_file = self.logs / 'SysOp.log'
        # The server's threads change the user database; one at a time.
        self.lock = threading.RLock()

    def relative(self, path):
        try:
            return str(Path(path).relative_to(self.root))
        except ValueError:
            return str(path)

    # -- reading ---------------------------------------------------------------

    def read_id_table(self, path):
        """[(name, id, module)] of a UserIdTable, GroupIdTable or passwd file."""
        if not path.is_file():
            raise SiteError('%s is missing' % self.relative(path))
        entries = []
        for number, line in enumerate(read_crlf_lines(path), 1):
            if line == '':
                continue
            parts = line.split(':', 2)
            if (len(parts) != 3 or not parts[0] or not parts[2]
                    or not parts[1].isdigit()):
                raise SiteError('%s line %d is not name:id:module: %r'
                                % (self.relative(path), number, line))
            entries.append((parts[0], int(parts[1]), parts[2]))
        return entries

    def accounts(self):
        with self.lock:
            return [Account(name, uid) for name, uid, _ in self.read_id_table(self.user_table)]

    def find(self, name):
        """The account of a name (letter case ignored, as ioFTPD does), or None."""
        wanted = name.lower()
        for account in self.accounts():
            if account.name.lower() == wanted:
                return account
        return None

    def user_file(self, uid):
        return self.users / str(uid)

    def user_lines(self, uid):
        path = self.user_file(uid)
        if not path.is_file():
            raise SiteError('%s is missing (the user file of uid %d)'
                            % (self.relative(path), uid))
        return read_crlf_lines(path)

    @staticmethod
    def _field(lines, keyword):
        """The words after the last line of a keyword (ignoring case), or None."""
        found = None
        for line in lines:
            words = line.split(' ')
            if words[0].lower() == keyword:
                found = words[1:]
        return found

    def flags(self, account):
        with self.lock:
            words = self._field(self.user_lines(account.uid), 'flags')
        return words[0] if words else ''

    def group_ids(self, account):
        with self.lock:
            words = self._field(self.user_lines(account.uid), 'groups') or []
        return [int(w) for w in words if w.isdigit()]

    def group_names(self):
        return {gid: name for name, gid, _ in self.read_id_table(self.group_table)}

    def primary_group(self, account):
        """(name, gid) of the first group of the user that exists, as ioFTPD
        keeps only groups found in its GroupIdTable; ('', 0) when none."""
        names = self.group_names()
        for gid in self.group_ids(account):
            if gid in names:
                return names[gid], gid
        return '', 0

    def _mark(self, account, keyword):
        words = self._field(self.user_lines(account.uid), keyword.lower())
        try:
            return int(words[0]) if words else 0
        except ValueError:
            return 0

    def is_deleted(self, account):
        """Marked by SITE DELUSER (DeletedOn set) and not purged yet."""
        with self.lock:
            return self._mark(account, 'DeletedOn') != 0

    def is_expired(self, account, when):
        """ExpiresAt (a Unix time, 0 for never) has passed."""
        with self.lock:
            expires = self._mark(account, 'ExpiresAt')
        return 0 < expires <= when.timestamp()

    def is_siteop(self, account):
        """Accounts with flag 1 or M may run the admin SITE commands (ioFTPD's
        default permission lines kick, deluser and flags are 1M)."""
        flags = self.flags(account)
        return '1' in flags or 'M' in flags

    def validate(self):
        """Checks that every file the server and the program read is in
        ioFTPD's format; the first problem found is raised."""
        for folder in (self.etc, self.users, self.groups):
            if not folder.is_dir():
                raise SiteError('%s is not an ioFTPD site: %s/ is missing'
                                % (self.root, self.relative(folder)))
        groups = self.read_id_table(self.group_table)
        # ioFTPD keeps no passwd file; a site may carry one for older tools.
        if self.passwd.exists():
            self.read_id_table(self.passwd)
        users = self.read_id_table(self.user_table)
        if not users:
            raise SiteError('%s has no accounts' % self.relative(self.user_table))
        for name, uid, _ in users:
            lines = self.user_lines(uid)
            for number, line in enumerate(lines, 1):
                if line and not re.match(r'^[A-Za-z]+( |$)', line):
                    raise SiteError('%s line %d is not "keyword values": %r'
                                    % (self.relative(self.user_file(uid)), number, line))
            if self._field(lines, 'groups') is None:
                raise SiteError('%s (user %s) has no groups line'
                                % (self.relative(self.user_file(uid)), name))
        for _, gid, _ in groups:
            if not (self.groups / str(gid)).is_file():
                raise SiteError('%s is missing (group id %d)'
                                % (self.relative(self.groups / str(gid)), gid))
        if self.env_file.exists():
            for number, line in enumerate(read_crlf_lines(self.env_file), 1):
                if line and '=' not in line:
                    raise SiteError('%s line %d is not NAME=text: %r'
                                    % (self.relative(self.env_file), number, line))

    # -- what the admin SITE commands change -------------------------------------

    def change_flags(self, account, change):
        """SITE CHANGE user FLAGS: +letters appends the letters not yet there,
        -letters removes letters, anything else replaces the flags (keeping M),
        at most 32 flags; the flags line is rewritten in place."""
        with self.lock:
            lines = self.user_lines(account.uid)
            old = self._field(lines, 'flags')
            flags = old[0] if old else ''
            if change.startswith('+'):
                for letter in change[1:]:
                    if letter not in flags and letter != ' ':
                        flags += letter
            elif change.startswith('-'):
                flags = ''.join(c for c in flags if c not in change[1:])
            else:
                keep = 'M' if 'M' in flags and 'M' not in change else ''
                flags = change.replace(' ', '') + keep
            flags = flags[:32]
            out, placed = [], False
            for line in lines:
                if line.split(' ')[0].lower() == 'flags':
                    if flags and not placed:
                        out.append('flags ' + flags)
                    placed = True
                    continue
                out.append(line)
                # ioFTPD writes flags right after groups when it was absent.
                if not placed and flags and line.split(' ')[0].lower() == 'groups' and old is None:
                    out.append('flags ' + flags)
                    placed = True
            write_crlf_lines(self.user_file(account.uid), out)
            return flags

    def mark_deleted(self, account, admin, message, when):
        """SITE DELUSER of ioFTPD 7: the account is only marked, with
        DeletedOn (Unix time), DeletedBy (the admin's uid) and DeletedMsg (when
        a message was given) in its user file, where ioFTPD writes them (after
        ExpiresAt). It stays in UserIdTable and users/ until SITE PURGE."""
        marks = (['DeletedMsg ' + message] if message else []) + [
            'DeletedBy %d' % admin.uid, 'DeletedOn %d' % int(when.timestamp())]
        self._rewrite_marks(account, marks)

    def undelete(self, account):
        """SITE READD: the marks back to nothing deleted."""
        self._rewrite_marks(account, ['DeletedBy 0', 'DeletedOn 0'])

    def _rewrite_marks(self, account, marks):
        with self.lock:
            kept, at = [], None
            for line in self.user_lines(account.uid):
                keyword = line.split(' ')[0].lower()
                if keyword in ('deletedmsg', 'deletedby', 'deletedon'):
                    at = len(kept) if at is None else at
                    continue
                kept.append(line)
                if keyword == 'expiresat' and at is None:
                    at = len(kept)
            if at is None:
                at = len(kept)
            write_crlf_lines(self.user_file(account.uid), kept[:at] + marks + kept[at:])

    def purge(self, account):
        """SITE PURGE: removes a deleted account for good: its line in
        UserIdTable (and in passwd, where a site keeps one), its user file,
        and one from the member count of each of its groups."""
        with self.lock:
            gids = self.group_ids(account)
            for table in (self.user_table, self.passwd):
                if not table.exists():
                    continue
                lines = read_crlf_lines(table)
                kept = [l for l in lines if l.split(':', 1)[0].lower() != account.name.lower()]
                write_crlf_lines(table, kept)
            try:
                self.user_file(account.uid).unlink()
            except FileNotFoundError:
                pass
            for gid in gids:
                path = self.groups / str(gid)
                if path.is_file():
                    lines = read_crlf_lines(path)
                    for i, line in enumerate(lines):
                        words = line.split(' ')
                        if words[0] == 'users' and len(words) == 2 and words[1].isdigit():
                            lines[i] = 'users %d' % max(0, int(words[1]) - 1)
                    write_crlf_lines(path, lines)

    # -- logs ----------------------------------------------------------------

    def _append(self, path, text, when):
        stamp = when.strftime('%m-%d-%Y %H:%M:%S')
        with self.lock:
            self.logs.mkdir(exist_ok=True)
            with open(path, 'ab') as f:
                f.write(('%s %s\r\n' % (stamp, text)).encode('latin-1', 'replace'))

    def log(self, text, when):
        """A line of logs/ioFTPD.log, as ioFTPD's Putlog writes it."""
        self._append(self.log_file, text[:510], when)

    def sysop(self, text, when):
        """A line of logs/SysOp.log, where the admin commands are recorded."""
        self._append(self.sysop_file, text, when)


def read_passwords(path, site):
    """{lower-case name: password} from the demo's password list."""
    passwords = {}
    for number, line in enumerate(read_crlf_lines(path), 1):
        if not line.strip() or line.lstrip().startswith('#'):
            continue
        name, sep, password = line.partition(':')
        if not sep or not name or not password:
            raise SiteError('%s line %d is not name:password' % (path, number))
        passwords[name.lower()] = password
    for name in passwords:
        if site.find(name) is None:
            raise SiteError('%s names %s, who is not in %s'
                            % (path, name, site.relative(site.user_table)))
    return passwords


# -- the demo's date ----------------------------------------------------------------

class Clock:
    """The demo's current time: a file holding 'YYYY-MM-DD HH:MM:SS', from
    which time runs on with the real clock (counted from the file's change).
    Without a file, the real local time."""

    FORMAT = '%Y-%m-%d %H:%M:%S'

    def __init__(self, path=None):
        self.path = Path(path) if path else None

    def set(self, when):
        temp = self.path.with_name(self.path.name + '.new')
        temp.write_text(when.strftime(self.FORMAT) + '\n')
        os.replace(temp, self.path)

    def now(self):
        real = datetime.datetime.now()
        if self.path is None or not self.path.exists():
            return real.replace(microsecond=0)
        text = self.path.read_text().strip()
        try:
            start = datetime.datetime.strptime(text, self.FORMAT)
        except ValueError:
            raise SiteError('%s does not hold a time YYYY-MM-DD HH:MM:SS: %r' % (self.path, text))
        since = max(0.0, real.timestamp() - self.path.stat().st_mtime)
        return (start + datetime.timedelta(seconds=since)).replace(microsecond=0)


# -- starting the program -----------------------------------------------------------

def _setup(call, *args):
    """A call of the shared Wine and faketime helpers, its problems as SiteError."""
    try:
        return call(*args)
    except wine_faketime.SetupError as e:
        raise SiteError(str(e))


class Result:
    def __init__(self, exit_code, output, problem=None):
        self.exit_code = exit_code      # None when the program did not run to its end
        self.output = output            # standard output and error, as bytes
        self.problem = problem          # why it failed to run, one line

    @property
    def ok(self):
        return self.exit_code == 0

    @property
    def lines(self):
        """Output split at LF with a CR before it dropped, as ioFTPD reads it."""
        text = self.output.decode('latin-1')
        pieces = text.split('\n')
        if pieces and pieces[-1] == '':
            pieces.pop()
        return [p[:-1] if p.endswith('\r') else p for p in pieces]


class Launcher:
    """Starts the installed program of a site (system/quarvel natively,
    system/quarvel.exe under Wine through the build's rawrun.exe) at the
    demo's date, with one raw command line and exactly the given variables."""

    def __init__(self, site, build_program, clock, timeout=PROGRAM_TIMEOUT):
        self.site = site
        self.clock = clock
        self.timeout = timeout
        build_program = Path(build_program).resolve()
        self.windows = build_program.suffix.lower() == '.exe'
        self.program = site.system / ('quarvel.exe' if self.windows else 'quarvel')
        if self.windows:
            # A program unpacked from a release package has no rawrun.exe
            # beside it: QUARVEL_RAWRUN names the build's.
            self.rawrun = Path(os.environ.get('QUARVEL_RAWRUN')
                               or build_program.parent / 'rawrun.exe')
            if not self.rawrun.is_file():
                raise SiteError('%s is missing: build the Windows tools too (or set '
                                'QUARVEL_RAWRUN)' % self.rawrun)
            self.wine = _setup(wine_faketime.shared_wine)
        self.x86 = self.windows and pe_machine(build_program) == 'x86'
        _setup(wine_faketime.faketime_library, self.x86)  # installed, or say so now

    def local(self, path):
        """A local path as the program reads it."""
        return windows_path(path) if self.windows else str(path)

    def run(self, command_line, variables, cwd=None, when=None):
        """Runs the program with `command_line` (the text after its name),
        the `variables` as its whole environment (what ioftpd.env gives) and
        the site's system folder as working folder."""
        when = when or self.clock.now()
        # libfaketime, preloaded (under Wine into every process wine64
        # starts), sets the wall clock; time-outs go by the real one.
        env = {'PATH': '/usr/bin:/bin'}
        env.update(_setup(wine_faketime.faketime_env, when.strftime('%Y-%m-%d %H:%M:%S'),
                          self.x86))
        if os.environ.get('TZ'):
            env['TZ'] = os.environ['TZ']
        if self.windows:
            env.update(self.wine.env)
            raw = '"%s"' % windows_path(self.program)
            if command_line != '':
                raw += ' ' + command_line
            env['QUARVEL_RAW_COMMAND_LINE'] = raw
            argv = [self.wine.loader, str(self.rawrun)]
        else:
            # The native program joins its arguments by single blanks: the
            # whole raw line as one argument reaches it unchanged.
            env['TMPDIR'] = str(self.site.temp)
            argv = [str(self.program)] + ([command_line] if command_line != '' else [])
        env.update(variables)
        if not self.program.is_file():
            return Result(None, b'', 'the program %s is missing' % self.program)
        # Output and errors share one pipe: all of it counts as errors.
        def why_not_started(result):
            return wine_faketime.never_ran(result.exit_code, b'', result.output)

        result = wine_faketime.run_until_it_starts(lambda: self._start(argv, env, cwd),
                                                   why_not_started)
        if why_not_started(result):
            return Result(None, result.output, 'the program never ran: %s'
                          % _one_line(result.output.decode('latin-1')))
        return result

    def _start(self, argv, env, cwd):
        try:
            popen = subprocess.Popen(argv, cwd=str(cwd or self.site.system), env=env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, start_new_session=True)
        except OSError as e:
            return Result(None, b'', 'cannot start %s: %s' % (argv[0], e.strerror or e))
        try:
            output, _ = popen.communicate(timeout=self.timeout)
        except subprocess.TimeoutExpired:
            try:
                os.killpg(popen.pid, signal.SIGKILL)
            except OSError:
                pass
            output, _ = popen.communicate()
            wine_faketime.remove_faketime_leftovers(popen.pid)
            return Result(None, output, 'did not finish within %.0f s (stopped)' % self.timeout)
        wine_faketime.remove_faketime_leftovers(popen.pid)
        return Result(popen.returncode, output)


# -- what ioFTPD does around a run ------------------------------------------------------

REDIRECTS = {'!putlog', '!vfs:add', '!vfs:chattr', '!change', '!unlock', '!newlines',
             '!prefix', '!buffer', '!detach'}


def is_redirect(line):
    words = line.split()
    return (len(line) > 2 and line[0] == '!' and line[1] != '!' and len(words) >= 2
            and words[0].lower() in REDIRECTS)


def relay(lines, site, when):
    """The lines for the FTP client: redirect lines are taken out and each
    "!putlog text" goes to logs/ioFTPD.log."""
    out = []
    for line in lines:
        if is_redirect(line):
            if line.split()[0].lower() == '!putlog':
                site.log(line.split(None, 1)[1].strip(), when)
        else:
            out.append(line)
    return out


_COOKIE = re.compile(r'%\[\$([A-Za-z]+)\]')


def environment(site, cookies):
    """The variables of etc/ioftpd.env with their %[$name] cookies filled in
    for the user of the event (empty when there is none): the whole
    environment ioFTPD gives a program."""
    variables = {}
    if site.env_file.exists():
        for line in read_crlf_lines(site.env_file):
            name, sep, value = line.partition('=')
            if sep and name:
                variables[name] = _COOKIE.sub(
                    lambda m: str(cookies.get(m.group(1).lower(), '')), value)
    return variables


def file_crc(path):
    crc = 0
    with open(path, 'rb') as f:
        for block in iter(lambda: f.read(1 << 16), b''):
            crc = zlib.crc32(block, crc)
    return '%08X' % (crc & 0xFFFFFFFF)


# -- preparing a site ---------------------------------------------------------------

def configuration(site, port, windows, passwords_file=SAMPLE_PASSWORDS):
    """quarvel.conf of a demo site: quarvel.conf.sample with the site's
    paths, the admin login (its password from `passwords_file`) and
    DEMO_SETTINGS filled in, CR LF kept."""
    def local(path):
        return windows_path(path) if windows else str(path)

    passwords = read_passwords(passwords_file, site)
    if ADMIN.lower() not in passwords:
        raise SiteError('%s has no password for the admin account %s' % (passwords_file, ADMIN))
    values = dict(DEMO_SETTINGS)
    values.update({
        'ioFTPD': local(site.root),
        'UserTABLE': local(site.user_table),
        'UserFOLDER': local(site.users),
        'GroupTABLE': local(site.group_table),
        'FTP_HOST': '127.0.0.1',
        'FTP_PORT': str(port),
        'FTP_USER': ADMIN,
        'FTP_PASS': passwords[ADMIN.lower()],
    })
    if not SAMPLE_CONF.is_file():
        raise SiteError('%s is missing' % SAMPLE_CONF)
    lines = read_crlf_lines(SAMPLE_CONF)
    for key, value in values.items():
        for i, line in enumerate(lines):
            name, sep, _ = line.partition('=')
            if sep and name.strip().lower() == key.lower():
                lines[i] = '%s=%s' % (name.strip(), value)
                break
        else:
            raise SiteError('%s has no line for %s' % (SAMPLE_CONF.name, key))
    return lines


def prepare_site(root, build_program, port, passwords_file=SAMPLE_PASSWORDS):
    """Makes `root` a demo site (a copy of demo/site when it does not exist),
    installs the program into its system folder and writes quarvel.conf for
    the server's port and the admin password of `passwords_file`. Returns
    the Site."""
    root = Path(root).resolve()
    build_program = Path(build_program).resolve()
    if not build_program.is_file():
        raise SiteError('program not found: %s (build it first: cmake --build build)'
                        % build_program)
    if not build_program.suffix.lower() == '.exe' and not os.access(build_program, os.X_OK):
        raise SiteError('program is not executable: %s' % build_program)
    if '=' in str(root) or '"' in str(root):
        raise SiteError('the site folder %s holds "=" or a double quote, which '
                        'quarvel.conf cannot hold' % root)
    if not root.exists() or (root.is_dir() and not any(root.iterdir())):
        try:
            shutil.copytree(SAMPLE_SITE, root, dirs_exist_ok=True)
        except OSError as e:
            raise SiteError('cannot copy the sample site to %s: %s' % (root, e))
    site = Site(root)
    site.validate()
    windows = build_program.suffix.lower() == '.exe'
    try:
        for folder in (site.system, site.logs, site.ftp_root / 'incoming', site.temp):
            folder.mkdir(parents=True, exist_ok=True)
        installed = site.system / ('quarvel.exe' if windows else 'quarvel')
        other = site.system / ('quarvel' if windows else 'quarvel.exe')
        if other.exists():
            other.unlink()
        shutil.copy2(build_program, installed)
        write_crlf_lines(site.system / 'quarvel.conf',
                         configuration(site, port, windows, passwords_file))
    except OSError as e:
        raise SiteError('cannot install the program into %s: %s'
                        % (site.system, e.strerror or e))
    return site
