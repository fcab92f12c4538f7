#!/usr/bin/env bash
# Plays each replay with replay_sums of several builds and compares the checksum of
# every frame with the first build's; names the first frame that differs. A program
# ending in .js is the page build's, run under node. A build that was not made is
# named and left out (the page build and the desktop build must be there).
#   agree.sh desktop=<replay_sums> page=<replay_sums.js> [NAME=<replay_sums>]... -- FILE...
set -euo pipefail
names=() programs=()
while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do
  names+=("${1%%=*}") programs+=("${1#*=}")
  shift
done
shift
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() {  # program replay
  case "$1" in
    *.js) node "$1" --any-versions "$2" ;;
    *) "$1" --any-versions "$2" ;;
  esac
}
status=0 total=0 compared=()
for i in "${!names[@]}"; do
  if [ ! -f "${programs[$i]}" ]; then
    if [ "$i" -lt 2 ]; then
      echo "no ${names[$i]} build of replay_sums at ${programs[$i]}" >&2
      exit 1
    fi
    echo "${names[$i]}: not built here, left out"
    continue
  fi
  compared+=("$i")
done
for replay in "$@"; do
  name=$(basename "$replay")
  # The recordings stay meaningful across rule changes: any version's inputs drive a match.
  for i in "${compared[@]}"; do run "${programs[$i]}" "$replay" > "$out/$name.$i"; done
  frames=$(($(wc -l < "$out/$name.0") - 1))
  total=$((total + frames))
  for i in "${compared[@]:1}"; do
    if cmp -s "$out/$name.0" "$out/$name.$i"; then
      echo "$name: $frames frames, every checksum the same on ${names[0]} and ${names[$i]}"
      continue
    fi
    first=$( (diff "$out/$name.0" "$out/$name.$i" || true) | awk '/^</ && !f {f=$2; a=$3} /^>/ && !b {b=$3} END {print f, a, b}')
    read -r frame a b <<< "$first"
    echo "$name: ${names[0]} and ${names[$i]} differ first at frame $frame of $frames ($a, $b)" >&2
    status=1
  done
done
list=()
for i in "${compared[@]}"; do list+=("${names[$i]}"); done
echo "$total frames of $# replays compared on: ${list[*]}"
exit $status
