#!/usr/bin/env bash
# Writes the manual page of each program given, as help2man makes it from the
# program's own --help and the first line of its --version (the rest names
# the firmware of this build, which a page does not depend on), dated by the
# latest entry of packaging/changelog, so that the same program always gives
# the same page.
# The committed pages in packaging/man come from here, and
# scripts/check-package.sh runs it on the packaged programs to hold the
# committed pages against them. After a change of a program's --help:
#   bash packaging/write-manual-pages.sh packaging/man \
#     build/default/app/ziron7-flasher build/default/app/cli/ziron7-cli \
#     build/default/sim/ziron7-sim
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
output=$1
shift

SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$here/changelog" -S Timestamp)
export SOURCE_DATE_EPOCH

# The NAME line of each page.
declare -A summaries=(
  [ziron7-flasher]="update the firmware of a Зирон-7 DC power source over a serial port"
  [ziron7-cli]="update the firmware of a Зирон-7 DC power source from scripts"
  [ziron7-sim]="simulate a Зирон-7 DC power source on a pseudo-terminal"
)

for program in "$@"; do
  name=$(basename "$program")
  [[ -n "${summaries[$name]:-}" ]] || { echo "no summary for $name" >&2; exit 1; }
  # Without a display: the updater answers before any window opens.
  version=$(unset DISPLAY WAYLAND_DISPLAY; "$program" --version)
  version=${version%%$'\n'*}
  # PERL_UNICODE=A: help2man takes its arguments (the NAME line) as UTF-8.
  (unset DISPLAY WAYLAND_DISPLAY; PERL_UNICODE=A help2man --locale C.UTF-8 --no-info --section 1 \
    --version-string "${version#"$name "}" --name "${summaries[$name]}" \
    --output "$output/$name.1" "$program")
done
