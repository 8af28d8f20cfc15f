#!/usr/bin/env bash
# Installs every Debian package Tolvane needs to build, run and test.
# Idempotent: packages already present are left alone. Run as root on Debian 12.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang-format clang-format-16 clang-tidy
  # Qt 6 and coroutines
  qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-tools-dev qcoro-qt6-dev
  libqt6sql6-sqlite libqt6svg6-dev qt6-svg-dev qt6-multimedia-dev qt6-l10n-tools
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtqml-workerscript qml6-module-qtquick-templates
  qml6-module-qtquick-dialogs qml6-module-qtmultimedia qml6-module-qtquick-shapes
  qml6-module-qttest qml6-module-qtqml qml6-module-qtqml-models
  # TIFF and WebP pictures (pasted screenshots)
  qt6-image-formats-plugins
  # media
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libavdevice-dev libavfilter-dev ffmpeg
  # local coach service: store, and the font its post previews are drawn with
  libsqlite3-dev fonts-dejavu-core
  # local coach: English grammar for the posts it writes
  liblink-grammar-dev link-grammar-dictionaries-en
  # on-device speech (engine, en-US model), caption faces, speech fixtures for tests
  libpocketsphinx-dev libsphinxbase-dev pocketsphinx-en-us fonts-roboto-unhinted
  flite pocketsphinx-testdata
  # headless runs and screenshots; a private message bus for the desktop tests
  xvfb xauth imagemagick dbus-daemon
  # person segmentation: XNNPACK runs the model, flatc compiles its format
  libxnnpack-dev libpthreadpool-dev flatbuffers-compiler libflatbuffers-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# The person segmentation model, from its npm package (checked by hash; the app
# never downloads it). Debian's npm only where no npm came with the machine's
# Node.js (the two conflict).
if ! command -v npm >/dev/null; then
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends npm
fi
model_dir=/usr/local/share/tolvane/models
model_sha256=4aafe6223bb8dac6fac8ca8ed56852870a33051ef3f6238822d282a109962894
model="$model_dir/selfie_segmentation_landscape.tflite"
if ! echo "$model_sha256  $model" | sha256sum -c --status 2>/dev/null; then
  work=$(mktemp -d)
  (cd "$work" && npm pack --silent @mediapipe/selfie_segmentation@0.1.1675465747 >/dev/null &&
    tar xzf mediapipe-selfie_segmentation-0.1.1675465747.tgz package/selfie_segmentation_landscape.tflite)
  echo "$model_sha256  $work/package/selfie_segmentation_landscape.tflite" | sha256sum -c --quiet
  $SUDO mkdir -p "$model_dir"
  $SUDO install -m 644 "$work/package/selfie_segmentation_landscape.tflite" "$model"
  rm -rf "$work"
fi

# A person photo for the segmentation tests, taken out of a Debian data package
# without installing it.
fixture_dir=/usr/local/share/tolvane/fixtures
if [ ! -f "$fixture_dir/grace_hopper.jpg" ]; then
  work=$(mktemp -d)
  chmod 777 "$work"
  (cd "$work" && apt-get download -qq python-matplotlib-data && dpkg -x python-matplotlib-data_*.deb x)
  $SUDO mkdir -p "$fixture_dir"
  $SUDO install -m 644 "$work/x/usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg" "$fixture_dir/"
  rm -rf "$work"
fi
