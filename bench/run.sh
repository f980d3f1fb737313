#!/bin/bash
# Quorvel's benchmark: a container pass over a large organisation against the
# protocol floors, the least LDAP work the same job can be done with.
#
#   bench/run.sh [--runs N] [--people N] [--dls N] [--full-lists N] [--seed N]
#                [--scenarios "1 2 3 4 5"] [--levels "0 2"] [--baseline QUORVEL]
#                [--plain-syncrepl] [--no-incremental] [--no-follow] [--no-micro] [--keep]
#   bench/run.sh --report DIR      prints the report of a run kept with --keep
#
# --baseline also runs another quorvel program (say, a build of an earlier
# commit) in the same rounds, as the sides base0 and base2.
#
# Run it after ./setup.sh. It builds the benchmark programs into build-bench/
# (QUORVEL_BENCH_BUILD_DIR to change), generates the organisations, and for
# each scenario
#   1  first pass: every DL's membership is rewritten
#   2  second pass: nothing has changed, nothing is written
#   3  after one attribute of 1% of the people changed: the DLs affected are rewritten
#   4  lists of 5,000 members, one name of each changed: every DL gets a small change
#   5  scenario 4 on a provider with one delta-syncrepl replica attached: what
#      each side's writes cost the replica (the bytes the provider ships it,
#      and how long after the run it holds every change); --plain-syncrepl
#      attaches a plain syncrepl replica instead, which is sent whole entries
# runs `quorvel PROFILE` at logging levels 0 and 2 (QUORVEL_EVENT_LOG set, so
# level 2 writes its entries) and the two floor programs, each --runs times
# (3), interleaved in rotating order, each against the same freshly prepared
# directory. The replace floor (side "floor") writes every changed DL whole,
# as the program did before it wrote changes; the delta floor ("dfloor") sends
# the same searches and the same writes as a pass. Scenarios 2 and 3 also run
# the incremental pass (sides "inc0", "inc2": the profile with Incremental=true,
# its state made by one unmeasured pass on the same directory before the
# change) and its floor ("ifloor": the same sync searches from its own cookies
# and the same writes, nothing else), on a directory with content
# synchronisation (refdir.sh --sync) for every side; --no-incremental leaves
# them out. After scenario 3's rounds, follow mode's delay: `quorvel --follow`
# runs while scenario 3's changes are applied one at a time, and each change
# is timed until every DL it affects is right (quorvel_bench_follow_delay);
# --no-follow leaves it out. Scenarios 1-3 run over
# --people people (20,000) and --dls DLs (300 per 20,000 people), scenario 4
# over --people people (40,000 unless given) in --full-lists DLs (60 per
# 40,000 people) of exactly 5,000 members each (scenario 5 too). It prints per scenario and
# side the median wall time, its ratios to both floors (and the median of the
# ratios within each round), CPU seconds and peak RSS of the client, slapd's
# CPU seconds, the bytes the client sent to the server (what slapd read from
# its sockets), and the LDAP operations each side sent (from slapd's stats
# log); it checks that pass and delta floor sent the same operations in the
# same order and, after every run, that every DL holds the number of members
# the generator computed. Scenario 5 also prints the bytes the provider sent
# the replica over its replication connection (ss(8), the replica's socket)
# and the time from the end of the run until the replica's contextCSN equals
# the provider's. Then it runs the micro-benchmarks.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUORVEL_BENCH_BUILD_DIR:-$here/build-bench}
runs=3 people="" dls="" plain_syncrepl="" full_lists="" seed=1 scenarios="1 2 3 4 5" levels="0 2" micro=1 keep=0 report="" baseline="" incremental=1 follow=1
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift ;;
    --people) people=$2; shift ;;
    --dls) dls=$2; shift ;;
    --full-lists) full_lists=$2; shift ;;
    --seed) seed=$2; shift ;;
    --scenarios) scenarios=$2; shift ;;
    --levels) levels=$2; shift ;;
    --no-micro) micro=0 ;;
    --plain-syncrepl) plain_syncrepl=--plain-syncrepl ;;
    --keep) keep=1 ;;
    --baseline) baseline=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift ;;
    --report) report=$2; shift ;;
    --no-incremental) incremental=0 ;;
    --no-follow) follow=0 ;;
    -h|--help) sed -n '2,52p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
export LDAPNOINIT=1 LC_ALL=C
people123=${people:-20000}
people4=${people:-40000}
[ -n "$dls" ] || dls=$((300 * people123 / 20000))
[ -n "$full_lists" ] || full_lists=$((60 * people4 / 40000))

if [ -n "$report" ]; then
  work=$(cd "$report" && pwd)
  # shellcheck source=/dev/null
  . "$work/settings"
fi

# ---- build --------------------------------------------------------------------
if [ -z "$report" ] && [ ! -f "$build/build.ninja" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVEL_BUILD_CONSOLE=OFF -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=ON >/dev/null
fi
[ -n "$report" ] || cmake --build "$build" -j 2 --target quorvel quorvel_bench_generate quorvel_bench_floor \
  quorvel_bench_time quorvel_bench_micro quorvel_bench_follow_delay >/dev/null
quorvel=$build/quorvel floor=$build/bench/quorvel_bench_floor timer=$build/bench/quorvel_bench_time

refdir_dir="" replica_dir=""
if [ -z "$report" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-bench.XXXXXX")
  cleanup() {
    stop_directory
    if [ "$keep" = 1 ]; then echo "kept: $work"; else rm -rf "$work"; fi
  }
  trap cleanup EXIT

  # ---- the organisations ----------------------------------------------------------
  mkdir -p "$work/ops"
  summary="" summary4=""
  if [[ " $scenarios " =~ \ [123]\  ]]; then
    mkdir -p "$work/gen"
    summary=$("$build/bench/quorvel_bench_generate" --people "$people123" --dls "$dls" --seed "$seed" --out "$work/gen")
  fi
  if [[ " $scenarios " =~ \ [45]\  ]]; then
    mkdir -p "$work/gen4"
    summary4=$("$build/bench/quorvel_bench_generate" --people "$people4" --full-lists "$full_lists" --seed "$seed" \
      --out "$work/gen4")
  fi
  declare -p people123 people4 dls full_lists seed runs scenarios levels summary summary4 baseline plain_syncrepl incremental \
    >"$work/settings"
fi
expected_writes=(
  "$(sed -n 's/.*first pass \([0-9]*\),.*/\1/p' <<<"$summary")"
  0
  "$(sed -n 's/.*people \([0-9]*\)$/\1/p' <<<"$summary")"
  "$(sed -n 's/.*people \([0-9]*\)$/\1/p' <<<"$summary4")"
  "$(sed -n 's/.*people \([0-9]*\)$/\1/p' <<<"$summary4")"
)
target_dn="cn=Distribution Lists,ou=Amsterdam,o=Northwind Traders"
gen_of() { if [ "$1" -ge 4 ]; then echo "$work/gen4"; else echo "$work/gen"; fi; }

# ---- the directory ----------------------------------------------------------------
start_directory() { # seed [replicated | sync]
  stop_directory
  local settings provider=()
  [ "${2:-}" = replicated ] && provider=(--provider)
  [ "${2:-}" = sync ] && provider=(--sync)
  settings=$("$here/refdir/refdir.sh" start --seed "$1" --db-conf "$here/bench/directory.conf" "${provider[@]}")
  refdir_dir=$(sed -n 's/^QUORVEL_REFDIR_DIR=//p' <<<"$settings")
  server=$(sed -n 's/^QUORVEL_REFDIR_SERVER=//p' <<<"$settings")
  url=$(sed -n 's/^QUORVEL_REFDIR_URL=//p' <<<"$settings")
  slapd_pid=$(sed -n 's/^QUORVEL_REFDIR_PID=//p' <<<"$settings")
  if [ "${2:-}" = replicated ]; then  # a delta-syncrepl replica holding the same entries
    settings=$("$here/refdir/refdir.sh" start --replica-of "$url" --seed-from "$refdir_dir" $plain_syncrepl \
      --db-conf "$here/bench/directory.conf")
    replica_dir=$(sed -n 's/^QUORVEL_REFDIR_DIR=//p' <<<"$settings")
    replica_url=$(sed -n 's/^QUORVEL_REFDIR_URL=//p' <<<"$settings")
    replica_pid=$(sed -n 's/^QUORVEL_REFDIR_PID=//p' <<<"$settings")
  fi
  for level in 0 $levels; do
    printf '[General]\nTarget=LDAP://%s/%s\nLoggingLevel=%s\n[Authentication]\nUser=writer\nPassword=writer-pw\nDomain=CORP\n' \
      "$server" "$target_dn" "$level" >"$work/level$level.ini"
    chmod 600 "$work/level$level.ini"
    sed 's/^LoggingLevel=.*/&\nIncremental=true/' "$work/level$level.ini" >"$work/inc$level.ini"
    chmod 600 "$work/inc$level.ini"
  done
  rm -rf "$work/state" "$work/ifloor.state"  # cookies of another directory
}
stop_directory() {
  local d
  for d in "$refdir_dir" "$replica_dir"; do
    if [ -n "$d" ]; then "$here/refdir/refdir.sh" stop "$d" >/dev/null 2>&1 || true; fi
  done
  refdir_dir="" replica_dir=""
}
context_csn() { ldapsearch -x -H "$1" -b "o=Northwind Traders" -s base -LLL contextCSN | sort; }
# Waits until the replica holds every change the provider has (their
# contextCSNs are equal); prints the seconds it took ("timeout" after 120 s).
# The provider is asked once, so its log shows the same operations for every side.
wait_in_step() {
  local start provider
  start=$(date +%s.%N)
  provider=$(context_csn "$url")
  for _ in $(seq 1 12000); do
    if [ "$(context_csn "$replica_url")" = "$provider" ]; then
      awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }'
      return
    fi
    sleep 0.01
  done
  echo timeout
}
# The bytes the replica has received over its connection to the provider.
replica_received() {
  ss -tinpH state established "( dport = :${url##*:} )" | awk -v pid="pid=$replica_pid," '
    index($0, pid) { mine = 1; next }
    mine { for (i = 1; i <= NF; i++) if ($i ~ /^bytes_received:/) { print substr($i, 16); exit } }
    { mine = 0 }'
}
apply_change() { # generator folder
  ldapmodify -x -H "$url" -D "dc=CORP,cn=writer" -w writer-pw -f "$1/change.ldif" >/dev/null
}
# Compares every Quorvel DL's number of members with what the generator
# computed (column 2: before the change, 3: after it); a list over the limit
# keeps its one stale member. Appends "label ok" or "label wrong N" to $work/checks.
verify_members() { # generator-folder column label
  ldapsearch -x -H "$url" -D "dc=CORP,cn=writer" -w writer-pw -LLL -o ldif-wrap=no -b "$target_dn" \
    "(extension-attribute-15=QVL=*)" member |
    awk -v col="$2" -v label="$3" -v manifest="$1/dls.tsv" '
      BEGIN { FS = "\t"; while ((getline line < manifest) > 0) if (line !~ /^#/) {
                split(line, f, "\t"); want[tolower(f[1])] = f[col] + 0 > 5000 ? 1 : f[col] + 0 } FS = " " }
      /^dn: / { dn = tolower(substr($0, 5)); seen[dn] = 0 }
      /^member: / { seen[dn]++ }
      END { wrong = 0
            for (d in want) if (!(d in seen) || seen[d] != want[d]) wrong++
            print label, (wrong ? "wrong " wrong : "ok") }' >>"$work/checks"
}
slapd_ticks() { awk '{ print $14 + $15 }' "/proc/$slapd_pid/stat"; }
# What slapd has read so far: with the database mapped into memory, the bytes
# its clients sent it.
slapd_read() { awk '$1 == "rchar:" { print $2 }' "/proc/$slapd_pid/io"; }

# Waits until slapd has logged the end of every connection opened since `offset`.
settle_log() { # offset
  local log="$refdir_dir/slapd.log" opened closed
  for _ in $(seq 1 100); do
    opened=$(tail -c +"$(($1 + 1))" "$log" | grep -c ' ACCEPT from ' || true)
    closed=$(tail -c +"$(($1 + 1))" "$log" | grep -c ' closed' || true)
    [ "$closed" -ge "$opened" ] && return 0
    sleep 0.05
  done
}

# Runs one side once and appends its figures to $work/results:
#   scenario side run wall user sys rss_kib slapd_cpu ops writes status bytes_sent write_seconds
#   replica_bytes replica_lag
# (write_seconds: the time slapd took over the modify operations, from its log;
# replica_bytes: what the provider sent the replica during the run and until
# the replica was in step, replica_lag: how long that took after the run; 0
# without a replica)
measure() { # scenario side run
  local scenario=$1 side=$2 run=$3 log="$refdir_dir/slapd.log" offset ticks read0 times="$work/times.$$"
  local ops="$work/ops/$scenario-$side-$run.txt" manifest
  manifest=$(gen_of "$scenario")/dls.tsv
  offset=$(stat -c %s "$log")
  ticks=$(slapd_ticks)
  read0=$(slapd_read)
  local replica0=0 replica_bytes=0 replica_lag=0
  [ -n "$replica_dir" ] && replica0=$(replica_received)
  rm -f "$times"
  case "$side" in
    floor|dfloor)
      "$timer" "$times" "$floor" --url "$url" --bind-dn "dc=CORP,cn=writer" --password writer-pw \
        --target "$target_dn" --manifest "$manifest" $([ "$side" = dfloor ] && echo --delta) 2>/dev/null || true ;;
    ifloor)
      "$timer" "$times" "$floor" --url "$url" --bind-dn "dc=CORP,cn=writer" --password writer-pw \
        --target "$target_dn" --manifest "$manifest" --sync "$work/ifloor.state" 2>/dev/null || true ;;
    inc*)
      XDG_RUNTIME_DIR="$work" XDG_STATE_HOME="$work/state" QUORVEL_EVENT_LOG="$work/events-$scenario-$side-$run.jsonl" \
        "$timer" "$times" "$quorvel" "$work/inc${side#inc}.ini" 2>/dev/null || true ;;
    pass*)  # its own runtime folder: another quorvel of this user elsewhere must not hold the instance lock
      XDG_RUNTIME_DIR="$work" QUORVEL_EVENT_LOG="$work/events-$scenario-$side-$run.jsonl" \
        "$timer" "$times" "$quorvel" "$work/level${side#pass}.ini" 2>/dev/null || true ;;
    base*)
      XDG_RUNTIME_DIR="$work" QUORVEL_EVENT_LOG="$work/events-$scenario-$side-$run.jsonl" \
        "$timer" "$times" "$baseline" "$work/level${side#base}.ini" 2>/dev/null || true ;;
  esac
  if [ -n "$replica_dir" ]; then
    replica_lag=$(wait_in_step)
    replica_bytes=$(($(replica_received) - replica0))
  fi
  settle_log "$offset"
  local slapd_cpu sent
  slapd_cpu=$(awk -v a="$ticks" -v b="$(slapd_ticks)" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", (b - a) / hz }')
  sent=$(($(slapd_read) - read0))
  tail -c +"$((offset + 1))" "$log" | awk -f "$here/bench/slapd-ops.awk" >"$ops"
  write_time=$(tail -c +"$((offset + 1))" "$log" | awk '/ RESULT tag=103 / { for (i = 1; i <= NF; i++)
    if ($i ~ /^etime=/) t += substr($i, 7) } END { printf "%.3f", t }')
  read -r wall user sys rss status <"$times"
  echo "$scenario $side $run $wall $user $sys $rss $slapd_cpu $(wc -l <"$ops") $(grep -c '^MOD ' "$ops" || true) $status $sent" \
    "$write_time $replica_bytes $replica_lag" >>"$work/results"
}

# The sides in rotating order, so that a slow moment hits each side alike.
# The sides besides the floors: the pass at each level (and the baseline's).
pass_sides() {
  local s
  for s in $levels; do echo "pass$s"; done
  if [ -n "$baseline" ]; then for s in $levels; do echo "base$s"; done; fi
}

# The incremental sides, in the scenarios that have them.
incremental_sides() { # scenario
  local s
  [ "$incremental" = 1 ] && [[ "$1" = 2 || "$1" = 3 ]] || return 0
  echo ifloor
  for s in $levels; do echo "inc$s"; done
}
# Runs an incremental side once, unmeasured, so that its state is that of
# this directory (as a side that has run before would find it).
prime() { # side
  case "$1" in
    ifloor) "$floor" --url "$url" --bind-dn "dc=CORP,cn=writer" --password writer-pw --target "$target_dn" \
              --manifest "$(gen_of 2)/dls.tsv" --sync "$work/ifloor.state" 2>/dev/null || true ;;
    inc*) XDG_RUNTIME_DIR="$work" XDG_STATE_HOME="$work/state" "$quorvel" "$work/inc${1#inc}.ini" 2>/dev/null || true ;;
  esac
}
directory_kind() { # scenario
  [ -n "$(incremental_sides "$1")" ] && echo sync
  return 0
}

sides_for_round() { # scenario round
  local all=(floor dfloor) s
  for s in $(incremental_sides "$1"); do all+=("$s"); done
  for s in $(pass_sides); do all+=("$s"); done
  local n=${#all[@]} i
  for ((i = 0; i < n; i++)); do printf '%s ' "${all[$(((i + $2) % n))]}"; done
}

# Scenario 1 starts from every DL holding a stale member, the others from the
# memberships a first pass leaves (seed-held.ldif), 3 and 4 with the change
# applied; scenario 2 runs every side on the same directory, as nothing changes.
run_scenario() { # scenario
  local scenario=$1 round side gen kind
  gen=$(gen_of "$scenario")
  kind=$(directory_kind "$scenario")
  if [ "$scenario" = 2 ]; then
    start_directory "$gen/seed-held.ldif" $kind
    for side in $(incremental_sides 2); do prime "$side"; done
  fi
  for ((round = 1; round <= runs; round++)); do
    for side in $(sides_for_round "$scenario" "$round"); do
      case "$scenario" in
        1) start_directory "$gen/seed.ldif" ;;
        3) start_directory "$gen/seed-held.ldif" $kind; prime "$side"; apply_change "$gen" ;;
        4) start_directory "$gen/seed-held.ldif"; apply_change "$gen" ;;
        5) start_directory "$gen/seed-held.ldif" replicated; apply_change "$gen"
           [ "$(wait_in_step)" != timeout ] || echo "run.sh: the replica did not follow the change" >&2 ;;
      esac
      measure "$scenario" "$side" "$round"
      case "$scenario" in
        1|2) verify_members "$gen" 2 "scenario $scenario, $side, run $round" ;;
        3|4|5) verify_members "$gen" 3 "scenario $scenario, $side, run $round" ;;
      esac
    done
  done
  [ "$scenario" = 3 ] && [ "$follow" = 1 ] && measure_follow "$gen"
  stop_directory
}

# Follow mode's delay over scenario 3's changes, applied one at a time while
# `quorvel --follow` (level 1, for its entry that it is following) runs; then
# it is stopped with SIGTERM, which must end it with status 0.
measure_follow() { # generator folder
  local gen=$1 events="$work/events-follow.jsonl" pid status=0
  start_directory "$gen/seed-held.ldif" sync
  sed 's/^LoggingLevel=.*/LoggingLevel=1/' "$work/inc0.ini" >"$work/follow.ini"
  chmod 600 "$work/follow.ini"
  XDG_RUNTIME_DIR="$work" XDG_STATE_HOME="$work/state" QUORVEL_EVENT_LOG="$events" \
    "$quorvel" --follow "$work/follow.ini" 2>"$work/follow.err" &
  pid=$!
  for _ in $(seq 1 1200); do
    grep -q 'is following' "$events" 2>/dev/null && break
    sleep 0.1
  done
  "$build/bench/quorvel_bench_follow_delay" --url "$url" --bind-dn "dc=CORP,cn=writer" --password writer-pw \
    --manifest "$gen/dls.tsv" --changes "$gen/change.ldif" --out "$work/follow-delays" >"$work/follow-summary" ||
    true
  kill -TERM "$pid" 2>/dev/null
  wait "$pid" || status=$?
  echo "stopped by SIGTERM with exit status $status" >>"$work/follow-summary"
  verify_members "$gen" 3 "scenario 3, follow mode"
}

# ---- the report -----------------------------------------------------------------------
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column_of() { # scenario side column
  awk -v s="$1" -v d="$2" -v c="$3" '$1 == s && $2 == d { print $c }' "$work/results"
}
# The median within each round of side/other for one column.
paired() { # scenario side other column
  awk -v s="$1" -v d="$2" -v o="$3" -v c="$4" '$1 == s && $2 == o { f[$3] = $c } $1 == s && $2 == d { p[$3] = $c }
    END { for (r in p) if ((r in f) && f[r] > 0) print p[r] / f[r] }' "$work/results" | median
}

report_scenario() { # scenario
  local scenario=$1 names=("" "1 first pass" "2 second pass" "3 after 1% changed" "4 one name of each 5,000-member list changed"
    "5 scenario 4 with a $([ -n "$plain_syncrepl" ] && echo "plain " || echo "delta-")syncrepl replica")
  local floor_wall dfloor_wall side wall ratio dratio cpu rss slapd ops writes walls same status sent n wtime
  floor_wall=$(column_of "$scenario" floor 4 | median)
  dfloor_wall=$(column_of "$scenario" dfloor 4 | median)
  n=$people123
  [ "$scenario" -ge 4 ] && n=$people4
  echo
  echo "Scenario ${names[$scenario]} ($n people; writes expected: ${expected_writes[$((scenario - 1))]})"
  printf '  %-8s %9s %7s %7s %7s %9s %9s %9s %10s %8s %7s %6s  %s\n' side "wall(med)" floor dfloor paired \
    "cpu(med)" "rss(max)" "slapd cpu" "sent" "writing" ops writes "wall of each run"
  for side in floor dfloor $(incremental_sides "$scenario") $(pass_sides); do
    wall=$(column_of "$scenario" "$side" 4 | median)
    ratio=$(awk -v a="$wall" -v b="$floor_wall" 'BEGIN { printf "%.3f", a / b }')
    dratio=$(awk -v a="$wall" -v b="$dfloor_wall" 'BEGIN { printf "%.3f", a / b }')
    cpu=$(awk -v s="$scenario" -v d="$side" '$1 == s && $2 == d { print $5 + $6 }' "$work/results" | median)
    rss=$(column_of "$scenario" "$side" 7 | sort -n | tail -1)
    slapd=$(column_of "$scenario" "$side" 8 | median)
    sent=$(column_of "$scenario" "$side" 12 | median)
    wtime=$(column_of "$scenario" "$side" 13 | median)
    ops=$(column_of "$scenario" "$side" 9 | sort -u | paste -sd/)
    writes=$(column_of "$scenario" "$side" 10 | sort -u | paste -sd/)
    walls=$(column_of "$scenario" "$side" 4 | awk '{ printf "%.2f ", $1 }')
    status=$(column_of "$scenario" "$side" 11 | sort -u | paste -sd/)
    [ "$status" = 0 ] || walls="$walls (exit status $status)"
    printf '  %-8s %8.2fs %7s %7s %7.3f %8.2fs %6.1fMiB %8.2fs %8.2fMB %7.2fs %7s %6s  %s\n' "$side" "$wall" "$ratio" \
      "$dratio" "$(paired "$scenario" "$side" dfloor 4)" "$cpu" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" \
      "$slapd" "$(awk -v b="$sent" 'BEGIN { print b / 1e6 }')" "$wtime" "$ops" "$writes" "$walls"
  done
  local target
  target=$([ "$scenario" = 2 ] && echo 0.05 || echo 0.25)
  for side in $(incremental_sides "$scenario"); do
    [ "$side" = ifloor ] && continue
    echo "  $side against the delta floor (medians of the ratios within each round): wall" \
      "$(paired "$scenario" "$side" dfloor 4), slapd cpu $(paired "$scenario" "$side" dfloor 8), bytes sent" \
      "$(paired "$scenario" "$side" dfloor 12) (target: wall and slapd cpu at most $target); against the" \
      "incremental floor: wall $(paired "$scenario" "$side" ifloor 4), slapd cpu $(paired "$scenario" "$side" ifloor 8)"
  done
  for side in $(incremental_sides "$scenario"); do
    [ "$side" = ifloor ] && continue
    same=yes
    for ((round = 1; round <= runs; round++)); do
      cmp -s "$work/ops/$scenario-ifloor-$round.txt" "$work/ops/$scenario-$side-$round.txt" || same=no
    done
    echo "  $side sent the same operations as the incremental floor, in the same order: $same"
    [ "$same" = yes ] && continue
    echo "    operations of run 1 that only one side sent (< incremental floor, > pass; bases left out):"
    { diff "$work/ops/$scenario-ifloor-1.txt" "$work/ops/$scenario-$side-1.txt" || true; } | grep '^[<>]' |
      sed 's/base="[^"]*"/base=.../; s/dn="[^"]*"/dn=.../' | cut -c1-150 | sort | uniq -c | sort -rn | head -5 |
      sed 's/^/    /' || true
  done
  for side in $(pass_sides); do
    echo "  $side against the replace floor (medians of the ratios within each round): wall" \
      "$(paired "$scenario" "$side" floor 4), slapd cpu $(paired "$scenario" "$side" floor 8), bytes sent" \
      "$(paired "$scenario" "$side" floor 12) (1/$(awk -v r="$(paired "$scenario" "$side" floor 12)" \
        'BEGIN { printf "%.1f", (r > 0) ? 1 / r : 0 }')), slapd time writing $(paired "$scenario" "$side" floor 13)"
    same=yes
    for ((round = 1; round <= runs; round++)); do
      cmp -s "$work/ops/$scenario-dfloor-$round.txt" "$work/ops/$scenario-$side-$round.txt" || same=no
    done
    echo "  $side sent the same operations as the delta floor, in the same order: $same"
    if [ "$same" = no ]; then
      echo "    operations of run 1 that only one side sent (< delta floor, > pass; bases left out):"
      { diff "$work/ops/$scenario-dfloor-1.txt" "$work/ops/$scenario-$side-1.txt" || true; } | grep '^[<>]' |
        sed 's/base="[^"]*"/base=.../; s/dn="[^"]*"/dn=.../' | cut -c1-150 | sort | uniq -c | sort -rn | head -5 |
        sed 's/^/    /' || true
    fi
  done
  if [ "$scenario" = 3 ] && [ -f "$work/follow-summary" ]; then
    echo "  follow mode (quorvel --follow, the changes applied one at a time): $(paste -sd';' "$work/follow-summary")"
  fi
  [ "$scenario" = 5 ] || return 0
  echo "  what the replica received: side, bytes shipped to it (median), in step after the run (median); each run"
  for side in floor dfloor $(pass_sides); do
    printf '  %-8s %11s B %8s s   %s\n' "$side" "$(column_of 5 "$side" 14 | median)" "$(column_of 5 "$side" 15 | median)" \
      "$(awk -v d="$side" '$1 == 5 && $2 == d { printf "%s B %s s; ", $14, $15 }' "$work/results")"
  done
  for side in $(pass_sides); do
    echo "  $side against the replace floor: $(awk -v r="$(paired 5 floor "$side" 14)" 'BEGIN { printf "%.0f", r }')" \
      "times fewer bytes shipped to the replica (median of the ratios within each round; target: at least 100)"
  done
}

cpu_model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
echo "Quorvel benchmark: scenarios $scenarios; $people123 people and $dls Quorvel DLs (1-3), $people4 people and" \
  "$full_lists lists of 5,000 (4, 5); seed $seed, $runs runs per side"
[ -n "$summary" ] && echo "$summary"
[ -n "$summary4" ] && echo "$summary4"
echo "Machine: $(nproc) cores, ${cpu_model:-unknown CPU}, $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) memory"
if [ -z "$report" ]; then
  echo "Load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
  for scenario in $scenarios; do
    run_scenario "$scenario"
    echo "Load after scenario $scenario: $(cut -d' ' -f1-3 /proc/loadavg)"
  done
fi
for scenario in $scenarios; do report_scenario "$scenario"; done
echo
if [ -f "$work/checks" ]; then
  wrong=$(grep -vc ' ok$' "$work/checks" || true)
  echo "Memberships checked against the generator after $(wc -l <"$work/checks") runs: $([ "$wrong" = 0 ] && echo "all right" || echo "$wrong WRONG")"
  grep -v ' ok$' "$work/checks" | sed 's/^/  /' || true
fi
echo
echo "wall: median wall time of the client process; floor, dfloor: its ratio to the replace floor's and the"
echo "delta floor's median; paired: median of side/delta floor within each round; cpu: the client's"
echo "user+system seconds; rss: its largest peak resident size; slapd cpu: the server's CPU seconds during"
echo "the run; sent: bytes the client sent to the server; writing: slapd's time over the modify operations"
echo "(etime, its log); ops: LDAP operations the client sent (slapd stats log); writes: modify operations."
echo "Scenario 5: bytes the provider sent its delta-syncrepl replica over the replication connection during"
echo "the run and until the replica held every change (its contextCSN equal to the provider's), and that time."

if [ "$micro" = 1 ] && [ -z "$report" ]; then
  echo
  "$build/bench/quorvel_bench_micro" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null
fi
