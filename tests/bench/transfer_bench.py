#!/usr/bin/python3
"""Times the FTP library's downloads and uploads side by side with curl,
against vsftpd on 127.0.0.1, plain and with explicit TLS (AUTH TLS, logins
and data protected), and prints one table row per transfer.

Each round (plain download, plain upload, TLS download, TLS upload) moves
one file of --size random bytes, --runs times per client, the clients
alternating run by run (the first one of each run changes). Local files and
the server's folder are on tmpfs (/dev/shm), so the disk plays no part.
Timed is the transfer alone, login excluded:
  - the library: the ftpGetFile or ftpPutFile call, measured by the driver
    tests/bench/ftp_transfer.c (built as build/ftp_transfer);
  - curl: time_total - time_pretransfer of its -w output (PASV or EPSV,
    RETR or STOR, the data and the final reply).
Beside the wall-clock medians: the medians of processor time of the whole
client process (login included, for both), and of the vsftpd session that
served it (its process and the ones it starts, counted when it ends).
Every transfer is checked: the file that arrived has the size sent, and the
first of each client and round holds the same bytes. The TLS protocol and
cipher each client negotiated are shown.

With --windows-driver the Windows build's driver (build-win/ftp_transfer.exe,
beside quarvelftp.dll) runs under Wine in the same rotation, and its figures
are shown against the same curl runs (SChannel, Wine's TLS). Its processor
time is only that of the Wine process.

The goal: every round at most 1.0x curl's median wall time (native build).
It exits 1 when a transfer fails or arrives changed, not when a goal is
missed. Needs root (vsftpd logs its local user in through PAM), Debian's
vsftpd, curl and openssl.

    /usr/bin/python3 tests/bench/transfer_bench.py                      # 200 MB, 5 runs
    /usr/bin/python3 tests/bench/transfer_bench.py --windows-driver build-win/ftp_transfer.exe
    /usr/bin/python3 tests/bench/transfer_bench.py --size 20000000 --runs 3   # a quick look
    /usr/bin/python3 tests/bench/transfer_bench.py --realtime --runs 9   # on a busy machine

--realtime runs vsftpd and both clients at real-time priority: on a machine
busy with other work the clients and the server then get the cores when
they are ready to run, nearly as on a quiet machine (the load average still
counts the other work).
"""

import argparse
import hashlib
import os
import platform
import pwd
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
sys.path.insert(0, str(REPO / 'tests' / 'tools'))
import real_ftp_servers  # noqa: E402
from wine_faketime import SetupError, wine_loader, windows_path  # noqa: E402

CURL = '/usr/bin/curl'
TMPFS = '/dev/shm'
ROUNDS = [('plain download', False, 'get'), ('plain upload', False, 'put'),
          ('TLS download', True, 'get'), ('TLS upload', True, 'put')]
TICKS = os.sysconf('SC_CLK_TCK')
RUN_TIMEOUT = 600


class Failure(Exception):
    pass


def load():
    return os.getloadavg()[0]


def session_cpu(server_pid):
    """Processor seconds of the ended sessions of the vsftpd listener: what
    it and its children spent, the children counted once reaped."""
    fields = Path('/proc/%d/stat' % server_pid).read_text().rsplit(')', 1)[1].split()
    # utime, stime, cutime, cstime are fields 14 to 17 of stat(5).
    return sum(int(f) for f in fields[11:15]) / TICKS


def wait_sessions_ended(server_pid):
    """Waits (up to 10 s) until the listener has no session process left."""
    children = Path('/proc/%d/task/%d/children' % (server_pid, server_pid))
    deadline = time.monotonic() + 10
    while children.read_text().strip() and time.monotonic() < deadline:
        time.sleep(0.01)


# With --realtime: the priority of the clients and of vsftpd (SCHED_FIFO).
REALTIME = None


def realtime(pid=0):
    """Puts a process (0: this one) at the real-time priority, if asked for."""
    if REALTIME is not None:
        os.sched_setscheduler(pid, os.SCHED_FIFO, os.sched_param(REALTIME))


def run_timed(argv, env=None):
    """Runs argv with output in files (a Wine service process keeps a pipe
    open): (returncode, stdout, stderr, processor seconds of the process)."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(argv, stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                   env=env, preexec_fn=realtime)
        deadline = time.monotonic() + RUN_TIMEOUT
        while True:
            pid, status, usage = os.wait4(process.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() > deadline:
                process.kill()
                raise Failure('%s did not end within %d s' % (argv[0], RUN_TIMEOUT))
            time.sleep(0.002)
        process.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        return (process.returncode, out.read().decode(errors='replace'),
                err.read().decode(errors='replace'), usage.ru_utime + usage.ru_stime)


class Client:
    def __init__(self, name):
        self.name = name
        self.first_checked = set()


class LibraryClient(Client):
    def __init__(self, name, driver, wine=None):
        super().__init__(name)
        self.driver, self.wine = driver, wine
        self.env = dict(os.environ)
        if wine:
            self.env['WINEDEBUG'] = '-all'

    def local(self, path):
        return windows_path(path) if self.wine else str(path)

    def transfer(self, server, tls, direction, remote, local):
        argv = ([self.wine] if self.wine else []) + [
            str(self.driver), '127.0.0.1', str(server.port), server.user, server.password,
            direction, remote, self.local(local)]
        if tls:
            argv.append(tls.fingerprint)
        code, out, err, cpu = run_timed(argv, self.env)
        if code != 0:
            raise Failure('%s %s: exit %d\n%s%s' % (self.name, direction, code, out, err))
        lines = dict(line.split(' ', 1) for line in out.splitlines() if ' ' in line)
        wall = float(lines['transfer'].split()[0])
        return wall, cpu, lines.get('tls', '?')


class CurlClient(Client):
    def transfer(self, server, tls, direction, remote, local):
        url = 'ftp://%s:%s@127.0.0.1:%d/%s' % (server.user, server.password, server.port, remote)
        argv = [CURL, '-sS', '-v', '-w', 'times %{time_pretransfer} %{time_total}\n', url]
        argv += ['-T', str(local)] if direction == 'put' else ['-o', str(local)]
        if tls:
            # The self-signed certificate of the benchmark's server.
            argv += ['--ssl-reqd', '--insecure']
        code, out, err, cpu = run_timed(argv)
        if code != 0:
            raise Failure('curl %s: exit %d\n%s' % (direction, code, err))
        times = [line for line in out.splitlines() if line.startswith('times ')][-1].split()
        session = 'plain'
        for line in err.splitlines():
            if 'SSL connection using' in line:
                protocol, cipher = line.split('SSL connection using', 1)[1].split('/')[:2]
                session = '%s %s' % (protocol.strip(), cipher.strip())
        return float(times[2]) - float(times[1]), cpu, session


def sha256(path):
    digest = hashlib.sha256()
    with open(path, 'rb') as f:
        for block in iter(lambda: f.read(1 << 20), b''):
            digest.update(block)
    return digest.hexdigest()


def remove(path):
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass


def one_run(client, server, process, tls, direction, source, work, digest, size):
    """Times one transfer and checks what arrived: (wall, cpu, server cpu,
    TLS session)."""
    if direction == 'get':
        remote, arrived = 'source.bin', work / ('got-%s.bin' % client.name)
    else:
        remote, arrived = 'put-%s.bin' % client.name, server.root / ('put-%s.bin' % client.name)
    remove(arrived)
    wait_sessions_ended(process.pid)
    before = session_cpu(process.pid)
    wall, cpu, session = client.transfer(
        server, tls, direction, remote, arrived if direction == 'get' else source)
    wait_sessions_ended(process.pid)
    served = session_cpu(process.pid) - before
    if arrived.stat().st_size != size:
        raise Failure('%s %s: %d bytes arrived of %d' % (
            client.name, direction, arrived.stat().st_size, size))
    key = (tls is not None, direction)
    if key not in client.first_checked:
        if sha256(arrived) != digest:
            raise Failure('%s %s: the file arrived changed' % (client.name, direction))
        client.first_checked.add(key)
    remove(arrived)
    return wall, cpu, served, session


def machine():
    model = '?'
    for line in Path('/proc/cpuinfo').read_text().splitlines():
        if line.startswith('model name'):
            model = line.split(':', 1)[1].strip()
            break
    memory = int(Path('/proc/meminfo').read_text().split()[1]) / 1024 / 1024
    return '%d cores (%s), %.0f GB memory, Linux %s' % (
        os.cpu_count(), model, memory, platform.release())


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--size', type=int, default=200000000, help='bytes per file')
    parser.add_argument('--runs', type=int, default=5, help='runs per client and round')
    parser.add_argument('--driver', default=str(REPO / 'build' / 'ftp_transfer'))
    parser.add_argument('--windows-driver', help='build-win/ftp_transfer.exe, run under Wine')
    parser.add_argument('--only', help='rounds to run, comma-separated: '
                        'plain-get,plain-put,tls-get,tls-put')
    parser.add_argument('--realtime', action='store_true',
                        help='run vsftpd and both clients at real-time priority (SCHED_FIFO 10), '
                        'so that other work on a shared machine does not decide the figures')
    args = parser.parse_args()
    global REALTIME
    REALTIME = 10 if args.realtime else None
    if args.size <= 0 or args.runs <= 0:
        sys.exit('--size and --runs must be positive')
    if os.geteuid() != 0:
        sys.exit('run as root: vsftpd logs its local user in through PAM')
    for program in [args.driver, CURL] + ([args.windows_driver] if args.windows_driver else []):
        if not os.path.isfile(program):
            sys.exit('%s is missing (build the ftp_transfer target, apt-get install curl)'
                     % program)
    rounds = ROUNDS
    if args.only:
        names = {'%s-%s' % ('tls' if t else 'plain', d): (n, t, d) for n, t, d in ROUNDS}
        unknown = [o for o in args.only.split(',') if o not in names]
        if unknown:
            sys.exit('unknown round(s): %s (known: %s)' % (', '.join(unknown), ', '.join(names)))
        rounds = [names[o] for o in args.only.split(',')]

    clients = [LibraryClient('library', Path(args.driver).resolve()), CurlClient('curl')]
    if args.windows_driver:
        try:
            wine = wine_loader()
        except SetupError as e:
            sys.exit(str(e))
        clients.append(LibraryClient('wine', Path(args.windows_driver).resolve(), wine))

    # The servers' folders on tmpfs too (the helper makes them with mkdtemp).
    tempfile.tempdir = TMPFS
    scratch = Path(tempfile.mkdtemp(prefix='quarvel-transfer-bench-'))
    servers = []
    try:
        work = scratch / 'local'
        work.mkdir()
        os.chmod(scratch, 0o755)
        certificate = real_ftp_servers.make_certificate(scratch)
        for tls in (None, certificate):
            folder = scratch / ('tls' if tls else 'plain')
            folder.mkdir()
            # Without required session reuse: Wine's SChannel resumes none.
            process, server = real_ftp_servers.start_vsftpd(folder, tls=tls,
                                                            reuse_sessions=False)
            realtime(process.pid)  # its sessions inherit it
            servers.append((process, server))
        source = work / 'source.bin'
        with open(source, 'wb') as f:
            left = args.size
            while left > 0:
                f.write(os.urandom(min(left, 1 << 20)))
                left -= min(left, 1 << 20)
        digest = sha256(source)
        account = pwd.getpwnam(real_ftp_servers.VSFTPD_USER)
        for _, server in servers:
            shutil.copyfile(source, server.root / 'source.bin')
            os.chown(server.root / 'source.bin', account.pw_uid, account.pw_gid)

        started = time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())
        loads = [load()]
        results = {}
        for run in range(args.runs):
            for name, tls_on, direction in rounds:
                process, server = servers[1 if tls_on else 0]
                tls = certificate if tls_on else None
                order = clients[run % len(clients):] + clients[:run % len(clients)]
                for client in order:
                    result = one_run(client, server, process, tls, direction, source, work,
                                     digest, args.size)
                    results.setdefault((name, client.name), []).append(result)
            loads.append(load())
            print('run %d of %d done, load %.2f' % (run + 1, args.runs, loads[-1]),
                  file=sys.stderr)
    except (Failure, real_ftp_servers.ServerError) as e:
        print('transfer_bench: %s' % e, file=sys.stderr)
        return 1
    finally:
        for process, server in servers:
            real_ftp_servers.stop(process)
            shutil.rmtree(server.root, ignore_errors=True)
        shutil.rmtree(scratch, ignore_errors=True)

    print('%s, %s runs of %s bytes per client and round, load %.2f to %.2f, %s%s' % (
        started, args.runs, format(args.size, ','), min(loads), max(loads), machine(),
        ', real-time priority' if args.realtime else ''))
    header = ('| transfer | library s | curl s | ratio | library cpu s | curl cpu s | '
              'vsftpd cpu s (library) | vsftpd cpu s (curl) | TLS (library; curl) | goal |')
    print(header)
    print('|' + '---|' * (header.count('|') - 1))
    wine_rows = []
    for name, _, _ in rounds:
        med = {}
        for client in clients:
            runs = results[(name, client.name)]
            med[client.name] = [statistics.median(r[i] for r in runs) for i in range(3)]
            med[client.name].append(runs[-1][3])
        lib, curl = med['library'], med['curl']
        ratio = lib[0] / curl[0]
        tls = '-' if lib[3] == 'plain' else '%s; %s' % (lib[3], curl[3])
        print('| %s | %.3f | %.3f | %.2f | %.3f | %.3f | %.3f | %.3f | %s | %s |' % (
            name, lib[0], curl[0], ratio, lib[1], curl[1], lib[2], curl[2], tls,
            'PASS' if ratio <= 1.0 else 'FAIL'))
        if 'wine' in med:
            wine = med['wine']
            wine_rows.append('| %s | %.3f | %.3f | %.2f | %.3f | %.3f | %s |' % (
                name, wine[0], curl[0], wine[0] / curl[0], wine[1], wine[2],
                '-' if wine[3] == 'plain' else wine[3]))
    if wine_rows:
        print()
        print('| transfer, Windows build under Wine | library s | curl s | ratio | '
              'Wine process cpu s | vsftpd cpu s | TLS |')
        print('|---|---|---|---|---|---|---|')
        print('\n'.join(wine_rows))
    return 0


if __name__ == '__main__':
    sys.exit(main())
