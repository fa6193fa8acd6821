// The CD subcommands of the command line, over the same code as the CD window:
//   quorvin cd-list SOURCE
//   quorvin cd-rip SOURCE TRACK OUT [--bitrate K] [--tag Name=Text]...
//   quorvin cd-rip SOURCE all FOLDER [--format F] [--name TEMPLATE] [--offset N] (rip_command.h)
// SOURCE is a drive's device (/dev/sr0) or a disc image (.cue with its .bin, .toc, .nrg).
// `args` are the arguments after the subcommand's name. Results go to `out`, messages and the
// progress bar to `err`. Exit status: 0 success, 1 failure, 2 bad usage.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cd {

// Prints "Artist: ...", "Album: ..." and the track rows exactly as the window lists them
// (number, name and [length] separated by TABs).
int cdListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Extracts track TRACK (1-based) to OUT: a WAV file, or a WMA file at --bitrate K kbit/s (one of
// the encoder's rates; 128 when offered) with the --tag options (Title, Author, WM/AlbumTitle,
// Description, Rating, Copyright, WM/Genre, WM/Year). OUT is written under a temporary name
// beside it and put in place only when complete.
int cdRipCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cd
