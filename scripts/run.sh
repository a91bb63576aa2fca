#!/usr/bin/env bash
# Installs what the build needs, builds everything, starts a local platform
# with a demo exam and opens the processing program against it.
# `scripts/run.sh lumbrisk` opens the template designer instead, with blank
# sheet pages to make a template from; `scripts/run.sh pellwyn` the scanning
# station with a simulated scanner.
set -euo pipefail
cd "$(dirname "$0")/.."
PROGRAM=${1:-ardentiq}
case "$PROGRAM" in
  ardentiq|lumbrisk|pellwyn) ;;
  *) echo "usage: $0 [ardentiq|lumbrisk|pellwyn]"; exit 2 ;;
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

if [ "$PROGRAM" = pellwyn ]; then
  # The scanning station against the simulated scanner: a duplex source that
  # calls back and an older one whose events are fetched. The settings file
  # lives beside the program; a demo one is written when there is none.
  STATION="$(cd "$BUILD_DIR" && pwd)/demo/pellwyn"
  mkdir -p "$STATION/pages"
  cat > "$STATION/sources.json" <<'JSON'
{
  "sources": [
    {
      "productName": "Vostra Sim Duplex",
      "manufacturer": "Vostra Lab",
      "productFamily": "Simulated",
      "protocol": "2.4",
      "twain2": true,
      "capabilities": {
        "ICAP_XRESOLUTION": {"type": "FIX32", "range": {"min": 100, "max": 600, "step": 50}, "current": 200},
        "ICAP_YRESOLUTION": {"type": "FIX32", "range": {"min": 100, "max": 600, "step": 50}, "current": 200},
        "CAP_DUPLEXENABLED": {"type": "BOOL", "value": true}
      },
      "sheetCount": 10,
      "countKnown": true
    },
    {
      "productName": "Vostra Sim Simplex",
      "manufacturer": "Vostra Lab",
      "productFamily": "Simulated",
      "protocol": "1.9",
      "twain2": false,
      "capabilities": {
        "CAP_DUPLEX": {"type": "UINT16", "value": 0, "readOnly": true},
        "CAP_DUPLEXENABLED": {"type": "BOOL", "value": false, "readOnly": true}
      },
      "sheetCount": 5,
      "countKnown": false
    }
  ]
}
JSON
  INI="$BUILD_DIR/scanner/Pellwyn.ini"
  if [ ! -f "$INI" ]; then
    printf '[Main]\nSavePath=%s\nNamePrefix=\nNumberLegnth=6\nImageFormat=0\nImageQuality=50\n[Other]\nShowStopScanButton=1\n' \
      "$STATION/pages" > "$INI"
  fi
  export VOSTRA_TWAIN_DSM="$(cd "$BUILD_DIR" && pwd)/tools/twain_sim/libtwainsim.so"
  export VOSTRA_TWAIN_SIM_SOURCES="$STATION/sources.json"
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting under a virtual X server (nothing will be visible)."
    xvfb-run -a "$BUILD_DIR/scanner/Pellwyn"
    exit 0
  fi
  echo "In the program: pick a 扫描设备, 连接, then 扫描; the pages go to $STATION/pages"
  echo "(settings: $INI)."
  exec "$BUILD_DIR/scanner/Pellwyn"
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
