#include "cli/commands.h"

namespace cli {

namespace {

const Command kCommands[] = {
    {"render", "IN OUT [--tempo P] [--pitch S] [--vocal-remover] [--eq g0,g1,...,g6] [--bitrate K]",
     "render IN with tempo (percent), pitch (semitones), vocal remover and equalizer (gains in dB, "
     "-10..10) into the WAV file OUT",
     &renderCommand},
    {"bpm", "IN",
     "print the BPM over seconds 0 to 30 (as the main window shows it after Play) and "
     "over the whole file",
     &bpmCommand},
};

}  // namespace

std::span<const Command> commands() {
    return kCommands;
}

}  // namespace cli
