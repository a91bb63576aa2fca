#!/usr/bin/env bash
# Installs what the build needs, builds everything, starts a local platform
# with a demo exam and opens the processing program against it.
# `scripts/run.sh lumbrisk` opens the template designer instead, with blank
# sheet pages to make a template from.
set -euo pipefail
cd "$(dirname "$0")/.."
PROGRAM=${1:-ardentiq}
case "$PROGRAM" in
  ardentiq|lumbrisk) ;;
  *) echo "usage: $0 [ardentiq|lumbrisk]"; exit 2 ;;
esac
bash scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j"$(nproc)"

if [ "$PROGRAM" = lumbrisk ]; then
  PAGES="$BUILD_DIR/demo/designer"
  "$BUILD_DIR/tools/designer_demo/designer_demo" "$PAGES"
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting under a virtual X server (nothing will be visible)."
    xvfb-run -a "$BUILD_DIR/designer/Lumbrisk"
    exit 0
  fi
  echo "In the program: 新建, type a name, 指定图片 -> the two pages above, 确定;"
  echo "drag a rectangle over the page and right-click it to add sections; 保存 saves the template."
  exec "$BUILD_DIR/designer/Lumbrisk"
fi

# Local platform: serves the demo exam's replies from files, HTTPS on
# 127.0.0.1 with a certificate authority made at start. It also answers the
# token storage service's bucket lookup; its ready file points the program at
# it (VOSTRA_PLATFORM_HOST, VOSTRA_EXTRA_CA, VOSTRA_TOKEN_QUERY_HOST).
DEMO="$BUILD_DIR/demo"
mkdir -p "$DEMO/platform"
rm -f "$DEMO/ready"
"$BUILD_DIR/tools/platform_sim/platform_sim" --data "$DEMO/platform" --ready-file "$DEMO/ready" > "$DEMO/platform.log" 2>&1 &
SIM=$!
trap 'kill $SIM 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$DEMO/ready" ] && break; sleep 0.1; done
[ -s "$DEMO/ready" ] || { echo "the local platform did not start; see $DEMO/platform.log"; exit 1; }
set -a; . "$DEMO/ready"; set +a

# Demo exam: platform replies, scanned sheets, and the program's ini file
# (kept beside its executable) with the demo account and image server.
"$BUILD_DIR/tools/make_demo/make_demo" "$DEMO" "$BUILD_DIR/processor/Ardentiq.ini" 8 "$VOSTRA_PLATFORM_HOST"
echo "Local platform on $VOSTRA_PLATFORM_HOST (log: $DEMO/platform.log)"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting under a virtual X server (nothing will be visible)."
  xvfb-run -a "$BUILD_DIR/processor/Ardentiq"
  exit 0
fi
echo "In the program: 考试 -> double-click the project -> pick the exam -> OK, then 识别处理;"
echo "right-click the result table -> 上传主观题图片, then 数据上传."
"$BUILD_DIR/processor/Ardentiq"
