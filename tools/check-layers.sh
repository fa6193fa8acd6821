#!/usr/bin/env bash
# Fails when a folder of the program includes a folder above it (or beside it) in the layering:
#
#   7  app  cli
#   6  render  cd
#   5  dsp  mp3
#   4  player
#   3  components  effects
#   2  encode
#   1  files
#   0  engine  platform
#
# A file may include its own folder and folders on lower rows only. Usage: check-layers.sh [ROOT]
set -euo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root"

declare -A rank=(
  [engine]=0 [platform]=0
  [files]=1
  [encode]=2
  [components]=3 [effects]=3
  [player]=4
  [dsp]=5 [mp3]=5
  [render]=6 [cd]=6
  [app]=7 [cli]=7
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
