#!/usr/bin/env bash
# The guiding lab: trains and guides the guider and the main camera on every simulated mount of a file
# (default tests/data/guide_mounts.txt) and prints one table. Usage:
#   scripts/guide_lab.sh [FILE] [--seconds N] [--camera guider|main|both] [--jobs N] [--cli PATH]
#   scripts/guide_lab.sh --dither SEEDS   (dithered guided series on the default mount instead)
set -euo pipefail
exec python3 "$(dirname "$0")/guide_lab.py" "$@"
