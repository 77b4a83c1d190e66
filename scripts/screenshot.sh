#!/usr/bin/env bash
# Takes a picture of the running Tindrel II window under a virtual X server, so anyone can see the
# layout without a desktop. Builds what is missing, makes a program folder in a temporary place
# with a starter note table, starts the program there, waits for its window, takes a screenshot
# of the whole virtual screen and prints where it saved it.
#
#   scripts/screenshot.sh [OUTPUT.png]      (default: a file in the temporary folder)
#
# BUILD_DIR chooses the build folder (default build/). SCREENSHOT_DELAY (seconds, default 3) is
# how long the program gets to draw before the picture is taken.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
delay=${SCREENSHOT_DELAY:-3}

"$root/scripts/setup.sh"
for tool in xvfb-run import; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh needs $tool: run scripts/setup.sh" >&2; exit 1; }
done

cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target tindrel tindrel-table -j"$(nproc)"

work=$(mktemp -d "${TMPDIR:-/tmp}/tindrel-screenshot-XXXXXX")
output=${1:-$work/tindrel-window.png}
case "$output" in /*) ;; *) output=$PWD/$output ;; esac
folder=$work/TindrelII
mkdir -p "$folder"
install -m 755 "$build/app/tindrel" "$folder/tindrel"
"$build/tools/tindrel-table" create "$folder" >/dev/null

# Inside the virtual server: start the program, give it time to draw, take the picture, end the
# program again (by its own process id).
inner=$(cat <<'INNER'
set -eu
"$1/tindrel" &
program=$!
sleep "$3"
import -window root "$2"
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
INNER
)
xvfb-run -a -s "-screen 0 800x600x24 -dpi 96" bash -c "$inner" screenshot "$folder" "$output" "$delay"

echo "Screenshot of the Tindrel II window: $output"
