#!/usr/bin/env bash
# The Linux and the Windows program read and write the same backups. Under Wine, whose drive
# Z: is the Linux root (the Linux program's own path form), this script checks that
#  1. the same tree backed up with the same engine and level by both programs gives the same
#     volume, byte for byte, for every engine; only the attributes field of a record may
#     differ, where Wine reports an attribute Linux has no word for (see below);
#  2. both share one backup folder: a set created by Linux is updated by Windows, then by
#     Linux again, and each program restores every restore point, which must come back as
#     the tree was (a restore checks every file's CRC-32: a bad volume or index fails it),
#     and each program verifies every volume of the set;
#  3. a Settings.ini written by one program is read by the other, and both read the shipped
#     catalogs.
# Uses build/stowkeeper and build-win/stowkeeper.exe (or $LINUX_PROGRAM, $WINDOWS_PROGRAM).
# Runs on its own virtual screen (the Windows program's job windows need one) and with its
# own Wine prefix ($COMPAT_WINEPREFIX to reuse one). Exit status 0 when everything holds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
linux=${LINUX_PROGRAM:-$root/build/stowkeeper}
windows=${WINDOWS_PROGRAM:-$root/build-win/stowkeeper.exe}

for tool in wine wineserver winepath xvfb-run perl; do
  command -v "$tool" >/dev/null || { echo "compat-win.sh: $tool is missing" >&2; exit 2; }
done
for program in "$linux" "$windows"; do
  [ -x "$program" ] || { echo "compat-win.sh: $program is not built" >&2; exit 2; }
done
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

work=$(mktemp -d /tmp/sk-compat-XXXXXX)
export WINEDEBUG=-all
export WINEPREFIX=${COMPAT_WINEPREFIX:-$work/wine}
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# Z:\tmp\sk-compat-abc\x for /tmp/sk-compat-abc/x.
win() { local p=${1//\//\\}; echo "Z:$p"; }

echo "== Wine prefix $WINEPREFIX"
wineboot -i >/dev/null 2>&1 </dev/null || true
wineserver -p >/dev/null 2>&1 || true  # one server for all the runs
# The Windows program keeps its settings below APPDATA (Wine says Vista or later).
appdata=$(wine cmd /c echo %APPDATA% </dev/null 2>/dev/null | tr -d '\r' | tail -n 1)
win_settings="$(winepath -u "$appdata" 2>/dev/null)/Stowkeeper"
linux_config=$work/linux-config
linux_settings=$linux_config/Stowkeeper
mkdir -p "$win_settings" "$linux_settings"

# settings FILE SAVEFOLDER ENGINE LEVEL: the file as the programs write it.
settings() {
  printf '; Stowkeeper Configuration\r\n; \r\n[Folders]\r\n; \r\nSaveFolder = %s\r\n; \r\n' "$2" >"$1"
  printf '[Packer]\r\n; \r\nEngine = %s\r\nLevel = %s\r\n' "$3" "$4" >>"$1"
  printf '; \r\n[Language]\r\n; \r\nCatalog = English.catalog\r\n' >>"$1"
}

run_linux() { XDG_CONFIG_HOME=$linux_config "$linux" "$@" </dev/null 2>>"$work/linux.log"; }
# The restore's options window waits for OK (control 42 of window 1), as it does for a user.
# The session is logged for the failure messages, unless the caller names its own log.
run_windows() {
  local script=$work/windows-script.txt
  if [ "$1" = /r ]; then printf 'wait-window 1\nclick 1 42\n' >"$script"; else : >"$script"; fi
  STOWKEEPER_AUTOMATION=$(win "$script") STOWKEEPER_AUTOMATION_TIMEOUT=300 \
    STOWKEEPER_AUTOMATION_LOG=${STOWKEEPER_AUTOMATION_LOG:-$(win "$work/windows-session.log")} \
    wine "$windows" "$@" </dev/null >>"$work/windows.log" 2>&1
}

# A tree with what names and sizes can be: blanks, punctuation, dots, empty folders, a
# read-only file, sizes around the 6000-byte block, a file that does not pack.
make_tree() {
  local t=$1
  mkdir -p "$t/My Documents/Letters 2011" "$t/empty" "$t/nested/empty inner" "$t/odd names"
  : >"$t/zero.txt"
  printf x >"$t/one.txt"
  for n in 6000 6001 12000; do head -c "$n" /dev/urandom >"$t/random $n.bin"; done
  seq 1 60000 | sed 's/$/ a line of text that packs well/' >"$t/My Documents/text.txt"
  head -c 6000 /dev/zero >"$t/zeros 6000"
  head -c 300000 /dev/zero >"$t/nested/zeros.dat"
  head -c 250000 /dev/urandom >"$t/nested/random.dat"
  printf 'Dear Ann,\r\n' >"$t/My Documents/Letters 2011/ann.txt"
  for name in "a.b.c" "README" "-dash" "under_score" "at@sign" "x y  z" "!#\$%&'()+,;=[]^\`{}~" \
    "UPPER.TXT" "semi;colon"; do
    printf '%s\n' "$name" >"$t/odd names/$name"
  done
  printf 'locked\n' >"$t/readonly.txt"
  chmod 444 "$t/readonly.txt"
}

# Volumes compared record by record: every byte equal, or (for the attributes field only)
# a difference listed with the path. Exit status 0 when equal up to attributes, 1 otherwise.
compare_volumes() {
  perl -e '
    use strict;
    sub slurp { local $/; open(my $f, "<:raw", $_[0]) or die "$_[0]: $!"; return <$f>; }
    my ($a, $b) = (slurp($ARGV[0]), slurp($ARGV[1]));
    if ($a eq $b) { print "identical\n"; exit 0; }
    if (length($a) != length($b) || substr($a, 0, 4) ne substr($b, 0, 4)) {
      print "lengths or headers differ\n"; exit 1;
    }
    my $at = 4;
    my @attributes;
    while ($at < length($a)) {
      my $eol = index($a, "\r\n", $at);
      if ($eol < 0) { print "no path line at $at\n"; exit 1; }
      my $fields = $eol + 2;
      my $end = unpack("q<", substr($a, $fields, 8));
      if ($end <= $fields || $end > length($a)) { print "bad end offset at $at\n"; exit 1; }
      my $attr_at = $fields + 20;
      my ($ra, $rb) = (substr($a, $at, $end - $at), substr($b, $at, $end - $at));
      my $path = substr($a, $at, $eol - $at);
      my ($xa, $xb) = (unpack("l<", substr($a, $attr_at, 4)), unpack("l<", substr($b, $attr_at, 4)));
      substr($ra, $attr_at - $at, 4) = "\0" x 4;
      substr($rb, $attr_at - $at, 4) = "\0" x 4;
      if ($ra ne $rb) { print "record $path differs beyond its attributes\n"; exit 1; }
      push @attributes, sprintf("%s: 0x%x / 0x%x", $path, $xa, $xb) if $xa != $xb;
      $at = $end;
    }
    print "identical but the attributes of ", join("; ", @attributes), "\n";
    exit 0;
  ' "$1" "$2"
}

echo "== 1. the same tree, each engine, both programs"
tree_parent=$work/source
make_tree "$tree_parent/Compat Tree"
# No links here: the Linux program keeps a link as a link, beside the volume, while Wine
# shows a Linux link to the Windows program as what it points at, so the two volumes of a
# tree with links differ by design.
# Wine marks names that start with a dot hidden (0x2), as Windows programs expect of them;
# Linux has no hidden attribute. This is the one field allowed to differ.
printf 'dot\n' >"$tree_parent/Compat Tree/.profile"
source_linux="$tree_parent/Compat Tree"
source_windows=$(win "$source_linux")
for engine in 0 1 2; do
  out_l=$work/backups-linux-$engine
  out_w=$work/backups-windows-$engine
  mkdir -p "$out_l" "$out_w"
  settings "$linux_settings/Settings.ini" "$out_l/" "$engine" 6
  settings "$win_settings/Settings.ini" "$(win "$out_w")\\" "$engine" 6
  for side in linux windows; do
    status=0
    if [ "$side" = linux ]; then
      run_linux /c "$source_linux" || status=$?
    else
      run_windows /c "$source_windows" || status=$?
    fi
    [ "$status" -eq 0 ] || fail "engine $engine: the $side create ended with status $status"
  done
  volume=Backup_0000_of_Z__tmp_${work#/tmp/}_source_Compat\ Tree_.sk
  if [ ! -s "$out_l/$volume" ] || [ ! -s "$out_w/$volume" ]; then
    fail "engine $engine: a volume is missing: $(ls "$out_l") / $(ls "$out_w")"
    continue
  fi
  if result=$(compare_volumes "$out_l/$volume" "$out_w/$volume"); then
    pass "engine $engine: volumes $result"
  else
    fail "engine $engine: volumes differ: $result"
  fi
done

echo "== 2. one backup folder for both"
shared=$work/shared
mkdir -p "$shared" "$work/state"
tree="$work/data/Shared Tree"
make_tree "$tree"
snapshot() { mkdir -p "$work/state/$1" && cp -a "$tree" "$work/state/$1/"; }
snapshot 0
settings "$linux_settings/Settings.ini" "$shared/" 1 9
settings "$win_settings/Settings.ini" "$(win "$shared")\\" 1 9
run_linux /c "$tree" || fail "the Linux create ended with status $?"
# Changes for restore point 1, made by the Windows program.
printf 'changed by the first update\n' >>"$tree/My Documents/text.txt"
rm "$tree/one.txt"
rmdir "$tree/empty"
mkdir -p "$tree/added folder/deeper"
head -c 9000 /dev/urandom >"$tree/added folder/deeper/new.bin"
snapshot 1
run_windows /u "$(win "$tree")" || fail "the Windows update ended with status $?"
# Changes for restore point 2, made by the Linux program.
printf 'x' >"$tree/zero.txt"
rm -r "$tree/added folder"
head -c 7000 /dev/urandom >"$tree/nested/random.dat"
snapshot 2
run_linux /u "$tree" || fail "the second update (Linux) ended with status $?"
ls "$shared" >"$work/shared-files.txt"
[ "$(grep -c '\.ini$' "$work/shared-files.txt")" -eq 2 ] ||
  fail "the shared folder does not hold two update indexes: $(tr '\n' ' ' <"$work/shared-files.txt")"

# The restored tree is below target/<source path without its root>.
check_restore() {
  local who=$1 point=$2 target=$3
  local restored="$target${tree%/*}/Shared Tree" expected="$work/state/$point/Shared Tree"
  if [ ! -d "$restored" ]; then
    fail "$who restore of point $point left nothing at $restored"
    return
  fi
  if ! diff -r "$expected" "$restored" >"$work/diff.txt" 2>&1; then
    fail "$who restore of point $point differs: $(head -5 "$work/diff.txt")"
    return
  fi
  # Empty folders come back too, and the read-only file stays read-only.
  if [ "$(cd "$expected" && find . -type d | sort)" != "$(cd "$restored" && find . -type d | sort)" ]; then
    fail "$who restore of point $point has other folders"
    return
  fi
  [ "$(stat -c %A "$restored/readonly.txt")" = "-r--r--r--" ] ||
    fail "$who restore of point $point: readonly.txt is $(stat -c %A "$restored/readonly.txt")"
  pass "$who restores point $point as the tree was"
}
for point in 0 1 2; do
  target=$work/restored-linux-$point
  mkdir -p "$target"
  run_linux /r "$point" "$tree" "$target" || fail "the Linux restore of point $point ended with status $?"
  check_restore Linux "$point" "$target"
  target=$work/restored-windows-$point
  mkdir -p "$target"
  run_windows /r "$point" "$(win "$tree")" "$(win "$target")" ||
    fail "the Windows restore of point $point ended with status $?: $(grep -a '^message' "$work/windows-session.log" | tail -n 3)"
  check_restore Windows "$point" "$target"
done

# Each program verifies every volume of the shared set, the other's included: the restore
# list holds the three restore points; Verify (menu item 1) reads the selected one's volume
# and confirms by itself that it is valid. (A small volume is verified before the program
# looks at the script again: the job window may open and close unseen, its message not.)
verify_script() {
  local row
  echo "wait-window 0"
  echo "select 0 2 1"
  for row in 0 1 2; do
    printf 'select 0 20 %s\nmenu 0 1\nwait-log message\nwait-closed 1\n' "$row"
  done
  echo "menu 0 5"
}
check_verify() {
  local who=$1 log=$2 valid
  valid=$(grep -c '^message .*The backup is valid\. -> ok$' "$log" 2>/dev/null || true)
  if [ "$valid" = 3 ] && grep -q '^done$' "$log"; then
    pass "$who verifies the three volumes of the shared set"
  else
    fail "$who verified $valid of 3 volumes: $(grep '^message' "$log" 2>/dev/null | tr '\n' ' ')"
  fi
}
verify_script >"$work/verify.txt"
XDG_CONFIG_HOME=$linux_config STOWKEEPER_AUTOMATION=$work/verify.txt \
  STOWKEEPER_AUTOMATION_LOG=$work/verify-linux.log STOWKEEPER_AUTOMATION_TIMEOUT=120 \
  "$linux" </dev/null 2>>"$work/linux.log" || fail "the Linux verify session ended with status $?"
check_verify Linux "$work/verify-linux.log"
STOWKEEPER_AUTOMATION=$(win "$work/verify.txt") STOWKEEPER_AUTOMATION_LOG=$(win "$work/verify-windows.log") \
  STOWKEEPER_AUTOMATION_TIMEOUT=120 wine "$windows" </dev/null >>"$work/windows.log" 2>&1 ||
  fail "the Windows verify session ended with status $?"
check_verify Windows "$work/verify-windows.log"

echo "== 3. settings and catalogs"
# Each program saves its settings when its main window closes; the other then works with
# that file: the Linux file names the backup folder /tmp/..., the Windows one Z:\tmp\...
printf 'wait-window 0\nclose 0\n' >"$work/quit.txt"
settings "$linux_settings/Settings.ini" "$shared/" 2 3
XDG_CONFIG_HOME=$linux_config STOWKEEPER_AUTOMATION=$work/quit.txt STOWKEEPER_AUTOMATION_TIMEOUT=60 \
  "$linux" </dev/null 2>>"$work/linux.log" || fail "the Linux session ended with status $?"
# The file given to it has no [MainWindow] group: the saved one has every line.
grep -q "^\[MainWindow\]" "$linux_settings/Settings.ini" && grep -q "^SaveFolder = $shared/" "$linux_settings/Settings.ini" ||
  fail "the Linux program did not save its settings: $(cat "$linux_settings/Settings.ini")"
cp "$linux_settings/Settings.ini" "$win_settings/Settings.ini"
target=$work/restored-windows-linux-settings
mkdir -p "$target"
# Started from drive C: as from a Windows shortcut: the Linux path still names the folder.
(cd "$WINEPREFIX/drive_c" && run_windows /r 2 "$(win "$tree")" "$(win "$target")") ||
  fail "the Windows restore with the Linux settings ended with status $?"
check_restore "Windows (Linux settings)" 2 "$target"

settings "$win_settings/Settings.ini" "$(win "$shared")\\" 0 9
STOWKEEPER_AUTOMATION=$(win "$work/quit.txt") STOWKEEPER_AUTOMATION_TIMEOUT=60 \
  wine "$windows" </dev/null >>"$work/windows.log" 2>&1 || fail "the Windows session ended with status $?"
grep -q "^\[MainWindow\]" "$win_settings/Settings.ini" && grep -q "^SaveFolder = Z:" "$win_settings/Settings.ini" ||
  fail "the Windows program did not save its settings: $(cat "$win_settings/Settings.ini")"
cp "$win_settings/Settings.ini" "$linux_settings/Settings.ini"
target=$work/restored-linux-windows-settings
mkdir -p "$target"
run_linux /r 1 "$tree" "$target" || fail "the Linux restore with the Windows settings ended with status $?"
check_restore "Linux (Windows settings)" 1 "$target"
grep -q "Creating backup\|Restoring data" "$work/linux.log" ||
  fail "the Linux program did not show the English catalog's texts"

# The shipped catalogs are UTF-8 with the byte-order mark, named in UTF-8; the Windows program
# shows them in its code page, also when the Linux program wrote the setting.
settings "$win_settings/Settings.ini" "$(win "$work/backups-french")\\" 2 9
LC_ALL=C sed -i 's/^Catalog = .*/Catalog = Fran\xc3\xa7ais.catalog\r/' "$win_settings/Settings.ini"
mkdir -p "$work/backups-french"
STOWKEEPER_AUTOMATION_LOG=$(win "$work/french.log") run_windows /c "$(win "$tree")" ||
  fail "the Windows create in French ended with status $?"
expected=$(printf 'open 1 Cr\xc3\xa9ation de la sauvegarde...' | iconv -f UTF-8 -t CP1252)
if LC_ALL=C grep -qF "$expected" "$work/french.log"; then
  pass "the Windows program shows the French catalog in its code page"
else
  fail "the Windows program's job window was not French: $(grep '^open 1' "$work/french.log")"
fi

echo "== 4. a name the Windows code page cannot show"
# Linux names are UTF-8 bytes; the Windows program sees them in its ANSI code page, where
# Wine shows characters it lacks as "?". Such a name would not open again: the Windows job
# leaves it out and names it (status 3), and backs up the rest. The Linux program backs the
# file up.
mkdir -p "$work/unshowable/Tree" "$work/backups-unshowable" "$work/backups-utf8"
printf 'x\n' >"$work/unshowable/Tree/$(printf '\xe6\x97\xa5\xe6\x9c\xac').txt"
printf 'y\n' >"$work/unshowable/Tree/plain.txt"
settings "$win_settings/Settings.ini" "$(win "$work/backups-unshowable")\\" 0 9
status=0
run_windows /c "$(win "$work/unshowable/Tree")" || status=$?
if [ "$status" -eq 3 ] && ls "$work/backups-unshowable" | grep -q '\.sk$'; then
  pass "the Windows program leaves out a name it cannot show, and backs up the rest"
else
  fail "the Windows create of an unshowable name ended with $status: $(ls "$work/backups-unshowable")"
fi
settings "$linux_settings/Settings.ini" "$work/backups-utf8/" 0 9
run_linux /c "$work/unshowable/Tree" || fail "the Linux create of a UTF-8 name ended with status $?"

if [ "$failures" -ne 0 ]; then
  echo "compat-win.sh: $failures check(s) failed" >&2
  exit 1
fi
echo "compat-win.sh: the two programs share their backups"
