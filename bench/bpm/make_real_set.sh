#!/usr/bin/env bash
# Builds the real-music BPM set once into a cache folder:
#  - accompaniment grooves of the MMA library (drums, bass, chords, arpeggios and strings as their
#    authors sequenced them for each style), each written as a short song with one tempo and
#    rendered by FluidSynth with the FluidR3 General MIDI sound font. The tempo of a track is the
#    one written in its song file (MMA's beat: for the grooves in 6/8 or 12/8 that is what the
#    groove counts as a beat);
#  - the demo songs and short pieces that come with LMMS, rendered by LMMS itself, each cut into
#    two 30 s excerpts (its start and its middle; a piece shorter than 30 s is left out); the tempo
#    is the one in the project file;
#  - the MIDI songs of Freedoom's two game files and of Simutrans (rock, metal, swing, blues,
#    marches, techno), rendered as the MMA grooves are and cut as the LMMS songs are; the tempo is
#    the MIDI file's (a song whose tempo changes once it has begun is left out).
# No track changes tempo.
#
#   bench/bpm/make_real_set.sh [cache folder]   (default ~/.cache/quorvin/bpm-real)
#
# Writes <folder>/<name>.wav (30 s, 44.1 kHz, 16-bit stereo) and <folder>/list.tsv with the lines
# file<TAB>bpm<TAB>source<TAB>part, where part is "tuned" or "held-out": a third of the styles and
# songs, chosen by a hash of the name, are held out (every track of a style or song is in one part).
# The key benchmark uses the same tracks where their key is known: <folder>/keys.tsv has the lines
# file<TAB>key ("F major", "G minor") for the grooves played over a progression that names its key
# and for the MIDI songs whose file gives a key signature other than C major (see midi_songs.py).
# The chords of the grooves: <folder>/chords.tsv has the lines file<TAB>seconds a bar<TAB>chords
# (one a bar from the start, repeated: "C Am F G").
# The songs the excerpts are cut from, whole: <folder>/whole.tsv has the lines of list.tsv for
# <folder>/whole/<name>.flac (44.1 kHz, 16-bit mono), each in its song's part.
# Needs: mma, fluidsynth, fluid-soundfont-gm, lmms, freedoom, simutrans-data, python3, sox. A
# finished folder is left alone; one made before a source joined gets it.
set -euo pipefail
OUT=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvin/bpm-real}
LIB=/usr/share/mma/lib/stdlib
SF=/usr/share/sounds/sf2/FluidR3_GM.sf2
[ -f "$OUT/list.tsv" ] && grep -q '^simutrans' "$OUT/list.tsv" && [ -f "$OUT/keys.tsv" ] &&
  [ -f "$OUT/chords.tsv" ] && [ -f "$OUT/whole.tsv" ] && [ -f "$OUT/mma-seeded" ] &&
  { echo "$OUT/list.tsv exists"; exit 0; }
WADS=(/usr/share/games/doom/freedoom1.wad /usr/share/games/doom/freedoom2.wad)
SIMUTRANS=/usr/share/games/simutrans/music
for t in mma fluidsynth lmms python3 sox; do command -v "$t" >/dev/null || { echo "needs $t" >&2; exit 1; }; done
[ -f "$SF" ] || { echo "needs fluid-soundfont-gm" >&2; exit 1; }
[ -d "$LIB" ] || { echo "needs mma's groove library" >&2; exit 1; }
[ -f "${WADS[0]}" ] || { echo "needs freedoom" >&2; exit 1; }
[ -d "$SIMUTRANS" ] || { echo "needs simutrans-data" >&2; exit 1; }
mkdir -p "$OUT/whole"
# Grooves rendered before their random numbers were seeded differ at every rendering: again.
[ -f "$OUT/mma-seeded" ] || { rm -f "$OUT"/mma-*.wav; touch "$OUT/mma-seeded"; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# The tempo range a style is played at (its beat per minute, as the groove counts beats).
range() {
  case $1 in
    ballad128 | blues128 | blues68 | ballad68 | rb-ballad | lullaby | slowblues | slowspiritual | \
      rock-128 | 68swing | arpeggio68) echo "62 82" ;;
    ballad | pianoballad | popballad | stringballad | guitarballad | folkballad | rockballad | \
      slowbolero | slowcountry | slowjazz | slowbroadway | hymn | popspiritual) echo "64 95" ;;
    bebop | fastswing | quickstep | mambo | salsa | charleston | fastjazzwaltz | vienesewaltz | \
      fastwaltz | gypsyjazz | dixie | bluegrass) echo "165 200" ;;
    50srock | boggiewoggie | fastblues | jive | ska | twist | jazz-54 | frenchwaltz) echo "140 180" ;;
    swing | bigband | countryswing | westernswing | zydeco | jazzcombo | modernjazz | \
      modernjazzwaltz | jazzwaltz | broadwaywaltz | shuffleboggie | descendingjazz) echo "115 175" ;;
    trance | merengue | boneym) echo "122 150" ;;
    nitejazz | mellowjazz | blues | bluefolk | countryblues | dsoul | rb | bvfunk | strut | son | \
      spiritual | softrock | desert | ragtime | arpeggio44) echo "76 118" ;;
    waltz | rockwaltz | countrywaltz | latinwaltz | arpeggiowaltz) echo "90 160" ;;
    *) echo "96 140" ;;
  esac
}
hash() { printf '%s' "$1" | cksum | cut -d' ' -f1; }

# Chord progressions, one chord a bar, repeated to the song's length.
PROGS=("C Am F G" "C F C G7" "C7 C7 C7 C7 F7 F7 C7 C7 G7 F7 C7 G7" "Dm7 G7 Cmaj7 Cmaj7"
  "Am F C G" "Am Dm E7 Am" "F Bb C7 F" "Gm Eb F Gm")
# The key each progression names; none for the blues and for one that is as much C major as A minor.
KEYS=("C major" "C major" "" "C major" "" "A minor" "F major" "G minor")
printf 'file\tbpm\tsource\tpart\n' >"$WORK/list.tsv"
printf 'file\tkey\n' >"$WORK/keys.tsv"
printf 'file\tbar\tchords\n' >"$WORK/chords.tsv"
printf 'file\tbpm\tsource\tpart\n' >"$WORK/whole.tsv"
n=0
for f in "$LIB"/*.mma; do
  style=$(basename "$f" .mma)
  case $style in metronome* | none) continue ;; esac
  h=$(hash "$style")
  part=tuned
  [ $((h % 3)) -eq 0 ] && part=held-out
  read -r lo hi < <(range "$style")
  # The style's grooves without intros, endings, fills and breaks; two of them.
  mapfile -t grooves < <(grep -i '^ *defgroove' "$f" | awk '{print $2}' |
    grep -viE 'intro|end|fill|break|metronome|^$' | sort -u)
  [ ${#grooves[@]} -gt 0 ] || continue
  picks=("${grooves[0]}")
  [ ${#grooves[@]} -gt 1 ] && picks+=("${grooves[$((h % (${#grooves[@]} - 1) + 1))]}")
  i=0
  for g in "${picks[@]}"; do
    i=$((i + 1))
    gh=$(hash "$g$i")
    bpm=$((lo + gh % (hi - lo + 1)))
    prog=${PROGS[$((gh / 7 % ${#PROGS[@]}))]}
    key=${KEYS[$((gh / 7 % ${#PROGS[@]}))]}
    name="mma-${style}-${g,,}-${bpm}"
    bars=$((bpm / 6 + 3))  # 30 s and more at three beats a bar or more
    {
      echo "RndSeed $gh"  # the grooves' random timing and velocities, the same every time
      echo "Tempo $bpm"
      echo "Groove $g"
      read -ra chords <<<"$prog"
      for ((b = 0; b < bars; ++b)); do echo "${chords[$((b % ${#chords[@]}))]}"; done
    } >"$WORK/$name.mma"
    if [ ! -f "$OUT/$name.wav" ]; then  # else rendered by an interrupted run
      if ! mma -f "$WORK/$name.mid" "$WORK/$name.mma" >"$WORK/mma.log" 2>&1; then
        echo "skipped $name (mma failed)" >&2
        continue
      fi
      fluidsynth -ni -q -g 0.5 -r 44100 -F "$WORK/$name.raw.wav" "$SF" "$WORK/$name.mid" \
        >/dev/null 2>&1
      sox -q "$WORK/$name.raw.wav" -b 16 "$OUT/$name.part.wav" trim 0 30
      mv "$OUT/$name.part.wav" "$OUT/$name.wav"
      rm -f "$WORK/$name.raw.wav" "$WORK/$name.mid"
    fi
    printf '%s.wav\t%s\tmma groove %s (%s)\t%s\n' "$name" "$bpm" "$g" "$style" "$part" \
      >>"$WORK/list.tsv"
    [ -z "$key" ] || printf '%s.wav\t%s\n' "$name" "$key" >>"$WORK/keys.tsv"
    # The groove's beats a bar: the style's last Time before it is defined.
    beats=$(awk -v g="${g,,}" 'tolower($1) == "time" { t = $2 }
      tolower($1) == "defgroove" && tolower($2) == g { print t; exit }' "$f")
    awk -v f="$name.wav" -v b="${beats:-4}" -v t="$bpm" -v p="$prog" \
      'BEGIN { printf "%s\t%.6f\t%s\n", f, b * 60 / t, p }' >>"$WORK/chords.tsv"
    n=$((n + 1))
  done
done

# excerpt <source.wav> <name> <start|middle>: writes $OUT/<name>.wav, or fails when too short.
excerpt() {
  local length from
  length=$(soxi -D "$1")
  from=0
  [ "$3" = middle ] && from=$(awk -v l="$length" 'BEGIN { f = l / 2 - 15; print (f > 30 ? f : 30) }')
  if awk -v l="$length" -v f="$from" 'BEGIN { exit !(f + 30 > l) }'; then return 1; fi
  sox -q "$1" -b 16 -r 44100 "$OUT/$2.part.wav" trim "$from" 30
  mv "$OUT/$2.part.wav" "$OUT/$2.wav"
}

# renderOnce <out.wav> <render command> <title>: renders the song into <out.wav> unless it is there;
# fails, saying so, when it cannot.
renderOnce() {
  [ -f "$1" ] || "$2" "$1" >/dev/null 2>&1 || true
  [ -f "$1" ] || { echo "skipped $3 (not rendered)" >&2; return 1; }
}

# addSong <source> <title> <bpm> <name prefix> <render command>: the start and middle excerpts of
# a song into the list, held out by the hash of its title, and the whole song (mono FLAC, as long
# as the program's "whole file" BPM reads it) into whole.tsv, in the same part. The song is
# rendered once, by `<render command> <out.wav>`, when an excerpt or the whole song is not there
# yet.
addSong() {
  local source=$1 title=$2 bpm=$3 prefix=$4 render=$5 key=${6:--} part=tuned wav="$WORK/song.wav" c name
  local whole="whole/$prefix-$bpm.flac" listed=0
  [ $(($(hash "$title") % 3)) -eq 0 ] && part=held-out
  rm -f "$wav"
  for c in start middle; do
    name="$prefix-$c-$bpm"
    if [ ! -f "$OUT/$name.wav" ]; then
      renderOnce "$wav" "$render" "$title" || return 0
      excerpt "$wav" "$name" $c || continue
    fi
    printf '%s.wav\t%s\t%s song %s (%s)\t%s\n' "$name" "$bpm" "$source" "$title" "$c" "$part" \
      >>"$WORK/list.tsv"
    [ "$key" = - ] || printf '%s.wav\t%s\n' "$name" "$key" >>"$WORK/keys.tsv"
    n=$((n + 1))
    listed=1
  done
  if [ $listed = 1 ]; then
    if [ ! -f "$OUT/$whole" ]; then
      renderOnce "$wav" "$render" "$title" || return 0
      sox -q -D "$wav" -c 1 -b 16 -r 44100 "$OUT/$whole.part.flac"  # -D: the same samples every time
      mv "$OUT/$whole.part.flac" "$OUT/$whole"
    fi
    printf '%s\t%s\t%s song %s\t%s\n' "$whole" "$bpm" "$source" "$title" "$part" >>"$WORK/whole.tsv"
  fi
  rm -f "$wav"
}

# LMMS's songs: the tempo from the project's head (no song here automates it); a song whose
# project has no tempo is left out.
LMMS_PROJECTS=/usr/share/lmms/projects
lmmsRun() { QT_QPA_PLATFORM=offscreen lmms --allowroot "$@"; }
renderLmms() { lmmsRun --render "$f" -f wav -o "$1"; }
while IFS= read -r -d '' f; do
  song=$(basename "$f"); song=${song%.mmp*}
  key=$(printf '%s' "${song,,}" | tr -c 'a-z0-9\n' '-' | tr -s '-')
  bpm=$(lmmsRun --dump "$f" 2>/dev/null | grep -m1 -oE '<head [^>]*bpm="[0-9]+' | grep -oE '[0-9]+$' || true)
  if [ -z "$bpm" ]; then
    bpm=$(grep -m1 -oE '<head [^>]*bpm="[0-9]+' "$f" 2>/dev/null | grep -oE '[0-9]+$' || true)
  fi
  [ -n "$bpm" ] || { echo "skipped $song (no tempo)" >&2; continue; }
  addSong LMMS "$song" "$bpm" "lmms-$key" renderLmms
done < <(find "$LMMS_PROJECTS/demos" "$LMMS_PROJECTS/shorties" -name '*.mmp*' -print0 | sort -z)

# Freedoom's and Simutrans's songs, with the tempo of their MIDI files.
mkdir -p "$WORK/midi"
renderMidi() { fluidsynth -ni -q -g 0.5 -r 44100 -F "$1" "$SF" "$WORK/midi/$song.mid"; }
while IFS=$'\t' read -r song bpm _ key; do
  addSong Freedoom "$song" "${bpm%.00}" "freedoom-${song#freedoom}" renderMidi "$key"
done < <(python3 "$(dirname "$0")/midi_songs.py" "$WORK/midi" "${WADS[@]}")
while IFS=$'\t' read -r song bpm _ key; do
  addSong Simutrans "$song" "${bpm%.00}" "simutrans-${song#[0-9][0-9]-}" renderMidi "$key"
done < <(python3 "$(dirname "$0")/midi_songs.py" "$WORK/midi" "$SIMUTRANS"/*.mid)
mv "$WORK/keys.tsv" "$OUT/keys.tsv"
mv "$WORK/chords.tsv" "$OUT/chords.tsv"
mv "$WORK/whole.tsv" "$OUT/whole.tsv"
mv "$WORK/list.tsv" "$OUT/list.tsv"
echo "$n tracks in $OUT"
