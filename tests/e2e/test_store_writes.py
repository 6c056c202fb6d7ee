"""What reaches a store, and what a run says when it cannot write one.

A store that cannot be written is named on standard error, no line claims
the change, and the file keeps its bytes and its permissions. Values from
the caller never break a store line, and amounts never wrap round."""

import os
import re
import stat

import pytest

from quarvel_harness import QUOTA_STORE, TRIAL_STORE, assert_bytes, lines

RUNNING = lines('setup_quota_starts=12-01-2026', 'setup_quota_ends=01-01-2027',
                'setup_quota_started=1', 'u0010=5::0::Couriers')


def _conf(quarvel, **extra):
    conf = dict(quarvel.ioftpd())
    conf.update({'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '7', 'QUOTA_UPLOAD': '1000',
                 'QUOTA_TYPE': '1', 'TRIAL_PUNISHMENT': '0'})
    conf.update(extra)
    quarvel.write_conf(conf)


def _unwritable(quarvel, name):
    """The store stays readable, but its replacement cannot be made (as on
    a full disk): a folder stands where the new file would be written."""
    (quarvel.data / (name + '.new')).mkdir()


@pytest.mark.parametrize('command_line, env, store, text', [
    ('ST give u0002 5', None, TRIAL_STORE, lines('u0002=1::3::G')),
    ('UD "in/a.zip"', {'user': 'u0002', 'group': 'G'}, TRIAL_STORE, lines('u0002=1::3::G')),
    ('newday', None, TRIAL_STORE, lines('u0002=1::3::G')),
    ('SQ give u0010 5', None, QUOTA_STORE, RUNNING),
], ids=['give', 'upload', 'newday', 'quota-give'])
def test_a_store_that_cannot_be_written_is_named_and_nothing_is_claimed(
        quarvel, command_line, env, store, text):
    _conf(quarvel)
    quarvel.write_file('in/a.zip', b'x' * 1048576)
    quarvel.write_store(store, text)
    _unwritable(quarvel, {TRIAL_STORE: 'Quarvel.dat', QUOTA_STORE: 'Velkrin.dat'}[store])
    result = quarvel.run(command_line, env=env, date='2026-12-10')
    assert result.stdout == b''
    # One line, naming the file.
    assert result.stderr.startswith(b'Store not saved: ') and result.stderr.count(b'\n') == 1
    assert b' could not be written (error ' in result.stderr, result.stderr
    assert store.encode() in result.stderr
    assert quarvel.read_store(store) == text


def test_a_folder_in_place_of_the_trial_store_adds_nobody(quarvel):
    _conf(quarvel)
    (quarvel.data / TRIAL_STORE).mkdir()
    result = quarvel.run('ST add brisk')
    assert result.stdout == b''
    assert b'Store not saved: ' in result.stderr and TRIAL_STORE.encode() in result.stderr
    assert (quarvel.data / TRIAL_STORE).is_dir()


@pytest.mark.parametrize('command_line, folder', [
    ('ST add brisk', TRIAL_STORE), ('ST give brisk 5', TRIAL_STORE),
    ('ST del brisk', TRIAL_STORE), ('SQ add brisk', TRIAL_STORE),
    ('SQ give brisk 5', QUOTA_STORE), ('SQ del brisk', QUOTA_STORE),
])
def test_a_store_that_cannot_be_read_is_never_taken_as_empty(quarvel, command_line, folder):
    # A folder where a store belongs: the command looks nobody up in it,
    # names it in one line, claims nothing and changes no store.
    _conf(quarvel)
    if folder == TRIAL_STORE:
        other, text = QUOTA_STORE, RUNNING + lines('brisk=5::0::Couriers')
    else:
        other, text = TRIAL_STORE, lines('brisk=1::3::Couriers')
    quarvel.write_store(other, text)
    (quarvel.data / folder).mkdir()
    result = quarvel.run(command_line, date='2026-12-10')
    assert result.stdout == b''
    assert_bytes(result.stderr, lines('Store not saved: %s\\%s could not be written (error 70)'
                                      % (quarvel.path(quarvel.data), folder)))
    assert quarvel.read_store(other) == text
    assert (quarvel.data / folder).is_dir()


def test_a_full_disk_names_the_store_that_could_not_be_written(quarvel):
    # Nothing can be made in the data folder: not the copies the server's
    # files are read through, not the stores' replacements. The server's
    # files are then read where they are, and the one line names the store.
    _conf(quarvel)
    text = lines('brisk=1::1::Couriers')
    quarvel.write_store(TRIAL_STORE, text)
    for name in ('passwd', 'group', '2', '6', 'Quarvel.dat.new', 'Velkrin.dat.new'):
        (quarvel.data / (name + ('' if name.endswith('.new') else '.tmp'))).mkdir()
    for command_line in ('ST add wren', 'newday'):
        result = quarvel.run(command_line, date='2026-12-10')
        assert result.stdout == b'', command_line
        # One line; the error number is the platform's for a folder in the way.
        assert re.fullmatch(re.escape(('Store not saved: %s\\%s could not be written (error '
                                       % (quarvel.path(quarvel.data), TRIAL_STORE)).encode())
                            + rb'7[05]\)\r\n', result.stderr), result.stderr
        assert quarvel.read_store(TRIAL_STORE) == text


@pytest.mark.parametrize('amount, stored, status', [
    ('1e309', '179769313486231' + '0' * 294, '1'),
    ('1' + '0' * 400, '179769313486231' + '0' * 294, '1'),
    ('-1e309', '-179769313486231' + '0' * 294, '0'),
])
def test_an_amount_beyond_any_number_gives_the_largest_a_store_holds(
        quarvel, amount, stored, status):
    # Read as 0, it would be reported as given and change nothing; it counts
    # as the largest amount instead, as a sum that large does.
    _conf(quarvel)
    quarvel.write_store(QUOTA_STORE, RUNNING)
    passed = lines('!putlog QUOTAPASSED: "u0010"') if status == '1' else b''
    quarvel.run('SQ give u0010 %s' % amount, date='2026-12-10').expect(
        stdout=lines(' gave u0010 %smB' % amount) + passed)
    assert quarvel.read_store(QUOTA_STORE).endswith(
        ('u0010=%s::%s::Couriers\r\n' % (stored, status)).encode())


def test_a_read_only_store_keeps_its_permissions(quarvel):
    _conf(quarvel)
    path = quarvel.write_store(TRIAL_STORE, lines('u0002=1::3::G'))
    os.chmod(path, 0o444)
    result = quarvel.run('ST give u0002 5')
    assert stat.S_IMODE(os.stat(path).st_mode) == 0o444
    # Either the store took the credit and the run says so, or it did not
    # and the run says that instead (Windows refuses to replace a read-only
    # file).
    if quarvel.read_store(TRIAL_STORE) == b'\r\n' + lines('u0002=6::3::G'):
        result.expect(stdout=lines(' gave u0002 5mB'))
    else:
        assert result.stdout == b'' and b'Store not saved' in result.stderr
        assert quarvel.read_store(TRIAL_STORE) == lines('u0002=1::3::G')


def test_line_breaks_from_the_caller_never_make_a_second_store_line(quarvel, ftp_server):
    server = ftp_server()
    # Disable flags of their own: left empty, every user with flags counts as
    # exempt, and nobody would be punished.
    _conf(quarvel, TRIAL_PUNISHMENT='1', TRIAL_DISABLE_FLAG='7', QUOTA_DISABLE_FLAG='6',
          **quarvel.ftp_conf(server))
    quarvel.write_file('in/a.zip', b'x' * 1048576)
    quarvel.write_store(TRIAL_STORE, lines('brisk=1::1::Couriers'))
    quarvel.run('UD "in/a.zip"', env={'user': 'brisk',
                                      'group': 'Couriers\r\nadmin=0::1::Couriers'}).expect()
    assert quarvel.read_store(TRIAL_STORE) == b'\r\n' + lines(
        'brisk=2::1::Couriers__admin=0::1::Couriers')
    quarvel.run('newday', date='2026-12-10').expect(stdout=lines('!putlog UDelSite: "brisk"'))
    assert [l for l in server.received_text(0) if l.startswith('SITE')] == ['SITE DELUSER brisk']


def test_amounts_saturate_instead_of_wrapping(quarvel):
    _conf(quarvel)
    quarvel.write_store(QUOTA_STORE, RUNNING)
    largest = '179769313486231' + '0' * 294
    quarvel.run('SQ give u0010 9e307').expect(
        stdout=lines(' gave u0010 9e307mB', '!putlog QUOTAPASSED: "u0010"'))
    quarvel.run('SQ give u0010 9e307').expect(stdout=lines(' gave u0010 9e307mB'))
    assert quarvel.read_store(QUOTA_STORE).endswith(
        ('u0010=%s::1::Couriers\r\n' % largest).encode())


def test_the_end_of_file_character_ends_a_store_only_on_windows(quarvel, target):
    # IRC keeps its files in the program's folder.
    quarvel.write_conf({'Trials_Total': '$TOTAL'}, where='prog')
    quarvel.write_store(TRIAL_STORE, b'x=1::3::G\x1a\r\nu0002=7::3::G\r\n', where='prog')
    quarvel.run('IRC info trial').expect(stdout=lines('1' if target.windows else '2'))
