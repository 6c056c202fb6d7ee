"""Real FTP servers on loopback for tests: pyftpdlib (Debian
python3-pyftpdlib, TLS through python3-openssl) and vsftpd (Debian vsftpd,
run as root with a local system user logging in through PAM), each on
127.0.0.1 with a free port, a root folder and a user of its own, plain or
with explicit TLS (AUTH TLS; logins and data without TLS refused).

    cert = make_certificate(folder)           # self-signed, with its fingerprint
    process, server = start_pyftpdlib(root, tls=cert)
    process, server = start_vsftpd(work, tls=cert)
    server.commands()                         # command lines received so far
    stop(process)

A missing server or tool raises ServerError with a message saying what to
install.
"""

import os
import pwd
import random
import signal
import socket
import subprocess
import tempfile
import time
from pathlib import Path

PYTHON = '/usr/bin/python3'
VSFTPD = '/usr/sbin/vsftpd'
VSFTPD_USER = 'quarvelftp'
PASSWORD = 'Secret-4-tests'


class ServerError(Exception):
    pass


class Certificate:
    def __init__(self, cert, key, fingerprint):
        # fingerprint: as openssl prints it, AB:CD:...
        self.cert, self.key, self.fingerprint = cert, key, fingerprint


class Server:
    def __init__(self, name, port, user, password, root, log=None):
        self.name, self.port, self.user, self.password, self.root = name, port, user, password, root
        self.log = log

    def commands(self):
        """The command lines the server received, in order (pyftpdlib: exact
        lines; vsftpd: as its protocol log shows them, passwords hidden)."""
        if self.log is None or not self.log.exists():
            return []
        text = self.log.read_text(errors='replace')
        if self.name == 'pyftpdlib':
            return text.splitlines()
        found = []
        for line in text.splitlines():
            marker = 'FTP command: Client "127.0.0.1", "'
            if marker in line:
                found.append(line.split(marker, 1)[1].rstrip('"'))
        return found


def make_certificate(folder, name='localhost'):
    """A self-signed certificate and key in `folder`, valid for a few days."""
    folder = Path(folder)
    cert, key = folder / 'cert.pem', folder / 'key.pem'
    made = subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes',
                           '-keyout', str(key), '-out', str(cert), '-days', '3',
                           '-subj', '/CN=' + name], capture_output=True, text=True)
    if made.returncode != 0:
        raise ServerError('openssl cannot make a certificate (apt-get install openssl): '
                          + made.stderr)
    shown = subprocess.run(['openssl', 'x509', '-in', str(cert), '-noout', '-fingerprint',
                            '-sha256'], capture_output=True, text=True, check=True).stdout
    os.chmod(key, 0o600)
    return Certificate(cert, key, shown.strip().split('=', 1)[1])


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def _wait_for_port(port, process, what):
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise ServerError('%s ended at start (exit %s): %s' % (
                what, process.returncode, process.stderr.read().decode(errors='replace')))
        try:
            with socket.create_connection(('127.0.0.1', port), timeout=1):
                return
        except OSError:
            time.sleep(0.1)
    raise ServerError('%s does not accept connections on port %d' % (what, port))


def stop(process):
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait(timeout=10)


PYFTPDLIB_SCRIPT = r'''
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer
root, user, password, low, log, cert, key = sys.argv[1:8]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm='elradfmwMT')
base = TLS_FTPHandler if cert else FTPHandler
class Handler(base):
    # Every command line as received, one per line of the log.
    def pre_process_command(self, line, cmd, arg):
        with open(log, 'a') as f:
            f.write(line + '\n')
        return super().pre_process_command(line, cmd, arg)
if cert:
    Handler.certfile = cert
    Handler.keyfile = key
    Handler.tls_control_required = True
    Handler.tls_data_required = True
Handler.authorizer = authorizer
Handler.passive_ports = range(int(low), int(low) + 50)
Handler.auth_failed_timeout = 0
server = FTPServer(('127.0.0.1', 0), Handler)
print(server.address[1], flush=True)
server.serve_forever(timeout=1)
'''


def start_pyftpdlib(root, user='bob', password=PASSWORD, tls=None):
    if not os.access(PYTHON, os.X_OK):
        raise ServerError('%s not found (Debian python3 with python3-pyftpdlib)' % PYTHON)
    modules = 'import pyftpdlib' + ('; import OpenSSL' if tls else '')
    if subprocess.run([PYTHON, '-c', modules], capture_output=True).returncode != 0:
        raise ServerError('apt-get install python3-pyftpdlib python3-openssl for %s' % PYTHON)
    log = Path(root).parent / ('pyftpdlib-%d.log' % random.randrange(1 << 30))
    process = subprocess.Popen(
        [PYTHON, '-c', PYFTPDLIB_SCRIPT, str(root), user, password,
         str(random.randrange(20000, 30000)), str(log),
         str(tls.cert) if tls else '', str(tls.key) if tls else ''],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
        start_new_session=True)
    line = process.stdout.readline().decode().strip()
    if not line.isdigit():
        stop(process)
        raise ServerError('pyftpdlib did not start: %r %s' % (
            line, process.stderr.read().decode(errors='replace')))
    port = int(line)
    _wait_for_port(port, process, 'pyftpdlib')
    return process, Server('pyftpdlib', port, user, password, Path(root), log)


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
            raise ServerError('cannot create the system user %s: %s' % (VSFTPD_USER, done.stderr))
    done = subprocess.run(['chpasswd'], input='%s:%s\n' % (VSFTPD_USER, PASSWORD),
                          capture_output=True, text=True)
    if done.returncode != 0:
        raise ServerError('cannot set the password of %s: %s' % (VSFTPD_USER, done.stderr))
    return pwd.getpwnam(VSFTPD_USER)


def start_vsftpd(work, tls=None, reuse_sessions=True):
    """vsftpd in `work`; its root is a fresh folder in /tmp (server.root),
    to be removed by the caller. With `tls`: ssl_enable, logins and data
    forced to TLS, and require_ssl_reuse as `reuse_sessions` says."""
    work = Path(work)
    if not os.access(VSFTPD, os.X_OK):
        raise ServerError('%s not found: apt-get install vsftpd' % VSFTPD)
    if os.geteuid() != 0:
        raise ServerError('vsftpd tests need root (vsftpd logs local users in through PAM)')
    account = _ensure_system_user()
    # The user's root must be reachable after vsftpd drops to the user, so it
    # lives in /tmp itself, not below pytest's private folder.
    root = Path(tempfile.mkdtemp(prefix='quarvel-vsftpd-'))
    os.chmod(root, 0o755)
    os.chown(root, account.pw_uid, account.pw_gid)
    empty = work / 'empty'
    empty.mkdir(exist_ok=True)
    os.chmod(empty, 0o755)
    port = free_port()
    low = random.randrange(30000, 40000)
    log = work / 'vsftpd.log'
    settings = [
        'listen=YES', 'listen_ipv6=NO', 'listen_address=127.0.0.1', 'listen_port=%d' % port,
        'background=NO', 'anonymous_enable=NO', 'local_enable=YES', 'write_enable=YES',
        'local_umask=022', 'local_root=%s' % root, 'chroot_local_user=NO',
        'seccomp_sandbox=NO', 'secure_chroot_dir=%s' % empty, 'pam_service_name=vsftpd',
        'userlist_enable=NO', 'pasv_enable=YES', 'pasv_address=127.0.0.1',
        'pasv_min_port=%d' % low, 'pasv_max_port=%d' % (low + 50),
        'delay_failed_login=0', 'max_login_fails=10', 'xferlog_enable=NO',
        'dirmessage_enable=NO', 'use_localtime=YES', 'idle_session_timeout=120',
        'data_connection_timeout=60', 'vsftpd_log_file=%s' % log]
    if tls:
        settings += ['ssl_enable=YES', 'rsa_cert_file=%s' % tls.cert,
                     'rsa_private_key_file=%s' % tls.key, 'force_local_logins_ssl=YES',
                     'force_local_data_ssl=YES',
                     'require_ssl_reuse=%s' % ('YES' if reuse_sessions else 'NO'),
                     'xferlog_enable=YES', 'xferlog_std_format=NO', 'log_ftp_protocol=YES']
    config = work / 'vsftpd.conf'
    config.write_text('\n'.join(settings + ['']))
    os.chmod(config, 0o600)
    process = subprocess.Popen([VSFTPD, str(config)], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                               start_new_session=True)
    _wait_for_port(port, process, 'vsftpd')
    return process, Server('vsftpd', port, VSFTPD_USER, PASSWORD, root, log)
