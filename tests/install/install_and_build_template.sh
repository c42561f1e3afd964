#!/usr/bin/env bash
# Installs Pelloria into a fresh prefix, validates its desktop entry and
# AppStream metadata, builds the controller template and a one-line
# pkg-config controller against the installation alone, and plays both with
# the installed arena.
set -euo pipefail
# Outputs are kept whole before they are searched: grep -q stopping early
# would end the program with SIGPIPE, which pipefail reports as a failure.
src="$1"
build="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "skip: $tool is not installed (scripts/test.sh installs it)"; exit 77; }
done
desktop-file-validate "$prefix/share/applications/pelloria.desktop"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/io.github.pelloria.pelloria.metainfo.xml"

# The installed programs find their brainlet, icon and game host beside them.
test -L "$prefix/bin/pelloria"
test -x "$(dirname "$(readlink -f "$prefix/bin/pelloria-arena")")/pelloria-arena-host"
report="$("$prefix/bin/pelloria-arena" --games 3 --log-dir "$work/logs")"
grep -q "games played          3 of 3" <<<"$report"

# The template, a folder of its own, found through find_package(Pelloria).
cp -r "$src/examples/controller-template" "$work/mine"
cmake -S "$work/mine" -B "$work/mine/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/mine/build" >/dev/null
report="$("$prefix/bin/pelloria-arena" --games 5 --controller "$work/mine/build/libmy_controller.so" --log-dir "$work/logs")"
grep -q "games played          5 of 5" <<<"$report"
grep -q "failed games          0" <<<"$report"

# The handbook's one-line build, from any folder, through pkg-config.
cp "$src/examples/c/nearest_meal.c" "$work/meal.c"
(cd "$work" && PKG_CONFIG_PATH="$prefix/lib/pkgconfig" \
  cc -std=c99 -O2 -shared -fPIC -fvisibility=hidden $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags pelloria) \
     meal.c -o libmeal.so)
report="$("$prefix/bin/pelloria-arena" --games 5 --controller "$work/libmeal.so" --log-dir "$work/logs")"
grep -q "games played          5 of 5" <<<"$report"
echo "installed, validated, built and played"
