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
import random
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / 'tests' / 'tools'))
from pe_machine import pe_machine  # noqa: E402
import real_ftp_servers  # noqa: E402
from real_ftp_servers import PASSWORD, free_port as _free_port, stop as _stop  # noqa: E402
from wine_faketime import SetupError, wine_loader, windows_path  # noqa: E402

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


def _wine_loader():
    try:
        return wine_loader()
    except SetupError as e:
        _fail('%s (or set QUARVEL_WINE)' % e)


def _local(path, program):
    """A local path as the program sees it (Wine maps / to drive Z:)."""
    if program.lower().endswith('.exe'):
        return windows_path(path)
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
    # Files, not pipes: a Wine service process started on the way (TLS starts
    # one) inherits the handles and would keep a pipe open for good.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        try:
            done = subprocess.run(command, stdout=out, stderr=err, env=env,
                                  timeout=RUN_TIMEOUT, stdin=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            out.seek(0)
            _fail('%s did not finish within %d s; output so far:\n%s'
                  % (program, RUN_TIMEOUT, out.read().decode(errors='replace')))
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(command, done.returncode,
                                           out.read().decode(errors='replace'),
                                           err.read().decode(errors='replace'))


def start_pyftpdlib(root, tls=None):
    try:
        return real_ftp_servers.start_pyftpdlib(root, tls=tls)
    except real_ftp_servers.ServerError as e:
        _fail(str(e))


def start_vsftpd(work, tls=None, reuse_sessions=True):
    try:
        return real_ftp_servers.start_vsftpd(work, tls=tls, reuse_sessions=reuse_sessions)
    except real_ftp_servers.ServerError as e:
        _fail(str(e))


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


@pytest.fixture(params=['pyftpdlib', 'vsftpd'])
def tls_server(request, tmp_path):
    """The server with explicit TLS required for logins and data, its
    certificate self-signed: (server, certificate).

    vsftpd runs without require_ssl_reuse: over TLS 1.3 it took each session
    ticket once only, and the third data connection of a login was refused
    ("522 ... session reuse required"; over TLS 1.2 every one resumed);
    Wine's SChannel resumes no session at all."""
    try:
        certificate = real_ftp_servers.make_certificate(tmp_path)
    except real_ftp_servers.ServerError as e:
        _fail(str(e))
    if request.param == 'pyftpdlib':
        root = tmp_path / 'root'
        root.mkdir()
        process, server = start_pyftpdlib(root, tls=certificate)
    else:
        process, server = start_vsftpd(tmp_path, tls=certificate, reuse_sessions=False)
    yield server, certificate
    _stop(process)
    if server.name == 'vsftpd':
        shutil.rmtree(server.root, ignore_errors=True)


@pytest.mark.parametrize('driver', DRIVERS, ids=[_program_id(p) for p in DRIVERS])
def test_exported_functions_over_tls(driver, tls_server, tmp_path):
    server, certificate = tls_server
    local = tmp_path / 'local'
    local.mkdir()
    done = run_program(driver, ['127.0.0.1', server.port, server.user, server.password,
                                _local(local, driver), _free_port(), certificate.fingerprint])
    report = done.stdout + done.stderr
    assert done.returncode == 0, '%s against %s with TLS:\n%s' % (driver, server.name, report)
    assert done.stdout.rstrip().splitlines()[-1].endswith(' passed, 0 failed'), report
    # The refused certificate (another fingerprint pinned) ended the login
    # before USER; the server, which takes no plain login, saw the others.
    commands = server.commands()
    assert commands[0].upper() == 'AUTH TLS', commands
    assert not commands[1].upper().startswith('USER'), commands
