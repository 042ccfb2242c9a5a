#!/usr/bin/env bash
# Soak of the real demo. Runs build/bin/fluid3d in a virtual X server (Xvfb) for SECONDS with
# random drags of all three buttons, random keys ('a', 'z' and others) and window reshapes, then
# sends 'q'. Passes when the demo ran throughout, ended with status 0, and its resident memory
# grew by less than 1 MB from the end of the warm-up (the first minute, or the first fifth of a
# run shorter than five minutes) to the end; both are measured at the start size of the window.
# Then fluidsim replays a random script of the same kind (about 30 ticks per second of soak)
# and every value of its dumped fields must be finite, at four points of the script.
#
#   scripts/soak-demo.sh SECONDS
#
# A 10-minute soak: scripts/soak-demo.sh 600. FLUID3D_BUILD_DIR names the build (default:
# build; fluid3d, fluidsim and particle.bmp must be built); FLUID3D_SOAK_SEED repeats a run.
set -uo pipefail

if [[ $# -ne 1 || ! $1 =~ ^[0-9]+$ || $1 -lt 5 ]]; then
  echo "usage: $0 SECONDS   (at least 5)" >&2
  exit 2
fi
duration=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${FLUID3D_BUILD_DIR:-$root/build}
bin=$(cd "$build/bin" 2>/dev/null && pwd) || { echo "no $build/bin: build first" >&2; exit 2; }
for file in fluid3d fluidsim particle.bmp; do
  [[ -e $bin/$file ]] || { echo "missing $bin/$file: build first" >&2; exit 2; }
done
seed=${FLUID3D_SOAK_SEED:-$(( $(date +%s) % 32768 ))}
RANDOM=$seed
echo "soak: $duration s, seed $seed"

work=$(mktemp -d)
xvfb_pid="" demo_pid=""
cleanup() {
  [[ -n $demo_pid ]] && kill "$demo_pid" 2>/dev/null
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "soak FAILED: $*" >&2
  exit 1
}

# --- the demo under Xvfb --------------------------------------------------------------------
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
[[ -s $work/display ]] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

# A fixed mmap threshold keeps the C library from moving the GL driver's large framebuffers
# into the heap after the first reshape, where the holes they leave would count as growth.
(cd "$bin" && MALLOC_MMAP_THRESHOLD_=131072 exec ./fluid3d >"$work/demo.out" 2>"$work/demo.err") &
demo_pid=$!
win=$(timeout 30 xdotool search --sync --onlyvisible --name '^3D volume rendering$' | head -n1)
[[ -n $win ]] || fail "the demo window did not appear"
sleep 1

width=500 height=500
resident_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$demo_pid/status" 2>/dev/null; }
pick() { echo $(( RANDOM % ($2 - $1 + 1) + $1 )); }

random_drag() {  # press a random button, move 3 to 20 random steps, release
  local button x y steps args=()
  button=$(pick 1 3) x=$(pick 0 $((width - 1))) y=$(pick 0 $((height - 1))) steps=$(pick 3 20)
  args=(mousemove --window "$win" "$x" "$y" mousedown "$button")
  for (( s = 0; s < steps; s++ )); do
    x=$(( x + $(pick -25 25) )) y=$(( y + $(pick -25 25) ))
    (( x < 0 )) && x=0; (( x >= width )) && x=$((width - 1))
    (( y < 0 )) && y=0; (( y >= height )) && y=$((height - 1))
    args+=(sleep 0.02 mousemove --window "$win" "$x" "$y")
  done
  xdotool "${args[@]}" mouseup "$button"
}
# Keys go to the window under the pointer (there is no window manager to give focus).
keys=(a a a z z z x b Z A 1 space Escape Left)
random_key() {
  xdotool mousemove --window "$win" "$(pick 0 $((width - 1)))" "$(pick 0 $((height - 1)))" \
    key "${keys[RANDOM % ${#keys[@]}]}"
}
reshape() {  # reshape W H
  width=$1 height=$2
  xdotool windowsize "$win" "$width" "$height"
}
random_action() {
  case $(pick 0 9) in
    [0-5]) random_drag ;;
    [6-8]) random_key ;;
    9) reshape "$(pick 80 900)" "$(pick 80 700)" ;;
  esac
}
alive() { kill -0 "$demo_pid" 2>/dev/null; }

warmup=$(( duration >= 300 ? 60 : duration / 5 ))
start=$SECONDS
actions=0 peak=0
while (( SECONDS - start < warmup )); do
  random_action; actions=$((actions + 1))
  alive || fail "the demo ended during the warm-up"
done
reshape 500 500
sleep 2
baseline=$(resident_kb)
[[ -n $baseline ]] || fail "the demo ended during the warm-up"
echo "resident memory after the ${warmup}-s warm-up: $baseline kB"

while (( SECONDS - start < duration )); do
  random_action; actions=$((actions + 1))
  alive || fail "the demo ended after $((SECONDS - start)) s"
  rss=$(resident_kb)
  (( ${rss:-0} > peak )) && peak=$rss
done
reshape 500 500
sleep 2
final=$(resident_kb)
[[ -n $final ]] || fail "the demo ended at the end of the run"
growth=$(( final - baseline ))
echo "resident memory at the end: $final kB (growth $growth kB, peak $peak kB, $actions actions)"

xdotool mousemove --window "$win" 250 250 key q
status=0
for _ in $(seq 100); do
  alive || break
  sleep 0.1
done
if alive; then
  fail "the demo did not end after 'q'"
fi
wait "$demo_pid" || status=$?
demo_pid=""
echo "demo status after 'q': $status"
(( status == 0 )) || { cat "$work/demo.err" >&2; fail "the demo ended with status $status"; }
(( growth < 1024 )) || fail "resident memory grew by $growth kB"

# --- fluidsim through a random script of the same kind --------------------------------------
script=$work/script.txt
sim_keys=(a a a z z z x b Z A 1)
{
  w=500 h=500
  for (( n = 0; n < duration * 3; n++ )); do
    case $(pick 0 9) in
      [0-5])
        b=$(( RANDOM % 3 )) x=$(pick -50 $((w + 50))) y=$(pick -50 $((h + 50)))
        echo "mouse $b 0 $x $y"
        for (( s = $(pick 3 20); s > 0; s-- )); do
          x=$(( x + $(pick -25 25) )) y=$(( y + $(pick -25 25) ))
          echo "motion $x $y"
          echo "tick 1"
        done
        echo "mouse $b 1 $x $y" ;;
      [6-8]) echo "key ${sim_keys[RANDOM % ${#sim_keys[@]}]}" ;;
      9) w=$(pick 1 900) h=$(pick 1 700); echo "reshape $w $h" ;;
    esac
    echo "tick $(pick 0 10)"
  done
  echo "key q"
} >"$script"
lines=$(wc -l <"$script")
for part in 1 2 3 4; do
  head -n $(( lines * part / 4 )) "$script" >"$work/part.txt"
  "$bin/fluidsim" --script "$work/part.txt" --dump "$work/fields.bin" >"$work/sim.out" 2>&1 ||
    { cat "$work/sim.out" >&2; fail "fluidsim failed on part $part of the script"; }
  values=$(( $(stat -c %s "$work/fields.bin") / 4 ))
  bad=$(od -An -v -tf4 "$work/fields.bin" | tr -s ' ' '\n' | grep -ciE 'nan|inf')
  echo "fluidsim, $part/4 of $lines commands: $(tail -n1 "$work/sim.out"); $values values, $bad not finite"
  (( bad == 0 )) || fail "fluidsim fields hold $bad values that are not finite"
done
echo "soak passed"
