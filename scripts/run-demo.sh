#!/usr/bin/env bash
# Installs what is missing, builds the program, and starts it on a fresh demo folder:
# a copy of the demo database named Ledgerwick.mdb and a settings file pointing at it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)" --target ledgerwick-optimizer

demo="$(mktemp -d /tmp/ledgerwick-demo.XXXXXX)"
mkdir -p "$demo/data" "$demo/config"
cp demo/Ledgerwick.mdb "$demo/data/Ledgerwick.mdb"
chmod u+w "$demo/data/Ledgerwick.mdb"
printf '[Config]\ndbPath=%s\n' "$demo/data/Ledgerwick.mdb" > "$demo/config/Ledgerwick.ini"
echo "demo folder: $demo/data"

# "Ledgerwick.ini" without a folder is looked for in $XDG_CONFIG_HOME.
export XDG_CONFIG_HOME="$demo/config"
# A settings file beside the program would win over the demo's; say so rather than surprise.
if [ -f build/release/ledgerwick-optimizer.ini ]; then
  echo "note: build/release/ledgerwick-optimizer.ini exists and is read instead of the demo settings"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "no display: running under xvfb-run (nothing will be visible)"
  exec xvfb-run -a -s "-screen 0 1024x768x24" build/release/ledgerwick-optimizer
fi
exec build/release/ledgerwick-optimizer
