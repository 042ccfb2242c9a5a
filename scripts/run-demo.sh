#!/usr/bin/env bash
# Installs what is missing, builds the demo and runs it from build/bin.
# With a display the demo simply runs. Without one it runs in a virtual X server (Xvfb): a
# right drag pours density in the middle, a left drag pushes it, a PNG screenshot is saved and
# its path printed, and 'q' ends the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${FLUID3D_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target fluid3d particle_bmp
bin=$(cd "$build/bin" && pwd)

if [ -n "${DISPLAY:-}" ]; then
  cd "$bin"
  exec ./fluid3d "$@"
fi

echo "No DISPLAY set: running the demo in a virtual X server (Xvfb)."
work=$(mktemp -d)
xvfb_pid="" demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number and writes it to the given descriptor.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

(cd "$bin" && exec ./fluid3d "$@") &
demo_pid=$!
win=$(timeout 30 xdotool search --sync --onlyvisible --name '^3D volume rendering$' | head -n1)
[ -n "$win" ] || { echo "the demo window did not appear" >&2; exit 1; }
sleep 1

drag() {  # drag BUTTON X0 X1 Y: press at (X0, Y), move in 2-pixel steps to (X1, Y), release
  local button=$1 x=$2 x1=$3 y=$4 step=2 args=()
  [ "$x1" -lt "$x" ] && step=-2
  args+=(mousemove --window "$win" "$x" "$y" mousedown "$button")
  while [ "$x" -ne "$x1" ]; do
    x=$((x + step))
    args+=(sleep 0.04 mousemove --window "$win" "$x" "$y")
  done
  xdotool "${args[@]}" sleep 0.2 mouseup "$button"
}
drag 3 230 270 250   # right button: pour density in the middle
drag 1 244 256 250   # left button: push it a little to the right
sleep 1.5

shot="$bin/demo-screenshot.png"
import -window "$win" "$shot"
echo "Screenshot: $shot"

xdotool mousemove --window "$win" 250 250 key q
status=0
wait "$demo_pid" || status=$?
demo_pid=""
echo "The demo ended with status $status."
exit "$status"
