#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends \
    ca-certificates cmake ninja-build g++ pkg-config make \
    juce-modules-source \
    libgtest-dev googletest libbenchmark-dev libexpat1-dev \
    xvfb xauth
