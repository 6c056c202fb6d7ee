"""Runs and their results for the end-to-end harness: exact byte
comparison, the processes of a run (found by their session, since Wine makes
init the parent of the processes it starts), bounded waits and kills."""

import difflib
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / 'tools'))
from wine_faketime import never_ran, remove_faketime_leftovers  # noqa: E402

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


def kill_session(popen):
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
    def never_ran(self):
        """Why the program under test never ran (the run says nothing about
        it), or None when it did."""
        return never_ran(self.returncode, self.stdout, self.stderr)

    @property
    def lines(self):
        """stdout cut after every CR LF (each line without it)."""
        parts = self.stdout.split(CRLF)
        return parts[:-1] if parts[-1] == b'' else parts

    def expect(self, stdout=None, stderr=b'', returncode=0):
        """Exact checks; None skips a part. The exit code is 0 by default."""
        if self.never_ran:
            raise HarnessError('%s: the program never ran, so this says nothing about it: %s'
                               % (self.description, self.never_ran))
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
            self.kill()
            out, err = self.output_so_far()
            raise AssertionError('%s: still running after %.0f s (a hang); killed.\n'
                                 'stdout so far=%r\nstderr so far=%r'
                                 % (self.description, limit, out, err))
        remove_faketime_leftovers(self.pid)
        out, err = self.output_so_far()
        return Result(self.description, self.popen.returncode, out, err,
                      time.monotonic() - self.started)

    def kill(self):
        kill_session(self.popen)
        self.popen.wait()
        remove_faketime_leftovers(self.pid)
