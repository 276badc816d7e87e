#!/usr/bin/env bash
# Runs the end-to-end session test with its window shown on a virtual X display and saves a picture
# of the window at every page of the meter, as the simulated meter fills it in, then the firmware
# update with its boxes (check, progress, result) as they stand over the window, then a slope
# calibration with its 3D view for the six- and the four-reading meter (calibrate-<model>-start, one
# picture per press, calibrate-<model>-step<s> for the press at step s, and the results), the results
# of a calibration that measured nothing (calibrate-results-failed) and the wizard on a computer
# without OpenGL (calibrate-no-opengl, drawn off screen, where no render device can be made). Not
# part of the test command: it is for looking at the pages as a user sees them.
#   scripts/screenshots.sh [folder]      (default: build/screenshots)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
. scripts/packages.sh
ensure_packages "${PELOTUNE_BUILD_PACKAGES[@]}" "${PELOTUNE_TEST_PACKAGES[@]}"
folder="$(realpath -m "${1:-build/screenshots}")"
cmake -S . -B build/screenshots-build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/screenshots-build --target app_tests firmware_tests calibration_page_tests calibration_gl_tests -j "$(nproc)"
rm -rf "$folder"
mkdir -p "$folder"
PELOTUNE_SCREENSHOTS="$folder" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  build/screenshots-build/tests/app/app_tests --gtest_filter='EndToEndTest.*'
PELOTUNE_SCREENSHOTS="$folder" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  build/screenshots-build/tests/firmware/firmware_tests \
  --gtest_filter='FirmwareEndToEndTest.CheckUpdateWatchTheProgressAndTheServerHearsOfIt'
# The calibration wizard with its 3D view, step by step (the view is drawn by Mesa on the X server).
PELOTUNE_SCREENSHOTS="$folder" QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1 \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  build/screenshots-build/tests/calibration/gl/calibration_gl_tests --gtest_filter='CalibrationSessionGLTest.*'
# A failed calibration's results and the wizard without a render device (off screen: no OpenGL).
PELOTUNE_SCREENSHOTS="$folder" QT_QPA_PLATFORM=offscreen \
  build/screenshots-build/tests/calibration/calibration_page_tests \
  --gtest_filter='ResultsTest.ACalibrationThatMeasuredNothing*:CalibrationViewTest.WithoutARenderDevice*'
echo "Screenshots in $folder:"
ls "$folder"
