#!/usr/bin/env bash
# Installs the Debian packages Kolvadeck needs. "build" = to build and run the
# program; "test" = also the peers and servers the test suite uses.
# Skips apt-get entirely when everything is present already.
set -euo pipefail
what=${1:-build}

build_pkgs=(
  build-essential cmake pkg-config ninja-build clang-format
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6multimediawidgets6
  qt6-image-formats-plugins
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-libav
  libmpg123-dev portaudio19-dev libpulse-dev libasound2-dev libasound2-plugins
  libcurl4-openssl-dev libpugixml-dev libjpeg62-turbo-dev
  libsqlite3-dev libtag1-dev libcpp-httplib-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libebur128-dev
  libshout3-dev libmp3lame-dev libopus-dev libspeexdsp-dev libogg-dev libvorbis-dev
  ffmpeg yt-dlp xdg-utils fonts-dejavu-core
  xvfb pulseaudio pulseaudio-utils
)
test_pkgs=(
  libgtest-dev libgmock-dev googletest libbenchmark-dev libx11-dev
  lame id3v2 python3-mutagen sox libsox-fmt-mp3 mpg123 alsa-utils flac opus-tools
  nginx libnginx-mod-rtmp icecast2 xauth dbus playerctl desktop-file-utils appstream
  clang-14 libclang-rt-14-dev clang-tidy
)

pkgs=("${build_pkgs[@]}")
[ "$what" = test ] && pkgs+=("${test_pkgs[@]}")

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=; [ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
