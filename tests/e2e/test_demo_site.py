"""The demo's site server (demo/site_server.py) with the real program: the
server stands in for ioFTPD, so these tests check the whole path from an FTP
client through the server's events to the program and back, and the admin
SITE commands the program sends. Each test runs once per target (native,
and the Windows build under Wine)."""

import datetime
import ftplib
import io
import re
import shutil
import socket
import subprocess
import sys
import time
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
DEMO = REPO / 'demo'
sys.path.insert(0, str(DEMO))
import sitekit  # noqa: E402

PYTHON = '/usr/bin/python3'
SERVER = DEMO / 'site_server.py'
RUN_DEMO = DEMO / 'run_demo.py'
MB = 1024 * 1024
START_TIMEOUT = 120


class SiteServer:
    """A site server on a free port, serving a fresh copy of demo/site."""

    def __init__(self, program, scratch, when, passwords=sitekit.SAMPLE_PASSWORDS):
        self.scratch = Path(scratch)
        self.root = self.scratch / 'ioFTPD'
        self.clock = sitekit.Clock(self.scratch / 'clock')
        self.clock.set(when)
        port_file = self.scratch / 'port'
        self.errors = open(self.scratch / 'server.err', 'w+b')
        self.popen = subprocess.Popen(
            [PYTHON, str(SERVER), '--root', str(self.root), '--program', str(program),
             '--port', '0', '--port-file', str(port_file), '--clock-file',
             str(self.clock.path), '--exit-with-stdin', '--run-timeout', '60',
             '--passwords', str(passwords)],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=self.errors)
        limit = time.monotonic() + START_TIMEOUT
        while not port_file.exists():
            assert self.popen.poll() is None, 'the server stopped: %s' % self.stderr()
            assert time.monotonic() < limit, 'the server did not start'
            time.sleep(0.05)
        self.port = int(port_file.read_text())
        self.site = sitekit.Site(self.root)
        self.launcher = sitekit.Launcher(self.site, program, self.clock)
        self.passwords = sitekit.read_passwords(passwords, self.site)
        self.clients = []

    def stderr(self):
        self.errors.seek(0)
        return self.errors.read().decode('latin-1')

    def login(self, user):
        ftp = ftplib.FTP()
        ftp.connect('127.0.0.1', self.port, timeout=60)
        self.clients.append(ftp)
        ftp.login(user, self.passwords[user.lower()])
        return ftp

    def scheduler(self, command, when):
        """A scheduler run: no user, working folder system/."""
        self.clock.set(when)
        result = self.launcher.run(command, sitekit.environment(self.site, {}))
        assert result.exit_code == 0, (result.problem, result.output)
        return sitekit.relay(result.lines, self.site, when)

    def records(self, name):
        """The store's lines that are not blank (a store made from nothing
        begins with an empty line; its layout is tested elsewhere)."""
        path = self.site.system / name
        return [l for l in path.read_bytes().decode('latin-1').split('\r\n') if l.strip()]

    def write_store(self, name, lines):
        (self.site.system / name).write_bytes(''.join(l + '\r\n' for l in lines).encode())

    def log_lines(self):
        path = self.site.log_file
        return path.read_bytes().decode('latin-1').split('\r\n')[:-1] if path.exists() else []

    def stop(self):
        for ftp in self.clients:
            ftp.close()
        if self.popen.poll() is None:
            self.popen.stdin.close()
            try:
                self.popen.wait(30)
            except subprocess.TimeoutExpired:
                self.popen.kill()
                self.popen.wait()
        self.errors.close()


@pytest.fixture
def server(target, tmp_path):
    servers = []

    def start(when=datetime.datetime(2025, 7, 3, 14, 0), **options):
        servers.append(SiteServer(target.program, tmp_path, when, **options))
        return servers[-1]

    yield start
    for s in servers:
        s.stop()


def upload(ftp, name, megabytes):
    data = b'x' * int(megabytes * MB)
    return ftp.storbinary('STOR ' + name, io.BytesIO(data)).split('\n')


def test_upload_credits_a_trial_user_and_the_stats_line_reaches_the_client(server):
    s = server()
    s.write_store('Quarvel.dat', ['fennel=1.5::7::Couriers'])
    fennel = s.login('fennel')
    fennel.cwd('/incoming')
    # The upload event prints nothing for a user short of the target; the
    # TransferComplete message then shows the stats line with the server's
    # own 226- in front (the sample configuration's FTP_STATS_PREFIX is empty).
    assert upload(fennel, 'one.rar', 6) == [
        '226-[TRiAL] fennel@Couriers: 7.5 MB uploaded, 2.5 MB to go, 7 days left',
        '226 Transfer complete.']
    assert s.records('Quarvel.dat') == ['fennel=7.5::7::Couriers']
    # Deleting the file gives it back: PREDL notes its size, POSDL subtracts
    # it. The post event runs after the 250 reply, as with ioFTPD: the reply
    # to the next command comes once it has run.
    assert fennel.delete('one.rar').startswith('250')
    fennel.voidcmd('NOOP')
    assert s.records('Quarvel.dat') == ['fennel=1.5::7::Couriers']
    assert s.log_lines() == []


def test_a_message_file_ends_with_its_last_line_as_the_final_reply(server):
    # As ioFTPD 7 sends it: the file's last line is the final 226 reply,
    # with nothing added, so the stats line alone in the file becomes the
    # final reply, and a bare "226 " when the program prints nothing.
    s = server()
    (s.site.messages / 'TransferComplete').write_bytes(
        b'%[EXECUTE(EXEC ..\\system\\quarvel.exe)(stats)]\r\n')
    s.write_store('Quarvel.dat', ['fennel=1.5::7::Couriers'])
    fennel = s.login('fennel')
    fennel.cwd('/incoming')
    assert upload(fennel, 'one.rar', 1) == [
        '226 [TRiAL] fennel@Couriers: 2.5 MB uploaded, 7.5 MB to go, 7 days left']
    brisk = s.login('brisk')
    brisk.cwd('/incoming')
    assert upload(brisk, 'two.rar', 1) == ['226 ']
    # Without the file, the server's own final reply.
    (s.site.messages / 'TransferComplete').unlink()
    assert upload(brisk, 'three.rar', 1) == ['226 Transfer complete.']


def test_the_admin_login_takes_its_password_from_the_password_list(server, tmp_path):
    passwords = tmp_path / 'passwords.txt'
    passwords.write_bytes(sitekit.SAMPLE_PASSWORDS.read_bytes().replace(
        b'warden:warden-at-the-gate', b'warden:another-secret'))
    s = server(passwords=passwords)
    conf = (s.site.system / 'quarvel.conf').read_bytes()
    assert b'\r\nFTP_PASS=another-secret\r\n' in conf
    s.login('warden').quit()
    # The admin login works: a SITE command of the program reaches the server.
    s.write_store('Quarvel.dat', ['juniper=0::1::Friends'])
    out = s.scheduler('newday', datetime.datetime(2025, 8, 1, 0, 5))
    assert out == ['wtf - SITE CHANGE juniper FLAGS +6'], out


def test_site_trial_add_answers_with_200_lines_and_logs_user_added(server):
    s = server(datetime.datetime(2025, 7, 2, 10, 30))
    marlow = s.login('Marlow')
    reply = marlow.sendcmd('SITE TRIAL add JUNIPER')
    assert reply.split('\n') == ['200- juniper from Friends was added to trial.',
                                 '200 Command successful.']
    assert s.records('Quarvel.dat') == ['juniper=0::7::Friends']
    log = s.log_lines()
    assert len(log) == 1
    assert re.fullmatch(r'07-02-2025 10:3\d:\d\d UserADDED: "juniper"', log[0]), log
    # Only accounts with flag 1 or M may run it; the program is not started.
    brisk = s.login('brisk')
    with pytest.raises(ftplib.error_perm, match='^550'):
        brisk.sendcmd('SITE TRIAL add wren')
    assert s.records('Quarvel.dat') == ['juniper=0::7::Friends']


def test_punishments_act_on_the_user_database(server):
    s = server(datetime.datetime(2025, 7, 31, 23, 0))
    s.write_store('Quarvel.dat', ['juniper=0::1::Friends'])
    s.write_store('Velkrin.dat', ['setup_quota_starts=07-01-2025',
                                  'setup_quota_ends=08-01-2025', 'setup_quota_started=1',
                                  'pike=0::0::NoGroup', 'brisk=20::1::Couriers'])
    pike = s.login('pike')
    out = s.scheduler('newday', datetime.datetime(2025, 8, 1, 0, 5))
    assert out == ['wtf - SITE CHANGE juniper FLAGS +6', 'Processing pike']
    # The expired trial user: SITE CHANGE juniper FLAGS +6 appended the flag.
    assert s.site.flags(s.site.find('juniper')) == '36'
    # The failed quota member: SITE kick, then SITE DELUSER marked the
    # account, as ioFTPD 7 does: it stays in UserIdTable with its user file
    # until SITE PURGE, and may no longer log in.
    with pytest.raises((EOFError, OSError, ftplib.Error)):
        pike.voidcmd('NOOP')
    assert s.site.find('pike') is not None
    marks = [l for l in (s.root / 'users' / '5').read_bytes().split(b'\r\n')
             if l.split(b' ')[0] in (b'ExpiresAt', b'DeletedMsg', b'DeletedBy', b'DeletedOn')]
    deleted_on = int(datetime.datetime(2025, 8, 1, 0, 5).timestamp())
    assert marks[0] == b'ExpiresAt 0' and marks[1] == b'DeletedBy 7', marks
    assert deleted_on <= int(marks[2].split(b' ')[1]) < deleted_on + 60, marks
    with pytest.raises(ftplib.error_perm, match='^530'):
        s.login('pike')
    assert s.log_lines()[-1].endswith(' UDisSite: "juniper"')
    # SITE READD takes the mark back (ioFTPD 7 knows no SITE UNDELETE);
    # SITE PURGE removes the account for good, and only a deleted one.
    marlow = s.login('Marlow')
    with pytest.raises(ftplib.error_perm,
                       match="^500 'SITE UNDELETE': Command not understood.$"):
        marlow.sendcmd('SITE UNDELETE pike')
    assert b'DeletedOn 0\r\n' not in (s.root / 'users' / '5').read_bytes()
    assert marlow.sendcmd('SITE READD pike') == (
        "200-Re-added deleted user: 'pike'\n200 Command successful.")
    assert b'DeletedOn 0\r\n' in (s.root / 'users' / '5').read_bytes()
    s.login('pike').quit()
    assert marlow.sendcmd('SITE DELUSER pike gone').startswith('200')
    assert b'DeletedMsg gone\r\n' in (s.root / 'users' / '5').read_bytes()
    with pytest.raises(ftplib.error_perm, match='^550'):
        marlow.sendcmd('SITE PURGE wren')
    assert marlow.sendcmd('SITE PURGE pike').startswith('200')
    assert s.site.find('pike') is None
    assert not (s.root / 'users' / '5').exists()
    assert b'users 0\r\n' in (s.root / 'groups' / '1').read_bytes()
    assert not (s.root / 'etc' / 'passwd').exists()
    # An ordinary user's SITE DELUSER changes nothing.
    brisk = s.login('brisk')
    with pytest.raises(ftplib.error_perm, match='^550'):
        brisk.sendcmd('SITE DELUSER wren')
    assert s.site.find('wren') is not None


def assert_one_line_error(done, prefix):
    err = done.stderr.decode('latin-1')
    assert done.returncode != 0
    assert err.startswith(prefix) and err.count('\n') == 1, err
    assert 'Traceback' not in err


def run_tool(argv, timeout=120):
    return subprocess.run([PYTHON] + [str(a) for a in argv], capture_output=True,
                          timeout=timeout, stdin=subprocess.DEVNULL)


def test_bad_input_gives_one_line_and_a_failure_exit(target, tmp_path):
    missing = tmp_path / 'nowhere' / 'quarvel'
    done = run_tool([SERVER, '--root', tmp_path / 'a', '--program', missing, '--port', '0'])
    assert_one_line_error(done, 'site_server: program not found: ')
    done = run_tool([RUN_DEMO, '--program', missing])
    assert_one_line_error(done, 'run_demo: program not found: ')

    with socket.socket() as busy:
        busy.bind(('127.0.0.1', 0))
        busy.listen(1)
        port = busy.getsockname()[1]
        done = run_tool([SERVER, '--root', tmp_path / 'b', '--program', target.program,
                         '--port', port])
        assert_one_line_error(done, 'site_server: cannot listen on 127.0.0.1:%d' % port)
        done = run_tool([RUN_DEMO, '--program', target.program, '--port', port])
        assert_one_line_error(done, 'run_demo: site_server: cannot listen on ')

    broken = tmp_path / 'broken'
    shutil.copytree(sitekit.SAMPLE_SITE, broken)
    (broken / 'etc' / 'UserIdTable').write_bytes(b'brisk:2:STANDARD\r\nwren 6 STANDARD\r\n')
    done = run_tool([SERVER, '--root', broken, '--program', target.program, '--port', '0'])
    assert_one_line_error(done, 'site_server: etc/UserIdTable line 2 is not name:id:module')
    (broken / 'etc' / 'UserIdTable').write_bytes(b'brisk:2:STANDARD\r\nghost:12:STANDARD\r\n')
    done = run_tool([SERVER, '--root', broken, '--program', target.program, '--port', '0'])
    assert_one_line_error(done, 'site_server: users/12 is missing')
