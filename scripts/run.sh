#!/usr/bin/env bash
# Installs what is needed, builds and runs the updater, ziron7-flasher.
#
# With a Зирон-7 attached (a USB serial adapter /dev/ttyUSB* or /dev/ttyACM*,
# or a comN entry in $ZIRON7_DEVICE_DIR) it runs the program alone.
# Without one it starts the simulated instrument, ziron7-sim, as COM1 with
# older firmware at a random one of the six baud rates, in a private device
# folder that is removed afterwards, runs the program against it and stops
# the simulator when the program ends.
# Without a display it says so and plays the operator itself on a virtual
# display (simulated instrument only), saving screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-packages.sh run
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target ziron7-flasher ziron7-sim

build=build/default
flasher="$build/app/ziron7-flasher"
sim="$build/sim/ziron7-sim"
user_device_dir="${ZIRON7_DEVICE_DIR:-$HOME/.local/share/ziron7/devices}"
readonly rates=(4800 9600 19200 38400 57600 115200)  # the instrument's main-program rates, baud
readonly sim_start_timeout_s=10

have_display() {
  [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]
}

instrument_attached() {
  compgen -G "/dev/ttyUSB*" >/dev/null || compgen -G "/dev/ttyACM*" >/dev/null ||
    compgen -G "$user_device_dir/com*" >/dev/null
}

if instrument_attached; then
  echo "A serial port for the instrument is present (USB adapter or a comN entry in"
  echo "$user_device_dir): running the updater alone, against the real instrument."
  if ! have_display; then
    echo "There is no display (DISPLAY and WAYLAND_DISPLAY are unset). Updating a real"
    echo "instrument needs a person at the program's windows: run this from a desktop session." >&2
    exit 1
  fi
  exec "$flasher"
fi

rate=${rates[RANDOM % ${#rates[@]}]}
echo "No instrument attached (no /dev/ttyUSB*, /dev/ttyACM* or comN entry in $user_device_dir)."
echo "Starting the simulated Зирон-7 (ziron7-sim) as COM1 with older firmware at $rate baud,"
echo "so the updater will find it and write it."

if ! have_display; then
  echo "There is no display (DISPLAY and WAYLAND_DISPLAY are unset): playing the operator on a"
  echo "virtual display instead, and saving screenshots of each step in $build/demo."
  exec python3 scripts/demo-operator.py --build "$build" --baud "$rate" --out "$build/demo"
fi

private_dir=$(mktemp -d "${TMPDIR:-/tmp}/ziron7-demo.XXXXXX")
sim_pid=""
cleanup() {
  if [[ -n "$sim_pid" ]] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid"
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$private_dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export ZIRON7_DEVICE_DIR="$private_dir/devices"
"$sim" --com 1 --baud "$rate" --firmware-date older --flash "$private_dir/flash.bin" \
  >"$private_dir/sim.out" 2>&1 &
sim_pid=$!
for ((tenth = 0; tenth < sim_start_timeout_s * 10; ++tenth)); do
  grep -q "^ready" "$private_dir/sim.out" && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q "^ready" "$private_dir/sim.out"; then
  echo "The simulated instrument did not start:" >&2
  cat "$private_dir/sim.out" >&2
  exit 1
fi

echo "In the program: keep COM1, wait until it reports «Зирон-7 найден» and OK is enabled,"
echo "press OK and watch the update. The simulator stops when the program ends."
"$flasher" || status=$?
echo "The updater has ended; stopping the simulated instrument."
exit "${status:-0}"
