#!/usr/bin/env bash
# The Windows build's test programs, under Wine: text rules, the settings store on the registry,
# the print log, the label template, its renderer, the ZPL renderer, and the SQLite lab database
# (its file identity checked at each transaction, the lease on LockFileEx).
source "$(dirname "$0")/lib.sh" "$@"
export QT_QPA_PLATFORM=offscreen
status=0
for t in tst_textrules tst_connection tst_printlog tst_labeltemplate tst_labelrenderer tst_zplrenderer \
  tst_labdb; do
  # Output goes to a file: Wine does not hand a console program's own to a pipe.
  out="$WORK/$t.txt"
  functions=()
  # Only the functions that need no TDS test server (a Linux program) run on Windows.
  [ "$t" = tst_connection ] && mapfile -t functions < <(
    cd "$MINGW" && timeout 60 wine "$t.exe" -functions 2>/dev/null | tr -d '\r' |
      sed 's/()$//' | grep -v -i 'server\|tds\|silent\|linkSecured')
  (cd "$MINGW" && timeout 240 wine "$t.exe" "${functions[@]}" -o "$(winepath -w "$out"),txt" >/dev/null 2>&1) ||
    status=1
  grep -E '^(FAIL|Totals)' "$out" 2>/dev/null | sed "s/^/$t: /" || { echo "$t: no output"; status=1; }
done
[ "$status" = 0 ] || fail "a Windows test program failed"
echo "windows unit: passed"
