#!/usr/bin/env bash
# Installs the npm packages that check the docs (markdownlint-cli2,
# remark-cli, remark-validate-links) into tools/doc_lint/node_modules, at the
# versions tools/doc_lint/package-lock.json pins. Skipped when that lock file
# is already installed, so the doc tests run offline from then on.
set -euo pipefail
cd "$(dirname "$0")/../tools/doc_lint"

stamp=node_modules/.installed-lock.json
if cmp -s package-lock.json "$stamp"; then
  exit 0
fi
if ! command -v npm >/dev/null; then
  echo "install_doc_tools: npm is missing: the doc tests need Node.js 20 or later with npm" >&2
  exit 1
fi
echo "Installing the doc tools into tools/doc_lint/node_modules"
npm ci --no-audit --no-fund --loglevel=error
cp package-lock.json "$stamp"
