#!/usr/bin/env bash
# Makes the Debian package with cpack, unpacks it with dpkg -x and runs its
# programs from there.
set -euo pipefail
# Outputs are kept whole before they are searched: grep -q stopping early
# would end the program with SIGPIPE, which pipefail reports as a failure.
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
command -v dpkg-deb >/dev/null || { echo "skip: dpkg-deb is not installed"; exit 77; }

(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
deb="$(ls "$work"/package/pelloria_*.deb)"
info="$(dpkg-deb --info "$deb")"
grep -q "Depends: libqt5widgets5" <<<"$info"
dpkg -x "$deb" "$work/root"
test -f "$work/root/usr/include/pelloria/brainlet.h"
test -f "$work/root/usr/share/applications/pelloria.desktop"
test -x "$(dirname "$(readlink -f "$work/root/usr/bin/pelloria-arena")")/pelloria-arena-host"
report="$("$work/root/usr/bin/pelloria-arena" --games 3 --log-dir "$work/logs")"
grep -q "games played          3 of 3" <<<"$report"
report="$("$work/root/usr/bin/pelloria-arena" --games 3 --log-dir "$work/logs" \
  --controller "$(dirname "$(readlink -f "$work/root/usr/bin/pelloria-arena")")/libgreedy_brainlet.so")"
grep -q "agent 0 survived" <<<"$report"

# The Python module where Debian's python3 looks, the Python brainlet beside
# the programs, the handbook and the examples; the module imports from the
# package alone, and the arena plays a Python controller with it.
programs="$(dirname "$(readlink -f "$work/root/usr/bin/pelloria-arena")")"
test -f "$work/root/usr/share/doc/pelloria/controllers.md"
test -f "$work/root/usr/share/doc/pelloria/python.md"
test -f "$work/root/usr/share/doc/pelloria/examples/python/train.py"
if [ -f "$programs/libpybrainlet.so" ]; then
  grep -q "Recommends: python3 (>= " <<<"$info"
  module="$(ls "$work"/root/usr/lib/python3/dist-packages/pelloria.*.so)"
  # A sanitizer build's module needs its runtimes loaded first into
  # Debian's uninstrumented python3 (see tests/CMakeLists.txt).
  imported="$(cd "$work" && LD_PRELOAD="${PELLORIA_PYTHON_PRELOAD:-}" PYTHONPATH="$(dirname "$module")" /usr/bin/python3 -c \
    'import pelloria; print(pelloria.__file__, pelloria.Game().reset(seed=5)[1]["seed"])')"
  [ "$imported" = "$module 5" ]
  printf 'def controller(obs):\n    return 4\n' > "$work/right.py"
  report="$(PELLORIA_PY_CONTROLLER="$work/right.py" "$work/root/usr/bin/pelloria-arena" --games 2 \
    --log-dir "$work/logs" --controller "$programs/libpybrainlet.so")"
  grep -q "games played          2 of 2" <<<"$report"
fi
echo "packaged $(basename "$deb"), unpacked and played"
