#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite headless: once as released,
# with the static checks, then again under AddressSanitizer and
# UndefinedBehaviorSanitizer, where any report fails the run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${PELLORIA_BUILD_DIR:-$root/build}"
sanitized="${PELLORIA_SANITIZE_BUILD_DIR:-$root/build-asan}"
jobs="$(nproc)"

# The static checks, the Windows cross-build and the sharded-run test
# (GNU parallel) need these too.
bash "$root/scripts/setup.sh" clang-tidy cppcheck g++-mingw-w64-x86-64 g++-mingw-w64-i686 parallel

export QT_QPA_PLATFORM=offscreen

echo "== Release build: tests and static checks"
PELLORIA_BUILD_DIR="$build" bash "$root/scripts/build.sh"
(cd "$build" && ctest --output-on-failure --parallel "$jobs")

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build: tests"
PELLORIA_BUILD_DIR="$sanitized" bash "$root/scripts/build.sh" \
  -DPELLORIA_SANITIZE=address,undefined -DPELLORIA_STATIC_CHECKS=OFF
cd "$sanitized"
ctest --output-on-failure --parallel "$jobs"
