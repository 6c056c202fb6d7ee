#!/usr/bin/python3
"""One month of Quarvel on a sample ioFTPD site, played in well under a minute.

A copy of demo/site is served by demo/site_server.py (the stand-in for
ioFTPD) on loopback. The script then acts out July 2025 day by day, setting
the program's date with faketime: the scheduler's runs (qstart, newday,
checkup), an operator who puts two users on trial with SITE TRIAL, uploads
and a deletion by several users over FTP (with the stats lines the server
shows after each transfer), a nuke, the IRC bot's questions, the site's
IRC channel (ngircd, and eggdrop with sitebot/quarvel.tcl announcing what
it reads in the server's log), a passed trial, an expired
trial and, at the end of the period, the punishment of the member who
uploaded nothing: SITE DELUSER marks his account, as ioFTPD 7 does, and the
next period leaves it out until SITE PURGE removes it. The site is a stock
ioFTPD 7 one, without etc/passwd: the program takes its accounts from
UserIdTable. It prints what happened and checks every outcome: the exit
code is 0 when all happened as expected, 1 when one did not, 2 when the demo
could not run at all.

Usage: run_demo.py [--program build/quarvel | build-win/quarvel.exe] [--keep]
The program may also be named by the variable QUARVEL_PROGRAM; the Windows
build runs under Wine.
"""

import datetime
import ftplib
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import sitekit  # noqa: E402
from sitekit import SiteError  # noqa: E402

sys.path.insert(0, str(sitekit.REPO / 'tests' / 'sitebot'))
import irc_world  # noqa: E402

SERVER = Path(__file__).resolve().parent / 'site_server.py'
PYTHON = '/usr/bin/python3'
MB = 1024 * 1024
BOLD = '\x02'
SERVER_START_TIMEOUT = 120.0
# A run of the program takes well under a second; the FTP client waits
# longer than the server waits for the program.
RUN_TIMEOUT = 15.0
FTP_TIMEOUT = 45.0
NOTHING = object()
LOG_LINE = re.compile(r'^(\d\d-\d\d-\d{4}) (\d\d:\d\d:\d\d) (\S+): (.*)$')
# The events the sitebot script announces, one channel line each.
ANNOUNCED = {'UserADDED', 'UserDEL', 'PassedTrial', 'QUOTAPASSED', 'UDelSite', 'UDisSite',
             'TrialWARN', 'QuotaWARN'}
CHANNEL_WAIT = 60.0


class DemoAbort(Exception):
    """Something went wrong that makes the rest of the month pointless."""


def show(text):
    """Text for the terminal: the IRC bold code left out."""
    return text.replace(BOLD, '')


class Demo:
    def __init__(self, program, port, keep):
        self.program = Path(program)
        self.port = port
        self.keep = keep
        self.scratch = Path(tempfile.mkdtemp(prefix='quarvel-demo-'))
        self.root = self.scratch / 'ioFTPD'
        self.clock = sitekit.Clock(self.scratch / 'clock')
        self.server = None
        self.channel = None
        self.site = None
        self.launcher = None
        self.checks = 0
        self.failures = []
        self.log_seen = 0
        self.day_shown = None
        self.sessions = []
        self.errors_seen = 0
        self.sysop_seen = 0
        self.outputs = []  # every byte the program printed, for the password check

    # -- output and checks -----------------------------------------------------

    def say(self, who, text=''):
        now = self.clock.now()
        if self.day_shown != now.date():
            self.day_shown = now.date()
            print(now.strftime('%m-%d-%Y %a'))
        print('  %-10s %s' % (who, show(text)) if who else '  %-10s %s' % ('', show(text)))

    def check(self, what, ok, got=NOTHING):
        self.checks += 1
        if not ok:
            self.failures.append(what)
            print('  !! FAILED: %s%s' % (what, '' if got is NOTHING else ' (got %r)' % (got,)))
        return ok

    # -- the site ----------------------------------------------------------------

    def start_server(self):
        self.clock.set(datetime.datetime(2025, 6, 27, 12, 0, 0))
        port_file = self.scratch / 'port'
        argv = [PYTHON, str(SERVER), '--root', str(self.root), '--program', str(self.program),
                '--port', str(self.port), '--port-file', str(port_file),
                '--clock-file', str(self.clock.path), '--exit-with-stdin',
                '--run-timeout', str(RUN_TIMEOUT)]
        errors = open(self.scratch / 'server.err', 'w+b')
        self.server = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                       stderr=errors)
        self.server_errors = errors
        limit = time.monotonic() + SERVER_START_TIMEOUT
        while not port_file.exists():
            if self.server.poll() is not None:
                raise SiteError(self.server_problem() or 'the site server stopped at once')
            if time.monotonic() > limit:
                raise SiteError('the site server did not start within %.0f s'
                                % SERVER_START_TIMEOUT)
            time.sleep(0.05)
        self.port = int(port_file.read_text())
        self.site = sitekit.Site(self.root)
        self.launcher = sitekit.Launcher(self.site, self.program, self.clock, RUN_TIMEOUT)
        self.passwords = sitekit.read_passwords(sitekit.SAMPLE_PASSWORDS, self.site)

    def start_channel(self):
        """The site's IRC channel: ngircd on loopback and eggdrop with the
        sitebot script, which follows the site's log and announces in #site
        what the transcript shows. They run as an unprivileged user when the
        demo runs as root: the way to the log is opened for them (folders
        only passed through, not listed)."""
        if os.geteuid() == 0:
            os.chmod(self.scratch, 0o711)
        self.channel = irc_world.IrcWorld()
        self.channel.write_bot({'log': '{%s}' % self.site.log_file,
                                'program': '[list %s]' % self.program,
                                'channels': '{%s}' % irc_world.CHANNEL, 'poll': 1})
        try:
            self.channel.start_server()
            self.channel.start_bot()
            # The bot has taken its first look at the log: every line from
            # here on is announced.
            irc_world.wait_for('the bot to look at the log',
                               (self.channel.bot_dir / 'quarvel.offset').exists, CHANNEL_WAIT)
        except irc_world.WorldError as e:
            raise SiteError('the IRC channel could not start: %s' % e)

    def watch_server(self):
        """Stops the demo when the site server reported a problem (a run of
        the program that failed or hung): nothing after it would be sound."""
        self.server_errors.seek(self.errors_seen)
        fresh = self.server_errors.read()
        self.errors_seen += len(fresh)
        lines = fresh.decode('latin-1').strip().splitlines()
        if lines:
            raise DemoAbort(lines[0])

    def server_problem(self):
        self.server_errors.seek(0)
        lines = self.server_errors.read().decode('latin-1').strip().splitlines()
        return lines[-1] if lines else ''

    def stop(self):
        for ftp in self.sessions:
            try:
                ftp.close()
            except OSError:
                pass
        if self.channel is not None:
            self.channel.close()
        if self.server is not None and self.server.poll() is None:
            self.server.stdin.close()
            try:
                self.server.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()
        if self.keep:
            print('The site stays in %s' % self.root)
        else:
            shutil.rmtree(self.scratch, ignore_errors=True)

    def at(self, year, month, day, hour=0, minute=5):
        self.clock.set(datetime.datetime(year, month, day, hour, minute, 0))

    def entries(self, name):
        """[(key, value)] of a store file in the system folder, in file order."""
        path = self.site.system / name
        if not path.exists():
            return []
        found = []
        for line in sitekit.read_crlf_lines(path):
            key, sep, value = line.partition('=')
            if sep:
                found.append((key.strip(), value.strip()))
        return found

    def store(self, name):
        """{lower-case key: value} of a store file (the first line of a key)."""
        values = {}
        for key, value in self.entries(name):
            values.setdefault(key.lower(), value)
        return values

    def trial(self):
        return self.store('Quarvel.dat')

    def quota(self):
        return self.store('Velkrin.dat')

    def expect_records(self, store, expected):
        got = self.quota() if store == 'quota' else self.trial()
        for key, value in expected.items():
            self.check('%s record %s=%s' % (store, key, value or '(none)'),
                       got.get(key.lower()) == (value or None), got.get(key.lower()))

    def new_log_lines(self):
        """Lines added to logs/ioFTPD.log since the last look: (tag, data)."""
        path = self.site.log_file
        if not path.exists():
            return []
        lines = sitekit.read_crlf_lines(path)
        fresh, self.log_seen = lines[self.log_seen:], len(lines)
        found = []
        for line in fresh:
            match = LOG_LINE.match(line)
            if match:
                found.append((match.group(3), match.group(4)))
        return found

    def bot_reads_log(self, *expected):
        """The IRC bot announces the new log lines; each expected line
        (TAG: "name") must be among them."""
        self.show_admin_commands()
        lines = self.new_log_lines()
        self.channel_shows(lines)
        texts = ['%s: %s' % (tag, data) for tag, data in lines]
        for line in expected:
            self.check('log line %s' % line, line in texts, texts)

    def channel_shows(self, log_lines):
        """What the bot posted in the channel for these new log lines: one
        line for each of Quarvel's events."""
        count = len([tag for tag, _ in log_lines if tag in ANNOUNCED])
        if not count:
            return
        try:
            posted = self.channel.watcher.take_lines(count, CHANNEL_WAIT)
        except irc_world.WorldError as e:
            raise DemoAbort('the IRC bot did not announce the log lines: %s' % e)
        for line in posted:
            self.say(irc_world.CHANNEL, line)

    def sysop_lines(self):
        """The admin commands the server carried out (logs/SysOp.log, without
        the time stamps)."""
        if not self.site.sysop_file.exists():
            return []
        return [line[20:] for line in sitekit.read_crlf_lines(self.site.sysop_file)]

    def show_admin_commands(self):
        lines = self.sysop_lines()
        for line in lines[self.sysop_seen:]:
            self.say('server', line)
        self.sysop_seen = len(lines)

    # -- the callers of the program ------------------------------------------------------

    def run(self, who, command, variables, cwd=None):
        result = self.launcher.run(command, variables, cwd=cwd)
        self.outputs.append(result.output)
        if result.problem:
            raise DemoAbort('quarvel %s %s' % (command, result.problem))
        if result.exit_code != 0:
            self.check('quarvel %s ran and exited 0' % command, False,
                       result.problem or result.exit_code)
        return result

    def scheduler(self, command, show_output=True):
        """A [Scheduler] line: no user, output dropped, !putlog logged."""
        if show_output:
            self.say('scheduler', 'quarvel %s' % command)
        result = self.run('scheduler', command, sitekit.environment(self.site, {}))
        out = sitekit.relay(result.lines, self.site, self.clock.now())
        for line in out:
            self.say('', '(output, which the server drops) %s' % line)
        return out

    def irc(self, command, expected):
        """The IRC bot runs the program itself and relays what it prints."""
        self.say('irc bot', 'quarvel %s' % command)
        result = self.run('irc bot', command, {}, cwd=self.scratch)
        for line in result.lines:
            self.say('', '| ' + line)
        self.check('IRC %s lines' % command, result.lines == expected, result.lines)

    def login(self, user):
        ftp = ftplib.FTP()
        ftp.connect('127.0.0.1', self.port, timeout=FTP_TIMEOUT)
        self.sessions.append(ftp)
        ftp.login(user, self.passwords[user.lower()])
        return ftp

    def reply(self, text, transfer=False):
        self.watch_server()
        for line in text.split('\n'):
            # After a transfer: the lines other than the final 226 and the
            # empty message line of a user who has no standing.
            if not transfer or line not in ('226-', '226 Transfer complete.'):
                self.say('', '  ' + line)

    def site_command(self, ftp, user, command, expected_lines):
        self.say(user, 'SITE ' + command)
        response = ftp.sendcmd('SITE ' + command)
        self.reply(response)
        lines = response.split('\n')
        for line in expected_lines:
            self.check('reply line %s' % line, line in lines, lines)

    def upload(self, ftp, user, name, megabytes, stats=None):
        self.say(user, 'uploads %s (%g MB)' % (name, megabytes))
        data = (b'QUARVEL DEMO ' * (int(megabytes * MB) // 13 + 1))[:int(megabytes * MB)]
        folder = os.path.dirname(name)
        try:
            ftp.cwd(folder)
        except ftplib.error_perm:
            ftp.mkd(folder)
            ftp.cwd(folder)
        response = ftp.storbinary('STOR ' + os.path.basename(name), io.BytesIO(data))
        self.reply(response, transfer=True)
        lines = response.split('\n')
        if stats is not None:
            # ioFTPD puts the message prefix 226- before the line; the
            # sample configuration's empty FTP_STATS_PREFIX adds none.
            self.check('stats line %s' % stats, '226-' + stats in lines, lines)
        else:
            self.check('no stats line', lines == ['226-', '226 Transfer complete.'], lines)

    # -- the month -------------------------------------------------------------------------

    def play(self):
        started = time.monotonic()
        self.start_server()
        self.start_channel()
        print('Quarvel demo: one month on a sample ioFTPD site')
        print('  program %s (%s), its date set with faketime'
              % (self.program, 'Windows build under Wine' if self.launcher.windows
                 else 'native build'))
        print('  ioFTPD stand-in on 127.0.0.1:%d; trial %s MB in %s days, quota %s MB a month'
              % (self.port, sitekit.DEMO_SETTINGS['TRIAL_UPLOAD'],
                 sitekit.DEMO_SETTINGS['TRIAL_DAYS'], sitekit.DEMO_SETTINGS['QUOTA_UPLOAD']))
        print('  IRC: ngircd on 127.0.0.1:%d, eggdrop with sitebot/quarvel.tcl in %s;'
              ' the %s lines are what the channel saw'
              % (self.channel.port, irc_world.CHANNEL, irc_world.CHANNEL))
        print()

        self.at(2025, 6, 27, 12, 30)
        self.say('Marlow', 'quarvel test (the site keeps no etc/passwd)')
        result = self.run('Marlow', 'test', sitekit.environment(self.site, {}))
        accounts = 'Account list: %s (9 accounts)' % self.launcher.local(self.site.user_table)
        self.say('', '| ' + (result.lines[-1] if result.lines else ''))
        self.check('test names UserIdTable as the account list', result.lines[-1:] == [accounts],
                   result.lines[-1:])

        self.say('Marlow', 'quarvel check (the configuration and everything it names)')
        result = self.run('Marlow', 'check', sitekit.environment(self.site, {}))
        self.say('', '| ' + (result.lines[-1] if result.lines else ''))
        self.check('check finds no problem', result.lines[-1:] == ['check: no problems found'],
                   result.lines)

        self.at(2025, 6, 28, 12, 0)
        self.scheduler('qstart')
        q = self.quota()
        self.say('', 'next quota period: %s to %s' % (q.get('setup_quota_starts'),
                                                       q.get('setup_quota_ends')))
        self.expect_records('quota', {'setup_quota_starts': '07-01-2025',
                                      'setup_quota_ends': '08-01-2025',
                                      'setup_quota_started': None})

        self.at(2025, 7, 1)
        self.scheduler('newday')
        self.period_started('07-01-2025', '08-01-2025')

        self.day(2025, 7, 2)
        self.at(2025, 7, 2, 10, 0)
        marlow = self.login('Marlow')
        self.site_command(marlow, 'Marlow', 'TRIAL add fennel',
                          ['200- fennel from Couriers was added to trial.'])
        self.site_command(marlow, 'Marlow', 'TRIAL add juniper',
                          ['200- juniper from Friends was added to trial.'])
        self.bot_reads_log('UserADDED: "fennel"', 'UserADDED: "juniper"')
        self.expect_records('trial', {'fennel': '0::7::Couriers', 'juniper': '0::7::Friends'})
        self.expect_records('quota', {'fennel': '0::2::Couriers', 'juniper': '0::2::Friends'})

        self.day(2025, 7, 3)
        self.at(2025, 7, 3, 14, 0)
        fennel = self.login('fennel')
        self.upload(fennel, 'fennel', '/incoming/Sunrise-QV/sunrise.rar', 6,
                    '[TRiAL] fennel@Couriers: 6 MB uploaded, 4 MB to go, 6 days left')
        brisk = self.login('brisk')
        self.upload(brisk, 'brisk', '/incoming/Harbour-QV/harbour.rar', 9,
                    '[QUOTA] brisk@Couriers: 9 MB uploaded, 6 MB to go, 29 days left')
        self.upload(brisk, 'brisk', '/incoming/Harbour-QV/harbour.r00', 8)
        tamsin = self.login('tamsin')
        self.upload(tamsin, 'tamsin', '/incoming/Fog-QV/fog.rar', 7,
                    '[QUOTA] tamsin@Couriers: 7 MB uploaded, 8 MB to go, 29 days left')
        self.bot_reads_log('QUOTAPASSED: "brisk"')
        self.expect_records('trial', {'fennel': '6::6::Couriers'})
        self.expect_records('quota', {'fennel': '6::2::Couriers', 'brisk': '17::1::Couriers'})

        self.day(2025, 7, 4)
        self.at(2025, 7, 4, 9, 0)
        self.say('Marlow', 'nukes /incoming/Fog-QV (7 MB of tamsin)')
        self.say('nuke', 'quarvel NUKE tamsin 7168')
        self.run('nuke', 'NUKE tamsin 7168', sitekit.environment(self.site, {}))
        self.expect_records('quota', {'tamsin': '0::0::Couriers'})
        self.say('', "tamsin's quota total is back to %s MB"
                 % self.quota().get('tamsin', '?').split('::')[0])

        self.day(2025, 7, 5)
        self.at(2025, 7, 5, 16, 0)
        wren = self.login('wren')
        self.upload(wren, 'wren', '/incoming/Tide-QV/tide.rar', 9,
                    '[QUOTA] wren@Couriers: 9 MB uploaded, 6 MB to go, 27 days left')
        self.upload(wren, 'wren', '/incoming/Tide-QV/tide.nfo.bak', 4,
                    '[QUOTA] wren@Couriers: 13 MB uploaded, 2 MB to go, 27 days left')
        self.say('wren', 'DELE tide.nfo.bak')
        self.reply(wren.delete('tide.nfo.bak'))
        # The post-delete event runs after the 250 reply; the answer to the
        # next command comes once it is done.
        wren.voidcmd('NOOP')
        quota = self.quota()
        self.check('no size memo left', not any('_predel_size_' in k for k in quota), quota)
        self.expect_records('quota', {'wren': '9::0::Couriers'})
        self.say('', "wren's quota total is back to %s MB"
                 % quota.get('wren', '?').split('::')[0])

        # Three days left: newday warns the trial users still short.
        self.day(2025, 7, 6, warned=('TrialWARN: "juniper" "3" "10.0"',
                                     'TrialWARN: "fennel" "3" "4.0"'))
        self.at(2025, 7, 6, 20, 0)
        self.irc('IRC PASSED fennel',
                 ['%sDemoSite%s trial: fennel@Couriers has 6 of 10 MB, 4.0 MB to go in 3 days '
                  '(1.3 MB a day)' % (BOLD, BOLD)])
        self.irc('IRC info trial all',
                 ['%sDemoSite%s users in trial:' % (BOLD, BOLD),
                  '%sjuniper%s@Friends: 0 of 10 MB, 3 days left' % (BOLD, BOLD),
                  '%sfennel%s@Couriers: 6 of 10 MB, 3 days left' % (BOLD, BOLD)])
        self.irc('IRC info quota passed',
                 ['%sDemoSite%s: 1 quota members passed' % (BOLD, BOLD),
                  '%sbrisk%s@Couriers passed' % (BOLD, BOLD)])

        self.day(2025, 7, 7, warned=('TrialWARN: "juniper" "2" "10.0"',
                                     'TrialWARN: "fennel" "2" "4.0"'))
        self.at(2025, 7, 7, 18, 0)
        fennel = self.login('fennel')
        self.site_command(fennel, 'fennel', 'PASSED',
                          ['200-DemoSite trial: fennel@Couriers has 6 of 10 MB, 4.0 MB to go in '
                           '2 days (2.0 MB a day)',
                           '200-fennel: 4.0 MB to go in the last 2 days of your trial'])
        self.upload(fennel, 'fennel', '/incoming/Dusk-QV/dusk.rar', 5,
                    '[QUOTA] fennel@Couriers: 11 MB uploaded, 4 MB to go, 25 days left')
        self.bot_reads_log('PassedTrial: "fennel"')
        self.site_command(fennel, 'fennel', 'PASSED',
                          ['200-DemoSite quota: fennel@Couriers has 11.0 of 15 MB, 4 MB to go in '
                           '25 days (0.2 MB a day)'])
        self.check('the server got TRIAL_ONPASS from the admin login',
                   "'warden' ran SITE CHANGE fennel ratio 3 (recorded only)" in self.sysop_lines(),
                   self.sysop_lines())
        self.expect_records('trial', {'fennel': None})
        self.expect_records('quota', {'fennel': '11::0::Couriers'})

        self.day(2025, 7, 8)
        # A night with a mistyped admin password: juniper's trial runs out,
        # nothing can be done, and nothing is lost or announced.
        conf = self.site.system / 'quarvel.conf'
        good = sitekit.read_crlf_lines(conf)
        sitekit.write_crlf_lines(conf, ['FTP_PASS=mistyped' if line.lower().startswith('ftp_pass=')
                                        else line for line in good])
        self.at(2025, 7, 8, 23, 0)
        self.say('Marlow', 'mistypes the admin password in quarvel.conf')
        self.day(2025, 7, 9, left_due='juniper')
        self.expect_records('trial', {'juniper': '0::0::Friends'})
        self.check('juniper is not disabled yet', self.site.flags(self.site.find('juniper')) == '3',
                   self.site.flags(self.site.find('juniper')))
        self.at(2025, 7, 9, 11, 0)
        sitekit.write_crlf_lines(conf, good)
        self.say('Marlow', 'reads Quarvel.log, puts the right password back and asks for a preview')
        self.say('Marlow', 'quarvel preview')
        preview = self.run('Marlow', 'preview', {}, cwd=self.site.system)
        for line in preview.lines:
            self.say('', '| ' + line)
        self.check('the preview shows the punishment still due',
                   '    SITE CHANGE juniper FLAGS +6' in preview.lines, preview.lines)
        # The next night catches up first.
        self.day(2025, 7, 10, expired='juniper')
        self.check('juniper carries the disable flag 6',
                   self.site.flags(self.site.find('juniper')) == '36',
                   self.site.flags(self.site.find('juniper')))
        self.expect_records('trial', {'juniper': None})

        self.at(2025, 7, 10, 0, 30)
        self.scheduler('checkup')
        self.expect_records('quota', {'juniper': '0::3::Friends'})
        self.say('', 'juniper is now exempt from the quota (disabled account)')

        for d in range(11, 15):
            self.day(2025, 7, d)
        self.day(2025, 7, 15)
        self.at(2025, 7, 15, 21, 0)
        tamsin = self.login('tamsin')
        self.upload(tamsin, 'tamsin', '/incoming/Gale-QV/gale.rar', 16)
        wren = self.login('wren')
        self.upload(wren, 'wren', '/incoming/Reef-QV/reef.rar', 7)
        fennel = self.login('fennel')
        self.upload(fennel, 'fennel', '/incoming/Ember-QV/ember.rar', 5)
        self.bot_reads_log('QUOTAPASSED: "tamsin"', 'QUOTAPASSED: "wren"', 'QUOTAPASSED: "fennel"')
        self.irc('IRC PASSED pike',
                 ['%sDemoSite%s quota: pike@NoGroup has 0.0 of 15 MB, 15 MB to go in 17 days '
                  '(0.9 MB a day)' % (BOLD, BOLD)])

        for d in range(16, 30):
            self.day(2025, 7, d)
        # Two days left: newday warns the quota members still short.
        self.day(2025, 7, 30, warned=('QuotaWARN: "pike" "2" "15.0"',))
        self.day(2025, 7, 31, warned=('QuotaWARN: "pike" "1" "15.0"',))
        self.at(2025, 7, 31, 23, 0)
        pike = self.login('pike')
        self.site_command(pike, 'pike', 'PASSED',
                          ['200-DemoSite quota: pike@NoGroup has 0.0 of 15 MB, 15 MB to go in '
                           '1 days (15.0 MB a day)',
                           '200-pike: 15.0 MB to go in the last 1 days of your quota period'])
        self.upload(pike, 'pike', '/incoming/Last-QV/last.rar', 1,
                    '[QUOTA] pike@NoGroup: 1 MB uploaded, 14 MB to go, 1 days left '
                    '(last 1 days)')
        self.say('pike', 'logs in and idles')

        self.at(2025, 8, 1)
        out = self.scheduler('newday')
        self.show_admin_commands()
        self.check('newday names pike', 'Processing pike' in out, out)
        try:
            pike.voidcmd('NOOP')
            kicked = False
        except (EOFError, OSError, ftplib.Error):
            kicked = True
        self.check('pike was disconnected', kicked)
        self.say('pike', 'was disconnected' if kicked else 'is still connected')
        pike_account = self.site.find('pike')
        self.check('pike is marked deleted and still in UserIdTable',
                   pike_account is not None and self.site.is_deleted(pike_account))
        for line in ("'warden' kicked 'pike' (1 session)",
                     "'warden' marked user 'pike' for deletion"):
            self.check('SysOp.log: %s' % line, line in self.sysop_lines(), self.sysop_lines())
        self.say('', 'pike stays in UserIdTable, marked deleted, until SITE PURGE')
        self.period_started('08-01-2025', '09-01-2025', gone='pike')
        try:
            self.login('pike')
            refused = False
        except ftplib.error_perm:
            refused = True
        self.say('pike', 'cannot log in any more' if refused else 'can still log in')
        self.check("pike's login is refused", refused)
        self.bot_reads_log()
        self.irc('IRC PASSED pike', ['%sDemoSite%s: pike@NoGroup is deleted' % (BOLD, BOLD)])

        self.at(2025, 8, 1, 10, 0)
        marlow = self.login('Marlow')
        self.site_command(marlow, 'Marlow', 'PURGE pike', ['200 Command successful.'])
        self.show_admin_commands()
        self.check('pike is gone from UserIdTable', self.site.find('pike') is None)
        self.check('users/5 (pike) was removed', not self.site.user_file(5).exists())
        self.irc('IRC PASSED pike', ['%sDemoSite%s: there is no user pike' % (BOLD, BOLD)])
        self.audit_log()
        self.watch_server()
        return time.monotonic() - started

    def audit_log(self):
        """Quarvel.log: what the program did, with the server's replies; the
        admin password is in no output and in no file but quarvel.conf."""
        log = self.site.system / 'Quarvel.log'
        lines = sitekit.read_crlf_lines(log) if log.exists() else []
        entries = [line.split(' | ')[1:] for line in lines]
        self.say('Marlow', 'reads Quarvel.log (%d lines); the SITE commands:' % len(lines))
        for line, entry in zip(lines, entries):
            if len(entry) > 2 and entry[2] != '-':
                self.say('', '| ' + line)
        for wanted in (['newday', 'juniper', 'SITE CHANGE juniper FLAGS +6'],
                       ['newday', 'pike', 'SITE kick pike'],
                       ['newday', 'pike', 'SITE DELUSER pike']):
            self.check('Quarvel.log: %s done' % wanted[2],
                       any(e[:3] == wanted and e[3].startswith('200') and e[4].startswith('done')
                           for e in entries), entries)
        self.check('Quarvel.log: the refused login',
                   any(e[:2] == ['newday', 'juniper'] and 'no admin login' in e[3]
                       and 'stays due' in e[4] for e in entries), entries)
        password = self.passwords[sitekit.ADMIN.lower()].encode()
        leaks = [str(p) for p in self.site.root.rglob('*')
                 if p.is_file() and p.name != 'quarvel.conf' and password in p.read_bytes()]
        leaks += ['output %d' % i for i, out in enumerate(self.outputs) if password in out]
        self.check('the admin password is in no output and no file', not leaks, leaks)

    def day(self, year, month, day, expired=None, left_due=None, warned=()):
        """The daily newday run, shown when it has something to say; each
        `warned` line (TAG: "name" "days" "MB") must be in the log."""
        self.at(year, month, day)
        result = self.run('scheduler', 'newday', sitekit.environment(self.site, {}))
        out = sitekit.relay(result.lines, self.site, self.clock.now())
        log = self.new_log_lines()
        if out or log or expired:
            self.say('scheduler', 'quarvel newday')
            for line in out:
                self.say('', '(output, which the server drops) %s' % line)
            self.show_admin_commands()
            self.channel_shows(log)
        for line in warned:
            texts = ['%s: %s' % entry for entry in log]
            self.check('log line %s' % line, line in texts, texts)
        if left_due:
            self.check('newday says that %s stays due' % left_due,
                       any(line.startswith('%s stays due: SITE CHANGE' % left_due)
                           for line in out), out)
            self.check('nothing announced for %s' % left_due, log == [], log)
        if expired:
            texts = ['%s: %s' % entry for entry in log]
            self.check('log line UDisSite: "%s"' % expired,
                       'UDisSite: "%s"' % expired in texts, texts)
            self.check('newday asked for the flag',
                       'wtf - SITE CHANGE %s FLAGS +6' % expired in out, out)

    def period_started(self, starts, ends, gone=None):
        entries = self.entries('Velkrin.dat')
        self.expect_records('quota', {'setup_quota_starts': starts, 'setup_quota_ends': ends,
                                      'setup_quota_started': '1'})
        counting = sorted((k for k, v in entries if v.split('::')[1:2] == ['0']), key=str.lower)
        exempt = sorted((k for k, v in entries if v.split('::')[1:2] == ['3']), key=str.lower)
        self.say('', 'quota period %s to %s: %s count; %s exempt'
                 % (starts, ends, ', '.join(counting), ', '.join(exempt)))
        expected = {'brisk': '0::0::Couriers', 'tamsin': '0::0::Couriers',
                    'wren': '0::0::Couriers', 'fennel': '0::0::Couriers',
                    'pike': '0::0::NoGroup', 'juniper': '0::0::Friends',
                    'Marlow': '0::3::SiteOps', 'warden': '0::3::SiteOps',
                    'oleander': '0::3::Friends'}
        if gone:
            expected[gone] = None
            expected['juniper'] = '0::3::Friends'
        self.expect_records('quota', expected)


def main(argv=None):
    parser = sitekit.ArgumentParser(
        prog='run_demo.py', description='One month of Quarvel on a sample ioFTPD site.')
    parser.add_argument('--program', default=os.environ.get('QUARVEL_PROGRAM')
                        or str(sitekit.REPO / 'build' / 'quarvel'),
                        help='build/quarvel (default), or build-win/quarvel.exe to run the '
                             'Windows build under Wine; also $QUARVEL_PROGRAM')
    parser.add_argument('--port', type=int, default=0,
                        help='port of the site server (default: a free one)')
    parser.add_argument('--keep', action='store_true', help='keep the site folder afterwards')
    args = parser.parse_args(sys.argv[1:] if argv is None else argv)

    program = Path(args.program)
    if not program.is_file():
        sys.stderr.write('run_demo: program not found: %s (build it first)\n' % program)
        return 2
    demo = None
    try:
        demo = Demo(program, args.port, args.keep)
        seconds = demo.play()
    except (SiteError, DemoAbort, ftplib.Error, EOFError, OSError, KeyboardInterrupt) as e:
        sys.stdout.flush()
        if isinstance(e, KeyboardInterrupt):
            text = 'interrupted'
        elif isinstance(e, (SiteError, DemoAbort)):
            text = str(e)
        else:
            # An FTP step failed: say why, and what the server said about it.
            problem = demo.server_problem() if demo and demo.server else ''
            text = 'the FTP session failed: %s%s' % (
                ' '.join(str(e).split()) or type(e).__name__,
                '; server: ' + problem if problem else '')
        sys.stderr.write('run_demo: %s\n' % text)
        return 1 if isinstance(e, (DemoAbort, ftplib.Error, EOFError)) else 2
    finally:
        if demo is not None:
            demo.stop()
    print()
    if demo.failures:
        print('%d of %d checks FAILED (in %.1f s).' % (len(demo.failures), demo.checks, seconds))
        return 1
    print('All %d checks passed in %.1f s.' % (demo.checks, seconds))
    return 0


if __name__ == '__main__':
    sys.exit(main())
