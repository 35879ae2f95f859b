#!/usr/bin/env bash
# Two real processes on one data folder: a second sieveclaw asks the first to show its window and
# ends at once; sieveclaw-cli check refuses the folder the desktop program holds and names it;
# sieveclaw refuses the folder sieveclaw-cli run holds; SIGTERM ends sieveclaw as its Exit does.
set -uo pipefail

desktop=${SIEVECLAW_DESKTOP:?the sieveclaw program}
cli=${SIEVECLAW_CLI:?the sieveclaw-cli program}
work=$(mktemp -d)
chmod 700 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Offscreen, with the local sockets and the desktop's folders private to this test.
export SIEVECLAW_HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work TMPDIR=$work
export QT_QPA_PLATFORM=offscreen
lock=$SIEVECLAW_HOME/sieveclaw.lock

# One held account (nothing is checked), its address known, no filter update due.
SIEVECLAW_PASSWORD=pw "$cli" accounts add --name Home --pop3-server 127.0.0.1 --pop3-port 9 --pop3-user jo \
  --email jo@example.org >/dev/null || fail "the account could not be set up"
"$cli" accounts hold Home >/dev/null || fail "the account could not be held"
for part in Year:%Y Month:%-m Day:%-d Hour:%-H Minute:%-M; do
  "$cli" settings "LastDataUpdateDate${part%%:*}" "$(date "+${part#*:}")" >/dev/null
done
"$cli" settings EmailDelay 9 >/dev/null

# Waits until the lock file names program as its holder; echoes its process id.
holder_of() {
  for _ in $(seq 100); do
    if read -r pid name 2>/dev/null <"$lock" && [ "$name" = "$1" ]; then
      echo "$pid"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

"$desktop" /l /m 2>"$work/first.err" &
first=$!
pids+=("$first")
[ "$(holder_of sieveclaw)" = "$first" ] || fail "the first sieveclaw does not hold the folder: $(cat "$lock")"

start=$(date +%s%N)
timeout 10 "$desktop" /m 2>"$work/second.err"
status=$?
elapsed=$((($(date +%s%N) - start) / 1000000))
[ "$status" -eq 0 ] || fail "the second sieveclaw ended with $status: $(cat "$work/second.err")"
for _ in $(seq 50); do
  grep -q "Shown for a later start" "$SIEVECLAW_HOME/spam.log" 2>/dev/null && break
  sleep 0.1
done
grep -q "Shown for a later start" "$SIEVECLAW_HOME/spam.log" || fail "the first sieveclaw did not show its window"
echo "a second start ended after $elapsed ms"
kill -0 "$first" 2>/dev/null || fail "the first sieveclaw ended"

"$cli" check >"$work/check.out" 2>"$work/check.err"
status=$?
[ "$status" -eq 1 ] || fail "sieveclaw-cli check ran beside sieveclaw (exit $status)"
grep -q "is in use by sieveclaw (process $first)" "$work/check.err" ||
  fail "sieveclaw-cli check did not name the holder: $(cat "$work/check.err")"

# The settings the program holds are saved at its end, as with its Exit.
kill -TERM "$first"
wait "$first"
status=$?
[ "$status" -eq 0 ] || fail "sieveclaw ended with $status on SIGTERM: $(cat "$work/first.err")"
grep -q "EmailDelay=9" "$SIEVECLAW_HOME/sieveclaw.ini" || fail "the settings were not saved at the end"

"$cli" run >"$work/run.out" 2>&1 &
service=$!
pids+=("$service")
[ "$(holder_of "sieveclaw-cli run")" = "$service" ] || fail "sieveclaw-cli run does not hold the folder"
# The refusal's box waits for a user who is not there; what it says goes to standard error too.
timeout 5 "$desktop" /m 2>"$work/refused.err"
grep -q "is in use by sieveclaw-cli run (process $service)" "$work/refused.err" ||
  fail "sieveclaw did not name the holder: $(cat "$work/refused.err")"
[ "$(holder_of "sieveclaw-cli run")" = "$service" ] || fail "the refused sieveclaw took the folder"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all single-instance checks passed"
