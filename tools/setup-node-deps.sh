#!/usr/bin/env bash
# The Node.js consumers the recorder's tests publish to (tests/node/package.json: an MQTT client
# and the Sparkplug B payload decoder, written elsewhere), installed once per machine from the
# npm registry at the versions of tests/node/package-lock.json. Node.js itself comes from
# Debian when the machine has none. Prints nothing when all is there.
#   setup-node-deps.sh        install when missing
#   setup-node-deps.sh --dir  print the node_modules folder the tests use (nothing installed)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
lock="$root/tests/node/package-lock.json"
key=$(cat "$root/tests/node/package.json" "$lock" | sha256sum | cut -c1-16)
base=/var/cache/kelta-node
if ! { mkdir -p "$base" 2>/dev/null && [ -w "$base" ]; }; then
  base="${XDG_CACHE_HOME:-$HOME/.cache}/kelta-node"
fi
dir="$base/$key"
if [ "${1:-}" = "--dir" ]; then
  echo "$dir/node_modules"
  exit 0
fi
[ -f "$dir/node_modules/.kelta-complete" ] && exit 0

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "Installing: nodejs npm"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends nodejs npm \
    >/dev/null
fi
# Into a fresh folder, then moved into place: a run cut short leaves nothing half-made behind.
mkdir -p "$base"
tmp=$(mktemp -d "$base/.install-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
cp "$root/tests/node/package.json" "$lock" "$tmp/"
(cd "$tmp" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >/dev/null)
touch "$tmp/node_modules/.kelta-complete"
rm -rf "$dir"
mv "$tmp" "$dir"
trap - EXIT
echo "Node.js test consumers in $dir/node_modules"
