// The CD subcommands of the command line, over the same code as the CD window:
//   quorvin cd-list SOURCE
//   quorvin cd-rip SOURCE TRACK OUT [--bitrate K] [--tag Name=Text]...
//   quorvin cd-rip SOURCE all FOLDER [--format F] [--name TEMPLATE] [--offset N] (rip_command.h)
//   quorvin cd-verify FOLDER --accuraterip-db FILE (verify_command.h)
// SOURCE is a drive's device (/dev/sr0) or a disc image (.cue with its .bin, .toc, .nrg).
// `args` are the arguments after the subcommand's name. Results go to `out`, messages to `err`;
// the caller draws the progress. Exit status: 0 success, 1 failure, 2 bad usage.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace cd {

// How a command shows its progress: `update(done, total)` while it reads, `done()` once before
// it prints its results. Either may be empty (no progress shown).
struct CommandProgress {
    std::function<void(uint64_t, uint64_t)> update;
    std::function<void()> done;
};

// A whole number written out in full: "12", and with `signedOk` "+6" or "-472"; nothing for "",
// "1x" or more than nine characters.
std::optional<long> wholeNumber(const std::string& text, bool signedOk = false);

// The WMA bit rate for --bitrate `text` (kbit/s), in bits per second: one the encoder offers for
// CD audio; without `text`, 128 kbit/s when offered, else the highest. On failure `error` says
// why, for the user: `badUsage` when the encoder does not offer the rate asked (the message lists
// those it does), else there is no encoder.
struct WmaBitrate {
    uint32_t bitsPerSecond = 0;
    std::string error;
    bool badUsage = false;
};
WmaBitrate chooseWmaBitrate(const std::optional<std::string>& text);

// The drive or image for SOURCE, or -1 after a message on `err` naming `command` ("cd-list").
int openCommandSource(const std::string& source, const std::string& command, std::ostream& err);

// Prints "Artist: ...", "Album: ..." and the track rows exactly as the window lists them
// (number, name and [length] separated by TABs).
int cdListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Extracts track TRACK (1-based) to OUT: a WAV file, or a WMA file at --bitrate K kbit/s (one of
// the encoder's rates; 128 when offered) with the --tag options (Title, Author, WM/AlbumTitle,
// Description, Rating, Copyright, WM/Genre, WM/Year). OUT is written under a temporary name
// beside it and put in place only when complete.
int cdRipCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 const CommandProgress& progress = {});

}  // namespace cd
