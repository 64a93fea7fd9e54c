#!/usr/bin/env bash
# check-package.sh BUILD: builds the Debian package in the build folder BUILD (cpack -G DEB) and
# checks it as an operator would meet it:
#   - its file list holds the programs, the console's share/kelta files, the launcher, the
#     icons, the metadata and the man pages; its name and version are the project's, its
#     dependencies were computed, and it has no maintainer scripts (it never changes groups or
#     udev rules);
#   - desktop-file-validate on the launcher, appstreamcli validate on the metadata;
#   - the recorder's systemd unit read by systemd-analyze (verify, and security at most 3.0);
#   - unpacked with dpkg -x where its user cannot write (as root: run as nobody): kelta-sim
#     --help; then kelta-sim linking COM<N> and the console started offscreen against it,
#     reading once (--read-once), its own files landing in a temporary XDG_DATA_HOME and none
#     beside the programs; no error logged (the dial picture and help came from share/kelta).
# Prints one line per check and "package: N checks passed, N failed"; exits non-zero on a
# failure.
set -uo pipefail
build="$(cd "$1" && pwd)"
root="$(cd "$(dirname "$0")/.." && pwd)"
passed=0 failed=0
ok() { echo "package: $*"; passed=$((passed + 1)); }
bad() { echo "package: FAILED: $*" >&2; failed=$((failed + 1)); }
check() { # description, command...
  local what=$1; shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}
finish() {
  echo "package: $passed checks passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

# As root the programs run as nobody, who must reach them: /tmp, whatever TMPDIR says.
tmp=${TMPDIR:-/tmp}
[ "$(id -u)" -ne 0 ] || tmp=/tmp
work="$(mktemp -d "$tmp/kelta-package-XXXXXX")"
sim_pid=""
cleanup() {
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; }
  # $! is the shell that started the simulator through env and setpriv, not the simulator
  # itself: whatever still runs from the unpacked package is ended by its path.
  pkill -f -- "$work/" 2>/dev/null
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

version=$(sed -nE 's/^CMAKE_PROJECT_VERSION:STATIC=(.*)$/\1/p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
deb="$build/kelta-display_${version}_${arch}.deb"
rm -f "$deb"
if ! (cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || [ ! -f "$deb" ]; then
  cat "$work/cpack.log" >&2
  bad "cpack -G DEB made no $(basename "$deb")"
  finish
fi
ok "built $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"

check "named kelta-display, version $version" \
  test "$(dpkg-deb -f "$deb" Package Version | tr '\n' ' ')" = "Package: kelta-display Version: $version "
depends=$(dpkg-deb -f "$deb" Depends)
check "dependencies computed (libqt6widgets6, libpng16-16, libc6 among: $depends)" \
  grep -q 'libqt6widgets6.*' <<<"$depends"
grep -q 'libpng16-16' <<<"$depends" && grep -q 'libc6' <<<"$depends" || bad "libpng16-16 or libc6 missing"
mkdir "$work/control"
dpkg-deb -e "$deb" "$work/control"
scripts=$(cd "$work/control" && ls -d preinst postinst prerm postrm config 2>/dev/null)
check "no maintainer scripts${scripts:+ (has: $scripts)}" test -z "$scripts"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
expected=(
  /usr/bin/KELTA_Dispaly /usr/bin/kelta-sim /usr/bin/kelta-record /usr/bin/kelta-imgcheck
  /usr/bin/kelta-render-dial
  /usr/share/kelta/help.txt /usr/share/kelta/img/Mode0.png /usr/share/kelta/img/Mode1.png
  /usr/share/kelta/img/Mode2.png /usr/share/kelta/img/Mode3.png /usr/share/kelta/img/arrow2.PNG
  /usr/share/applications/kelta-display.desktop
  /usr/share/metainfo/io.github.kelta.Display.metainfo.xml
  /usr/lib/systemd/system/kelta-record@.service
)
for size in 16 22 24 32 48 64 128 256 512; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/kelta-display.png")
done
for page in kelta-sim kelta-record kelta-imgcheck kelta-render-dial; do
  expected+=("/usr/share/man/man1/$page.1.gz")
done
missing=()
for f in "${expected[@]}"; do grep -qxF "$f" "$work/files" || missing+=("$f"); done
check "the file list has all ${#expected[@]} expected files${missing[*]:+ (missing: ${missing[*]})}" \
  test "${#missing[@]}" -eq 0
# Nothing outside /usr, nothing under /etc or udev.
check "every file below /usr, none for udev" \
  bash -c '! grep -vE "^/usr/" "$1" | grep -v "^/$" | grep -q . && ! grep -q udev "$1"' _ "$work/files"

ext="$work/root"
dpkg -x "$deb" "$ext"
check "desktop-file-validate kelta-display.desktop" \
  desktop-file-validate "$ext/usr/share/applications/kelta-display.desktop"
check "appstreamcli validate io.github.kelta.Display.metainfo.xml" \
  appstreamcli validate --no-net "$ext/usr/share/metainfo/io.github.kelta.Display.metainfo.xml"
grep -q "Exec=KELTA_Dispaly" "$ext/usr/share/applications/kelta-display.desktop" &&
  grep -q "^Name=KELTA Display$" "$ext/usr/share/applications/kelta-display.desktop" ||
  bad "the launcher does not start KELTA_Dispaly as \"KELTA Display\""
unit="$ext/usr/lib/systemd/system/kelta-record@.service"
check "the unit starts /usr/bin/kelta-record" grep -q '^ExecStart=/usr/bin/kelta-record ' "$unit"
# systemd's own reading of the unit: every line understood (verify warns but still succeeds,
# so any output fails), its program there to run (the unpacked one, named in a copy), and its
# exposure at most 3.0 of 10 (the threshold counts in tenths).
sed "s|^ExecStart=/usr/bin/|ExecStart=$ext/usr/bin/|" "$unit" >"$work/kelta-record@.service"
verified=$(systemd-analyze verify --man=no "$work/kelta-record@.service" 2>&1)
check "systemd-analyze verify kelta-record@.service${verified:+ ($verified)}" test -z "$verified"
exposure=$(systemd-analyze security --offline=true --threshold=30 \
  "$work/kelta-record@.service" 2>&1 | tail -n 1 | grep -oE "[0-9.]+ [A-Z]+")
check "systemd-analyze security kelta-record@.service: exposure $exposure" \
  systemd-analyze security --offline=true --threshold=30 "$work/kelta-record@.service"
bad_pages=()
for page in kelta-sim kelta-record kelta-imgcheck kelta-render-dial; do
  zcat "$ext/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH ${page^^} 1 .*$version" ||
    bad_pages+=("$page")
done
check "man pages with their version${bad_pages[*]:+ (bad: ${bad_pages[*]})}" test "${#bad_pages[@]}" -eq 0

# The unpacked programs where their user cannot write: as root, run them as nobody (root writes
# past permissions); otherwise take the write bits away.
data="$work/data"
mkdir "$data"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$work"
  chown 65534:65534 "$data"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
  chmod -R a-w "$ext"
fi
find "$ext/usr/bin" "$ext/usr/share/kelta" | sort >"$work/before"
run() { env -i PATH=/usr/bin:/bin HOME=/nonexistent XDG_DATA_HOME="$data" \
  XDG_RUNTIME_DIR="$data" QT_QPA_PLATFORM=offscreen "${as_user[@]}" "$@"; }

if run "$ext/usr/bin/kelta-sim" --help | grep -q "^Usage: kelta-sim"; then
  ok "kelta-sim --help"
else
  bad "kelta-sim --help"
fi

com=7
run "$ext/usr/bin/kelta-sim" --com "$com" --angle 12.5 --rate 20 >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 1 100); do [ -L "$data/kelta/ports/com$com" ] && break; sleep 0.05; done
check "kelta-sim linked ports/com$com in the user's data folder" test -L "$data/kelta/ports/com$com"
start=$(date +%s%N)
run timeout 60 "$ext/usr/bin/KELTA_Dispaly" --read-once "COM$com" >"$work/console.out" 2>"$work/console.err"
rc=$?
echo "package: the console ran $((($(date +%s%N) - start) / 1000000)) ms"
if [ "$rc" -eq 0 ] && grep -qx "angle 12.5" "$work/console.out"; then
  ok "the installed console read 12.5 from the simulator"
else
  bad "the console (exit $rc) read no angle: $(cat "$work/console.out" "$work/console.err")"
fi
size=$(stat -c %s "$data/kelta/UserSet.dat" 2>/dev/null || echo none)
check "UserSet.dat (61 bytes) in XDG_DATA_HOME/kelta (found: $size)" test "$size" = 61
check "no error in LogFile.Log" test ! -e "$data/kelta/LogFile.Log"
find "$ext/usr/bin" "$ext/usr/share/kelta" | sort >"$work/after"
check "nothing written beside the programs" cmp -s "$work/before" "$work/after"
finish
