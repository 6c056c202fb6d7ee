"""Help and version for the operator at a prompt: no configuration needed,
no LOADCFG lines, and the files this run would use, shown where they are."""

import pytest

from quarvel_harness import lines

COMMANDS = lines(
    'Usage: quarvel <command>',
    'Commands for the operator:',
    '  check        checks quarvel.conf and all it points to; changes nothing',
    '  test         logs in as the admin and lists every account with its exemption',
    '  qstart       replaces Velkrin.dat: the quota starts next month',
    '  qnow         replaces Velkrin.dat: a quota period starts now',
    '  qstart force, qnow force   the same over a running period with members,',
    '               which is erased (both keep the old store as Velkrin.dat.bak)',
    '  preview [MM-DD-YYYY]  what newday would do on that date; changes nothing',
    '  log <user>   the user\'s entries in the audit log, oldest first',
    '  help         this text (also --help, -h and /?)',
    '  --version    the version',
    'Started by ioFTPD:',
    '  UD "file"    an upload finished',
    '  PREDL, POSDL before and after a deletion',
    '  RENAME RNFR|RNTO name  after a rename: the credits follow the file',
    '  ST add|del|give ...   SITE TRIAL: users on trial',
    '  SQ add|del|give ...   SITE QUOTA: members of the quota period',
    "  stats        the caller's standing, after a transfer",
    "  PASSED [user]  SITE PASSED: the caller's standing (another user's: staff)",
    'Started by the scheduler:',
    '  checkup      the daily evaluation',
    '  newday       counts trial days down and changes the quota period',
    'Started by the IRC bot and the nuke scripts:',
    '  IRC PASSED [user], IRC info trial [all], IRC info quota total|exempt|passed',
    '  NUKE user KB [release folder], UNNUKE user KB [release folder]',
    'Files: the configuration quarvel.conf, the trial store Quarvel.dat, the quota',
    'store Velkrin.dat, the credit ledger Credits and the audit log Quarvel.log,',
    "in the working folder; for IRC, NUKE and UNNUKE in the program's own folder.",
    'From here that is:')


def files_in(quarvel, folder):
    return ', '.join(quarvel.path(folder / name)
                     for name in ('quarvel.conf', 'Quarvel.dat', 'Velkrin.dat',
                                  'Credits', 'Quarvel.log'))


@pytest.mark.parametrize('command_line', ['help', '--help', '-h', '/?', 'HELP'])
def test_help_lists_the_commands_and_the_files_of_this_run(quarvel, command_line):
    quarvel.run(command_line).expect(stdout=(
        lines('quarvel 1.1.0: upload obligations for trial and quota users of ioFTPD')
        + COMMANDS
        + lines('  ' + files_in(quarvel, quarvel.data),
                '  IRC, NUKE, UNNUKE: ' + files_in(quarvel, quarvel.prog))))
    assert quarvel.files() == []


def test_version(quarvel):
    quarvel.run('--version').expect(stdout=lines('quarvel 1.1.0'))


def test_bare_run_and_unknown_words_stay_silent(quarvel):
    # Servers start the program with such lines; their output stays empty.
    quarvel.write_conf({'TRIAL_UPLOAD': '500'})
    for command_line in ['', 'help me', '--versions', '-help', 'check now']:
        quarvel.run(command_line).expect(stdout=b'')
