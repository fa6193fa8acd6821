#include "cli/commands.h"

#include "rip/cd_commands.h"

namespace cli {

namespace {

const Command kCommands[] = {
    {"render",
     "IN OUT [--tempo P] [--pitch S] [--cents C] [--vocal-remover[=keep-bass|stereo]] "
     "[--remover-gain G] [--remover-strength X] [--remover-range LO,HI] [--eq g0,g1,...,g6] "
     "[--channels stereo|left|right|mono] "
     "[--quality high|normal] [--from S] [--to S] [--bitrate K]",
     "render IN with tempo (percent), pitch (semitones, and cents -50..50), vocal remover "
     "(keep-bass: the centre "
     "only above 150 Hz; stereo: the centre bin by bin, keeping the stereo picture, at "
     "--remover-strength 0..1 between --remover-range LO,HI Hz, default 1 and 120,8000; "
     "--remover-gain 0..10, the level of what the remover leaves, default 1), "
     "equalizer (gains in whole dB, -10..10) and the sides heard (--channels: left or right "
     "alone, or mono) into OUT: WAV, FLAC, Ogg or Opus by its extension, or MP3 "
     "(at --bitrate kbit/s, 8..320, else an MP3 source's own rate, at least 128, and 128 for any "
     "other), with the source's "
     "tags; - is standard input or output (WAV); --quality high stretches with the finer engine "
     "(normal: the default), --from/--to render a passage (seconds, up to 10000000)",
     &renderCommand},
    {"bpm", "IN",
     "print the BPM over seconds 0 to 30 (as the main window shows it after Play) and "
     "over the whole file",
     &bpmCommand},
    {"key", "IN", "print the key of IN (tonic and major or minor) and its tuning in cents",
     &keyCommand},
    {"chords", "IN [--pitch S]",
     "print the chords of IN (major and minor triads and their sevenths, N.C. for none), a line "
     "for each change "
     "with its time; --pitch names them as heard with the pitch moved by S semitones (-8..8)",
     &chordsCommand},
    {"mp3-info", "IN",
     "print what the MP3 header reader finds in IN: one line per field of its record, then the "
     "result",
     &mp3InfoCommand},
    {"cd-list", "SOURCE",
     "print the Artist and Album of the disc in SOURCE (a drive's device or a disc image such as "
     "a .cue) and its track rows as the CD window shows them",
     &cd::cdListCommand},
    {"cd-rip",
     "SOURCE TRACK OUT [--bitrate K] [--tag Name=Text]... | SOURCE all FOLDER [--format F] "
     "[--name TEMPLATE] [--offset N] [--bitrate K] [--year Y] [--accuraterip-db FILE] "
     "[--test-and-copy]",
     "extract TRACK (1-based) of SOURCE to OUT, WAV or WMA by its extension; or rip every audio "
     "track into FOLDER (flac, wav, mp3, ogg, opus or wma), named and tagged from the disc's "
     "CD-Text, with a rip log, a cue sheet and a playlist; --accuraterip-db verifies every track "
     "against a downloaded AccurateRip database file, --test-and-copy reads every track twice",
     &cdRipCommand},
    {"cd-verify", "FOLDER --accuraterip-db FILE",
     "verify the WAV or FLAC tracks ripped into FOLDER (in track-number order) against a "
     "downloaded "
     "AccurateRip database file; exits non-zero unless every track is accurate",
     &cdVerifyCommand},
    {"normalize", "IN OUT (PERCENT | --lufs L) [--bits 16|24]",
     "scale the WAV file IN so that its peak reaches PERCENT % of full scale (1..100), or its "
     "loudness L LUFS (-70..0; EBU R128, true peak at most -1 dBTP), into OUT",
     &normalizeCommand},
};

}  // namespace

std::span<const Command> commands() {
    return kCommands;
}

}  // namespace cli
