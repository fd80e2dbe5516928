#!/usr/bin/env bash
# Installs, uses and removes the packages of scripts/package.sh (in out/, or the folder
# $PACKAGE_DIR names) as their users would:
#  1. Debian (as root, or through sudo): apt-get install of the .deb; the installed
#     program's --version; a create and a restore with settings of their own, whose texts
#     must come from the installed catalogs; the manual page; then apt-get remove, after
#     which no file or folder of the package may be left. A stowkeeper package installed
#     before is left alone: the test then stops.
#  2. Windows, under Wine on a virtual screen: the installer run silently; the installed
#     files, Start-menu shortcut and entry in the list of installed programs; a create and a
#     restore from the installed program's command line; then the silent uninstaller, after
#     which Program Files, the Start menu and the list of installed programs are as they
#     were, a file the user put into the program's folder is still there, and the settings
#     folder and the backups are untouched. The zip must hold the installer's files.
# The packages are made first with scripts/package.sh (SKIP_PACKAGE=1 tests those in out/
# as they are). SKIP_DEB=1 or SKIP_WINDOWS=1 leaves a part out. Exit status 0 when
# everything holds.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${SKIP_PACKAGE:-0}" != 1 ]; then
  scripts/package.sh
  export SKIP_PACKAGE=1
fi
out=$(realpath -m "${PACKAGE_DIR:-out}")
version=$(sed -n 's/^project(Stowkeeper VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="$out/stowkeeper_${version}_amd64.deb"
setup="$out/stowkeeper-${version}-win64-setup.exe"
zip="$out/stowkeeper-${version}-win64.zip"

if [ "${SKIP_WINDOWS:-0}" != 1 ]; then
  for tool in wine wineboot wineserver winepath xvfb-run cmake; do
    command -v "$tool" >/dev/null || { echo "package-test.sh: $tool is missing" >&2; exit 2; }
  done
  # The Windows program's job windows need a screen.
  if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
  fi
fi

work=$(mktemp -d /tmp/sk-package-XXXXXX)
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# A small tree to back up: a folder, an empty folder, a file past one 6000-byte block, a
# name that is not ASCII.
make_tree() {
  mkdir -p "$1/Letters/2011" "$1/Empty folder"
  printf 'Dear Ann,\nthe backup works.\n' >"$1/Letters/2011/ann.txt"
  seq 1 5000 >"$1/numbers.txt"
  printf 'Über alles\n' >"$1/Letters/Überblick.txt"
}

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
installed_here=0
cleanup() {
  if [ "$installed_here" = 1 ]; then
    $sudo apt-get remove -y stowkeeper >/dev/null 2>&1 || true
  fi
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

is_installed() {
  dpkg-query -W -f='${Status}' stowkeeper 2>/dev/null | grep -q "install ok installed"
}

test_deb() {
  echo "== the Debian package: $deb"
  [ -f "$deb" ] || { fail "no $deb (scripts/package.sh makes it)"; return; }
  if is_installed; then
    fail "a stowkeeper package is installed already; remove it first (apt-get remove stowkeeper)"
    return
  fi
  if grep -qs '^path-exclude=/usr/share/man' /etc/dpkg/dpkg.cfg.d/*; then
    fail "this machine's dpkg is told to leave manual pages out (/etc/dpkg/dpkg.cfg.d)"
  fi
  export DEBIAN_FRONTEND=noninteractive
  installed_here=1
  $sudo apt-get install -y "$deb" >"$work/apt-install.log" 2>&1 ||
    { fail "apt-get install: $(tail -n 5 "$work/apt-install.log")"; return; }
  is_installed && pass "apt-get installs $(basename "$deb")" || fail "dpkg does not list stowkeeper"
  dpkg -L stowkeeper >"$work/deb-paths.txt"

  [ "$(command -v stowkeeper)" = /usr/bin/stowkeeper ] || fail "stowkeeper is not /usr/bin/stowkeeper"
  local said
  said=$(stowkeeper --version 2>&1) || fail "stowkeeper --version ended with status $?"
  [[ $said == *"$version"* ]] && pass "stowkeeper --version: $said" ||
    fail "stowkeeper --version says \"$said\", not $version"

  # A user's session: settings of its own, no catalog named in them, an English locale. The
  # built-in texts are German: English ones can only come from /usr/share/stowkeeper.
  local home=$work/deb
  make_tree "$home/Documents"
  mkdir -p "$home/config/Stowkeeper" "$home/backups" "$home/restored"
  printf '[Folders]\r\nSaveFolder = %s/\r\n' "$home/backups" >"$home/config/Stowkeeper/Settings.ini"
  run() {
    env -u LC_ALL -u LC_MESSAGES LANG=en_US.UTF-8 XDG_CONFIG_HOME="$home/config" \
      stowkeeper "$@" </dev/null 2>>"$home/messages.txt"
  }
  run /c "$home/Documents" || fail "the installed program's create ended with status $?"
  ls "$home/backups"/Backup_0000_of_*.sk >/dev/null 2>&1 && pass "the installed program backs up" ||
    fail "the create left no volume in $home/backups"
  # Asked again, without a terminal to answer on, it keeps the set and says so in English.
  local status=0
  run /c "$home/Documents" || status=$?
  [ "$status" -eq 1 ] || fail "declining to replace a set ended with status $status, not 1"
  grep -q "^Question: The backup already exists" "$home/messages.txt" &&
    pass "its question comes from the installed English catalog" ||
    fail "no English question (catalogs not found?): $(cat "$home/messages.txt")"
  run /r 0 "$home/Documents" "$home/restored" || fail "the installed program's restore ended with status $?"
  if diff -r "$home/Documents" "$home/restored$home/Documents" >"$work/diff.txt" 2>&1; then
    pass "the installed program restores the tree as it was"
  else
    fail "the restored tree differs: $(head -n 5 "$work/diff.txt")"
  fi

  local page
  page=$(man -w stowkeeper 2>&1) || fail "man -w stowkeeper: $page"
  [ "$page" = /usr/share/man/man1/stowkeeper.1.gz ] && pass "man -w stowkeeper: $page" ||
    fail "man -w stowkeeper gives \"$page\""
  MANWIDTH=80 MANPAGER=cat man stowkeeper 2>/dev/null | grep -q "Settings.ini" ||
    fail "man stowkeeper does not show the page"
  for path in /usr/share/applications/stowkeeper.desktop \
    /usr/share/icons/hicolor/scalable/apps/stowkeeper.svg /usr/share/doc/stowkeeper/copyright \
    /usr/share/doc/stowkeeper/README.md /usr/share/stowkeeper/Catalogs/English.catalog; do
    grep -qx "$path" "$work/deb-paths.txt" || fail "the package lacks $path"
  done
  for size in 48 256; do
    local icon=/usr/share/icons/hicolor/${size}x${size}/apps/stowkeeper.png
    file "$icon" 2>/dev/null | grep -q "PNG image data, $size x $size" ||
      fail "$icon is no $size-pixel picture"
  done

  $sudo apt-get remove -y stowkeeper >"$work/apt-remove.log" 2>&1 ||
    fail "apt-get remove: $(tail -n 5 "$work/apt-remove.log")"
  installed_here=0
  is_installed && fail "stowkeeper is still installed after apt-get remove"
  # Every file of the package is gone, and every folder it had, unless another package
  # still owns it (/usr/share/man and the like).
  local left=0
  while IFS= read -r path; do
    [ -e "$path" ] || continue
    if [ -d "$path" ] && ! [ -L "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then continue; fi
    fail "left after apt-get remove: $path"
    left=1
  done <"$work/deb-paths.txt"
  [ "$left" = 0 ] && pass "apt-get remove leaves nothing of the package's $(wc -l <"$work/deb-paths.txt") paths"
}

# The Windows path of a Linux path: Wine's drive Z: is the Linux root.
win() { local p=${1//\//\\}; echo "Z:$p"; }

# wine_folder NAME: a folder variable of the Windows session, as a Linux path.
wine_folder() {
  winepath -u "$(wine cmd /c echo "%$1%" </dev/null 2>/dev/null | tr -d '\r' | tail -n 1)" 2>/dev/null
}

# snapshot FOLDER: every path below it with its size, sorted.
snapshot() { (cd "$1" && find . -printf '%p %s\n' | LC_ALL=C sort); }

test_windows() {
  echo "== the Windows installer: $setup"
  [ -f "$setup" ] || { fail "no $setup (scripts/package.sh makes it)"; return; }
  export WINEPREFIX=$work/wine WINEDEBUG=-all
  # No Mono or Gecko offers, and no Linux menu entries for the Start-menu shortcut.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  wineboot -i >/dev/null 2>&1 </dev/null || true
  local programs start_menu appdata
  programs=$(wine_folder ProgramFiles)
  start_menu="$(wine_folder ProgramData)/Microsoft/Windows/Start Menu/Programs"
  appdata=$(wine_folder APPDATA)
  [ -d "$programs" ] && [ -d "$start_menu" ] && [ -d "$appdata" ] ||
    { fail "the Wine prefix lacks Program Files, the Start menu or APPDATA"; return; }
  local folder="$programs/Stowkeeper" shortcut="$start_menu/Stowkeeper.lnk"
  local key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Stowkeeper'

  # The user's settings and a backup folder, there before the program is installed.
  local home=$work/win settings="$appdata/Stowkeeper"
  make_tree "$home/Documents"
  mkdir -p "$settings" "$home/backups" "$home/restored"
  printf '[Folders]\r\nSaveFolder = %s\\\r\n[Language]\r\nCatalog = English.catalog\r\n' \
    "$(win "$home/backups")" >"$settings/Settings.ini"
  snapshot "$programs" >"$work/programs-before.txt"
  snapshot "$start_menu" >"$work/start-menu-before.txt"

  wine "$setup" /S </dev/null >/dev/null 2>&1 || fail "the installer ended with status $?"
  wineserver -w
  for path in stowkeeper.exe Uninstall.exe README.md Notices.txt Catalogs/English.catalog \
    Catalogs/Deutsch.catalog Catalogs/Français.catalog Catalogs/Español.catalog; do
    [ -f "$folder/$path" ] || fail "the installer put no $path into $folder"
  done
  [ -f "$shortcut" ] && pass "the installer puts the program and a Start-menu shortcut down" ||
    fail "no Start-menu shortcut $shortcut"
  wine reg query "$key" /v UninstallString </dev/null 2>/dev/null | grep -q 'Uninstall.exe' &&
    pass "the list of installed programs has Stowkeeper" ||
    fail "no uninstall entry $key"
  (cd "$folder" && find . -type f ! -name Uninstall.exe | sed 's|^\./||' | LC_ALL=C sort) \
    >"$work/installed-files.txt"

  # The installed program's command line: its window needs no click for a create; the
  # restore's options window waits for OK (control 42 of window 1), as it does for a user.
  local exe='C:\Program Files\Stowkeeper\stowkeeper.exe'
  run_installed() {
    local name=$1 script=$2
    shift 2
    printf '%b' "$script" >"$home/$name.txt"
    STOWKEEPER_AUTOMATION=$(win "$home/$name.txt") \
      STOWKEEPER_AUTOMATION_LOG=$(win "$home/$name.log") STOWKEEPER_AUTOMATION_TIMEOUT=120 \
      wine "$exe" "$@" </dev/null >>"$home/wine.log" 2>&1
  }
  run_installed create '' /c "$(win "$home/Documents")" ||
    fail "the installed program's create ended with status $?"
  ls "$home/backups"/Backup_0000_of_*.sk >/dev/null 2>&1 && pass "the installed program backs up" ||
    fail "the create left no volume in $home/backups"
  # From the command line the restore asks nothing; its progress window's title is the
  # installed English catalog's (the built-in texts are German).
  run_installed restore '' /r 0 "$(win "$home/Documents")" \
    "$(win "$home/restored")" || fail "the installed program's restore ended with status $?"
  grep -q "^open 1 Restoring data" "$home/restore.log" &&
    pass "its windows take their texts from the installed catalogs" ||
    fail "no English restore window (catalogs not found?): $(grep '^open' "$home/restore.log")"
  if diff -r "$home/Documents" "$home/restored$home/Documents" >"$work/diff.txt" 2>&1; then
    pass "the installed program restores the tree as it was"
  else
    fail "the restored tree differs: $(head -n 5 "$work/diff.txt")"
  fi
  wineserver -w

  # A catalog of the user's own in the program's folder: the uninstaller must leave it.
  printf '[CATALOG]\r\n' >"$folder/Catalogs/Mine.catalog"
  (cd "$home" && find backups -type f -exec sha256sum {} + && sha256sum "$settings/Settings.ini") \
    >"$work/kept-before.txt"
  wine 'C:\Program Files\Stowkeeper\Uninstall.exe' /S </dev/null >/dev/null 2>&1 || fail "the uninstaller ended with status $?"
  # The uninstaller copies itself away and runs from there: wait for the copy to end.
  wineserver -w
  [ "$(cd "$folder" 2>/dev/null && find . | LC_ALL=C sort | tr '\n' ' ')" = \
    ". ./Catalogs ./Catalogs/Mine.catalog " ] &&
    pass "the uninstaller removes what it installed and keeps the user's own file" ||
    fail "after the uninstaller the program's folder holds: $(cd "$folder" && find . | tr '\n' ' ')"
  rm -r "$folder"
  [ "$(snapshot "$programs")" = "$(cat "$work/programs-before.txt")" ] &&
    [ "$(snapshot "$start_menu")" = "$(cat "$work/start-menu-before.txt")" ] &&
    pass "Program Files and the Start menu are as they were" ||
    fail "Program Files or the Start menu differ: $(diff <(snapshot "$programs") "$work/programs-before.txt"; diff <(snapshot "$start_menu") "$work/start-menu-before.txt")"
  wine reg query "$key" </dev/null >/dev/null 2>&1 && fail "the uninstall entry $key is still there"
  (cd "$home" && find backups -type f -exec sha256sum {} + && sha256sum "$settings/Settings.ini") \
    >"$work/kept-after.txt" 2>&1
  cmp -s "$work/kept-before.txt" "$work/kept-after.txt" &&
    pass "the settings and the backups are untouched" ||
    fail "the settings or the backups changed: $(diff "$work/kept-before.txt" "$work/kept-after.txt")"

  echo "== the zip: $zip"
  [ -f "$zip" ] || { fail "no $zip (scripts/package.sh makes it)"; return; }
  mkdir -p "$work/zip"
  (cd "$work/zip" && cmake -E tar xf "$zip")
  local top="$work/zip/stowkeeper-${version}-win64"
  if [ "$(cd "$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)" = "$(cat "$work/installed-files.txt")" ]; then
    pass "the zip holds the installer's files in stowkeeper-${version}-win64/"
  else
    fail "the zip holds other files than the installer: $(cd "$top" && find . -type f | tr '\n' ' ')"
  fi
}

[ "${SKIP_DEB:-0}" = 1 ] || test_deb
[ "${SKIP_WINDOWS:-0}" = 1 ] || test_windows
if [ "$failures" -ne 0 ]; then
  echo "package-test.sh: $failures check(s) failed" >&2
  exit 1
fi
echo "package-test.sh: all checks passed"
