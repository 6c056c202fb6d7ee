"""scripts/wine_env.sh never deletes a Wine prefix it did not make: pointed
at a folder that holds anything but its own interrupted work (an operator's
own prefix, with their C: drive in it), it refuses and leaves it as it is."""

import subprocess
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]


def source(prefix):
    return subprocess.run(['bash', '-c', '. scripts/wine_env.sh'], cwd=REPO,
                          env={'PATH': '/usr/bin:/bin', 'HOME': str(prefix.parent),
                               'QUARVEL_WINEPREFIX': str(prefix)},
                          capture_output=True, timeout=120, stdin=subprocess.DEVNULL)


def test_a_prefix_it_did_not_make_is_refused_and_kept(tmp_path):
    prefix = tmp_path / 'wine'
    keep = prefix / 'drive_c' / 'ioFTPD' / 'etc' / 'UserIdTable'
    keep.parent.mkdir(parents=True)
    keep.write_bytes(b'brisk:2:STANDARD\r\n')
    (prefix / 'system.reg').write_bytes(b'WINE REGISTRY Version 2\n')
    done = source(prefix)
    assert ('wine_env.sh: %s is not a prefix this script made; it is left as it is.'
            % prefix).encode() in done.stderr, done.stderr
    assert keep.read_bytes() == b'brisk:2:STANDARD\r\n'
    assert sorted(p.name for p in prefix.iterdir()) == ['drive_c', 'system.reg']
