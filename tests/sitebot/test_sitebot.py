"""The sitebot script (sitebot/quarvel.tcl) end to end: a real eggdrop in a
channel of a real ngircd on loopback, the test's own IRC client beside it,
the server's log written by the test and the native program answering the
reports on a small site. Lines are compared exactly as the client receives
them.

One server and one bot serve the whole module (starting eggdrop takes
seconds); each test appends its own lines and uses its own nick, and waits
for a closing line it knows (a marker event) rather than for a fixed time."""

import itertools
import json
import os
import shutil
import signal
import sys
import time
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent))
from irc_world import CHANNEL, IrcClient, IrcWorld, wait_for  # noqa: E402

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / 'e2e'))
from quarvel_harness import REPO, faketime_env, format_conf  # noqa: E402

BOLD = '\x02'
TODAY = '2027-03-20'
TIMEOUT = 3          # the bot's limit for one report, seconds
STAMP = '03-20-2027 10:00:00 '

SERVER_USERS = {'bob': (1, 'groups 1', '3'), 'Carol': (2, 'groups 2 1', '3'),
                'hal': (3, 'groups 2', '3')}
SERVER_GROUPS = {'Couriers': 1, 'Friends': 2}
TRIAL_USERS = ['bob'] + ['t%02d' % i for i in range(1, 12)]

SITE_CONFIG = {
    'TRIAL_UPLOAD': '1000', 'QUOTA_UPLOAD': '1000',
    'Irc_SiteName': 'SITE',
    'Irc_Info': '$BOLD$SITENAME$BOLD: $TRIALUSERS trial, $QUOTAUSERS quota',
    'Irc_No_User': 'none $USER at $SITENAME',
    'Irc_Trial_Uinfo': 'T $USER/$GROUP up:$UPLOADED of $SHOWL left:$MBLEFT '
                       'days:$DAYSLEFT pd:$PERDAY',
    'Irc_Quota_Uinfo': 'Q $USER/$GROUP up:$UPLOADED left:$MBLEFT',
    'Irc_Quota_Next': 'next $USER', 'Irc_Quota_Not_Started': 'not started',
    'Irc_Quota_Yet': 'yet $USER',
    'Trials_Header': '$BOLD$SITENAME trials$BOLD',
    'Trials_Body': '$USER/$GROUP $UPLOADED of $SHOWL, $DAYSLEFT days',
    'Trials_Total': '$TOTAL in trial',
    'QUOTAs_Total': '$TOTAL on quota',
    'QUOTAs_PASSED_HEADER': '$PASSED passed',
    'QUOTAs_PASSED': '+ $USER/$GROUP',
}

# The bot runs this stand-in, which notes its arguments and then becomes
# the real program (under faketime), except for the user "sleepy", whose
# report never ends.
STANDIN = '''#!/usr/bin/python3
import json, os, sys, time
here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, 'argv.log'), 'a') as f:
    f.write(json.dumps(sys.argv[1:]) + '\\n')
if 'sleepy' in sys.argv[1:]:
    with open(os.path.join(here, 'sleepy.pid'), 'w') as f:
        f.write(str(os.getpid()))
    time.sleep(3600)
program = os.path.join(here, 'quarvel')
os.execve(program, [program] + sys.argv[1:], dict(os.environ, **%r))
'''

_nicks = itertools.count(1)


def native_program():
    """The program the bot runs: QUARVEL_PROGRAM's first entry (the native
    build; the bot runs on Linux here), else build/quarvel."""
    first = (os.environ.get('QUARVEL_PROGRAM') or '').split(':')[0]
    program = Path(first) if first else REPO / 'build' / 'quarvel'
    if not program.is_absolute():
        program = REPO / program
    if program.suffix.lower() == '.exe' or not program.is_file():
        pytest.fail('the sitebot tests need the native program first in QUARVEL_PROGRAM '
                    '(build/quarvel); got %s' % program)
    return program


def crlf(*lines):
    return ''.join(line + '\r\n' for line in lines)


def write_site(site, program):
    """The program's folder (IRC keeps its data there) with a small server
    user database, a trial store of 12 users and a quota period."""
    shutil.copyfile(program, site / 'quarvel')
    server = site / 'server'
    (server / 'etc').mkdir(parents=True)
    (server / 'users').mkdir()
    (server / 'etc' / 'UserIdTable').write_bytes(crlf(
        *('%s:%d:STANDARD' % (n, u[0]) for n, u in SERVER_USERS.items())).encode())
    (server / 'etc' / 'GroupIdTable').write_bytes(crlf(
        *('%s:%d:STANDARD' % g for g in SERVER_GROUPS.items())).encode())
    for uid, groups, flags in SERVER_USERS.values():
        (server / 'users' / str(uid)).write_bytes(crlf(groups, 'flags ' + flags).encode())
    config = {'ioFTPD': str(server), 'UserTABLE': str(server / 'etc' / 'UserIdTable'),
              'UserFOLDER': str(server / 'users'),
              'GroupTABLE': str(server / 'etc' / 'GroupIdTable')}
    config.update(SITE_CONFIG)
    (site / 'quarvel.conf').write_bytes(format_conf(config))
    (site / 'Quarvel.dat').write_bytes(crlf(
        'bob=250::5::Couriers', *('%s=10::3::G' % n for n in TRIAL_USERS[1:])).encode())
    (site / 'Velkrin.dat').write_bytes(crlf(
        'setup_quota_starts=03-01-2027', 'setup_quota_ends=04-01-2027',
        'setup_quota_started=1', 'Carol=1200::1::Friends', 'hal=1::1::Friends').encode())
    standin = site / 'standin.py'
    standin.write_text(STANDIN % faketime_env(TODAY))
    standin.chmod(0o755)
    (site / 'quarvel').chmod(0o755)


@pytest.fixture(scope='module')
def world():
    w = IrcWorld()
    try:
        write_site(w.site, native_program())
        # History: lines already in the log when the bot first starts.
        w.log.write_bytes(b'03-19-2027 09:00:00 UserADDED: "history"\r\n')
        w.write_bot({
            'log': '{%s}' % str(w.log).replace('/', '\\'),  # back slashes, as on Windows
            'offset_file': 'quarvel.offset',
            'poll': 1,
            'channels': '{%s}' % CHANNEL,
            'program': '[list %s]' % (w.site / 'standin.py'),
            'timeout': TIMEOUT,
            'repeat_wait': 30,
            'theme,QUOTAPASSED': '{%b[QUOTA]%b %c04%user%o passed}',
        })
        w.start_server()
        w.start_bot()
        yield w
    finally:
        w.close()


@pytest.fixture
def client(world):
    c = IrcClient(world.port, 'user%d' % next(_nicks))
    yield c
    c.close()


_marks = itertools.count(1)


def append(world, *lines, end=b'\r\n'):
    with open(world.log, 'ab') as f:
        f.write(b''.join(line.encode('latin-1') + end for line in lines))


def mark(world):
    """Appends a marker event and gives the line the bot will post for it:
    everything the bot posts before it has been read from the log."""
    name = 'mark%d' % next(_marks)
    append(world, STAMP + 'UserDEL: "%s"' % name)
    return BOLD + '[TRIAL]' + BOLD + ' %s was taken off the trial' % name


def announced(world, client, *lines):
    """What the bot posts for these log lines (and nothing after them)."""
    append(world, *lines)
    last = mark(world)
    return client.take_until(last)[:-1]


# -- announcements ---------------------------------------------------------------

def test_each_event_is_announced_once_as_text(world, client):
    long_name = 'n' * 450
    got = announced(world, client,
                    STAMP + 'UserADDED: "fennel"',
                    STAMP + 'NEWDIR: "bob" "Couriers" "/mp3/x" "C:\\x"',  # the server's own
                    STAMP + 'UserDEL: "fennel"',
                    STAMP + 'PassedTrial: "bob"',
                    STAMP + 'QUOTAPASSED: "Carol"',
                    STAMP + 'UDelSite: "gus"',
                    STAMP + 'UDisSite: "ida"',
                    STAMP + 'QuotaDEL: "jo"',
                    STAMP + 'QuotaDIS: "kim"',
                    STAMP + 'PassedTrial: "a[exec touch /tmp/pwned]$b{c\\"}"',
                    STAMP + 'PassedTrial: "' + long_name + '"',
                    'not a line of the log at all',
                    STAMP + 'UnknownTAG: "bob"')
    assert got == [
        BOLD + '[TRIAL]' + BOLD + ' fennel was added to the trial',
        BOLD + '[TRIAL]' + BOLD + ' fennel was taken off the trial',
        BOLD + '[TRIAL]' + BOLD + ' bob passed the trial',
        # A theme of the settings, with a colour.
        BOLD + '[QUOTA]' + BOLD + ' \x0304Carol\x0f passed',
        BOLD + '[SITE]' + BOLD + ' gus was deleted for not uploading enough',
        BOLD + '[SITE]' + BOLD + ' ida was disabled for not uploading enough',
        BOLD + '[QUOTA]' + BOLD + ' jo was deleted for missing the quota',
        BOLD + '[QUOTA]' + BOLD + ' kim was disabled for missing the quota',
        BOLD + '[TRIAL]' + BOLD + ' a[exec touch /tmp/pwned]$b{c\\"} passed the trial',
        (BOLD + '[TRIAL]' + BOLD + ' ' + long_name)[:397] + '...',
    ]
    assert not os.path.exists('/tmp/pwned')
    assert 'history' not in ' '.join(client.channel_lines() + world.watcher.channel_lines())


def test_warnings_give_the_days_and_megabytes(world, client):
    got = announced(world, client,
                    STAMP + 'TrialWARN: "bob" "3" "400.0"',
                    STAMP + 'QuotaWARN: "Carol" "1" "0.5"',
                    STAMP + 'QuotaWARN: "a[exec touch /tmp/pwned]" "2" "1.0"')
    assert got == [
        BOLD + '[TRIAL]' + BOLD + ' bob has 3 days left and 400.0 MB to go',
        BOLD + '[QUOTA]' + BOLD + ' Carol has 1 days left and 0.5 MB to go this month',
        BOLD + '[QUOTA]' + BOLD + ' a[exec touch /tmp/pwned] has 2 days left and 1.0 MB to go'
        ' this month',
    ]
    assert not os.path.exists('/tmp/pwned')


def test_a_line_being_written_waits_for_its_end(world, client):
    with open(world.log, 'ab') as f:
        f.write(STAMP.encode() + b'UserADDED: "hal')
    client.quiet(2.5)  # two looks at the log
    assert client.channel_lines() == []
    assert announced(world, client, 'f"') == [
        BOLD + '[TRIAL]' + BOLD + ' half was added to the trial']


def test_rotated_truncated_missing_and_new_logs(world, client):
    added = BOLD + '[TRIAL]' + BOLD + ' %s was added to the trial'
    # Rotated: the old file moves away, a new one (longer than what was
    # read of the old one) takes its place.
    old = world.logs / 'ioFTPD.1.log'
    world.log.rename(old)
    names = []
    while not world.log.exists() or world.log.stat().st_size <= old.stat().st_size:
        names.append('rotated_user_%03d' % len(names))
        append(world, STAMP + 'UserADDED: "%s"' % names[-1])
    last = mark(world)
    assert client.take_until(last)[:-1] == [added % name for name in names]
    # Truncated in place, then written again.
    world.log.write_bytes(b'')
    client.quiet(2.5)
    assert announced(world, client, STAMP + 'UserADDED: "t1"') == [added % 't1']
    # Missing for a while: the bot says so once in its log and goes on.
    world.log.unlink()
    wait_for('the bot to notice the missing log',
             lambda: 'is not there (yet)' in world.bot_log(), 30)
    client.quiet(2.5)
    assert announced(world, client, STAMP + 'UserADDED: "n1"') == [added % 'n1']
    assert world.bot_log().count('is not there (yet)') == 1
    assert 'Quarvel: reading' not in world.bot_log()


def test_restart_neither_repeats_nor_loses_lines(world, client):
    before = announced(world, client, STAMP + 'PassedTrial: "before"')
    assert before == [BOLD + '[TRIAL]' + BOLD + ' before passed the trial']
    world.stop_bot()
    append(world, STAMP + 'PassedTrial: "while_away"')
    world.start_bot()
    assert announced(world, client, STAMP + 'PassedTrial: "after"') == [
        BOLD + '[TRIAL]' + BOLD + ' while_away passed the trial',
        BOLD + '[TRIAL]' + BOLD + ' after passed the trial']
    # A rehash (SIGHUP) loads the script again: one look at the log, one
    # answer per command, as before.
    world.eggdrop.send_signal(signal.SIGHUP)
    wait_for('the rehash', lambda: world.bot_log().count('Quarvel sitebot 1.0 loaded') == 3, 30)
    assert announced(world, client, STAMP + 'PassedTrial: "rehashed"') == [
        BOLD + '[TRIAL]' + BOLD + ' rehashed passed the trial']
    client.say('!quota total')
    assert client.take_lines(1) == ['2 on quota']
    client.quiet(2)
    assert client.channel_lines() == []
    log = world.bot_log()
    assert 'Quarvel: ERROR' not in log
    assert 'Quarvel sitebot 1.0 loaded: log %s, offset quarvel.offset' % world.log in log


# -- commands ------------------------------------------------------------------

def argv_log(world):
    path = world.site / 'argv.log'
    return [json.loads(line) for line in path.read_text().splitlines()] if path.exists() else []


def test_reports_are_relayed_as_the_program_prints_them(world, client):
    client.say('!passed bob')
    assert client.take_lines(1) == [
        'T bob/Couriers up:250 of 1000 left:750.0 days:5 pd:150.0']
    client.say('!quota passed')
    assert client.take_lines(3) == ['2 passed', '+ Carol/Friends', '+ hal/Friends']
    # 13 lines: the first 9 and a line for the rest. Users the server does
    # not know show without name and group, in identical lines, each kept.
    client.say('!trial all')
    assert client.take_lines(10) == (
        [BOLD + 'SITE trials' + BOLD, 'bob/Couriers 250 of 1000, 5 days']
        + ['/ 10 of 1000, 3 days'] * 7 + ['(4 more lines left out)'])
    client.say('!quarvel')
    assert client.take_lines(1) == [
        'Quarvel: !passed [user] (trial or quota standing), !trial [all] (trial users),'
        ' !quota total|exempt|passed (quota users)']


def test_a_repeated_command_is_ignored(world, client):
    client.say('!passed')
    client.say('!passed')
    client.say('!passed Carol')
    assert client.take_lines(1) == [BOLD + 'SITE' + BOLD + ': 12 trial, 2 quota']
    client.quiet(3)
    assert client.channel_lines() == []
    client.say('!quota everything')
    assert client.take_lines(1) == [client.nick + ': !quota total|exempt|passed']


@pytest.mark.parametrize('argument, program_word, report_name', [
    ('a;b|c&d[e]$f"g\'h`i', 'a;b|c&d[e]$f"g\'h`i', 'a;b|c&d[e]$fg\'h`i'),
    ('[die]', '[die]', '[die]'),
    ('$::botnick', '$::botnick', '$::botnick'),
    # Words that Tcl's pipeline syntax would read as a pipe or redirection.
    ('|', '{}|', '|'),
    ('>owned', '{}>owned', '>owned'),
    ('<quarvel.conf', '{}<quarvel.conf', '<quarvel.conf'),
    ('2>owned', '{}2>owned', '2>owned'),
    ('&', '{}&', '&'),
])
def test_arguments_reach_the_program_as_text(world, client, argument, program_word,
                                             report_name):
    before = len(argv_log(world))
    client.say('!passed ' + argument + ' touch owned')
    assert client.take_lines(1) == ['none %s at SITE' % report_name]
    assert argv_log(world)[before:] == [['IRC', 'PASSED', program_word]]
    for folder in (world.bot_dir, world.site):
        assert not (folder / 'owned').exists()
    assert world.eggdrop.poll() is None


def test_a_hanging_report_is_stopped_and_the_bot_goes_on(world, client):
    other = IrcClient(world.port, client.nick + 'b')
    try:
        started = time.monotonic()
        client.say('!passed sleepy')
        pid_file = world.site / 'sleepy.pid'
        wait_for('the hanging report to start', pid_file.exists, 30)
        other.say('!quota total')
        assert other.take_lines(1) == ['2 on quota']
        assert client.take_lines(2) == [
            '2 on quota',
            '%s: the report took longer than %d s and was stopped' % (client.nick, TIMEOUT)]
        assert time.monotonic() - started >= TIMEOUT
        pid = int(pid_file.read_text())
        wait_for('the hanging report to end', lambda: not process_alive(pid), 30)
        client.quiet(2)
        assert client.channel_lines() == []
    finally:
        other.close()


def process_alive(pid):
    try:
        with open('/proc/%d/stat' % pid) as f:
            return f.read().split(') ')[1][0] != 'Z'
    except (FileNotFoundError, IndexError):
        return False



# -- other settings ------------------------------------------------------------

@pytest.fixture(scope='module')
def tuned_world():
    """A second bot with the command words, the trigger and the flood control
    set otherwise, and a log in a folder that does not exist."""
    w = IrcWorld()
    try:
        write_site(w.site, native_program())
        w.write_bot({
            'log': '{/nonexistent/logs/ioFTPD.log}',
            'poll': 1,
            'channels': '{%s}' % CHANNEL,
            'program': '[list %s]' % (w.site / 'standin.py'),
            'trigger': '.', 'cmd_passed': 'standing', 'cmd_trial': 'trials',
            'max_lines': 3, 'overflow': 'notice',
        })
        w.start_server()
        w.start_bot()
        yield w
    finally:
        w.close()


def test_command_words_trigger_and_overflow_by_notice(tuned_world):
    client = IrcClient(tuned_world.port, 'tuned%d' % next(_nicks))
    try:
        client.say('!passed bob')
        client.say('.standing bob')
        assert client.take_lines(1) == [
            'T bob/Couriers up:250 of 1000 left:750.0 days:5 pd:150.0']
        # 13 lines: 3 in the channel, the other 10 to the caller alone.
        client.say('.trials all')
        assert client.take_lines(3) == [BOLD + 'SITE trials' + BOLD,
                                        'bob/Couriers 250 of 1000, 5 days',
                                        '/ 10 of 1000, 3 days']
        client._until('10 notices', lambda: len(client.notices()) >= 10, 30)
        assert client.notices() == ['/ 10 of 1000, 3 days'] * 10
        assert all(m[2] == client.nick for m in client.messages if m[1] == 'NOTICE')
        client.quiet(2)
        assert client.channel_lines() == []
    finally:
        client.close()


def test_a_wrong_log_folder_is_named_once(tuned_world):
    wait_for('the bot to look for the log',
             lambda: 'is not there (yet)' in tuned_world.bot_log(), 30)
    time.sleep(3)  # three more looks, which must stay silent
    log = tuned_world.bot_log()
    assert ("Quarvel: ERROR: the log's folder /nonexistent/logs does not exist "
            "(set quarvel(log))") in log
    assert log.count('is not there (yet)') == 1
    assert 'Quarvel: reading' not in log
