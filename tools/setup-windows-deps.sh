#!/usr/bin/env bash
# What the Windows build needs on a Debian machine, installed only when missing:
#   the MinGW-w64 cross compiler (posix thread model, so std::thread works), wine64 to run the
#   Windows test programs, and dpkg-dev for `apt-get source`; a virtual screen (xvfb), xdotool
#   and ImageMagick for the Windows console's end-to-end test; NSIS (makensis) for its setup
#   program, and the machine's own C++ compiler for the icon drawn while building;
#   the sources of zlib and libpng as Debian ships them, unpacked once into SRC_DIR (default
#   build-win64/_sources); the build compiles them for Windows. No prebuilt Windows binaries.
#   For kelta-record.exe's MQTT: the sources of OpenSSL and mosquitto too (built by
#   tools/build-windows-mqtt.sh, with make and perl), and for its test under Wine the broker,
#   its clients and the openssl program that makes the test's certificates.
# The source lines (deb-src) are enabled for the same archive and suites as the binary lines.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
src_dir="${1:-$root/build-win64/_sources}"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

pkgs=(g++-mingw-w64-x86-64-posix wine64 dpkg-dev googletest cmake ninja-build xvfb xdotool
  imagemagick make perl mosquitto mosquitto-clients openssl nsis g++)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
updated=0
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  updated=1
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Source packages: "zlib" and "libpng1.6" (the sources of zlib1g-dev and libpng-dev), "openssl"
# and "mosquitto" (of libssl-dev and libmosquitto-dev); each known by a file of its top folder.
have_src() { compgen -G "$src_dir/$1-[0-9]*/${2:-CMakeLists.txt}" >/dev/null; }
have_all() { have_src zlib && have_src libpng1.6 && have_src openssl Configure && have_src mosquitto; }
if have_all; then exit 0; fi

# deb-src lines for the archives the machine already uses (deb822 .sources or one-line lists).
src_list=/etc/apt/sources.list.d/kelta-deb-src.sources
if ! apt-get source --print-uris -qq zlib >/dev/null 2>&1 && [ ! -e "$src_list" ]; then
  tmp="$(mktemp)"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    # Only the Debian archive's stanzas: other vendors' lists are no concern of ours.
    awk -v RS= -v ORS='\n\n' '/URIs:[^\n]*debian/ && /Types:[^\n]*deb/ {
      sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >>"$tmp"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    grep -E '^deb [^#]*debian' "$f" | sed -E 's/^deb /deb-src /' |
      awk '{ printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $2, $3;
             for (i = 4; i <= NF; i++) printf " %s", $i; printf "\n\n" }' >>"$tmp" || true
  done
  if [ ! -s "$tmp" ]; then
    echo "No Debian archive found in the apt sources to take the source packages from" >&2
    exit 1
  fi
  $SUDO install -m 644 "$tmp" "$src_list"
  rm -f "$tmp"
  updated=0
fi
[ "$updated" -eq 1 ] || $SUDO apt-get update -qq

mkdir -p "$src_dir"
cd "$src_dir"
# The version of the installed binary package first (what the Linux build links), then the
# archive's versions, newest first: a mirror may lack one of them (the security archive's pool).
fetch_source() {
  local pkg="$1" bin="$2" v
  for v in $({ dpkg-query -W -f='${Version}\n' "$bin" 2>/dev/null
              apt-cache showsrc "$pkg" | sed -n 's/^Version: //p' | sort -rV; } | awk 'NF && !seen[$0]++'); do
    if apt-get source -qq "$pkg=$v" >/dev/null 2>&1; then
      echo "Unpacked the Debian source $pkg $v"
      return 0
    fi
  done
  echo "apt-get source $pkg failed for every version the archive lists" >&2
  return 1
}
have_src zlib || fetch_source zlib zlib1g-dev
have_src libpng1.6 || fetch_source libpng1.6 libpng-dev
have_src openssl Configure || fetch_source openssl libssl-dev
have_src mosquitto || fetch_source mosquitto libmosquitto-dev
have_all || { echo "apt-get source left no sources in $src_dir" >&2; exit 1; }
