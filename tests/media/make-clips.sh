#!/usr/bin/env bash
# Makes the test clips once per build tree: make-clips.sh OUTDIR
set -euo pipefail
out="${1:?usage: make-clips.sh OUTDIR}"
mkdir -p "$out"
