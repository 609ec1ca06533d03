#!/usr/bin/env bash
# Runs one of the doc tools that scripts/install_doc_tools.sh installs, from
# the repository's root, or says how to get it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tool="$root/tools/doc_lint/node_modules/.bin/$1"
shift
if [ ! -x "$tool" ]; then
  echo "the doc tools are not installed: run scripts/install_doc_tools.sh (scripts/install_deps.sh runs it)" >&2
  exit 1
fi
cd "$root"
exec "$tool" "$@"
