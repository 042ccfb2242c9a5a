#!/usr/bin/env bash
# Fails when a tracked C++ source or header is not formatted as .clang-format says; prints the
# places that differ. Generated and table files (.inc, .def, .l, .y) are not C++ layout.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run -Werror "${files[@]}"; then
  echo "check-format: run  clang-format -i  on the files above" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
