#!/usr/bin/python3
"""A scripted FTP control-connection stand-in for tests.

It listens on 127.0.0.1 on a free port and plays a cooperative admin server
unless the script says otherwise: a 220 greeting, 331 to USER, 230 to PASS,
200 to SITE, NOOP and TYPE, 221 to QUIT (then it closes), 502 to anything else.
Every line a client sends is recorded as exact bytes (CR LF kept), per
connection, in the order the connections were accepted. Connections are
served side by side, so a client may hold one open while it opens another.

As a module:

    with FtpStandin({'replies': {'PASS': ['530 Login incorrect']}}) as s:
        run the client against s.port
        s.received      # [[b'USER admin\\r\\n', b'PASS secret\\r\\n', ...], ...]

A script is None (all defaults), one dict used for every connection, or a
list of dicts: connection i uses item i, and the last item serves every later
connection. A dict may hold:

    'greeting': a reply (see below) sent when the connection opens
    'replies':  {command: reply} overriding or adding to the defaults. A
                command matches a received line that equals it or begins with
                it and a blank, without regard to case; the longest match
                wins ('SITE DELUSER' before 'SITE'); '*' matches any line.

A reply is a list of items, played in order:

    'text'      the line, followed by CR LF
    b'bytes'    exactly these bytes (nothing added)
    SILENT      say nothing from now on (lines are still recorded)
    CLOSE       close the connection at once
    Pause(s)    wait s seconds
    InTurn(r1, r2, ...) instead of a list: the first matching command gets r1,
                the next r2, and so on; the last one repeats.

Every wait is bounded: the server stops by itself after `idle_timeout`
seconds without a new connection or a received byte, and after `lifetime`
seconds in any case.

As a command-line tool (see --help) it prints "listening 127.0.0.1 PORT" and
then every received line as "<connection number> <bytes repr>".
"""

import argparse
import json
import socket
import sys
import threading
import time

HOST = '127.0.0.1'


class _Action:
    def __init__(self, name):
        self.name = name

    def __repr__(self):
        return self.name


SILENT = _Action('SILENT')
CLOSE = _Action('CLOSE')


class Pause:
    def __init__(self, seconds):
        self.seconds = float(seconds)

    def __repr__(self):
        return 'Pause(%r)' % self.seconds


class InTurn:
    def __init__(self, *replies):
        if not replies:
            raise ValueError('InTurn needs at least one reply')
        self.replies = [list(r) for r in replies]


DEFAULT_GREETING = ['220 Stand-in FTP server ready']
DEFAULT_REPLIES = {
    'USER': ['331 Password required'],
    'PASS': ['230 User logged in'],
    'SITE': ['200 Command okay'],
    'NOOP': ['200 NOOP command successful'],
    'TYPE': ['200 Type set'],
    'QUIT': ['221 Goodbye', CLOSE],
    '*': ['502 Command not implemented'],
}


class _Closed(Exception):
    """The connection is gone (closed by the script, the peer or a stop)."""


def _line_text(line):
    return line.rstrip(b'\r\n').decode('latin-1')


class _Connection:
    def __init__(self, server, number, sock, script):
        self.server = server
        self.number = number
        self.sock = sock
        self.greeting = script.get('greeting', DEFAULT_GREETING)
        self.replies = dict(DEFAULT_REPLIES)
        self.replies.update(script.get('replies', {}))
        self.turns = {}
        self.silent = False
        self.lines = []  # exact bytes of each received line
        self.raw = bytearray()  # everything received
        self.pending = b''  # received bytes not yet ended by LF
        self.done = threading.Event()

    def run(self):
        try:
            self.sock.settimeout(0.2)
            self._play(self.greeting)
            while True:
                data = self._receive()
                self.raw += data
                self.pending += data
                while b'\n' in self.pending:
                    line, self.pending = self.pending.split(b'\n', 1)
                    self._record(line + b'\n')
                    if not self.silent:
                        self._play(self._reply_for(line))
        except _Closed:
            pass
        finally:
            # A last line without LF still counts as received.
            if self.pending:
                self._record(self.pending)
            try:
                self.sock.close()
            except OSError:
                pass
            self.done.set()

    def _record(self, line):
        self.lines.append(line)
        self.server._note_line(self.number, line)

    def _receive(self):
        while True:
            if self.server._stopping.is_set():
                raise _Closed()
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                raise _Closed()
            if not data:
                raise _Closed()
            self.server._touch()
            return data

    def _reply_for(self, line):
        text = _line_text(line).upper()
        best = None
        for key in self.replies:
            k = key.upper()
            if key == '*' or text == k or text.startswith(k + ' '):
                if best is None or best == '*' or (key != '*' and len(key) > len(best)):
                    best = key
        reply = self.replies[best]
        if isinstance(reply, InTurn):
            n = self.turns.get(best, 0)
            self.turns[best] = n + 1
            return reply.replies[min(n, len(reply.replies) - 1)]
        return reply

    def _play(self, items):
        for item in items:
            if item is SILENT:
                self.silent = True
                return
            if item is CLOSE:
                try:
                    self.sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                raise _Closed()
            if isinstance(item, Pause):
                if self.server._stopping.wait(item.seconds):
                    raise _Closed()
                continue
            if isinstance(item, str):
                item = item.encode('latin-1') + b'\r\n'
            self._send(bytes(item))

    def _send(self, data):
        self.sock.settimeout(10)
        try:
            self.sock.sendall(data)
        except OSError:
            raise _Closed()
        finally:
            self.sock.settimeout(0.2)
        self.server._touch()


class FtpStandin:
    def __init__(self, script=None, idle_timeout=20.0, lifetime=120.0,
                 on_line=None):
        if script is None:
            script = [{}]
        elif isinstance(script, dict):
            script = [script]
        self.scripts = list(script)
        self.idle_timeout = idle_timeout
        self.lifetime = lifetime
        self.on_line = on_line
        self.host = HOST
        self._connections = []
        self._lock = threading.Lock()
        self._stopping = threading.Event()
        self._last_activity = time.monotonic()
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.bind((HOST, 0))
        self._listener.listen(8)
        self._listener.settimeout(0.2)
        self.port = self._listener.getsockname()[1]
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._started = False

    # -- life cycle ---------------------------------------------------------

    def start(self):
        if not self._started:
            self._started = True
            self._thread.start()
        return self

    def stop(self):
        self._stopping.set()
        if self._started:
            self._thread.join(5)
        for c in self._snapshot():
            c.done.wait(5)
        try:
            self._listener.close()
        except OSError:
            pass

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    @property
    def running(self):
        return self._thread.is_alive()

    # -- what was received --------------------------------------------------

    def wait_idle(self, timeout=5.0):
        """Waits (bounded) until every accepted connection has ended."""
        deadline = time.monotonic() + timeout
        for c in self._snapshot():
            c.done.wait(max(0.0, deadline - time.monotonic()))

    @property
    def received(self):
        """Per connection, the exact bytes of every line received."""
        self.wait_idle(2.0)
        return [list(c.lines) for c in self._snapshot()]

    @property
    def received_raw(self):
        self.wait_idle(2.0)
        return [bytes(c.raw) for c in self._snapshot()]

    def received_text(self, connection=0):
        """The lines of one connection as text, CR LF removed."""
        return [_line_text(line) for line in self.received[connection]]

    @property
    def connection_count(self):
        return len(self._snapshot())

    # -- inside -------------------------------------------------------------

    def _snapshot(self):
        with self._lock:
            return list(self._connections)

    def _touch(self):
        self._last_activity = time.monotonic()

    def _note_line(self, number, line):
        self._touch()
        if self.on_line:
            self.on_line(number, line)

    def _serve(self):
        started = time.monotonic()
        try:
            while not self._stopping.is_set():
                now = time.monotonic()
                if now - started > self.lifetime:
                    break
                if now - self._last_activity > self.idle_timeout:
                    break
                try:
                    sock, _ = self._listener.accept()
                except socket.timeout:
                    continue
                except OSError:
                    break
                self._touch()
                with self._lock:
                    number = len(self._connections)
                    script = self.scripts[min(number, len(self.scripts) - 1)]
                    conn = _Connection(self, number, sock, script)
                    self._connections.append(conn)
                threading.Thread(target=conn.run, daemon=True).start()
        finally:
            self._stopping.set()
            try:
                self._listener.close()
            except OSError:
                pass


class UnreachablePort:
    """A loopback port with nothing listening: connecting is refused.

    The port stays bound (never listening) while the object is open, so no
    other program can take it in the meantime."""

    def __init__(self):
        self._sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._sock.bind((HOST, 0))
        self.host = HOST
        self.port = self._sock.getsockname()[1]

    def close(self):
        self._sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def unreachable_port():
    """A port on 127.0.0.1 that had nothing listening a moment ago."""
    with UnreachablePort() as p:
        return p.port


# -- scripts written as JSON (command-line use) -------------------------------

def _item_from_json(item):
    if isinstance(item, str):
        return item
    if isinstance(item, dict):
        if item.get('silent'):
            return SILENT
        if item.get('close'):
            return CLOSE
        if 'pause' in item:
            return Pause(item['pause'])
        if 'raw' in item:
            return item['raw'].encode('latin-1')
    raise ValueError('unknown reply item: %r' % (item,))


def _reply_from_json(reply):
    if isinstance(reply, dict) and 'in_turn' in reply:
        return InTurn(*[[_item_from_json(i) for i in r] for r in reply['in_turn']])
    return [_item_from_json(i) for i in reply]


def script_from_json(data):
    """Turns a JSON script into a script: the same shape as in Python, with
    {"silent": true}, {"close": true}, {"pause": S}, {"raw": "text"} and
    {"in_turn": [reply, ...]} for the special items."""
    sessions = data if isinstance(data, list) else [data]
    result = []
    for s in sessions:
        session = {}
        if 'greeting' in s:
            session['greeting'] = _reply_from_json(s['greeting'])
        if 'replies' in s:
            session['replies'] = {k: _reply_from_json(v)
                                  for k, v in s['replies'].items()}
        result.append(session)
    return result


def main(argv=None):
    parser = argparse.ArgumentParser(
        description='Scripted FTP stand-in on 127.0.0.1 (a cooperative admin '
                    'server unless a script says otherwise).')
    parser.add_argument('--script', help='JSON script file')
    parser.add_argument('--idle-timeout', type=float, default=30.0,
                        help='stop after this many seconds without activity')
    parser.add_argument('--lifetime', type=float, default=600.0,
                        help='stop after this many seconds in any case')
    args = parser.parse_args(argv)
    script = None
    if args.script:
        with open(args.script, encoding='utf-8') as f:
            script = script_from_json(json.load(f))

    def show(number, line):
        print(number, repr(line), flush=True)

    server = FtpStandin(script, idle_timeout=args.idle_timeout,
                        lifetime=args.lifetime, on_line=show)
    print('listening', server.host, server.port, flush=True)
    with server:
        try:
            while server.running:
                time.sleep(0.2)
        except KeyboardInterrupt:
            pass
    return 0


if __name__ == '__main__':
    sys.exit(main())
