# The demo's mail server and data folder, shared by scripts/demo and scripts/demo-desktop (sourced,
# with "set -euo pipefail" in force):
#
#   1. starts a private Dovecot on 127.0.0.1 holding the demo mailbox (resources/demo);
#   2. sets up a fresh data folder with the program's own commands: the lists, the settings, one
#      account (the password goes in through SIEVECLAW_PASSWORD), and exports SIEVECLAW_HOME.
#
# Leaves root, build, cli, work, home, password, plain_port, ca_file, messages, max_size and
# problem() behind, and an EXIT trap that stops the server and removes the folder (unless
# SIEVECLAW_DEMO_KEEP=1). Callers name the further programs of app/ they need in
# demo_programs before sourcing.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${SIEVECLAW_BUILD:-$root/build/default}
run_dovecot=$build/tests/support/run_dovecot
cli=$build/app/sieveclaw-cli
mailbox=$root/resources/demo

for program in "$run_dovecot" "$cli" "${demo_programs[@]/#/$build/app/}"; do
    if [[ ! -x $program ]]; then
        echo "demo: $program is missing; build the default preset first" >&2
        exit 1
    fi
done

work=$(mktemp -d /tmp/sieveclaw-demo.XXXXXX)
server_pid=
keep=${SIEVECLAW_DEMO_KEEP:-0}

# shellcheck disable=SC2317  # runs from the EXIT trap
stop_server() {
    if [[ -n $server_pid ]] && kill -0 "$server_pid" 2>/dev/null; then
        kill -TERM "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    if [[ $keep == 1 ]]; then
        echo "The data folder stays: $work/home"
    else
        rm -rf "$work"
    fi
}
trap stop_server EXIT

problems=0
problem() {
    echo "demo: UNEXPECTED: $*" >&2
    problems=$((problems + 1))
}

# --- 1. the server ------------------------------------------------------------------------------
# A fresh password for each run; the server knows only this one.
password="demo-$$-$RANDOM"
info=$work/server.info

"$run_dovecot" --user demo --password "$password" --messages "$mailbox" --info "$info" \
    >"$work/run_dovecot.log" 2>&1 &
server_pid=$!

# run_dovecot writes the info file in one piece once both ports accept connections.
for _ in $(seq 300); do
    [[ -s $info ]] && break
    if ! kill -0 "$server_pid" 2>/dev/null; then
        echo "demo: the POP3 server did not start:" >&2
        cat "$work/run_dovecot.log" >&2
        exit 1
    fi
    sleep 0.1
done
if [[ ! -s $info ]]; then
    echo "demo: the POP3 server did not report its ports within 30 s" >&2
    cat "$work/run_dovecot.log" >&2
    exit 1
fi

plain_port=$(sed -n 's/^plain_port=//p' "$info")
ca_file=$(sed -n 's/^ca_file=//p' "$info")
messages=("$mailbox"/*.eml)
echo "== POP3 server on 127.0.0.1 port $plain_port (STLS offered; its throwaway CA is trusted through"
echo "   SSL_CERT_FILE), mailbox 'demo' with ${#messages[@]} messages from resources/demo"

# --- 2. the data folder -------------------------------------------------------------------------
home=$work/home
mkdir -p "$home"
export SIEVECLAW_HOME=$home XDG_CONFIG_HOME=$home/config
# Above every demo message but the photo (13 KB).
max_size=8192

setup() {
    if ! "$cli" "$@" >>"$work/setup.log" 2>&1; then
        echo "demo: 'sieveclaw-cli $*' failed:" >&2
        cat "$work/setup.log" >&2
        exit 1
    fi
}
setup lists add from lotto
setup lists add body pills
setup lists add body "cash reward"
setup lists add body "verify your account"
setup lists add friends smallshop.example.com
setup settings AutoDelFileExts 1
setup settings MaxMsgSizeHI 0
setup settings MaxMsgSizeLO "$max_size"
SIEVECLAW_PASSWORD=$password setup accounts add --name Demo --pop3-server localhost \
    --pop3-port "$plain_port" --pop3-user demo --email demo@smallshop.example.com

echo "== Data folder $home, set up with sieveclaw-cli:"
echo "   From list: $("$cli" lists show from | paste -sd, - | sed 's/,/, /g')"
echo "   Body list: $("$cli" lists show body | paste -sd, - | sed 's/,/, /g')"
echo "   Friends:   $("$cli" lists show friends | cut -f1 | paste -sd, - | sed 's/,/, /g')"
echo "   Settings:  AutoDelFileExts=1 (extensions .pif and .bat), MaxMsgSize=$max_size bytes"
echo "   Account:   $("$cli" accounts list)"
echo
