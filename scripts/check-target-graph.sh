#!/usr/bin/env bash
# Fails when the CMake target graph has a cycle: every library must depend only on libraries
# below it. Usage: scripts/check-target-graph.sh [BUILD_DIR]  (an already configured build).
set -euo pipefail
build=${1:-build}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cmake --graphviz="$out/targets.dot" "$build" >/dev/null
# Edges are written as  "nodeA" -> "nodeB" ... // nameA -> nameB ; the legend's edges are skipped.
edges=$(sed -n 's|^ *"node[0-9]*" -> "node[0-9]*".*// \(.*\) -> \(.*\)$|\1 \2|p' "$out/targets.dot")
if [ -z "$edges" ]; then
  echo "check-target-graph: no edges found in the graph of $build" >&2
  exit 1
fi
if ! tsort <<<"$edges" >/dev/null 2>"$out/loops"; then
  echo "check-target-graph: the target graph has a cycle:" >&2
  grep -v '^tsort: -: input contains a loop:$' "$out/loops" | sed 's/^tsort: /  /' >&2
  exit 1
fi
echo "check-target-graph: $(wc -l <<<"$edges") dependencies, no cycle"
