#!/usr/bin/env bash
# The Debian 12 packages Pelotune needs, in one place, and the one function that
# installs whichever of them are missing. Sourced by run.sh and test.sh.

# To build and run the program.
PELOTUNE_BUILD_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev libusb-1.0-0-dev
  qt6-base-dev qt6-qpa-plugins
  libgl-dev libglew-dev libx11-dev
  libopenal-dev
  libpng-dev libjpeg62-turbo-dev libfreetype-dev fonts-dejavu-core
)

# Further, to build and run the tests, the sanitizer and fuzz builds and the benchmarks.
PELOTUNE_TEST_PACKAGES=(
  clang-14 libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libglm-dev libeigen3-dev
  locales-all
  libssl-dev
  xvfb xauth mesa-utils libgl1-mesa-dri libxcomposite-dev
  libode-dev libbullet-dev libogre-1.12-dev
  libyuv-dev libpixman-1-dev
  libsndfile1-dev
  libsdl2-image-dev libstb-dev
  # The studio model oracle.
  libassimp-dev
  # Real image files for the image reader tests.
  fp-compiler-3.2.2 python3-pygame assimp-testmodels 0ad-data-common
)

# ensure_packages PACKAGE...: installs only what dpkg does not already have.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
