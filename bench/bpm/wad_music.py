#!/usr/bin/env python3
"""Writes the MIDI songs of Doom-format WAD files (their D_ lumps) that keep one tempo.

    wad_music.py OUT_FOLDER WAD...

For each song written as OUT_FOLDER/<wad>-<lump>.mid, prints a line
    <wad>-<lump><TAB><quarter notes per minute><TAB><length in seconds>
A song with tempo changes, in another format than MIDI or shorter than 30 s is left out, and so is
one whose notes are not on its beat grid (played in freely: its tempo is then only the file's clock,
not the music's).
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


def tempo_and_length(data):
    """(microseconds per quarter note, length in ticks, ticks per quarter), or None."""
    if data[:4] != b"MThd":
        return None
    _, tracks, division = struct.unpack(">hhh", data[8:14])
    if division <= 0:
        return None
    i, tempos, last, notes = 14, set(), 0, []
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
                    tempos.add((data[k] << 16) | (data[k + 1] << 8) | data[k + 2])
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
    if len(tempos) > 1 or not on_grid(notes, division):
        return None
    return (tempos.pop() if tempos else 500000), last, division


def main():
    out = sys.argv[1]
    for wad in sys.argv[2:]:
        base = os.path.splitext(os.path.basename(wad))[0]
        for name, data in lumps(wad):
            if not name.startswith("D_"):
                continue
            found = tempo_and_length(data)
            if not found:
                continue
            tempo, ticks, division = found
            seconds = ticks / division * tempo / 1e6
            if seconds < 30:
                continue
            song = f"{base}-{name[2:].lower()}"
            with open(os.path.join(out, song + ".mid"), "wb") as f:
                f.write(data)
            print(f"{song}\t{60e6 / tempo:.2f}\t{seconds:.1f}")


if __name__ == "__main__":
    main()
