// `quorvin cd-rip SOURCE all FOLDER [--format F] [--name TEMPLATE] [--offset N] [--bitrate K]
// [--year Y] [--accuraterip-db FILE] [--test-and-copy]`: the whole disc into FOLDER, as "Extract
// All..." in the CD window does.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "rip/cd_commands.h"

namespace cd {

// `args` are cd-rip's arguments (SOURCE, "all", FOLDER and options); `progress` is told the
// bytes done and the bytes in all. Exit status: 0 every audio track ripped without
// skipped reads (and, with a database file, every track accurate), 1 failure (or a track with
// skipped reads, read errors or two reads that differ), 2 bad usage,
// 130 stopped by an interrupt (Ctrl+C ends the rip after the read under way).
int cdRipDiscCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const CommandProgress& progress);

}  // namespace cd
