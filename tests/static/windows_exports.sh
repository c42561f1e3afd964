#!/usr/bin/env bash
# Cross-builds brainlet for 64- and 32-bit Windows and checks the DLL: it
# exports `controller` undecorated and nothing else, has its DllMain, and
# needs nothing beyond the C runtime and the kernel.
# Exit 77 (skipped) where no MinGW-w64 cross compiler is installed.
set -euo pipefail
src="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

checked=0
for arch in x86_64 i686; do
  cxx="$arch-w64-mingw32-g++"
  objdump="$arch-w64-mingw32-objdump"
  nm="$arch-w64-mingw32-nm"
  if ! command -v "$cxx" >/dev/null; then
    echo "skip $arch: $cxx is not installed (apt-get install g++-mingw-w64-${arch//_/-})"
    continue
  fi
  dll="$work/brainlet-$arch.dll"
  "$cxx" -std=c++17 -O2 -Wall -Wextra -Werror -shared -DBRAINLET_BUILD -I"$src" \
    "$src/brainlet/brainlet.cpp" -o "$dll" -static-libgcc -static-libstdc++

  exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p')
  if [ "$exports" != "controller" ]; then
    echo "FAIL $arch: exports are [$exports], expected exactly [controller]"
    exit 1
  fi
  symbols=$("$nm" "$dll")
  if ! grep -Eq ' T _?DllMain(@12)?$' <<<"$symbols"; then
    echo "FAIL $arch: no DllMain in the DLL"
    exit 1
  fi
  imports=$("$objdump" -p "$dll" | sed -n 's/^\s*DLL Name: //p' | sort -u | tr '\n' ' ')
  for lib in $imports; do
    case "$lib" in
      KERNEL32.dll|msvcrt.dll|api-ms-win-crt-*) ;;
      *) echo "FAIL $arch: brainlet.dll needs $lib"; exit 1 ;;
    esac
  done
  echo "ok $arch: exports [controller], has DllMain, imports $imports"
  checked=$((checked + 1))
done
[ "$checked" -gt 0 ] || exit 77
