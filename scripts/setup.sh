#!/usr/bin/env bash
# Installs every Debian package Tolvane needs to build, run and test.
# Idempotent: packages already present are left alone. Run as root on Debian 12.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang-format
  # Qt 6 and coroutines
  qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-tools-dev qcoro-qt6-dev
  libqt6sql6-sqlite libqt6svg6-dev qt6-svg-dev qt6-multimedia-dev qt6-l10n-tools
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtqml-workerscript qml6-module-qtquick-templates
  qml6-module-qtquick-dialogs qml6-module-qtmultimedia qml6-module-qtquick-shapes
  qml6-module-qttest
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
