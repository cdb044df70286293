#!/usr/bin/env bash
# Runs the viewer against the demo data server, from a build's bin folder:
#   scripts/demo.sh BIN_DIR [--port N] [--profile demo|tiny|micro] [--log FILE] [-- corvane arguments]
# Generates atlas 310 into the folder where Corvane looks for installed atlases (kept when it is there
# already), starts the demo data server on 127.0.0.1, runs corvane and stops the server when it quits.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:?"usage: $0 BIN_DIR [--port N] [--profile P] [--log FILE] [-- corvane arguments]"}
shift
port=8470
profile=demo
log=""
while [ $# -gt 0 ]; do
  case "$1" in
    --port) port=$2; shift 2 ;;
    --profile) profile=$2; shift 2 ;;
    --log) log=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "demo: unknown option $1" >&2; exit 2 ;;
  esac
done

for tool in corvane corvane-atlasgen; do
  if [ ! -x "$bin/$tool" ]; then
    echo "demo: $bin/$tool is missing; build it first" >&2
    exit 1
  fi
done

# Where Corvane finds installed atlases: "Atlases" in its folder of the user's data folder.
data_home=${XDG_DATA_HOME:-$HOME/.local/share}
atlases="$data_home/Corvane 2/Atlases"
mkdir -p "$atlases"

if ! python3 - "$port" <<'PY'
import socket, sys
s = socket.socket()
try:
    s.bind(("127.0.0.1", int(sys.argv[1])))
except OSError:
    sys.exit(1)
finally:
    s.close()
PY
then
  echo "demo: port $port on 127.0.0.1 is taken (another demo server?); stop what listens there or pass --port N" >&2
  exit 1
fi

if [ ! -f "$atlases/310/Info.xml" ]; then
  echo "demo: generating atlas 310 ($profile profile) into $atlases/310"
  "$bin/corvane-atlasgen" --profile "$profile" --id 310 --out "$atlases/310" \
    --base-url "http://127.0.0.1:$port" > /dev/null
fi

server_args=(--atlases "$atlases" --port "$port")
if [ -n "$log" ]; then server_args+=(--log "$log"); fi
fifo=$(mktemp -u)
mkfifo "$fifo"
python3 "$root/tools/demoserver/corvane-demo-server.py" "${server_args[@]}" > "$fifo" &
server=$!
stop_server() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  rm -f "$fifo"
}
trap stop_server EXIT
exec 3< "$fifo"
if ! read -r -t 60 listening <&3; then
  echo "demo: the demo data server did not start" >&2
  exit 1
fi
# Keep draining the server's output so that it never blocks on a full pipe.
cat <&3 > /dev/null &
echo "demo: data server on http://127.0.0.1:$listening; starting corvane"

status=0
"$bin/corvane" "$@" || status=$?
exit $status
