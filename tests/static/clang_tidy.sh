#!/usr/bin/env bash
# clang-tidy over every source file of ours, with the checked-in .clang-tidy;
# any finding fails. Exit 77 (skipped) where clang-tidy is not installed.
set -euo pipefail
src="$1"
build="$2"
command -v clang-tidy >/dev/null || { echo "skip: clang-tidy is not installed (apt-get install clang-tidy)"; exit 77; }
cd "$src"
find engine brainlet app views arena examples tests bench -name '*.cpp' -print0 |
  xargs -0 -n 4 -P "$(nproc)" clang-tidy -p "$build" --quiet 2>/dev/null
echo "clang-tidy: no findings"
