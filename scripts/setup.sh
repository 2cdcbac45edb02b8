#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine (run as root).
#   scripts/setup.sh          build tools, libraries, cross compilers, Wine
#   scripts/setup.sh --basic  only what the native build and the renderer need
set -euo pipefail

basic=(build-essential cmake ninja-build pkg-config libsndfile1-dev libgtest-dev libbenchmark-dev)
full=("${basic[@]}" clang libclang-rt-14-dev g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
      mingw-w64-tools binutils-mingw-w64 wine wine32:i386 wine64 xvfb xauth xdotool imagemagick clang-format)

want=("${full[@]}")
[ "${1:-}" = "--basic" ] && want=("${basic[@]}")

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: everything is installed"
  exit 0
fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if printf '%s\n' "${missing[@]}" | grep -q ':i386'; then
  dpkg --print-foreign-architectures | grep -q i386 || $SUDO dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
