#!/usr/bin/env bash
# Draws the pictures of both editors again (after a change to the skins, the
# toolkit or the editors), with the built klv-snapshot: the README's at
# scale 1 and 2, and those the tests compare at 1.5 and 2.
set -euo pipefail
cd "$(dirname "$0")/.."
snapshot=${1:-build/bin/klv-snapshot}
for scale in 1 1.5 2; do
  suffix=""
  [ "$scale" = 1 ] || suffix="-${scale}x"
  "$snapshot" --programme --seconds 4 -p mix1 --scale "$scale" clampora "docs/clampora$suffix.png"
  "$snapshot" --programme --seconds 4 -p "hot tape2" --scale "$scale" tonvela "docs/tonvela$suffix.png"
done
echo "docs/clampora*.png and docs/tonvela*.png drawn again"
