#!/usr/bin/env bash
# Builds everything and runs every test: the source format and target-graph checks, the normal
# build (unit and integration tests), the unit tests again under AddressSanitizer +
# UndefinedBehaviorSanitizer, the solver tests under ThreadSanitizer, and a short run of every
# fuzz target. Ends with CTest's summary of the normal build; the exit status is non-zero when
# any stage failed.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1

jobs=$(nproc)
failed=()
stage() {  # stage NAME COMMAND...: runs a stage, remembers failures, goes on with the next
  local name=$1; shift
  echo "==== $name"
  "$@" || failed+=("$name")
}

stage "source format" scripts/check-format.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null || exit 1
stage "target graph has no cycle" scripts/check-target-graph.sh build
cmake --build build -j"$jobs" || exit 1
cmake -S . -B build-asan -DFLUID3D_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON >/dev/null || exit 1
cmake --build build-asan -j"$jobs" || exit 1

stage "unit tests under ASan+UBSan" ctest --test-dir build-asan -L unit --output-on-failure -j"$jobs"
# The solver's two threads under ThreadSanitizer: only the solver tests are built there, and any
# report makes a test fail.
cmake -S . -B build-tsan -DFLUID3D_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build build-tsan -j"$jobs" --target solver_test || exit 1
stage "solver tests under TSan" ctest --test-dir build-tsan -L unit --output-on-failure -j"$jobs"
if [ -x fuzz/run-fuzzers.sh ]; then
  stage "fuzz targets, ${FUZZ_SECONDS:-30} s each" fuzz/run-fuzzers.sh "${FUZZ_SECONDS:-30}"
fi
stage "all tests" ctest --test-dir build --output-on-failure -j"$jobs"

if [ ${#failed[@]} -gt 0 ]; then
  printf 'FAILED stage: %s\n' "${failed[@]}"
  exit 1
fi
