#!/usr/bin/env python3
"""Runs the pytest files under the given folders in several pytest processes
at once, a file at a time, and adds up what they report.

Most of a test's time is spent waiting for the program under test (and, for
the Windows build, for Wine), so one pytest process leaves the other cores
idle. Every test has its own sandbox, ports and copy of the program, so files
run side by side as they run one after another.

    scripts/pytest_jobs.py [--jobs N] FOLDER...

Each file's output is printed whole when the file has finished (a failing
file's too); the last line adds up the counts. The exit status is 0 when
every file passed (or was all skipped), 1 otherwise.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

# Files that take minutes go first, so that no long file starts last.
SLOW_FIRST = ['tests/sitebot/test_sitebot.py', 'tests/e2e/test_demo_site.py',
              'tests/release/test_packages.py', 'tests/e2e/test_golden_month.py',
              'tests/ftp/test_real_servers.py']

COUNT = re.compile(r'(\d+) (passed|failed|skipped|errors?|xfailed|xpassed|deselected|warnings?)')
NO_TESTS_COLLECTED = 5


def test_files(folders, repo):
    files = []
    for folder in folders:
        path = Path(folder)
        if not path.exists():
            sys.exit('pytest_jobs.py: %s does not exist' % folder)
        found = [path] if path.is_file() else sorted(path.rglob('test_*.py'))
        files += [f.resolve().relative_to(repo).as_posix() for f in found]
    rank = {name: i for i, name in enumerate(SLOW_FIRST)}
    # Stable: the slow ones in their order, then the rest, largest first.
    return sorted(dict.fromkeys(files),
                  key=lambda f: (rank.get(f, len(rank)), -(repo / f).stat().st_size))


def run_file(name, repo, results, lock):
    started = time.monotonic()
    with tempfile.TemporaryFile(mode='w+') as out:
        rc = subprocess.call([sys.executable, '-m', 'pytest', '-q', '-p', 'no:cacheprovider',
                              name], cwd=repo, stdout=out, stderr=subprocess.STDOUT)
        out.seek(0)
        text = out.read()
    seconds = time.monotonic() - started
    with lock:
        results.append((name, rc, text))
        ok = rc in (0, NO_TESTS_COLLECTED)
        print('\n== %s: %s in %.0f s' % (name, 'passed' if ok else 'FAILED (exit %d)' % rc,
                                         seconds))
        sys.stdout.write(text if text.endswith('\n') else text + '\n')
        sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--jobs', type=int, default=int(os.environ.get('JOBS') or os.cpu_count()))
    parser.add_argument('folders', nargs='+')
    options = parser.parse_args()
    if options.jobs < 1:
        sys.exit('pytest_jobs.py: --jobs must be 1 or more')
    repo = Path(__file__).resolve().parent.parent
    queue = test_files(options.folders, repo)
    results, lock = [], threading.Lock()
    started = time.monotonic()

    def worker():
        while True:
            with lock:
                if not queue:
                    return
                name = queue.pop(0)
            run_file(name, repo, results, lock)

    threads = [threading.Thread(target=worker) for _ in range(options.jobs)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()

    totals = {}
    for _, _, text in results:
        lines = [line for line in text.splitlines() if line.strip()]
        for number, word in COUNT.findall(lines[-1] if lines else ''):
            word = {'error': 'errors', 'warning': 'warnings'}.get(word, word)
            totals[word] = totals.get(word, 0) + int(number)
    failed = [name for name, rc, _ in results if rc not in (0, NO_TESTS_COLLECTED)]
    summary = ', '.join('%d %s' % (n, w) for w, n in sorted(totals.items()))
    print('\n== all files: %s in %.0f s, %d pytest processes at a time' %
          (summary or 'no tests', time.monotonic() - started, options.jobs))
    for name in failed:
        print('FAILED file: %s' % name)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
