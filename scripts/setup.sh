#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing,
# and any further packages named as arguments. ansible-core runs the roll-out test of
# deploy/ansible, whose hosts are network namespaces (iproute2) each with its own sshd
# (openssh-server; openssh-client for the controller, binutils' strip for small copies
# of the program); ansible brings the Windows collection its syntax check reads; graphviz
# draws doc/libraries.svg (the doc_graph target). lintian checks the Debian packages;
# wixl and msitools make the Windows installer.
# Usage: scripts/setup.sh [package...]
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev libbenchmark-dev nlohmann-json3-dev
          g++-mingw-w64-x86-64-posix wine wine64 libxml2-utils python3-jsonschema
          dpkg-dev groff-base man-db unzip python3 ansible-core ansible openssh-server openssh-client
          iproute2 binutils lintian wixl msitools graphviz "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
