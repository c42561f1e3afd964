#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite headless: once as released,
# with the static checks, then again under AddressSanitizer and
# UndefinedBehaviorSanitizer, where any report fails the run. The builds are
# CMakePresets.json's "default" (build/) and "asan" (build-asan/).
set -euo pipefail
root="$(cd -P "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc)"

# The static and format checks, the Windows cross-build, the sharded-run
# test (GNU parallel), the desktop-file checks and the documents' commands
# (GNU time) need these too.
bash "$root/scripts/setup.sh" clang-tidy cppcheck clang-format g++-mingw-w64-x86-64 g++-mingw-w64-i686 parallel \
  desktop-file-utils appstream gdb time

export QT_QPA_PLATFORM=offscreen
cd "$root"
for preset in default asan; do
  echo "== Preset $preset: build and tests"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --parallel "$jobs"
  ctest --preset "$preset" --parallel "$jobs"
done
