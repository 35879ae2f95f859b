#!/usr/bin/env bash
# The headless commands end to end, in a throwaway data folder: settings, accounts, parse, lists
# and judge, with the files they leave behind.
set -uo pipefail

cli=${SIEVECLAW_CLI:?SIEVECLAW_CLI names the sieveclaw-cli binary}
golden=$(cd "$(dirname "$0")/../mail/golden" && pwd)
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export SIEVECLAW_HOME=$home XDG_CONFIG_HOME=$home/config
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() { [ "$1" == "$2" ] || fail "$3: expected [$2], got [$1]"; }
expect_status() {
  local want=$1; shift
  "$@" >"$home/out" 2>"$home/err"; local got=$?
  [ "$got" -eq "$want" ] || fail "'$*' exited $got, expected $want: $(cat "$home/err")"
}

# --- settings ---------------------------------------------------------------------------------
expect_eq "$("$cli" settings EmailDelay)" "EmailDelay=1" "default interval"
expect_status 0 "$cli" settings EmailDelay 5
expect_eq "$("$cli" settings EmailDelay)" "EmailDelay=5" "interval after setting it"
expect_eq "$("$cli" settings MaxMsgSizeHI)" "MaxMsgSizeHI=16" "maximum size, high half"
expect_status 2 "$cli" settings NoSuchSetting
grep -q '^EmailDelay=5' "$home/sieveclaw.ini" || fail "the ini file does not hold EmailDelay=5"
# The values stored in parts, by the names people use; the parts keep working.
expect_eq "$("$cli" settings MaxMsgSize)" "MaxMsgSize=1048576" "maximum size by its name"
expect_status 0 "$cli" settings MaxMsgSize 65535
expect_eq "$("$cli" settings MaxMsgSizeHI) $("$cli" settings MaxMsgSizeLO)" "MaxMsgSizeHI=0 MaxMsgSizeLO=65535" "parts"
expect_status 0 "$cli" settings HotKey 131137
expect_eq "$("$cli" settings HotKeyHI) $("$cli" settings HotKey)" "HotKeyHI=2 HotKey=131137" "hot key"
expect_status 0 "$cli" settings LastAutoDeleteTime "2024-03-05 07:08:09"
expect_eq "$("$cli" settings LastAutoDeleteTimeYear) $("$cli" settings LastAutoDeleteTimeSecond)" \
  "LastAutoDeleteTimeYear=2024 LastAutoDeleteTimeSecond=9" "time stamp parts"
expect_status 0 "$cli" settings LastDataUpdateDateMonth 11
expect_eq "$("$cli" settings LastDataUpdateDate)" "LastDataUpdateDate=2000-11-01 01:01:01" "time stamp by its name"
expect_status 2 "$cli" settings MaxMsgSize -1
expect_status 2 "$cli" settings LastAutoDeleteTime yesterday
[ "$("$cli" settings | head -1)" == "EmailDelay=5" ] || fail "the list does not start with EmailDelay"

# --- help and version -----------------------------------------------------------------------------
for call in --help -h help; do
  expect_status 0 "$cli" $call
  grep -q '^usage: sieveclaw-cli' "$home/out" || fail "$call prints no usage on standard output"
done
expect_status 0 "$cli" --version
grep -qE '^sieveclaw-cli [0-9]+\.[0-9]+' "$home/out" || fail "--version: $(cat "$home/out")"
for command in headers parse settings accounts judge lists check run salvage bounce discover; do
  expect_status 0 "$cli" "$command" --help
  grep -q "^usage: sieveclaw-cli \[/l\] $command" "$home/out" || fail "$command --help: $(cat "$home/out")"
done
expect_status 2 "$cli" nonsense

# --- accounts ---------------------------------------------------------------------------------
SIEVECLAW_PASSWORD='s3cret pass' expect_status 0 "$cli" accounts add --name Home \
  --pop3-server 127.0.0.1 --pop3-user ann --email ann@example.org
SIEVECLAW_PASSWORD=x expect_status 1 "$cli" accounts add --name Home --pop3-server h --pop3-user u
grep -qF "You already have an account named 'Home'.  Please type a different name." "$home/err" \
  || fail "duplicate name message: $(cat "$home/err")"
SIEVECLAW_PASSWORD=y expect_status 0 "$cli" accounts add --name home --pop3-server h2 --pop3-user u2 \
  --pop3-port 995 --smtp-security when-offered
SIEVECLAW_PASSWORD=y expect_status 2 "$cli" accounts add --name x --pop3-server h --pop3-user u --security tls
expect_status 0 "$cli" accounts hold Home
"$cli" accounts list >"$home/list" || fail "accounts list"
[ "$(wc -l <"$home/list")" -eq 2 ] || fail "two accounts expected: $(cat "$home/list")"
grep -q 'Home.*on hold' "$home/list" || fail "Home is not shown on hold: $(cat "$home/list")"
# Connection security: SSL/TLS on an implicit-TLS port, STARTTLS elsewhere, unless chosen.
grep -qP '^Home\t.*\tPOP3 STARTTLS\tSMTP STARTTLS\t' "$home/list" || fail "Home's security: $(cat "$home/list")"
grep -qP '^home\t.*\tPOP3 SSL/TLS\tSMTP STARTTLS when offered$' "$home/list" || fail "home's security: $(cat "$home/list")"
expect_status 0 "$cli" accounts edit home --security starttls --smtp-security ssl-tls
grep -qP '^home\t.*\tPOP3 STARTTLS\tSMTP SSL/TLS$' <("$cli" accounts list) || fail "edited security: $("$cli" accounts list)"
# Mail left unread: on by default for a server that needs it, set and cleared by the option.
expect_status 0 "$cli" accounts edit home --pop3-server pop.gmail.com
grep -qP '^home\t.*\tleaves mail unread$' <("$cli" accounts list) || fail "gmail default: $("$cli" accounts list)"
expect_status 0 "$cli" accounts edit home --leave-unread no
grep -q 'leaves mail unread' <("$cli" accounts list) && fail "leave-unread no: $("$cli" accounts list)"
expect_status 0 "$cli" accounts edit home --pop3-server pop.gmail.com
grep -q 'leaves mail unread' <("$cli" accounts list) && fail "the same server again changed the switch"
grep -q '^2 leave-unread=0' "$home/accounts.txt" || fail "leave-unread is not stored"
grep -q 's3cret' "$home/list" "$home/accounts.txt" && fail "a password is readable"
[ "$(head -1 "$home/accounts.txt")" == $'Sieveclaw Datastream Version 1.1\r' ] || fail "accounts header"
[ "$(stat -c %a "$home/accounts.txt")" == 600 ] || fail "accounts.txt is not 0600"
expect_status 0 "$cli" accounts remove home
expect_status 1 "$cli" accounts remove nobody
[ "$(sed -n 2p "$home/accounts.txt")" == $'1\r' ] || fail "one account expected after the removal"

# --- check --------------------------------------------------------------------------------------
# An account that cannot be checked through fails the check, and the last line says which and why.
SIEVECLAW_PASSWORD=p expect_status 0 "$cli" accounts add --name Nowhere --pop3-server 127.0.0.1 --pop3-port 1 \
  --pop3-user u
expect_status 1 "$cli" check
expect_eq "$(tail -1 "$home/err")" "sieveclaw-cli check: the check of 'Nowhere' did not complete: could not connect \
to 127.0.0.1 port 1: the connection was refused" "the last line of a failed check"
expect_status 0 "$cli" accounts remove Nowhere

# --- parse --------------------------------------------------------------------------------------
"$cli" parse "$golden/multipart_attachments.eml" >"$home/parsed" || fail "parse"
[ "$(grep -c '^Attachment:' "$home/parsed")" -eq 2 ] || fail "two attachments expected: $(cat "$home/parsed")"
grep -q $'^Attachment:\t application/vnd.ms-excel;\t attachment;\t March figures\t base64\t' "$home/parsed" \
  || fail "first attachment line: $(cat "$home/parsed")"
for name in plain html multipart_attachments folded_header unquoted_boundary; do
  "$cli" parse "$golden/$name.eml" --body >"$home/body" || fail "parse --body $name"
  cmp -s "$home/body" "$golden/$name.body" || fail "parse --body $name differs from its golden body"
done
expect_status 1 "$cli" parse "$home/missing.eml"

# --- lists and judge ----------------------------------------------------------------------------
expect_status 0 "$cli" lists add from casino
expect_status 0 "$cli" lists add body "cheap pills"
expect_status 0 "$cli" lists add friends example.org
expect_eq "$("$cli" lists show from)" "casino" "From list"
mkdir -p "$home/mail"
printf 'Return-Path: <x@y>\nFrom: win@casino-royal.test\nTo: ann@example.org\nSubject: hi\nDate: Mon\n\nhello\n' \
  >"$home/mail/casino.eml"
printf 'Return-Path: <x@y>\nFrom: bob@other.test\nTo: ann@example.org\nSubject: Cheap pills!\nDate: Mon\n\nhello\n' \
  >"$home/mail/pills.eml"
printf 'Return-Path: <x@y>\nFrom: amy@example.org\nTo: ann@example.org\nSubject: cheap pills\nDate: Mon\n\nhi\n' \
  >"$home/mail/friend.eml"
"$cli" judge "$home/mail/casino.eml" "$home/mail/pills.eml" "$home/mail/friend.eml" >"$home/verdicts" \
  || fail "judge"
expect_eq "$(cat "$home/verdicts")" $'spam\tFrom contains \'casino\'\nspam\tThe subject contains \'cheap pills\'\ngood' \
  "verdicts"
expect_status 0 "$cli" lists remove from casino
expect_eq "$("$cli" judge "$home/mail/casino.eml")" "good" "verdict after removing the word"

# --- decoded text -------------------------------------------------------------------------------
# An encoded subject (with an escape sequence in it), a base64 body and an encoded file name: parse
# --decoded shows them as people read them, control characters cleaned; judge finds a word that
# only the decoded body holds.
printf '%s\r\n' 'Received: from mx' 'From: =?UTF-8?B?Q2FzaW5vIEdvbGQ=?= <win@prize.test>' 'To: ann@example.org' \
  'Subject: =?UTF-8?Q?Ihre_Lieferung_f=C3=BCr_Sie_=1B[31m?=' 'Date: Mon' \
  'Content-Type: multipart/mixed; boundary=m' '' '--m' 'Content-Type: text/plain; charset=utf-8' \
  'Content-Transfer-Encoding: base64' '' 'QnV5IFZpYWdyYSBub3c=' '--m' \
  "Content-Disposition: attachment; filename*=UTF-8''r%C3%A9.pif" '' 'TVqQ' '--m--' >"$home/mail/encoded.eml"
"$cli" parse "$home/mail/encoded.eml" --decoded >"$home/decoded" || fail "parse --decoded"
expect_eq "$(sed -n 2,3p "$home/decoded")" $'From: Casino Gold <win@prize.test>\nSubject: Ihre Lieferung f\xc3\xbcr Sie ?[31m' \
  "decoded fields"
expect_eq "$(sed -n '5,$p' "$home/decoded")" $'Text: text/plain\nBuy Viagra now\nAttachment: r\xc3\xa9.pif' \
  "decoded text and file name"
expect_eq "$("$cli" judge "$home/mail/encoded.eml")" "good" "verdict before the word is listed"
expect_status 0 "$cli" lists add body viagra
expect_eq "$("$cli" judge "$home/mail/encoded.eml")" $'spam\tThe email contains \'viagra\'' "verdict on the decoded body"
# --- control characters from mail never reach the terminal --------------------------------------
printf 'Return-Path: <a@b.example>\r\nFrom: a@b.example\r\nTo: c@d.example\r\nSubject: \e[31mred\e[0m\r\nDate: Mon\r\n\r\nbody\r\n' \
  >"$home/mail/escape.eml"
expect_status 0 "$cli" lists add body $'\e[2Jred'
printf 'From: a@b.example\r\nTo: c@d.example\r\nSubject: \e[2Jred\r\nDate: Mon\r\n\r\nbody\r\n' \
  >"$home/mail/wipe.eml"
# A POP3 server whose header and refusal carry escape sequences.
/usr/bin/python3 - "$home/pop3.port" <<'SERVER' &
import socket, sys
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(2)
open(sys.argv[1] + ".tmp", "w").write(str(listener.getsockname()[1]))
__import__("os").rename(sys.argv[1] + ".tmp", sys.argv[1])
header = "Return-Path: <a@b.example>\r\nFrom: a@b.example\r\nTo: c@d.example\r\nSubject: \x1b[31mred\r\nDate: Mon\r\n\r\n.\r\n"
for _ in range(2):
    connection, _ = listener.accept()
    stream = connection.makefile("rwb", buffering=0)
    stream.write(b"+OK ready\r\n")
    for line in stream:
        command = line.decode().strip()
        if command == "PASS bad":
            stream.write(b"-ERR \x1b[2Jdenied\r\n")
            break
        reply = {"STAT": "+OK 1 120\r\n", "TOP 1 0": "+OK\r\n" + header, "QUIT": "+OK bye\r\n"}.get(
            command, "+OK\r\n" if command.split(" ")[0] in ("USER", "PASS") else "-ERR\r\n")
        stream.write(reply.encode())
        if command == "QUIT":
            break
    connection.close()
SERVER
server=$!
for wait in $(seq 50); do [ -s "$home/pop3.port" ] && break; sleep 0.1; done
port=$(cat "$home/pop3.port")
SIEVECLAW_PASSWORD=good "$cli" headers --server 127.0.0.1 --port "$port" --user u >"$home/escapes" 2>&1
SIEVECLAW_PASSWORD=bad "$cli" headers --server 127.0.0.1 --port "$port" --user u >>"$home/escapes" 2>&1
kill "$server" 2>/dev/null
{
  "$cli" parse "$home/mail/escape.eml"
  "$cli" judge "$home/mail/wipe.eml"
  "$cli" lists show body
} >>"$home/escapes" 2>&1
grep -q $'\e' "$home/escapes" && fail "an escape sequence reached the terminal: $(cat -v "$home/escapes")"
for shown in $'1\tc@d.example\ta@b.example\t?[31mred\tMon' 'returned:  ?[2Jdenied' 'Subject: ?[31mred?[0m' \
  "spam	The subject contains '?[2Jred'" '?[2Jred'; do
  grep -qF "$shown" "$home/escapes" || fail "'$shown' not printed: $(cat -v "$home/escapes")"
done
expect_status 0 "$cli" lists remove body $'\e[2Jred'

# --- discover -----------------------------------------------------------------------------------
# A home folder with one Thunderbird profile and an empty Wine prefix: one POP3 account is found,
# saved once, and not added again by a second --save.
fakehome=$home/fakehome
mkdir -p "$fakehome/.thunderbird/abcd.default" "$home/wine"
cat >"$fakehome/.thunderbird/abcd.default/prefs.js" <<'PREFS'
user_pref("mail.accountmanager.accounts", "account1");
user_pref("mail.account.account1.server", "server1");
user_pref("mail.account.account1.identities", "id1");
user_pref("mail.server.server1.type", "pop3");
user_pref("mail.server.server1.hostname", "pop.found.test");
user_pref("mail.server.server1.userName", "finder");
user_pref("mail.server.server1.name", "Found");
user_pref("mail.identity.id1.useremail", "finder@found.test");
PREFS
HOME=$fakehome WINEPREFIX=$home/wine "$cli" discover >"$home/found" || fail "discover: $(cat "$home/found")"
grep -q $'^Found\tpop.found.test' "$home/found" || fail "discovered account: $(cat "$home/found")"
HOME=$fakehome WINEPREFIX=$home/wine expect_status 0 "$cli" discover --save
HOME=$fakehome WINEPREFIX=$home/wine "$cli" discover --save >/dev/null 2>&1
[ "$(grep -c '^Found\b' <("$cli" accounts list))" -eq 1 ] || fail "discover --save twice: $("$cli" accounts list)"

# --- damaged data files are never written over -------------------------------------------------
# Each file, damaged at a known line: every command that would save it, and check, refuse with the
# file and the line, and the file stays byte for byte. A leading byte-order mark is no damage.
expect_status 0 "$cli" accounts hold Found  # check then logs on nowhere
damage_cases=(
  "accounts.txt|2|accounts remove Home;accounts add --name X --pop3-server h --pop3-user u;check"
  "wordlist.txt|1|lists add from spam;lists remove from casino;check;judge $home/mail/pills.eml"
  "sieveclaw.ini|1|settings EmailDelay 3;lists add exts .zip;check"
)
for entry in "${damage_cases[@]}"; do
  IFS='|' read -r file line commands <<<"$entry"
  cp "$home/$file" "$home/saved"
  { printf '\xef\xbb\xbf'; cat "$home/saved"; } >"$home/$file"
  expect_status 0 "$cli" check
  sed "${line}s/^.*\$/[damaged/" "$home/saved" >"$home/$file"
  cp "$home/$file" "$home/damaged"
  IFS=';' read -ra refused <<<"$commands"
  for command in "${refused[@]}"; do
    # shellcheck disable=SC2086
    SIEVECLAW_PASSWORD=x expect_status 1 "$cli" $command
    grep -qF "$home/$file, line $line:" "$home/err" || fail "'$command' over a damaged $file: $(cat "$home/err")"
    cmp -s "$home/$file" "$home/damaged" || fail "'$command' changed the damaged $file"
  done
  cp "$home/saved" "$home/$file"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all command checks passed"
