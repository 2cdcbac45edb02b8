#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine (run as root
# or with sudo), and says what it changes.
#   scripts/setup.sh          everything scripts/test-all.sh uses
#   scripts/setup.sh --basic  only what the native build and the demo need
set -euo pipefail
here=$(dirname "$0")
# shellcheck source=platform.sh
source "$here/platform.sh"

# Native build: plug-ins (X11 editors whose text is rendered at build time
# from Liberation Sans with FreeType), renderer (libsndfile for its files,
# libebur128 for its loudness figures), PNG pictures (zlib), unit tests and
# benchmarks.
basic=(build-essential cmake ninja-build pkg-config libsndfile1-dev libebur128-dev libx11-dev libxext-dev zlib1g-dev
       libfreetype-dev fonts-liberation2 libgtest-dev libbenchmark-dev)
# test-all.sh: sanitizer and fuzz builds (clang), formatting check (git,
# clang-format), Windows DLLs (mingw-w64) run under Wine, editor windows
# under Xvfb driven by xdotool, skin bitmap checks (python3).
full=("${basic[@]}" git clang libclang-rt-14-dev clang-format g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
      wine wine64 xvfb xauth xdotool python3)
if can_run_32bit; then
  # 32-bit DLLs run under the 32-bit Wine loader.
  full+=(wine32:i386)
else
  # No 32-bit programs here: the 32-bit arithmetic is checked by a 32-bit
  # Linux build of the plug-ins run under qemu's user-mode emulation.
  full+=(g++-multilib qemu-user-static)
fi

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
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 package architecture (for wine32)"
    $SUDO dpkg --add-architecture i386
  fi
fi
echo "setup: installing ${missing[*]}"
# A mirror in the middle of a sync fails the update now and then: try again,
# and in the end go on with the lists there are (the install says whether
# they were enough).
for attempt in 1 2 3; do
  $SUDO apt-get update -qq && break
  if [ $attempt -lt 3 ]; then
    echo "setup: apt-get update failed, trying again in 20 s"
    sleep 20
  else
    echo "setup: apt-get update failed three times; installing from the package lists there are"
  fi
done
install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; }
install || { echo "setup: install failed, updating and trying once more"; sleep 20; $SUDO apt-get update -qq || true; install; }
