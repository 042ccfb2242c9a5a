#!/usr/bin/env bash
# Builds every libFuzzer target in the fuzz configuration and runs each (or the named ones) for
# DURATION seconds (or, with --runs N, until N inputs have run, whichever comes first), one after
# the other. Prints executions, executions per second, edge coverage, findings (crashes, sanitizer
# reports, leaks, timeouts, memory exhaustion) and slow inputs (libFuzzer's report of an input
# that ran over 10 s without timing out) per target; exits 1 when any target found a fault. The
# inputs are kept under <build>/fuzz/artifacts/<target>/.
#
#   fuzz/run-fuzzers.sh [--runs N] DURATION [TARGET...]
#
# The test command runs every target for 30 s; a long run is
# `fuzz/run-fuzzers.sh --runs 10000000 14400` (ten million inputs per target).
# Each target runs in its first seed folder, so that vs.1.0 seeds can include one
# another. FLUID3D_FUZZ_BUILD chooses the build directory (default: <repository>/build-fuzz);
# FUZZ_TIMEOUT the seconds after which one input counts as hanging (default 10).
set -euo pipefail

runs_option=()
if [[ ${1:-} == --runs ]]; then
  [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || { echo "$0: --runs needs a positive count" >&2; exit 2; }
  runs_option=("-runs=$2")
  shift 2
fi
if [[ $# -lt 1 || ! $1 =~ ^[0-9]+$ || $1 -eq 0 ]]; then
  echo "usage: $0 [--runs N] DURATION [TARGET...]   (seconds per target)" >&2
  exit 2
fi
duration=$1
shift
chosen=" $* "
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${FLUID3D_FUZZ_BUILD:-$root/build-fuzz}

mkdir -p "$build"
cmake -S "$root" -B "$build" -DFLUID3D_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 2; }
cmake --build "$build" --target fuzzers -j2 >"$build/build.log" 2>&1 ||
  { tail -n 50 "$build/build.log" >&2; exit 2; }

total_findings=0
# Faults and slow inputs in the current target's artifacts, told apart by libFuzzer's file names.
count_findings() { find "$artifacts" -type f ! -name 'slow-unit-*' | wc -l; }
count_slow() { find "$artifacts" -type f -name 'slow-unit-*' | wc -l; }
printf '%-24s %12s %10s %8s %9s %5s\n' target executions execs/s edges findings slow
while IFS='|' read -r name dicts seed_dirs; do
  [[ -n $name ]] || continue
  [[ $# -eq 0 || $chosen == *" $name "* ]] || continue
  work=$root/fuzz/corpus-run/$name
  artifacts=$build/fuzz/artifacts/$name
  log=$build/fuzz/$name.log
  dict=$build/fuzz/$name.dict
  mkdir -p "$work" "$artifacts"
  seeds=()
  : >"$dict"
  for dir in $seed_dirs; do
    [[ -d $root/$dir ]] && seeds+=("$root/$dir")
  done
  for dict_name in $dicts; do
    [[ -f $root/fuzz/dict/$dict_name.dict ]] && cat "$root/fuzz/dict/$dict_name.dict" >>"$dict"
  done
  dict_option=()
  [[ -s $dict ]] && dict_option=("-dict=$dict")
  before=$(count_findings)
  slow_before=$(count_slow)
  rundir=${seeds[0]:-$work}

  # The parsers echo characters they cannot scan to standard output and report include files
  # and COISSUE notes on standard error: both closed for the target (-close_fd_mask=3); libFuzzer
  # and the sanitizers keep writing their own reports to the log.
  (cd "$rundir" && exec "$build/fuzz/$name" -max_total_time="$duration" "${runs_option[@]}" \
    -print_final_stats=1 -close_fd_mask=3 -timeout="${FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 \
    -max_len=8192 -artifact_prefix="$artifacts/" "${dict_option[@]}" "$work" "${seeds[@]}") \
    >"$log" 2>&1 || true

  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  edges=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  findings=$(( $(count_findings) - before ))
  slow=$(( $(count_slow) - slow_before ))
  total_findings=$((total_findings + findings))
  printf '%-24s %12s %10s %8s %9s %5s\n' "$name" "${executions:-?}" "${rate:-?}" "${edges:-?}" \
    "$findings" "$slow"
  if (( findings > 0 )); then
    grep -m 1 -E '^==[0-9]+==ERROR|SUMMARY|runtime error' "$log" | sed 's/^/    /' || true
  fi
  if (( findings + slow > 0 )); then
    find "$artifacts" -type f -newer "$dict" | sed 's/^/    input: /'
  fi
done <"$build/fuzz/targets.txt"

(( total_findings == 0 ))
