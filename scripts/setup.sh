#!/usr/bin/env bash
# Installs what is missing on a Debian 12 machine and configures a build tree.
# Safe to run again: it only installs what is absent and reconfigures in place.
#   scripts/setup.sh BUILD_DIR [extra cmake arguments...]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${1:?build directory}"
shift

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
while read -r pkg; do
  pkg="${pkg%%#*}"; pkg="$(echo "$pkg" | xargs)"
  [ -z "$pkg" ] && continue
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done < "$root/scripts/packages.txt"
if ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# pdfium comes pinned by its integrity hash; npm ci refuses anything else.
pdfium_dir="$root/third_party/pdfium"
pdfium_lib="$pdfium_dir/node_modules/@craftlions/pdfium-rs-linux-x64-gnu/libpdfium.so"
stamp="$pdfium_dir/node_modules/.ulvo-lock-stamp"
if [ ! -f "$pdfium_lib" ] || ! cmp -s "$pdfium_dir/package-lock.json" "$stamp"; then
  echo "setup: installing pdfium with npm ci"
  (cd "$pdfium_dir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
  cp "$pdfium_dir/package-lock.json" "$stamp"
fi

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${ULVO_BUILD_TYPE:-RelWithDebInfo}" \
  "${launcher[@]}" "$@" >/dev/null
