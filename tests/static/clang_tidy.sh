#!/usr/bin/env bash
# clang-tidy with the checked-in .clang-tidy over one group of our sources;
# any finding fails. The product's code gets every check, the static
# analyser included; tests and benchmarks get the rest when asked for
# (cppcheck reads them on every run). Exit 77 (skipped) where clang-tidy is
# not installed.
set -euo pipefail
src="$1"
build="$2"
group="$3"
command -v clang-tidy >/dev/null || { echo "skip: clang-tidy is not installed (apt-get install clang-tidy)"; exit 77; }
cd "$src"
case "$group" in
  product) folders=(engine brainlet diagnostics replay app views arena python examples); extra=() ;;
  tests) folders=(tests bench); extra=(--checks=-clang-analyzer-*) ;;
  *) echo "unknown group '$group'" >&2; exit 2 ;;
esac
find "${folders[@]}" -name '*.cpp' -print0 |
  xargs -0 -n 2 -P "$(nproc)" clang-tidy -p "$build" --quiet "${extra[@]}" 2>/dev/null
echo "clang-tidy ($group): no findings"
