#!/usr/bin/env bash
# Builds every fuzz target under AddressSanitizer and UndefinedBehaviorSanitizer and runs each one
# for FUZZ_SECONDS (default 600), FUZZ_JOBS targets at a time (default 1, leaving the other core
# free). Corpora grow in fuzz-work/<target>; findings land in fuzz-work/crashes; each run's log is
# fuzz-work/<target>.log. Usage: bash fuzz/run.sh [TARGET ...]   (no names: every target)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-600}
jobs=${FUZZ_JOBS:-1}
fixtures=${TINDREL_FIXTURES_DIR:-tests/fixtures/dbase}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(FuzzDbf FuzzMdx FuzzMemo FuzzJournal FuzzIniFile FuzzFilterValue FuzzOpml FuzzCsv FuzzMarkdown FuzzBackupList)
fi

if ! command -v clang++ >/dev/null; then
  apt-get update && apt-get install -y clang
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DTINDREL_BUILD_FUZZ=ON -DTINDREL_BUILD_TESTS=OFF -DTINDREL_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target "${targets[@]}"

# Seeds: the fixture tables, memo files with the layout byte in front, and a few typical
# settings files and filter values.
work=fuzz-work
mkdir -p "$work"/crashes "$work"/seed-{dbf,memo,mdx,journal,ini,filter,opml,csv,markdown,backup}
cp "$fixtures"/*.dbf "$work"/seed-dbf/ 2>/dev/null || true
cp "$fixtures"/*.mdx "$work"/seed-mdx/ 2>/dev/null || true
for f in "$fixtures"/*.dbt; do
  [ -e "$f" ] || continue
  b=$(basename "$f")
  (printf '\x00'; cat "$f") >"$work/seed-memo/0-$b"
  (printf '\x01'; cat "$f") >"$work/seed-memo/1-$b"
done
printf '[InterFace]\nFontName=Arial\nFontSize=10\nStayOnTop=1\n\n[TreeView]\nFontName=Tahoma\nWidth=250\n' \
  >"$work"/seed-ini/typical.ini
printf '\xef\xbb\xbf; comment\r\n[InterFace]\r\nFontName = Courier New \r\n[interface]\r\nFontSize=12\r\nnoequals\r\n[' \
  >"$work"/seed-ini/odd.ini
# Journal seeds in the framed form (byte 0 odd): a record writing four bytes into the table, one
# truncating the memo file, and two records in a row.
write_record='\x2f\x00\x01\x00\x00\x00\x0b\x00\x00\x00Tindrel.dbf\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x20\x00\x00\x00\x00\x00\x00\x00\x04\x00\x00\x00abcd'
truncate_record='\x2b\x00\x01\x00\x00\x00\x0b\x00\x00\x00Tindrel.dbt\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
printf "\x01$write_record" >"$work"/seed-journal/write
printf "\x01$truncate_record" >"$work"/seed-journal/truncate
printf "\x01$write_record$truncate_record" >"$work"/seed-journal/two
printf '\x00TNDREDO1' >"$work"/seed-journal/torn
printf '\x00fox' >"$work"/seed-filter/word
printf '\x02red or fox' >"$work"/seed-filter/or
printf '\x04a and "b c" or d' >"$work"/seed-filter/quoted
printf '\x01a|b&c~d' >"$work"/seed-filter/onechar
printf '\x0810..20' >"$work"/seed-filter/range
printf '<?xml version="1.0" encoding="UTF-8"?>\n<opml version="2.0">\n  <head>\n    <title>notes</title>\n  </head>\n  <body>\n    <outline text="Garden &amp; house" _note="roses&#13;&#10;\xce\xba\xce\xae\xcf\x80\xce\xbf\xcf\x82">\n      <outline text="Inner"/>\n    </outline>\n    <outline text="Last"/>\n  </body>\n</opml>\n' \
  >"$work"/seed-opml/written.opml
printf "<?xml version='1.0'?>\n<!DOCTYPE opml>\n<!-- c --><opml><head><outline text='x'/></head><body><outline text='a'><![CDATA[x]]><?p i?><outline _note='n\n'/></outline></body></opml>" \
  >"$work"/seed-opml/odd.opml
printf 'ID,Parent,Text,MEMO,Path\r\n1,,Garden,"roses, ""red""\r\nand more",Garden\r\n2,1,Inner,,Garden/Inner\r\n3,,Last,x,Last\r\n' \
  >"$work"/seed-csv/written.csv
printf '\xef\xbb\xbfid,PARENT,text,Colour\n5,9,Loop,red\n9,5,Back,blue\n7,44,Orphan,\n' >"$work"/seed-csv/odd.csv
printf '\x00# Garden\n\nroses\n\\# not a heading\n## Inner\n###### Six\n\n- Seven\n\n  memo\n  - Eight\n# Last\n' \
  >"$work"/seed-markdown/file.md
printf '\x00before\r\n# A\r\n```\r\n# code\r\n```\r\n### C\r\n' >"$work"/seed-markdown/odd.md
printf '\x01# Title\n\nmemo\r\nmore' >"$work"/seed-markdown/note.md
printf '\x01no heading here\n' >"$work"/seed-markdown/plain.md
# Backup seeds: the fixture tables under a backup's name (27 bytes: Tindrel-2026-12-11-09-00-00).
for f in "$fixtures"/*.dbf; do
  (printf '\x1bTindrel-2026-12-11-09-00-00'; cat "$f") >"$work/seed-backup/$(basename "$f")"
done

seed_for() {
  case $1 in
    FuzzDbf) echo seed-dbf ;;
    FuzzMdx) echo seed-mdx ;;
    FuzzMemo) echo seed-memo ;;
    FuzzJournal) echo seed-journal ;;
    FuzzIniFile) echo seed-ini ;;
    FuzzFilterValue) echo seed-filter ;;
    FuzzOpml) echo seed-opml ;;
    FuzzCsv) echo seed-csv ;;
    FuzzMarkdown) echo seed-markdown ;;
    FuzzBackupList) echo seed-backup ;;
    *) echo "unknown target $1" >&2; exit 2 ;;
  esac
}

run_one() {
  local target=$1 seed
  seed=$(seed_for "$target")
  mkdir -p "$work/$target"
  (cd "$work"/crashes &&
    "../../build-fuzz/fuzz/$target" "../$target" "../$seed" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 >"../$target.log" 2>&1) || true
  echo "$target: $(grep -E '^stat::number_of_executed_units' "$work/$target.log" | awk '{print $2}') runs," \
    "$(grep -E '^stat::peak_rss_mb' "$work/$target.log" | awk '{print $2}') MB peak," \
    "$(grep -c 'Test unit written' "$work/$target.log" || true) findings (inputs written to $work/crashes)"
}

running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait
