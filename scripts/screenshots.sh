#!/usr/bin/env bash
# Takes a picture of every window the desktop program shows: starts the program on a virtual
# screen (Xvfb, with a small window manager for title bars), plays two sessions of a user
# through its automation script and saves one PNG per window into a folder.
#
#   scripts/screenshots.sh [OUTPUT_FOLDER]      (default: build/screenshots/)
#
# PROGRAM names the program to run (default: build/stowkeeper, built by scripts/build.sh).
# The transcripts of the sessions (windows, messages, choices) land beside the pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshots}")
program=$(realpath "${PROGRAM:-build/stowkeeper}")
for tool in xvfb-run import; do
  command -v "$tool" >/dev/null || { echo "screenshots.sh: $tool is missing (scripts/setup.sh)" >&2; exit 2; }
done
[ -x "$program" ] || { echo "screenshots.sh: no program at $program (scripts/build.sh)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/config" "$work/Backups" "$work/Restored"
rm -f "$out"/*.png "$out"/*.log

# A source folder with a little of everything, and enough data for the progress windows to
# be seen at work.
src="$work/Documents"
mkdir -p "$src/Letters/2010" "$src/Photos" "$src/Empty folder"
printf 'Dear Ann,\nthe garden is in bloom.\n' > "$src/Letters/2010/ann.txt"
printf 'Shopping: bread, tea, apples\n' > "$src/notes.txt"
for i in $(seq 1 40); do printf 'Line %d of the annual report, with some words to pack.\n' "$i"; done > "$src/Letters/report.txt"
# A deep folder, whose files the overwrite question names with a long path.
deep="$src/Letters/2010/Correspondence with the garden society about the spring exhibition/Replies and invitations received"
mkdir -p "$deep"
printf 'We shall come.\n' > "$deep/reply from the society.txt"
head -c 25000000 /dev/urandom > "$src/Photos/holiday.raw"
head -c 300000 /dev/urandom > "$src/Photos/cat.jpg"

# The Language menu lists the catalogs in the order of the folder.
catalogs="$(dirname "$program")/Catalogs"
english=$(( $(ls -U "$catalogs" | grep -n '^English\.catalog$' | cut -d: -f1) + 99 ))
deutsch=$(( $(ls -U "$catalogs" | grep -n '^Deutsch\.catalog$' | cut -d: -f1) + 99 ))
francais=$(( $(ls -U "$catalogs" | grep -n '^Fran.*\.catalog$' | cut -d: -f1) + 99 ))

# Control ids: main window 0 (Quit 1, tabs 2, backup list 10, Create 14, Update 11, List 12,
# Delete 13, restore list 20, List 21, Restore 22; menu: Verify 1, Properties 2, Settings 3,
# About 4, Quit 5; context menu: List 31 ... Properties 36). Windows of commands are window 1.
cat > "$work/first.txt" <<EOF
# First start: no backup folder yet, so the settings window opens by itself.
wait-window 1
shot 01-settings-first-start
click 1 11
shot 02-folder-chooser
folder $work/Backups
shot 03-settings-folder-chosen
click 1 16
wait-closed 1
shot 04-main-window-empty

# Create: the source folder chooser, then the progress window.
click 0 14
folder $src
wait-log open 1 Creating backup...
shot 05-create-progress
wait-log sound
select 0 10 0
shot 06-main-window-backup-list
menu 0 5
EOF

cat > "$work/second.txt" <<EOF
# The context menu over the selected row, and the properties window from it.
select 0 10 0
rclick 0 10
shot 07-context-menu
menu 0 36
wait-window 1
sleep 300
shot 08-properties
click 1 2
wait-closed 1

# The schedule window from the same menu, with the retention policy's fields; closed again.
select 0 10 0
rclick 0 10
menu 0 37
wait-window 1
sleep 300
shot 08a-schedule
close 1
wait-closed 1

# Verify, with its result. Each job is followed to its end through the transcript: a job may
# be over before the script looks for its window.
select 0 10 0
menu 0 1
wait-log open 1 Verifying backup...
shot 09-verify-progress
sleep 1
shot 10-verify-result
answer ok
wait-log close 1

# List contents: the contents window, a folder, back.
select 0 10 0
click 0 12
wait-title 1 Backup contents
shot 11-contents
select 1 30 1
dclick 1 30
sleep 300
shot 12-contents-folder
# Its Restore command on a row: the context menu, the target chooser (declined here), and
# the window open again at the same folder.
select 1 30 1
rclick 1 30
menu 1 33
folder cancel
wait-title 1 Backup contents
sleep 300
shot 12a-contents-after-restore-declined
click 1 29
click 1 31
wait-closed 1

# Update after the change: the comparison window.
select 0 10 0
click 0 11
wait-log open 1 Comparing data...
shot 13-update-progress
wait-log sound
select 0 2 1
select 0 20 1
shot 14-main-window-restore-list

# Restore the restore point: target chooser, parameters, progress.
click 0 22
folder $work/Restored
wait-title 1 Restore options
shot 15-restore-parameters
click 1 42
wait-log open 1 Restoring data...
shot 16-restore-progress
wait-log sound
sleep 300
shot 16a-main-window-restored

# Delete asks first.
select 0 2 0
select 0 10 0
click 0 13
shot 17-delete-question
answer no

# About and the settings window from the menu.
menu 0 4
wait-window 1
shot 18-about
click 1 6
wait-closed 1
menu 0 3
wait-window 1
shot 19-settings
click 1 17
wait-closed 1

# Another language rebuilds the window; then other sizes.
menu 0 $deutsch
sleep 300
shot 20-main-window-german
menu 0 $english
resize 0 800 600
sleep 300
shot 21-main-window-800x600
maximize 0
sleep 500
shot 22-main-window-maximized
restore 0

# The same restore point again into the same folder: the question names the file with its
# whole path, wrapped to fit the screen. Enter in the parameters window is OK.
select 0 2 1
select 0 20 1
click 0 22
folder $work/Restored
wait-title 1 Restore options
key 1 enter
shot 23-overwrite-question
answer cancel
wait-log message
wait-enabled 0

# French settings (Escape closes them), and a German question with German buttons.
menu 0 $francais
menu 0 3
wait-window 1
shot 24-settings-french
key 1 escape
wait-closed 1
menu 0 $deutsch
select 0 2 0
select 0 10 0
click 0 13
shot 25-delete-question-german
answer no
menu 0 5
EOF

# Runs the program on its own virtual screen with a window manager, playing one script.
play() {
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    openbox >/dev/null 2>&1 &
    wm=$!
    sleep 0.5
    "$@"; status=$?
    kill $wm 2>/dev/null
    exit $status' _ \
    env XDG_CONFIG_HOME="$work/config" GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 LANG=en_GB.UTF-8 \
    STOWKEEPER_AUTOMATION="$work/$1.txt" STOWKEEPER_AUTOMATION_LOG="$out/$1.log" \
    STOWKEEPER_SHOTS="$out" "$program"
}

play first
# Between the two sessions the user changes the folder: the update finds a new letter.
printf 'A new letter.\n' > "$src/Letters/2010/bob.txt"
play second
ls "$out"
