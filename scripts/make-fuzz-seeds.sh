#!/usr/bin/env bash
# Writes the starting corpora of the file readers' fuzz targets into fuzz/seeds/<target>/
# from files the program itself writes: for each engine a main volume and an update volume
# of a small tree (an empty file, a file of 6001 bytes: one full block and one of 1 byte, a
# sub-folder), the update indexes (removed, added and changed entries; then no change at
# all), the metadata files beside the main volume and an update (modes, a link, a changed
# mode alone), the Settings.ini the desktop program saves when it is closed, and the shipped
# catalogs. Run once after a change of the formats and commit the result.
#
# Needs the program built with its desktop windows (BUILD_DIR, default build) and xvfb-run.
# The tree lies at /tmp/stowkeeper-seeds/Data/: the update index target rebuilds the same
# set under that name, so that the seeds' paths and volume names point into it.
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${BUILD_DIR:-build}/stowkeeper")
work=/tmp/stowkeeper-seeds
seeds=fuzz/seeds
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
for target in volume_reader_fuzz update_index_fuzz metadata_file_fuzz settings_fuzz catalog_fuzz; do
  rm -rf "${seeds:?}/$target"
  mkdir -p "$seeds/$target"
done

make_tree() {
  rm -rf "$work/Data"
  mkdir -p "$work/Data/sub"
  : >"$work/Data/empty.txt"
  for _ in $(seq 100); do echo "every line of this file is the same, so that it packs well"; done |
    head -c 6001 >"$work/Data/six.txt"
  printf 'first version\n' >"$work/Data/sub/a.txt"
  printf 'removed by the update\n' >"$work/Data/sub/gone.txt"
  chmod 0750 "$work/Data/sub"
  ln -s sub/a.txt "$work/Data/link"
}

change_tree() {
  rm "$work/Data/sub/gone.txt"
  printf 'second version\n' >"$work/Data/sub/a.txt"
  printf 'added by the update\n' >"$work/Data/new.txt"
  mkdir "$work/Data/newsub"
  chmod 0600 "$work/Data/empty.txt"
}

set_name=Z__tmp_stowkeeper-seeds_Data_
names=(Densepress JCalG1 ZLIB)
for engine in 0 1 2; do
  config="$work/config-$engine"
  backups="$work/backups-$engine"
  mkdir -p "$config/Stowkeeper" "$backups"
  printf '[Folders]\r\nSaveFolder = %s\r\n[Packer]\r\nEngine = %s\r\nLevel = 9\r\n' \
    "$backups/" "$engine" >"$config/Stowkeeper/Settings.ini"
  make_tree
  XDG_CONFIG_HOME="$config" "$program" /c "$work/Data" </dev/null
  change_tree
  XDG_CONFIG_HOME="$config" "$program" /u "$work/Data" </dev/null
  XDG_CONFIG_HOME="$config" "$program" /u "$work/Data" </dev/null
  name=${names[$engine]}
  cp "$backups/Backup_0000_of_$set_name.sk" "$seeds/volume_reader_fuzz/main-$name.sk"
  cp "$backups/Backup_0001_of_$set_name.sk" "$seeds/volume_reader_fuzz/update-$name.sk"
done
# The indexes do not depend on the engine.
cp "$work/backups-0/Backup_0001_of_$set_name.ini" "$seeds/update_index_fuzz/changes.ini"
cp "$work/backups-0/Backup_0002_of_$set_name.ini" "$seeds/update_index_fuzz/no-change.ini"
cp "$work/backups-0/Backup_0000_of_$set_name.meta" "$seeds/metadata_file_fuzz/main.meta"
cp "$work/backups-0/Backup_0001_of_$set_name.meta" "$seeds/metadata_file_fuzz/update.meta"

# The desktop program writes Settings.ini when its main window is closed.
config="$work/config-1"
printf 'close 0\n' >"$work/close.txt"
XDG_CONFIG_HOME="$config" GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 \
  STOWKEEPER_AUTOMATION="$work/close.txt" xvfb-run -a "$program" </dev/null
cp "$config/Stowkeeper/Settings.ini" "$seeds/settings_fuzz/Settings.ini"

cp catalogs/*.catalog "$seeds/catalog_fuzz/"
ls -l "$seeds"/*
