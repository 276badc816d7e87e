#!/usr/bin/env bash
# Builds the OpenGL back end, then shows one frame cleared by the render device in a plain X window
# and saves a screenshot of the screen: on the display in DISPLAY, or in a virtual X server (Xvfb)
# with Mesa's software renderer when there is none.
#   scripts/cleared-frame.sh [SCREENSHOT.png]      (default: build/cleared-frame.png)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
. scripts/packages.sh
ensure_packages "${PELOTUNE_BUILD_PACKAGES[@]}" xvfb xauth libgl1-mesa-dri

build=build/example
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELOTUNE_TESTS=OFF >/dev/null
cmake --build "$build" --target render_gl
c++ -std=c++17 -O2 -I. scripts/examples/ClearedFrame.cpp \
  "$build/render/gl/librender_gl.a" "$build/render/librender.a" "$build/core/libcore.a" \
  -lGLEW -lGL -lX11 -lz -lpthread -ldl -o "$build/ClearedFrame"

shot="${1:-build/cleared-frame.png}"
if [ -n "${DISPLAY:-}" ]; then
  "$build/ClearedFrame" "$shot"
else
  LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 640x400x24" "$build/ClearedFrame" "$shot"
fi
echo "screenshot: $shot"
