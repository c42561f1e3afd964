#!/usr/bin/env bash
# clang-format --dry-run --Werror with the checked-in .clang-format over every
# source the build compiles (its compile_commands.json) and the headers
# beside them, but for what .clang-format-ignore names (shell patterns, one
# a line, as newer clang-format versions read that file themselves); any
# line it would change fails. Exit 77 (skipped) where clang-format is not
# installed.
set -euo pipefail
src="$1"
build="$2"
source "$src/tests/static/compiled_sources.sh"
need clang-format clang-format
cd "$src"
list_sources "$src" "$build" -DWITH_HEADERS=ON
ignored=()
if [ -f .clang-format-ignore ]; then
  while read -r pattern; do
    [[ -z "$pattern" || "$pattern" == \#* ]] || ignored+=("$pattern")
  done <.clang-format-ignore
fi
checked=()
while read -r file; do
  for pattern in "${ignored[@]}"; do
    # shellcheck disable=SC2053 # the pattern is a glob on purpose
    [[ "$file" == $pattern ]] && continue 2
  done
  checked+=("$file")
done <"$lists/files"
clang-format --dry-run --Werror --style=file "${checked[@]}"
echo "clang-format: ${#checked[@]} files as .clang-format has them"
