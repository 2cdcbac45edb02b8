#!/usr/bin/env bash
# Draws the README's pictures of both editors again (after a change to the
# skins, the toolkit or the editors), with the built klv-snapshot.
set -euo pipefail
cd "$(dirname "$0")/.."
snapshot=${1:-build/bin/klv-snapshot}
"$snapshot" --programme --seconds 4 -p mix1 clampora docs/clampora.png
"$snapshot" --programme --seconds 4 -p "hot tape2" tonvela docs/tonvela.png
echo "docs/clampora.png and docs/tonvela.png drawn again"
