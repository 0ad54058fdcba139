#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt that are not yet
# installed: all of them, or with "run" only those that building and running
# the program need (the lines not marked "tests"). Needs root only when
# something is missing; quick otherwise.
#   bash scripts/setup-packages.sh [run]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
scope=${1:-all}

missing=()
while read -r package purpose _; do
  [[ -z "$package" || "$package" == \#* ]] && continue
  [[ "$scope" == run && "$purpose" == tests ]] && continue
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "installed" ]] || missing+=("$package")
done < "$here/packages.txt"

if (( ${#missing[@]} == 0 )); then
  exit 0
fi
echo "Installing: ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
  echo "Missing packages need root: run this command as root or with sudo." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
