"""The credit ledger: names found again whatever bytes they hold, letter
case as the platform's file names, credits taken back only from the trial
or period they went to, nukes that name their release, renames followed,
and an old Credits.dat moved over. Stores compared byte for byte."""

import pytest

from quarvel_harness import QUOTA_STORE, TRIAL_STORE

MB = 1024 * 1024
PERIOD = b'setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\nsetup_quota_started=1\r\n'
NEXT_PERIOD = (b'setup_quota_starts=01-01-2027\r\nsetup_quota_ends=02-01-2027\r\n'
               b'setup_quota_started=1\r\n')
CONF = {'TRIAL_UPLOAD': '500', 'TRIAL_DAYS': '14', 'QUOTA_UPLOAD': '1000',
        'EXCLUDED_DIRS': '/groups|/private/'}
TRIAL = b'\r\nbob=100::5::Couriers\r\nann=0::5::Friends\r\n'
DATE = '2026-12-15'


def sized(folder, name, size):
    path = folder / name
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, 'wb') as f:
        f.truncate(size)
    return path


class Site:
    """The site's virtual root "/" is the local folder <where>/site."""

    def __init__(self, quarvel, where='data', trial=TRIAL, quota=None):
        self.quarvel = quarvel
        self.where = where
        self.folder = quarvel.folder(where)
        self.cwd = self.folder
        quarvel.write_conf(CONF, where=where)
        quarvel.write_store(TRIAL_STORE, trial, where=where)
        if quota is not None:
            quarvel.write_store(QUOTA_STORE, quota, where=where)

    def local(self, virtual):
        return self.folder / 'site' / virtual.lstrip('/')

    def run(self, line, user, group='Couriers', pwd=None, date=DATE):
        env = {'user': user, 'group': group}
        if pwd is not None:
            env['pwd'] = pwd
            env['path'] = self.quarvel.path(self.local(pwd))
        self.quarvel.run(line, env=env, date=date, cwd=self.cwd).expect(b'')

    def upload(self, user, virtual, size, group='Couriers', date=DATE):
        path = sized(self.folder, 'site' + virtual, size)
        self.run('UD "%s" 00000000 "%s"' % (self.quarvel.path(path), virtual), user, group,
                 date=date)

    def delete(self, user, virtual, date=DATE):
        """DELE of the absolute virtual path, sent from "/"."""
        self.run('PREDL DELE ' + virtual, user, 'SiteOps', pwd='/', date=date)
        self.local(virtual).unlink()
        self.run('POSDL DELE ' + virtual, user, 'SiteOps', pwd='/', date=date)

    def rename(self, user, source, target):
        """RNFR and RNTO of absolute virtual paths, the file moved between them."""
        self.run('RENAME RNFR ' + source, user, pwd='/')
        self.local(target).parent.mkdir(parents=True, exist_ok=True)
        self.local(source).rename(self.local(target))
        self.run('RENAME RNTO ' + target, user, pwd='/')

    def trial(self):
        return self.quarvel.read_store(TRIAL_STORE, self.where)

    def quota(self):
        return self.quarvel.read_store(QUOTA_STORE, self.where)

    def totals(self, store=TRIAL_STORE):
        """name -> uploaded of the member lines; memos must all be gone."""
        text = self.quarvel.read_store(store, self.where) or b''
        assert b'_PREDEL_SIZE_' not in text, text
        return {k: v.split(b'::')[0].decode() for k, v in
                (line.split(b'=', 1) for line in text.split(b'\r\n') if b'=' in line)
                if not k.startswith(b'setup_quota')}


def names_for(target):
    """File names whose bytes the line format cannot hold as they are; the
    Windows build gets only those its file system allows."""
    names = ['a=b.rar', '100%3D.rar', '%25=%.rar']
    if not target.windows:
        names += ['cr\r.rar', 'lf\n.rar', 'eof\x1a.rar', 'cr_.rar']
    return names


def test_every_name_is_found_again(quarvel):
    for name in names_for(quarvel.target):
        site = Site(quarvel, quota=PERIOD + b'bob=20::0::Couriers\r\n')
        virtual = '/incoming/' + name
        site.upload('bob', virtual, 10 * MB)
        assert site.totals() == {b'bob': '110', b'ann': '0'}, repr(name)
        # Another member deletes it: the uploader's credit goes, not hers.
        site.delete('ann', virtual)
        assert site.totals() == {b'bob': '100', b'ann': '0'}, repr(name)
        assert site.totals(QUOTA_STORE) == {b'bob': '20'}, repr(name)


def test_a_memo_with_any_name_is_consumed(quarvel):
    for name in names_for(quarvel.target):
        site = Site(quarvel)
        virtual = '/incoming/' + name
        sized(site.folder, 'site' + virtual, 3 * MB)
        site.delete('bob', virtual)  # a file the ledger does not know
        assert site.totals() == {b'bob': '97', b'ann': '0'}, repr(name)


def test_letter_case_follows_the_platforms_file_names(quarvel):
    site = Site(quarvel)
    site.upload('ann', '/incoming/Case.bin', 5 * MB, group='Friends')
    site.upload('bob', '/incoming/case.bin', 5 * MB)
    if quarvel.target.windows:
        # One file by Windows rules: bob's upload added nothing to it.
        assert site.totals() == {b'bob': '100', b'ann': '5'}
    else:
        assert site.totals() == {b'bob': '105', b'ann': '5'}
        site.delete('Marlow', '/incoming/case.bin')
        assert site.totals() == {b'bob': '100', b'ann': '5'}


NUKES = [  # the nuke lines (after the upload), bob's total after the deletion
    (['NUKE bob 10240'], '90'),                     # no release: charged twice
    (['NUKE bob 10240 "{release}"'], '100'),        # the release's files are marked
    (['NUKE bob 10240 {release}\\'], '100'),        # unquoted, with a final separator
    (['NUKE bob 10240 "{release}"', 'UNNUKE bob 10240 "{release}"'], '100'),
]


@pytest.mark.parametrize('nukes, after', NUKES)
def test_a_nuked_files_deletion_charges_its_credit_once(quarvel, nukes, after):
    # Nukes work in the program's folder: every run here does.
    site = Site(quarvel, where='prog', trial=b'\r\nbob=100::5::Couriers\r\n')
    site.upload('bob', '/incoming/rel/a.rar', 10 * MB)
    release = quarvel.path(site.local('/incoming/rel'))
    for line in nukes:
        site.run(line.format(release=release), 'bob')
    site.delete('bob', '/incoming/rel/a.rar')
    assert site.totals() == {b'bob': after}


def test_a_renamed_file_deleted_by_someone_else_charges_its_uploader(quarvel):
    site = Site(quarvel)
    site.upload('bob', '/incoming/x/a.rar', 10 * MB)
    site.rename('bob', '/incoming/x/a.rar', '/incoming/y/b.rar')
    site.delete('ann', '/incoming/y/b.rar')
    assert site.totals() == {b'bob': '100', b'ann': '0'}


def test_a_renamed_folder_takes_its_files_along(quarvel):
    site = Site(quarvel)
    site.upload('bob', '/incoming/rel/a.rar', 10 * MB)
    site.rename('bob', '/incoming/rel', '/incoming/Rel.Final')
    site.delete('ann', '/incoming/Rel.Final/a.rar')
    assert site.totals() == {b'bob': '100', b'ann': '0'}


def test_a_file_moved_into_an_excluded_folder_keeps_no_credit(quarvel):
    site = Site(quarvel)
    site.upload('bob', '/incoming/a.rar', 10 * MB)
    site.rename('bob', '/incoming/a.rar', '/groups/a.rar')
    assert site.totals() == {b'bob': '100', b'ann': '0'}
    site.delete('bob', '/groups/a.rar')  # excluded: nothing more
    assert site.totals() == {b'bob': '100', b'ann': '0'}


def test_a_deletion_after_the_period_end_takes_nothing_from_the_new_period(quarvel):
    site = Site(quarvel, trial=b'', quota=PERIOD + b'bob=20::0::Couriers\r\n')
    site.upload('bob', '/incoming/a.rar', 10 * MB)
    assert site.quota() == PERIOD + b'bob=30::0::Couriers\r\n'
    # The next period (as newday leaves it), then the deletion.
    quarvel.write_store(QUOTA_STORE, NEXT_PERIOD + b'bob=0::0::Couriers\r\n')
    site.delete('bob', '/incoming/a.rar', date='2027-01-05')
    assert site.quota() == NEXT_PERIOD + b'bob=0::0::Couriers\r\n'


def test_an_old_credits_file_is_moved_over(quarvel):
    site = Site(quarvel)
    sized(site.folder, 'site/incoming/a.rar', 10 * MB)
    key = quarvel.path(site.local('/incoming/a.rar')).replace('/', '\\').encode()
    quarvel.write_file('Credits.dat', b'\r\n' + key + b'=bob::10::ann::2\r\n'
                       + b'C:\\gone\\100%3D.rar=bob::1\r\n')
    quarvel.write_store(TRIAL_STORE, b'\r\nbob=110::5::Couriers\r\nann=2::5::Friends\r\n')
    site.delete('Marlow', '/incoming/a.rar')
    assert site.totals() == {b'bob': '100', b'ann': '0'}
    assert quarvel.read_file('Credits.dat') is None
    shards = sorted((quarvel.data / 'Credits').glob('*.dat'))
    assert b''.join(p.read_bytes() for p in shards) == b'C:\\gone\\100%3D.rar=bob::1::?::?\r\n'
