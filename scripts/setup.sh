#!/usr/bin/env bash
# Installs what the station, its tests and its benchmarks need on Debian 12 (run as root).
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config dpkg-dev clang-format lintian
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-odbc libgl-dev
  unixodbc-dev odbcinst tdsodbc
  # The SQL Server road's tests: a second TDS client (pytds, tsql) checks the test server.
  python3-tds freetds-bin
  libzint-dev
  cups cups-client printer-driver-cups-pdf
  xvfb xdotool x11-utils imagemagick zbar-tools poppler-utils ghostscript sqlite3 time
  fonts-liberation2 fonts-crosextra-carlito fonts-wine fontconfig
  # ZPL label printers: libcups to submit spooler jobs and follow them to their end; the sample
  # drivers (the stock ZPL driver, drv:///sample.drv/zebra.ppd) and the raster filters behind it.
  libcups2-dev cups-common cups-filters
  # The Windows build (scripts/windows.sh): MinGW-w64 with POSIX threads, wixl for the MSI, and
  # Wine to test both.
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wixl msitools
  wine wine64 xz-utils
)
# The tests read ZPL labels back with a renderer that runs under Node: Debian's nodejs and npm,
# unless a Node is installed already (another Node package would conflict with Debian's npm).
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The window's designed fonts are Windows fonts; map them to installed metric-compatible ones.
conf=/etc/fonts/conf.d/60-quillon-station-fonts.conf
src="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/station-fonts.conf"
if ! cmp -s "$src" "$conf" 2>/dev/null; then
  install -m 0644 "$src" "$conf"
  fc-cache -f >/dev/null 2>&1 || true
fi

# The tests' ZPL renderer, pinned by tests/zpl/package-lock.json; installed again only when the
# lock changes.
zpl="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/zpl"
if ! cmp -s "$zpl/package-lock.json" "$zpl/node_modules/.quillon-lock" 2>/dev/null; then
  echo "setup: installing the tests' ZPL renderer (npm ci in tests/zpl)"
  (cd "$zpl" && npm ci --silent --no-audit --no-fund >/dev/null)
  cp "$zpl/package-lock.json" "$zpl/node_modules/.quillon-lock"
fi
