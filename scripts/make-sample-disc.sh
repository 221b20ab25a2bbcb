#!/usr/bin/env bash
# Makes a damaged sample disc for the emulated drive from files made by real tools:
# session 1 holds an ISO 9660 track (Joliet and Rock Ridge) and an audio track, session 2
# a second ISO 9660 track (over a minute long) that the TOC has lost, and ten sectors of the first track
# cannot be read. As on a real multisession disc, the second session's file system gives
# its extents as addresses on the disc, not counted from its own start. Like most drives,
# it hands data sectors read as audio, and every sector beyond the lead-out, back scrambled.
# Usage: scripts/make-sample-disc.sh OUT-NAME [DISCBUILD]   (writes OUT-NAME.ccd/.img/.sub/.flt)
set -euo pipefail
out=$1
tool=${2:-$(dirname "$0")/../build/emulator/quarnel-discbuild}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/data/docs" "$work/data/pictures" "$work/update"
seq 1 30000 > "$work/data/docs/numbers.txt"
printf 'Quarnel sample disc\nsession 1\n' > "$work/data/docs/readme.txt"
convert -size 320x200 gradient:navy-gold "$work/data/pictures/gradient.png"
convert -seed 7 -size 240x160 plasma:fractal "$work/data/pictures/plasma.jpg"
(cd "$work/data" && zip -qr "$work/data/docs.zip" docs)
genisoimage -quiet -J -R -V QUARNEL_SAMPLE -o "$work/data.iso" "$work/data"

printf 'Quarnel sample disc\nsession 2: written later, lost from the TOC\n' > "$work/update/update.txt"
seq 1 1500000 > "$work/update/counted.txt"
convert -seed 11 -size 400x300 plasma:fractal "$work/update/photo.jpg"

sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 12 sine 440 sine 660 fade 0.5 12 1

build() {
  "$tool" "$@" -o "$out" --mode1 "$work/data.iso" --audio "$work/tone.wav" \
          --session --mode1 "$work/update.iso" \
          --toc-drop-session 2 --fault Unreadable=40-49 --fault BeyondLeadOut=Scrambled \
          --drive ScrambleAudioReads=1
}
# A burner asks the disc where the next session starts; here a first build tells it, and
# the second session is made again for that address (its size does not move it).
genisoimage -quiet -J -R -V QUARNEL_UPDATE -o "$work/update.iso" "$work/update"
next=$(build | sed -nE 's/^ *track +3 .*LBA +([0-9]+)-.*/\1/p')
[ -n "$next" ] || { echo "make-sample-disc: no second session in the layout" >&2; exit 1; }
genisoimage -quiet -J -R -V QUARNEL_UPDATE -C 0,"$next" -o "$work/update.iso" "$work/update" 2>/dev/null
build --force
