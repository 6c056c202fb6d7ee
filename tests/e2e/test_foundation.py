"""Start-up, configuration file, data folder, command tests and the stores'
files, seen from outside: the real program, its own folders, exact bytes."""

import os
import shutil
import time

import pytest

from quarvel_harness import LOCK_FILE_NAME, QUOTA_STORE, TRIAL_STORE, lines

LOADCFG_53 = lines('53 - LOADCFG')
LOADCFG_76 = lines('76 - LOADCFG')
STARTUP_LOOKUPS = 10  # WINDIR ... ioFTPD, each printing its line when the file is missing

STATS_TEMPLATE = '%USER% %UPLOADED%MB %MBLEFT%MB left, %DAYSLEFT% days (%TYPE%)'
BOB_TRIAL = b'bob=120.5::4::x\r\n'
BOB_STATS = lines('226-bob 120.5MB 379.5MB left, 4 days (TRiAL)')
BOB = {'user': 'bob', 'group': 'Couriers'}


# -- configuration file missing, empty, unreachable ----------------------------

@pytest.mark.parametrize('command_line', ['', 'no such command', 'test ', 'NUKE bob'])
def test_missing_configuration_prints_one_line_per_startup_lookup(quarvel, command_line):
    # None of these command lines reaches a handler that looks anything up,
    # so what is printed comes from the ten start-up settings alone.
    quarvel.run(command_line).expect(stdout=LOADCFG_53 * STARTUP_LOOKUPS)


def test_missing_configuration_user_report_looks_up_what_it_reaches(quarvel):
    # After the start-up settings: no server folder, so the user database
    # asks for nothing; the unknown user is listed (Quota_Users and
    # EXEMPT_USER_EXEMPT); then Irc_SiteName and Irc_No_User, which renders
    # as an empty line.
    quarvel.run('IRC PASSED bob').expect(stdout=LOADCFG_53 * (STARTUP_LOOKUPS + 4) + b'\r\n')


def test_empty_configuration_file_is_no_error(quarvel):
    quarvel.write_conf(b'')
    quarvel.run('').expect(stdout=b'')
    quarvel.run('no such command').expect(stdout=b'')


def test_data_folder_rule_decides_which_configuration_is_read(quarvel):
    # IRC, NUKE and UNNUKE (any case) keep their data in the program's folder,
    # every other command in the working folder: a configuration file in only
    # one of the two shows which one a run reads.
    quarvel.write_conf({'TRIAL_UPLOAD': '500'}, where='data')
    for command_line in ['', 'stats', 'NUKEX bob 1', 'irc2 info']:
        quarvel.run(command_line).expect(stdout=b'')
    # ST answers with its usage lines only: no LOADCFG line before them.
    assert quarvel.run('ST list').stdout.startswith(b' SITE TRIAL add <user>')
    for command_line in ['nuke bob 1024', 'UNNUKE bob 1024', 'NUKE', 'Unnuke bob']:
        quarvel.run(command_line).expect(stdout=LOADCFG_53 * STARTUP_LOOKUPS)
    # The report handler may look up templates of its own afterwards.
    out = quarvel.run('IRC info trial').expect(stdout=None).stdout
    assert out.startswith(LOADCFG_53 * STARTUP_LOOKUPS), out

    os.remove(quarvel.data / 'quarvel.conf')
    quarvel.write_conf({'TRIAL_UPLOAD': '500'}, where='prog')
    for command_line in ['', 'stats', 'NUKEX bob 1']:
        quarvel.run(command_line).expect(stdout=LOADCFG_53 * STARTUP_LOOKUPS)
    for command_line in ['nuke bob 1024', 'UNNUKE bob 1024', 'NUKE']:
        quarvel.run(command_line).expect(stdout=b'')
    assert b'LOADCFG' not in quarvel.run('IRC info trial').expect(stdout=None).stdout


def _remove_while_waiting(quarvel, folder, command_line):
    """Starts a run while another process holds the lock, removes `folder`
    while the run waits, then lets it go on."""
    with quarvel.hold_lock() as holder:
        running = quarvel.start(command_line, cwd=quarvel.root if folder == quarvel.prog
                                else quarvel.data)
        if quarvel.target.windows:
            running.wait_for_program(quarvel.program.name)
        time.sleep(0.5)
        shutil.rmtree(folder)
        holder.release()
        return running.wait()


def test_program_folder_gone_is_path_not_found(quarvel):
    result = _remove_while_waiting(quarvel, quarvel.prog, 'NUKE bob 1024')
    result.expect(stdout=LOADCFG_76 * STARTUP_LOOKUPS)


def test_working_folder_gone_is_path_not_found(quarvel):
    # The run must not fall back to another folder (such as the root) for its
    # configuration and stores.
    result = _remove_while_waiting(quarvel, quarvel.data, '')
    result.expect(stdout=LOADCFG_76 * STARTUP_LOOKUPS)


# -- configuration file format, seen through the stats reply ---------------------

def _conf(*text_lines, end=b'\r\n'):
    return b''.join(line.encode('latin-1') + end for line in text_lines)


FULL_CONF = ['WINDIR=C:\\Windows', 'EXCLUDED_DIRS=/private', 'TRIAL_UPLOAD=500',
             'TRIAL_DAYS=7', 'ioFTPD=C:\\ioFTPD', 'FTP_STATS=' + STATS_TEMPLATE]


@pytest.mark.parametrize('conf, expected', [
    (_conf(*FULL_CONF), BOB_STATS),
    (_conf(*FULL_CONF, end=b'\n'), BOB_STATS),
    (_conf(*FULL_CONF, end=b'\r'), BOB_STATS),
    # Mixed line ends, empty lines first, blanks and quotes around values.
    (b'\r\n\n\r  trial_upload  =  "500"  \n\rftp_stats = " ' + STATS_TEMPLATE.encode()
     + b' "\r\n', BOB_STATS),
    # The first of two lines wins; a key with a mark in front is another key;
    # a line without "=" is a remark.
    (_conf('#TRIAL_UPLOAD=100', 'a remark', 'TRIAL_UPLOAD=500', 'TRIAL_UPLOAD=100',
           'FTP_STATS=' + STATS_TEMPLATE), BOB_STATS),
    # Text after a second "=" is no part of the value.
    (_conf('TRIAL_UPLOAD=500', 'FTP_STATS=%USER%=%UPLOADED%'), lines('226-bob')),
    # Ctrl-Z ends the file.
    (_conf('FTP_STATS=' + STATS_TEMPLATE) + b'\x1a' + _conf('TRIAL_UPLOAD=500'),
     lines('226-bob 120.5MB -120.5MB left, 4 days (TRiAL)')),
], ids=['crlf', 'lf', 'cr', 'mixed-quoted', 'first-wins', 'second-equals', 'ctrl-z'])
def test_configuration_file_forms(quarvel, conf, expected):
    quarvel.write_conf(conf)
    quarvel.write_store(TRIAL_STORE, BOB_TRIAL)
    quarvel.run('stats', env=BOB).expect(stdout=expected)


# -- command tests and the excluded folders -------------------------------------

def test_whole_line_command_ignores_case_but_not_blanks(quarvel):
    quarvel.write_conf({'TRIAL_UPLOAD': '500', 'FTP_STATS': STATS_TEMPLATE})
    quarvel.write_store(TRIAL_STORE, BOB_TRIAL)
    for command_line in ['stats', 'STATS', 'Stats']:
        quarvel.run(command_line, env=BOB).expect(stdout=BOB_STATS)
    # (Blanks in front cannot be tested: on Windows they go with the blanks
    # behind the program's name.)
    for command_line in ['stats ', 'stats  ', 'stats now', 'stat', 'statsstats']:
        quarvel.run(command_line, env=BOB).expect(stdout=b'')


EXCLUSION_CASES = [  # EXCLUDED_DIRS, pwd (None: not set), whether the run goes on
    ('/incoming/private|/groups', '/INCOMING/Private/x', False),
    ('/incoming/private|/groups', '/groups', False),
    ('/incoming/private|/groups', '/incoming', True),  # the entry is longer
    ('/incoming/private|/groups', '/site/groups', True),  # a prefix, not a part
    ('/incoming/private|/groups', '', True),
    ('/incoming/private|/groups', None, True),
    ('||', '/anything', True),  # empty entries never match
    ('', '/anything', True),
]


def test_excluded_folders(quarvel):
    quarvel.write_store(TRIAL_STORE, BOB_TRIAL)
    for excluded, pwd, runs in EXCLUSION_CASES:
        quarvel.write_conf({'EXCLUDED_DIRS': excluded, 'TRIAL_UPLOAD': '500',
                            'FTP_STATS': STATS_TEMPLATE})
        env = dict(BOB) if pwd is None else dict(BOB, pwd=pwd)
        quarvel.run('stats', env=env).expect(stdout=BOB_STATS if runs else b'')


# -- the stores' files ----------------------------------------------------------

TRIAL_THREE = b'\r\nbob=10::3::Couriers\r\nann=1::2::G\r\n  \r\ncarl=5::1::H\r\n'
QUOTA_WITH_BOB = (b'setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\n'
                  b'bob=20::0::Couriers\r\nsetup_quota_started=1\r\n')


def test_rewrite_moves_the_record_to_the_end_in_the_program_folder(quarvel):
    quarvel.write_store(TRIAL_STORE, TRIAL_THREE, where='prog')
    quarvel.write_store(QUOTA_STORE, QUOTA_WITH_BOB, where='prog')
    quarvel.write_store(TRIAL_STORE, TRIAL_THREE, where='data')  # not the data folder
    quarvel.write_conf({}, where='prog')

    quarvel.run('nuke bob 1536').expect(stdout=b'')
    assert quarvel.read_store(TRIAL_STORE, 'prog') == (
        b'ann=1::2::G\r\ncarl=5::1::H\r\nbob=8.5::3::Couriers\r\n')
    assert quarvel.read_store(QUOTA_STORE, 'prog') == (
        b'setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\n'
        b'setup_quota_started=1\r\nbob=18.5::0::Couriers\r\n')

    quarvel.run('UNNUKE Bob 1536').expect(stdout=b'')  # the key takes this spelling
    assert quarvel.read_store(TRIAL_STORE, 'prog') == (
        b'ann=1::2::G\r\ncarl=5::1::H\r\nBob=10::3::Couriers\r\n')
    for command_line in ['NUKE  bob 1536', 'NUKE bob', 'NUKE bob ']:  # an empty word
        quarvel.run(command_line).expect(stdout=b'')
    assert quarvel.read_store(TRIAL_STORE, 'prog') == (
        b'ann=1::2::G\r\ncarl=5::1::H\r\nBob=10::3::Couriers\r\n')
    assert quarvel.read_store(TRIAL_STORE, 'data') == TRIAL_THREE
    # The instance lock's file lives beside the program too (on Windows
    # beside its mutex); the audit log holds one line per run that changed a
    # store.
    assert quarvel.files('prog') == sorted([quarvel.program.name, 'quarvel.conf',
                                            TRIAL_STORE, QUOTA_STORE, 'Quarvel.log',
                                            LOCK_FILE_NAME])


def test_store_created_from_nothing_and_emptied(quarvel):
    quarvel.write_conf(dict(quarvel.ioftpd(), TRIAL_DAYS='7'))
    # Without QUOTA_DISABLE_FLAG every account with flags is exempt, and
    # the add says so.
    quarvel.run('ST add brisk').expect(stdout=lines(
        '!putlog UserADDED: "brisk"', ' brisk from Couriers was added to trial.',
        ' Warning: brisk is exempt []; the trial never punishes it.'))
    assert quarvel.read_store(TRIAL_STORE) == b'\r\nbrisk=0::7::Couriers\r\n'

    quarvel.run('st add marlow').expect(stdout=lines(
        '!putlog UserADDED: "Marlow"', ' Marlow from SiteOps was added to trial.',
        ' Warning: Marlow is exempt []; the trial never punishes it.'))
    assert quarvel.read_store(TRIAL_STORE) == (
        b'brisk=0::7::Couriers\r\nMarlow=0::7::SiteOps\r\n')

    quarvel.run('ST del BRISK').expect(stdout=lines(
        '!putlog UserDEL: "BRISK"', ' BRISK was deleted from trial.'))
    quarvel.run('ST del Marlow').expect(stdout=lines(
        '!putlog UserDEL: "Marlow"', ' Marlow was deleted from trial.'))
    assert quarvel.read_store(TRIAL_STORE) == b'\r\n'
    quarvel.run('ST del Marlow').expect(stdout=lines(" Marlow doesn't exists in trial."))
    # Every store write replaces the file whole; no temporary file is left
    # (the audit log holds a line per run that changed the store).
    assert quarvel.files() == ['Quarvel.dat', 'Quarvel.log', 'quarvel.conf']


# An empty TRIAL_DAYS starts no trial (it would run out at the next newday).
@pytest.mark.parametrize('days, held', [('7.5', '8'), ('6.5', '6'), ('', None)])
def test_trial_days_is_read_as_a_whole_number(quarvel, days, held):
    quarvel.write_conf(dict(quarvel.ioftpd(), TRIAL_DAYS=days))
    quarvel.run('ST add wren').expect(stdout=None, stderr=None)
    assert quarvel.read_store(TRIAL_STORE) == (
        None if held is None else b'\r\nwren=0::%s::Couriers\r\n' % held.encode())


def test_size_memo_written_and_removed(quarvel):
    files = quarvel.root / 'files'
    files.mkdir()
    (files / 'a.zip').write_bytes(b'\0' * (3 * 1024 * 1024 + 512 * 1024))  # 3.5 MB
    quarvel.write_conf({})
    quarvel.write_store(TRIAL_STORE, b'bob=10::3::Couriers\r\n')
    env = dict(BOB, path=quarvel.path(files))

    quarvel.run('PREDL DELE a.zip', env=env).expect(stdout=b'')
    assert quarvel.read_store(TRIAL_STORE) == (
        b'bob=10::3::Couriers\r\nbob_PREDEL_SIZE_a.zip=3.5\r\n')
    os.remove(files / 'a.zip')
    quarvel.run('POSDL DELE a.zip', env=dict(env, group='Friends')).expect(stdout=b'')
    assert quarvel.read_store(TRIAL_STORE) == b'bob=6.5::3::Friends\r\n'
