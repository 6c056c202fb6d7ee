"""What the program does when a file it reads is not an ordinary file: a
FIFO or a device where a file is expected, or a server file far larger than
such a file can be. Nothing may hang the run (and every run queued behind its
lock) or take unbounded memory or disk; the run says so in one line on
standard error and goes on as it does for a file it may not open."""

import os

import shutil

import pytest

from quarvel_harness import TRIAL_STORE, lines

MB = 1024 * 1024
# Far more than any of these runs needs; a hang shows long before a minute.
LIMIT = 10


def _conf(quarvel, port):
    conf = dict(quarvel.ioftpd())
    conf.update({'TRIAL_UPLOAD': '500', 'FTP_HOST': '127.0.0.1', 'FTP_PORT': str(port),
                 'FTP_USER': 'siteop', 'FTP_PASS': 'pw'})
    quarvel.write_conf(conf)


def _place(path, kind):
    if path.exists() or path.is_symlink():
        path.unlink()
    if kind == 'fifo':
        os.mkfifo(path)
    elif kind == 'device':
        os.symlink('/dev/zero', path)
    else:
        path.mkdir()


def _remove(path):
    if path.is_dir() and not path.is_symlink():
        path.rmdir()
    else:
        path.unlink()


# Where the odd file sits, and the run that meets it.
PLACES = {
    'configuration': (lambda q: q.data / 'quarvel.conf', '{upload}'),
    'trial store': (lambda q: q.data / TRIAL_STORE, '{upload}'),
    'uploaded file': (lambda q: q.data / 'x.rar', 'UD "{odd}" 1 0'),
    'user file': (lambda q: q.root / 'ioftpd-site' / 'users' / '2', 'test'),
    'user id table': (lambda q: q.root / 'ioftpd-site' / 'etc' / 'UserIdTable', 'test'),
    'audit log': (lambda q: q.data / 'Quarvel.log', '{upload}'),
}


@pytest.mark.parametrize('kind, place', [('fifo', p) for p in PLACES] + [('device', 'user file')])
def test_a_file_that_is_no_file_is_refused(quarvel, unreachable_port, kind, place):
    # The run goes as with a folder in the file's place (which may not be
    # opened either), after one line naming the file.
    if quarvel.target.windows:
        pytest.skip('FIFOs and /dev/zero are POSIX file kinds')
    _conf(quarvel, unreachable_port)
    quarvel.write_file('upload.rar', b'u' * MB)
    where, command = PLACES[place]
    odd = where(quarvel)
    command = command.format(upload='UD "%s" 1 0' % (quarvel.data / 'upload.rar'), odd=odd)

    def run(kind):
        if odd.name != TRIAL_STORE:
            quarvel.write_store(TRIAL_STORE, b'bob=1::5::Couriers\r\n')
        # Each run credits the upload afresh.
        shutil.rmtree(quarvel.data / 'Credits', ignore_errors=True)
        _place(odd, kind)
        try:
            result = quarvel.run(command, env={'user': 'bob', 'group': 'Couriers'},
                                 timeout=LIMIT)
            store = None if odd.name == TRIAL_STORE else quarvel.read_store(TRIAL_STORE)
            return result, quarvel.files(), store
        finally:
            _remove(odd)

    folder, *after_folder = run('folder')
    result, *after = run(kind)
    result.expect(stdout=folder.stdout, stderr=lines(
        'Quarvel: %s is not a regular file; not opened' % odd) + folder.stderr)
    # The same store, and the odd file still there: no copy left, nothing
    # written over it.
    assert after == after_folder


def test_a_full_audit_log_that_cannot_move_goes_on_growing(quarvel, unreachable_port):
    # Something that is no file stands where the older half goes: every line
    # stays in Quarvel.log, and the run says why it is not rotated.
    _conf(quarvel, unreachable_port)
    quarvel.write_file('upload.rar', b'u' * MB)
    quarvel.write_store(TRIAL_STORE, b'bob=1::5::Couriers\r\n')
    full = b'x' * (10 * MB)
    quarvel.write_file('Quarvel.log', full)
    older = quarvel.data / 'Quarvel.log.1'
    older.mkdir()
    result = quarvel.run('UD "%s" 1 0' % (quarvel.data / 'upload.rar'),
                         env={'user': 'bob', 'group': 'Couriers'}, timeout=LIMIT * 3)
    result.expect(stdout=b'', stderr=lines(
        'Quarvel.log is over 10 MB but could not be moved to %s\\Quarvel.log.1 (error 70); it '
        'goes on growing' % quarvel.path(quarvel.data)))
    log = (quarvel.data / 'Quarvel.log').read_bytes()
    assert log.startswith(full) and log.endswith(
        b' | stores changed: Quarvel.dat, Credits\r\n'), log[-200:]
    assert older.is_dir()


def _oversized_user_file(quarvel):
    user_file = quarvel.root / 'ioftpd-site' / 'users' / '2'
    text = user_file.read_bytes()
    filler = b'tagline ' + b'x' * 1000 + b'\r\n'
    user_file.write_bytes(text + filler * (MB // len(filler) + 1))
    return user_file


def test_a_user_file_over_a_megabyte_is_damaged(quarvel, unreachable_port):
    # Read as if it were empty (so no flags, no groups), with one line naming
    # it; the run neither copies nor holds more than that megabyte.
    _conf(quarvel, unreachable_port)
    user_file = quarvel.root / 'ioftpd-site' / 'users' / '2'
    original = user_file.read_bytes()
    user_file.write_bytes(b'')
    empty = quarvel.run('test', timeout=LIMIT * 3).expect(stdout=None)
    user_file.write_bytes(original)
    normal = quarvel.run('test', timeout=LIMIT * 3).expect(stdout=None)
    assert normal.stdout != empty.stdout  # brisk's flags and group show

    _oversized_user_file(quarvel)
    shown = quarvel.path(quarvel.root / 'ioftpd-site' / 'users') + '\\2'
    quarvel.run('test', timeout=LIMIT * 3).expect(stdout=empty.stdout, stderr=lines(
        'Quarvel: %s is longer than 1048576 bytes; read as damaged' % shown))
    assert quarvel.files() == ['quarvel.conf']  # no temporary copy left
