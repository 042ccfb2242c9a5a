#!/usr/bin/env bash
# Writes the expected output of every program under tests/shaderparse/<language>/data/: what
# `shadercheck --trace=- --translation=-` prints for it, run from its folder (so that vs.1.0
# programs find their includes), into ../expected/<name>.out. Review the diff before committing.
#   tests/shaderparse/update-expected.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
shadercheck=$(cd "${1:-$root/build}" && pwd)/bin/shadercheck
for data in "$root"/tests/shaderparse/*/data; do
  expected=$(dirname "$data")/expected
  mkdir -p "$expected"
  for program in "$data"/*; do
    name=$(basename "$program")
    (cd "$data" && "$shadercheck" --trace=- --translation=- "$name" >"$expected/$name.out" 2>/dev/null) || true
  done
done
