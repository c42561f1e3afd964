# Sourced by the static checks, which read what the build compiles.

# Skips the check (exit 77) where its tool is not installed.
need() {
  command -v "$1" >/dev/null || { echo "skip: $1 is not installed (apt-get install $2)"; exit 77; }
}

# Lists the sources the build in $2 compiles from the tree in $1 into
# "$lists/files", and the tree's folders it includes from into
# "$lists/includes" (see compiled_sources.cmake; more -D options may
# follow), in a folder removed at exit.
list_sources() {
  lists="$(mktemp -d)"
  trap 'rm -rf "$lists"' EXIT
  cmake -DSOURCE="$1" -DBUILD="$2" -DOUTPUT="$lists/files" -DINCLUDES="$lists/includes" "${@:3}" \
    -P "$1/tests/static/compiled_sources.cmake"
}
