#!/usr/bin/env bash
# Puts Tindrel II into the desktop's menu of applications for the user who runs it, or takes it
# out again:
#
#   scripts/desktop-entry.sh install PROGRAM_FOLDER ICON_FOLDER
#   scripts/desktop-entry.sh remove
#
# install writes the desktop entry $XDG_DATA_HOME/applications/tindrel.desktop (XDG_DATA_HOME
# defaults to ~/.local/share), which starts PROGRAM_FOLDER/tindrel, and copies the program's
# icon from ICON_FOLDER (the build's app/icons, holding hicolor/NxN/apps/tindrel.png) into
# $XDG_DATA_HOME/icons. remove deletes exactly those files. Nothing outside $XDG_DATA_HOME is
# touched, and no root rights are needed.
set -euo pipefail

# The window's class on X11 is the application name the program sets; the desktop matches the
# entry's StartupWMClass against it to group the window with its entry.
readonly entry_name=tindrel.desktop
readonly window_class="Tindrel II"
data_home=${XDG_DATA_HOME:-$HOME/.local/share}

usage() {
  echo "usage: $0 install PROGRAM_FOLDER ICON_FOLDER | remove" >&2
  exit 2
}

# A value of a desktop entry's string keys: the backslash is the one character to escape.
string_value() { printf '%s' "${1//\\/\\\\}"; }

# A path as the Exec key's command line holds it: % doubled, and the path quoted when it holds
# any character the key reserves, with ", `, $ and \ escaped inside the quotes; then escaped as
# every string value is.
exec_value() {
  local word=${1//%/%%}
  if [[ $word == *[[:space:]\"\'\\\>\<~\|\&\;\$\*\?\#\(\)\`]* ]]; then
    word=${word//\\/\\\\}
    word=${word//\"/\\\"}
    word=${word//\`/\\\`}
    word=${word//\$/\\\$}
    word="\"$word\""
  fi
  string_value "$word"
}

install_entry() {
  local folder=$1 icons=$2
  case "$folder" in /*) ;; *) folder=$PWD/$folder ;; esac
  if [[ $folder == *$'\n'* ]]; then
    echo "desktop-entry.sh: a program folder whose name holds a line break cannot be named in a desktop entry" >&2
    exit 1
  fi
  local program=${folder%/}/tindrel
  if [ ! -x "$program" ]; then
    echo "desktop-entry.sh: $program is not there to be started" >&2
    exit 1
  fi
  local sizes=0
  for icon in "$icons"/hicolor/*x*/apps/tindrel.png; do
    [ -f "$icon" ] || continue
    local size_folder=${icon%/apps/tindrel.png}
    mkdir -p "$data_home/icons/hicolor/${size_folder##*/}/apps"
    install -m 644 "$icon" "$data_home/icons/hicolor/${size_folder##*/}/apps/tindrel.png"
    sizes=$((sizes + 1))
  done
  if [ "$sizes" -eq 0 ]; then
    echo "desktop-entry.sh: no icons in $icons/hicolor (build the program first)" >&2
    exit 1
  fi

  mkdir -p "$data_home/applications"
  local entry=$data_home/applications/$entry_name
  # Written beside its final name and renamed into place, so the menu never reads half a file.
  cat >"$entry.new" <<ENTRY
[Desktop Entry]
Type=Application
Version=1.4
Name=Tindrel II
GenericName=Note Tree
Comment=Keep your notes in a tree
Icon=tindrel
TryExec=$(string_value "$program")
Exec=$(exec_value "$program")
Terminal=false
Categories=Office;Utility;
Keywords=notes;tree;outline;memo;
StartupWMClass=$window_class
ENTRY
  chmod 644 "$entry.new"
  mv -f "$entry.new" "$entry"
  echo "Desktop entry: $entry (starts $program)"
}

remove_entry() {
  rm -f "$data_home/applications/$entry_name"
  rm -f "$data_home"/icons/hicolor/*/apps/tindrel.png
  echo "Desktop entry removed from $data_home"
}

case "${1:-}" in
  install) [ $# -eq 3 ] || usage; install_entry "$2" "$3" ;;
  remove) [ $# -eq 1 ] || usage; remove_entry ;;
  *) usage ;;
esac
