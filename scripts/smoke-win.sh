#!/usr/bin/env bash
# Smoke test of the Windows program (stowkeeper.exe of scripts/build-win.sh) under Wine on a
# virtual screen: checks the main window's title, runs a create from the command line and
# checks its volume and exit status, and takes a picture of every window the program opens
# (PNG files in build-win/screenshots/ or the folder given). The program plays automation
# scripts (STOWKEEPER_AUTOMATION) in three sessions: the first start with the settings window,
# a create from the command line, and a session through the other windows. Transcripts of
# the sessions land beside the pictures.
#
#   scripts/smoke-win.sh [OUTPUT_FOLDER]      ($BUILD_DIR chooses the build, default build-win)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build-win}
out=$(realpath -m "${1:-$build_dir/screenshots}")
program=$(realpath -m "$build_dir/stowkeeper.exe")
for tool in xvfb-run wine wineboot wineserver convert; do
  command -v "$tool" >/dev/null || {
    echo "smoke-win.sh: $tool is missing (scripts/setup.sh installs it)" >&2
    exit 2
  }
done
[ -f "$program" ] || { echo "smoke-win.sh: no program at $program (scripts/build-win.sh)" >&2; exit 2; }

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out" "$work/Backups" "$work/Restored" "$work/shots"
rm -f "$out"/*.png "$out"/*.log

# Wine's drive Z: is the Linux root: the program's own path form of a Linux path.
win() { printf 'Z:%s' "${1//\//\\}"; }

failures=0
fail() {
  echo "smoke-win.sh: FAILED: $*" >&2
  failures=$((failures + 1))
}

# A source folder with a little of everything, and enough data for the progress windows to
# be seen at work.
src="$work/Documents"
mkdir -p "$src/Letters/2010" "$src/Photos" "$src/Empty folder"
printf 'Dear Ann,\r\nthe garden is in bloom.\r\n' > "$src/Letters/2010/ann.txt"
printf 'Shopping: bread, tea, apples\r\n' > "$src/notes.txt"
for i in $(seq 1 40); do printf 'Line %d of the annual report, with some words to pack.\r\n' "$i"; done > "$src/Letters/report.txt"
head -c 12000000 /dev/urandom > "$src/Photos/holiday.raw"
head -c 300000 /dev/urandom > "$src/Photos/cat.jpg"
# The command line's own source.
other="$work/Projects"
mkdir -p "$other/Plans"
head -c 12000000 /dev/urandom > "$other/Plans/site.dat"
printf 'Plans for the garden shed.\r\n' > "$other/Plans/shed.txt"

# The Language menu lists the catalogs in the order of the folder, which Wine gives sorted.
catalogs="$(dirname "$program")/Catalogs"
english=$(( $(ls "$catalogs" | LC_ALL=C sort | grep -n '^English\.catalog$' | cut -d: -f1) + 99 ))
deutsch=$(( $(ls "$catalogs" | LC_ALL=C sort | grep -n '^Deutsch\.catalog$' | cut -d: -f1) + 99 ))

title="Stowkeeper v1.87 - Written in 2007 - 2011"

# Control ids: main window 0 (Quit 1, tabs 2, backup list 10, Create 14, Update 11, List 12,
# Delete 13, restore list 20, List 21, Restore 22; menu: Verify 1, Properties 2, Settings 3,
# About 4, Quit 5; context menu: List 31 ... Properties 36). Windows of commands are window 1.
cat > "$work/first.txt" <<EOF
# First start: no backup folder yet, so the settings window opens by itself.
wait-window 1
shot 01-settings-first-start
click 1 11
shot 02-folder-chooser
folder $(win "$work/Backups")
shot 03-settings-folder-chosen
click 1 16
wait-closed 1
shot 04-main-window-empty
geometry 0

# Create: the source folder chooser, then the progress window.
click 0 14
folder $(win "$src")
wait-window 1
sleep 400
shot 05-create-progress
wait-log sound
select 0 10 0
shot 06-main-window-backup-list
list 0 10
menu 0 5
EOF

cat > "$work/command-line.txt" <<EOF
# A job from the command line: its window centred on the screen, no main window.
wait-window 1
sleep 400
shot 07-command-line-create
wait-closed 1
EOF

cat > "$work/replace.txt" <<EOF
# The same folder again: the question comes as a message box; keeping the set is no backup.
shot 07b-command-line-replace-question
answer no
EOF

cat > "$work/second.txt" <<EOF
# The context menu over the selected row, and the properties window from it.
wait-window 0
select 0 10 0
rclick 0 10
shot 08-context-menu
menu 0 36
wait-window 1
sleep 300
shot 09-properties
click 1 2
wait-closed 1

# Verify, with its result.
select 0 10 0
menu 0 1
wait-window 1
sleep 300
shot 10-verify-progress
sleep 1
shot 11-verify-result
answer ok
wait-closed 1

# List contents: the contents window, a folder, back.
select 0 10 0
click 0 12
wait-title 1 Backup contents
shot 12-contents
select 1 30 1
dclick 1 30
sleep 300
shot 13-contents-folder
click 1 29
click 1 31
wait-closed 1

# Update after the change: the comparison window.
select 0 10 0
click 0 11
wait-window 1
sleep 300
shot 14-update-progress
wait-log sound
select 0 2 1
select 0 20 1
shot 15-main-window-restore-list

# Restore the restore point: target chooser, parameters, progress.
click 0 22
folder $(win "$work/Restored")
wait-title 1 Restore options
shot 16-restore-parameters
click 1 42
wait-window 1
sleep 400
shot 17-restore-progress
wait-log sound

# Delete asks first.
select 0 2 0
select 0 10 0
click 0 13
shot 18-delete-question
answer no

# About and the settings window from the menu.
menu 0 4
wait-window 1
shot 19-about
click 1 6
wait-closed 1
menu 0 3
wait-window 1
shot 20-settings
click 1 17
wait-closed 1

# Another language rebuilds the window; then other sizes.
menu 0 $deutsch
sleep 300
shot 21-main-window-german
menu 0 $english
resize 0 800 600
sleep 300
geometry 0
shot 22-main-window-800x600
maximize 0
sleep 500
shot 23-main-window-maximized
menu 0 5
EOF

echo "== making the Wine prefix"
# On the virtual screen too: Wine's desktop process, started here, must have a display, and
# it goes with the server when the prefix is made.
xvfb-run -a bash -c 'wineboot -i; wineserver -w' >/dev/null 2>&1 </dev/null || true

# Runs the program on its own virtual screen with a window manager, playing one script.
play() {
  local script=$1
  shift
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    if command -v openbox >/dev/null; then openbox >/dev/null 2>&1 & fi
    sleep 0.5
    "$@"; status=$?
    wineserver -k >/dev/null 2>&1
    exit $status' _ \
    env STOWKEEPER_AUTOMATION="$(win "$work/$script.txt")" \
    STOWKEEPER_AUTOMATION_LOG="$(win "$out/$script.log")" \
    STOWKEEPER_SHOTS="$(win "$work/shots")" STOWKEEPER_AUTOMATION_TIMEOUT=120 \
    wine "$program" "$@" </dev/null
}

echo "== first start"
play first || fail "first session ended with status $?"
grep -q "^open 0 $title" "$out/first.log" || fail "the main window's title is not \"$title ...\""
grep -q '^done$' "$out/first.log" || fail "the first session did not end its script"

echo "== create from the command line"
status=0
play command-line /c "$(win "$other")" || status=$?
[ "$status" -eq 0 ] || fail "stowkeeper.exe /c ended with status $status"
volume="$work/Backups/Backup_0000_of_Z_${work//\//_}_Projects_.sk"
[ -s "$volume" ] || fail "the command line's create left no volume $volume: $(ls "$work/Backups")"
grep -q '^open 1 ' "$out/command-line.log" || fail "the command line's job showed no window"
status=0
play replace /c "$(win "$other")" 2>/dev/null || status=$?
[ "$status" -eq 1 ] || fail "declining to replace a set ended with status $status, not 1"
grep -q '^message .* -> no$' "$out/replace.log" || fail "the command line asked no question"
[ -s "$volume" ] || fail "declining to replace the set lost its volume"

echo "== the other windows"
# Between the sessions the user changes the folder: the update finds a new letter.
printf 'A new letter.\r\n' > "$src/Letters/2010/bob.txt"
play second || fail "second session ended with status $?"
grep -q '^done$' "$out/second.log" || fail "the second session did not end its script"
[ -f "$work/Restored/${work#/}/Documents/Letters/2010/bob.txt" ] ||
  [ -n "$(find "$work/Restored" -name bob.txt)" ] || fail "the restore did not bring back bob.txt"

for picture in "$work"/shots/*.bmp; do
  [ -e "$picture" ] || continue
  name=$(basename "$picture" .bmp)
  convert "$picture" "$out/$name.png"
done
grep -h '^shot failed' "$out"/*.log && fail "some pictures could not be taken"
ls "$out"
if [ "$failures" -ne 0 ]; then
  echo "smoke-win.sh: $failures check(s) failed" >&2
  exit 1
fi
echo "smoke-win.sh: all checks passed"
