#!/usr/bin/env bash
# This build's headless engine beside the engine of an earlier revision,
# game by game in one process (see bench/beside/engine_beside.cpp).
#   bench/engine_beside_revision.sh REVISION [STEPS [REPETITIONS]]
# Needs a built tree (scripts/build.sh) and a revision whose engine has
# the same interface (resetSeeded, drawFrom an InlineGenerator).
set -euo pipefail
root="$(cd -P "$(dirname "$0")/.." && pwd)"
if [ $# -lt 1 ]; then
  echo "usage: $0 REVISION [STEPS [REPETITIONS]]" >&2
  exit 2
fi
revision="$1"
if ! git -C "$root" rev-parse --verify --quiet "$revision^{commit}" > /dev/null; then
  echo "$0: no revision '$revision' in $root" >&2
  exit 2
fi
build="$root/build"
if [ ! -f "$build/engine/libengine_core.a" ] || [ ! -f "$build/bin/libbrainlet.so" ]; then
  echo "$0: build the tree first (scripts/build.sh)" >&2
  exit 2
fi
work="$(mktemp -d)"
trap 'git -C "$root" worktree remove --force "$work/earlier" > /dev/null 2>&1 || true; rm -rf "$work"' EXIT
git -C "$root" worktree add --detach --quiet "$work/earlier" "$revision"

qt="$(pkg-config --cflags Qt5Core Qt5Gui)"
flags=(-O2 -DNDEBUG -std=c++17 -fPIC)
# The engine's AVX2 files, as CMake builds them on x86-64.
vector=()
if [ "$(uname -m)" = x86_64 ]; then vector=(-DPELLORIA_ENGINE_AVX2); fi
objects=()
# Every engine file of the earlier revision that the step uses, so that a
# helper whose interface has changed since is still the earlier one.
sources=("$root/bench/beside/earlier_side.cpp")
for unit in ball_engine step near_circles near_circles_avx2 move_lanes move_lanes_avx2 processor; do
  if [ -f "$work/earlier/engine/$unit.cpp" ]; then sources+=("engine/$unit.cpp"); fi
done
for source in "${sources[@]}"; do
  object="$work/$(basename "$source" .cpp).o"
  case "$source" in /*) path="$source" ;; *) path="$work/earlier/$source" ;; esac
  extra=()
  case "$source" in *_avx2.cpp) extra=(-mavx2) ;; esac
  # shellcheck disable=SC2086
  g++ "${flags[@]}" "${vector[@]}" "${extra[@]}" -include "$root/bench/beside/earlier_names.h" \
    -I"$work/earlier" -I"$root" $qt -c "$path" -o "$object"
  objects+=("$object")
done
# shellcheck disable=SC2086
g++ "${flags[@]}" -I"$root" $qt "$root/bench/beside/engine_beside.cpp" "${objects[@]}" \
  "$build/engine/libengine_core.a" -o "$work/engine_beside" \
  -Wl,--no-as-needed -L"$build/bin" -lbrainlet -Wl,-rpath,"$build/bin" $(pkg-config --libs Qt5Core Qt5Gui)
"$work/engine_beside" "${2:-1000000}" "${3:-9}"
