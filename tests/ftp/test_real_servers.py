"""The FTP library against real FTP servers on loopback.

Starts pyftpdlib (Debian python3-pyftpdlib) and vsftpd (Debian vsftpd, run
as root with a local system user logging in through PAM), each on 127.0.0.1
with a free port, a fresh empty root folder and a user of its own, and runs
against them:
  - the C driver tests/ftp/ftp_api_test.c (every exported function, files of
    0 bytes, 16,384 bytes and a few megabytes compared byte for byte);
  - the example program examples/ftp_example.c (against pyftpdlib).

Programs under test (paths separated by ':'; a .exe, x64 or x86, runs under
wine64):
  QUARVEL_FTP_DRIVER   default build/ftp_api_test
  QUARVEL_FTP_EXAMPLE  default build/ftp_example
A missing program, server or tool fails the test with a message; nothing is
skipped.

    QUARVEL_FTP_DRIVER=build/ftp_api_test:build-win/ftp_api_test.exe \\
    QUARVEL_FTP_EXAMPLE=build/ftp_example:build-win/ftp_example.exe \\
    /usr/bin/python3 -m pytest tests/ftp
"""

import os
import pwd
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / 'tests' / 'tools'))
from pe_machine import pe_machine  # noqa: E402
PYTHON = '/usr/bin/python3'
VSFTPD = '/usr/sbin/vsftpd'
VSFTPD_USER = 'quarvelftp'
PASSWORD = 'Secret-4-tests'
RUN_TIMEOUT = 600  # a first Wine run may set up its prefix


def _programs(variable, default):
    value = os.environ.get(variable)
    if value:
        return [p for p in value.split(':') if p]
    return [str(REPO / 'build' / default)]


def _program_id(path):
    if not path.lower().endswith('.exe'):
        return 'native-' + Path(path).stem
    return ('windows-x86-' if pe_machine(path) == 'x86' else 'windows-') + Path(path).stem


DRIVERS = _programs('QUARVEL_FTP_DRIVER', 'ftp_api_test')
EXAMPLES = _programs('QUARVEL_FTP_EXAMPLE', 'ftp_example')


def _fail(message):
    pytest.fail(message, pytrace=False)


def _free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def _wait_for_port(port, process, what):
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline:
        if process.poll() is not None:
            _fail('%s ended at start (exit %s): %s' % (what, process.returncode,
                                                      process.stderr.read().decode(errors='replace')))
        try:
            with socket.create_connection(('127.0.0.1', port), timeout=1):
                return
        except OSError:
            time.sleep(0.1)
    _fail('%s does not accept connections on port %d' % (what, port))


def _stop(process):
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait(timeout=10)


def _wine_loader():
    for candidate in (os.environ.get('QUARVEL_WINE'), shutil.which('wine64'),
                      '/usr/lib/wine/wine64', '/usr/lib/x86_64-linux-gnu/wine/wine64'):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    _fail('wine64 not found: apt-get install wine wine64 (or set QUARVEL_WINE)')


def _local(path, program):
    """A local path as the program sees it (Wine maps / to drive Z:)."""
    if program.lower().endswith('.exe'):
        return 'Z:' + str(path).replace('/', '\\')
    return str(path)


def run_program(program, args):
    if not os.path.isfile(program):
        _fail('program not built: %s (build it, or set QUARVEL_FTP_DRIVER / '
              'QUARVEL_FTP_EXAMPLE)' % program)
    command = [program] + [str(a) for a in args]
    env = dict(os.environ)
    if program.lower().endswith('.exe'):
        command = [_wine_loader()] + command
        env['WINEDEBUG'] = '-all'
    try:
        return subprocess.run(command, capture_output=True, text=True, env=env,
                              timeout=RUN_TIMEOUT, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired as e:
        _fail('%s did not finish within %d s; output so far:\n%s' % (program, RUN_TIMEOUT, e.stdout))


class Server:
    def __init__(self, name, port, user, password, root):
        self.name, self.port, self.user, self.password, self.root = name, port, user, password, root


PYFTPDLIB_SCRIPT = r'''
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
root, user, password, low = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm='elradfmwMT')
FTPHandler.authorizer = authorizer
FTPHandler.passive_ports = range(low, low + 50)
FTPHandler.auth_failed_timeout = 0
server = FTPServer(('127.0.0.1', 0), FTPHandler)
print(server.address[1], flush=True)
server.serve_forever(timeout=1)
'''


def start_pyftpdlib(root):
    if not os.access(PYTHON, os.X_OK):
        _fail('%s not found (Debian python3 with python3-pyftpdlib)' % PYTHON)
    check = subprocess.run([PYTHON, '-c', 'import pyftpdlib'], capture_output=True)
    if check.returncode != 0:
        _fail('pyftpdlib missing for %s: apt-get install python3-pyftpdlib' % PYTHON)
    process = subprocess.Popen(
        [PYTHON, '-c', PYFTPDLIB_SCRIPT, str(root), 'bob', PASSWORD,
         str(random.randrange(20000, 30000))],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
        start_new_session=True)
    line = process.stdout.readline().decode().strip()
    if not line.isdigit():
        _stop(process)
        _fail('pyftpdlib did not start: %r %s' % (line, process.stderr.read().decode(errors='replace')))
    port = int(line)
    _wait_for_port(port, process, 'pyftpdlib')
    return process, Server('pyftpdlib', port, 'bob', PASSWORD, root)


def _ensure_system_user():
    # vsftpd enters the user's home before local_root, so the home must exist.
    try:
        account = pwd.getpwnam(VSFTPD_USER)
        if not os.path.isdir(account.pw_dir):
            subprocess.run(['usermod', '--home', '/', VSFTPD_USER], check=True,
                           capture_output=True)
    except KeyError:
        done = subprocess.run(['useradd', '--system', '--no-create-home', '--home-dir', '/',
                               '--shell', '/bin/sh', VSFTPD_USER], capture_output=True, text=True)
        if done.returncode != 0:
            _fail('cannot create the system user %s: %s' % (VSFTPD_USER, done.stderr))
    done = subprocess.run(['chpasswd'], input='%s:%s\n' % (VSFTPD_USER, PASSWORD),
                          capture_output=True, text=True)
    if done.returncode != 0:
        _fail('cannot set the password of %s: %s' % (VSFTPD_USER, done.stderr))
    return pwd.getpwnam(VSFTPD_USER)


def start_vsftpd(work):
    if not os.access(VSFTPD, os.X_OK):
        _fail('%s not found: apt-get install vsftpd' % VSFTPD)
    if os.geteuid() != 0:
        _fail('vsftpd tests need root (vsftpd logs local users in through PAM)')
    account = _ensure_system_user()
    # The user's root must be reachable after vsftpd drops to the user, so it
    # lives in /tmp itself, not below pytest's private folder.
    root = Path(tempfile.mkdtemp(prefix='quarvel-vsftpd-'))
    os.chmod(root, 0o755)
    os.chown(root, account.pw_uid, account.pw_gid)
    empty = work / 'empty'
    empty.mkdir()
    os.chmod(empty, 0o755)
    port = _free_port()
    low = random.randrange(30000, 40000)
    config = work / 'vsftpd.conf'
    config.write_text('\n'.join([
        'listen=YES', 'listen_ipv6=NO', 'listen_address=127.0.0.1', 'listen_port=%d' % port,
        'background=NO', 'anonymous_enable=NO', 'local_enable=YES', 'write_enable=YES',
        'local_umask=022', 'local_root=%s' % root, 'chroot_local_user=NO',
        'seccomp_sandbox=NO', 'secure_chroot_dir=%s' % empty, 'pam_service_name=vsftpd',
        'userlist_enable=NO', 'pasv_enable=YES', 'pasv_address=127.0.0.1',
        'pasv_min_port=%d' % low, 'pasv_max_port=%d' % (low + 50),
        'delay_failed_login=0', 'max_login_fails=10', 'xferlog_enable=NO',
        'dirmessage_enable=NO', 'use_localtime=YES', 'idle_session_timeout=120',
        'data_connection_timeout=60', 'vsftpd_log_file=%s' % (work / 'vsftpd.log'), '']))
    os.chmod(config, 0o600)
    process = subprocess.Popen([VSFTPD, str(config)], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                               start_new_session=True)
    _wait_for_port(port, process, 'vsftpd')
    return process, Server('vsftpd', port, VSFTPD_USER, PASSWORD, root)


@pytest.fixture(params=['pyftpdlib', 'vsftpd'])
def server(request, tmp_path):
    if request.param == 'pyftpdlib':
        root = tmp_path / 'root'
        root.mkdir()
        process, server = start_pyftpdlib(root)
    else:
        process, server = start_vsftpd(tmp_path)
    yield server
    _stop(process)
    if server.name == 'vsftpd':
        shutil.rmtree(server.root, ignore_errors=True)


@pytest.mark.parametrize('driver', DRIVERS, ids=[_program_id(p) for p in DRIVERS])
def test_exported_functions(driver, server, tmp_path):
    local = tmp_path / 'local'
    local.mkdir()
    done = run_program(driver, ['127.0.0.1', server.port, server.user, server.password,
                                _local(local, driver), _free_port()])
    report = done.stdout + done.stderr
    assert done.returncode == 0, '%s against %s:\n%s' % (driver, server.name, report)
    assert done.stdout.rstrip().splitlines()[-1].endswith(' passed, 0 failed'), report


@pytest.mark.parametrize('example', EXAMPLES, ids=[_program_id(p) for p in EXAMPLES])
def test_example_program(example, tmp_path):
    root = tmp_path / 'root'
    root.mkdir()
    process, server = start_pyftpdlib(root)
    try:
        local = tmp_path / 'local'
        local.mkdir()
        data = bytes(random.getrandbits(8) for _ in range(100000)) + b'\r\n\x00\r'
        (local / 'sample.bin').write_bytes(data)
        done = run_program(example, ['127.0.0.1', server.port, 'bob', PASSWORD,
                                     _local(local / 'sample.bin', example)])
        assert done.returncode == 0, done.stdout + done.stderr
        assert (root / 'sample.bin').read_bytes() == data
        assert (local / 'sample.bin.back').read_bytes() == data
        assert 'sample.bin' in done.stdout

        refused = run_program(example, ['127.0.0.1', server.port, 'bob', 'wrong',
                                        _local(local / 'sample.bin', example)])
        assert refused.returncode == 1
        assert refused.stderr.startswith('ftp_example: login failed: 530 '), refused.stderr
        assert len(refused.stderr.splitlines()) == 1
    finally:
        _stop(process)
