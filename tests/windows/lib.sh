# Shared helpers of the Windows tests: the end-to-end helpers (tests/e2e/lib.sh) and a fresh
# Wine prefix on a private X display. Exits 77 (skipped) when the Windows build has no
# dependencies here. Usage: source lib.sh <source folder> [Debian build folder]
SOURCE_DIR=${1:?source folder}
DEBIAN_BUILD=${2:-$SOURCE_DIR/build/asan}
MINGW=$SOURCE_DIR/build/mingw
if ! bash "$SOURCE_DIR/scripts/windows.sh" --deps >/dev/null; then
  echo "Windows tests skipped: no dependencies in ../shared/windows or the cache;" \
    "build them with bash scripts/windows.sh (about an hour)"
  exit 77
fi
[ -f "$MINGW/quillon.msi" ] || { echo "FAIL: no Windows build: run bash scripts/windows.sh" >&2; exit 1; }
source "$SOURCE_DIR/tests/e2e/lib.sh" "$MINGW/quillon.exe" "$SOURCE_DIR"
unset windir XDG_CONFIG_HOME XDG_DATA_HOME QT_QPA_PLATFORM ASAN_OPTIONS LSAN_OPTIONS
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
DRIVE_C=$WINEPREFIX/drive_c
PROGRAM='C:\Program Files\Quillon'
INSTALLED=$DRIVE_C/Program\ Files/Quillon
SETTINGS='HKCU\Software\VB and VBA Program Settings'
e2e_cleanup() {
  [ -n "$STATION_PID" ] && kill -9 "$STATION_PID" 2>/dev/null || true
  STATION_PID=""
  wineserver -k 2>/dev/null || true
  cleanup
}
trap e2e_cleanup EXIT
# Wine's complaint about a missing 32-bit part, on every start, is left out.
wine_() { wine "$@" 2> >(grep -v 'wine32\|multiarch\|dpkg --add\|apt-get install' >&2); }
start_display
# Wine failed once in CI to make a fresh prefix, once here to install the MSI, each in a second:
# both get a second try, and show Wine's own words when that fails too.
twice() { "$@" || { wineserver -k 2>/dev/null || true; sleep 2; "$@"; }; }
make_prefix() { rm -rf "$WINEPREFIX" && timeout 300 wineboot -i >"$WORK/wine.log" 2>&1; }
twice make_prefix || { tail -n 20 "$WORK/wine.log" >&2; fail "wineboot could not make a prefix"; }

# A silent install (arguments: the installer's properties); the installed template prints into the
# PDF folder C:\labels.
install_msi() {
  twice wine_ msiexec /i "$(winepath -w "$MINGW/quillon.msi")" /qn /l*v "$(winepath -w "$WORK/wine.log")" "$@" ||
    { tail -n 30 "$WORK/wine.log" >&2; fail "the MSI did not install"; }
  point_template pdf:C:/labels "$INSTALLED/LabBarcodeLabel.rpt"
  export PDF_FOLDER=$DRIVE_C/labels
  mkdir -p "$PDF_FOLDER"
}
# The demo database C:\lab.db, made by the installed quillon-labdb.exe; $WORK/lab.db for labdb.
make_installed_demo() {
  (cd "$DRIVE_C" && wine_ "$PROGRAM\\quillon-labdb.exe" demo 'C:\lab.db' >/dev/null) ||
    fail "the installed quillon-labdb.exe made no demo database"
  ln -s "$DRIVE_C/lab.db" "$WORK/lab.db"
}
# A setting in the registry: <file>\<section> <key> <value>.
set_setting() { wine_ reg add "$SETTINGS\\$1" /v "$2" /d "$3" /f >/dev/null; }
# Ends the installed station (Wine ends it with status 0).
stop_station() {
  wine_ taskkill /f /im quillon.exe >/dev/null 2>&1 || true
  wait "$STATION_PID" 2>/dev/null || true
  STATION_PID=""
}
# The installed station, its window focused as $win.
run_station() {
  (cd "$DRIVE_C" && exec wine "$PROGRAM\\quillon.exe") >>"$WORK/station.log" 2>&1 &
  STATION_PID=$!
  win=$(wait_window '^ Quillon$')
  xdotool windowfocus --sync "$win"
}
