#!/usr/bin/env bash
# cppcheck over every source file the build compiles (its
# compile_commands.json), with the tree's include folders it compiles with;
# any finding fails. Exit 77 (skipped) where cppcheck is not installed.
set -euo pipefail
src="$1"
build="$2"
source "$src/tests/static/compiled_sources.sh"
need cppcheck cppcheck
cd "$src"
list_sources "$src" "$build"
mapfile -t files <"$lists/files"
mapfile -t includes < <(sed 's/^/-I/' "$lists/includes")
cppcheck --quiet --enable=warning,performance,portability --std=c++17 --library=qt --inline-suppr \
  --error-exitcode=1 "${includes[@]}" "${files[@]}"
echo "cppcheck: no findings"
