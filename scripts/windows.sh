#!/usr/bin/env bash
# Cross-builds the station for 64-bit Windows: quillon.exe, quillon-labdb.exe, quillon-label.exe,
# the test programs that run under Wine, and the installer build/mingw/quillon.msi.
#   scripts/windows.sh             builds the dependencies first when they are nowhere (an hour)
#   scripts/windows.sh --if-deps   builds only when the dependencies are at hand, else says so
#   scripts/windows.sh --deps      prints the dependencies' folder (empty and status 1 if none)
# The dependencies (qtbase 6.4.2, SQLite, zint, MinGW's runtime DLLs) come from the prebuilt
# copy in ../shared/windows beside the clone, unpacked once into a cache folder outside the tree,
# or else are built from Debian's sources by scripts/windows-deps.sh into that cache.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
name=mingw-deps-qt6.4.2
tarball=$root/../shared/windows/$name.tar.xz
# A worktree finds it beside its main clone.
if [ ! -f "$tarball" ] && common=$(git -C "$root" rev-parse --path-format=absolute --git-common-dir 2>/dev/null); then
  [ -f "$common/../../shared/windows/$name.tar.xz" ] && tarball=$common/../../shared/windows/$name.tar.xz
fi
if [ -n "${QUILLON_CACHE:-}" ]; then
  cache=$QUILLON_CACHE
elif [ -w /var/cache ] || [ -w /var/cache/quillon ]; then
  cache=/var/cache/quillon
else
  cache=${XDG_CACHE_HOME:-$HOME/.cache}/quillon
fi
deps=$cache/$name/mingw-deps

have_deps() { [ -f "$deps/.unpacked" ] || [ -f "$tarball" ]; }
unpack_deps() {
  [ -f "$deps/.unpacked" ] && return
  mkdir -p "$cache"
  local tmp
  tmp=$(mktemp -d "$cache/.$name.XXXXXX")
  if [ -f "$tarball" ]; then
    tar -C "$tmp" -xJf "$tarball"
  else
    echo "windows: building the dependencies from Debian's sources (about an hour)"
    bash "$root/scripts/windows-deps.sh" "$tmp/mingw-deps" "$tmp/$name.tar.xz"
    rm -f "$tmp/$name.tar.xz"
  fi
  touch "$tmp/mingw-deps/.unpacked"
  rm -rf "$cache/$name"
  mv "$tmp" "$cache/$name"
}

case "${1:-}" in
--deps)
  if have_deps; then
    unpack_deps
    echo "$deps"
    exit 0
  fi
  exit 1
  ;;
--if-deps)
  if ! have_deps; then
    echo "windows: skipped: no dependencies in ../shared/windows or $cache/$name;" \
      "build them with bash scripts/windows.sh (about an hour)"
    exit 0
  fi
  ;;
esac
unpack_deps

cd "$root"
export QUILLON_MINGW_DEPS=$deps
lock=(flock /tmp/quillon-cpu.lock)
command -v flock >/dev/null || lock=()
[ -f build/mingw/CMakeCache.txt ] ||
  cmake --preset mingw -DCMAKE_CXX_COMPILER_LAUNCHER="$(command -v ccache || true)" >/dev/null
"${lock[@]}" cmake --build --preset mingw -j2 --target quillon quillon-labdb quillon-label windows_tests
"${lock[@]}" cmake --build --preset mingw --target msi
echo "windows: built $root/build/mingw/quillon.msi"
