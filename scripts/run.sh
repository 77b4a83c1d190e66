#!/usr/bin/env bash
# Sets everything up and runs Tindrel II: installs what is missing, builds, installs the program
# into its program folder (default ~/TindrelII, or the folder given), puts a starter note table
# there when none is there, puts the program into the desktop's menu of applications for the
# user who runs it, and starts the program.
# The program folder lies outside the checkout: rebuilding or cleaning never touches the notes.
# Installing a new build replaces the executables, never the table or the settings file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
folder=${1:-$HOME/TindrelII}

"$root/scripts/setup.sh"
BUILD_DIR=${BUILD_DIR:-$root/build} "$root/scripts/build.sh" -DTINDREL_BUILD_TESTS=OFF -DTINDREL_BUILD_BENCH=OFF
build=${BUILD_DIR:-$root/build}

mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
for exe in app/tindrel tools/tindrel-table; do
  if [ -x "$build/$exe" ]; then
    install -m 755 "$build/$exe" "$folder/$(basename "$exe").new"
    mv -f "$folder/$(basename "$exe").new" "$folder/$(basename "$exe")"
  fi
done

if [ ! -e "$folder/Tindrel.dbf" ]; then
  echo "No note table in $folder: creating a starter table."
  "$folder/tindrel-table" create "$folder"
fi

# The desktop's menu of applications gets an entry that starts this program folder's executable
# (scripts/desktop-entry.sh remove takes it out again).
if [ -x "$folder/tindrel" ]; then
  "$root/scripts/desktop-entry.sh" install "$folder" "$build/app/icons" ||
    echo "The desktop entry could not be installed; the program runs all the same." >&2
fi

if [ ! -x "$folder/tindrel" ]; then
  echo "The program window is not built yet. The starter table in $folder holds:"
  "$folder/tindrel-table" check "$folder/Tindrel.dbf"
  "$folder/tindrel-table" dump "$folder/Tindrel.dbf"
  exit 0
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: Tindrel II is a desktop program and needs a graphical session." >&2
  echo "Run this command from a desktop terminal, or under a virtual display:" >&2
  echo "  xvfb-run -a $folder/tindrel     (then take a look with scripts/screenshot.sh)" >&2
  exit 1
fi
exec "$folder/tindrel"
