#!/usr/bin/env bash
# The main job: sets the machine up, builds the toolkit, starts qkshost with the plug-in and
# shows that the plug-in answers on its console and on the bridge.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup-debian.sh
build=${QKS_DEMO_BUILD:-$root/build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQKS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

demo_tmp=$(mktemp -d)
trap 'kill "$host_pid" 2>/dev/null || true; rm -rf "$demo_tmp"' EXIT
echo "== qkshost with the plug-in (temporary folder $demo_tmp)"
TMPDIR="$demo_tmp" "$build/bin/qkshost" --serve --no-stdin -c QKVER >"$demo_tmp/host.log" 2>&1 &
host_pid=$!
/usr/bin/python3 - "$demo_tmp/qksstudio" <<'PY'
import socket, sys, time
path = sys.argv[1]
for _ in range(500):
    try:
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.connect(path)
        break
    except OSError:
        time.sleep(0.01)
else:
    sys.exit("the bridge did not come up")
for request in (b"PING\n", b"VERSION\n"):
    s.sendall(request)
    print("bridge:", request.decode().strip(), "->", s.recv(100).decode())
PY
kill -TERM "$host_pid"
wait "$host_pid" || true
cat "$demo_tmp/host.log"
echo
echo "qkshost, libqks.so and libqks23.so are in $build/bin; QksStudio in $build/Studio"
