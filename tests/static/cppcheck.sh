#!/usr/bin/env bash
# cppcheck over every source file of ours; any finding fails. Exit 77
# (skipped) where cppcheck is not installed.
set -euo pipefail
src="$1"
command -v cppcheck >/dev/null || { echo "skip: cppcheck is not installed (apt-get install cppcheck)"; exit 77; }
cd "$src"
cppcheck --quiet --enable=warning,performance,portability --std=c++17 --library=qt --inline-suppr \
  --error-exitcode=1 -I engine -I brainlet -I app -I views -I arena -I diagnostics -I replay -I python \
  engine brainlet diagnostics replay app views arena python examples tests bench
echo "cppcheck: no findings"
