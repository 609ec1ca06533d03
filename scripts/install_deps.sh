#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# this machine lacks. Safe to run again: installed packages are skipped.
set -euo pipefail

packages=(
  cmake make g++ googletest libgtest-dev libgmock-dev python3
  g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 wine wine64
  chromium icoutils clang-19 libclang-rt-19-dev clang-tidy-19 cppcheck
)
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
