#!/usr/bin/env bash
# Fails when a folder of the program includes a folder above it (or beside it) in the layering:
#
#  10  app  cli
#   9  render  cd
#   8  dsp  mp3  normaliser  rip
#   7  player
#   6  components  effects
#   5  encode  songs
#   4  files
#   3  disc
#   2  engine
#   1  analysis
#   0  platform
#
# A file may include its own folder and folders on lower rows only. Usage: check-layers.sh [ROOT]
set -euo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root"

declare -A rank=(
  [platform]=0
  [analysis]=1
  [engine]=2
  [disc]=3
  [files]=4
  [encode]=5 [songs]=5
  [components]=6 [effects]=6
  [player]=7
  [dsp]=8 [mp3]=8 [normaliser]=8 [rip]=8
  [render]=9 [cd]=9
  [app]=10 [cli]=10
)

status=0
for folder in "${!rank[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"${rest#*:}")
    [ "$target" = "$folder" ] && continue
    [ -n "${rank[$target]+set}" ] || continue  # not one of the program's folders
    if [ "${rank[$target]}" -ge "${rank[$folder]}" ]; then
      echo "$file:$line: $folder/ includes $target/, which is not below it" >&2
      status=1
    fi
  done < <(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^/"]+/' "$folder" || true)
done
[ $status -eq 0 ] && echo "check-layers: every folder includes only folders below it"
exit $status
