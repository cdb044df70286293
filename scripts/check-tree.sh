#!/usr/bin/env bash
# Checks the source tree before a build: one line per finding, exit status 1 when there is any.
#   - every C++ file is formatted as clang-format (with .clang-format) would format it;
#   - core/, atlas/ and expression/ include no Qt header;
#   - includes point only down the stack core <- gl <- atlas <- expression <- scene <- views <- app
#     (platform/ includes core/ only, app/ may include everything; tests/, tools/ and bench/ are free);
#   - no X11 header anywhere (its Colormap and Window typedefs collide with the atlas model's names).
# Usage: scripts/check-tree.sh [ROOT]   (ROOT defaults to the tree the script belongs to)
set -uo pipefail

root=${1:-"$(dirname "$0")/.."}
cd "$root" || exit 2

if ! command -v clang-format >/dev/null; then
  echo "check-tree: clang-format is missing (scripts/install-deps.sh installs it)"
  exit 2
fi

findings=0
report() {
  echo "check-tree: $*"
  findings=$((findings + 1))
}

# The C++ files of the tree, build folders left out.
mapfile -d '' files < <(find . \( -path './build*' -o -path './.git' \) -prune -o \
  -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)
files=("${files[@]#./}")

# --- format ---------------------------------------------------------------------------------------------
mapfile -t misformatted < <(printf '%s\0' "${files[@]}" |
  xargs -0 -r -n 64 -P 4 clang-format --style=file --dry-run -Werror --ferror-limit=1 2>&1 |
  sed -nE 's/^(.*):[0-9]+:[0-9]+: error: code should be clang-formatted.*/\1/p' | sort -u)
for f in "${misformatted[@]}"; do
  report "$f: not formatted as clang-format formats it"
done
if [ ${#misformatted[@]} -gt 0 ]; then
  echo "check-tree: mend with: clang-format -i ${misformatted[*]}"
fi

# --- includes -------------------------------------------------------------------------------------------
# The rank of each layer in the stack; a file may include its own layer and those of lower rank.
declare -A rank=([core]=0 [gl]=1 [atlas]=2 [expression]=3 [scene]=4 [views]=5 [app]=6)

may_include() { # folder of the including file, folder of the included header
  local from=$1 to=$2
  [ "$from" = "$to" ] && return 0
  case "$from" in
    app) return 0 ;;
    platform) [ "$to" = core ] || [ -z "${rank[$to]+x}" ] && return 0 || return 1 ;; # core, or no layer (sys/)
  esac
  [ "$to" = platform ] && return 1
  [ -n "${rank[$to]+x}" ] || return 0 # not a layer of the stack
  [ "${rank[$to]}" -le "${rank[$from]}" ]
}

include_pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]*)[>"]'
while IFS= read -r match; do
  f=${match%%:*}
  rest=${match#*:}
  line=${rest%%:*}
  text=${rest#*:}
  [[ "$text" =~ $include_pattern ]] || continue
  header=${BASH_REMATCH[1]}
  folder=.
  [[ "$f" == */* ]] && folder=${f%%/*}
  case "${header##*/}" in
    Xlib.h | glx.h | glxew.h) report "$f:$line: X11 header included: $header" ;;
  esac
  case "$folder" in
    core | atlas | expression)
      if [[ "$header" =~ ^(Qt[A-Za-z]*/)?Q[A-Za-z0-9_]*(\.h)?$ ]]; then
        report "$f:$line: Qt header included in $folder/: $header"
      fi
      ;;
  esac
  case "$folder" in
    core | gl | atlas | expression | scene | views | app | platform)
      if [[ "$header" == */* ]] && ! may_include "$folder" "${header%%/*}"; then
        report "$f:$line: $folder/ includes ${header%%/*}/, up the stack: $header"
      fi
      ;;
  esac
done < <(printf '%s\0' "${files[@]}" | xargs -0 -r grep -nHE "$include_pattern")

if [ "$findings" -gt 0 ]; then
  echo "check-tree: $findings finding(s)"
  exit 1
fi
echo "check-tree: ${#files[@]} C++ files, no findings"
