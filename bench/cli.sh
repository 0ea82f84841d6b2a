#!/usr/bin/env bash
# Times `qarvenda-cli find` on a database of 1,000,000 places against
# `grep -F` over the text export of the same places (kvrn.txt, GBK), from
# process start to the last line written; both write to a file, since grep
# stops at the first match when its output is /dev/null. Then batches: 10,000
# telephone numbers and 10,000 postcodes on standard input against loading
# the file alone.
#   bench/cli.sh [ENTRIES] [REPS] [repetitive|varied]
# Builds in Release (build-bench/). Prints the median wall-clock time of each.
set -euo pipefail
cd "$(dirname "$0")/.."
entries=${1:-1000000}
reps=${2:-7}
names=${3:-repetitive}

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j2 --target qv-gendb qarvenda-cli >/dev/null
cli=$PWD/build-bench/qarvenda-cli
gendb=$PWD/build-bench/qv-gendb
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$gendb" kvrn.dat --entries "$entries" --names "$names" >/dev/null
"$cli" export --all --format kvrn --encoding gbk >kvrn.txt
echo "database: $entries places ($names names), kvrn.dat $(stat -c %s kvrn.dat) bytes," \
     "kvrn.txt $(stat -c %s kvrn.txt) bytes, $(wc -l <kvrn.txt) live rows"

# Median of REPS runs of a command, in milliseconds (one warm-up run first).
median_ms() {
  local times=() start end
  "$@" >out.txt 2>/dev/null || true
  for ((i = 0; i < reps; i++)); do
    start=$(date +%s%N)
    "$@" >out.txt 2>/dev/null || true
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}'
}

printf '%8s %8s %8s %8s %7s  %s\n' "cli rows" "grep" "cli ms" "grep ms" "ratio" "query"
run() {
  local label=$1 query=$2
  shift 2
  local gbk_query cli_ms grep_ms rows grep_rows
  gbk_query=$(printf '%s' "$query" | iconv -f UTF-8 -t GBK)
  cli_ms=$(median_ms "$cli" find "$@" -- "$query")
  rows=$(wc -l <out.txt)
  grep_ms=$(LC_ALL=C median_ms grep -F -- "$gbk_query" kvrn.txt)
  grep_rows=$(wc -l <out.txt)
  printf '%8s %8s %8s %8s %7s  %s\n' "$rows" "$grep_rows" "$cli_ms" "$grep_ms" \
    "$(awk -v a="$cli_ms" -v b="$grep_ms" 'BEGIN {printf "%.2fx", a / b}')" "$label"
}
# Queries taken from the data: a whole name, an area code, one common
# character, and a name that is nowhere.
name=$(sed -n '1000p' kvrn.txt | cut -d, -f2 | iconv -f GBK -t UTF-8)
area=$(sed -n '1000p' kvrn.txt | cut -d, -f3)
run "name $name" "$name"
run "name only: --fields name $name" "$name" --fields name
run "area code $area" "$area"
run "one character 县" 县
run "no such place 无此地名" 无此地名

# Where the time goes: starting the program alone, and loading the file with
# a search that tests one field and prints nothing.
echo "qarvenda-cli --version: $(median_ms "$cli" --version) ms;" \
     "load + exact area-code pass, no rows: $(median_ms "$cli" find --exact --fields areacode 9) ms"

# Batches: 10,000 numbers with area codes taken from the data, written in the
# ways people write them, and 10,000 postcodes (some not in the data: prefix
# matches), each answered with its number of places (every area code has
# thousands of places here, so whole rows would time the output instead).
awk -F, 'NR % 89 == 1 && n < 10000 {
  a = $3; n++
  if (a ~ /^00/) print "+" substr(a, 3) " 2345 6789"
  else if (n % 4 == 0) print a "-8888 8888"
  else if (n % 4 == 1) print "+86 (0)" substr(a, 2) " 6512 3456"
  else if (n % 4 == 2) print "0086 " a " 1234 5678 转 12"
  else print "(" a ") 6666-6666"
}' <kvrn.txt >numbers.txt
awk -F, 'NR % 89 == 1 && n < 10000 {n++; p = $4; if (n % 2) sub(/..$/, "99", p); print p}' <kvrn.txt >postcodes.txt
where_batch() { "$cli" where --count - <numbers.txt; }
post_batch() { "$cli" post --count - <postcodes.txt; }
# Median CPU time (user + system) of REPS runs, in milliseconds: steadier
# than the wall clock when other work shares the machine.
median_cpu_ms() {
  local times=() TIMEFORMAT='%3U %3S'
  for ((i = 0; i < reps; i++)); do
    times+=($({ time "$@" >out.txt 2>/dev/null; } 2>&1 | awk '{printf "%d", ($1 + $2) * 1000}'))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]}'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2fx", a / b}'; }
load_ms=$(median_ms "$cli" ls 无此目录)
load_cpu=$(median_cpu_ms "$cli" ls 无此目录)
where_ms=$(median_ms where_batch)
where_cpu=$(median_cpu_ms where_batch)
where_found=$(awk -F'\t' '$2 > 0' out.txt | wc -l)
post_ms=$(median_ms post_batch)
post_cpu=$(median_cpu_ms post_batch)
post_found=$(awk -F'\t' '$2 > 0' out.txt | wc -l)
printf '%-58s %9s %7s %9s %7s\n' "batch (load alone: ls of a directory that is not there)" "wall ms" "ratio" "CPU ms" "ratio"
printf '%-58s %9s %7s %9s %7s\n' "load alone" "$load_ms" "" "$load_cpu" ""
printf '%-58s %9s %7s %9s %7s\n' "where --count -, $(wc -l <numbers.txt) numbers ($where_found found)" "$where_ms" \
  "$(ratio "$where_ms" "$load_ms")" "$where_cpu" "$(ratio "$where_cpu" "$load_cpu")"
printf '%-58s %9s %7s %9s %7s\n' "post --count -, $(wc -l <postcodes.txt) postcodes ($post_found found)" "$post_ms" \
  "$(ratio "$post_ms" "$load_ms")" "$post_cpu" "$(ratio "$post_cpu" "$load_cpu")"
