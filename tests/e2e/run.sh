#!/usr/bin/env bash
# The main road end to end: the web service on a free loopback port over HTTPS,
# a Tidora build pointed at it, Tidora under Wine in a fresh prefix of its own
# with two sleepers beside it, a click on Start, then the checks: the sleepers
# ended, the report is stored, its page address went to the https handler,
# and the page renders in headless Chromium (screenshot under the build tree).
#
# Usage: tests/e2e/run.sh SOURCE_DIR TIDORA_BUILD SERVER_BUILD
#   TIDORA_BUILD holds helpers/ (sleeper, clickbutton, urlrecorder); the Tidora
#   under test is built in TIDORA_BUILD/e2e/tidora. SERVER_BUILD holds
#   tidora-server. Certificates: TIDORA_TEST_TLS_DIR (scripts/test's
#   short-lived authority) when set, else scripts/local-ca's in the build tree.
set -uo pipefail
src=$(cd "$1" && pwd)
. "$src/scripts/wine-arch"
pick_wine_arch
enter_wine_arch "$0" "$@"
build=$(cd "$2" && pwd)
server_exe="$3/tidora-server"
helpers="$build/helpers"

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok:   $*"; }
fail() { failed=$((failed + 1)); echo "FAIL: $*" >&2; }
# A failed step the rest depends on: report and stop (the trap cleans up).
die() { fail "$*"; exit 1; }

work=$(mktemp -d /tmp/tidora-e2e.XXXXXX)
server_pid=""
plain_pid=""
tidora_pid=""
sleeper_pids=()
export WINEPREFIX="$work/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The prefix's language follows the locale; the captions below cover both.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

cleanup() {
  local code=$?
  for pid in $tidora_pid "${sleeper_pids[@]}"; do kill "$pid" 2>/dev/null; done
  [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
  for pid in $server_pid $plain_pid; do
    kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  [ -n "${TIDORA_XVFB_PID:-}" ] && stop_private_display
  if [ "$failed" -gt 0 ] || [ "$code" -ne 0 ]; then
    for log in "$work"/*.log; do
      [ -s "$log" ] && { echo "--- $(basename "$log")"; tail -n 30 "$log"; }
    done
  fi
  rm -rf "$work"
  if [ "$failed" -eq 0 ] && [ "$code" -eq 0 ]; then
    echo "e2e summary: PASS, $passed checks passed"
  else
    if [ "$failed" -gt 0 ]; then
      echo "e2e summary: FAIL, $failed failed, $passed passed" >&2
    else
      echo "e2e summary: FAIL, stopped (exit $code) after $passed passed checks" >&2
    fi
    code=1
  fi
  exit "$code"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A process of ours that has not ended (an ended child may linger as a zombie).
alive() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [[ $state != Z* ]]
}
ended() { ! alive "$1"; }

# Polls a condition for up to $1 seconds.
wait_for() {
  local seconds=$1
  shift
  for _ in $(seq $((seconds * 5))); do "$@" && return 0; sleep 0.2; done
  return 1
}

# Starts tidora-server in the background; its first output line is its port.
# start_server VAR_PID VAR_PORT LOG [options...]
start_server() {
  local pid_var=$1 port_var=$2 log=$3 out="$work/$3.port"
  shift 3
  "$server_exe" --address 127.0.0.1 --port 0 --db "$work/service.db" "$@" >"$out" 2>"$work/$log" &
  printf -v "$pid_var" %s $!
  wait_for 20 grep -q '^[0-9]\+$' "$out" || return 1
  printf -v "$port_var" %s "$(head -n 1 "$out")"
}

for exe in sleeper clickbutton urlrecorder; do
  [ -f "$helpers/$exe.exe" ] || die "missing $helpers/$exe.exe (build the Tidora tree first)"
done
[ -x "$server_exe" ] || die "missing $server_exe (build server/ first)"
command -v chromium >/dev/null || die "chromium is not installed (scripts/deps installs it)"

# --- certificates the machine trusts, for https://localhost
if [ -n "${TIDORA_TEST_TLS_DIR:-}" ] && [ -s "$TIDORA_TEST_TLS_DIR/localhost.crt" ]; then
  cert="$TIDORA_TEST_TLS_DIR/localhost.crt" key="$TIDORA_TEST_TLS_DIR/localhost.key"
  ca="$TIDORA_TEST_TLS_DIR/ca.crt"
else
  "$src/scripts/local-ca" "$build/local-ca" >"$work/local-ca.log" 2>&1 || die "scripts/local-ca failed"
  cert="$build/local-ca/server.crt" key="$build/local-ca/server.key" ca="$build/local-ca/ca.crt"
fi

# --- the service
start_server server_pid port https.log --cert "$cert" --key "$key" || die "the HTTPS server did not start"
base="https://localhost:$port"
curl -sf --cacert "$ca" -o /dev/null "$base/api.init.php" && pass "server answers on $base" ||
  die "server does not answer on $base"

# --- Tidora built against it
tidora_build="$build/e2e/tidora"
cmake -S "$src" -B "$tidora_build" -DCMAKE_BUILD_TYPE=Release -DTIDORA_TESTS=OFF \
  -DTIDORA_ARCH="$TIDORA_ARCH" -DTIDORA_SERVICE_URL="$base" >"$work/build.log" 2>&1 &&
  cmake --build "$tidora_build" --target tidora -j"$(nproc)" >>"$work/build.log" 2>&1 ||
  die "building Tidora against $base failed"
pass "Tidora built against $base"

# --- display and prefix
if [ -z "${DISPLAY:-}" ]; then
  . "$src/scripts/xvfb"
  start_private_display || die "no display"
fi
"$src/scripts/wine-prefix" "$WINEPREFIX" || die "the Wine prefix did not boot"
mkdir -p "$work/bin"
cp "$helpers/urlrecorder.exe" "$helpers/clickbutton.exe" "$work/bin/"
opened="$work/opened-urls.txt"
wine reg add 'HKCR\https\shell\open\command' /ve /f \
  /d "\"$(winepath -w "$work/bin/urlrecorder.exe")\" \"$(winepath -w "$opened")\" \"%1\"" \
  >"$work/reg.log" 2>&1 || die "registering the https handler failed"

# --- two sleepers in the prefix, under names nothing protects
mkdir -p "$work/sleepers"
for name in e2esleepera e2esleeperb; do
  cp "$helpers/sleeper.exe" "$work/sleepers/$name.exe"
  wine "$work/sleepers/$name.exe" --seconds 300 </dev/null >/dev/null 2>&1 &
  sleeper_pids+=($!)
done
# Running as a Windows process once Wine has loaded its kernel32 into it.
sleeper_running() { alive "$1" && grep -qi kernel32 "/proc/$1/maps" 2>/dev/null; }
for pid in "${sleeper_pids[@]}"; do
  wait_for 30 sleeper_running "$pid" || die "a sleeper did not start"
done
pass "two sleepers running in the prefix"

# --- Tidora: click Start, wait for it to end
wine "$tidora_build/tidora.exe" </dev/null >"$work/tidora.log" 2>&1 &
tidora_pid=$!
wine "$work/bin/clickbutton.exe" TFrmTidora 60 Clean 실행하기 </dev/null >"$work/click.log" 2>&1 ||
  die "found no Start button on a TFrmTidora window"
pass "clicked Start"
wait_for 120 ended "$tidora_pid" || die "tidora.exe did not end within 120 s"
tidora_pid=""
pass "tidora.exe ended"

for i in 0 1; do
  name=$([ $i -eq 0 ] && echo e2esleepera || echo e2esleeperb)
  if wait_for 15 ended "${sleeper_pids[$i]}"; then
    pass "sleeper $name was ended"
  else
    fail "sleeper $name still runs"
  fi
done

# --- the report page address handed to the browser
wait_for 20 test -s "$opened" || die "no address reached the https handler"
url=$(head -n 1 "$opened")
id=${url#"$base/?report="}
if [ "$id" != "$url" ] && [[ "$id" =~ ^[A-Za-z0-9_-]{16,}$ ]]; then
  pass "report page address handed to the https handler: $url"
else
  die "the https handler got '$url', not $base/?report=<id>"
fi

# --- the report stored and shown
page="$work/report.html"
if curl -sf --cacert "$ca" -H 'Accept-Language: en' -o "$page" "$url"; then
  pass "report page served over HTTPS"
else
  die "report page $url not served"
fi
for want in e2esleepera e2esleeperb '<svg'; do
  grep -qi -- "$want" "$page" && pass "report page shows $want" || fail "report page lacks $want"
done

# --- the page in headless Chromium. Chromium trusts NSS, not the machine's
# store, so it reads the same database from a second, plain-HTTP instance.
kill -TERM "$server_pid" && wait "$server_pid" 2>/dev/null
server_pid=""
start_server plain_pid plain_port http.log || die "the plain HTTP server did not start"
shots="$build/screenshots"
mkdir -p "$shots"
shot="$shots/report-page.png"
rm -f "$shot"
timeout 90 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync --lang=en-US \
  --user-data-dir="$work/chromium" --window-size=1000,1200 --screenshot="$shot" \
  "http://127.0.0.1:$plain_port/?report=$id" >"$work/chromium.log" 2>&1
size=$(stat -c %s "$shot" 2>/dev/null || echo 0)
colors=$(identify -format '%k' "$shot" 2>/dev/null || echo 0)
geometry=$(identify -format '%wx%h' "$shot" 2>/dev/null || echo none)
if [ "$size" -gt 10000 ] && [ "$colors" -gt 16 ] && [ "$geometry" = 1000x1200 ]; then
  pass "screenshot $shot ($geometry, $size bytes, $colors colours)"
else
  fail "screenshot $shot missing or blank ($geometry, $size bytes, $colors colours)"
fi
[ "$failed" -eq 0 ]
