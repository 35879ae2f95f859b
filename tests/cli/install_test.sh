#!/usr/bin/env bash
# What `cmake --install` puts in place: the program, its manual page and the user service. The
# manual must render without warnings and name every command the program's usage lists and every
# environment variable the sources read.
set -uo pipefail

build=${1:?the build folder}
source=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >"$prefix/install.log" 2>&1 || fail "install: $(cat "$prefix/install.log")"
program=$prefix/bin/sieveclaw-cli
manual=$prefix/share/man/man1/sieveclaw-cli.1
for file in "$program" "$manual" "$prefix/lib/systemd/user/sieveclaw.service"; do
  [ -f "$file" ] || fail "not installed: ${file#"$prefix"/}"
done
[ -x "$program" ] && "$program" --version | grep -q '^sieveclaw-cli ' || fail "the installed program does not run"

warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$manual" 2>&1)
[ -z "$warnings" ] || fail "the manual does not render cleanly: $warnings"
for section in COMMANDS ENVIRONMENT FILES "EXIT STATUS"; do
  grep -q "^\.SH $section\$" "$manual" || fail "the manual has no $section section"
done
for command in $("$program" --help | sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p; s/^  \([a-z][a-z-]*\)$/\1/p' | sort -u); do
  grep -q "^\.B $command\b" "$manual" || fail "the manual does not describe the command $command"
done
for variable in $(grep -rhoE '(getenv|EnvironmentValue)\("[A-Z_]+"' "$source"/{core,mail,net,filter,engine,setup,app} |
  sed 's/.*("//; s/"//' | sort -u); do
  grep -q "$variable" "$manual" || fail "the manual does not name the variable $variable"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all install checks passed"
