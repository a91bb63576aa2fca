#!/usr/bin/env bash
# Checks that the folder libraries form one direction of dependencies:
#   1. the CMake link graph of the project's own targets (the omr_* libraries
#      and our executables) has no cycle;
#   2. no folder library links the library of a folder above it, nor one
#      program's folder another's, in the order
#        template, recognition, res, twain  <  common  <  platform, review
#          <  processor, designer, scanner;
#   3. no source of a folder includes a header of a folder above it.
# Usage: scripts/check-layers.sh [build-dir]   (a configured build folder; default "build")
# Needs only bash, cmake, grep and a POSIX awk.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}

# Folder -> level; a folder may depend only on folders of a lower level.
LAYERS="template:0 recognition:0 res:0 twain:0 common:1 platform:2 review:2 processor:3 designer:3 scanner:3"

fail() {
  echo "Layering check failed: $*" >&2
  exit 1
}

[ -f "$BUILD_DIR/CMakeCache.txt" ] || fail "$BUILD_DIR is not a configured build folder (run cmake first)"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0

# --- 1 and 2: the link graph, as CMake writes it -----------------------------
if ! cmake --graphviz="$tmp/targets.dot" "$BUILD_DIR" >"$tmp/cmake.log" 2>&1; then
  cat "$tmp/cmake.log" >&2
  fail "cmake could not write the target graph"
fi

awk -v layers="$LAYERS" '
function quoted(s,   a) {            # the first "..." of s
  a = index(s, "\"")
  s = substr(s, a + 1)
  return substr(s, 1, index(s, "\"") - 1)
}
# The folder a library belongs to: omr_<folder>, res for omr_resources.
function folderOf(name,   f) {
  if (name == "omr_resources") return "res"
  if (substr(name, 1, 4) != "omr_") return ""
  f = substr(name, 5)
  if (f in level) return f
  sub(/_.*/, "", f)                   # omr_template_sections lives in template/
  return (f in level) ? f : ""
}
function path(from, to,   s, i) {    # the DFS stack from `from` to `to`, as text
  s = ""
  for (i = 1; i <= depth; i++) {
    if (stack[i] == from) s = stack[i]
    else if (s != "") s = s " -> " stack[i]
  }
  return s " -> " to
}
function visit(u,   k, v) {
  state[u] = 1
  stack[++depth] = u
  for (k = 1; k <= outCount[u]; k++) {
    v = out[u, k]
    if (state[v] == 1) { cycle = path(v, v); return 1 }
    if (state[v] == 0 && visit(v)) return 1
  }
  depth--
  state[u] = 2
  return 0
}
BEGIN {
  n = split(layers, pairs, " ")
  for (i = 1; i <= n; i++) { split(pairs[i], kv, ":"); level[kv[1]] = kv[2] + 0 }
}
# "node3" [ label = "omr_processor", shape = octagon ];
/^[ \t]*"node[0-9]+" \[ label = "/ {
  id = quoted($0)
  rest = substr($0, index($0, "label = ") + 8)
  name[id] = quoted(rest)
  shape[id] = ""
  if (match($0, /shape = [a-z]+/)) shape[id] = substr($0, RSTART + 8, RLENGTH - 8)
  next
}
# "node3" -> "node4"  // omr_processor -> Qt5::Concurrent
/^[ \t]*"node[0-9]+" -> "node[0-9]+"/ {
  from = quoted($0)
  rest = substr($0, index($0, "->") + 2)
  edges[++edgeCount] = from SUBSEP quoted(rest)
}
END {
  # Ours: the omr_* libraries and the executables that are not imported (Qt5::moc ...).
  for (id in name) {
    own[id] = (name[id] ~ /^omr_/) || (shape[id] == "egg" && name[id] !~ /::/)
    if (own[id]) { ownCount++; state[name[id]] = 0 }
  }
  for (e = 1; e <= edgeCount; e++) {
    split(edges[e], ft, SUBSEP)
    if (!own[ft[1]] || !own[ft[2]]) continue
    a = name[ft[1]]; b = name[ft[2]]
    out[a, ++outCount[a]] = b
    fa = folderOf(a); fb = folderOf(b)
    if (fa != "" && fb != "" && level[fb] > level[fa])
      wrong = wrong sprintf("\n  %s (%s/) links %s (%s/), a folder above it", a, fa, b, fb)
    # The programs share class names (MainWindow, MyLabel): the folder of one
    # program never links the folder of another.
    if (fa != "" && fb != "" && fa != fb && level[fa] == 3 && level[fb] == 3)
      wrong = wrong sprintf("\n  %s (%s/) links %s (%s/), another program", a, fa, b, fb)
  }
  if (ownCount == 0) { print "Layering check failed: no omr_* target in the CMake graph" > "/dev/stderr"; exit 1 }
  failed = 0
  for (u in state) {
    if (state[u] == 0 && visit(u)) {
      print "Layering check failed: the link graph of our targets has a cycle:\n  " cycle > "/dev/stderr"
      failed = 1
      break
    }
  }
  if (wrong != "") {
    print "Layering check failed: a library depends on a higher layer:" wrong > "/dev/stderr"
    print "Order: template, recognition, res, twain < common < platform, review < processor, designer, scanner." > "/dev/stderr"
    failed = 1
  }
  if (failed) exit 1
  printf "Layering: %d targets of ours, no cycle, no folder library links a higher one.\n", ownCount
}
' "$tmp/targets.dot" || status=1

# --- 3: includes -------------------------------------------------------------
levelOf() {
  local pair
  for pair in $LAYERS; do
    [ "${pair%%:*}" = "$1" ] && { echo "${pair#*:}"; return; }
  done
}

# Header names a folder offers: its headers, and the ui_*.h that uic makes of its forms.
headersOf() {
  find "$1" -type f \( -name '*.h' -o -name '*.ui' \) 2>/dev/null |
    sed -e 's|.*/||' -e 's|^\(.*\)\.ui$|ui_\1.h|' | sort -u
}

for pair in $LAYERS; do
  folder=${pair%%:*}
  own=${pair#*:}
  [ -d "$folder" ] || continue
  : >"$tmp/higher"
  : >"$tmp/reachable"
  for other in $LAYERS; do
    name=${other%%:*}
    [ -d "$name" ] || continue
    if [ "$(levelOf "$name")" -gt "$own" ]; then
      headersOf "$name" >>"$tmp/higher"
    else
      headersOf "$name" >>"$tmp/reachable"
    fi
  done
  # A name that a reachable folder also has is that folder's header.
  sort -u "$tmp/higher" | grep -vxF -f "$tmp/reachable" >"$tmp/names" || true
  [ -s "$tmp/names" ] || continue
  names=$(sed 's/[.]/[.]/g' "$tmp/names" | paste -sd'|' -)
  pattern="^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]([^>\"]*/)?($names)[>\"]|<header>([^<]*/)?($names)</header>"
  if hits=$(grep -rnE --include='*.h' --include='*.cpp' --include='*.ui' "$pattern" "$folder"); then
    echo "Layering check failed: $folder/ includes headers of a folder above it:" >&2
    echo "$hits" | sed 's/^/  /' >&2
    status=1
  fi
done
if [ "$status" -ne 0 ]; then
  echo "Lower folders reach the window through arguments or an interface of their own folder" \
    "(platform/examsession.h); they never link or include a folder above them." >&2
  exit 1
fi
echo "Layering: no folder includes a header of a folder above it."
