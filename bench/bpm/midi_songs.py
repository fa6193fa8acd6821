#!/usr/bin/env python3
"""Writes the MIDI songs that keep one tempo: MIDI files, and those of Doom-format WAD files (their
D_ lumps).

    midi_songs.py OUT_FOLDER FILE...

For each song written as OUT_FOLDER/<name>.mid, prints a line
    <name><TAB><beats per minute><TAB><length in seconds><TAB><key>
where <name> is <wad>-<lump> for a WAD's song and the file's name for a MIDI file, in lower case,
and <key> the key signature the file gives ("Bb major", "F# minor"), or "-": when it gives none,
changes it, or gives C major, which sequencers write when they are told nothing.
A song whose tempo changes after its first note, in another format than MIDI or shorter than 30 s
is left out, and so is one whose notes are not on its beat grid (played in freely: its tempo is
then only the file's clock, not the music's).
"""
import os
import struct
import sys


def lumps(path):
    data = open(path, "rb").read()
    _, count, table = struct.unpack("<4sii", data[:12])
    for i in range(count):
        pos, size, name = struct.unpack("<ii8s", data[table + 16 * i:table + 16 * i + 16])
        yield name.rstrip(b"\0").decode("latin1"), data[pos:pos + size]


def number(data, i):
    value = 0
    while True:
        c = data[i]
        i += 1
        value = (value << 7) | (c & 0x7F)
        if not c & 0x80:
            return value, i


def on_grid(ticks, division):
    """Whether most notes start on a sixteenth or an eighth-note triplet, within 1/48 of a beat."""
    if not ticks:
        return False
    near = 0
    for t in ticks:
        for step in (division / 4, division / 3):
            d = t % step
            if min(d, step - d) <= division / 48:
                near += 1
                break
    return near >= 0.6 * len(ticks)


MAJOR = ["C", "Db", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"]
MINOR = ["C", "C#", "D", "Eb", "E", "F", "F#", "G", "G#", "A", "Bb", "B"]


def key_name(signatures):
    """The key of the file's key signatures (sharps or flats, minor), or "-"."""
    if len(signatures) != 1:
        return "-"
    sharps, minor = next(iter(signatures))
    if sharps > 127:
        sharps -= 256
    if minor not in (0, 1) or abs(sharps) > 7 or (sharps == 0 and minor == 0):
        return "-"
    major_tonic = sharps * 7 % 12
    return f"{MINOR[(major_tonic + 9) % 12]} minor" if minor else f"{MAJOR[major_tonic]} major"


def tempo_and_length(data):
    """(microseconds per quarter note, length in ticks, ticks per quarter, quarter notes per beat,
    key signatures), or None. The beat is the quarter note, or the dotted quarter when every time signature is
    compound (6/8, 9/8, 12/8): that is what a musician counts there, and what the MMA grooves in
    those metres count as their beat."""
    if data[:4] != b"MThd":
        return None
    _, tracks, division = struct.unpack(">hhh", data[8:14])
    if division <= 0:
        return None
    i, tempos, last, notes, metres, keys = 14, [], 0, [], set(), set()
    for _ in range(tracks):
        if data[i:i + 4] != b"MTrk":
            return None
        end = i + 8 + struct.unpack(">i", data[i + 4:i + 8])[0]
        j, tick, status = i + 8, 0, 0
        while j < end:
            delta, j = number(data, j)
            tick += delta
            if data[j] == 0xFF:
                kind = data[j + 1]
                size, k = number(data, j + 2)
                if kind == 0x51:
                    tempos.append((tick, (data[k] << 16) | (data[k + 1] << 8) | data[k + 2]))
                elif kind == 0x58 and size >= 2:
                    metres.add((data[k], data[k + 1]))
                elif kind == 0x59 and size >= 2:
                    keys.add((data[k], data[k + 1]))
                j = k + size
            elif data[j] in (0xF0, 0xF7):
                size, k = number(data, j + 1)
                j = k + size
            else:
                if data[j] & 0x80:
                    status = data[j]
                    j += 1
                if status & 0xF0 == 0x90 and data[j + 1] > 0:
                    notes.append(tick)
                j += 1 if status & 0xF0 in (0xC0, 0xD0) else 2
        last = max(last, tick)
        i = end
    if not notes or not on_grid(notes, division):
        return None
    # The tempo in force at the first note; none may follow.
    first = min(notes)
    tempos.sort()
    tempo = 500000
    for tick, value in tempos:
        if tick <= first:
            tempo = value
        elif value != tempo:
            return None
    # The length from the first note on.
    compound = metres and all(den == 3 and num % 3 == 0 and num > 3 for num, den in metres)
    return tempo, last - first, division, (1.5 if compound else 1.0), keys


def songs(path):
    """(name, MIDI data) of each song in a WAD or MIDI file."""
    base = os.path.splitext(os.path.basename(path))[0].lower()
    if path.lower().endswith(".wad"):
        for name, data in lumps(path):
            if name.startswith("D_"):
                yield f"{base}-{name[2:].lower()}", data
    else:
        yield base, open(path, "rb").read()


def main():
    out = sys.argv[1]
    for path in sys.argv[2:]:
        for song, data in songs(path):
            found = tempo_and_length(data)
            if not found:
                continue
            tempo, ticks, division, quarters, keys = found
            seconds = ticks / division * tempo / 1e6
            if seconds < 30:
                continue
            with open(os.path.join(out, song + ".mid"), "wb") as f:
                f.write(data)
            print(f"{song}\t{60e6 / tempo / quarters:.2f}\t{seconds:.1f}\t{key_name(keys)}")


if __name__ == "__main__":
    main()
