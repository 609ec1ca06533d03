#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# this machine lacks. Safe to run again: installed packages are skipped.
set -euo pipefail

# The cross compiler and Wine with their recommended packages (Wine loads
# some of them at run time); the rest without.
with_recommends=(g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 wine wine64)
without_recommends=(
  cmake make g++ git googletest libgtest-dev libgmock-dev python3
  chromium firefox-esr icoutils clang-19 libclang-rt-19-dev clang-tidy-19 cppcheck
  wixl msitools osslsigncode openssl xvfb
)

missing_from() {
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null |
      grep -q "install ok installed" || echo "$package"
  done
}

# The doc tools come from npm, into the project's own folder.
"$(dirname "$0")/install_doc_tools.sh"

mapfile -t missing_plain < <(missing_from "${without_recommends[@]}")
mapfile -t missing_full < <(missing_from "${with_recommends[@]}")
[ ${#missing_plain[@]} -eq 0 ] && [ ${#missing_full[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
if [ ${#missing_plain[@]} -gt 0 ]; then
  echo "Installing: ${missing_plain[*]}"
  $sudo apt-get install -y -qq --no-install-recommends "${missing_plain[@]}" >/dev/null
fi
if [ ${#missing_full[@]} -gt 0 ]; then
  echo "Installing: ${missing_full[*]}"
  $sudo apt-get install -y -qq "${missing_full[@]}" >/dev/null
fi
