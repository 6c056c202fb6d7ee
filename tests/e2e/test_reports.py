"""IRC reports, end to end: the program runs from its own folder (IRC keeps
its data there), on a small server user database, with today's date set by
faketime. Every output byte is compared, CR LF included."""

import hashlib

import pytest

from quarvel_harness import LOCK_FILE_NAME, QUOTA_STORE, TRIAL_STORE

TODAY = "2027-03-20"
BOLD = "\x02"

SERVER_USERS = {
    # name: (uid, groups line, flags)
    "bob": (1, "groups 1", "3"),
    "Carol": (2, "groups 2 1", "3"),
    "dan": (3, "groups 1", "36"),
    "x$SITENAMEx": (4, "", "3"),
}
SERVER_GROUPS = {"Couriers": 1, "Friends": 2}

BASE_CONFIG = {
    "TRIAL_UPLOAD": "1000",
    "QUOTA_UPLOAD": "1000",
    "QUOTA_DISABLE_FLAG": "6",
    "TRIAL_DISABLE_FLAG": "M",
    "EXEMPT_USER_DISABLE": "$BOLDdisabled$BOLD",
    "Irc_SiteName": "S[$USER]",
    "Irc_Info": "$BOLD$SITENAME$BOLD: $TRIALUSERS trial, $QUOTAUSERS quota",
    "Irc_No_User": "none $USER at $SITENAME",
    "Irc_Trial_Uinfo": "T $USER/$GROUP up:$UPLOADED of $SHOWL left:$MBLEFT "
                       "days:$DAYSLEFT pd:$PERDAY at $SITENAME",
    "Irc_Quota_Uinfo": "Q $USER/$GROUP up:$UPLOADED of $SHOWL left:$MBLEFT "
                       "days:$DAYSLEFT pd:$PERDAY",
    "Irc_Quota_EXEMPTED_Uinfo": "X $USER/$GROUP ($EXCUSE) up:$UPLOADED left:$MBLEFT "
                                "pd:$PERDAY",
    "Irc_Quota_Next": "next $USER/$GROUP at $SITENAME",
    "Irc_Quota_Not_Started": "not started at $SITENAME",
    "Irc_Quota_Yet": "yet $USER/$GROUP",
    "Trials_Header": "$BOLD$SITENAME trials",
    "Trials_Body": "$USER/$GROUP $UPLOADED of $SHOWL, $DAYSLEFT days at $SITENAME",
    "Trials_Total": "$SITENAME: $TOTAL in trial",
    "QUOTAs_Total": "$TOTAL on quota",
    "QUOTAs_EXEMPTED_HEADER": "$EXEMPT exempt",
    "QUOTAs_EXEMPTED": "- $USER/$GROUP: $EXCUSE",
    "EXEMPT_IN_TRIAL": "$BOLDin trial$BOLD $SITENAME",
    "QUOTAs_PASSED_HEADER": "$PASSED passed",
    "QUOTAs_PASSED": "+ $USER/$GROUP: [$EXCUSE]",
}

PERIOD = ("setup_quota_starts=03-01-2027\r\nsetup_quota_ends=04-01-2027\r\n"
          "setup_quota_started=1\r\n")


def crlf(*lines):
    return "".join(line + "\r\n" for line in lines)


def write_server(root):
    """A small server user database in the server's formats."""
    (root / "etc").mkdir(parents=True)
    (root / "users").mkdir()
    table = crlf(*("%s:%d:STANDARD" % (n, u[0]) for n, u in SERVER_USERS.items()))
    (root / "etc" / "UserIdTable").write_bytes(table.encode())
    groups = crlf(*("%s:%d:STANDARD" % g for g in SERVER_GROUPS.items()))
    (root / "etc" / "GroupIdTable").write_bytes(groups.encode())
    for uid, groups_line, flags in SERVER_USERS.values():
        user_lines = [line for line in (groups_line, "flags " + flags) if line]
        (root / "users" / str(uid)).write_bytes(crlf(*user_lines).encode())


class Site:
    """The sandbox's program folder holding the configuration and the stores
    (IRC keeps its data beside the program), and a server user database. Runs
    start in the sandbox's data folder, which stays empty."""

    def __init__(self, quarvel, config=None, trial=None, quota=None, omit=()):
        self.quarvel = quarvel
        self.server = quarvel.root / "server"
        write_server(self.server)
        settings = {
            "ioFTPD": quarvel.path(self.server),
            "UserTABLE": quarvel.path(self.server / "etc" / "UserIdTable"),
            "UserFOLDER": quarvel.path(self.server / "users"),
            "GroupTABLE": quarvel.path(self.server / "etc" / "GroupIdTable"),
        }
        settings.update(BASE_CONFIG)
        settings.update(config or {})
        quarvel.write_conf({k: v for k, v in settings.items() if k not in omit}, where="prog")
        if trial is not None:
            quarvel.write_store(TRIAL_STORE, trial, where="prog")
        if quota is not None:
            quarvel.write_store(QUOTA_STORE, quota, where="prog")

    def snapshot(self):
        """Every file of the data, program and server folders: bytes and
        modification time. (Not the instance lock's file, which the first run
        of an installation makes beside the program.)"""
        files = {}
        for folder in (self.quarvel.data, self.quarvel.prog, self.server):
            for path in sorted(folder.rglob("*")):
                if path.is_file() and path.name != LOCK_FILE_NAME:
                    files[str(path)] = (hashlib.sha256(path.read_bytes()).hexdigest(),
                                        path.stat().st_mtime_ns)
        return files

    def run(self, command_line):
        """What the run printed (exit code 0, nothing on standard error)."""
        return self.quarvel.run(command_line, date=TODAY).expect(stdout=None).stdout

    def expect(self, command_line, expected):
        self.quarvel.run(command_line, date=TODAY).expect(stdout=expected)


@pytest.fixture
def site(quarvel):
    return lambda **kwargs: Site(quarvel, **kwargs)


# --- IRC PASSED: site summary --------------------------------------------

SUMMARY_TRIAL = crlf("", "bob=1::2::G", "  ", "bob_PREDEL_SIZE_a.rar=3", "Carol=5::1::G")
SUMMARY_QUOTA = PERIOD + crlf("bob=0::0::G", "Carol=0::1::G", "dan=0::3::G",
                              "eve=0::2::G", "fay=0::x::G", "bob_PREDEL_SIZE_b.rar=2")


@pytest.mark.parametrize("command_line, expected", [
    ("IRC PASSED", BOLD + "S[$USER]" + BOLD + ": 3 trial, 5 quota\r\n"),
    ('irc passed {}""', BOLD + "S[$USER]" + BOLD + ": 3 trial, 5 quota\r\n"),
    ("IRC PASSED  bob", BOLD + "S[$USER]" + BOLD + ": 3 trial, 5 quota\r\n"),
    ("IRC  PASSED", ""),  # two blanks: word 2 is empty
    ("IRC  PASSED bob", ""),
])
def test_site_summary_counts_lines_and_memos(site, command_line, expected):
    s = site(trial=SUMMARY_TRIAL, quota=SUMMARY_QUOTA)
    s.expect(command_line, expected)


def test_site_summary_without_stores(site):
    s = site()
    s.expect("IRC PASSED", BOLD + "S[$USER]" + BOLD + ": 0 trial, 0 quota\r\n")


# --- IRC PASSED user: the user report -------------------------------------

TRIAL = crlf("bob=1500::5::Old", "Carol=0.5::0::G", "dan=1234567890123456789::2::G")
QUOTA = PERIOD + crlf("bob=10::0::G", "Carol=1200::0::G", "dan=99.95::3::G")


@pytest.mark.parametrize("trial, quota, command_line, expected", [
    # Unknown to the server: the name as typed, after cleaning; the site
    # name (substituted before "$USER") shows the user's name.
    (TRIAL, QUOTA, 'IRC PASSED {"no/bo\\dy}"', "none nobody at S[nobody]"),
    ("eve=1::1::G\r\n", None, "IRC PASSED eve", "none eve at S[eve]"),
    # Trial: over-achiever, never clamped; one decimal and plain side by side.
    (TRIAL, QUOTA, "IRC PASSED {BOB}",
     "T bob/Couriers up:1500 of 1000 left:-500.0 days:5 pd:-100.0 at S[bob]"),
    (TRIAL, QUOTA, "irc passed b/o\\b",
     "T bob/Couriers up:1500 of 1000 left:-500.0 days:5 pd:-100.0 at S[bob]"),
    # Plain form below 1; no day left: the whole amount is due today.
    (TRIAL, None, "IRC PASSED carol",
     "T Carol/Friends up:0.5 of 1000 left:999.5 days:0 pd:999.5 at S[Carol]"),
    # Quota: clamped to 0 above the quota; days to 04-01-2027 from 03-20.
    (None, QUOTA, "IRC PASSED Carol",
     "Q Carol/Friends up:1200.0 of 1000 left:0 days:12 pd:0.0"),
    (None, QUOTA, "IRC PASSED bob", "Q bob/Couriers up:10.0 of 1000 left:990 days:12 pd:82.5"),
    (None, QUOTA, "IRC PASSED dan",
     "X dan/Couriers (" + BOLD + "disabled" + BOLD + ") up:100.0 left:900.05 pd:75.0"),
    # After the end date (newday did not run): the whole amount is due.
    (None, "setup_quota_ends=03-01-2027\r\nbob=400::0::G\r\n", "IRC PASSED bob",
     "Q bob/Couriers up:400.0 of 1000 left:600 days:-19 pd:600.0"),
    (None, "bob=1::1::G\r\nsetup_quota_ends=04-01-2027\r\n", "IRC PASSED bob",
     "Q bob/Couriers up:1.0 of 1000 left:999 days:12 pd:83.2"),  # 83.25: half to even
    (None, "bob=1::x::G\r\nsetup_quota_ends=04-01-2027\r\n", "IRC PASSED bob",
     "Q bob/Couriers up:1.0 of 1000 left:999 days:12 pd:83.2"),
])
def test_user_report(site, trial, quota, command_line, expected):
    s = site(trial=trial, quota=quota)
    s.expect(command_line, expected + "\r\n")


def test_damaged_end_date_with_an_exponent_does_not_hang(site):
    # A year written 9e99 is a number too; the day count must end at once.
    s = site(quota="setup_quota_ends=04-01-9e99\r\nbob=10::0::G\r\n")
    out = s.run("IRC PASSED bob")
    assert out.startswith(b"Q bob/Couriers up:10.0 of 1000 left:990 days:"), out
    assert out.endswith(b" pd:0.0\r\n"), out


def test_plain_form_beyond_15_digits(site):
    # 15 significant digits, written out without an exponent.
    s = site(trial=crlf("dan=1234567890123456789::2::G", "bob=0.000001234567890123456::2::G"))
    assert b" up:1234567890123460000 of " in s.run("IRC PASSED dan")
    assert b" up:0.00000123456789012346 of " in s.run("IRC PASSED bob")


@pytest.mark.parametrize("status", ["2", "4", "1.5"])
def test_quota_status_without_report(site, status):
    s = site(quota=PERIOD + "bob=1::%s::G\r\n" % status)
    s.expect("IRC PASSED bob", b"")


@pytest.mark.parametrize("add_late, quota, expected", [
    ("0", PERIOD, "next x$SITENAMEx/ at S[x$SITENAMEx]"),
    ("1", PERIOD, "yet x$SITENAMEx/"),
    ("1", "setup_quota_started=0\r\n", "not started at S[$USER]"),
    ("1", None, "not started at S[$USER]"),
])
def test_user_in_neither_store(site, add_late, quota, expected):
    s = site(config={"AddLate": add_late}, quota=quota)
    s.expect("IRC PASSED x$SITENAMEx", expected + "\r\n")


# --- IRC info: the listings ------------------------------------------------

LIST_TRIAL = crlf("Carol=12.50::3::G", "bob_PREDEL_SIZE_a.rar=7.5", "x$SITENAMEx=0::-1::G",
                  "nobody=5::2::G", "bob=1e3::07::G")
LIST_QUOTA = PERIOD + crlf("bob=10::2::Grp", "Carol=1200::1::Friends", "dan=0::3::X",
                           "eve=0::4::Y", "fay=0::x::Z", "gus=0::0::Z", "hal=1::1.0::Z",
                           "bob_PREDEL_SIZE_b.rar=2")
TRIAL_LISTING = crlf(
    BOLD + "S[$USER] trials",
    # Amounts as stored; TRIAL_UPLOAD as written; the site name goes in
    # last, so a user name holding "$SITENAME" shows the site's name.
    "Carol/Friends 12.50 of 1000.50, 3 days at S[$USER]",
    "/ 7.5 of 1000.50,  days at S[$USER]",
    "xS[$USER]x/ 0 of 1000.50, -1 days at S[$USER]",
    "/ 5 of 1000.50, 2 days at S[$USER]",
    "bob/Couriers 1e3 of 1000.50, 07 days at S[$USER]")


@pytest.mark.parametrize("trial, quota, command_line, expected", [
    (LIST_TRIAL, None, "IRC info trial all", TRIAL_LISTING),
    (LIST_TRIAL, None, 'irc {INFO} "trial" A/L\\L', TRIAL_LISTING),
    (None, None, "IRC info trial all", "No users in trial!\r\n"),
    ("\r\n  \r\n", None, "IRC info trial all", "No users in trial!\r\n"),
    (LIST_TRIAL, None, "IRC info trial", "S[$USER]: 5 in trial\r\n"),
    (LIST_TRIAL, None, "IRC info trial ", "S[$USER]: 5 in trial\r\n"),
    (None, None, "IRC INFO TRIAL", "S[$USER]: 0 in trial\r\n"),
    (LIST_TRIAL, None, "IRC info trial  all", "S[$USER]: 5 in trial\r\n"),  # word 4 empty
    (LIST_TRIAL, None, "IRC info trial some", ""),
    (LIST_TRIAL, None, "IRC  info trial all", ""),
    (None, LIST_QUOTA, "IRC info quota total", "8 on quota\r\n"),
    (None, LIST_QUOTA, "IRC info quota total and more", "8 on quota\r\n"),
    (None, PERIOD, "IRC info quota total", "0 on quota\r\n"),
    # Status 2 shows EXEMPT_IN_TRIAL ("$BOLD" only), 3 and 4 the user's
    # own reason (eve is unknown to the server: none); "x" and 0 are not
    # exempt, nor is the memo.
    (None, LIST_QUOTA, "IRC info quota exempt", crlf(
        "3 exempt",
        "- bob/Grp: " + BOLD + "in trial" + BOLD + " $SITENAME",
        "- dan/X: " + BOLD + "disabled" + BOLD,
        "- eve/Y: ")),
    (None, PERIOD, "IRC info quota exempt", "0 exempt\r\n"),
    (None, None, "IRC info quota exempt", "0 exempt\r\n"),
    (None, LIST_QUOTA, "IRC info quota passed", crlf(
        "2 passed", "+ Carol/Friends: []", "+ hal/Z: []")),
    (None, PERIOD + "dan=1::1::X\r\n", "IRC info quota passed", crlf(
        "1 passed", "+ dan/X: [" + BOLD + "disabled" + BOLD + "]")),
    (None, None, "IRC info quota passed", "0 passed\r\n"),
    (None, LIST_QUOTA, "IRC info quota all", ""),
])
def test_listings(site, trial, quota, command_line, expected):
    s = site(config={"TRIAL_UPLOAD": "1000.50"}, trial=trial, quota=quota)
    s.expect(command_line, expected)


# --- Missing templates, and no file changes --------------------------------

@pytest.mark.parametrize("omit, command_line, expected", [
    ("Irc_Info", "IRC PASSED", "\r\n"),
    ("Irc_No_User", "IRC PASSED nobody", "\r\n"),
    ("Irc_Trial_Uinfo", "IRC PASSED bob", "\r\n"),
    ("Irc_Quota_Uinfo", "IRC PASSED Carol", "\r\n"),
    ("Irc_Quota_EXEMPTED_Uinfo", "IRC PASSED dan", "\r\n"),
    ("Trials_Header", "IRC info trial all", crlf(
        "", "bob/Couriers 1500 of 1000, 5 days at S[$USER]")),
    ("Trials_Body", "IRC info trial all", crlf(BOLD + "S[$USER] trials", "")),
    ("Trials_Total", "IRC info trial", "\r\n"),
    ("QUOTAs_Total", "IRC info quota total", "\r\n"),
    ("EXEMPT_IN_TRIAL", "IRC info quota exempt", crlf("2 exempt", "- eve/G: ",
                                                      "- dan/G: " + BOLD + "disabled" + BOLD)),
    ("QUOTAs_PASSED", "IRC info quota passed", crlf("1 passed", "")),
])
def test_missing_template_prints_an_empty_line(site, omit, command_line, expected):
    s = site(omit=(omit,), trial=crlf("bob=1500::5::Old"),
             quota=PERIOD + crlf("Carol=1200::1::G", "eve=0::2::G", "dan=99.95::3::G"))
    s.expect(command_line, expected)


@pytest.mark.parametrize("command_line", [
    "IRC PASSED", "IRC PASSED bob", "IRC PASSED Carol", "IRC PASSED dan",
    "IRC PASSED x$SITENAMEx", "IRC PASSED nobody", "IRC info trial all",
    "IRC info trial", "IRC info quota total", "IRC info quota exempt",
    "IRC info quota passed",
])
def test_reports_change_no_file(site, command_line):
    s = site(trial=LIST_TRIAL + "bob=1500::5::Old\r\n", quota=LIST_QUOTA)
    before = s.snapshot()
    assert s.run(command_line) != b""
    assert s.snapshot() == before
