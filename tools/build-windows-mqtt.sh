#!/usr/bin/env bash
# build-windows-mqtt.sh SRC_DIR
# kelta-record.exe's MQTT client for Windows, cross-compiled with MinGW-w64 from the Debian
# source packages tools/setup-windows-deps.sh unpacked into SRC_DIR (an absolute path):
# OpenSSL's libcrypto and libssl (libmosquitto's TLS is written for OpenSSL only), then
# libmosquitto, the client library only, all static. Prints the prefix holding include/ and
# lib/ as its last line (the rest goes to standard error).
# Built once per machine: the prefix is /var/cache/kelta-windows-deps/<the sources' Debian
# versions and this script's hash>, or below ${XDG_CACHE_HOME:-~/.cache} where /var/cache is
# not writable (KELTA_WIN_DEPS_CACHE chooses another folder); a run that finds it there builds
# nothing. Another run building the same prefix at the same time waits for it (a lock).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
src_dir="${1:?usage: build-windows-mqtt.sh SRC_DIR}"
case "$src_dir" in /*) ;; *) echo "build-windows-mqtt: SRC_DIR must be absolute" >&2; exit 64 ;; esac
jobs=${KELTA_JOBS:-$(nproc)}
triple=x86_64-w64-mingw32

# The one unpacked tree of a source package, and its Debian version (patches included).
tree_of() {
  local dirs=()
  mapfile -t dirs < <(compgen -G "$src_dir/$1-[0-9]*/debian/changelog" | xargs -r -n1 dirname | xargs -r -n1 dirname)
  if [ "${#dirs[@]}" -ne 1 ]; then
    echo "build-windows-mqtt: expected one unpacked $1 source in $src_dir, found ${#dirs[@]}" \
      "(bash tools/setup-windows-deps.sh $src_dir)" >&2
    exit 1
  fi
  echo "${dirs[0]}"
}
openssl_src="$(tree_of openssl)"
mosquitto_src="$(tree_of mosquitto)"
version_of() { dpkg-parsechangelog -l "$1/debian/changelog" -S Version; }
script_hash="$(sha256sum "$0" | cut -c1-12)"
key="openssl_$(version_of "$openssl_src")-mosquitto_$(version_of "$mosquitto_src")-$script_hash"

cache="${KELTA_WIN_DEPS_CACHE:-}"
if [ -z "$cache" ]; then
  cache=/var/cache/kelta-windows-deps
  if ! { mkdir -p "$cache" 2>/dev/null && [ -w "$cache" ]; }; then
    cache="${XDG_CACHE_HOME:-$HOME/.cache}/kelta-windows-deps"
  fi
fi
mkdir -p "$cache"
prefix="$cache/$key"

exec 9>"$cache/.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

started=$(date +%s)
work="$(mktemp -d "$cache/.build-XXXXXX")"
trap 'rm -rf "$work"' EXIT
stage="$work/prefix"
log="$work/log"
echo "build-windows-mqtt: building OpenSSL and libmosquitto for Windows into $prefix" >&2
run() { # what, command...: quiet unless it fails
  local what=$1
  shift
  if ! "$@" >>"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "build-windows-mqtt: $what failed" >&2
    exit 1
  fi
}

# OpenSSL: the libraries only (no programs, tests or manuals), and without what neither TLS to
# a broker nor reading its keys and certificates uses, which keeps the build short. The
# configuration folder is one only administrators may write, since the library reads its
# openssl.cnf from there: a folder any user could make (such as C:\var) would let them hand
# the recorder a configuration of their own.
mkdir -p "$work/openssl"
(cd "$work/openssl" && run "OpenSSL's configuration" perl "$openssl_src/Configure" mingw64 \
  --cross-compile-prefix=$triple- --prefix="$stage" --libdir=lib \
  "--openssldir=C:/Program Files/Common Files/SSL" \
  no-shared no-module no-legacy no-engine no-dso no-tests no-comp no-ssl3 no-dtls no-srp \
  no-gost no-idea no-seed no-camellia no-aria no-sm2 no-sm3 no-sm4 no-whirlpool no-mdc2 no-md4 \
  no-rc2 no-rc4 no-bf no-cast no-cms no-cmp no-ts no-srtp no-ec2m no-ssl-trace no-siphash \
  no-ocb no-scrypt no-capieng)
run "OpenSSL's build" make -C "$work/openssl" -j "$jobs" build_libs
run "OpenSSL's installation" make -C "$work/openssl" install_dev

# libmosquitto alone (no broker, clients, plugins, C++ wrapper or manuals), with its threads
# (the recorder publishes from one thread while another runs the network loop: MinGW's POSIX
# threads) and TLS.
run "libmosquitto's configuration" cmake -S "$mosquitto_src" -B "$work/mosquitto" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -Wno-dev -DWITH_STATIC_LIBRARIES=ON -DWITH_THREADING=ON -DWITH_TLS=ON -DWITH_TLS_PSK=ON \
  -DWITH_CJSON=OFF -DWITH_LIB_CPP=OFF -DWITH_CLIENTS=OFF -DWITH_BROKER=OFF -DWITH_APPS=OFF \
  -DWITH_PLUGINS=OFF -DDOCUMENTATION=OFF -DWITH_SRV=OFF \
  -DOPENSSL_INCLUDE_DIR="$stage/include" -DLIB_EAY="$stage/lib/libcrypto.a" \
  -DSSL_EAY="$stage/lib/libssl.a"
run "libmosquitto's build" cmake --build "$work/mosquitto" -j "$jobs" --target libmosquitto_static
install -m 644 "$work/mosquitto/lib/libmosquitto_static.a" "$stage/lib/libmosquitto_static.a"
install -m 644 "$mosquitto_src/include/mosquitto.h" "$mosquitto_src/include/mqtt_protocol.h" \
  "$stage/include/"

rm -rf "$stage/share" "$stage/bin"
touch "$stage/.complete"
rm -rf "$prefix"
mv "$stage" "$prefix"
echo "build-windows-mqtt: built in $(($(date +%s) - started)) s" >&2
echo "$prefix"
