#!/usr/bin/env bash
# The install as a user gets it: `cmake --install` into a scratch DESTDIR, the
# desktop entry, metadata and man page checked, the installed jetdb and program
# run, and the Debian package built and listed (with --apt also installed with
# apt, run and removed again; that needs root).
# Usage: scripts/test-install.sh [--apt] [BUILD_DIR]
# BUILD_DIR defaults to build/install-rel, configured as a Release build when new.
set -euo pipefail
cd "$(dirname "$0")/.."

apt=no
if [ "${1:-}" = --apt ]; then apt=yes; shift; fi
build="${1:-build/install-rel}"
app_id=example.ledgerwick.Optimizer
fixture=tests/data/jet/pw-V1997-testV1997.mdb
password=m0ssb4nk7q
started=$SECONDS

fail() { echo "test-install: FAILED: $*" >&2; exit 1; }
step() { echo "== install: $*"; }

scratch="$(mktemp -d /tmp/lw-install.XXXXXX)"
pids=()
apt_installed=no  # by this run, so removed again whatever happens
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  if [ "$apt_installed" = yes ]; then
    apt-get purge -y -qq -o DPkg::Lock::Timeout=300 ledgerwick-optimizer >/dev/null 2>&1 || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLW_WERROR=ON >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target ledgerwick-optimizer jetdb theme_icons jetdb_man_page

step "1. cmake --install into a scratch DESTDIR"
root="$scratch/root"
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
usr="$root/usr"
for f in bin/ledgerwick-optimizer bin/jetdb \
  "share/applications/$app_id.desktop" "share/metainfo/$app_id.metainfo.xml" \
  share/man/man1/jetdb.1 share/doc/ledgerwick-optimizer/README.md \
  "share/icons/hicolor/scalable/apps/$app_id.svg"; do
  [ -f "$usr/$f" ] || fail "not installed: /usr/$f"
done
for size in 16 32 48 256; do
  png="$usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
  file -b "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not a $size px PNG"
done
(cd "$root" && find . -type f | sort)

step "2. desktop entry and metadata validate"
desktop-file-validate "$usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$usr/share/metainfo/$app_id.metainfo.xml"
# The metadata's launchable and the entry's icon are found in the tree.
appstreamcli validate-tree --no-net "$root" >/dev/null

step "3. the man page renders without warnings and has every option of --help"
warnings="$(MANWIDTH=80 man -l --warnings "$usr/share/man/man1/jetdb.1" 2>&1 >"$scratch/jetdb.txt")"
[ -z "$warnings" ] || fail "man page warnings: $warnings"
for option in $("$usr/bin/jetdb" --help | grep -o -- '--[a-z-]*' | sort -u); do
  grep -q -- "$option" "$scratch/jetdb.txt" || fail "the man page lacks $option"
done
for command in info check dump compact; do
  for option in $("$usr/bin/jetdb" "$command" --help | grep -o -- '--[a-z-]*' | sort -u); do
    grep -q -- "$option" "$scratch/jetdb.txt" || fail "the man page lacks $command $option"
  done
done
sed -n '1,12p' "$scratch/jetdb.txt"

step "4. installed jetdb: --version, info with --password-file, no password in ps"
"$usr/bin/jetdb" --version | grep -qx "jetdb [0-9.]*" || fail "jetdb --version"
printf '%s\n' "$password" >"$scratch/pw"
chmod 600 "$scratch/pw"
"$usr/bin/jetdb" info "$fixture" --password-file "$scratch/pw" | tee "$scratch/info.txt"
grep -q "^Password: *yes" "$scratch/info.txt" || fail "jetdb info"
# A FIFO as the password file holds `jetdb check` running until the password
# is written, so the process list is read while it runs.
mkfifo "$scratch/pw.fifo"
"$usr/bin/jetdb" check "$fixture" --password-file "$scratch/pw.fifo" >"$scratch/check.txt" &
check_pid=$!
pids+=("$check_pid")
for _ in $(seq 50); do
  [ -r "/proc/$check_pid/cmdline" ] && grep -q pw.fifo "/proc/$check_pid/cmdline" && break
  sleep 0.1
done
ps -o args= -p "$check_pid" | tee "$scratch/ps.txt"
[ -s "$scratch/ps.txt" ] || fail "jetdb check was not running"
if grep -q "$password" "$scratch/ps.txt" "/proc/$check_pid/cmdline"; then
  fail "the password is in the process list"
fi
printf '%s\n' "$password" >"$scratch/pw.fifo"
wait "$check_pid" || fail "jetdb check with the password from a FIFO"
grep -q "no problems found" "$scratch/check.txt" || fail "jetdb check output"

step "5. the installed program starts with its settings file from \$XDG_CONFIG_HOME"
mkdir -p "$scratch/config" "$scratch/data"
cp demo/Ledgerwick.mdb "$scratch/data/Ledgerwick.mdb"
chmod u+w "$scratch/data/Ledgerwick.mdb"
printf '[Config]\ndbPath=%s\n' "$scratch/data/Ledgerwick.mdb" >"$scratch/config/Ledgerwick.ini"
export XDG_CONFIG_HOME="$scratch/config"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/lw-runtime}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# Offscreen: it comes up and stays up.
QT_QPA_PLATFORM=offscreen "$usr/bin/ledgerwick-optimizer" 2>"$scratch/offscreen.err" &
app_pid=$!
pids+=("$app_pid")
sleep 2
kill -0 "$app_pid" 2>/dev/null || fail "the program ended: $(cat "$scratch/offscreen.err")"
kill "$app_pid"
wait "$app_pid" 2>/dev/null || true
# On an X server of its own: its window is mapped with its title, and Alt+O
# (Optimize) compacts the database the settings file names into _Repaired.mdb.
# shellcheck disable=SC2016 # the script's own variables, expanded by its bash
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" & app=$!
  trap "kill $app 2>/dev/null" EXIT
  window=$(timeout 20 xdotool search --sync --onlyvisible --name "^Ledgerwick Optimizer v") || exit 3
  echo "window $window: $(xdotool getwindowname "$window")"
  xdotool windowfocus --sync "$window" key alt+o
  for _ in $(seq 200); do [ -f "$2/_Repaired.mdb" ] && exit 0; sleep 0.1; done
  exit 4' _ "$usr/bin/ledgerwick-optimizer" "$scratch/data" ||
  fail "no window with its title, or Optimize wrote no _Repaired.mdb (status $?)"
"$usr/bin/jetdb" check "$scratch/data/_Repaired.mdb" --password-file "$scratch/pw" >/dev/null ||
  fail "the program's _Repaired.mdb does not check clean"

step "6. the Debian package"
rm -f "$build"/ledgerwick-optimizer_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/ledgerwick-optimizer_*.deb)"
dpkg-deb -c "$deb"
dpkg-deb -f "$deb" Package Version Architecture Depends
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "Depends lacks the Qt libraries"

if [ "$apt" = yes ]; then
  step "6b. apt install, run, remove"
  if dpkg-query -W -f='${Status}' ledgerwick-optimizer 2>/dev/null | grep -q "ok installed"; then
    echo "ledgerwick-optimizer is installed already on this machine; not touching it"
  else
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=300 \
      "$(realpath "$deb")" >/dev/null 2>&1 || fail "apt-get install $deb"
    apt_installed=yes
    /usr/bin/jetdb info "$fixture" --password-file "$scratch/pw" >/dev/null || fail "installed jetdb"
    dpkg -L ledgerwick-optimizer | grep -qx /usr/bin/ledgerwick-optimizer || fail "dpkg -L"
    QT_QPA_PLATFORM=offscreen /usr/bin/ledgerwick-optimizer 2>/dev/null &
    app_pid=$!
    pids+=("$app_pid")
    sleep 1
    kill -0 "$app_pid" 2>/dev/null || fail "the installed program ended"
    kill "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq -o DPkg::Lock::Timeout=300 \
      ledgerwick-optimizer >/dev/null 2>&1 || fail "apt-get purge ledgerwick-optimizer"
    apt_installed=no
    left="$(dpkg -L ledgerwick-optimizer 2>/dev/null || true)"
    if [ -n "$left" ] || [ -e /usr/bin/jetdb ] || [ -e /usr/bin/ledgerwick-optimizer ]; then
      fail "files left after removal: $left"
    fi
    echo "installed, ran and removed cleanly"
  fi
fi

echo "test-install: passed in $((SECONDS - started)) s"
