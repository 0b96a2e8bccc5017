#!/usr/bin/env bash
# Starts QksStudio the way the desktop menu does, with the Exec line of DESKTOP_FILE, on a private
# X server and with a private temporary folder, so no qkshost serves its bridge. The Studio must
# start its own host, connect to it and take it along when it is closed:
#   - the host is the Studio's child, its bridge socket is live and the Studio holds the link
#     (the bridge serves one client at a time, so a second client is hung up on);
#   - after SIGTERM (what a session's end sends) the Studio exits 0 and neither the host nor its
#     socket is left.
# Needs Xvfb and python3. VERSION is the host's, which it answers to PING once the link is free.
# Usage: studio-launch-check.sh DESKTOP_FILE VERSION
set -euo pipefail
desktop=$1
version=$2
work=$(mktemp -d)
xvfb=""
studio=""
cleanup() {
  [ -z "$studio" ] || kill -KILL "$studio" 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "studio launch check: $*" >&2
  cat "$work/studio.txt" >&2 2>/dev/null || true
  exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
within() {
  local tenths=$1
  shift
  for ((i = 0; i < tenths; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

exec_line=$(sed -n 's/^Exec=//p' "$desktop" | head -n 1)
[ -n "$exec_line" ] || fail "no Exec line in $desktop"
# Field codes (%f, %F, %u, %U) stand for what the menu passes: nothing here.
exec_line=$(sed -E 's/(^| )%[A-Za-z]//g' <<<"$exec_line")
read -r -a command <<<"$exec_line"

mkdir -p "$work/tmp" "$work/home" "$work/run"
chmod 700 "$work/run"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" 2>"$work/xvfb.txt" &
xvfb=$!
within 300 grep -q . "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.txt")"
display=:$(head -n 1 "$work/display")

env -u QKS_HOST TMPDIR="$work/tmp" HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  XDG_RUNTIME_DIR="$work/run" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
  "${command[@]}" >"$work/studio.txt" 2>&1 &
studio=$!

# Ended: gone, or a zombie not yet waited for.
studio_ended() {
  local state
  state=$(ps -o stat= -p "$studio" 2>/dev/null || true)
  [ -z "$state" ] || [[ $state == Z* ]]
}
socket=$work/tmp/qksstudio
host_up() { pgrep -P "$studio" -x qkshost >/dev/null && test -S "$socket"; }
host_or_end() { host_up || studio_ended; }
within 1200 host_or_end && host_up || fail "the Studio's own qkshost never served its bridge"
host=$(pgrep -P "$studio" -x qkshost || true)
[ "$(wc -w <<<"$host")" -eq 1 ] || fail "the Studio's own qkshost is not running: '$host'"
# The Studio connects as soon as its host's bridge answers; a client of ours any earlier could
# take the link from it.
sleep 3
# The bridge serves one client at a time and the Studio holds its link, so a second client is
# hung up on at once, as a busy pipe; with the link free it would answer PONG.
answer=$(python3 - "$socket" <<'EOF'
import socket, sys
client = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
client.settimeout(5)
client.connect(sys.argv[1])
try:
    client.sendall(b"PING\n")
    reply = client.recv(64)
except (BrokenPipeError, ConnectionResetError):
    reply = b""
print(reply.decode().strip() or "busy")
EOF
) || fail "the bridge at $socket does not answer"
case "$answer" in
  busy) ;;
  "PONG $version") fail "the Studio does not hold its link to the bridge" ;;
  *) fail "the bridge answered '$answer'" ;;
esac

kill -TERM "$studio"
within 300 studio_ended || fail "the Studio did not end on SIGTERM"
status=0
wait "$studio" || status=$?
studio=""
[ "$status" -eq 0 ] || fail "the Studio ended with status $status"
! kill -0 "$host" 2>/dev/null || fail "qkshost $host was left running"
[ ! -e "$socket" ] || fail "the bridge socket was left behind"
echo "studio launch check passed: '$exec_line' started qkshost $host (bridge: $answer), connected, stopped it"
