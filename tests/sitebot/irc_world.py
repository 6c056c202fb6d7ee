"""A real IRC server (ngircd) and a real eggdrop running the sitebot script,
on loopback, for the sitebot's end-to-end tests.

Both run from Debian's packages with configurations written into a private
temporary folder, as an unprivileged user when the tests run as root
(eggdrop refuses root). The test's own IRC client (IrcClient) sits in the
channel and sees exactly what the bot posts. Every wait is bounded."""

import os
import pwd
import shutil
import signal
import socket
import subprocess
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
SCRIPT = REPO / 'sitebot' / 'quarvel.tcl'
CHANNEL = '#site'
BOT_NICK = 'QBot'
NGIRCD = '/usr/sbin/ngircd'
EGGDROP = '/usr/bin/eggdrop'

START_WAIT = 60.0  # generous: a loaded 2-core machine


class WorldError(Exception):
    pass


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def unprivileged(command):
    """The command as the user that runs the servers: nobody when we are root."""
    if os.geteuid() != 0:
        return command
    return ['setpriv', '--reuid=nobody', '--regid=nogroup', '--clear-groups', '--'] + command


def hand_over(path):
    """Gives a file or a whole folder to the user that runs the servers."""
    if os.geteuid() != 0:
        return
    nobody = pwd.getpwnam('nobody')
    for folder, _, files in os.walk(path):
        os.chown(folder, nobody.pw_uid, nobody.pw_gid)
        for name in files:
            os.chown(os.path.join(folder, name), nobody.pw_uid, nobody.pw_gid)


def wait_for(what, condition, timeout=START_WAIT, every=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise WorldError('gave up after %.0f s waiting for %s' % (timeout, what))
        time.sleep(every)


def stop_process(process, timeout=15.0):
    if process is None or process.poll() is not None:
        return
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout)


class IrcClient:
    """A small IRC client: registers, joins the channel and keeps every
    channel message (sender nick, text) it receives."""

    def __init__(self, port, nick, timeout=START_WAIT):
        self.nick = nick
        self.sock = socket.create_connection(('127.0.0.1', port), timeout=timeout)
        self.buffer = b''
        self.messages = []  # (sender, target, text) of PRIVMSG and NOTICE
        self.events = []    # every other line, raw
        self.send('NICK ' + nick)
        self.send('USER %s 0 * :test client' % nick)
        self.wait_raw(' 001 ', timeout)
        self.send('JOIN ' + CHANNEL)
        self.wait_raw(' 366 ', timeout)

    def send(self, line):
        self.sock.sendall(line.encode('latin-1') + b'\r\n')

    def say(self, text):
        self.send('PRIVMSG %s :%s' % (CHANNEL, text))

    def close(self):
        try:
            self.send('QUIT')
        except OSError:
            pass
        self.sock.close()

    def _read(self, timeout):
        self.sock.settimeout(max(timeout, 0.01))
        try:
            data = self.sock.recv(65536)
        except socket.timeout:
            return
        if not data:
            raise WorldError('the IRC server closed the connection of ' + self.nick)
        self.buffer += data
        while b'\r\n' in self.buffer:
            raw, self.buffer = self.buffer.split(b'\r\n', 1)
            line = raw.decode('latin-1')
            if line.startswith('PING '):
                self.send('PONG ' + line[5:])
                continue
            parts = line.split(' ', 3)
            if len(parts) == 4 and parts[1] in ('PRIVMSG', 'NOTICE'):
                sender = parts[0][1:].split('!', 1)[0]
                self.messages.append((sender, parts[1], parts[2], parts[3][1:]))
            else:
                self.events.append(line)

    def _until(self, what, found, timeout):
        deadline = time.monotonic() + timeout
        while True:
            value = found()
            if value:
                return value
            left = deadline - time.monotonic()
            if left <= 0:
                raise WorldError('%s: gave up after %.0f s waiting for %s; channel so far: %r'
                                 % (self.nick, timeout, what, self.channel_lines()))
            self._read(min(left, 0.5))

    def wait_raw(self, fragment, timeout=START_WAIT):
        return self._until(repr(fragment), lambda: any(fragment in e for e in self.events),
                           timeout)

    def channel_lines(self, sender=BOT_NICK):
        """Every line the bot posted in the channel so far."""
        return [m[3] for m in self.messages
                if m[0] == sender and m[1] == 'PRIVMSG' and m[2] == CHANNEL]

    def notices(self, sender=BOT_NICK):
        return [m[3] for m in self.messages if m[0] == sender and m[1] == 'NOTICE']

    def take_until(self, last_line, timeout=30.0):
        """The bot's channel lines up to and including `last_line` (which
        must come), removed from what is kept."""
        self._until(repr(last_line), lambda: last_line in self.channel_lines(), timeout)
        taken = []
        kept = []
        done = False
        for m in self.messages:
            if not done and m[0] == BOT_NICK and m[1] == 'PRIVMSG' and m[2] == CHANNEL:
                taken.append(m[3])
                done = m[3] == last_line
            else:
                kept.append(m)
        self.messages = kept
        return taken

    def take_lines(self, count, timeout=30.0):
        """The bot's next `count` channel lines, removed from what is kept."""
        self._until('%d lines' % count, lambda: len(self.channel_lines()) >= count, timeout)
        lines = self.channel_lines()[:count]
        self.take_until(lines[-1], 0)
        return lines

    def quiet(self, seconds):
        """Reads for `seconds` more; used only where nothing must come."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self._read(deadline - time.monotonic())


class IrcWorld:
    """ngircd and one eggdrop with the sitebot script, in a temporary
    folder: `bot/` (the bot's folder: configuration, script, settings,
    offset file, log), `logs/ioFTPD.log` (the server's log the bot follows)
    and `site/` (the program's folder, prepared by the caller)."""

    def __init__(self):
        self.root = Path(tempfile.mkdtemp(prefix='quarvel-sitebot-'))
        os.chmod(self.root, 0o755)
        self.bot_dir = self.root / 'bot'
        self.logs = self.root / 'logs'
        self.site = self.root / 'site'
        for folder in (self.bot_dir / 'scripts', self.logs, self.site):
            folder.mkdir(parents=True)
        self.log = self.logs / 'ioFTPD.log'
        self.port = free_port()
        self.ngircd = None
        self.eggdrop = None
        self.watcher = None

    # -- the IRC server ---------------------------------------------------

    def start_server(self):
        conf = self.root / 'ngircd.conf'
        conf.write_text('\n'.join([
            '[Global]', 'Name = irc.quarvel.test', 'Info = sitebot tests',
            'Listen = 127.0.0.1', 'Ports = %d' % self.port, 'MotdPhrase = sitebot tests',
            '[Limits]',
            # The bot's answers and the tests' commands come in bursts.
            'MaxPenaltyTime = 0', 'MaxConnectionsIP = 0',
            '[Options]', 'PAM = no', 'Ident = no', 'DNS = no',
            '']))
        hand_over(self.root)
        out = open(self.root / 'ngircd.out', 'wb')
        self.ngircd = subprocess.Popen(unprivileged([NGIRCD, '--nodaemon', '--config', str(conf)]),
                                       stdout=out, stderr=subprocess.STDOUT,
                                       stdin=subprocess.DEVNULL)
        out.close()

        def accepting():
            if self.ngircd.poll() is not None:
                raise WorldError('ngircd ended: ' + self.tail('ngircd.out'))
            try:
                socket.create_connection(('127.0.0.1', self.port), timeout=1).close()
                return True
            except OSError:
                return False
        wait_for('ngircd to listen on port %d' % self.port, accepting)
        self.watcher = IrcClient(self.port, 'watcher')

    # -- the bot ------------------------------------------------------------

    def write_bot(self, settings):
        """The bot's configuration, the script and its settings file
        (`settings`: quarvel(...) name -> Tcl word)."""
        (self.bot_dir / 'bot.conf').write_text('\n'.join([
            'set mod-path "/usr/lib/eggdrop/modules/"',
            'loadmodule blowfish', 'loadmodule channels', 'loadmodule server',
            'loadmodule ctcp', 'loadmodule irc',
            'set nick "%s"' % BOT_NICK, 'set altnick "%s_"' % BOT_NICK,
            'set realname "Quarvel sitebot"', 'set username "qbot"',
            'set botnet-nick "%s"' % BOT_NICK, 'set network "test"',
            'set userfile "bot.user"', 'set chanfile "bot.chan"', 'set pidfile "bot.pid"',
            'set servers {127.0.0.1:%d}' % self.port,
            'set msg-rate 0', 'set die-on-sigterm 1',
            'channel add %s' % CHANNEL,
            'source scripts/quarvel.tcl', '']))
        shutil.copyfile(SCRIPT, self.bot_dir / 'scripts' / 'quarvel.tcl')
        lines = ['set quarvel(%s) %s' % item for item in settings.items()]
        (self.bot_dir / 'scripts' / 'quarvel-settings.tcl').write_text('\n'.join(lines) + '\n')
        hand_over(self.root)

    def start_bot(self):
        """Starts eggdrop and waits until it sits in the channel."""
        joins = len([e for e in self.watcher.events if ' JOIN ' in e
                     and e.startswith(':%s!' % BOT_NICK)])
        out = open(self.bot_dir / 'eggdrop.out', 'ab')
        # -m: with no user file yet, eggdrop makes an empty one.
        self.eggdrop = subprocess.Popen(unprivileged([EGGDROP, '-n', '-m', 'bot.conf']),
                                        cwd=self.bot_dir, stdout=out,
                                        stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        out.close()

        def joined():
            if self.eggdrop.poll() is not None:
                raise WorldError('eggdrop ended: ' + self.tail('bot/eggdrop.out'))
            return len([e for e in self.watcher.events if ' JOIN ' in e
                        and e.startswith(':%s!' % BOT_NICK)]) > joins
        self.watcher._until('the bot to join', joined, START_WAIT)

    def stop_bot(self):
        stop_process(self.eggdrop)
        self.eggdrop = None
        self.watcher._until('the bot to leave',
                            lambda: any(e.startswith(':%s!' % BOT_NICK) and ' QUIT ' in e
                                        for e in self.watcher.events[-20:]),
                            START_WAIT)
        self.watcher.events = []

    def bot_log(self):
        """What the bot logged (eggdrop -n writes its log to standard output)."""
        return (self.bot_dir / 'eggdrop.out').read_text('latin-1')

    def tail(self, name):
        try:
            return (self.root / name).read_text('latin-1')[-3000:]
        except OSError as e:
            return str(e)

    def close(self):
        if self.watcher:
            self.watcher.close()
        stop_process(self.eggdrop)
        stop_process(self.ngircd)
        if os.environ.get('QUARVEL_SITEBOT_KEEP'):
            print('sitebot test folder kept:', self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)
