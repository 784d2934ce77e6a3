#!/usr/bin/env bash
# The print spooler for tests and the demo: cupsd with a PDF printer "LabelPDF" as the default
# destination. Runs as root on a machine without systemd.
#   cups.sh start    start cupsd (unless it already runs) and set up LabelPDF; idempotent
#   cups.sh stop     stop the cupsd that "start" started (found by its PID file)
#   cups.sh outdir   print the folder where LabelPDF writes the current user's jobs
#   cups.sh zpl PORT point two queues at a network ZPL printer on 127.0.0.1:PORT: "LabelZPL" with
#                    the stock ZPL label driver (PDF through the raster filters), "LabelRaw" a raw
#                    queue; a job that fails is aborted rather than stopping the queue
set -euo pipefail

pidfile="${QUILLON_CUPSD_PIDFILE:-/tmp/quillon-cupsd.pid}"
conf=/etc/cups/cups-pdf.conf
queue=LabelPDF

running() { lpstat -r 2>/dev/null | grep -q "is running"; }

quietly() {
  local out
  out="$("$@" 2>&1)" || { printf '%s\n' "$out" >&2; return 1; }
}

ours_alive() { [[ -s "$pidfile" ]] && kill -0 "$(cat "$pidfile")" 2>/dev/null; }

# The folder cups-pdf writes to for a user: its "Out" setting with ${HOME} and ${USER} filled in.
outdir() {
  local user home out
  user="$(id -un)"
  home="$(getent passwd "$user" | cut -d: -f6)"
  out="$(sed -n 's/^[[:space:]]*Out[[:space:]]\+//p' "$conf" 2>/dev/null | tail -n 1)"
  out="${out:-\${HOME\}/PDF}"
  out="${out//\$\{HOME\}/$home}"
  out="${out//\$\{USER\}/$user}"
  printf '%s\n' "${out%/}"
}

start() {
  if ! running; then
    if ! ours_alive; then
      mkdir -p /run/cups
      /usr/sbin/cupsd -f >/dev/null 2>&1 &
      echo $! >"$pidfile"
    fi
    for _ in $(seq 1 200); do
      running && break
      sleep 0.05
    done
    running || { echo "cups.sh: cupsd did not start" >&2; exit 1; }
  fi
  if ! lpstat -p "$queue" >/dev/null 2>&1; then
    # lpadmin warns that printer drivers are deprecated; show its output only when it fails.
    quietly lpadmin -p "$queue" -v cups-pdf:/ -E -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd
  fi
  cupsenable "$queue" >/dev/null 2>&1 || true
  cupsaccept "$queue" >/dev/null 2>&1 || true
  if [[ "$(lpstat -d 2>/dev/null)" != *": $queue" ]]; then
    quietly lpadmin -d "$queue"
  fi
  mkdir -p "$(outdir)"
}

zpl() {
  local port=${1:?usage: cups.sh zpl PORT}
  # lpadmin warns that drivers and raw queues are deprecated; show its output only when it fails.
  quietly lpadmin -p LabelZPL -v "socket://127.0.0.1:$port" -m drv:///sample.drv/zebra.ppd \
    -o printer-error-policy=abort-job
  quietly lpadmin -p LabelRaw -v "socket://127.0.0.1:$port" -m raw -o printer-error-policy=abort-job
  for queue in LabelZPL LabelRaw; do
    cupsenable "$queue"
    cupsaccept "$queue"
  done
}

stop() {
  if [[ -s "$pidfile" ]]; then
    local pid
    pid="$(cat "$pidfile")"
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid"
      for _ in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
      done
    fi
    rm -f "$pidfile"
  fi
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  outdir) outdir ;;
  zpl) zpl "${2:-}" ;;
  *)
    echo "usage: $0 start|stop|outdir|zpl PORT" >&2
    exit 2
    ;;
esac
