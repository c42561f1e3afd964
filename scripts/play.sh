#!/usr/bin/env bash
# Sets up, builds and starts the game from its own folder.
set -euo pipefail
root="$(cd -P "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${PELLORIA_BUILD_DIR:-$root/build}"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display to open the window on: run this from a desktop session, or under a virtual one such as 'xvfb-run -a scripts/play.sh' (apt-get install xvfb)." >&2
  exit 1
fi
cd "$build/bin"
exec ./pelloria "$@"
