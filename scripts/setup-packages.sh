#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt that are not yet
# installed. Needs root only when something is missing; quick otherwise.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

missing=()
while read -r package; do
  [[ -z "$package" || "$package" == \#* ]] && continue
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
