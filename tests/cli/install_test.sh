#!/usr/bin/env bash
# What `cmake --install` puts in place: the programs, their manual pages, the user service, the
# desktop entry with its icon, the default sounds and the user manual. The
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

share=$prefix/share
for file in bin/sieveclaw share/man/man1/sieveclaw.1 share/applications/sieveclaw.desktop \
  share/icons/hicolor/scalable/apps/sieveclaw.svg share/doc/sieveclaw/manual/README.md; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
entry=$share/applications/sieveclaw.desktop
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ -x "$prefix/bin/$exec_program" ] || fail "the desktop entry starts '$exec_program', which is not installed"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the desktop entry's icon '$icon' is not installed"
for sound in clawed.wav mailin.wav; do
  file=$share/sieveclaw/sounds/$sound
  [ "$(head -c 4 "$file" 2>/dev/null)" = RIFF ] && [ "$(tail -c +9 "$file" | head -c 4)" = WAVE ] ||
    fail "the default sound $sound is not installed as a wave file"
done
for page in $(grep -o '([a-z-]*\.md)' "$share/doc/sieveclaw/manual/README.md" | tr -d '()'); do
  [ -f "$share/doc/sieveclaw/manual/$page" ] || fail "the manual links to $page, which is not installed"
done

warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$manual" "$share/man/man1/sieveclaw.1" 2>&1)
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
