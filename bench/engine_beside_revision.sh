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
objects=()
for source in engine/ball_engine.cpp engine/step.cpp "$root/bench/beside/earlier_side.cpp"; do
  object="$work/$(basename "$source" .cpp).o"
  case "$source" in /*) path="$source" ;; *) path="$work/earlier/$source" ;; esac
  # shellcheck disable=SC2086
  g++ "${flags[@]}" -include "$root/bench/beside/earlier_names.h" -I"$work/earlier" -I"$root" $qt -c "$path" -o "$object"
  objects+=("$object")
done
# shellcheck disable=SC2086
g++ "${flags[@]}" -I"$root" $qt "$root/bench/beside/engine_beside.cpp" "${objects[@]}" \
  "$build/engine/libengine_core.a" -o "$work/engine_beside" \
  -Wl,--no-as-needed -L"$build/bin" -lbrainlet -Wl,-rpath,"$build/bin" $(pkg-config --libs Qt5Core Qt5Gui)
"$work/engine_beside" "${2:-1000000}" "${3:-9}"
