# quarvel.tcl: Quarvel's sitebot script for eggdrop 1.8 and later (Windrop too).
#
# It announces Quarvel's events from the server's log (ioFTPD.log) in the
# site's channels and answers the channel commands !passed, !trial, !quota
# and !quarvel by running Quarvel's report commands and relaying what they
# print. Load it from the bot's configuration with
#     source scripts/quarvel.tcl
# The settings are the block below. Rather than editing them here, put your
# own values in quarvel-settings.tcl beside this script (the same `set`
# lines): it is read after this block, so an update of the script keeps them.
#
# Nothing the log or a channel user supplies is ever evaluated as Tcl: log
# data and program output are handled as text only, and the program is
# started with its arguments as a list, without a shell.

# ---------------------------------------------------------------- settings --

# The server's log, as the server writes it. Forward or back slashes.
set quarvel(log) "C:/ioFTPD/logs/ioFTPD.log"
# Where the script remembers how far it has read the log (relative paths are
# taken from the bot's folder). Kept across restarts: nothing is announced
# twice and nothing appended while the bot was away is lost.
set quarvel(offset_file) "quarvel.offset"
# Seconds between two looks at the log.
set quarvel(poll) 2
# 1: announce Quarvel's events. 0: leave that to a log-reading sitebot that
# already runs (give it the event definitions and theme lines of the guide).
set quarvel(announce) 1

# The channels the announcements go to and the commands are answered in.
set quarvel(channels) {#site}

# The program and any words before the report's own (a Tcl list, so a path
# holding blanks goes in braces).
set quarvel(program) {C:/ioFTPD/system/quarvel.exe}
# Seconds a report may take before it is stopped.
set quarvel(timeout) 10

# The channel commands: the trigger and the command words.
set quarvel(trigger) "!"
set quarvel(cmd_passed) "passed"
set quarvel(cmd_trial) "trial"
set quarvel(cmd_quota) "quota"
set quarvel(cmd_help) "quarvel"
# The eggdrop user flags a caller needs ("-" is everyone; "o|o" ops only).
set quarvel(flags) "-"
# Flood control: at most this many lines of one answer in the channel; the
# rest is sent to the caller by notice ("notice") or left out with a line
# that says how many ("cut").
set quarvel(max_lines) 10
set quarvel(overflow) "cut"
# A caller who repeats a command within this many seconds is ignored.
set quarvel(repeat_wait) 5
# At most this many reports run at once; more are refused with a notice.
set quarvel(max_runs) 3

# One theme line per event of Quarvel's. The event's name is the tag of its
# log line ("PassedTrial: "bob""). %user is the user name (a warning also
# gives %days, the days left, and %mb, the megabytes to go); %b bold, %c the
# colour code (%c04 red), %u underline, %o plain. An event Quarvel adds later
# is announced once it has a line here.
set quarvel(theme,UserADDED)   "%b\[TRIAL\]%b %user was added to the trial"
set quarvel(theme,UserDEL)     "%b\[TRIAL\]%b %user was taken off the trial"
set quarvel(theme,PassedTrial) "%b\[TRIAL\]%b %user passed the trial"
set quarvel(theme,QUOTAPASSED) "%b\[QUOTA\]%b %user passed this month's quota"
set quarvel(theme,UDelSite)    "%b\[SITE\]%b %user was deleted for not uploading enough"
set quarvel(theme,UDisSite)    "%b\[SITE\]%b %user was disabled for not uploading enough"
set quarvel(theme,QuotaDEL)    "%b\[QUOTA\]%b %user was deleted for missing the quota"
set quarvel(theme,QuotaDIS)    "%b\[QUOTA\]%b %user was disabled for missing the quota"
set quarvel(theme,TrialWARN)   "%b\[TRIAL\]%b %user has %days days left and %mb MB to go"
set quarvel(theme,QuotaWARN)   "%b\[QUOTA\]%b %user has %days days left and %mb MB to go this month"
# The line that ends a cut answer, the line said when a report is stopped,
# and the line said when the program cannot be started.
set quarvel(text_cut) "(%count more lines left out)"
set quarvel(text_timeout) "%nick: the report took longer than %seconds s and was stopped"
set quarvel(text_failed) "%nick: the report could not be run"

# ------------------------------------------------------- end of settings --

if {[file exists [file join [file dirname [info script]] quarvel-settings.tcl]]} {
  source [file join [file dirname [info script]] quarvel-settings.tcl]
}

namespace eval ::quarvelbot {
  variable version "1.0"
  # The state below outlives a rehash, which loads the script again.
  # The log reader: how far the log has been read, and the file's first
  # bytes then (a log that no longer begins with them is a new file).
  # pollTimer and bound: the timer and binds to undo at the next load.
  foreach {_name _value} {offset -1 head "" logMissing 0 pollTimer "" lastError ""
                          nextRun 0 bound {}} {
    variable $_name
    if {![info exists $_name]} { set $_name $_value }
  }
  unset _name _value
  # Runs in progress: id -> {channel nick pipe lines timer}; and the last
  # time (seconds) each nick ran each command.
  variable runs
  variable lastAsked
  if {![array exists runs]} { array set runs {} }
  if {![array exists lastAsked]} { array set lastAsked {} }
}

# -- settings helpers ----------------------------------------------------------

proc ::quarvelbot::logPath {} {
  return [string map {\\ /} $::quarvel(log)]
}

proc ::quarvelbot::offsetPath {} {
  return [string map {\\ /} $::quarvel(offset_file)]
}

proc ::quarvelbot::channels {} {
  set result {}
  foreach chan $::quarvel(channels) { lappend result [string tolower $chan] }
  return $result
}

# Fills a theme or text line: every key at once, so a value is never
# searched for keys again. The caller's keys come first, so %user is found
# before %u.
proc ::quarvelbot::fill {template pairs} {
  return [string map [concat $pairs [list %b \002 %c \003 %u \037 %o \017]] $template]
}

# One line as IRC takes it: no CR, LF or NUL, and short enough for a message.
proc ::quarvelbot::ircText {text} {
  set text [string map [list \r " " \n " " \0 ""] $text]
  if {[string length $text] > 400} { set text "[string range $text 0 396]..." }
  return $text
}

proc ::quarvelbot::say {chan text} {
  putserv "PRIVMSG $chan :[ircText $text]"
}

# -- the log -------------------------------------------------------------------

proc ::quarvelbot::loadOffset {} {
  variable offset
  variable head
  set offset -1
  set head ""
  if {![file isfile [offsetPath]]} { return }
  if {[catch {
    set f [open [offsetPath] r]
    fconfigure $f -translation binary
    set text [read $f]
    close $f
  }]} { return }
  set fields [split [string trim $text] " "]
  if {[string is wideinteger -strict [lindex $fields 0]] && [lindex $fields 0] >= 0} {
    set offset [lindex $fields 0]
    set head [binary format H* [lindex $fields 1]]
  }
}

proc ::quarvelbot::saveOffset {} {
  variable offset
  variable head
  set path [offsetPath]
  if {[catch {
    set f [open $path.tmp w]
    fconfigure $f -translation binary
    binary scan $head H* hex
    puts -nonewline $f "$offset $hex\n"
    close $f
    file rename -force $path.tmp $path
  } err]} {
    reportError "cannot write $path: $err"
  }
}

# Says an error in the bot's log once, not at every look.
proc ::quarvelbot::reportError {text} {
  variable lastError
  if {$text ne $lastError} {
    putlog "Quarvel: $text"
    set lastError $text
  }
}

proc ::quarvelbot::poll {} {
  variable pollTimer
  # Armed first: an error in this look never ends the looking.
  set pollTimer [utimer $::quarvel(poll) ::quarvelbot::poll]
  if {[catch {readLog} err]} {
    reportError "reading [logPath]: $err"
  }
}

# True while the bot sits in none of its channels.
proc ::quarvelbot::away {} {
  foreach chan $::quarvel(channels) {
    if {![catch {botonchan $chan} on] && $on} { return 0 }
  }
  return 1
}

proc ::quarvelbot::readLog {} {
  variable offset
  variable head
  variable logMissing
  variable lastError
  set path [logPath]
  if {![file isfile $path]} {
    if {!$logMissing} {
      putlog "Quarvel: the log $path is not there (yet); waiting for it"
      set logMissing 1
    }
    # Whatever appears there next is a new log: read from its start.
    if {$offset != 0 || $head ne ""} {
      set offset 0
      set head ""
      saveOffset
    }
    return
  }
  if {$logMissing} {
    putlog "Quarvel: the log $path is there"
    set logMissing 0
  }
  # Lines wait in the log while the bot sits in none of its channels (the
  # first look still takes the log's end as where to start).
  if {$offset >= 0 && [away]} { return }
  set f [open $path r]
  if {[catch {readNew $f [file size $path]} complete]} {
    set err $complete
    catch {close $f}
    error $err
  }
  close $f
  set lastError ""
  foreach line [split $complete \n] {
    announceLine [string trimright $line \r]
  }
}

# Reads the whole lines added since the last look and moves the offset past
# them; a line still being written waits for the next look.
proc ::quarvelbot::readNew {f size} {
  variable offset
  variable head
  set bite 262144
  fconfigure $f -translation binary
  set oldOffset $offset
  set oldHead $head
  if {$offset < 0} {
    # First run: what the log holds now is history.
    set offset $size
    set head [read $f 64]
    saveOffset
    return ""
  }
  set start [read $f [string length $head]]
  if {$size < $offset || $start ne $head} {
    # Truncated, rotated or replaced: the file is new from its first byte.
    set offset 0
  }
  seek $f $offset start
  set data [read $f $bite]
  set end [string last \n $data]
  set complete [string range $data 0 $end]
  if {$end < 0 && [string length $data] == $bite} {
    # A line longer than a bite is no line of the server's: skipped.
    set offset [expr {$offset + $bite}]
  }
  set offset [expr {$offset + [string length $complete]}]
  seek $f 0 start
  set head [read $f 64]
  if {$offset != $oldOffset || $head ne $oldHead} { saveOffset }
  return $complete
}

# A line of the server's log: "MM-DD-YYYY HH:MM:SS TAG: data". Only tags
# with a theme are announced; the data is text, never a Tcl list. A warning's
# data is the name, the days left and the megabytes to go, each quoted.
proc ::quarvelbot::announceLine {line} {
  if {!$::quarvel(announce)} { return }
  if {![regexp {^\d+-\d+-\d+ \d+:\d+:\d+ ([^\s:]+): (.*)$} $line -> tag data]} { return }
  if {![info exists ::quarvel(theme,$tag)]} { return }
  set days ""
  set mb ""
  if {![regexp {^"(.*)" "([0-9]+)" "([0-9.]+)"$} $data -> user days mb] &&
      ![regexp {^"(.*)"$} $data -> user]} { set user $data }
  set text [fill $::quarvel(theme,$tag) [list %user $user %days $days %mb $mb %tag $tag]]
  foreach chan $::quarvel(channels) { say $chan $text }
}

# -- the commands --------------------------------------------------------------

# A caller's words as the program gets them. Tcl's pipeline syntax would take
# a word such as "|", "<file" or ">file" as a pipe or a redirection; such a
# word is given a leading "{}", which the program removes from every report
# command line, so it still reaches the report as typed.
proc ::quarvelbot::words {text} {
  set result {}
  foreach word [regexp -all -inline {\S+} $text] {
    if {[regexp {^(\||<|>|2>|&)} $word]} { set word "{}$word" }
    lappend result $word
  }
  return $result
}

proc ::quarvelbot::allowed {nick chan command} {
  variable lastAsked
  set chans [channels]
  if {[llength $chans] && [string tolower $chan] ni $chans} { return 0 }
  set key [string tolower $nick]\n$command
  set now [clock seconds]
  if {[info exists lastAsked($key)] && $now - $lastAsked($key) < $::quarvel(repeat_wait)} {
    return 0
  }
  set lastAsked($key) $now
  return 1
}

proc ::quarvelbot::cmdPassed {nick uhost hand chan text} {
  if {![allowed $nick $chan passed]} { return 0 }
  start $nick $chan [concat IRC PASSED [lrange [words $text] 0 0]]
  return 1
}

proc ::quarvelbot::cmdTrial {nick uhost hand chan text} {
  if {![allowed $nick $chan trial]} { return 0 }
  start $nick $chan [concat IRC info trial [lrange [words $text] 0 0]]
  return 1
}

proc ::quarvelbot::cmdQuota {nick uhost hand chan text} {
  if {![allowed $nick $chan quota]} { return 0 }
  set which [lindex [words $text] 0]
  if {[string tolower $which] ni {total exempt passed}} {
    say $chan "$nick: $::quarvel(trigger)$::quarvel(cmd_quota) total|exempt|passed"
    return 1
  }
  start $nick $chan [list IRC info quota $which]
  return 1
}

proc ::quarvelbot::cmdHelp {nick uhost hand chan text} {
  if {![allowed $nick $chan help]} { return 0 }
  set t $::quarvel(trigger)
  say $chan "Quarvel: ${t}$::quarvel(cmd_passed) \[user\] (trial or quota standing),\
    ${t}$::quarvel(cmd_trial) \[all\] (trial users),\
    ${t}$::quarvel(cmd_quota) total|exempt|passed (quota users)"
  return 1
}

# Starts one report in the background: the bot goes on while it runs.
proc ::quarvelbot::start {nick chan reportWords} {
  variable runs
  variable nextRun
  if {[array size runs] >= $::quarvel(max_runs)} {
    puthelp "NOTICE $nick :[ircText {Quarvel is busy with other reports; ask again in a moment}]"
    return
  }
  set argv [concat $::quarvel(program) $reportWords]
  if {[catch {open |$argv r} pipe]} {
    putlog "Quarvel: cannot run [lindex $argv 0]: $pipe"
    say $chan [fill $::quarvel(text_failed) [list %nick $nick]]
    return
  }
  set id [incr nextRun]
  fconfigure $pipe -blocking 0 -translation binary
  set timer [utimer $::quarvel(timeout) [list ::quarvelbot::timedOut $id]]
  set runs($id) [list $chan $nick $pipe {} $timer]
  fileevent $pipe readable [list ::quarvelbot::readable $id]
}

proc ::quarvelbot::readable {id} {
  variable runs
  if {![info exists runs($id)]} { return }
  lassign $runs($id) chan nick pipe lines timer
  while {[gets $pipe line] >= 0} {
    lappend lines [string trimright $line \r]
  }
  if {![eof $pipe]} {
    set runs($id) [list $chan $nick $pipe $lines $timer]
    return
  }
  unset runs($id)
  catch {killutimer $timer}
  # Non-blocking: close does not wait for the process.
  catch {close $pipe}
  relay $chan $nick $lines
}

proc ::quarvelbot::timedOut {id} {
  variable runs
  if {![info exists runs($id)]} { return }
  lassign $runs($id) chan nick pipe
  unset runs($id)
  fileevent $pipe readable {}
  foreach pid [pid $pipe] { stopProcess $pid }
  catch {close $pipe}
  putlog "Quarvel: a report for $nick took longer than $::quarvel(timeout) s and was stopped"
  say $chan [fill $::quarvel(text_timeout) [list %nick $nick %seconds $::quarvel(timeout)]]
}

proc ::quarvelbot::stopProcess {pid} {
  if {$::tcl_platform(platform) eq "windows"} {
    catch {exec taskkill /F /T /PID $pid}
  } elseif {[catch {exec kill -9 $pid}]} {
    # Windrop's Tcl is a Cygwin one without a kill program beside it.
    catch {exec taskkill /F /T /PID $pid}
  }
}

proc ::quarvelbot::relay {chan nick lines} {
  set shown {}
  foreach line $lines {
    if {[string trim $line] ne ""} { lappend shown $line }
  }
  set max $::quarvel(max_lines)
  if {[llength $shown] <= $max} {
    foreach line $shown { say $chan $line }
  } elseif {$::quarvel(overflow) eq "notice"} {
    foreach line [lrange $shown 0 [expr {$max - 1}]] { say $chan $line }
    foreach line [lrange $shown $max end] { puthelp "NOTICE $nick :[ircText $line]" }
  } else {
    set keep [expr {$max - 1}]
    foreach line [lrange $shown 0 [expr {$keep - 1}]] { say $chan $line }
    say $chan [fill $::quarvel(text_cut) [list %count [expr {[llength $shown] - $keep}]]]
  }
}

# -- loading -------------------------------------------------------------------

proc ::quarvelbot::load {} {
  variable bound
  variable pollTimer
  variable version
  # A rehash loads the script again: the old timer and binds go first.
  if {$pollTimer ne ""} { catch {killutimer $pollTimer} }
  foreach entry $bound { catch {unbind {*}$entry} }
  set bound {}
  foreach {key procName} {passed cmdPassed trial cmdTrial quota cmdQuota help cmdHelp} {
    set entry [list pub $::quarvel(flags) $::quarvel(trigger)$::quarvel(cmd_$key) \
                   ::quarvelbot::$procName]
    bind {*}$entry
    lappend bound $entry
  }
  # Eggdrop drops a message identical to one still waiting in its queue; a
  # listing may hold identical lines (users the server no longer knows), and
  # each of them is one of the report's lines.
  set ::double-server 1
  set ::double-help 1
  set program [lindex $::quarvel(program) 0]
  set problems {}
  if {$::quarvel(announce) && ![file isdirectory [file dirname [logPath]]]} {
    lappend problems "the log's folder [file dirname [logPath]] does not exist (set quarvel(log))"
  }
  if {![file isfile $program] && [auto_execok $program] eq ""} {
    lappend problems "the program $program does not exist (set quarvel(program))"
  }
  putlog "Quarvel sitebot $version loaded: log [logPath], offset [offsetPath],\
    program $program, channels $::quarvel(channels)"
  foreach problem $problems { putlog "Quarvel: ERROR: $problem" }
  loadOffset
  set pollTimer [utimer $::quarvel(poll) ::quarvelbot::poll]
}

::quarvelbot::load
