#!/usr/bin/env bash
# A short Tellavo session: installs what the demo needs and is missing (the
# build tools and libraries of the posix target, nothing of the tests), builds
# the module and the tellavo client in build/demo, starts the gateway
# simulator and talks to it through the client, the way an automation client
# talks to the hosted gateway. The
# product keeps its built-in endpoints (https://gateway.tellavo.example,
# https://report.tellavo.example); https_proxy routes them to the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh demo
cmake --preset demo
cmake --build --preset demo --target tellavo tellavo_module

tellavo=build/demo/bin/tellavo
workdir=$(mktemp -d)
sim_pid=

stop_simulator() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$workdir"
}
trap stop_simulator EXIT

say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
show() { printf '$ %s\n' "$*"; }

# One call of the simulator's control API, straight to it (never through a proxy).
sim_json() {
  python3 - "http://127.0.0.1:$port/_sim/$1" <<'PY'
import json, sys, urllib.request
opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
print(json.dumps(json.load(opener.open(sys.argv[1])), ensure_ascii=False, indent=2))
PY
}

say "First, what a send would cost: no account, no gateway, nothing sent"
show "tellavo send --dry-run --to 5550000001 --text 'Merhaba' --to 5550000002 --text '{€} 😀'"
"$tellavo" send --dry-run --to 5550000001 --text "Merhaba" --to 5550000002 --text "{€} 😀"

say "Starting the gateway simulator"
python3 tools/simulator/gateway_simulator.py --port 0 --ready-file "$workdir/sim.json" &
sim_pid=$!
for _ in $(seq 300); do
  [ -f "$workdir/sim.json" ] && break
  sleep 0.1
done
port=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["port"])' "$workdir/sim.json")
echo "listening on 127.0.0.1:$port; the client reaches it as its HTTPS proxy"
export https_proxy="http://127.0.0.1:$port" http_proxy="http://127.0.0.1:$port"
unset no_proxy NO_PROXY

account=(--user tellavo --vendor 42 --password-stdin)

say "The account's originators (getinfo); the password comes from standard input"
show "echo s3cret | tellavo info ${account[*]}"
echo s3cret | "$tellavo" info "${account[@]}"

say "A Turkish text: the module folds Ş ş Ğ ğ İ ı ç to ASCII (ü Ç Ö stay) and escapes & < >"
text='Şükrü Bey, çayınız hazır & sıcak <İstanbul> Ğ ğ'
show "tellavo send ... --originator TELLAVO --to 5550000001 --text '$text'"
echo s3cret | "$tellavo" send "${account[@]}" --originator TELLAVO --to 5550000001 --text "$text"
echo "What the gateway received:"
sim_json messages | python3 -c 'import json, sys; m = json.load(sys.stdin)["messages"][-1]; print("  " + m["recipients"][0]["text"])'

say "A short and a long message in one basket, sent with sendsms and sendsmsconcat"
long_text=$(printf 'Uzun mesaj %03d. ' $(seq 1 20))
show "tellavo send ... --to 5550000002 --text 'Merhaba' --to 5550000003 --text '<${#long_text} characters>'"
echo s3cret | "$tellavo" send "${account[@]}" --originator INFO \
  --to 5550000002 --text "Merhaba" --to 5550000003 --text "$long_text"

say "The same through the scripting interface: late-bound calls, one JSON line each"
show "tellavo call --json clearsmsbasket -- addtosmsbasket 'Selam' 5550000004 -- sendsms tellavo s3cret TELLAVO '' 42 -- sendsmsconcat ..."
"$tellavo" call --json clearsmsbasket -- addtosmsbasket "Selam" 5550000004 \
  -- sendsms tellavo s3cret TELLAVO "" 42 -- sendsmsconcat tellavo s3cret TELLAVO "" 42
echo '("-2" from sendsmsconcat: the long basket is empty)'

say "Delivery status of message 1000001, and today's report"
show "tellavo status ... 1000001"
echo s3cret | "$tellavo" status "${account[@]}" 1000001
today=$(date +%F)
show "tellavo report ... $today $today"
echo s3cret | "$tellavo" report "${account[@]}" "$today" "$today"

say "A failure: the gateway cannot be reached (the proxy points at a closed port)"
closed=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
show "https_proxy=http://127.0.0.1:$closed tellavo info ..."
echo s3cret | https_proxy="http://127.0.0.1:$closed" "$tellavo" info "${account[@]}" ||
  echo "(exit status $?)"
echo "The scripting interface shows the result code as it is, with the event-log entry:"
show "https_proxy=http://127.0.0.1:$closed tellavo call --json --show-events getinfo tellavo s3cret 42"
https_proxy="http://127.0.0.1:$closed" "$tellavo" call --json --show-events getinfo tellavo s3cret 42

say "Done; the simulator stops now"
