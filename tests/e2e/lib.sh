# Shared helpers of the end-to-end tests: a private X display, a private configuration and print-log
# folder, a demo lab database, and the real station executable.
# Usage from a test: source lib.sh "$@"   (arguments: path to quillon, source folder)
set -euo pipefail

QUILLON=${1:?path to the quillon executable}
SOURCE_DIR=${2:?source folder}
BUILD_DIR=$(cd "$(dirname "$QUILLON")" && pwd)
LABDB_TOOL="$BUILD_DIR/labdb/quillon-labdb"
WORK=$(mktemp -d /tmp/quillon-e2e.XXXXXX)
SHOTS="$BUILD_DIR/e2e-shots"
mkdir -p "$SHOTS" "$WORK/config/quillon"
export XDG_CONFIG_HOME="$WORK/config"
export windir="$WORK\\Windows"
export QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS=detect_leaks=0
XVFB_PID=""
STATION_PID=""

fail() { echo "FAIL: $*" >&2; exit 1; }

cleanup() {
  [ -n "$STATION_PID" ] && kill "$STATION_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

start_display() {
  local n
  for n in $(seq 91 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && xdpyinfo >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    kill "$XVFB_PID" 2>/dev/null || true
  done
  fail "no X display could be started"
}

# Creates the demo lab database and stores the connection settings for it.
make_demo_lab() {
  "$LABDB_TOOL" demo "$WORK/lab.db" >/dev/null
  printf '[Connection]\nServer=sqlite:%s\n' "$WORK/lab.db" >"$XDG_CONFIG_HOME/quillon/ORVANT Current User.ini"
}

start_station() {
  "$QUILLON" >"$WORK/station.log" 2>&1 &
  STATION_PID=$!
}

# Waits until a window whose name matches the pattern is mapped; prints its id.
wait_window() {
  local pattern=$1 id
  for _ in $(seq 1 150); do
    id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$STATION_PID" 2>/dev/null || { cat "$WORK/station.log" >&2; fail "the station ended early"; }
    sleep 0.2
  done
  cat "$WORK/station.log" >&2
  fail "no window named '$pattern' appeared"
}

screenshot() {
  import -window root "$SHOTS/$1.png"
  [ -s "$SHOTS/$1.png" ] || fail "screenshot $1 is empty"
}

# Waits for the station to end; prints its exit status.
wait_station_exit() {
  local status=0
  for _ in $(seq 1 100); do
    kill -0 "$STATION_PID" 2>/dev/null || break
    sleep 0.1
  done
  wait "$STATION_PID" || status=$?
  STATION_PID=""
  echo "$status"
}
