#include "cli/commands.h"

namespace cli {

namespace {

const Command kCommands[] = {
    {"render", "IN OUT [--tempo P] [--pitch S] [--vocal-remover] [--eq g0,g1,...,g6] [--bitrate K]",
     "render IN with tempo (percent), pitch (semitones), vocal remover and equalizer (gains in dB, "
     "-10..10) into OUT: a WAV file, or an MP3 file (at --bitrate kbit/s, else the source's own "
     "rate, at least 128)",
     &renderCommand},
    {"bpm", "IN",
     "print the BPM over seconds 0 to 30 (as the main window shows it after Play) and "
     "over the whole file",
     &bpmCommand},
    {"mp3-info", "IN",
     "print what the MP3 header reader finds in IN: one line per field of its record, then the "
     "result",
     &mp3InfoCommand},
};

}  // namespace

std::span<const Command> commands() {
    return kCommands;
}

}  // namespace cli
