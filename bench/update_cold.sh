#!/usr/bin/env bash
# An update after a small change, with a cold and with a warm page cache: stowkeeper /u
# against restic backup on one tree of at least 2 GB and 100,000 files. Every figure comes
# from the same run, since only ratios taken side by side mean anything on a shared machine.
#
#   SK=build/stowkeeper [SK_OLD=other/stowkeeper] bench/update_cold.sh
#   SK=build/stowkeeper SK_OLD=other/stowkeeper bench/update_cold.sh --create-restore
#
# The second form times create and restore of the corpus itself, SK_OLD and SK alternating,
# warm cache: what writing the metadata files costs.
#
# Env: CORPUS_ROOT (/tmp/skcorpus; its src/ is built by PEER_BENCH/build_corpus.sh when
#      missing), PEER_BENCH (../shared/peer-bench beside the repository), COPIES of the
#      corpus in the tree (6), MOD_EVERY (100), ROUNDS of cold updates (3), RUNS of create
#      and restore (3), WORK (/tmp/sk-update-bench, about 8 GB), SETTLE (30), KEEP=1 keeps
#      the outputs. Runs as root: the cache of the tree is dropped file by file.
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SK=$(realpath "${SK:?set SK to the stowkeeper program}")
SK_OLD=${SK_OLD:+$(realpath "$SK_OLD")}
PEER_BENCH=${PEER_BENCH:-$HERE/../../shared/peer-bench}
CORPUS_ROOT=${CORPUS_ROOT:-/tmp/skcorpus}
COPIES=${COPIES:-6} MOD_EVERY=${MOD_EVERY:-100} ROUNDS=${ROUNDS:-3} RUNS=${RUNS:-3}
W=${WORK:-/tmp/sk-update-bench}
RES=$W/results.tsv LOG=$W/log.txt
export LC_ALL=C RESTIC_PASSWORD=stowkeeper-bench RESTIC_REPOSITORY=$W/restic
# restic keeps a copy of its repository's metadata here: it is part of what a cold run lacks.
export RESTIC_CACHE_DIR=$W/restic-cache

bytes() { find "$@" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}'; }
median() {
  sort -g | awk '{v[NR] = $1}
    END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

# Each program gets a settings folder of its own, so that neither reads the other's set
# list or the user's settings; without DISPLAY it never opens a window.
declare -A PROG=([new]=$SK [old]=$SK_OLD)
sk_settings() {  # <folder>: a backup folder and settings that name it, below <folder>
  mkdir -p "$1/cfg/Stowkeeper" "$1/bk"
  printf '[Folders]\r\nSaveFolder = %s/\r\n[Packer]\r\nEngine = 0\r\nLevel = 9\r\n' \
    "$1/bk" > "$1/cfg/Stowkeeper/Settings.ini"
}
tsk() {  # <new|old> <step> <folder> <args>: a timed step of one program
  t "sk-$1" "$2" env -u DISPLAY XDG_CONFIG_HOME="$3/cfg" LANG=C "${PROG[$1]}" "${@:4}"
}

# t <tool> <step> <cmd...>: one timed step; GNU time's %I counts 512-byte blocks read from
# the file system, which a warm page cache does not count.
t() {
  local tool=$1 step=$2; shift 2
  sync  # earlier write-back must not land in this step
  echo "== $tool $step: $*" >> "$LOG"
  /usr/bin/time -f '%e %U %S %M %I' -o "$W/.t" "$@" < /dev/null >> "$LOG" 2>&1 ||
    echo "!! $tool $step failed (status $?), see $LOG" >&2
  local e u s m i; read -r e u s m i < <(tail -1 "$W/.t")
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$tool" "$step" "$e" "$(echo "$u + $s" | bc)" "$m" \
    "$((i * 512))" >> "$RES"
  printf '  %-7s %-10s %7.2f s  cpu %7.2f s  rss %5d MB  read %8.1f MB\n' "$tool" "$step" \
    "$e" "$(echo "$u + $s" | bc)" "$((m / 1024))" "$(echo "$i * 512 / 1000000" | bc -l)"
}
fig() {  # <tool> <step> <column: 3 wall, 4 cpu, 6 bytes read>: the median over the rounds
  awk -F'\t' -v t="$1" -v s="$2" -v c="$3" '$1 == t && $2 == s {print $c}' "$RES" | median
}

# Only the pages of these files go (posix_fadvise), not the machine's whole cache: others
# work on it. Folder and inode caches stay warm; what is measured is reading file contents.
evict() {
  sync
  python3 - "$@" <<'EOF'
import os, sys
for root in sys.argv[1:]:
    for d, _, files in os.walk(root):
        for f in files:
            p = os.path.join(d, f)
            if os.path.isfile(p) and not os.path.islink(p):
                fd = os.open(p, os.O_RDONLY)
                os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
                os.close(fd)
EOF
}
warm() { find "$@" -type f -print0 | xargs -0 cat > /dev/null; }

# Change number <round>: of the files in name order, number <round> of every MOD_EVERY gets
# 100 bytes appended, number <round> + MOD_EVERY/2 only a new modification time. Each round
# picks other files, as the days between two backups would.
modify() {
  (cd "$W/tree" && find . -type f | sort) | awk -v N="$MOD_EVERY" -v r="$1" \
    'NR % N == r {print "A\t" $0} NR % N == (r + int(N / 2)) % N {print "T\t" $0}' > "$W/changed"
  while IFS=$'\t' read -r kind f; do
    [ "$kind" = A ] && printf 'stowkeeper-bench change %-75s\n' "$1" >> "$W/tree/$f"
  done < "$W/changed"
  cut -f2 "$W/changed" | (cd "$W/tree" && xargs -d '\n' touch -d "@$((1622548800 + $1 * 86400))")
  echo "change $1: $(grep -c '^A' "$W/changed") files appended to," \
    "$(grep -c '^T' "$W/changed") touched"
}

# Old outputs go first, then a pause: on ext4 with discard, creating files soon after a
# large delete costs many times the system time.
fresh() {
  rm -rf "$W"; mkdir -p "$W"; sync; sleep "${SETTLE:-30}"
  printf 'tool\tstep\twall\tcpu\tmaxrss_kb\tread_bytes\n' > "$RES"
}

if [ ! -d "$CORPUS_ROOT/src" ]; then
  echo "building the corpus in $CORPUS_ROOT (takes a while)"
  CORPUS_ROOT=$CORPUS_ROOT "$PEER_BENCH/build_corpus.sh" || exit 1
fi

if [ "${1:-}" = --create-restore ]; then
  [ -n "$SK_OLD" ] || { echo "--create-restore compares SK with SK_OLD: set both" >&2; exit 2; }
  SRC=$CORPUS_ROOT/src
  fresh
  echo "create and restore of $SRC ($(bytes "$SRC") bytes), $RUNS runs, warm cache"
  for r in $(seq "$RUNS"); do
    # Alternating the order spreads the machine's drift over both programs.
    order="old new"; [ $((r % 2)) = 0 ] && order="new old"
    for p in $order; do
      base=$W/run$r/$p; sk_settings "$base"; mkdir -p "$base/x"
      warm "$SRC"
      tsk "$p" create "$base" /c "$SRC"
      tsk "$p" restore "$base" /r 0 "$SRC" "$base/x"
      diff -rq --no-dereference "$SRC" "$base/x$SRC" > /dev/null ||
        echo "!! sk-$p: the restored tree differs from $SRC" >&2
      vol=$(bytes "$base/bk" -name '*.sk') meta=$(bytes "$base/bk" -name '*.meta')
      echo "  sk-$p   volume $vol bytes, metadata file $meta bytes"
    done
  done
  echo
  # CPU time suffers less than wall time from the other programs on the machine.
  printf '| step | old s | new s | new/old (target <= 1.05) | cpu new/old |\n'
  printf '|---|---|---|---|---|\n'
  for step in create restore; do
    o=$(fig sk-old $step 3) n=$(fig sk-new $step 3)
    oc=$(fig sk-old $step 4) nc=$(fig sk-new $step 4)
    printf '| %s | %.2f | %.2f | %.3f | %.3f |\n' $step "$o" "$n" "$(echo "$n / $o" | bc -l)" \
      "$(echo "$nc / $oc" | bc -l)"
  done
  [ "${KEEP:-0}" = 1 ] || rm -rf "$W"/run[0-9]*
  exit 0
fi

fresh
mkdir -p "$W/tree"
for i in $(seq "$COPIES"); do cp -a "$CORPUS_ROOT/src" "$W/tree/c$i"; done
TREE_BYTES=$(bytes "$W/tree") TREE_FILES=$(find "$W/tree" -type f | wc -l)
echo "tree $W/tree: $TREE_FILES files, $TREE_BYTES bytes"
[ "$TREE_BYTES" -ge 2000000000 ] && [ "$TREE_FILES" -ge 100000 ] ||
  echo "!! the tree is smaller than 2 GB / 100,000 files: raise COPIES" >&2
# A file changed within 2 s of a scan is read by the next update whatever its times say;
# the copy above is not meant to be such a change.
sleep 3

TOOLS="new"; [ -n "$SK_OLD" ] && TOOLS="new old"
for p in $TOOLS; do sk_settings "$W/sk-$p"; tsk "$p" create "$W/sk-$p" /c "$W/tree"; done
restic -q init >> "$LOG" 2>&1
t restic create restic -q backup "$W/tree"
OUTPUTS="$W/restic $W/restic-cache"
for p in $TOOLS; do OUTPUTS+=" $W/sk-$p"; done

for k in $(seq "$ROUNDS"); do
  modify "$k"
  for p in $TOOLS; do
    # shellcheck disable=SC2086
    evict "$W/tree" $OUTPUTS
    tsk "$p" cold "$W/sk-$p" /u "$W/tree"
  done
  # shellcheck disable=SC2086
  evict "$W/tree" $OUTPUTS
  t restic cold restic -q backup "$W/tree"
done

modify $((ROUNDS + 1))
# The same kind of change, with everything each tool reads already in the page cache.
for p in $TOOLS; do
  # shellcheck disable=SC2086
  warm "$W/tree" $OUTPUTS
  tsk "$p" warm "$W/sk-$p" /u "$W/tree"
done
# shellcheck disable=SC2086
warm "$W/tree" $OUTPUTS
t restic warm restic -q backup "$W/tree"

ratio() { echo "$1 / $2" | bc -l; }
share() { echo "100 * $1 / $TREE_BYTES" | bc -l; }
rc=$(fig restic cold 3) rw=$(fig restic warm 3)
nc=$(fig sk-new cold 3) nw=$(fig sk-new warm 3) nb=$(fig sk-new cold 6)
echo
echo "$(date -u '+%F %H:%M UTC'), $(nproc) cores; tree $TREE_FILES files, $TREE_BYTES bytes;" \
  "1 file in $MOD_EVERY appended to and 1 in $MOD_EVERY touched per update; medians of" \
  "$ROUNDS cold updates"
printf '| figure | value | target |\n|---|---|---|\n'
printf '| cold update, sk / restic (%.2f s / %.2f s) | %.3f | <= 0.5 |\n' "$nc" "$rc" \
  "$(ratio "$nc" "$rc")"
# Per round too: what an update reads must not grow with the number of points in the set.
each=$(awk -F'\t' -v T="$TREE_BYTES" '$1 == "sk-new" && $2 == "cold" {
  printf "%s%.2f", sep, 100 * $6 / T; sep = ", "}' "$RES")
printf '| cold update, bytes read / tree bytes (rounds: %s %%) | %.2f %% | <= 5 %% |\n' "$each" \
  "$(share "$nb")"
printf '| warm update, sk / restic (%.2f s / %.2f s) | %.3f | <= 0.3 |\n' "$nw" "$rw" \
  "$(ratio "$nw" "$rw")"
if [ -n "$SK_OLD" ]; then
  oc=$(fig sk-old cold 3) ow=$(fig sk-old warm 3)
  printf '| before: cold update, sk / restic (%.2f s) | %.3f | |\n' "$oc" "$(ratio "$oc" "$rc")"
  printf '| before: cold update, bytes read / tree bytes | %.2f %% | |\n' \
    "$(share "$(fig sk-old cold 6)")"
  printf '| before: warm update, sk / restic (%.2f s) | %.3f | |\n' "$ow" "$(ratio "$ow" "$rw")"
fi
[ "${KEEP:-0}" = 1 ] || rm -rf "$W/tree" "$W"/sk-* "$W/restic" "$W/restic-cache"
