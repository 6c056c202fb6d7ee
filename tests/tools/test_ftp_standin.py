"""Checks of the scripted FTP stand-in itself (plain sockets as the client)."""

import os
import socket
import subprocess
import sys
import time

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from ftp_standin import (CLOSE, SILENT, FtpStandin, InTurn, Pause,  # noqa: E402
                         UnreachablePort, unreachable_port)


class Client:
    def __init__(self, port):
        self.sock = socket.create_connection(('127.0.0.1', port), timeout=5)
        self.buf = b''

    def line(self):
        while b'\r\n' not in self.buf:
            data = self.sock.recv(65536)
            if not data:
                raise EOFError(self.buf)
            self.buf += data
        line, self.buf = self.buf.split(b'\r\n', 1)
        return line

    def send(self, text):
        self.sock.sendall(text if isinstance(text, bytes) else text.encode() + b'\r\n')

    def ask(self, text):
        self.send(text)
        return self.line()

    def rest(self):
        """Everything until the server closes."""
        data = self.buf
        while True:
            chunk = self.sock.recv(65536)
            if not chunk:
                return data
            data += chunk

    def close(self):
        self.sock.close()


def test_cooperative_admin_by_default_and_records_exact_bytes():
    with FtpStandin() as s:
        c = Client(s.port)
        assert c.line() == b'220 Stand-in FTP server ready'
        assert c.ask('USER admin') == b'331 Password required'
        assert c.ask('pass secret') == b'230 User logged in'
        assert c.ask('SITE DELUSER bob') == b'200 Command okay'
        assert c.ask('FEAT') == b'502 Command not implemented'
        assert c.ask('QUIT') == b'221 Goodbye'
        assert c.rest() == b''  # closed after 221
        c.send(b'')
        c.close()
        assert s.received == [[b'USER admin\r\n', b'pass secret\r\n',
                               b'SITE DELUSER bob\r\n', b'FEAT\r\n', b'QUIT\r\n']]
        assert s.received_text(0)[0] == 'USER admin'


def test_overrides_multiline_longest_match_and_in_turn():
    script = {
        'greeting': ['220-Welcome', 'a line without a code', '220 ready'],
        'replies': {
            'PASS': ['230-Hello', '230-again', '230 in'],
            'SITE': InTurn(['200 first'], ['550 second']),
            'site deluser': ['250 deleted'],
        },
    }
    with FtpStandin(script) as s:
        c = Client(s.port)
        assert [c.line() for _ in range(3)] == [b'220-Welcome', b'a line without a code', b'220 ready']
        c.send('PASS x')
        assert [c.line() for _ in range(3)] == [b'230-Hello', b'230-again', b'230 in']
        assert c.ask('SITE CHANGE a') == b'200 first'
        assert c.ask('SITE DELUSER a') == b'250 deleted'
        assert c.ask('SITE CHANGE b') == b'550 second'
        assert c.ask('SITE CHANGE c') == b'550 second'  # the last one repeats
        c.close()


def test_silence_close_mid_reply_and_long_line():
    long_line = '200 ' + 'x' * 70000
    script = {'replies': {'PASS': [SILENT], 'SITE': [b'250-part', CLOSE], 'NOOP': [long_line]}}
    with FtpStandin(script) as s:
        c = Client(s.port)
        c.line()
        assert c.ask('NOOP') == long_line.encode()
        c.close()

        c = Client(s.port)
        c.line()
        c.send('SITE X')
        assert c.rest() == b'250-part'  # no CR LF, then closed

        c = Client(s.port)
        c.line()
        c.send('PASS x')
        c.send('NOOP')  # silence lasts for the rest of the connection
        c.sock.settimeout(0.5)
        with pytest.raises(socket.timeout):
            c.sock.recv(10)
        c.send(b'no line end')
        c.close()
        received = s.received
        assert received[2] == [b'PASS x\r\n', b'NOOP\r\n', b'no line end']
        assert s.connection_count == 3


def test_connections_are_served_side_by_side_with_their_own_scripts():
    script = [{'greeting': ['220 first']}, {'greeting': ['220 later']}]
    with FtpStandin(script) as s:
        a = Client(s.port)
        b = Client(s.port)
        assert a.line() == b'220 first'
        assert b.line() == b'220 later'
        assert b.ask('USER b') == b'331 Password required'
        assert a.ask('USER a') == b'331 Password required'
        c = Client(s.port)
        assert c.line() == b'220 later'
        for x in (a, b, c):
            x.close()
        assert s.received == [[b'USER a\r\n'], [b'USER b\r\n'], []]


def test_stops_by_itself_when_idle():
    s = FtpStandin({'greeting': [Pause(0.1), '220 late']}, idle_timeout=0.5).start()
    c = Client(s.port)
    assert c.line() == b'220 late'
    deadline = time.monotonic() + 5
    while s.running and time.monotonic() < deadline:
        time.sleep(0.05)
    assert not s.running
    assert c.rest() == b''  # the open connection was closed too
    s.stop()


def test_unreachable_port_refuses():
    with UnreachablePort() as p:
        with pytest.raises(ConnectionRefusedError):
            socket.create_connection(('127.0.0.1', p.port), timeout=2)
    assert unreachable_port() > 0


def test_command_line_tool(tmp_path):
    script = tmp_path / 's.json'
    script.write_text('{"replies": {"PASS": ["530 no"], "SITE": {"in_turn": [["200 a"], [{"raw": "x"}, {"close": true}]]}}}')
    tool = os.path.join(os.path.dirname(__file__), 'ftp_standin.py')
    p = subprocess.Popen([sys.executable, tool, '--script', str(script), '--idle-timeout', '1'],
                         stdout=subprocess.PIPE)
    try:
        words = p.stdout.readline().split()
        assert words[:2] == [b'listening', b'127.0.0.1']
        c = Client(int(words[2]))
        c.line()
        assert c.ask('PASS a') == b'530 no'
        assert c.ask('SITE a') == b'200 a'
        c.send('SITE b')
        assert c.rest() == b'x'
        out, _ = p.communicate(timeout=10)
    finally:
        p.kill()
        p.wait()
    assert out.splitlines() == [b"0 b'PASS a\\r\\n'", b"0 b'SITE a\\r\\n'", b"0 b'SITE b\\r\\n'"]
    assert p.returncode == 0
