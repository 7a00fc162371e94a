#!/usr/bin/env bash
# Renders the report page (Korean and English) and an entry page in headless
# Chromium, from the real server on 127.0.0.1 with a small fixed set of
# reports from eight users, into OUT_DIR. Prints ok:/FAIL: per check; stops
# the server it started, also on failure. Exit 77 (skipped) without Chromium.
#
# Usage: screenshots.sh TIDORA_SERVER OUT_DIR
set -uo pipefail
exe=$1
out=$2
command -v chromium >/dev/null || { echo "chromium is not installed: skipped"; exit 77; }

work=$(mktemp -d /tmp/tidora-shots.XXXXXX)
pid=""
failed=0
cleanup() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  [ "$failed" -gt 0 ] && tail -n 20 "$work/server.log"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
fail() { failed=$((failed + 1)); echo "FAIL: $*" >&2; }

"$exe" --address 127.0.0.1 --port 0 --db "$work/service.db" >"$work/port" 2>"$work/server.log" &
pid=$!
for _ in $(seq 100); do grep -q '^[0-9]\+$' "$work/port" && break; sleep 0.1; done
port=$(head -n 1 "$work/port")
[ -n "$port" ] || { fail "the server did not start"; exit 1; }
base="http://127.0.0.1:$port"

# post USER BODY: prints the report id.
post() {
  curl -sf -H "User-Union: $1" -H 'User-Version: 1.0.0.1' -H 'Content-Type: application/json' \
    --data-binary "$2" "$base/report.php" | sed -n 's/.*"pk":"\([^"]*\)".*/\1/p'
}
gb=1073741824
run='HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\'
common="{\"cate\":\"start\",\"item\":\"${run}OneDrive\",\"from\":\"HKCU\"},{\"cate\":\"start\",\"item\":\"Spooler\",\"from\":\"SERV\"}"
addon='{"cate":"install","displayname":"AhnLab Safe Transaction","publisher":"AhnLab, Inc."}'
for u in 1 2 3 4 5 6 7; do
  freed=$((u * 150 * 1048576))
  body="[{\"cate\":\"memory\",\"old\":\"$((2 * gb))\",\"new\":\"$((2 * gb + freed))\",\"tot\":\"$((8 * gb))\"},"
  body+="{\"cate\":\"clean\",\"file\":\"app$u.exe\",\"state\":\"-1\"},$common"
  [ "$u" -le 5 ] && body+=",$addon"
  [ "$u" -le 3 ] && body+=",{\"cate\":\"start\",\"item\":\"${run}Updater\",\"from\":\"HKCU\"}"
  body+="]"
  [ -n "$(post "USER000$u" "$body")" ] || fail "report of user $u not stored"
done
mine="[{\"cate\":\"memory\",\"old\":\"$((2 * gb))\",\"new\":\"$((2 * gb + 700 * 1048576))\",\"tot\":\"$((8 * gb))\"}"
mine+=',{"cate":"clean","file":"%ProgramFiles%\\Mozilla Firefox\\firefox.exe","state":"-1"}'
mine+=',{"cate":"clean","file":"\uba54\ubaa8\uc7a5.exe","state":"-1"}'
mine+=',{"cate":"clean","file":"%LocalAppData%\\Discord\\app-1.0\\Discord.exe","state":"-1"}'
mine+=',{"cate":"clean","file":"%SystemRoot%\\explorer.exe","state":"1"}'
mine+=',{"cate":"clean","file":"%ProgramFiles%\\AhnLab\\Safe Transaction\\asdsvc.exe","state":"1"}'
mine+=',{"cate":"clean","file":"%ProgramFiles%\\Stubborn\\<stays>.exe","state":"-2"}'
mine+=",$common,{\"cate\":\"start\",\"item\":\"${run}Updater\",\"from\":\"HKCU\"}"
mine+=",{\"cate\":\"start\",\"item\":\"\\\\Odd Task <b>\",\"from\":\"SCHE\"}"
mine+=",$addon"
mine+=',{"cate":"install","displayname":"\ud55c\uae00 \ud3b8\uc9d1\uae30","publisher":"Hancom"}'
mine+=',{"cate":"install","displayname":"7-Zip 23.01","publisher":"Igor Pavlov"}]'
id=$(post USER0008 "$mine")
[ -n "$id" ] || { fail "the report to show was not stored"; exit 1; }

mkdir -p "$out"
# shoot NAME LANG PATH HEIGHT
shoot() {
  local shot="$out/$1.png"
  rm -f "$shot"
  LANGUAGE=${2%%-*} timeout 90 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --lang="$2" \
    --accept-lang="$2" \
    --user-data-dir="$work/chromium-$1" --window-size=1000,"$4" --screenshot="$shot" \
    "$base$3" >"$work/chromium-$1.log" 2>&1
  local size colors
  size=$(stat -c %s "$shot" 2>/dev/null || echo 0)
  colors=$(identify -format '%k' "$shot" 2>/dev/null || echo 0)
  if [ "$size" -gt 10000 ] && [ "$colors" -gt 16 ]; then
    echo "ok:   $shot ($size bytes, $colors colours)"
  else
    fail "$shot missing or blank ($size bytes, $colors colours)"
  fi
}
shoot report-page-ko ko-KR "/?report=$id" 2000
shoot report-page-en en-US "/?report=$id" 2000
shoot entry-page en-US "/entry/hkcu/onedrive" 900
shoot entry-page-few-users ko-KR "/entry/hkcu/updater" 600
[ "$failed" -eq 0 ]
