#!/usr/bin/python3
"""An FTP server on loopback that stands in for ioFTPD beside Quarvel.

It serves a sample site (a copy of demo/site: ioFTPD's user database in its
own formats), lets its users log in with the demo passwords of
demo/passwords.txt, and starts the program at the same moments and in the
same way as ioFTPD with these ioFTPD.ini lines (see docs/INSTALL-WINDOWS.md):

  [Events]                  OnUploadComplete = EXEC ..\\system\\quarvel.exe UD
  [FTP_Pre-Command_Events]  dele = EXEC ..\\system\\quarvel.exe PREDL
  [FTP_Post-Command_Events] dele = EXEC ..\\system\\quarvel.exe POSDL
  [FTP_Custom_Commands]     trial = EXEC ..\\system\\quarvel.exe ST
                            quota = EXEC ..\\system\\quarvel.exe SQ
                            passed = EXEC ..\\system\\quarvel.exe PASSED
  [FTP_SITE_Permissions]    trial = 1M, quota = 1M, passed = *
  text/ftp/TransferComplete, shown after every transfer (it calls quarvel stats)

The admin SITE commands act on the site as ioFTPD 7's do: SITE kick
disconnects the user's sessions, SITE DELUSER marks the account deleted
(DeletedOn, DeletedBy, DeletedMsg in its user file; it stays in UserIdTable
and may no longer log in), SITE READD takes the mark back (SITE UNDELETE is
no command of ioFTPD 7 and is answered as such), SITE PURGE removes deleted
accounts for good, SITE CHANGE user FLAGS +x adds flags; other SITE commands
are recorded in logs/SysOp.log and acknowledged. Message files are sent as
ioFTPD sends them: every line but the last with the continuation code, the
last with the final one.

Usage: site_server.py --root DIR --program build/quarvel [--port N]
DIR is created from demo/site when it does not exist; the program (the
native build, or build-win/quarvel.exe to run under Wine) is installed into
DIR/system with a quarvel.conf for this server. Stop the server with Ctrl-C.
"""

import errno
import logging
import os
import re
import signal
import socket
import sys
import threading
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import sitekit  # noqa: E402
from sitekit import SiteError  # noqa: E402

try:
    from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
    from pyftpdlib.handlers import DTPHandler, FTPHandler
    from pyftpdlib.servers import ThreadedFTPServer
except ImportError:  # pragma: no cover - told to the user in main()
    FTPHandler = DTPHandler = DummyAuthorizer = object
    ThreadedFTPServer = None

PERMS = 'elradfmwMT'
# [FTP_Custom_Commands]: SITE trigger -> the program's command word.
CUSTOM_COMMANDS = {'trial': 'ST', 'quota': 'SQ', 'passed': 'PASSED'}
# Custom commands every user may run (passed = * in [FTP_SITE_Permissions]).
OPEN_COMMANDS = {'passed'}
# Words other servers know that ioFTPD 7 does not (it brings a deleted
# account back with READD).
NOT_COMMANDS = {'undelete'}
EXECUTE_COOKIE = re.compile(
    r'%\[execute\(([^)\]]*)\)(?:\(([^)\]]*)\))?(?:\(([^)\]]*)\))?\]', re.IGNORECASE)


def complain(text):
    sys.stderr.write('site_server: %s\n' % text)
    sys.stderr.flush()


class Sessions:
    """The logged-in control connections of each account."""

    def __init__(self):
        self._lock = threading.Lock()
        self._by_name = {}

    def add(self, name, handler):
        with self._lock:
            self._by_name.setdefault(name.lower(), set()).add(handler)

    def remove(self, handler):
        with self._lock:
            for handlers in self._by_name.values():
                handlers.discard(handler)

    def kick(self, name):
        """Disconnects every session of the account; the number of them."""
        with self._lock:
            handlers = list(self._by_name.pop(name.lower(), ()))
        for handler in handlers:
            # Each session runs in its own thread: shutting the socket down
            # makes that thread see the end of the connection and close it.
            try:
                handler.socket.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        return len(handlers)


class SiteAuthorizer(DummyAuthorizer):
    """Logins against the site's UserIdTable and the demo passwords."""

    def __init__(self, site, passwords):
        super().__init__()
        self.site = site
        self.passwords = passwords

    def validate_authentication(self, username, password, handler):
        try:
            account = self.site.find(username)
            flags = self.site.flags(account) if account is not None else ''
        except SiteError as e:
            complain(e)
            raise AuthenticationFailed('The user database cannot be read.')
        if account is None or self.passwords.get(account.name.lower()) != password:
            raise AuthenticationFailed('Login incorrect.')
        # ioFTPD's Banned_User_Flag is B.
        if 'B' in flags:
            raise AuthenticationFailed('Your account is banned.')
        # OnDeletedLogin and OnExpiredLogin: such accounts are refused.
        if self.site.is_deleted(account):
            raise AuthenticationFailed('Your account has been deleted.')
        if self.site.is_expired(account, handler.clock.now()):
            raise AuthenticationFailed('Your account has expired.')

    def has_user(self, username):
        return self.site.find(username) is not None

    def get_home_dir(self, username):
        return str(self.site.ftp_root)

    def get_perms(self, username):
        return PERMS

    def has_perm(self, username, perm, path=None):
        return perm in PERMS

    def get_msg_login(self, username):
        return 'User logged in.'

    def get_msg_quit(self, username):
        return 'Goodbye.'


class SiteDTPHandler(DTPHandler):
    """Holds the final 226 reply of a transfer until the upload event and the
    TransferComplete message have run, as ioFTPD does."""

    def close(self):
        if (not self._closed and self.file_obj is not None and self.transfer_finished
                and self._resp and self._resp[0].startswith('226')):
            if not self.file_obj.closed:
                self.file_obj.close()
            try:
                self._resp = (self.cmd_channel.transfer_complete(self.file_obj.name,
                                                                 self.receive),
                              self._resp[1])
            except Exception as e:  # a broken event must not kill the server
                complain('after the transfer of %s: %s' % (self.file_obj.name, e))
        super().close()


class SiteHandler(FTPHandler):
    # Set by serve() before the server accepts connections.
    site = launcher = sessions = clock = None

    banner = 'ioFTPD stand-in of the Quarvel demo ready.'
    dtp_handler = SiteDTPHandler
    use_sendfile = False
    timeout = 600

    account = None
    _raw_line = ''

    # -- sessions --------------------------------------------------------------

    def on_login(self, username):
        self.account = self.site.find(username)
        if self.account is not None:
            self.sessions.add(self.account.name, self)

    def on_logout(self, username):
        self.sessions.remove(self)

    def on_disconnect(self):
        self.sessions.remove(self)

    # -- running the program ---------------------------------------------------

    def cookies(self):
        """ioFTPD's message variables for this session's user."""
        values = {}
        account = self.account and self.site.find(self.account.name)
        if account is not None:
            group, gid = self.site.primary_group(account)
            cwd = self.fs.cwd
            values.update(user=account.name, group=group, gid=gid, uid=account.uid,
                          flags=self.site.flags(account),
                          pwd=cwd if cwd.endswith('/') else cwd + '/',
                          path=self.launcher.local(self.fs.ftp2fs(cwd)))
            values['cwd'] = values['pwd']
        return values

    def execute(self, command_line):
        """Runs the program for this session; (exit code, lines for the client)."""
        now = self.clock.now()
        variables = sitekit.environment(self.site, self.cookies())
        result = self.launcher.run(command_line, variables, when=now)
        if result.problem:
            complain('quarvel %s %s' % (command_line.split(' ')[0], result.problem))
        return result.exit_code, sitekit.relay(result.lines, self.site, now)

    def transfer_complete(self, filename, received):
        """The reply after a transfer: the upload event's lines (226-), then
        the TransferComplete message, whose last line is the final 226 reply
        (without the file, "226 Transfer complete.")."""
        lines = []
        if received:
            local = self.launcher.local(filename)
            command = 'UD "%s" %s "%s"' % (local, sitekit.file_crc(filename),
                                           self.fs.fs2ftp(filename))
            code, out = self.execute(command)
            lines += ['226-' + line for line in out]
            if code != 0:
                # A failed OnUploadComplete line makes ioFTPD delete the file.
                try:
                    os.remove(filename)
                except OSError:
                    pass
                return '\r\n'.join(lines + ['426 Upload rejected by the OnUploadComplete '
                                            'event; the file was deleted.'])
        message = self.message_file('TransferComplete', '226')
        return '\r\n'.join(lines + (message or ['226 Transfer complete.']))

    def message_file(self, name, code):
        """A message file of text/ftp with its %[EXECUTE(...)] cookies run:
        every line of the file begins with the code and "-", the last with
        the code and a blank (it is the final reply, even when a program's
        output left it empty); the second and later lines of a program's
        output get only the cookie's own third argument. [] without a file."""
        path = self.site.messages / name
        if not path.is_file():
            return []
        out = []
        file_lines = sitekit.read_crlf_lines(path)
        for number, line in enumerate(file_lines, 1):
            text = EXECUTE_COOKIE.sub(self._execute_cookie, line)
            pieces = text.split('\r\n')
            out.append(code + ('-' if number < len(file_lines) else ' ') + pieces[0])
            out.extend(pieces[1:])
        return out

    def _execute_cookie(self, match):
        event, parameters, cookie_prefix = match.group(1), match.group(2), match.group(3)
        words = event.split()
        if len(words) < 2 or words[0].upper() != 'EXEC':
            return ''
        # The program is the site's installed one; what follows its name on
        # the event line, then the parameters, make its command line.
        command = ' '.join(words[2:] + ([parameters] if parameters else []))
        _, out = self.execute(command)
        if cookie_prefix:
            out = [cookie_prefix + line for line in out]
        return '\r\n'.join(out)

    # -- commands --------------------------------------------------------------

    def process_command(self, cmd, *args, **kwargs):
        # A site file that broke while serving gives one line here and an
        # error reply, never a traceback.
        try:
            super().process_command(cmd, *args, **kwargs)
        except SiteError as e:
            complain(e)
            self.respond('451 %s' % e)

    def pre_process_command(self, line, cmd, arg):
        self._raw_line = line
        if cmd == 'SITE' and arg:
            if not self.authenticated:
                self.respond('530 Log in with USER and PASS first.')
            else:
                try:
                    self.site_command(arg)
                except SiteError as e:
                    complain(e)
                    self.respond('451 %s' % e)
            return
        super().pre_process_command(line, cmd, arg)

    def ftp_DELE(self, path):
        # Pre and post events get the command line as the client sent it;
        # their output goes to the client as it is (these events have no prefix).
        params = self._raw_line
        code, out = self.execute('PREDL ' + params)
        for line in out:
            self.push(line + '\r\n')
        if code != 0:
            self.respond("500 'DELE': Command failed. (pre-cmd-event script)")
            return
        super().ftp_DELE(path)
        if self._last_response.startswith('250'):
            _, out = self.execute('POSDL ' + params)
            for line in out:
                self.push(line + '\r\n')

    def site_command(self, arg):
        trigger, _, rest = arg.partition(' ')
        name = trigger.lower()
        if name in NOT_COMMANDS:
            self.respond("500 'SITE %s': Command not understood." % trigger.upper())
            return
        account = self.site.find(self.account.name) if self.account else None
        if account is None or (name not in OPEN_COMMANDS and not self.site.is_siteop(account)):
            self.respond("550 'SITE %s': Permission denied." % trigger.upper())
            return
        if name in CUSTOM_COMMANDS:
            command = CUSTOM_COMMANDS[name] + (' ' + rest if rest else '')
            code, out = self.execute(command)
            for line in out:
                self.push('200-' + line + '\r\n')
            self.respond('200 Command successful.' if out or code == 0 else '550 Command failed.')
            return
        handler = {'kick': self.site_kick, 'deluser': self.site_deluser,
                   'readd': self.site_readd, 'purge': self.site_purge,
                   'change': self.site_change}.get(name)
        if handler is not None:
            handler(account, rest)
            return
        self.site.sysop("'%s' ran SITE %s (recorded only)" % (account.name, arg), self.clock.now())
        self.respond('200 Command successful.')

    def _target(self, words, usage):
        if not words or not words[0]:
            self.respond('501 Syntax: %s' % usage)
            return None
        target = self.site.find(words[0])
        if target is None:
            self.respond("550 User '%s' does not exist." % words[0])
        return target

    def site_kick(self, account, rest):
        target = self._target(rest.split(), 'SITE KICK <user>')
        if target is None:
            return
        count = self.sessions.kick(target.name)
        self.site.sysop("'%s' kicked '%s' (%d session%s)"
                        % (account.name, target.name, count, '' if count == 1 else 's'),
                        self.clock.now())
        self.respond('200 Command successful.')

    def site_deluser(self, account, rest):
        words = rest.split(' ', 1)
        target = self._target(words, 'SITE DELUSER <user> [message]')
        if target is None:
            return
        if self.site.is_deleted(target):
            self.respond("550 User '%s' is already deleted." % target.name)
            return
        message = words[1].strip() if len(words) > 1 else ''
        self.site.mark_deleted(target, account, message, self.clock.now())
        # ioFTPD kicks a deleted user's sessions at their next command.
        self.sessions.kick(target.name)
        self.site.sysop("'%s' marked user '%s' for deletion" % (account.name, target.name),
                        self.clock.now())
        self.respond('200 Command successful.')

    def site_readd(self, account, rest):
        target = self._target(rest.split(), 'SITE READD <user>')
        if target is None:
            return
        if not self.site.is_deleted(target):
            self.respond("550 User '%s' is not deleted." % target.name)
            return
        self.site.undelete(target)
        self.site.sysop("'%s' re-added user '%s'" % (account.name, target.name),
                        self.clock.now())
        self.push("200-Re-added deleted user: '%s'\r\n" % target.name)
        self.respond('200 Command successful.')

    def site_purge(self, account, rest):
        """SITE PURGE [user]: removes the deleted accounts (or the one named)."""
        words = rest.split()
        if words:
            target = self._target(words, 'SITE PURGE [user]')
            if target is None:
                return
            if not self.site.is_deleted(target):
                self.respond("550 User '%s' is not deleted." % target.name)
                return
            targets = [target]
        else:
            targets = [a for a in self.site.accounts() if self.site.is_deleted(a)]
        for target in targets:
            self.site.purge(target)
            self.site.sysop("'%s' purged user '%s'" % (account.name, target.name),
                            self.clock.now())
        self.respond('200 Command successful.')

    def site_change(self, account, rest):
        words = rest.split()
        target = self._target(words, 'SITE CHANGE <user> <field> <value>')
        if target is None:
            return
        if len(words) >= 3 and words[1].lower() == 'flags':
            flags = self.site.change_flags(target, ''.join(words[2:]))
            self.site.sysop("'%s' changed the flags of '%s' to '%s'"
                            % (account.name, target.name, flags), self.clock.now())
        else:
            self.site.sysop("'%s' ran SITE CHANGE %s (recorded only)" % (account.name, rest),
                            self.clock.now())
        self.respond('200 Command successful.')


def parse_arguments(argv):
    parser = sitekit.ArgumentParser(
        prog='site_server.py',
        description='FTP server on loopback that stands in for ioFTPD beside Quarvel.')
    parser.add_argument('--root', required=True,
                        help='the site folder (made from demo/site when it does not exist)')
    parser.add_argument('--program', default=os.environ.get('QUARVEL_PROGRAM'),
                        help='build/quarvel, or build-win/quarvel.exe to run under Wine '
                             '(default: $QUARVEL_PROGRAM)')
    parser.add_argument('--port', type=int, default=2121,
                        help='port on 127.0.0.1 (0 picks a free one; default 2121)')
    parser.add_argument('--port-file', help='write the port into this file once listening')
    parser.add_argument('--clock-file',
                        help="file holding the demo's time YYYY-MM-DD HH:MM:SS (default: "
                             "real time); the program runs under faketime at that time")
    parser.add_argument('--passwords', default=str(sitekit.SAMPLE_PASSWORDS),
                        help='name:password list of the demo accounts')
    parser.add_argument('--run-timeout', type=float, default=sitekit.PROGRAM_TIMEOUT,
                        help='seconds after which a run of the program is stopped')
    parser.add_argument('--exit-with-stdin', action='store_true',
                        help='stop when standard input closes (for scripts)')
    parser.add_argument('--verbose', action='store_true', help='log every FTP command')
    args = parser.parse_args(argv)
    if not args.program:
        parser.error('--program is missing (or set QUARVEL_PROGRAM)')
    if not 0 <= args.port <= 65535:
        parser.error('--port must be 0 to 65535')
    return args


def listen(port):
    try:
        return ThreadedFTPServer(('127.0.0.1', port), SiteHandler)
    except OSError as e:
        if e.errno == errno.EADDRINUSE:
            raise SiteError('cannot listen on 127.0.0.1:%d: the port is in use' % port)
        raise SiteError('cannot listen on 127.0.0.1:%d: %s' % (port, e.strerror or e))


def serve(args):
    if ThreadedFTPServer is None:
        raise SiteError('pyftpdlib is missing (apt-get install python3-pyftpdlib)')
    logging.basicConfig(level=logging.INFO if args.verbose else logging.ERROR,
                        format='site_server: %(message)s')
    program = Path(args.program)
    if not program.is_file():
        raise SiteError('program not found: %s (build it first)' % program)
    server = listen(args.port)
    try:
        port = server.socket.getsockname()[1]
        site = sitekit.prepare_site(args.root, program, port, Path(args.passwords))
        clock = sitekit.Clock(args.clock_file)
        clock.now()
        SiteHandler.site = site
        SiteHandler.clock = clock
        SiteHandler.sessions = Sessions()
        SiteHandler.launcher = sitekit.Launcher(site, program, clock, args.run_timeout)
        SiteHandler.authorizer = SiteAuthorizer(
            site, sitekit.read_passwords(Path(args.passwords), site))
        if args.port_file:
            temp = Path(args.port_file + '.new')
            temp.write_text('%d\n' % port)
            os.replace(temp, args.port_file)
    except BaseException:
        server.close_all()
        raise
    print('site_server: serving %s on 127.0.0.1:%d with %s (%s)'
          % (site.root, port, program, 'Windows build under Wine'
             if SiteHandler.launcher.windows else 'native build'), flush=True)
    if args.exit_with_stdin:
        def watch():
            try:
                while sys.stdin.buffer.read(4096):
                    pass
            except OSError:
                pass
            os.kill(os.getpid(), signal.SIGTERM)
        threading.Thread(target=watch, daemon=True).start()
    server.serve_forever()


def main(argv=None):
    args = parse_arguments(sys.argv[1:] if argv is None else argv)

    def stop(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, stop)
    try:
        serve(args)
    except SiteError as e:
        complain(e)
        return 1
    except KeyboardInterrupt:
        return 0
    return 0


if __name__ == '__main__':
    sys.exit(main())
