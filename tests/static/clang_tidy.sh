#!/usr/bin/env bash
# clang-tidy with the checked-in .clang-tidy over one group of the sources
# the build compiles (its compile_commands.json); any finding fails. The
# product's code gets every check, the static analyser included; tests and
# benchmarks get the rest when asked for (cppcheck reads them on every run).
# Exit 77 (skipped) where clang-tidy is not installed.
set -euo pipefail
src="$1"
build="$2"
group="$3"
source "$src/tests/static/compiled_sources.sh"
need clang-tidy clang-tidy
cd "$src"
list_sources "$src" "$build"
# The tests and benchmarks are the groups' one dividing line: everything
# else the build compiles is the product.
case "$group" in
  product) grep -Ev '^(tests|bench)/' "$lists/files" >"$lists/group" || true; extra=() ;;
  tests) grep -E '^(tests|bench)/' "$lists/files" >"$lists/group" || true; extra=(--checks=-clang-analyzer-*) ;;
  *) echo "unknown group '$group'" >&2; exit 2 ;;
esac
tr '\n' '\0' <"$lists/group" |
  xargs -0 -n 2 -P "$(nproc)" clang-tidy -p "$build" --quiet "${extra[@]}" 2>/dev/null
echo "clang-tidy ($group): no findings"
