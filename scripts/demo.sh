#!/usr/bin/env bash
# A real session with the program, in a temporary folder that is removed afterwards (KEEP=1
# keeps it): back up a sample folder, change it, add two restore points, restore each
# restore point into a fresh folder, compare it with the sample as it was, and list the
# backup folder. ENGINE (0 Densepress, 1 JCalG1, 2 ZLIB) and LEVEL (1 to 9) choose the
# packing; BUILD_DIR the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
engine=${ENGINE:-0}
level=${LEVEL:-9}

scripts/setup.sh program
echo "== building (if needed) in $build_dir"
scripts/build.sh | tail -n 1
program="$PWD/$build_dir/stowkeeper"

work=$(mktemp -d "${TMPDIR:-/tmp}/stowkeeper-demo.XXXXXX")
if [ "${KEEP:-0}" = 1 ]; then
  echo "== working in $work (kept)"
else
  trap 'rm -rf "$work"' EXIT
fi

# The program reads its settings from $XDG_CONFIG_HOME/Stowkeeper/Settings.ini.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/Stowkeeper" "$work/backups"
printf '[Folders]\r\nSaveFolder = %s/\r\n[Packer]\r\nEngine = %s\r\nLevel = %s\r\n' \
  "$work/backups" "$engine" "$level" >"$XDG_CONFIG_HOME/Stowkeeper/Settings.ini"

# run STEP-TEXT ARGS...: runs the program and stops the demo when its job did not succeed.
run() {
  local what=$1
  shift
  echo
  echo "== $what: stowkeeper $*"
  local status=0
  "$program" "$@" </dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    echo "demo: the program ended with status $status" >&2
    exit 1
  fi
}

# restore_and_compare N: restores point N into a fresh folder and compares it with the
# sample as it was at that point. The preselected option keeps the sample's whole path.
restore_and_compare() {
  local point=$1
  mkdir "$work/restore$point"
  run "restore point $point" /r "$point" "$sample" "$work/restore$point"
  if diff -r "$work/state$point" "$work/restore$point$sample"; then
    echo "   restore point $point is identical to the sample as it was"
  else
    echo "demo: restore point $point differs from the sample as it was" >&2
    exit 1
  fi
}

sample="$work/sample/Documents"
mkdir -p "$sample/Letters/2011" "$sample/Pictures" "$sample/Empty folder"
seq 1 20000 >"$sample/numbers.txt"
printf 'Dear Ann,\nthe backup works.\n' >"$sample/Letters/2011/ann.txt"
printf 'Über alles\n' >"$sample/Letters/Überblick_und Ausblick.txt"
head -c 100000 /dev/urandom >"$sample/Pictures/photo.raw"
: >"$sample/empty file"
cp -a "$sample" "$work/state0"

run "create a backup" /c "$sample"

echo
echo "== changing files: one longer, one new, one removed"
seq 20001 21000 >>"$sample/numbers.txt"
printf 'A new letter.\n' >"$sample/Letters/2011/bob.txt"
rm "$sample/empty file"
cp -a "$sample" "$work/state1"
run "update" /u "$sample"

echo
echo "== changing files again: the picture, a letter removed"
head -c 50000 /dev/urandom >"$sample/Pictures/photo.raw"
rm "$sample/Letters/2011/ann.txt"
cp -a "$sample" "$work/state2"
run "update" /u "$sample"

for point in 0 1 2; do
  restore_and_compare "$point"
done

run "verify every volume of the set" /v "$sample"
run "list restore point 2" /l 2 "$sample"
run "the properties of restore point 2" /p 2 "$sample"

echo
echo "== the backup folder"
ls -l "$work/backups"
echo
echo "demo: every restore point came back as it was"
