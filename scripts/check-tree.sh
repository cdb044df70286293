#!/usr/bin/env bash
# Checks the source tree before a build: one line per finding, exit status 1 when there is any, 2 when the check
# cannot run.
#   - every C++ file is formatted as clang-format (with .clang-format) would format it;
#   - a layer's code includes its own folder, the layers under it in the stack
#     core <- gl <- atlas <- expression <- scene <- views <- app, and headers of the system or of libraries,
#     nothing else: not tests/, tools/, bench/, scripts/ or any other folder of the tree (platform/ includes
#     core/ only, app/ all the layers and platform/). Each include is judged by the folder it really reaches,
#     its ./ and ../ steps taken and the tree's symbolic links followed, so that one climbing out of the tree
#     or given by an absolute path is refused; every file that a layer's include reaches is read, whatever its
#     name (core/X.inl); an include in any other form than #include <...> or "..." (a macro, a comment inside)
#     cannot be judged and is a finding;
#   - core/, atlas/ and expression/ include no Qt header, by its name or by Qt's folders on its path;
#   - no symbolic link in the layers' folders, which an include could take to a folder other than the one it
#     names;
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
# Four runs side by side, each over a quarter of the files and into a file of its own, so that their outputs
# never mix and each status is clang-format's own; whatever it prints beside the findings (an unreadable
# .clang-format, a file it cannot open) is a fault of the check, never a pass.
# Without its folder the runs' outputs would go to /0, /179, ... and the check would read all of / as
# clang-format's output.
if ! format_folder=$(mktemp -d) || ! [ -d "$format_folder" ]; then
  echo "check-tree: cannot make a temporary folder in ${TMPDIR:-/tmp}, so nothing was checked"
  exit 2
fi
trap 'rm -rf "$format_folder"' EXIT
quarter=$(((${#files[@]} + 3) / 4))
runs=()
for ((first = 0; first < ${#files[@]}; first += quarter)); do
  clang-format --style=file --dry-run -Werror --ferror-limit=1 "${files[@]:first:quarter}" \
    >"$format_folder/$first" 2>&1 </dev/null &
  runs+=("$first:$!")
done
format_status=0
flagged_nothing=
for run in "${runs[@]}"; do
  wait "${run#*:}"
  status=$?
  format_status=$((status > format_status ? status : format_status))
  # Status 1 is clang-format's for a misformatted file, so it must come with the file's name.
  if [ "$status" = 1 ] && ! grep -q ' error: code should be clang-formatted' "$format_folder/${run%%:*}"; then
    flagged_nothing=1
  fi
done
format_output=$(cat "$format_folder"/* 2>/dev/null)
if [ "$format_status" -gt 1 ]; then
  report "clang-format ended with status $format_status"
fi
if [ -n "$flagged_nothing" ]; then
  report "clang-format ended with status 1 but flagged no file"
fi
misformatted=()
while IFS=$'\t' read -r kind text; do
  case "$kind" in
    finding) misformatted+=("$text") ;;
    other) report "clang-format said: $text" ;;
  esac
done < <(awk -v root="$PWD/" '
  $0 == "" && !quoted { next }
  quoted == 2 { quoted = 1; next } # the source line that a finding quotes
  quoted == 1 { quoted = 0; if ($0 ~ /^[[:space:]]*\^/) next } # and the caret under it
  / error: code should be clang-formatted/ {
    file = $0; sub(/:[0-9]+:[0-9]+: error: code should be clang-formatted.*/, "", file)
    if (!seen["finding\t" file]++) print "finding\t" file
    quoted = 2; next
  }
  {
    line = $0
    while ((i = index(line, root)) > 0) line = substr(line, 1, i - 1) substr(line, i + length(root))
    if (!seen["other\t" line]++) print "other\t" line
  }' <<<"$format_output")
for f in "${misformatted[@]}"; do
  report "$f: not formatted as clang-format formats it"
done

# A finding once came for a stretch of files that the same check then found formatted: each flagged file is
# checked again on its own, with what clang-format is and the style it read, so that such a finding explains
# itself.
explain_format() {
  echo "check-tree: the flagged files checked again one at a time, with $(clang-format --version)"
  local f style changes
  for f in "$@"; do
    style=$(style_file_of "$f")
    echo "  $f: style from ${style:-no .clang-format, the fallback style}"
    changes=$(clang-format --style=file "$f" 2>&1 | diff -u --label "$f" --label "$f as clang-format formats it" "$f" -)
    echo "${changes:-(formatted when checked on its own)}" | sed 's/^/    /'
  done
}

style_file_of() { # the .clang-format that --style=file finds for a file: the nearest one up its folders
  local dir name
  dir=$(cd "$(dirname "$1")" && pwd)
  while :; do
    for name in .clang-format _clang-format; do
      [ -f "$dir/$name" ] && echo "$dir/$name (sha256 $(sha256sum <"$dir/$name" | cut -c1-16))" && return
    done
    [ "$dir" = / ] && return
    dir=$(dirname "$dir")
  done
}

if [ ${#misformatted[@]} -gt 0 ]; then
  explain_format "${misformatted[@]}"
  echo "check-tree: mend with: clang-format -i ${misformatted[*]}"
fi

# --- includes -------------------------------------------------------------------------------------------
# The rank of each layer in the stack; a file may include its own layer and those of lower rank.
declare -A rank=([core]=0 [gl]=1 [atlas]=2 [expression]=3 [scene]=4 [views]=5 [app]=6)
# The folders whose includes are judged: the stack's layers, and platform/ beside them.
is_layer() { [ -n "${rank[$1]+x}" ] || [ "$1" = platform ]; }

may_include() { # folder of the including file, folder of the tree that holds the included header
  local from=$1 to=$2
  [ "$from" = "$to" ] && return 0
  case "$from" in
    app) is_layer "$to" ;;
    platform) [ "$to" = core ] ;;
    *) [ -n "${rank[$to]+x}" ] && [ "${rank[$to]}" -le "${rank[$from]}" ] ;;
  esac
}

# Sets normal to the path $1 with its . and .. steps taken out; fails when it climbs above the root.
normalize() {
  local rest=$1/ part
  normal=$1
  [[ "/$rest" == *//* || "/$rest" == */./* || "/$rest" == */../* ]] || return 0 # most are plain already
  normal=
  while [ -n "$rest" ]; do
    part=${rest%%/*}
    rest=${rest#*/}
    case "$part" in
      '' | .) ;;
      ..)
        [ -n "$normal" ] || return 1
        if [[ "$normal" == */* ]]; then normal=${normal%/*}; else normal=; fi
        ;;
      *) normal=${normal:+$normal/}$part ;;
    esac
  done
}

# Sets normal to the path from the root of the header that file $1 includes as $2 with opening $3, as the
# compiler finds it: a "..." include beside the including file first, then from the root (the include path);
# one that begins with . or .. and is found nowhere is taken beside the file, as it reads. Fails when the
# path climbs out of the tree.
resolve() {
  local f=$1 header=$2 bracket=$3 dir=.
  [[ "$f" == */* ]] && dir=${f%/*}
  if [ "$bracket" = '"' ] && { [ -f "$dir/$header" ] || [[ "$header" =~ ^\.\.?/ ]]; }; then
    normalize "$dir/$header"
  else
    normalize "$header"
  fi
}

# The tree's symbolic links, wherever they are: an include through one is judged by the folder it reaches,
# not the one it names (ext -> app, tests/applink -> ../app).
mapfile -d '' links < <(find . \( -path './build*' -o -path './.git' \) -prune -o -type l -print0)
links=("${links[@]#./}")
top=$(pwd -P)

# Sets normal to where the path $1 from the root leads through the tree's links, and via to the first link it
# takes (empty when none); fails when it leads out of the tree.
follow_links() {
  local link
  via=
  for link in "${links[@]}"; do
    if [ "$normal" = "$link" ] || [[ "$normal" == "$link"/* ]]; then
      via=$link
      normal=$(realpath -m -- "$normal") && [[ "$normal/" == "$top/"* ]] || return 1
      normal=${normal#"$top"}
      normal=${normal#/}
      return 0
    fi
  done
}

# A link in a layer's folder would let an include name one folder and reach another, past the rules below.
for link in "${links[@]}"; do
  is_layer "${link%%/*}" &&
    report "$link: a symbolic link in ${link%%/*}/, through which an include would reach a folder it does not name"
done

# The include directives of the files named on the input, one per line as FILE<tab>LINE<tab>TEXT, a directive
# continued with \ joined into one. Whatever stands before the # is taken out first if it is a comment, as
# the compiler takes it, so that /**/ #include "app/x.h" is no less an include.
scan_includes() {
  xargs -0 -r awk '
    FNR == 1 { held = "" }
    {
      if (held == "") start = FNR
      line = held $0
      if (line ~ /\\$/) { held = substr(line, 1, length(line) - 1); next }
      held = ""
      bare = line
      gsub(/\/\*([^*]|\*+[^*\/])*\*+\//, " ", bare)
      sub(/^.*\*\//, "", bare)
      if (bare ~ /^[[:space:]]*#[[:space:]]*(include|include_next|import)([^A-Za-z0-9_]|$)/) {
        sub(/^[[:space:]]+/, "", line)
        print FILENAME "\t" start "\t" line
      }
    }'
}

# Qt's own headers, by their names (<QString>, <qstring.h>) or by a folder of Qt's on their path
# (<QtCore/QString>, <qt6/QtCore/QString>, <x86_64-linux-gnu/qt6/QtCore/qstring.h>).
qt_header='(^|/)(qt[0-9]*|Qt[A-Za-z0-9]*)/.|^(Q[A-Za-z0-9_]*(\.h)?|q[a-z0-9_]*\.h)$'
# The one form of include the check judges; any other (a macro, a comment inside) is a finding of its own.
include_pattern='^#[[:space:]]*include[[:space:]]*([<"])([^>"]*)[>"][[:space:]]*(//.*|/\*.*)?$'
declare -A scanned=()
for f in "${files[@]}"; do scanned[$f]=1; done
batch=("${files[@]}")
while [ ${#batch[@]} -gt 0 ]; do
  included=() # files of the layers that an include reaches and no scan has read yet (core/X.inl)
  while IFS=$'\t' read -r f line text; do
    folder=.
    [[ "$f" == */* ]] && folder=${f%%/*}
    layer=
    is_layer "$folder" && layer=$folder
    if ! [[ "$text" =~ $include_pattern ]]; then
      [ -n "$layer" ] && report "$f:$line: $folder/ has an include that the check cannot judge: $text"
      continue
    fi
    bracket=${BASH_REMATCH[1]}
    header=${BASH_REMATCH[2]}
    case "${header##*/}" in
      Xlib.h | glx.h | glxew.h) report "$f:$line: X11 header included: $header" ;;
    esac
    if [[ "$header" == /* ]]; then
      [ -n "$layer" ] && report "$f:$line: $folder/ includes a header by an absolute path: $header"
      continue
    fi
    case "$layer" in
      core | atlas | expression)
        if normalize "$header" && [[ "$normal" =~ $qt_header ]]; then
          report "$f:$line: Qt header included in $folder/: $header"
        fi
        ;;
    esac
    via=
    if ! resolve "$f" "$header" "$bracket" || ! follow_links; then
      [ -n "$layer" ] && report "$f:$line: $folder/ includes a header outside the tree${via:+ through the link $via}: $header"
      continue
    fi
    # A header under a folder of the tree is the tree's, whatever the brackets; any other is the system's, a
    # library's or one the build makes.
    to=${normal%%/*}
    [[ "$normal" == */* ]] && [ -e "$to" ] || continue
    if is_layer "$to" && [ -f "$normal" ] && [ -z "${scanned[$normal]+x}" ]; then
      scanned[$normal]=1
      included+=("$normal")
    fi
    [ -n "$layer" ] && ! may_include "$layer" "$to" || continue
    if is_layer "$to"; then
      report "$f:$line: $folder/ includes $to/${via:+ through the link $via}, up the stack: $header"
    elif [ "$layer" = platform ]; then
      report "$f:$line: $folder/ includes $to/${via:+ through the link $via}, neither core/ nor a system header: $header"
    else
      report "$f:$line: $folder/ includes $to/${via:+ through the link $via}, neither a layer under it nor a system header: $header"
    fi
  done < <(printf '%s\0' "${batch[@]}" | scan_includes)
  batch=("${included[@]}")
done

if [ "$findings" -gt 0 ]; then
  echo "check-tree: $findings finding(s)"
  exit 1
fi
echo "check-tree: ${#files[@]} C++ files, no findings"
