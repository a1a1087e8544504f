#!/bin/sh
# Builds the API reference of the installed headers into
# build/api-reference/html with Doxygen; fails (status 1) when a public
# operation, class or field is not documented.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
mkdir -p build/api-reference
doxygen docs/Doxyfile
echo "API reference: build/api-reference/html/index.html"
