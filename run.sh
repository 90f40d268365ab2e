#!/usr/bin/env bash
# Installs what is missing, builds a Release build, starts the stand-in backend on 127.0.0.1 and
# then the application against it (the demo account is shown). With a display the application opens
# its windows for you; without one ($DISPLAY unset) it runs under Xvfb and takes the scripted demo
# tour (sign in, main window, connect, disconnect, the settings and plans sheets, the menu bar, the
# full layout with the map, log out), writing a screenshot of each step to
# out/screens/ and printing their paths. The tour keeps its data in a temporary folder, so your own
# settings and keychain stay untouched. After the tour a second launch shows the installation the
# first one registered and deletes it, and the installations requests the stand-in served are
# listed, with the session start event the tour's launch uploaded (decoded by protoc); when the tour
# ends before that event went out, the application keeps running until the next upload pass has
# sent it (at most 35 s more). Nothing but 127.0.0.1 is contacted. Stopping the application stops the backend too.
#   VELMORA_JOBS=N        build jobs (default: all cores)
#   VELMORA_STANDIN_PORT  the stand-in's port (default: a free one)
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh

# The Release configuration ./test.sh builds and tests (build/rel); only the programs run here are
# built, and after ./test.sh they are already up to date.
cmake -S . -B build/rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=ON -DVELMORA_WERROR=ON >/dev/null
cmake --build build/rel -j "${VELMORA_JOBS:-$(nproc)}" --target velmora velmora-standin velmora-installations

work=$(mktemp -d)
standin=""
cleanup() {
  if [ -n "$standin" ]; then
    kill "$standin" 2>/dev/null || true
    wait "$standin" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

log="$work/standin.log"
build/rel/standin/velmora-standin --port "${VELMORA_STANDIN_PORT:-0}" >"$log" 2>&1 &
standin=$!
for _ in $(seq 1 100); do
  grep -q "^demo account: " "$log" && break
  kill -0 "$standin" 2>/dev/null || { cat "$log"; exit 1; }
  sleep 0.1
done
cat "$log"
VELMORA_API_BASE=$(grep -o 'http://127\.0\.0\.1:[0-9]*/api/' "$log" | head -n 1)
account=$(sed -n 's/^demo account: //p' "$log" | head -n 1)
if [ -z "$VELMORA_API_BASE" ] || [ -z "$account" ]; then
  echo "run.sh: the stand-in did not report its address and demo account" >&2
  exit 1
fi
VELMORA_DEMO_EMAIL=${account%% / *}
VELMORA_DEMO_PASSWORD=${account#* / }
# The app core's services (the installation identity) go to the same stand-in.
VELMORA_TESSERA_BASE=${VELMORA_API_BASE%/api/}
export VELMORA_API_BASE VELMORA_TESSERA_BASE VELMORA_DEMO_EMAIL VELMORA_DEMO_PASSWORD

if [ -n "${DISPLAY:-}" ]; then
  # A tour asked for on the command line signs in and out: it too gets a throwaway data folder.
  for arg in "$@"; do
    case "$arg" in --tour|--tour=*) export VELMORA_HOME="$work/home" ;; esac
  done
  echo "Starting Velmora against $VELMORA_API_BASE (sign in with $VELMORA_DEMO_EMAIL / $VELMORA_DEMO_PASSWORD)"
  status=0
  build/rel/app/velmora "$@" || status=$?
  exit "$status"
fi

if ! command -v xvfb-run >/dev/null; then
  echo "run.sh: no display and no xvfb-run to make one; install the xvfb package" >&2
  exit 1
fi
shots="out/screens"
mkdir -p "$shots"
rm -f "$shots"/[0-9][0-9]-*.png "$shots"/[0-9][0-9]-*.txt
echo "No display: running the demo tour under Xvfb against $VELMORA_API_BASE; screenshots go to $shots/"
# Auth tokens that live half an hour are refreshed at every launch (within the hour of expiry).
curl -s -d '' "$VELMORA_TESSERA_BASE/admin/installations/token-lifetime?seconds=1800" >/dev/null
# The launch's session start event goes out with an upload pass (0.5 s after the launch, then every
# 30 s), which a loaded machine may not reach before the tour's last step. So the application keeps
# running after the tour until the stand-in has the event, or the next pass is past.
session_uploaded() {
  curl -s "$VELMORA_TESSERA_BASE/admin/upload/bodies?target=1001" | grep -q '"status":200'
}
VELMORA_HOME="$work/home" VELMORA_TOUR_HOLD_SECONDS=60 xvfb-run -a -s "-screen 0 1280x1024x24" \
  sh -c 'echo $$ >"$1"; shift; exec "$@"' sh "$work/app.pid" \
  build/rel/app/velmora --tour "$shots" > >(tee "$work/tour.out") &
tour=$!
while kill -0 "$tour" 2>/dev/null && ! grep -q '^Tour finished: ' "$work/tour.out" 2>/dev/null; do
  sleep 0.2
done
if kill -0 "$tour" 2>/dev/null; then
  if ! session_uploaded; then
    echo "The session start event is not uploaded yet; waiting for the next upload pass (up to 35 s)..."
    for _ in $(seq 1 70); do
      session_uploaded && break
      kill -0 "$tour" 2>/dev/null || break
      sleep 0.5
    done
  fi
  kill -TERM "$(cat "$work/app.pid")" 2>/dev/null || true
fi
status=0
wait "$tour" || status=$?
if [ "$status" -ne 0 ]; then
  echo "run.sh: the demo tour failed (exit code $status)" >&2
  exit "$status"
fi
echo "Screenshots of the tour:"
for shot in "$shots"/[0-9][0-9]-*.png; do
  echo "  $(realpath "$shot")"
done
# A second launch finds the installation the tour's launch registered, then deletes it.
echo "The installation after a restart, and its deletion:"
VELMORA_HOME="$work/home" build/rel/installations/tool/velmora-installations id
VELMORA_HOME="$work/home" build/rel/installations/tool/velmora-installations delete
echo "Installations requests the stand-in served:"
grep '^request: .* /v1/tenants/' "$log" | sed 's/^request: /  /'
# The tour's launch started a session: its settings request and its start event's upload.
echo "Session settings requests and session event uploads the stand-in served:"
grep -e '^request: GET /settings/v1/platforms/macos/' -e '^request: POST /v1/tlg/' "$log" | sed 's/^request: /  /' || true
python3 scripts/session_events.py "$VELMORA_TESSERA_BASE"
