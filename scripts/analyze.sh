#!/usr/bin/env bash
# Static analysis of the host's sources: clang-tidy over the portable code and
# the POSIX backend (the Windows backend needs the cross compiler's headers),
# cppcheck over everything. Any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
mapfile -t sources < <(ls src/platform/*.cpp src/text/*.cpp src/log/*.cpp src/app_link/*.cpp \
  src/relay/*.cpp src/host/host.cpp src/host/launch_marker.cpp src/host/main_posix.cpp \
  src/platform/posix/*.cpp)
echo "clang-tidy: ${#sources[@]} files"
run-clang-tidy-19 -quiet -j 2 -p build/native "${sources[@]}" >build/native/clang-tidy.log 2>&1 || {
  grep -E 'warning:|error:' build/native/clang-tidy.log | sort -u
  echo "clang-tidy found problems"
  exit 1
}
echo "cppcheck: src/"
cppcheck --quiet --enable=warning,performance,portability --std=c++20 \
  --inline-suppr --error-exitcode=1 -I src src
echo "static analysis: no findings"
