#!/usr/bin/env bash
# Memory and time of every job on a tree of many small files, side by side with restic where
# it has the same job, in one run: create, update after 0.1% of the files changed, restore of
# point 1, verify, the listing of point 1 ("/l") and the list of points ("/s"). Prints for each
# job the wall time, the peak memory (GNU time's maximum resident set), the memory per entry
# beyond the program's base (its peak on a tree of one file), and restic's figures beside it.
#
#   SK=build/stowkeeper bench/many_files.sh
#
# Env: FILES (2000000), WORK (/tmp/sk-many-files; a tree of FILES files averaging about 1 KB,
#      its backup, a restore and restic's repository), SK_ENGINE (0) and SK_LEVEL (9),
#      KEEP=1 keeps the outputs. Needs python3, GNU time and restic (apt-get install restic
#      time). The tree: folders three and four levels deep, 100 files a folder, sizes mostly
#      of a few hundred bytes, one file in 1000 of 64 KiB to 1 MiB.
set -uo pipefail
SK=$(realpath "${SK:?set SK to the stowkeeper program}")
FILES=${FILES:-2000000}
W=${WORK:-/tmp/sk-many-files}
export LC_ALL=C LANG=C RESTIC_PASSWORD=stowkeeper-bench RESTIC_REPOSITORY=$W/restic
export RESTIC_CACHE_DIR=$W/restic-cache XDG_CONFIG_HOME=$W/config
unset DISPLAY
for tool in python3 restic /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "many_files.sh: $tool is missing" >&2; exit 2; }
done

rm -rf "$W"
mkdir -p "$W/config/Stowkeeper" "$W/backups" "$W/base/Tree"
printf '[Folders]\r\nSaveFolder = %s/\r\n[Packer]\r\nEngine = %s\r\nLevel = %s\r\n' \
  "$W/backups" "${SK_ENGINE:-0}" "${SK_LEVEL:-9}" >"$W/config/Stowkeeper/Settings.ini"

echo "== a tree of $FILES files in $W/src/Tree"
python3 - "$W/src/Tree" "$FILES" <<'EOF'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(2026)
words = [b"alpha ", b"beta ", b"gamma ", b"delta ", b"note ", b"line\n", b"0123456789 "]
# Text to cut the files from: words in a random order, so that content packs as text does.
text = b"".join(rng.choice(words) for _ in range(400000))
for n in range(count):
    folder = n // 100
    parts = ["d%03d" % (folder // 10000), "e%03d" % (folder // 100 % 100), "f%02d" % (folder % 100)]
    if folder % 3 == 0:
        parts.append("deeper")
    path = os.path.join(root, *parts)
    if n % 100 == 0:
        os.makedirs(path, exist_ok=True)
    size = rng.randint(65536, 1 << 20) if n % 1000 == 999 else int(rng.expovariate(1 / 700))
    start = rng.randrange(len(text) - size)
    body = text[start:start + size]
    with open(os.path.join(path, "file%05d.txt" % n), "wb") as f:
        f.write(body)
EOF
src=$W/src/Tree
echo "== $(find "$src" -type f | wc -l) files, $(du -sh "$src" | cut -f1)"

# One job: wall seconds and peak KiB into the table; its output is thrown away.
table=$W/table.tsv
: >"$table"
run() {
  local tool=$1 job=$2
  shift 2
  /usr/bin/time -f '%e %M' -o "$W/time.txt" "$@" </dev/null >/dev/null 2>"$W/err.txt"
  local status=$?
  read -r wall peak <"$W/time.txt" || { wall=0 peak=0; }
  printf '%s\t%s\t%s\t%s\t%s\n' "$tool" "$job" "$wall" "$peak" "$status" >>"$table"
  [ "$status" -eq 0 ] || [ "$status" -eq 3 ] || {
    echo "   $tool $job ended with status $status: $(tail -n 2 "$W/err.txt")" >&2
  }
}

echo "== the program's base: a tree of one file"
echo x >"$W/base/Tree/one"
run sk base "$SK" /c "$W/base/Tree"

echo "== create"
run sk create "$SK" /c "$src"
restic init >/dev/null 2>&1
run restic create restic backup --quiet "$src"

echo "== update after 0.1% of the files changed"
find "$src" -type f -name 'file*[0-9]00[0-9].txt' | head -n $((FILES / 1000)) |
  while read -r f; do echo changed >>"$f"; done
run sk update "$SK" /u "$src"
run restic update restic backup --quiet "$src"

echo "== restore of point 1"
mkdir -p "$W/restored-sk" "$W/restored-restic"
run sk restore "$SK" /r 1 "$src" "$W/restored-sk" --subfolder
run restic restore restic restore latest --target "$W/restored-restic"

echo "== verify, listing, list of points"
run sk verify "$SK" /v "$src"
run restic verify restic check --read-data
run sk list "$SK" /l 1 "$src"
run restic list restic ls latest
run sk points "$SK" /s "$src"
run restic points restic snapshots

echo
awk -F'\t' -v files="$FILES" '
  $1 == "sk" && $2 == "base" { base = $4; next }
  $1 == "sk" { order[++n] = $2; skw[$2] = $3; skm[$2] = $4; next }
  { rw[$2] = $3; rm[$2] = $4 }
  END {
    printf "%-8s %9s %9s %11s %9s %9s %8s\n", "job", "sk s", "sk MB", "B/entry", "restic s",
           "restic MB", "time x"
    for (i = 1; i <= n; ++i) {
      j = order[i]
      per = (skm[j] - base) * 1024 / files
      printf "%-8s %9.1f %9.0f %11.0f %9s %9s %8s\n", j, skw[j], skm[j] / 1024, per,
             (j in rw) ? sprintf("%.1f", rw[j]) : "-", (j in rm) ? sprintf("%.0f", rm[j] / 1024) : "-",
             (j in rw && rw[j] > 0) ? sprintf("%.2f", skw[j] / rw[j]) : "-"
    }
    printf "base: %.0f MB (a tree of one file)\n", base / 1024
  }' "$table"
[ "${KEEP:-0}" = 1 ] || rm -rf "$W"
