#!/usr/bin/env bash
# Runs the viewer against the demo data server, from a build's bin folder:
#   scripts/demo.sh BIN_DIR|--check [--port N] [--profile demo|tiny|micro] [--log FILE] [-- corvane arguments]
# Generates atlas 310 into the folder where Corvane looks for installed atlases and atlases 378 and 351 into
# the demo server's own folder (${XDG_DATA_HOME:-~/.local/share}/corvane-demo/Atlases), which it offers for
# download (each kept when an atlas of its id is there already, in whatever folder, its URLs turned to this
# run's port); starts the demo data server on 127.0.0.1, runs corvane and stops the server when it quits.
# The viewer keeps its settings in a file of its own (${XDG_CONFIG_HOME:-~/.config}/corvane-demo/Corvane/
# Corvane.ini), whose Host is the demo server; the user's own settings file and the rest of the user's
# configuration stay in force. Nothing is changed while a viewer of the user runs, which would take this
# run's launch, nor while another demo run is under way. With --check in place of BIN_DIR it checks the
# options, that no viewer runs, that the port is free, that the folders it writes can be made and written and
# that no demo run is under way, and ends.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:?"usage: $0 BIN_DIR|--check [--port N] [--profile P] [--log FILE] [-- corvane arguments]"}
shift
port=8470
profile=demo
log=""
while [ $# -gt 0 ]; do
  case "$1" in
    --port | --profile | --log) [ $# -ge 2 ] || { echo "demo: $1 needs a value" >&2; exit 2; } ;;&
    --port) port=$2; shift 2 ;;
    --profile) profile=$2; shift 2 ;;
    --log) log=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "demo: unknown option $1" >&2; exit 2 ;;
  esac
done
# Port 0 would have the server take a free port while the atlases and the settings name port 0.
if ! [[ $port =~ ^[0-9]{1,5}$ ]] || ((10#$port < 1 || 10#$port > 65535)); then
  echo "demo: --port '$port' is not a port number (1-65535)" >&2
  exit 2
fi
port=$((10#$port))
# The checks below use python3, which run.sh may be about to install; they are made again after it.
if [ "$bin" = --check ] && ! command -v python3 > /dev/null; then exit 0; fi

data_home=${XDG_DATA_HOME:-$HOME/.local/share}
demo_settings="${XDG_CONFIG_HOME:-$HOME/.config}/corvane-demo/Corvane/Corvane.ini"

# One viewer runs per user: a later launch hands its arguments to the one listening on the program's socket
# and ends. A viewer running now would take this run's launch, and a demo viewer among them runs on the
# settings and atlases that this run rewrites for its own port; so nothing is changed while one runs.
if ! python3 - "$demo_settings" <<'PY'
import os, socket, sys
def socket_name(environment):
    folder = environment.get("XDG_RUNTIME_DIR", "")
    if not folder or not os.path.isdir(folder):
        folder = environment.get("TMPDIR") or "/tmp"
    return os.path.realpath(os.path.join(folder, "corvane-%d" % os.getuid()))
def viewer_environment(pid):
    try:
        with open("/proc/%s/comm" % pid) as f:
            if f.read().strip() != "corvane":
                return None
        with open("/proc/%s/environ" % pid, "rb") as f:
            pairs = f.read().decode(errors="replace").split("\0")
    except OSError:
        return None
    return dict(pair.split("=", 1) for pair in pairs if "=" in pair)
name = socket_name(os.environ)
probe = socket.socket(socket.AF_UNIX)
probe.settimeout(2)
try:
    probe.connect(name)
except OSError:
    sys.exit(0)  # none listens: a socket left by a viewer that died is taken over by the next one
finally:
    probe.close()
# The viewers on that socket, told apart by the settings file that the demo names to its viewer.
viewers = [(pid, e) for pid, e in ((p, viewer_environment(p)) for p in os.listdir("/proc") if p.isdigit())
           if e is not None and socket_name(e) == name]
demo = [pid for pid, e in viewers if e.get("CORVANE_SETTINGS_FILE") and
        os.path.realpath(e["CORVANE_SETTINGS_FILE"]) == os.path.realpath(sys.argv[1])]
if demo:
    print("demo: a demo viewer already runs (process %s); quit it first" % demo[0], file=sys.stderr)
elif viewers:
    print("demo: a Corvane viewer already runs (process %s) and would take the demo's launch; quit it first"
          % viewers[0][0], file=sys.stderr)
else:
    print("demo: a Corvane viewer already runs; quit it first", file=sys.stderr)
sys.exit(1)
PY
then
  exit 1
fi

if ! python3 - "$port" <<'PY'
import socket, sys
s = socket.socket()
# As the server binds: connections of a run that just ended, still waiting out their close, are no listener.
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
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
lock="$data_home/corvane-demo/demo.lock"
# A folder that the run makes or writes in and cannot (a file in its place, or no right to write) is refused
# here, before run.sh installs or builds anything, rather than by the shell's own words halfway through.
refuse_folder() {
  echo "demo: $1; move it away or mend its permissions, or set XDG_DATA_HOME and XDG_CONFIG_HOME elsewhere" >&2
  exit 1
}
writable_folder() {
  local up=$1
  while [ ! -e "$up" ] && [ ! -L "$up" ]; do up=$(dirname "$up"); done
  if [ ! -d "$up" ]; then
    refuse_folder "the folder $1 cannot be made: $up is not a folder"
  elif [ ! -w "$up" ] || [ ! -x "$up" ]; then
    [ "$up" = "$1" ] && refuse_folder "the folder $1 is not writable for this user"
    refuse_folder "the folder $1 cannot be made: $up is not writable for this user"
  fi
}
# The lock is opened to read by the check and to write by the run: one that cannot be is no run under way.
if [ -e "$lock" ] || [ -L "$lock" ]; then
  if [ ! -f "$lock" ] || [ ! -r "$lock" ] || [ ! -w "$lock" ]; then
    refuse_folder "the demo's lock $lock cannot be read and written by this user"
  fi
fi
writable_folder "${lock%/*}" # the lock's, and the one where atlases are generated
writable_folder "$data_home/Corvane 2/Atlases"
writable_folder "$data_home/corvane-demo/Atlases"
writable_folder "$(dirname "$demo_settings")"

# Two runs started together on the same folders both find no viewer, then each removes the atlas that the
# other is writing. A run holds this lock from here until the script ends, however it ends (the lock goes with
# the script's open file, which the server and the viewer do not keep), and a second run changes nothing.
under_way() {
  echo "demo: a demo run is under way on these folders; wait for it to end or quit its viewer first" >&2
  exit 1
}
# run.sh checks before it installs and builds anything. The check only looks: it creates and holds nothing.
if [ "$bin" = --check ]; then
  [ ! -e "$lock" ] || flock -n -s "$lock" true || under_way
  exit 0
fi

for tool in corvane corvane-atlasgen; do
  if [ ! -x "$bin/$tool" ]; then
    echo "demo: $bin/$tool is missing; build it first" >&2
    exit 1
  fi
done
mkdir -p "${lock%/*}"
exec 9>> "$lock"
flock -n 9 || under_way

# Where Corvane finds installed atlases: "Atlases" in its folder of the user's data folder.
atlases="$data_home/Corvane 2/Atlases"
mkdir -p "$atlases"

server_url="http://127.0.0.1:$port"
# The atlases that the demo server offers besides the installed ones.
offered="$data_home/corvane-demo/Atlases"
# Whether folder $2 holds atlas $1, whatever its folder is called: an atlas installed again from Help > Check
# for Atlases... lives under its name, not its id. Every folder counts that the program reads. Info.xml is
# read as the program reads it, or the demo would take an atlas that the program lacks or generate one beside
# it: names as written (no namespaces), the atlas element at any depth (the last id wins, one out of range
# spoils the file), the id as ASCII digits after C-locale blanks and a sign.
has_atlas() {
  python3 - "$1" "$2" <<'PY'
import os, re, sys
from xml.parsers import expat
def atlas_id(path):
    ids = []
    def start(name, attributes):
        if name in ("atlas", "atlas-info") and "id" in attributes:
            ids.append(attributes["id"])
    parser = expat.ParserCreate()
    parser.StartElementHandler = start
    try:
        with open(path, "rb") as f:
            parser.ParseFile(f)
    except (OSError, expat.ExpatError):
        return None
    number = None
    for text in ids:
        sign, digits = re.match(r"[ \t\n\v\f\r]*([+-]?)([0-9]*)", text).groups()
        digits = digits.lstrip("0") or "0"
        number = int(digits) if len(digits) <= 10 else 0
        if sign == "-" or not 0 < number <= 0xFFFFFFFF:
            return None
    return number
# Every folder, as the program reads them: those whose names begin with a dot as well.
for name in os.listdir(sys.argv[2]):
    if atlas_id(os.path.join(sys.argv[2], name, "Info.xml")) == int(sys.argv[1]):
        sys.exit(0)
sys.exit(1)
PY
}
generate() {
  if ! has_atlas "$1" "$2"; then
    # A folder of that name that holds no such atlas is the user's: the new atlas is not moved into it.
    if [ -e "$2/$1" ]; then
      echo "demo: $2/$1 holds no atlas $1; move it away to have the demo generate the atlas there" >&2
      exit 1
    fi
    echo "demo: generating atlas $1 ($profile profile) into $2/$1"
    # Written aside, out of the folders that the program and the server read, and moved in whole, so that an
    # interrupted run leaves neither an atlas to keep nor half of one that the program would read.
    local part="$data_home/corvane-demo/$1.part"
    rm -rf "$part"
    "$bin/corvane-atlasgen" --profile "$profile" --id "$1" --out "$part" --base-url "$server_url" > /dev/null
    mv -T "$part" "$2/$1"
  fi
}
generate 310 "$atlases"
mkdir -p "$offered"
generate 378 "$offered"
generate 351 "$offered"

# A generated atlas kept from a run on another port names that port in its URL templates: they are turned
# to this run's server. Atlases that the generator did not make are left alone.
python3 - "$server_url" "$atlases" "$offered" <<'PY'
import os, re, sys
server = sys.argv[1]
for folder, name in sorted((f, n) for f in sys.argv[2:] for n in os.listdir(f)):
    path = os.path.join(folder, name, "Info.xml")
    try:
        with open(path, encoding="utf-8") as f:
            text = f.read()
    except OSError:
        continue
    if "generated by corvane-atlasgen" not in text:
        continue
    turned = re.sub(r'(<urls\b[^>]*\bbase=")http://127\.0\.0\.1:\d+', lambda m: m.group(1) + server, text)
    if turned != text:
        with open(path + ".new", "w", encoding="utf-8") as f:
            f.write(turned)
        os.replace(path + ".new", path)
        print("demo: atlas %s now asks the data server on %s" % (name, server))
PY

# The viewer's settings for the demo: the user's own settings file stays as it is.
mkdir -p "$(dirname "$demo_settings")"
python3 - "$demo_settings" "$server_url" <<'PY'
import os, sys
path, server = sys.argv[1], sys.argv[2]
try:
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
except OSError:
    lines = []
# Host lives in the [General] section of the settings file; the other settings stay as they are.
out, section = [], None
for line in lines:
    stripped = line.strip()
    if stripped.startswith("[") and stripped.endswith("]"):
        section = stripped
    elif section == "[General]" and stripped.split("=", 1)[0].strip() == "Host":
        continue
    out.append(line)
    if stripped == "[General]":
        out.append("Host=" + server)
if "[General]" not in (line.strip() for line in lines):
    out = ["[General]", "Host=" + server] + ([""] if out else []) + out
with open(path + ".new", "w", encoding="utf-8") as f:
    f.write("\n".join(out) + "\n")
os.replace(path + ".new", path)
PY

# The installed atlases come first: an atlas installed from the offered ones is served from its installed copy.
server_args=(--atlases "$atlases" --atlases "$offered" --port "$port")
if [ -n "$log" ]; then server_args+=(--log "$log"); fi
fifo=$(mktemp -u)
mkfifo "$fifo"
python3 "$root/tools/demoserver/corvane-demo-server.py" "${server_args[@]}" > "$fifo" 9>&- &
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
cat <&3 > /dev/null 9>&- &
echo "demo: data server on http://127.0.0.1:$listening; starting corvane"

# A script's background job starts with INT ignored, and the viewer rightly keeps a signal that came
# ignored: INT is given back its default, so that the viewer ends on it as on TERM.
(
  trap - INT
  CORVANE_SETTINGS_FILE="$demo_settings" exec "$bin/corvane" "$@" 9>&-
) &
viewer=$!
# A signal to the script ends the viewer as well (and so the server, on exit): a script waiting in the
# foreground for the viewer would hear of the signal only once the viewer had quit, and leave both running.
# The viewer ends on TERM as its Quit does.
trap 'kill -TERM "$viewer" 2>/dev/null || true' TERM INT HUP
# wait ends early, with the signal's status, when a trapped signal comes: it waits again until the viewer has
# ended, and bash keeps the viewer's own status for the last wait, also when it ended before the loop looked.
while kill -0 "$viewer" 2>/dev/null; do wait "$viewer" || true; done
status=0
wait "$viewer" || status=$?
exit $status
