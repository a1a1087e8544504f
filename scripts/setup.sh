#!/bin/sh
# Installs the Debian packages the build, the simulator and the tests need.
set -eu
packages="cmake make g++ libgtest-dev bubblewrap"
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
done
if [ -n "$missing" ]; then
    apt-get update
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi
